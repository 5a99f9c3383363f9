// Keyword lists, number readers and the table of long options.
#include "settings/options.h"

#include <unordered_map>
#include <vector>

#include "settings/fields.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

struct Keyword {
    const char* name;
    int number;
};

struct KeywordTable {
    KeywordList list;
    std::vector<Keyword> words;
};

const std::vector<KeywordTable>& KeywordTables() {
    static const std::vector<KeywordTable> tables = {
        {KeywordList::DdsLoadAs, {{"AUTO", 0}, {"BGRA", 1}, {"RGBA", 2}}},
        {KeywordList::RawLoadAs,
         {{"AUTO", 0}, {"8", 1}, {"16", 2}, {"24", 3}, {"48HS", 4}, {"48", 5}}},
        {KeywordList::FrameLoading,
         {{"ALL", 0}, {"FIRST", 1}, {"MIDDLE", 2}, {"LAST", 3}, {"RANDOM", 4}}},
        {KeywordList::ToneMapping, {{"NONE", 0}, {"LINEAR", 1}, {"AL", 2}, {"DRR", 3}, {"GD", 4}}},
        {KeywordList::Compression,
         {{"NONE", 0},
          {"RLE", 1},
          {"ZIP", 1},
          {"PIZ", 2},
          {"PXR24", 3},
          {"B44", 4},
          {"ZLIB1", 1},
          {"ZLIB6", 2},
          {"ZLIB9", 3},
          {"CCITTFAX3", 1},
          {"CCITTFAX4", 2},
          {"PACKBITS", 3},
          {"DEFLATE", 4},
          {"ADOBEDEFLATE", 5},
          {"LZW", 6},
          {"JPEG", 7},
          {"LOGLUV", 8}}},
        {KeywordList::ColorTable, {{"AUTO", 0}, {"EXACT", 1}}},
        {KeywordList::ColorModel, {{"RGB", 0}, {"CMYK", 1}, {"LAB", 2}}},
        {KeywordList::Chroma, {{"NONE", 0}, {"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}}},
        {KeywordList::JpegSaveAs,
         {{"STANDARD", 0}, {"SIMPLE", 1}, {"OPTIMIZED", 2}, {"PROGRESSIVE", 3}}},
        {KeywordList::RotationType, {{"SIMPLE", 0}, {"ADVANCED", 1}}},
        {KeywordList::SizeUnit, {{"PIXELS", 0}, {"PERCENT", 1}}},
        {KeywordList::ResizeType, {{"ALLIMAGES", 0}, {"LARGEIMAGES", 1}}},
        {KeywordList::ResizeAlgorithm,
         {{"BOX", 0},
          {"BILINEAR", 1},
          {"BSPLINE", 2},
          {"BICUBIC", 3},
          {"CATMULLROM", 4},
          {"LANCZOS", 5}}},
        {KeywordList::FrameKind, {{"NONE", 0}, {"SOLID", 1}}},
        {KeywordList::WatermarkKind, {{"NONE", 0}, {"TEXT", 1}, {"IMAGE", 2}}},
        {KeywordList::FontStyle, {{"REGULAR", 0}, {"BOLD", 1}, {"ITALIC", 2}, {"BOLDITALIC", 3}}},
        {KeywordList::FontEffect, {{"NONE", 0}, {"UNDERLINE", 1}, {"STRIKETHROUGHT", 2}}},
        {KeywordList::TextAlignment, {{"LEFT", 0}, {"CENTER", 1}, {"RIGHT", 2}}},
        {KeywordList::Boundary, {{"IMAGE", 0}, {"FRAME", 1}}},
        {KeywordList::Position,
         {{"TOPLEFT", 0},
          {"TOPCENTER", 1},
          {"TOPRIGHT", 2},
          {"MIDDLELEFT", 3},
          {"MIDDLECENTER", 4},
          {"MIDDLERIGHT", 5},
          {"BOTTOMLEFT", 6},
          {"BOTTOMCENTER", 7},
          {"BOTTOMRIGHT", 8}}},
        {KeywordList::SizeMode, {{"FIXED", 0}}},
        {KeywordList::Timestamp, {{"CURRENT", 0}, {"ORIGINAL", 1}, {"CUSTOM", 2}}},
    };
    return tables;
}

const std::vector<Keyword>* Words(KeywordList list) {
    for (const KeywordTable& t : KeywordTables())
        if (t.list == list) return &t.words;
    return nullptr;
}

// The compression keywords each output format reports, numbered from 1.
const std::vector<const char*>* CompressionGroup(const std::string& format) {
    static const std::vector<const char*> rle = {"RLE"};
    static const std::vector<const char*> exr = {"ZIP", "PIZ", "PXR24", "B44"};
    static const std::vector<const char*> png = {"ZLIB1", "ZLIB6", "ZLIB9"};
    static const std::vector<const char*> tiff = {
        "CCITTFAX3", "CCITTFAX4", "PACKBITS", "DEFLATE", "ADOBEDEFLATE", "LZW", "JPEG", "LOGLUV"};
    if (format == "bmp" || format == "tga") return &rle;
    if (format == "exr") return &exr;
    if (format == "png") return &png;
    if (format == "tiff") return &tiff;
    return nullptr;
}

using text::Trim;

// One long option: its value kind, the field it sets, the keyword list of a
// keyword option, the fixed value of a flag, and a second field it sets to a
// fixed value.
struct OptionInfo {
    const char* name;
    OptionKind kind;
    const char* field;
    KeywordList list;
    int flagValue;
    const char* alsoField;
    int alsoValue;
};

constexpr KeywordList kNoList = KeywordList::DdsLoadAs;  // unused for non-keyword options

#define KW(name, field, list) \
    { name, OptionKind::Keyword, field, KeywordList::list, 0, nullptr, 0 }
#define WHOLE(name, field) \
    { name, OptionKind::Whole, field, kNoList, 0, nullptr, 0 }
#define WHOLE_ALSO(name, field, also, v) \
    { name, OptionKind::Whole, field, kNoList, 0, also, v }
#define TEXT(name, field) \
    { name, OptionKind::Text, field, kNoList, 0, nullptr, 0 }
#define TEXT_ALSO(name, field, also, v) \
    { name, OptionKind::Text, field, kNoList, 0, also, v }
#define FLAG(name, field, v) \
    { name, OptionKind::Flag, field, kNoList, v, nullptr, 0 }
#define FLAG_ALSO(name, field, v, also, av) \
    { name, OptionKind::Flag, field, kNoList, v, also, av }

const std::vector<OptionInfo>& OptionTable() {
    static const std::vector<OptionInfo> table = {
        KW("--DDS-LOAD-AS", "ddsLoadAs", DdsLoadAs),
        KW("--GIF-FRAME-LOADING", "gifFrameLoading", FrameLoading),
        KW("--ICO-FRAME-LOADING", "icoFrameLoading", FrameLoading),
        KW("--RAW-LOAD-AS", "rawLoadAs", RawLoadAs),
        WHOLE("--RAW-HEADER-SIZE", "rawHeaderSize"),
        WHOLE("--RAW-WIDTH", "rawImageWidth"),
        WHOLE("--RAW-HEIGHT", "rawImageHeight"),
        KW("--RAW-TONE-MAPPING", "rawToneMapping", ToneMapping),
        KW("--TIFF-FRAME-LOADING", "tiffFrameLoading", FrameLoading),
        WHOLE("--BMP-BPP", "bmpBpp"),
        KW("--BMP-COMPRESSION", "bmpCompression", Compression),
        KW("--BMP-COLOR-TABLE", "bmpColorTable", ColorTable),
        WHOLE("--DDS-BPP", "ddsBpp"),
        WHOLE("--EXR-BPP", "exrBpp"),
        KW("--EXR-COMPRESSION", "exrCompression", Compression),
        WHOLE("--GIF-BPP", "gifBpp"),
        WHOLE("--HDR-BPP", "hdrBpp"),
        WHOLE("--ICO-BPP", "icoBpp"),
        WHOLE("--J2K-BPP", "j2kBpp"),
        WHOLE("--JNG-BPP", "jngBpp"),
        WHOLE("--JP2-BPP", "jp2Bpp"),
        WHOLE("--JPG-BPP", "jpgBpp"),
        WHOLE("--JPG-QUALITY", "jpgQuality"),
        KW("--JPG-CHROMA", "jpgChroma", Chroma),
        KW("--JPG-SAVE-AS", "jpgSaveAs", JpegSaveAs),
        WHOLE("--JXR-BPP", "jxrBpp"),
        WHOLE("--PBM-BPP", "pbmBpp"),
        WHOLE("--PCX-BPP", "pcxBpp"),
        WHOLE("--PFM-BPP", "pfmBpp"),
        WHOLE("--PGM-BPP", "pgmBpp"),
        WHOLE("--PNG-BPP", "pngBpp"),
        KW("--PNG-COMPRESSION", "pngCompression", Compression),
        FLAG("--PNG-INTERLACED", "pngInterlaced", 1),
        WHOLE("--PPM-BPP", "ppmBpp"),
        WHOLE("--PSD-BPP", "psdBpp"),
        WHOLE("--TGA-BPP", "tgaBpp"),
        KW("--TGA-COMPRESSION", "tgaCompression", Compression),
        WHOLE("--TIFF-BPP", "tiffBpp"),
        KW("--TIFF-COMPRESSION", "tiffCompression", Compression),
        KW("--TIFF-COLOR-MODEL", "tiffColorModel", ColorModel),
        WHOLE("--WBMP-BPP", "wbmpBpp"),
        WHOLE("--WEBP-BPP", "webpBpp"),
        WHOLE("--XPM-BPP", "xpmBpp"),
        KW("--ROTATION-TYPE", "imageRotationType", RotationType),
        WHOLE_ALSO("--ROTATION", "imageRotation", "doImageRotation", 1),
        TEXT("--ROTATION-BACK-COLOR", "imageRotationBackColor"),
        WHOLE_ALSO("--WIDTH", "imageWidth", "doImageResize", 1),
        KW("--WIDTH-UNIT", "imageWidthUnit", SizeUnit),
        WHOLE_ALSO("--HEIGHT", "imageHeight", "doImageResize", 1),
        KW("--HEIGHT-UNIT", "imageHeightUnit", SizeUnit),
        FLAG("--KEEP-ASPECT-RATIO", "keepAspectRatio", 1),
        KW("--RESIZE-TYPE", "imageResizeType", ResizeType),
        KW("--RESIZE-ALGORITHM", "imageResizeAlgorithm", ResizeAlgorithm),
        FLAG("--FLIP-HORIZONTAL", "doImageFlipHorizontal", 1),
        FLAG("--FLIP-VERTICAL", "doImageFlipVertical", 1),
        WHOLE_ALSO("--BRIGHTNESS", "imageBrightness", "doImageColorCorrection", 1),
        WHOLE_ALSO("--CONTRAST", "imageContrast", "doImageColorCorrection", 1),
        {"--GAMMA", OptionKind::Decimal, "imageGamma", kNoList, 0, "doImageColorCorrection", 1},
        FLAG_ALSO("--INVERT", "imageInvert", 1, "doImageColorCorrection", 1),
        FLAG("--GREYSCALE", "doImageGreyscale", 1),
        WHOLE_ALSO("--THRESHOLD", "imageThreshold", "doImageThreshold", 1),
        WHOLE_ALSO("--FR-SOLID-LEFT", "solidLeft", "doFrame", 1),
        WHOLE_ALSO("--FR-SOLID-RIGHT", "solidRight", "doFrame", 1),
        WHOLE_ALSO("--FR-SOLID-TOP", "solidTop", "doFrame", 1),
        WHOLE_ALSO("--FR-SOLID-BOTTOM", "solidBottom", "doFrame", 1),
        TEXT("--FR-SOLID-LEFT-COLOR", "solidLeftColor"),
        TEXT("--FR-SOLID-RIGHT-COLOR", "solidRightColor"),
        TEXT("--FR-SOLID-TOP-COLOR", "solidTopColor"),
        TEXT("--FR-SOLID-BOTTOM-COLOR", "solidBottomColor"),
        WHOLE("--FR-SOLID-OPACITY", "solidOpacity"),
        TEXT_ALSO("--WM-TEXT", "watermarkText", "doWatermark", 1),
        TEXT("--WM-FONT", "font"),
        WHOLE("--WM-FONT-SIZE", "fontSize"),
        WHOLE("--WM-FONT-LEADING", "fontLeading"),
        TEXT("--WM-FONT-COLOR", "fontColor"),
        KW("--WM-FONT-STYLE", "fontStyle", FontStyle),
        KW("--WM-FONT-EFFECT", "fontEffect", FontEffect),
        FLAG("--WM-TEXT-ANTIALIASING", "textAntialiasing", 1),
        KW("--WM-TEXT-ALIGNMENT", "textAlignment", TextAlignment),
        WHOLE("--WM-TEXT-PADDING", "textPadding"),
        WHOLE("--WM-TEXT-OPACITY", "textOpacity"),
        TEXT("--WM-BACK-COLOR", "backColor"),
        WHOLE("--WM-BACK-OPACITY", "backOpacity"),
        KW("--WM-TEXT-BOUNDARY", "textBoundary", Boundary),
        KW("--WM-TEXT-POSITION", "textPosition", Position),
        WHOLE("--WM-TEXT-X-OFFSET", "textXOffset"),
        WHOLE("--WM-TEXT-Y-OFFSET", "textYOffset"),
        WHOLE("--WM-TEXT-ROTATION", "textRotation"),
        KW("--WM-TEXT-SIZE", "textSize", SizeMode),
        TEXT_ALSO("--WM-IMAGE", "watermarkImage", "doWatermark", 2),
        FLAG("--WM-IMAGE-GREYSCALE", "watermarkImageGreyscale", 1),
        WHOLE("--WM-IMAGE-OPACITY", "watermarkImageOpacity"),
        KW("--WM-IMAGE-BOUNDARY", "watermarkImageBoundary", Boundary),
        KW("--WM-IMAGE-POSITION", "watermarkImagePosition", Position),
        WHOLE("--WM-IMAGE-X-OFFSET", "watermarkImageXOffset"),
        WHOLE("--WM-IMAGE-Y-OFFSET", "watermarkImageYOffset"),
        WHOLE("--WM-IMAGE-ROTATION", "watermarkImageRotation"),
        KW("--WM-IMAGE-SIZE", "watermarkImageSize", SizeMode),
        TEXT("--FILENAME-MASK", "filenameMask"),
        KW("--FILE-TIMESTAMP", "fileTimestamp", Timestamp),
        WHOLE("--FILE-TIMESTAMP-CUSTOM", "customTimestamp"),
        FLAG("--NO-SUBFOLDERS", "keepSubfolders", 0),
    };
    return table;
}

#undef KW
#undef WHOLE
#undef WHOLE_ALSO
#undef TEXT
#undef TEXT_ALSO
#undef FLAG
#undef FLAG_ALSO

// An option row with its fields resolved against the field table.
struct ResolvedOption {
    const OptionInfo* info;
    FieldRef field;
    FieldRef also;
    bool hasAlso;
};

const std::unordered_map<std::string, ResolvedOption>& Options() {
    static const std::unordered_map<std::string, ResolvedOption> map = [] {
        std::unordered_map<std::string, ResolvedOption> m;
        for (const OptionInfo& o : OptionTable()) {
            const FieldInfo* f = FindField(o.field);
            if (!f) continue;  // a row naming an unknown field is left out
            ResolvedOption r{&o, f->ref, FieldRef(), false};
            if (o.alsoField) {
                if (const FieldInfo* a = FindField(o.alsoField)) {
                    r.also = a->ref;
                    r.hasAlso = true;
                }
            }
            m.emplace(o.name, r);
        }
        return m;
    }();
    return map;
}

}  // namespace

int KeywordValue(const std::string& text, KeywordList list) {
    const std::vector<Keyword>* words = Words(list);
    if (!words) return 0;
    const std::string wanted = text::Upper(Trim(text));
    for (const Keyword& k : *words)
        if (wanted == k.name) return k.number;
    return 0;
}

std::string KeywordName(KeywordList list, int number, const std::string& format) {
    if (list == KeywordList::Compression) {
        if (number == 0) return "NONE";
        const std::vector<const char*>* group = CompressionGroup(text::Lower(format));
        if (!group || number < 1 || number > static_cast<int>(group->size())) return std::string();
        return (*group)[static_cast<size_t>(number - 1)];
    }
    const std::vector<Keyword>* words = Words(list);
    if (!words) return std::string();
    for (const Keyword& k : *words)
        if (k.number == number) return k.name;
    return std::string();
}

int32_t ReadWholeNumber(const std::string& text) { return text::ReadWholeNumber(text); }

float ReadDecimalNumber(const std::string& value) { return text::ParseDecimal<float>(value); }

std::vector<std::string> OptionNames() {
    std::vector<std::string> names;
    for (const OptionInfo& o : OptionTable())
        if (Options().count(o.name)) names.push_back(o.name);
    return names;
}

std::vector<std::pair<std::string, int>> OptionKeywords(const std::string& name) {
    constexpr int kMostKeywords = 64;
    const auto& options = Options();
    auto it = options.find(text::Upper(name));
    if (it == options.end() || it->second.info->kind != OptionKind::Keyword) return {};
    const FieldInfo* field = FindField(it->second.info->field);
    const std::string format = field && field->tag ? field->tag : "";
    std::vector<std::pair<std::string, int>> words;
    for (int n = 0; n < kMostKeywords; ++n) {
        std::string keyword = KeywordName(it->second.info->list, n, format);
        if (!keyword.empty()) words.emplace_back(std::move(keyword), n);
    }
    return words;
}

bool FindOption(const std::string& name, OptionKind* kind) {
    const auto& options = Options();
    auto it = options.find(text::Upper(name));
    if (it == options.end()) return false;
    if (kind) *kind = it->second.info->kind;
    return true;
}

bool ApplyOption(Settings& s, const std::string& name, const std::string& value, bool fromProfile,
                 bool* outOfRange) {
    if (outOfRange) *outOfRange = false;
    const auto& options = Options();
    auto it = options.find(text::Upper(name));
    if (it == options.end()) return false;
    const ResolvedOption& o = it->second;
    const FieldRef& f = o.field;
    switch (o.info->kind) {
        case OptionKind::Keyword: f.SetNumber(s, KeywordValue(value, o.info->list)); break;
        case OptionKind::Whole:
            f.SetNumber(s, text::ReadWholeNumber(value, true, true, outOfRange));
            break;
        case OptionKind::Decimal:
            if (f.type == FieldType::Float) s.*f.floatField = ReadDecimalNumber(value);
            break;
        case OptionKind::Text:
            if (f.type == FieldType::Text) {
                std::string text = value;
                if (fromProfile && std::string(o.info->name) == "--FILENAME-MASK") {
                    if (!text.empty() && text.front() == '"') text.erase(0, 1);
                    if (!text.empty() && text.back() == '"') text.pop_back();
                }
                s.*f.textField = text;
            }
            break;
        case OptionKind::Flag: f.SetNumber(s, o.info->flagValue); break;
    }
    if (o.hasAlso) o.also.SetNumber(s, o.info->alsoValue);
    return true;
}

}  // namespace tarnwick
