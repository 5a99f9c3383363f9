// Build-time helper: writes the option sections of the manual page and the
// bash completion from the program's own option table, so neither can drift
// from what the command line accepts.
//
//   tarnwick_optiondoc manpage TEMPLATE OUT [NAME=VALUE...]
//                                     fills @OPTIONS@, @KEYWORDS@, @VERSION@ and
//                                     each @NAME@ of the page template
//   tarnwick_optiondoc completion OUT         writes the bash completion
//
// The option table tells each option's value kind. Which field a keyword
// option sets and which keyword list it reads are found by asking the table
// itself: the option is applied to a record and the field that changed is
// read back.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "settings/options.h"
#include "settings/settings.h"
#include "text/product.h"
#include "text/text_util.h"

using namespace tarnwick;

namespace {

// ---- What the table says about one option ------------------------------------

struct Keyword {
    std::string name;  // lower case, as shown and completed
    int number;
};

struct OptionDoc {
    std::string name;  // lower case with leading "--"
    OptionKind kind;
    std::vector<Keyword> keywords;  // keyword options only
};

// The keywords a keyword option accepts, in lower case.
std::vector<Keyword> KeywordsOf(const std::string& option) {
    std::vector<Keyword> words;
    for (const auto& [name, number] : OptionKeywords(option))
        words.push_back({text::Lower(name), number});
    return words;
}

std::vector<OptionDoc> TableOptions() {
    std::vector<OptionDoc> options;
    for (const std::string& name : OptionNames()) {
        OptionDoc o{text::Lower(name), OptionKind::Text, {}};
        FindOption(name, &o.kind);
        if (o.kind == OptionKind::Keyword) o.keywords = KeywordsOf(name);
        options.push_back(o);
    }
    return options;
}

// ---- Descriptions ----------------------------------------------------------

// The groups of the manual, in its order.
const std::vector<std::string>& Groups() {
    static const std::vector<std::string> groups = {"BMP output",
                                                    "Resizing, rotating and flipping",
                                                    "Tones",
                                                    "Frame",
                                                    "Watermark",
                                                    "Output names and files",
                                                    "Options of other formats"};
    return groups;
}

struct Description {
    const char* group;
    const char* value;  // placeholder after "="; empty: the one of the value kind
    const char* text;
};

const std::map<std::string, Description>& Descriptions() {
    static const std::map<std::string, Description> d = {
        {"--bmp-bpp",
         {"BMP output", "",
          "Bits per pixel of the BMP file: 1, 4, 8, 16, 24 or 32; 0 (default) chooses "
          "automatically from the picture."}},
        {"--bmp-compression", {"BMP output", "", "Compression of the BMP file."}},
        {"--bmp-color-table",
         {"BMP output", "",
          "Colour table of 8-bit files: auto (default) writes the full table of 256 entries; "
          "exact writes only the entries up to the highest colour the picture uses."}},
        {"--width",
         {"Resizing, rotating and flipping", "",
          "Target width; turns resizing on. Resizing needs both --width and --height, "
          "neither 0."}},
        {"--height", {"Resizing, rotating and flipping", "", "Target height; turns resizing on."}},
        {"--width-unit",
         {"Resizing, rotating and flipping", "",
          "Unit of --width: pixels (default) or percent of the picture's width."}},
        {"--height-unit",
         {"Resizing, rotating and flipping", "",
          "Unit of --height: pixels (default) or percent of the picture's height."}},
        {"--keep-aspect-ratio",
         {"Resizing, rotating and flipping", "",
          "Keep the proportions: the target of the picture's longer side decides."}},
        {"--resize-type",
         {"Resizing, rotating and flipping", "",
          "allimages (default) resizes every picture; largeimages leaves pictures alone that "
          "are smaller than the target in both directions."}},
        {"--resize-algorithm",
         {"Resizing, rotating and flipping", "", "Resampling filter (default bicubic)."}},
        {"--rotation",
         {"Resizing, rotating and flipping", "",
          "Rotation in degrees; turns rotation on. Only angles between 0 and 360 (both "
          "excluded) rotate."}},
        {"--rotation-type",
         {"Resizing, rotating and flipping", "",
          "simple (default): the picture grows to hold the whole rotated picture; advanced: "
          "the picture keeps its size and is rotated about its centre."}},
        {"--rotation-back-color",
         {"Resizing, rotating and flipping", "RRGGBB",
          "Background colour of a simple rotation (default 000000, black)."}},
        {"--flip-horizontal", {"Resizing, rotating and flipping", "", "Mirror left to right."}},
        {"--flip-vertical", {"Resizing, rotating and flipping", "", "Mirror top to bottom."}},
        {"--brightness", {"Tones", "", "Brightness, -100 to 100 percent (default 0)."}},
        {"--contrast", {"Tones", "", "Contrast, -100 to 100 percent (default 0)."}},
        {"--gamma", {"Tones", "", "Gamma, 0.01 to 9.99 (default 1.0, no change)."}},
        {"--invert", {"Tones", "", "Negative picture."}},
        {"--greyscale", {"Tones", "", "Grey picture."}},
        {"--threshold",
         {"Tones", "",
          "Black and white: pixels darker than the level (0 to 255) become black, the others "
          "white."}},
        {"--fr-solid-left", {"Frame", "", "Width of the left side in pixels; turns the frame on."}},
        {"--fr-solid-right",
         {"Frame", "", "Width of the right side in pixels; turns the frame on."}},
        {"--fr-solid-top", {"Frame", "", "Width of the top side in pixels; turns the frame on."}},
        {"--fr-solid-bottom",
         {"Frame", "", "Width of the bottom side in pixels; turns the frame on."}},
        {"--fr-solid-left-color", {"Frame", "RRGGBB", "Colour of the left side (default black)."}},
        {"--fr-solid-right-color",
         {"Frame", "RRGGBB", "Colour of the right side (default black)."}},
        {"--fr-solid-top-color", {"Frame", "RRGGBB", "Colour of the top side (default black)."}},
        {"--fr-solid-bottom-color",
         {"Frame", "RRGGBB", "Colour of the bottom side (default black)."}},
        {"--fr-solid-opacity",
         {"Frame", "", "Opacity of the frame, 0 (invisible) to 255 (opaque, default)."}},
        {"--wm-text",
         {"Watermark", "",
          "The watermark text; turns the text watermark on. It may hold the tokens of the "
          "file-name mask (such as %yyyy%) and %eol% for a line break."}},
        {"--wm-font", {"Watermark", "", "Font name."}},
        {"--wm-font-size", {"Watermark", "", "Font size in points (default 14)."}},
        {"--wm-font-leading", {"Watermark", "", "Extra space between lines, pixels."}},
        {"--wm-font-color", {"Watermark", "RRGGBB", "Text colour (default FFFFFF, white)."}},
        {"--wm-font-style", {"Watermark", "", "Font style."}},
        {"--wm-font-effect",
         {"Watermark", "", "Font effect (strikethrought is spelt with the final t)."}},
        {"--wm-text-antialiasing", {"Watermark", "", "Smooth text edges."}},
        {"--wm-text-alignment", {"Watermark", "", "Alignment of the lines of a text."}},
        {"--wm-text-padding",
         {"Watermark", "", "Space between the text and the edge of its box, pixels."}},
        {"--wm-text-opacity", {"Watermark", "", "Opacity of the text, 0 to 255 (default 255)."}},
        {"--wm-back-color",
         {"Watermark", "RRGGBB", "Colour of the box behind the text (default black)."}},
        {"--wm-back-opacity",
         {"Watermark", "", "Opacity of the box behind the text, 0 to 255 (default 1)."}},
        {"--wm-text-boundary",
         {"Watermark", "",
          "image: place the text within the whole picture; frame: within the part inside the "
          "frame."}},
        {"--wm-text-position", {"Watermark", "", "Place of the text (default bottomright)."}},
        {"--wm-text-x-offset",
         {"Watermark", "", "Distance from the chosen left or right edge in pixels (default 10)."}},
        {"--wm-text-y-offset",
         {"Watermark", "", "Distance from the chosen top or bottom edge in pixels (default 10)."}},
        {"--wm-text-rotation", {"Watermark", "", "Rotation of the text in degrees."}},
        {"--wm-text-size", {"Watermark", "", "Size mode; the text is drawn at its natural size."}},
        {"--wm-image",
         {"Watermark", "FILE",
          "A picture file (PNG, JPEG or BMP) to lay over the picture; turns the image "
          "watermark on."}},
        {"--wm-image-greyscale", {"Watermark", "", "Draw the watermark picture in grey."}},
        {"--wm-image-opacity",
         {"Watermark", "", "Opacity of the watermark picture, 0 to 255 (default 255)."}},
        {"--wm-image-boundary", {"Watermark", "", "As --wm-text-boundary, for the picture."}},
        {"--wm-image-position", {"Watermark", "", "As --wm-text-position, for the picture."}},
        {"--wm-image-x-offset", {"Watermark", "", "As --wm-text-x-offset, for the picture."}},
        {"--wm-image-y-offset", {"Watermark", "", "As --wm-text-y-offset, for the picture."}},
        {"--wm-image-rotation", {"Watermark", "", "Rotation of the picture in degrees."}},
        {"--wm-image-size", {"Watermark", "", "As --wm-text-size, for the picture."}},
        {"--filename-mask",
         {"Output names and files", "",
          "Mask of the output file name (default %filename%.%ext%)."}},
        {"--file-timestamp",
         {"Output names and files", "",
          "Modification time of the output file: current (default, the time of writing), "
          "original (copied from the input file), custom (the time of "
          "--file-timestamp-custom)."}},
        {"--file-timestamp-custom",
         {"Output names and files", "",
          "The time for custom, in seconds since 1 January 1970 counted on the local clock."}},
        {"--no-subfolders",
         {"Output names and files", "",
          "Do not recreate the input's subfolder below the output folder."}},
    };
    return d;
}

// What a group says before its options.
std::string GroupIntro(const std::string& group) {
    if (group == "Options of other formats")
        return "The program reads PNG and writes BMP only. The following options of other "
               "formats are accepted for compatibility and shown in the -d report where they "
               "apply; otherwise they have no effect.";
    if (group == "Watermark")
        return "A picture gets either a text or an image watermark; whichever of --wm-text and "
               "--wm-image comes last wins.";
    return {};
}

// Options without their own description belong to formats the product does
// not read or write; their name tells the format and the setting.
Description DescriptionOf(const OptionDoc& o) {
    auto it = Descriptions().find(o.name);
    if (it != Descriptions().end()) return it->second;
    static std::map<std::string, std::string> texts;
    std::string& text = texts[o.name];
    if (text.empty()) {
        const size_t dash = o.name.find('-', 2);
        std::string format = o.name.substr(2, dash == std::string::npos ? 0 : dash - 2);
        std::string setting =
            dash == std::string::npos ? o.name.substr(2) : o.name.substr(dash + 1);
        for (char& c : format) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : setting) c = c == '-' ? ' ' : c;
        if (setting == "bpp") setting = "bits per pixel";
        setting[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(setting[0])));
        text = setting + (format.empty() ? "" : " (" + format + ")") + ".";
    }
    return {"Options of other formats", "", text.c_str()};
}

std::string Placeholder(const OptionDoc& o) {
    const Description d = DescriptionOf(o);
    if (*d.value) return d.value;
    switch (o.kind) {
        case OptionKind::Keyword: return "KEY";
        case OptionKind::Whole:
        case OptionKind::Decimal: return "NUM";
        case OptionKind::Text: return "STR";
        case OptionKind::Flag: return "";
    }
    return "";
}

std::string KeywordText(const std::vector<Keyword>& words) {
    std::string text;
    for (const Keyword& k : words) text += (text.empty() ? "" : ", ") + k.name;
    return text;
}

// ---- The manual page ---------------------------------------------------------

// Escapes text for roff: backslashes, minus signs and a leading control character.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

void Item(std::ostream& out, const std::string& term, const std::string& text) {
    out << ".TP\n" << term << "\n" << Roff(text) << "\n";
}

// "\fB\-\-width\fR=\fINUM\fR"
std::string OptionTerm(const std::string& name, const std::string& value) {
    std::string term = "\\fB" + Roff(name) + "\\fR";
    if (!value.empty()) term += "=\\fI" + Roff(value) + "\\fR";
    return term;
}

std::string ManOptions(const std::vector<OptionDoc>& options) {
    std::ostringstream out;
    out << ".SS Options\n";
    Item(out, "\\fB\\-h\\fR, \\fB\\-?\\fR, \\fB\\-\\-help\\fR",
         "Display this help and exit (first parameter only).");
    Item(out, "\\fB\\-i\\fR \\fIFILE\\fR, \\fB\\-\\-input\\fR=\\fIFILE\\fR",
         "Set input file: the PNG file to convert.");
    Item(out, "\\fB\\-o\\fR \\fIPATH\\fR, \\fB\\-\\-output\\fR=\\fIPATH\\fR",
         "Set output folder (default: the input file's folder).");
    Item(out, "\\fB\\-c\\fR \\fISTR\\fR, \\fB\\-\\-conversion\\fR=\\fISTR\\fR",
         "Set output extension; this program writes bmp.");
    out << ".SS \"Advanced options\"\n"
        << "Every option below takes its value after \\(lq=\\(rq.\n";
    Item(out, OptionTerm("--profile", "FILE"),
         "Read further options from a profile file at this place of the command line: options "
         "before it are overridden by the profile, options after it override the profile.");
    for (const std::string& group : Groups()) {
        out << ".SS \"" << group << "\"\n";
        if (const std::string intro = GroupIntro(group); !intro.empty()) out << Roff(intro) << "\n";
        for (const OptionDoc& o : options) {
            const Description d = DescriptionOf(o);
            if (group != d.group) continue;
            std::string text = d.text;
            if (!o.keywords.empty()) text += " One of: " + KeywordText(o.keywords) + ".";
            Item(out, OptionTerm(o.name, Placeholder(o)), text);
        }
    }
    out << ".SS \"Other options\"\n";
    Item(out, "\\fB\\-q\\fR, \\fB\\-\\-quiet\\fR", "Don't print status messages to stdout.");
    Item(out, "\\fB\\-d\\fR, \\fB\\-\\-debug\\fR",
         "Print debug information to stdout: the settings report and per-file lines.");
    Item(out, "\\fB\\-p\\fR, \\fB\\-\\-pause\\fR", "Pause at exit: wait for a key at the end.");
    Item(out, "\\fB\\-v\\fR, \\fB\\-\\-version\\fR",
         "Display version information and exit (first parameter only).");
    return out.str();
}

// One entry per keyword list as the options use it; options that read the
// same keywords share the entry.
std::string ManKeywords(const std::vector<OptionDoc>& options) {
    std::vector<std::pair<std::vector<std::string>, std::string>> entries;  // names, keywords
    for (const OptionDoc& o : options) {
        if (o.keywords.empty()) continue;
        const std::string words = KeywordText(o.keywords);
        auto same = std::find_if(entries.begin(), entries.end(),
                                 [&](const auto& e) { return e.second == words; });
        if (same != entries.end()) same->first.push_back(o.name);
        else entries.push_back({{o.name}, words});
    }
    std::ostringstream out;
    for (const auto& [names, words] : entries) {
        std::string term;
        for (const std::string& n : names) term += (term.empty() ? "" : ", ") + OptionTerm(n, "");
        Item(out, term, words);
    }
    return out.str();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Replace(std::string& text, const std::string& token, const std::string& with) {
    const size_t at = text.find(token);
    if (at == std::string::npos) return false;
    text.replace(at, token.size(), with);
    return true;
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

int WriteManPage(const std::string& templatePath, const std::string& outPath,
                 const std::vector<std::string>& values) {
    std::string page = ReadFile(templatePath);
    const std::vector<OptionDoc> options = TableOptions();
    if (!Replace(page, "@OPTIONS@\n", ManOptions(options)) ||
        !Replace(page, "@KEYWORDS@\n", ManKeywords(options))) {
        std::cerr << templatePath << ": @OPTIONS@ or @KEYWORDS@ missing\n";
        return 1;
    }
    while (Replace(page, "@VERSION@", VersionText(kProgramVersion))) {
    }
    for (const std::string& value : values) {
        const size_t eq = value.find('=');
        if (eq == std::string::npos) continue;
        const std::string token = "@" + value.substr(0, eq) + "@";
        while (Replace(page, token, Roff(value.substr(eq + 1)))) {
        }
    }
    return WriteFile(outPath, page) ? 0 : 1;
}

// ---- The bash completion -------------------------------------------------------

std::string Words(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
    return text;
}

int WriteCompletion(const std::string& outPath) {
    const std::vector<OptionDoc> options = TableOptions();
    std::vector<std::string> names = {
        "-h", "--help",  "-i", "--input=", "-o", "--output=", "-c", "--conversion=", "--profile=",
        "-q", "--quiet", "-d", "--debug",  "-p", "--pause",   "-v", "--version"};
    std::ostringstream keywordCases;
    std::vector<std::string> files = {"--input", "--profile"};
    for (const OptionDoc& o : options) {
        names.push_back(o.kind == OptionKind::Flag ? o.name : o.name + "=");
        if (!o.keywords.empty()) {
            std::vector<std::string> words;
            for (const Keyword& k : o.keywords) words.push_back(k.name);
            keywordCases << "        " << o.name << ") values='" << Words(words) << "' ;;\n";
        }
        if (Placeholder(o) == "FILE") files.push_back(o.name);
    }
    std::vector<std::string> formats;
    for (const std::string& e : OutputExtensions()) formats.push_back(e);

    std::ostringstream out;
    out << "# bash completion for tarnwick " << VersionText(kProgramVersion)
        << ", generated from its option table.\n"
        << R"(# Option names, "=" after options that take a value, the keywords of
# keyword options, file names after -i, --input=, --profile= and --wm-image=,
# folders after -o and --output=, PNG files and folders elsewhere. Names with
# blanks and other special characters are quoted by bash (-o filenames).

# The word as the shell will read it: backslashes and quotes removed, nothing
# expanded. The result is in _tarnwick_word.
_tarnwick_dequote() {
    local in=$1 out= quote= c i
    for ((i = 0; i < ${#in}; i++)); do
        c=${in:i:1}
        if [[ $quote == "'" ]]; then
            if [[ $c == "'" ]]; then quote=; else out+=$c; fi
        elif [[ $quote == '"' ]]; then
            if [[ $c == '"' ]]; then
                quote=
            elif [[ $c == '\' && ${in:i+1:1} == [\$\`\"\\] ]]; then
                out+=${in:i+1:1}
                ((i++))
            else
                out+=$c
            fi
        elif [[ $c == '\' ]]; then
            out+=${in:i+1:1}
            ((i++))
        elif [[ $c == "'" || $c == '"' ]]; then
            quote=$c
        else
            out+=$c
        fi
    done
    _tarnwick_word=$out
}

# COMPREPLY from names, one a line, each with the given prefix.
_tarnwick_reply() {
    local prefix=$1 name
    COMPREPLY=()
    while IFS= read -r name; do
        COMPREPLY+=("$prefix$name")
    done
}

_tarnwick() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev= option= value= prefix=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # "--name=value". Where "=" breaks words, bash gives "--name", "=" and the
    # value as words of their own and the reply replaces the value only.
    if [[ $cur == "=" && $prev == --* ]]; then
        option=$prev
    elif [[ $prev == "=" && COMP_CWORD -gt 1 && ${COMP_WORDS[COMP_CWORD - 2]} == --* ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]} value=$cur
    elif [[ $cur == --*=* ]]; then
        option=${cur%%=*} value=${cur#*=}
        [[ $COMP_WORDBREAKS == *=* ]] || prefix=$option=
    fi

    if [[ -n $option ]]; then
        local values= kind=words
        option=${option,,}
        case $option in
)" << keywordCases.str();
    for (const std::string& f : files) out << "        " << f << ") kind=files ;;\n";
    out << R"(        --output) kind=folders ;;
        --conversion) values=')"
        << Words(formats) << R"(' ;;
        *) return ;;
        esac
        _tarnwick_dequote "$value"
        case $kind in
        files)
            compopt -o filenames 2>/dev/null
            _tarnwick_reply "$prefix" < <(compgen -f -- "$_tarnwick_word")
            ;;
        folders)
            compopt -o filenames 2>/dev/null
            _tarnwick_reply "$prefix" < <(compgen -d -- "$_tarnwick_word")
            ;;
        *) _tarnwick_reply "$prefix" < <(compgen -W "$values" -- "${_tarnwick_word,,}") ;;
        esac
        return
    fi

    _tarnwick_dequote "$cur"
    # The value of a short option is the next word.
    if [[ $cur != -* ]]; then
        case ${prev,,} in
        -i)
            compopt -o filenames 2>/dev/null
            _tarnwick_reply "" < <(compgen -f -- "$_tarnwick_word")
            return
            ;;
        -o)
            compopt -o filenames 2>/dev/null
            _tarnwick_reply "" < <(compgen -d -- "$_tarnwick_word")
            return
            ;;
        -c)
            _tarnwick_reply "" < <(compgen -W ')"
        << Words(formats) << R"(' -- "$_tarnwick_word")
            return
            ;;
        esac
    fi

    if [[ $cur == -* ]]; then
        _tarnwick_reply "" < <(compgen -W ')"
        << Words(names) << R"(' -- "$cur")
        # No blank after an option that waits for its value.
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
        return
    fi
    compopt -o filenames 2>/dev/null
    _tarnwick_reply "" < <(
        compgen -f -X '!*.[pP][nN][gG]' -- "$_tarnwick_word"
        compgen -d -- "$_tarnwick_word"
    )
}
complete -F _tarnwick tarnwick
)";
    return WriteFile(outPath, out.str()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "manpage")
        return WriteManPage(args[1], args[2],
                            std::vector<std::string>(args.begin() + 3, args.end()));
    if (args.size() == 2 && args[0] == "completion") return WriteCompletion(args[1]);
    std::cerr
        << "usage: tarnwick_optiondoc manpage TEMPLATE OUT [NAME=VALUE...] | completion OUT\n";
    return 2;
}
