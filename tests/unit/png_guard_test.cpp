// The input check before decoding: hostile and damaged files are refused with
// their reason in a moment, every valid picture passes, and what passes is
// decoded without surprises.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

#include "engine/bitmap.h"
#include "engine/limits.h"
#include "engine/png_guard.h"
#include "support/test_support.h"

using namespace tarnwick;
using test::ReadFile;
using test::Suite;
using test::TempDir;
using test::WriteFile;

namespace {

using test::Be32;
const std::string& kSignature = test::kPngSignature;

std::string Chunk(const std::string& type, const std::string& data) {
    return test::PngChunk(type, data);
}

std::string Header(uint32_t w, uint32_t h, int depth, int type, int interlace = 0) {
    return test::PngHeaderChunk(w, h, depth, type, interlace);
}

// The chunks of a PNG file after its signature: type and data.
std::vector<std::pair<std::string, std::string>> Chunks(const std::string& png) {
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t pos = 8; pos + 12 <= png.size();) {
        const uint32_t len = static_cast<uint32_t>(static_cast<unsigned char>(png[pos])) << 24 |
                             static_cast<unsigned char>(png[pos + 1]) << 16 |
                             static_cast<unsigned char>(png[pos + 2]) << 8 |
                             static_cast<unsigned char>(png[pos + 3]);
        out.emplace_back(png.substr(pos + 4, 4), png.substr(pos + 8, len));
        pos += 12 + len;
    }
    return out;
}

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    for (const auto& e :
         std::filesystem::directory_iterator(std::string(TARNWICK_TESTDATA) + "/pngsuite"))
        if (e.path().extension() == ".png") names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Decodes a file the guard let through: it must not crash, and a decoded
// picture has the header's size and no more bits per pixel than the guard
// planned memory for.
void DecodeChecked(const std::string& path, const PngCheck& check) {
    Bitmap dib(FreeImage_Load(FIF_PNG, path.c_str(), 0));
    if (!dib) return;
    EXPECT_EQ(FreeImage_GetWidth(dib.get()), check.width);
    EXPECT_EQ(FreeImage_GetHeight(dib.get()), check.height);
    EXPECT_LE(FreeImage_GetBPP(dib.get()), check.decodedBpp);
}

}  // namespace

TEST(PngGuard, HostileHeadersAreRefusedWithTheirReason) {
    TempDir dir;
    // 56 bytes: a chunk claiming almost 2 GiB right after the header.
    const std::string oversized =
        kSignature + Header(1, 1, 8, 0) + Be32(0x7FFFFFF0u) + "tEXt" + std::string(15, 'a');
    ASSERT_EQ(oversized.size(), 56u);
    WriteFile(dir / "oversized.png", oversized);
    PngCheck c = CheckPngInput(dir / "oversized.png");
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.reason, "truncated file");

    // 16384 x 16384 at 16 bits RGB with a few bytes of image data: 1.6 GB of
    // rows cannot come out of 8 bytes of deflate data.
    const std::string empty("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
    WriteFile(dir / "claims.png",
              kSignature + Header(16384, 16384, 16, 2) + Chunk("IDAT", empty) + Chunk("IEND", ""));
    c = CheckPngInput(dir / "claims.png");
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.reason,
              "PNG header claims 16384 x 16384 pixels, more than its image data can hold");
    EXPECT_EQ(c.width, 16384u);
    EXPECT_EQ(c.bitDepth, 16);

    // The same with image data that could be real (interlaced this time) is
    // not refused for its structure.
    WriteFile(dir / "fair.png",
              kSignature + Header(300, 200, 8, 6, 1) +
                  Chunk("IDAT", std::string(PngRawDataBytes(300, 200, 8, 6, true) / 1000, 'x')) +
                  Chunk("IEND", ""));
    c = CheckPngInput(dir / "fair.png");
    EXPECT_TRUE(c.ok) << c.reason;
    EXPECT_TRUE(c.interlaced);
    EXPECT_EQ(c.decodedBpp, 32u);

    // Other refusals.
    WriteFile(dir / "empty.png", "");
    EXPECT_EQ(CheckPngInput(dir / "empty.png").reason, "empty file");
    WriteFile(dir / "text.png", "not a picture at all");
    EXPECT_EQ(CheckPngInput(dir / "text.png").reason, "not a PNG file");
    EXPECT_EQ(CheckPngInput(dir / "missing.png").reason, "cannot open file");
    WriteFile(dir / "zero.png",
              kSignature + Header(0, 5, 8, 0) + Chunk("IDAT", empty) + Chunk("IEND", ""));
    EXPECT_EQ(CheckPngInput(dir / "zero.png").reason, "invalid PNG header");
    WriteFile(dir / "depth.png",
              kSignature + Header(5, 5, 16, 3) + Chunk("IDAT", empty) + Chunk("IEND", ""));
    EXPECT_EQ(CheckPngInput(dir / "depth.png").reason, "invalid PNG header");
    WriteFile(dir / "nodata.png", kSignature + Header(5, 5, 8, 0) + Chunk("IEND", ""));
    EXPECT_EQ(CheckPngInput(dir / "nodata.png").reason, "no image data");
}

TEST(PngGuard, RawSizeMatchesTheInflatedDataOfEverySuitePicture) {
    // The rows with their filter bytes, per depth, colour type and interlace,
    // are exactly what the image data of each suite file inflates to.
    for (const std::string& name : SuiteFiles()) {
        SCOPED_TRACE(name);
        const std::string png = ReadFile(Suite(name));
        std::string idat;
        for (const auto& [type, data] : Chunks(png))
            if (type == "IDAT") idat += data;
        const PngCheck c = CheckPngInput(Suite(name));
        ASSERT_TRUE(c.ok) << c.reason;
        std::string raw(
            PngRawDataBytes(c.width, c.height, c.bitDepth, c.colorType, c.interlaced) + 64, '\0');
        uLongf size = raw.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&raw[0]), &size,
                             reinterpret_cast<const Bytef*>(idat.data()),
                             static_cast<uLong>(idat.size())),
                  Z_OK);
        EXPECT_EQ(size, PngRawDataBytes(c.width, c.height, c.bitDepth, c.colorType, c.interlaced));
        EXPECT_EQ(c.imageDataBytes, idat.size());
        DecodeChecked(Suite(name), c);
    }
    // Deflate packs at most 1032 bytes into one (two bits for a 258-byte match).
    const std::string zeros(4 << 20, '\0');
    uLongf size = compressBound(static_cast<uLong>(zeros.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
              reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uLong>(zeros.size()), 9);
    EXPECT_LE(zeros.size(), PngMaxInflatedBytes(size));
}

TEST(PngGuard, DamagedFilesAreRefusedOrDecodedSafely) {
    // Every cut of two pictures (one interlaced) and random byte damage to
    // every suite picture: refused, or decoded without a crash at the size
    // the header gives.
    TempDir dir;
    const std::string path = dir / "damaged.png";
    for (const char* name : {"basn2c08.png", "ibasn0g16.png"}) {
        const std::string png = ReadFile(Suite(name));
        for (size_t cut = 0; cut < png.size(); ++cut) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            WriteFile(path, png.substr(0, cut));
            const PngCheck c = CheckPngInput(path);
            if (cut < 8) {
                EXPECT_FALSE(c.ok);
            }
            if (c.ok) DecodeChecked(path, c);
        }
    }
    std::mt19937 random(20261209);
    for (const std::string& name : SuiteFiles()) {
        const std::string png = ReadFile(Suite(name));
        for (int round = 0; round < 8; ++round) {
            std::string damaged = png;
            const int hits = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < hits; ++i)
                damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
            SCOPED_TRACE(name + " round " + std::to_string(round));
            WriteFile(path, damaged);
            const PngCheck c = CheckPngInput(path);
            if (c.ok) DecodeChecked(path, c);
        }
    }
}

TEST(Limits, BmpFilesStayUnderFourGibibytes) {
    // 20000 x 15000 at 24 bits: 900 MB, fine; 40000 x 30000 at 32 bits: 4.8 GB, not.
    EXPECT_EQ(BmpFileBytes(20000, 15000, 24), 54u + 60000ull * 15000);
    EXPECT_TRUE(BmpSizeAllowed(20000, 15000, 24));
    std::string why;
    EXPECT_FALSE(BmpSizeAllowed(40000, 30000, 32, &why));
    EXPECT_EQ(why,
              "a 40000 x 30000 BMP at 32 bits per pixel would take 4.5 GiB; a BMP file must stay "
              "under 4 GiB");
    // The same picture at 1 bit fits; rows are padded to 4 bytes, palettes counted.
    EXPECT_TRUE(BmpSizeAllowed(40000, 30000, 1));
    EXPECT_EQ(BmpFileBytes(1, 1, 1), 14u + 40 + 8 + 4);
    EXPECT_EQ(BmpFileBytes(3, 2, 16), 14u + 40 + 12 + 2 * 8);
    // Sizes past 64 bits do not wrap round to small ones.
    EXPECT_EQ(BitmapBytes(kSizeOverflow / 2, 3, 32), kSizeOverflow);
    EXPECT_FALSE(BmpSizeAllowed(2147483647, 2147483647, 64));
    EXPECT_FALSE(CanHoldBitmap(3000000000ull, 1, 8));
    EXPECT_FALSE(MemoryAllows(kSizeOverflow));
    EXPECT_TRUE(CanHoldBitmap(100, 100, 24));

    // A header that passed the input check may still be too large to decode whole.
    PngCheck claim;
    claim.width = claim.height = 100000;
    claim.decodedBpp = 64;
    EXPECT_FALSE(CanDecodeWhole(claim, &why));
    EXPECT_EQ(why.rfind("not enough memory: 74.5 GiB needed", 0), 0u) << why;
    EXPECT_TRUE(CanDecodeWhole(CheckPngInput(Suite("basn6a16.png"))));
}
