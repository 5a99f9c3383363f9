// The settings record: every option of the converter in one plain struct.
// Fields are named after their configuration keys; defaults live in
// ApplyDefaults (settings.cpp). Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

// The layout version of the configuration file this program writes.
inline constexpr int32_t kConfigLayout = 17;
// The main window's default (and smallest) size in pixels.
inline constexpr int32_t kDefaultWindowWidth = 510;
inline constexpr int32_t kDefaultWindowHeight = 260;

// The built-in watermark text.
inline constexpr const char* kDefaultWatermarkText = "Converted with Pictavo PNG to BMP";

// Typed views of the setting codes that code compares.
enum class FrameKind : int8_t { None = 0, Solid = 1 };
enum class WatermarkKind : int8_t { None = 0, Text = 1, Image = 2 };
enum class TimestampRule : int8_t { Current = 0, Original = 1, Custom = 2 };
enum class ColorTableKind : int32_t { Automatic = 0, Exact = 1 };
enum class ResizeScope : int8_t { AllImages = 0, LargeImages = 1 };
enum class WatermarkBoundary : int8_t { Image = 0, Frame = 1 };

// The defaults of the record are its member initialisers; ApplyDefaults adds
// the few that depend on the moment, the desktop or the mode.
struct Settings {
    // [General]
    int32_t cfg = kConfigLayout;
    std::string language = "en";
    int32_t updateRange = 2;
    int32_t updateDate = 0;
    int8_t saveWindowPosition = 1;

    // [Window]
    int8_t isMaximized = 0;
    int32_t windowWidth = kDefaultWindowWidth;
    int32_t windowHeight = kDefaultWindowHeight;
    int32_t windowX = 100;
    int32_t windowY = 100;

    // [Interface]
    std::string uiTheme = "handdrawn";
    int32_t uiSize = 2;

    // [Input]
    std::string inputFormat = "png";
    int32_t ddsLoadAs = 0;
    int32_t gifFrameLoading = 0;
    int32_t icoFrameLoading = 0;
    int32_t rawLoadAs = 0;
    int32_t rawHeaderSize = 0;
    int32_t rawImageWidth = 0;
    int32_t rawImageHeight = 0;
    int32_t rawToneMapping = 2;
    int32_t tiffFrameLoading = 0;

    // [Output]
    std::string outputFormat = "bmp";
    int32_t jpgQuality = 95;
    int32_t jpgChroma = 0;
    int32_t jpgSaveAs = 0;
    int32_t bmpCompression = 0;
    int32_t bmpColorTable = 0;
    int32_t exrCompression = 0;
    int32_t pngCompression = 0;
    int8_t pngInterlaced = 0;
    int32_t tgaCompression = 0;
    int32_t tiffCompression = 0;
    int32_t tiffColorModel = 0;
    // Bits per pixel per output format; 0 means automatic.
    int32_t bmpBpp = 0, ddsBpp = 0, exrBpp = 0, gifBpp = 0, hdrBpp = 0, icoBpp = 0, j2kBpp = 0,
            jngBpp = 0, jp2Bpp = 0, jpgBpp = 0, jxrBpp = 0, pbmBpp = 0, pcxBpp = 0, pfmBpp = 0,
            pgmBpp = 0, pngBpp = 0, ppmBpp = 0, psdBpp = 0, tgaBpp = 0, tiffBpp = 0, wbmpBpp = 0,
            webpBpp = 0, xpmBpp = 0;

    // [Transform]
    int8_t doImageRotation = 0;
    int8_t imageRotationType = 0;
    int32_t imageRotation = 0;
    std::string imageRotationBackColor = "000000";
    int8_t doImageResize = 0;
    int32_t imageWidth = 0;
    int8_t imageWidthUnit = 0;
    int32_t imageHeight = 0;
    int8_t imageHeightUnit = 0;
    int8_t keepAspectRatio = 1;
    int8_t imageResizeType = 0;
    int8_t imageResizeAlgorithm = 3;
    int8_t doImageFlipHorizontal = 0;
    int8_t doImageFlipVertical = 0;

    // [Adjustment]
    int8_t doImageColorCorrection = 0;
    int32_t imageBrightness = 0;
    int32_t imageContrast = 0;
    float imageGamma = 1.0f;
    int8_t imageInvert = 0;
    int8_t doImageGreyscale = 0;
    int8_t doImageThreshold = 0;
    int32_t imageThreshold = 0;

    // [Frame]
    int8_t doFrame = 0;
    int32_t solidLeft = 0, solidRight = 0, solidTop = 0, solidBottom = 0;
    std::string solidLeftColor = "000000", solidRightColor = "000000", solidTopColor = "000000",
                solidBottomColor = "000000";
    int32_t solidOpacity = 255;

    // [Watermark]
    int8_t doWatermark = 0;
    std::string watermarkText = kDefaultWatermarkText;
    std::string fonts = "Arial,Tahoma,Verdana";
    std::string font = "Arial";
    int32_t fontSize = 14;
    int32_t fontLeading = 0;
    std::string fontColors = "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";
    std::string fontColor = "FFFFFF";
    int8_t fontStyle = 0;
    int8_t fontEffect = 0;
    int8_t textAntialiasing = 0;
    int8_t textAlignment = 0;
    int32_t textPadding = 0;
    int32_t textOpacity = 255;
    std::string backColors = "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";
    std::string backColor = "000000";
    int32_t backOpacity = 1;
    int8_t textBoundary = 0;
    int8_t textPosition = 8;
    int32_t textXOffset = 10;
    int32_t textYOffset = 10;
    int32_t textRotation = 0;
    int8_t textSize = 0;
    int32_t textScale = 10;
    std::string watermarkImage;
    int8_t watermarkImageGreyscale = 0;
    int32_t watermarkImageOpacity = 255;
    int8_t watermarkImageBoundary = 0;
    int8_t watermarkImagePosition = 8;
    int32_t watermarkImageXOffset = 10;
    int32_t watermarkImageYOffset = 10;
    int32_t watermarkImageRotation = 0;
    int8_t watermarkImageSize = 0;
    int32_t watermarkImageScale = 10;

    // [Advanced]
    std::string filenameMask = "%filename%.%ext%";
    int8_t fileTimestamp = 0;
    int32_t customTimestamp = 0;
    int8_t outFoldersHistory = 1;
    int8_t outFoldersNumber = 5;
    int8_t keepSubfolders = 1;

    // [File]
    std::string recentOutFolders;
    std::string recentFiles;

    // [Privacy]
    int8_t cleanRecentFiles = 0;

    FrameKind frameKind() const { return static_cast<FrameKind>(doFrame); }
    WatermarkKind watermarkKind() const { return static_cast<WatermarkKind>(doWatermark); }
    TimestampRule timestampRule() const { return static_cast<TimestampRule>(fileTimestamp); }
    ColorTableKind bmpColorTableKind() const { return static_cast<ColorTableKind>(bmpColorTable); }
    ResizeScope resizeScope() const { return static_cast<ResizeScope>(imageResizeType); }
};

// Fills every field with its default. commandLineMode changes only keepAspectRatio.
// The centred window position is computed from the given desktop size.
void ApplyDefaults(Settings& s, bool commandLineMode, int desktopWidth = 0, int desktopHeight = 0);

// "RRGGBB" -> red + 256*green + 65536*blue; any other length gives 0 (black).
uint32_t ParseColor(const std::string& text);
// Colour value -> six upper-case hexadecimal digits, RRGGBB.
std::string FormatColor(uint32_t color);

// The bits-per-pixel field of an output format by its extension; nullptr when unknown.
int32_t* BppField(Settings& s, const std::string& extension);
int32_t BppSetting(const Settings& s, const std::string& extension);

// The program-wide settings record.
Settings& GlobalSettings();

}  // namespace tarnwick
