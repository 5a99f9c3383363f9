// The formats the engine knows, and the lists the product narrows them to.
#include "engine/format_registry.h"

#include <utility>

#include "text/text_util.h"

namespace tarnwick {

namespace {

std::vector<std::string> SplitComma(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

void AddOutput(FormatRegistry& reg, const std::string& ext, int fif, const std::string& description,
               std::vector<int> bppList) {
    auto [it, inserted] = reg.outputFormats.insert_or_assign(
        ext, OutputFormatInfo{fif, ext, description, std::move(bppList)});
    (void)it;
    if (inserted) reg.outputOrder.push_back(ext);
}

void AddInput(FormatRegistry& reg, const std::string& family, const std::string& description,
              std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        auto [it, inserted] =
            reg.inputExtensions.insert_or_assign(key, InputExtensionInfo{family, description});
        (void)it;
        if (inserted) reg.inputOrder.emplace_back(key);
    }
}

}  // namespace

FormatRegistry& GlobalRegistry() {
    static FormatRegistry registry;
    return registry;
}

// FreeImage format numbers (FREE_IMAGE_FORMAT); PBM, PGM and PPM are the
// plain-text variants.
void BuildOutputRegistry(FormatRegistry& reg) {
    AddOutput(reg, "bmp", 0, "Windows or OS/2 Bitmap", {1, 4, 8, 16, 24, 32});
    AddOutput(reg, "exr", 29, "ILM OpenEXR", {96});
    AddOutput(reg, "gif", 25, "Graphics Interchange Format", {8});
    AddOutput(reg, "hdr", 26, "High Dynamic Range Image", {96});
    AddOutput(reg, "ico", 1, "Windows Icon", {1, 4, 8, 16, 24, 32});
    AddOutput(reg, "j2k", 30, "JPEG-2000 Codestream", {8, 24, 32, 48});
    AddOutput(reg, "jng", 3, "JPEG Network Graphics", {24, 32});
    AddOutput(reg, "jp2", 31, "JPEG-2000 File Format", {8, 24, 32, 48});
    AddOutput(reg, "jpg", 2, "JPEG File Format", {8, 24});
    AddOutput(reg, "jxr", 36, "JPEG XR Image Format", {1, 8, 16, 24, 32, 48, 96});
    AddOutput(reg, "pbm", 7, "Portable Bitmap", {1});
    AddOutput(reg, "pfm", 32, "Portable Floatmap", {96});
    AddOutput(reg, "pgm", 11, "Portable Greymap", {8});
    AddOutput(reg, "png", 13, "Portable Network Graphics", {1, 4, 8, 24, 32, 48});
    AddOutput(reg, "ppm", 14, "Portable Pixelmap", {24, 48});
    AddOutput(reg, "tga", 17, "Truevision Targa", {8, 16, 24, 32});
    AddOutput(reg, "tiff", 18, "Tagged Image File Format", {1, 4, 8, 24, 32, 48, 96});
    AddOutput(reg, "wbmp", 19, "Wireless Bitmap", {1});
    AddOutput(reg, "webp", 35, "Google WebP Image Format", {24, 32});
    AddOutput(reg, "xpm", 23, "X11 Pixmap Format", {24});
}

void BuildInputRegistry(FormatRegistry& reg) {
    AddInput(reg, "bmp", "Windows or OS/2 Bitmap", {"bmp", "rle", "dib"});
    AddInput(reg, "dds", "DirectDraw Surface File", {"dds"});
    AddInput(reg, "emf", "Enhanced Metafile Format", {"emf", "emz"});
    AddInput(reg, "gif", "GIF File", {"gif"});
    AddInput(reg, "hdr", "High Dynamic Range File", {"hdr", "hdri"});
    AddInput(reg, "ico", "Windows Icon", {"ico"});
    AddInput(reg, "jpg", "JPEG File", {"jpg", "jpeg", "jpe", "jif"});
    AddInput(reg, "pcd", "Kodak PhotoCD File", {"pcd", "pcd1", "pcds", "ppcd"});
    AddInput(reg, "pcx", "ZSoft Paintbrush File", {"pcx"});
    AddInput(reg, "pic", "Macintosh PICT", {"pic", "pict", "pct"});
    AddInput(reg, "png", "Portable Network Graphics", {"png"});
    AddInput(reg, "psd", "Adobe Photoshop File", {"psd"});
    AddInput(reg, "tga", "Truevision Targa", {"tga", "targa"});
    AddInput(reg, "tiff", "Tagged Image File Format", {"tiff", "tif"});
    AddInput(reg, "wmf", "Windows Metafile Format", {"wmf", "wmz"});
    AddInput(reg, "wmf", "Aldus Placeable Metafile", {"apm"});
    AddInput(reg, "raw", "Camera RAW Image", {"raw", "raw1", "raw2"});
    AddInput(reg, "raw", "Hasselblad Camera RAW Image", {"3fr"});
    AddInput(reg, "raw", "Sony Camera RAW Image", {"arw", "sr2", "srf"});
    AddInput(reg, "raw", "Casio Camera RAW Image", {"bay"});
    AddInput(reg, "raw", "NuCore RAW Image", {"bmq"});
    AddInput(reg, "raw", "Phase One Camera RAW Image", {"cap", "iiq", "eip"});
    AddInput(reg, "raw", "Phantom RAW Image", {"cine"});
    AddInput(reg, "raw", "Canon Camera RAW Image", {"cr2", "crw"});
    AddInput(reg, "raw", "Capture Shop RAW Image", {"cs1"});
    AddInput(reg, "raw", "Kodak Camera RAW Image",
             {"dc2", "dcr", "drf", "dsc", "k25", "kc2", "kdc", "dcs"});
    AddInput(reg, "raw", "Adobe Digital Negative Image", {"dng"});
    AddInput(reg, "raw", "Epson Camera RAW Image", {"erf"});
    AddInput(reg, "raw", "Imacon Camera RAW Image", {"fff"});
    AddInput(reg, "raw", "Sinar RAW Image", {"ia", "sti"});
    AddInput(reg, "raw", "Minolta Camera RAW Image", {"mdc", "mrw"});
    AddInput(reg, "raw", "Mamiya Camera RAW Image", {"mef", "mos"});
    AddInput(reg, "raw", "Nikon Camera RAW Image", {"nef", "nrw"});
    AddInput(reg, "raw", "Olympus Camera RAW Image", {"orf"});
    AddInput(reg, "raw", "Pentax Camera RAW Image", {"pef", "ptx"});
    AddInput(reg, "raw", "Logitech Camera RAW Image", {"pxn"});
    AddInput(reg, "raw", "Apple Quicktake Camera RAW Image", {"qtk"});
    AddInput(reg, "raw", "Fuji Camera RAW Image", {"raf"});
    AddInput(reg, "raw", "Digital Foto Maker RAW Image", {"rdc"});
    AddInput(reg, "raw", "Panasonic Camera RAW Image", {"rw2"});
    AddInput(reg, "raw", "Rawzor Camera RAW Image", {"rwz"});
    AddInput(reg, "raw", "Sigma Camera RAW Image", {"x3f"});
    AddInput(reg, "raw", "ARRI RAW Image", {"ari"});
    AddInput(reg, "raw", "RED RAW Image", {"r3d"});
    AddInput(reg, "raw", "Leica Camera RAW Image", {"rwl"});
}

void BuildAcceptedInputExtensions(FormatRegistry& reg, const std::vector<std::string>& inputList) {
    std::string text;
    for (const std::string& family : inputList) {
        for (const std::string& key : reg.inputOrder) {
            auto it = reg.inputExtensions.find(key);
            if (it != reg.inputExtensions.end() && it->second.family == family) {
                text += key;
                text += ',';
            }
        }
    }
    if (!text.empty() && text.back() == ',') text.pop_back();
    reg.acceptedInputExtensions = SplitComma(text);
}

const OutputFormatInfo* FindOutputFormat(const FormatRegistry& reg, const std::string& ext) {
    auto it = reg.outputFormats.find(ext);
    return it == reg.outputFormats.end() ? nullptr : &it->second;
}

const InputExtensionInfo* FindInputExtension(const FormatRegistry& reg, const std::string& ext) {
    auto it = reg.inputExtensions.find(ext);
    return it == reg.inputExtensions.end() ? nullptr : &it->second;
}

bool IsBppAllowed(const FormatRegistry& reg, const std::string& ext, int bpp) {
    if (bpp == 0) return true;
    const OutputFormatInfo* info = FindOutputFormat(reg, ext);
    if (!info) return false;
    for (int allowed : info->bppList)
        if (allowed == bpp) return true;
    return false;
}

std::vector<std::string> BppChoices(const FormatRegistry& reg, const std::string& ext, int current,
                                    const std::string& autoText, int& selected) {
    std::vector<std::string> items{autoText};
    const OutputFormatInfo* info = FindOutputFormat(reg, ext);
    if (info)
        for (int bpp : info->bppList) items.push_back(std::to_string(bpp));
    selected = -1;
    if (current == 0) {
        selected = 0;
    } else {
        const std::string wanted = std::to_string(current);
        for (size_t i = 1; i < items.size(); ++i) {
            if (items[i] == wanted) {
                selected = static_cast<int>(i);
                break;
            }
        }
    }
    return items;
}

std::string OutputFormatLabel(const FormatRegistry& reg, const std::string& ext,
                              bool withDescription) {
    std::string label = text::Upper(ext);
    if (withDescription) {
        const OutputFormatInfo* info = FindOutputFormat(reg, ext);
        label += " (";
        if (info) label += info->description;
        label += ")";
    }
    return label;
}

}  // namespace tarnwick
