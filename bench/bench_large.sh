#!/usr/bin/env bash
# A large legitimate picture converts pixel-correct within a bounded peak
# memory, and tiny hostile files end at once with little memory.
#
#   bench/bench_large.sh [path/to/tarnwick] [width] [height]
#
# Builds a width x height RGB PNG (20000 x 15000 = 300 megapixels by default)
# with python3's zlib, row by row, converts it to a 24-bit BMP with the program
# and prints the elapsed time and peak resident memory (GNU time), the peak
# against the picture's 24-bit size (the target is at most 2.2 times), and a
# check of pixels at known places. Then it runs two hostile files of under
# 100 bytes (a chunk claiming 2 GiB; a 16384 x 16384 16-bit header over a few
# bytes of image data) and prints their time and peak memory (targets: under
# 5 s and 150 MiB each).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
exe="${1:-$here/../build/bin/tarnwick}"
W="${2:-20000}"
H="${3:-15000}"
[[ -x "$exe" ]] || { echo "program not found: $exe" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time (/usr/bin/time) is needed" >&2; exit 1; }
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work"  # no single-instance lock shared with other runs
mkdir -p "$work/out"

# Pixel (x, y): red = x mod 256, green = y mod 256, blue = (x / 256 + 7 * (y / 256)) mod 256.
cat > "$work/tool.py" <<'PY'
import struct, sys, zlib

def pixel(x, y):
    return (x & 255, y & 255, ((x >> 8) + 7 * (y >> 8)) & 255)

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

def make(path, w, h):
    red = bytes(x & 255 for x in range(w))
    high = bytes((x >> 8) & 255 for x in range(w))
    adds = [bytes((v + k) & 255 for v in range(256)) for k in range(256)]
    row = bytearray(1 + 3 * w)
    row[1::3] = red
    packer = zlib.compressobj(1)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        pending = bytearray()
        for y in range(h):
            row[2::3] = bytes([y & 255]) * w
            row[3::3] = high.translate(adds[(7 * (y >> 8)) & 255])
            pending += packer.compress(bytes(row))
            if len(pending) >= 1 << 20:
                f.write(chunk(b"IDAT", bytes(pending)))
                pending.clear()
        pending += packer.flush()
        f.write(chunk(b"IDAT", bytes(pending)) + chunk(b"IEND", b""))

def check(path, w, h, flipped):
    # 24-bit BMP: rows bottom-up, padded to 4 bytes, blue green red.
    with open(path, "rb") as f:
        head = f.read(54)
        offset = struct.unpack_from("<I", head, 10)[0]
        bw, bh = struct.unpack_from("<ii", head, 18)
        bpp = struct.unpack_from("<H", head, 28)[0]
        if (bw, bh, bpp) != (w, h, 24):
            print(f"  wrong BMP: {bw} x {bh} at {bpp} bits")
            return False
        stride = (3 * w + 3) // 4 * 4
        places = [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (w // 2, h // 2),
                  (12345 % w, 6789 % h), (257 % w, 511 % h), (w - 300, h - 700)]
        bad = 0
        for x, y in places:
            f.seek(offset + (h - 1 - y) * stride + 3 * x)
            b, g, r = f.read(3)
            want = pixel(x, h - 1 - y if flipped else y)
            if (r, g, b) != want:
                bad += 1
                print(f"  pixel ({x}, {y}) is {(r, g, b)}, expected {want}")
        print(f"  {len(places) - bad} of {len(places)} checked pixels correct")
        return bad == 0

def hostile(folder):
    def header(w, h, depth, kind):
        return chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, kind, 0, 0, 0))
    sig = b"\x89PNG\r\n\x1a\n"
    with open(folder + "/chunk.png", "wb") as f:
        f.write(sig + header(1, 1, 8, 0) + struct.pack(">I", 0x7FFFFFF0) + b"tEXt" + b"a" * 15)
    with open(folder + "/claims.png", "wb") as f:
        f.write(sig + header(16384, 16384, 16, 2) + chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b""))

if sys.argv[1] == "make":
    make(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
elif sys.argv[1] == "check":
    sys.exit(0 if check(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5] == "flipped") else 1)
else:
    hostile(sys.argv[2])
PY

# measure LABEL ARGS...: runs the program, prints "LABEL: exit, seconds, peak MiB";
# leaves the peak in kilobytes in $peak_kb.
measure() {
    local label="$1"; shift
    local code=0
    /usr/bin/time -v -o "$work/time.txt" "$exe" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt" || code=$?
    peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
    local secs
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
    printf '%s: exit %s, %s elapsed, peak %d MiB\n' "$label" "$code" "$secs" $((peak_kb / 1024))
    if [[ -s "$work/stderr.txt" ]]; then sed 's/^/  stderr: /' "$work/stderr.txt"; fi
}

echo "Making a ${W} x ${H} RGB PNG..."
python3 "$work/tool.py" make "$work/large.png" "$W" "$H"
echo "  $(( $(stat -c %s "$work/large.png") / 1048576 )) MiB compressed"
size24=$(( W * H * 3 ))
# A plain conversion, and one that holds the whole picture in memory: a
# vertical flip (alone it would go row by row) with a rotation by 0 degrees,
# which keeps the conversion on the whole-picture path.
for kind in plain flipped; do
    extra=()
    [[ $kind == flipped ]] && extra=(--flip-vertical --rotation=0)
    measure "convert ${W}x${H} ($kind)" -q -i "$work/large.png" -o "$work/out" --bmp-bpp=24 "${extra[@]}"
    ratio=$(awk -v p="$peak_kb" -v s="$size24" 'BEGIN { printf "%.2f", p * 1024 / s }')
    echo "  peak = ${ratio} x the 24-bit size ($(( size24 / 1048576 )) MiB); target at most 2.2"
    if [[ -f "$work/out/large.bmp" ]]; then
        python3 "$work/tool.py" check "$work/out/large.bmp" "$W" "$H" "$kind" || true
    else
        echo "  no BMP written"
    fi
    rm -f "$work/out/large.bmp"
done
rm -f "$work/large.png"

echo "Hostile files:"
python3 "$work/tool.py" hostile "$work"
for name in chunk claims; do
    measure "  $name.png ($(stat -c %s "$work/$name.png") bytes)" -q -i "$work/$name.png" -o "$work/out"
done
