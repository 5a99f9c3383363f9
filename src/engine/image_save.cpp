#include "engine/image_save.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/bitmap.h"
#include "engine/bmp_format.h"
#include "engine/encoding.h"
#include "platform/platform.h"

namespace tarnwick {

namespace {

// FreeImage writes through this handle straight into the save's sink, so the
// encoded file is never held in memory; the first bytes are kept so the BMP
// size fields can be put right once the file is complete.
struct SinkHandle {
    platform::SaveSink& sink;
    uint64_t position = 0;
    uint64_t end = 0;
    bool failed = false;
    BYTE head[kBmpHeadersBytes] = {};
    // For an RLE8 BMP: where the pixel data starts (each later write is a
    // whole line of commands), and a copy whose pad bytes are cleared.
    uint64_t rleFrom = UINT64_MAX;
    std::vector<BYTE> rleLine;
    // Where the bytes written so far are reported, against the bytes expected.
    ProgressSpan progress;
    uint64_t expected = 0;
};

unsigned DLL_CALLCONV ReadNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

unsigned DLL_CALLCONV WriteToSink(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto& h = *static_cast<SinkHandle*>(handle);
    const uint64_t bytes = static_cast<uint64_t>(size) * count;
    if (h.position >= h.rleFrom && bytes > 0) {
        const BYTE* p = static_cast<const BYTE*>(buffer);
        h.rleLine.assign(p, p + bytes);
        ClearRle8Padding(h.rleLine.data(), h.rleLine.size());
        buffer = h.rleLine.data();
    }
    if (h.failed || !h.sink.WriteAt(h.position, buffer, static_cast<size_t>(bytes))) {
        h.failed = true;
        return 0;
    }
    if (h.position < kBmpHeadersBytes) {
        const size_t n =
            static_cast<size_t>(std::min<uint64_t>(bytes, kBmpHeadersBytes - h.position));
        std::memcpy(h.head + h.position, buffer, n);
    }
    h.position += bytes;
    h.end = std::max(h.end, h.position);
    h.progress.Report(h.end, h.expected);
    return count;
}

int DLL_CALLCONV SeekInSink(fi_handle handle, long offset, int origin) {
    auto& h = *static_cast<SinkHandle*>(handle);
    const int64_t base = origin == SEEK_SET   ? 0
                         : origin == SEEK_CUR ? static_cast<int64_t>(h.position)
                                              : static_cast<int64_t>(h.end);
    const int64_t to = base + offset;
    if (to < 0) return -1;
    h.position = static_cast<uint64_t>(to);
    return 0;
}

long DLL_CALLCONV TellSink(fi_handle handle) {
    return static_cast<long>(static_cast<SinkHandle*>(handle)->position);
}

// Encodes with FreeImage's writer into the sink; false when the library or a
// write fails (`refused` tells the library's refusal apart). A BMP gets honest
// size fields (see FixBmpSizeFields).
bool EncodeInto(platform::SaveSink& sink, FIBITMAP* image, int fif, int flags,
                const ProgressSpan& progress, bool& refused) {
    SinkHandle h{sink, 0, 0, false, {}, UINT64_MAX, {}, progress, 0};
    // The pixels as the picture holds them: the size of an uncompressed BMP
    // and a fair measure of how far any other writer has come.
    if (progress)
        h.expected = kBmpHeadersBytes + uint64_t{4} * Fi().GetColorsUsed(image) +
                     uint64_t{Fi().GetPitch(image)} * Fi().GetHeight(image);
    if (fif == FIF_BMP && (flags & BMP_SAVE_RLE) && Fi().GetBPP(image) == 8)
        h.rleFrom = kBmpHeadersBytes + uint64_t{4} * Fi().GetColorsUsed(image);
    FreeImageIO io{ReadNothing, WriteToSink, SeekInSink, TellSink};
    const bool encoded =
        Fi().SaveToHandle(static_cast<FREE_IMAGE_FORMAT>(fif), image, &io, &h, flags);
    refused = !encoded && !h.failed;
    if (!encoded || h.failed) return false;
    if (fif != FIF_BMP || h.end < kBmpHeadersBytes) return true;
    BYTE head[kBmpHeadersBytes];
    std::memcpy(head, h.head, sizeof head);
    FixBmpSizeFields(head, static_cast<size_t>(h.end));  // reads and writes the header only
    return sink.WriteAt(2, head + 2, 4) && sink.WriteAt(34, head + 34, 4);
}

platform::SaveResult SaveFromMemory(const EncodedFile& file, const std::string& path) {
    if (!file) {
        platform::SaveResult failed;
        failed.error = "cannot write " + path + ": the picture cannot be encoded in this format";
        return failed;
    }
    return platform::SafeSaveBytes(path, file.data, file.size);
}

}  // namespace

platform::SaveResult SaveOutputImage(FIBITMAP* image, const std::string& path, const RunState& run,
                                     const Settings& s, const ProgressSpan& progress) {
    if (!image) return SaveFromMemory(EncodedFile(), path);
    const bool exactPalette = run.conversion == "bmp" && run.outputBpp == 8 &&
                              s.bmpColorTableKind() == ColorTableKind::Exact;
    if (exactPalette) return SaveFromMemory(EncodeBmpExactPalette(image, run), path);

    bool refused = false;
    const platform::SaveResult streamed = platform::SafeSave(path, [&](platform::SaveSink& sink) {
        return EncodeInto(sink, image, run.outputFif, run.saveFlags, progress, refused);
    });
    if (refused) return SaveFromMemory(EncodedFile(), path);
    if (streamed || platform::FileSize(path) < 0) return streamed;
    // An existing output may be writable where its folder takes no temporary
    // file: the picture is then encoded in memory and the save may overwrite
    // the file in place (a failure that has another cause fails again).
    return SaveFromMemory(EncodeImage(image, run.outputFif, run.saveFlags), path);
}

}  // namespace tarnwick
