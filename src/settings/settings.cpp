// The settings record: field table, defaults and colour texts.
#include "settings/settings.h"

#include <unordered_map>

#include "platform/platform.h"
#include "settings/fields.h"
#include "text/product.h"
#include "text/text_util.h"

namespace tarnwick {

void FieldRef::SetNumber(Settings& s, int64_t value) const {
    switch (type) {
        case FieldType::Byte:
            s.*byteField = static_cast<int8_t>(static_cast<uint8_t>(value & 0xFF));
            break;
        case FieldType::Long:
            s.*longField = static_cast<int32_t>(static_cast<uint32_t>(value & 0xFFFFFFFFu));
            break;
        case FieldType::Float: s.*floatField = static_cast<float>(value); break;
        case FieldType::Text: break;
    }
}

int64_t FieldRef::Number(const Settings& s) const {
    switch (type) {
        case FieldType::Byte: return s.*byteField;
        case FieldType::Long: return s.*longField;
        case FieldType::Float: return static_cast<int64_t>(s.*floatField);
        case FieldType::Text: return 0;
    }
    return 0;
}

bool FieldRef::Same(const FieldRef& o) const {
    return type == o.type && byteField == o.byteField && longField == o.longField &&
           floatField == o.floatField && textField == o.textField;
}

namespace {

#define NUM(group, key, field, tag) \
    FieldInfo { #field, group, key, FieldRef(&Settings::field), DefaultRule::Constant, tag }
#define TXT(group, key, field) \
    FieldInfo { #field, group, key, FieldRef(&Settings::field), DefaultRule::Constant, "" }
#define RULE(group, key, field, rule, tag) \
    FieldInfo { #field, group, key, FieldRef(&Settings::field), DefaultRule::rule, tag }

std::vector<FieldInfo> BuildFields() {
    return {
        // General
        NUM("General", "CFG", cfg, ""),
        TXT("General", "Language", language),
        NUM("General", "Update Range", updateRange, ""),
        RULE("General", "Update Date", updateDate, Now, ""),
        NUM("General", "Save Window Position", saveWindowPosition, ""),
        // Window
        NUM("Window", "IsMaximized", isMaximized, "window"),
        NUM("Window", "Width", windowWidth, "window"),
        NUM("Window", "Height", windowHeight, "window"),
        RULE("Window", "X", windowX, CentreX, "window"),
        RULE("Window", "Y", windowY, CentreY, "window"),
        // Interface
        TXT("Interface", "UI Theme", uiTheme),
        NUM("Interface", "UI Size", uiSize, ""),
        // Input
        RULE("Input", "Format", inputFormat, FirstInput, ""),
        NUM("Input", "DDS Load As", ddsLoadAs, "dds"),
        NUM("Input", "GIF Frame Loading", gifFrameLoading, "gif"),
        NUM("Input", "ICO Frame Loading", icoFrameLoading, "ico"),
        NUM("Input", "RAW Load As", rawLoadAs, "raw"),
        NUM("Input", "RAW Header Size", rawHeaderSize, "raw"),
        NUM("Input", "RAW Image Width", rawImageWidth, "raw"),
        NUM("Input", "RAW Image Height", rawImageHeight, "raw"),
        NUM("Input", "RAW Tone Mapping", rawToneMapping, "raw"),
        NUM("Input", "TIFF Frame Loading", tiffFrameLoading, "tiff"),
        // Output: the format, then per format its depth and its further keys
        RULE("Output", "Format", outputFormat, FirstOutput, ""),
        NUM("Output", "BMP BPP", bmpBpp, "bmp"),
        NUM("Output", "BMP Compression", bmpCompression, "bmp"),
        NUM("Output", "BMP Color Table", bmpColorTable, "bmp"),
        NUM("Output", "DDS BPP", ddsBpp, "dds"),
        NUM("Output", "EXR BPP", exrBpp, "exr"),
        NUM("Output", "EXR Compression", exrCompression, "exr"),
        NUM("Output", "GIF BPP", gifBpp, "gif"),
        NUM("Output", "HDR BPP", hdrBpp, "hdr"),
        NUM("Output", "ICO BPP", icoBpp, "ico"),
        NUM("Output", "J2K BPP", j2kBpp, "j2k"),
        NUM("Output", "JNG BPP", jngBpp, "jng"),
        NUM("Output", "JP2 BPP", jp2Bpp, "jp2"),
        NUM("Output", "JPG BPP", jpgBpp, "jpg"),
        NUM("Output", "JPG Quality", jpgQuality, "jpg"),
        NUM("Output", "JPG Chroma", jpgChroma, "jpg"),
        NUM("Output", "JPG Save As", jpgSaveAs, "jpg"),
        NUM("Output", "JXR BPP", jxrBpp, "jxr"),
        NUM("Output", "PBM BPP", pbmBpp, "pbm"),
        NUM("Output", "PCX BPP", pcxBpp, "pcx"),
        NUM("Output", "PFM BPP", pfmBpp, "pfm"),
        NUM("Output", "PGM BPP", pgmBpp, "pgm"),
        NUM("Output", "PNG BPP", pngBpp, "png"),
        NUM("Output", "PNG Compression", pngCompression, "png"),
        NUM("Output", "PNG Interlaced", pngInterlaced, "png"),
        NUM("Output", "PPM BPP", ppmBpp, "ppm"),
        NUM("Output", "PSD BPP", psdBpp, "psd"),
        NUM("Output", "TGA BPP", tgaBpp, "tga"),
        NUM("Output", "TGA Compression", tgaCompression, "tga"),
        NUM("Output", "TIFF BPP", tiffBpp, "tiff"),
        NUM("Output", "TIFF Compression", tiffCompression, "tiff"),
        NUM("Output", "TIFF Color Model", tiffColorModel, "tiff"),
        NUM("Output", "WBMP BPP", wbmpBpp, "wbmp"),
        NUM("Output", "WEBP BPP", webpBpp, "webp"),
        NUM("Output", "XPM BPP", xpmBpp, "xpm"),
        // Transform
        NUM("Transform", "Do Image Rotation", doImageRotation, ""),
        NUM("Transform", "Image Rotation Type", imageRotationType, ""),
        NUM("Transform", "Image Rotation", imageRotation, ""),
        TXT("Transform", "Image Rotation Back Color", imageRotationBackColor),
        NUM("Transform", "Do Image Resize", doImageResize, ""),
        NUM("Transform", "Image Width", imageWidth, ""),
        NUM("Transform", "Image Width Unit", imageWidthUnit, ""),
        NUM("Transform", "Image Height", imageHeight, ""),
        NUM("Transform", "Image Height Unit", imageHeightUnit, ""),
        RULE("Transform", "Keep Aspect Ratio", keepAspectRatio, AspectByMode, ""),
        NUM("Transform", "Image Resize Type", imageResizeType, ""),
        NUM("Transform", "Image Resize Algorithm", imageResizeAlgorithm, ""),
        NUM("Transform", "Do Image Flip Horizontal", doImageFlipHorizontal, ""),
        NUM("Transform", "Do Image Flip Vertical", doImageFlipVertical, ""),
        // Adjustment
        NUM("Adjustment", "Do Image Color Correction", doImageColorCorrection, ""),
        NUM("Adjustment", "Image Brightness", imageBrightness, ""),
        NUM("Adjustment", "Image Contrast", imageContrast, ""),
        NUM("Adjustment", "Image Gamma", imageGamma, ""),
        NUM("Adjustment", "Image Invert", imageInvert, ""),
        NUM("Adjustment", "Do Image Greyscale", doImageGreyscale, ""),
        NUM("Adjustment", "Do Image Threshold", doImageThreshold, ""),
        NUM("Adjustment", "Image Threshold", imageThreshold, ""),
        // Frame
        NUM("Frame", "Do Frame", doFrame, ""),
        NUM("Frame", "Solid Left", solidLeft, ""),
        NUM("Frame", "Solid Right", solidRight, ""),
        NUM("Frame", "Solid Top", solidTop, ""),
        NUM("Frame", "Solid Bottom", solidBottom, ""),
        TXT("Frame", "Solid Left Color", solidLeftColor),
        TXT("Frame", "Solid Right Color", solidRightColor),
        TXT("Frame", "Solid Top Color", solidTopColor),
        TXT("Frame", "Solid Bottom Color", solidBottomColor),
        NUM("Frame", "Solid Opacity", solidOpacity, ""),
        // Watermark
        NUM("Watermark", "Do Watermark", doWatermark, ""),
        TXT("Watermark", "Text", watermarkText),
        TXT("Watermark", "Fonts", fonts),
        TXT("Watermark", "Font", font),
        NUM("Watermark", "Font Size", fontSize, ""),
        NUM("Watermark", "Font Leading", fontLeading, ""),
        TXT("Watermark", "Font Colors", fontColors),
        TXT("Watermark", "Font Color", fontColor),
        NUM("Watermark", "Font Style", fontStyle, ""),
        NUM("Watermark", "Font Effect", fontEffect, ""),
        NUM("Watermark", "Text Antialiasing", textAntialiasing, ""),
        NUM("Watermark", "Text Alignment", textAlignment, ""),
        NUM("Watermark", "Text Padding", textPadding, ""),
        NUM("Watermark", "Text Opacity", textOpacity, ""),
        TXT("Watermark", "Back Colors", backColors),
        TXT("Watermark", "Back Color", backColor),
        NUM("Watermark", "Back Opacity", backOpacity, ""),
        NUM("Watermark", "Text Boundary", textBoundary, ""),
        NUM("Watermark", "Text Position", textPosition, ""),
        NUM("Watermark", "Text X Offset", textXOffset, ""),
        NUM("Watermark", "Text Y Offset", textYOffset, ""),
        NUM("Watermark", "Text Rotation", textRotation, ""),
        NUM("Watermark", "Text Size", textSize, ""),
        NUM("Watermark", "Text Scale", textScale, ""),
        TXT("Watermark", "Image", watermarkImage),
        NUM("Watermark", "Image Greyscale", watermarkImageGreyscale, ""),
        NUM("Watermark", "Image Opacity", watermarkImageOpacity, ""),
        NUM("Watermark", "Image Boundary", watermarkImageBoundary, ""),
        NUM("Watermark", "Image Position", watermarkImagePosition, ""),
        NUM("Watermark", "Image X Offset", watermarkImageXOffset, ""),
        NUM("Watermark", "Image Y Offset", watermarkImageYOffset, ""),
        NUM("Watermark", "Image Rotation", watermarkImageRotation, ""),
        NUM("Watermark", "Image Size", watermarkImageSize, ""),
        NUM("Watermark", "Image Scale", watermarkImageScale, ""),
        // Advanced
        TXT("Advanced", "Filename Mask", filenameMask),
        NUM("Advanced", "File Timestamp", fileTimestamp, ""),
        RULE("Advanced", "Custom Timestamp", customTimestamp, Now, ""),
        NUM("Advanced", "Out Folders History", outFoldersHistory, ""),
        NUM("Advanced", "Out Folders Number", outFoldersNumber, ""),
        NUM("Advanced", "Keep Subfolders", keepSubfolders, ""),
        // File
        TXT("File", "Recent Out Folders", recentOutFolders),
        TXT("File", "Recent Files", recentFiles),
        // Privacy
        NUM("Privacy", "Clean Recent Files", cleanRecentFiles, ""),
    };
}

#undef NUM
#undef TXT
#undef RULE

// Value of one hexadecimal digit, -1 for any other character.
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A pair of characters read as hexadecimal from the left up to the first other character.
uint32_t HexPair(char a, char b) {
    int hi = HexDigit(a);
    if (hi < 0) return 0;
    int lo = HexDigit(b);
    if (lo < 0) return static_cast<uint32_t>(hi);
    return static_cast<uint32_t>(hi * 16 + lo);
}

}  // namespace

const std::vector<FieldInfo>& SettingsFields() {
    static const std::vector<FieldInfo> fields = BuildFields();
    return fields;
}

const FieldInfo* FindField(const std::string& name) {
    static const std::unordered_map<std::string, const FieldInfo*> byName = [] {
        std::unordered_map<std::string, const FieldInfo*> m;
        for (const FieldInfo& f : SettingsFields()) m.emplace(f.name, &f);
        return m;
    }();
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

void ApplyDefaults(Settings& s, bool commandLineMode, int desktopWidth, int desktopHeight) {
    const int64_t now = platform::NowLocalDateValue();
    s = Settings{};
    for (const FieldInfo& f : SettingsFields()) {
        switch (f.rule) {
            case DefaultRule::Constant: break;
            case DefaultRule::Now: f.ref.SetNumber(s, now); break;
            case DefaultRule::CentreX:
                f.ref.SetNumber(s, desktopWidth > kDefaultWindowWidth
                                       ? (desktopWidth - kDefaultWindowWidth) / 2
                                       : 100);
                break;
            case DefaultRule::CentreY:
                f.ref.SetNumber(s, desktopHeight > kDefaultWindowHeight
                                       ? (desktopHeight - kDefaultWindowHeight) / 2
                                       : 100);
                break;
            case DefaultRule::FirstInput: {
                const auto& list = InputExtensions();
                s.*f.ref.textField = list.empty() ? std::string() : list.front();
                break;
            }
            case DefaultRule::FirstOutput: {
                const auto& list = OutputExtensions();
                s.*f.ref.textField = list.empty() ? std::string() : list.front();
                break;
            }
            case DefaultRule::AspectByMode: f.ref.SetNumber(s, commandLineMode ? 0 : 1); break;
        }
    }
}

uint32_t ParseColor(const std::string& text) {
    // Six characters, not six bytes: a character outside ASCII counts once
    // and stands in its place as a non-hexadecimal character.
    char chars[6];
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;  // continuation byte of a UTF-8 sequence
        if (count == 6) return 0;
        chars[count++] = c < 0x80 ? static_cast<char>(c) : '?';
    }
    if (count != 6) return 0;
    uint32_t red = HexPair(chars[0], chars[1]);
    uint32_t green = HexPair(chars[2], chars[3]);
    uint32_t blue = HexPair(chars[4], chars[5]);
    return red + green * 256 + blue * 65536;
}

std::string FormatColor(uint32_t color) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t v = (color >> shift) & 0xFF;
        out += digits[v >> 4];
        out += digits[v & 0xF];
    }
    return out;
}

int32_t* BppField(Settings& s, const std::string& extension) {
    const std::string key = text::Upper(extension) + " BPP";
    const std::string tag = text::Lower(extension);
    for (const FieldInfo& f : SettingsFields()) {
        if (f.ref.type == FieldType::Long && tag == f.tag && key == f.key &&
            std::string(f.group) == "Output")
            return &(s.*f.ref.longField);
    }
    return nullptr;
}

int32_t BppSetting(const Settings& s, const std::string& extension) {
    int32_t* field = BppField(const_cast<Settings&>(s), extension);
    return field ? *field : 0;
}

Settings& GlobalSettings() {
    static Settings settings;
    return settings;
}

}  // namespace tarnwick
