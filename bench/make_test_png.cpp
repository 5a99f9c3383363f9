// Writes a large RGB (or RGBA) PNG row by row with fast compression, without
// holding the picture: a smooth colour field with fine detail, so the file is
// compact but every row decodes to different pixels.
//   make_test_png OUTPUT.png WIDTH HEIGHT [rgba]
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Fail(png_structp, png_const_charp message) {
    std::fprintf(stderr, "make_test_png: %s\n", message);
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT.png WIDTH HEIGHT [rgba]\n", argv[0]);
        return 2;
    }
    const unsigned long width = std::strtoul(argv[2], nullptr, 10);
    const unsigned long height = std::strtoul(argv[3], nullptr, 10);
    const bool alpha = argc > 4 && std::strcmp(argv[4], "rgba") == 0;
    if (width == 0 || height == 0) return 2;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_compression_level(png, 1);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const unsigned channels = alpha ? 4 : 3;
    std::vector<png_byte> row(width * channels);
    for (unsigned long y = 0; y < height; ++y) {
        png_byte* p = row.data();
        for (unsigned long x = 0; x < width; ++x, p += channels) {
            p[0] = static_cast<png_byte>(x * 255 / width);
            p[1] = static_cast<png_byte>(y * 255 / height);
            p[2] = static_cast<png_byte>(((x >> 2) ^ (y >> 2)) & 0x3F);
            if (alpha) p[3] = static_cast<png_byte>((x + y) & 0xFF);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0 ? 0 : 1;
}
