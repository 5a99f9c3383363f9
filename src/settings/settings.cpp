// The settings record: field table, defaults and colour texts.
#include "settings/settings.h"

#include <unordered_map>

#include "text/product.h"
#include "platform/platform.h"
#include "settings/fields.h"
#include "text/text_util.h"

namespace tarnwick {

const char* const kDefaultWatermarkText = "Converted with Pictavo PNG to BMP";

void FieldRef::SetNumber(Settings& s, int64_t value) const {
    switch (type) {
    case FieldType::Byte:
        s.*byteField = static_cast<int8_t>(static_cast<uint8_t>(value & 0xFF));
        break;
    case FieldType::Long:
        s.*longField = static_cast<int32_t>(static_cast<uint32_t>(value & 0xFFFFFFFFu));
        break;
    case FieldType::Float:
        s.*floatField = static_cast<float>(value);
        break;
    case FieldType::Text:
        break;
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

constexpr const char* kColorList = "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";

#define NUM(group, key, field, def, tag) \
    FieldInfo{#field, group, key, FieldRef(&Settings::field), DefaultRule::Constant, def, nullptr, tag}
#define TXT(group, key, field, def) \
    FieldInfo{#field, group, key, FieldRef(&Settings::field), DefaultRule::Constant, 0, def, ""}
#define RULE(group, key, field, rule, tag) \
    FieldInfo{#field, group, key, FieldRef(&Settings::field), DefaultRule::rule, 0, nullptr, tag}

std::vector<FieldInfo> BuildFields() {
    return {
        // General
        NUM("General", "CFG", cfg, 17, ""),
        TXT("General", "Language", language, "en"),
        NUM("General", "Update Range", updateRange, 2, ""),
        RULE("General", "Update Date", updateDate, Now, ""),
        NUM("General", "Save Window Position", saveWindowPosition, 1, ""),
        // Window
        NUM("Window", "IsMaximized", isMaximized, 0, "window"),
        NUM("Window", "Width", windowWidth, 510, "window"),
        NUM("Window", "Height", windowHeight, 260, "window"),
        RULE("Window", "X", windowX, CentreX, "window"),
        RULE("Window", "Y", windowY, CentreY, "window"),
        // Interface
        TXT("Interface", "UI Theme", uiTheme, "handdrawn"),
        NUM("Interface", "UI Size", uiSize, 2, ""),
        // Input
        RULE("Input", "Format", inputFormat, FirstInput, ""),
        NUM("Input", "DDS Load As", ddsLoadAs, 0, "dds"),
        NUM("Input", "GIF Frame Loading", gifFrameLoading, 0, "gif"),
        NUM("Input", "ICO Frame Loading", icoFrameLoading, 0, "ico"),
        NUM("Input", "RAW Load As", rawLoadAs, 0, "raw"),
        NUM("Input", "RAW Header Size", rawHeaderSize, 0, "raw"),
        NUM("Input", "RAW Image Width", rawImageWidth, 0, "raw"),
        NUM("Input", "RAW Image Height", rawImageHeight, 0, "raw"),
        NUM("Input", "RAW Tone Mapping", rawToneMapping, 2, "raw"),
        NUM("Input", "TIFF Frame Loading", tiffFrameLoading, 0, "tiff"),
        // Output: the format, then per format its depth and its further keys
        RULE("Output", "Format", outputFormat, FirstOutput, ""),
        NUM("Output", "BMP BPP", bmpBpp, 0, "bmp"),
        NUM("Output", "BMP Compression", bmpCompression, 0, "bmp"),
        NUM("Output", "BMP Color Table", bmpColorTable, 0, "bmp"),
        NUM("Output", "DDS BPP", ddsBpp, 0, "dds"),
        NUM("Output", "EXR BPP", exrBpp, 0, "exr"),
        NUM("Output", "EXR Compression", exrCompression, 0, "exr"),
        NUM("Output", "GIF BPP", gifBpp, 0, "gif"),
        NUM("Output", "HDR BPP", hdrBpp, 0, "hdr"),
        NUM("Output", "ICO BPP", icoBpp, 0, "ico"),
        NUM("Output", "J2K BPP", j2kBpp, 0, "j2k"),
        NUM("Output", "JNG BPP", jngBpp, 0, "jng"),
        NUM("Output", "JP2 BPP", jp2Bpp, 0, "jp2"),
        NUM("Output", "JPG BPP", jpgBpp, 0, "jpg"),
        NUM("Output", "JPG Quality", jpgQuality, 95, "jpg"),
        NUM("Output", "JPG Chroma", jpgChroma, 0, "jpg"),
        NUM("Output", "JPG Save As", jpgSaveAs, 0, "jpg"),
        NUM("Output", "JXR BPP", jxrBpp, 0, "jxr"),
        NUM("Output", "PBM BPP", pbmBpp, 0, "pbm"),
        NUM("Output", "PCX BPP", pcxBpp, 0, "pcx"),
        NUM("Output", "PFM BPP", pfmBpp, 0, "pfm"),
        NUM("Output", "PGM BPP", pgmBpp, 0, "pgm"),
        NUM("Output", "PNG BPP", pngBpp, 0, "png"),
        NUM("Output", "PNG Compression", pngCompression, 0, "png"),
        NUM("Output", "PNG Interlaced", pngInterlaced, 0, "png"),
        NUM("Output", "PPM BPP", ppmBpp, 0, "ppm"),
        NUM("Output", "PSD BPP", psdBpp, 0, "psd"),
        NUM("Output", "TGA BPP", tgaBpp, 0, "tga"),
        NUM("Output", "TGA Compression", tgaCompression, 0, "tga"),
        NUM("Output", "TIFF BPP", tiffBpp, 0, "tiff"),
        NUM("Output", "TIFF Compression", tiffCompression, 0, "tiff"),
        NUM("Output", "TIFF Color Model", tiffColorModel, 0, "tiff"),
        NUM("Output", "WBMP BPP", wbmpBpp, 0, "wbmp"),
        NUM("Output", "WEBP BPP", webpBpp, 0, "webp"),
        NUM("Output", "XPM BPP", xpmBpp, 0, "xpm"),
        // Transform
        NUM("Transform", "Do Image Rotation", doImageRotation, 0, ""),
        NUM("Transform", "Image Rotation Type", imageRotationType, 0, ""),
        NUM("Transform", "Image Rotation", imageRotation, 0, ""),
        TXT("Transform", "Image Rotation Back Color", imageRotationBackColor, "000000"),
        NUM("Transform", "Do Image Resize", doImageResize, 0, ""),
        NUM("Transform", "Image Width", imageWidth, 0, ""),
        NUM("Transform", "Image Width Unit", imageWidthUnit, 0, ""),
        NUM("Transform", "Image Height", imageHeight, 0, ""),
        NUM("Transform", "Image Height Unit", imageHeightUnit, 0, ""),
        RULE("Transform", "Keep Aspect Ratio", keepAspectRatio, AspectByMode, ""),
        NUM("Transform", "Image Resize Type", imageResizeType, 0, ""),
        NUM("Transform", "Image Resize Algorithm", imageResizeAlgorithm, 3, ""),
        NUM("Transform", "Do Image Flip Horizontal", doImageFlipHorizontal, 0, ""),
        NUM("Transform", "Do Image Flip Vertical", doImageFlipVertical, 0, ""),
        // Adjustment
        NUM("Adjustment", "Do Image Color Correction", doImageColorCorrection, 0, ""),
        NUM("Adjustment", "Image Brightness", imageBrightness, 0, ""),
        NUM("Adjustment", "Image Contrast", imageContrast, 0, ""),
        NUM("Adjustment", "Image Gamma", imageGamma, 1.0, ""),
        NUM("Adjustment", "Image Invert", imageInvert, 0, ""),
        NUM("Adjustment", "Do Image Greyscale", doImageGreyscale, 0, ""),
        NUM("Adjustment", "Do Image Threshold", doImageThreshold, 0, ""),
        NUM("Adjustment", "Image Threshold", imageThreshold, 0, ""),
        // Frame
        NUM("Frame", "Do Frame", doFrame, 0, ""),
        NUM("Frame", "Solid Left", solidLeft, 0, ""),
        NUM("Frame", "Solid Right", solidRight, 0, ""),
        NUM("Frame", "Solid Top", solidTop, 0, ""),
        NUM("Frame", "Solid Bottom", solidBottom, 0, ""),
        TXT("Frame", "Solid Left Color", solidLeftColor, "000000"),
        TXT("Frame", "Solid Right Color", solidRightColor, "000000"),
        TXT("Frame", "Solid Top Color", solidTopColor, "000000"),
        TXT("Frame", "Solid Bottom Color", solidBottomColor, "000000"),
        NUM("Frame", "Solid Opacity", solidOpacity, 255, ""),
        // Watermark
        NUM("Watermark", "Do Watermark", doWatermark, 0, ""),
        RULE("Watermark", "Text", watermarkText, WatermarkText, ""),
        TXT("Watermark", "Fonts", fonts, "Arial,Tahoma,Verdana"),
        TXT("Watermark", "Font", font, "Arial"),
        NUM("Watermark", "Font Size", fontSize, 14, ""),
        NUM("Watermark", "Font Leading", fontLeading, 0, ""),
        TXT("Watermark", "Font Colors", fontColors, kColorList),
        TXT("Watermark", "Font Color", fontColor, "FFFFFF"),
        NUM("Watermark", "Font Style", fontStyle, 0, ""),
        NUM("Watermark", "Font Effect", fontEffect, 0, ""),
        NUM("Watermark", "Text Antialiasing", textAntialiasing, 0, ""),
        NUM("Watermark", "Text Alignment", textAlignment, 0, ""),
        NUM("Watermark", "Text Padding", textPadding, 0, ""),
        NUM("Watermark", "Text Opacity", textOpacity, 255, ""),
        TXT("Watermark", "Back Colors", backColors, kColorList),
        TXT("Watermark", "Back Color", backColor, "000000"),
        NUM("Watermark", "Back Opacity", backOpacity, 1, ""),
        NUM("Watermark", "Text Boundary", textBoundary, 0, ""),
        NUM("Watermark", "Text Position", textPosition, 8, ""),
        NUM("Watermark", "Text X Offset", textXOffset, 10, ""),
        NUM("Watermark", "Text Y Offset", textYOffset, 10, ""),
        NUM("Watermark", "Text Rotation", textRotation, 0, ""),
        NUM("Watermark", "Text Size", textSize, 0, ""),
        NUM("Watermark", "Text Scale", textScale, 10, ""),
        TXT("Watermark", "Image", watermarkImage, ""),
        NUM("Watermark", "Image Greyscale", watermarkImageGreyscale, 0, ""),
        NUM("Watermark", "Image Opacity", watermarkImageOpacity, 255, ""),
        NUM("Watermark", "Image Boundary", watermarkImageBoundary, 0, ""),
        NUM("Watermark", "Image Position", watermarkImagePosition, 8, ""),
        NUM("Watermark", "Image X Offset", watermarkImageXOffset, 10, ""),
        NUM("Watermark", "Image Y Offset", watermarkImageYOffset, 10, ""),
        NUM("Watermark", "Image Rotation", watermarkImageRotation, 0, ""),
        NUM("Watermark", "Image Size", watermarkImageSize, 0, ""),
        NUM("Watermark", "Image Scale", watermarkImageScale, 10, ""),
        // Advanced
        TXT("Advanced", "Filename Mask", filenameMask, "%filename%.%ext%"),
        NUM("Advanced", "File Timestamp", fileTimestamp, 0, ""),
        RULE("Advanced", "Custom Timestamp", customTimestamp, Now, ""),
        NUM("Advanced", "Out Folders History", outFoldersHistory, 1, ""),
        NUM("Advanced", "Out Folders Number", outFoldersNumber, 5, ""),
        NUM("Advanced", "Keep Subfolders", keepSubfolders, 1, ""),
        // File
        TXT("File", "Recent Out Folders", recentOutFolders, ""),
        TXT("File", "Recent Files", recentFiles, ""),
        // Privacy
        NUM("Privacy", "Clean Recent Files", cleanRecentFiles, 0, ""),
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
    for (const FieldInfo& f : SettingsFields()) {
        switch (f.rule) {
        case DefaultRule::Constant:
            if (f.ref.type == FieldType::Text) s.*f.ref.textField = f.text;
            else if (f.ref.type == FieldType::Float) s.*f.ref.floatField = static_cast<float>(f.number);
            else f.ref.SetNumber(s, static_cast<int64_t>(f.number));
            break;
        case DefaultRule::Now:
            f.ref.SetNumber(s, now);
            break;
        case DefaultRule::CentreX:
            f.ref.SetNumber(s, desktopWidth > 510 ? (desktopWidth - 510) / 2 : 100);
            break;
        case DefaultRule::CentreY:
            f.ref.SetNumber(s, desktopHeight > 260 ? (desktopHeight - 260) / 2 : 100);
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
        case DefaultRule::AspectByMode:
            f.ref.SetNumber(s, commandLineMode ? 0 : 1);
            break;
        case DefaultRule::WatermarkText:
            s.*f.ref.textField = kDefaultWatermarkText;
            break;
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
