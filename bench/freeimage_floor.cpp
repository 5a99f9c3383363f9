// The least work any PNG-to-BMP converter built on FreeImage can do: decode the
// PNG and save the bitmap as BMP, nothing else.
//   freeimage_floor INPUT.png OUTPUT.bmp
#include <FreeImage.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s INPUT.png OUTPUT.bmp\n", argv[0]);
        return 1;
    }
    FIBITMAP* dib = FreeImage_Load(FIF_PNG, argv[1], 0);
    if (!dib) return 1;
    const BOOL saved = FreeImage_Save(FIF_BMP, dib, argv[2], 0);
    FreeImage_Unload(dib);
    return saved ? 0 : 1;
}
