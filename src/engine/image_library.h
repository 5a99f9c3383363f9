// The bitmap library (FreeImage), loaded when a conversion first needs it.
//
// The program does not link the library: it pulls in some twenty-five
// libraries of its own (camera raw, EXR, JPEG XR, WebP, TIFF ...) whose
// loading costs more than a small conversion. Help, version, the window's
// start and the row-by-row conversions never touch it; the whole-picture
// path and the encodings that need it load it with `LoadImageLibrary` and
// then call through `Fi()`: `Fi().Rotate(dib, angle, nullptr)`.
//
// Every function the engine uses is one line of the list below; a new one is
// a new line.
#pragma once

#include <FreeImage.h>

#include <string>

namespace tarnwick {

#define TARNWICK_IMAGE_LIBRARY_FUNCTIONS(X) \
    X(AcquireMemory)                        \
    X(AdjustColors)                         \
    X(Allocate)                             \
    X(AllocateT)                            \
    X(CloseMemory)                          \
    X(ColorQuantizeEx)                      \
    X(Composite)                            \
    X(ConvertLine24To8)                     \
    X(ConvertLine32To8)                     \
    X(ConvertTo16Bits555)                   \
    X(ConvertTo16Bits565)                   \
    X(ConvertTo24Bits)                      \
    X(ConvertTo32Bits)                      \
    X(ConvertTo4Bits)                       \
    X(ConvertTo8Bits)                       \
    X(ConvertToGreyscale)                   \
    X(ConvertToRGB16)                       \
    X(ConvertToRGBF)                        \
    X(ConvertToStandardType)                \
    X(Copy)                                 \
    X(CreateTag)                            \
    X(DeleteTag)                            \
    X(Dither)                               \
    X(FlipHorizontal)                       \
    X(FlipVertical)                         \
    X(FIFSupportsNoPixels)                  \
    X(GetAdjustColorsLookupTable)           \
    X(GetBPP)                               \
    X(GetBits)                              \
    X(GetColorType)                         \
    X(GetColorsUsed)                        \
    X(GetFileType)                          \
    X(GetHeight)                            \
    X(GetImageType)                         \
    X(GetInfoHeader)                        \
    X(GetLine)                              \
    X(GetPalette)                           \
    X(GetPitch)                             \
    X(GetScanLine)                          \
    X(GetWidth)                             \
    X(Initialise)                           \
    X(IsTransparent)                        \
    X(Load)                                 \
    X(OpenMemory)                           \
    X(Paste)                                \
    X(Rescale)                              \
    X(Rotate)                               \
    X(RotateEx)                             \
    X(SaveToHandle)                         \
    X(SaveToMemory)                         \
    X(SetBackgroundColor)                   \
    X(SetDotsPerMeterX)                     \
    X(SetDotsPerMeterY)                     \
    X(SetMetadata)                          \
    X(SetTagCount)                          \
    X(SetTagID)                             \
    X(SetTagKey)                            \
    X(SetTagLength)                         \
    X(SetTagType)                           \
    X(SetTagValue)                          \
    X(SetTransparencyTable)                 \
    X(SetTransparent)                       \
    X(Threshold)                            \
    X(TmoDrago03)                           \
    X(Unload)

// The library's functions, each with its own type.
struct ImageLibrary {
#define TARNWICK_IMAGE_LIBRARY_MEMBER(name) decltype(&FreeImage_##name) name = nullptr;
    TARNWICK_IMAGE_LIBRARY_FUNCTIONS(TARNWICK_IMAGE_LIBRARY_MEMBER)
#undef TARNWICK_IMAGE_LIBRARY_MEMBER
};

// Loads and initialises the library once per process (thread-safe). False,
// with the reason in `why`, when it is not installed or lacks a function;
// every later call gives the same answer.
bool LoadImageLibrary(std::string* why = nullptr);

// The loaded library. Loads it when no one has; a caller that can meet a
// missing library asks LoadImageLibrary first and fails its file with the
// reason. Ends the program with that reason otherwise.
const ImageLibrary& Fi();

}  // namespace tarnwick
