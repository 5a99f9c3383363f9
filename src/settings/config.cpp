// The configuration file of the window mode and the command-line profiles.
#include "settings/config.h"

#include "platform/platform.h"
#include "settings/fields.h"
#include "settings/options.h"
#include "settings/preference_file.h"
#include "text/product.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

bool IsWindowField(const FieldInfo& f) { return std::string(f.tag) == "window"; }

void WriteField(PreferenceFile& file, const FieldInfo& f, const Settings& s) {
    if (f.ref.type == FieldType::Long && f.ref.longField == &Settings::cfg) {
        file.WriteInteger(f.key, kConfigLayout);
        return;
    }
    switch (f.ref.type) {
        case FieldType::Byte: file.WriteInteger(f.key, s.*f.ref.byteField); break;
        case FieldType::Long: file.WriteInteger(f.key, s.*f.ref.longField); break;
        case FieldType::Float: file.WriteDecimal(f.key, s.*f.ref.floatField); break;
        case FieldType::Text: file.WriteText(f.key, s.*f.ref.textField); break;
    }
}

void WriteSettings(PreferenceFile& file, const Settings& s) {
    const auto& fields = SettingsFields();
    size_t i = 0;
    while (i < fields.size()) {
        const std::string group = fields[i].group;
        size_t end = i;
        while (end < fields.size() && group == fields[end].group) ++end;

        file.SelectGroup(group);
        if (group == "Input" || group == "Output") {
            // The format key, then the keys of each listed format in list order.
            for (size_t k = i; k < end; ++k)
                if (*fields[k].tag == '\0') WriteField(file, fields[k], s);
            const auto& list = group == "Input" ? InputExtensions() : OutputExtensions();
            for (const std::string& ext : list)
                for (size_t k = i; k < end; ++k)
                    if (ext == fields[k].tag) WriteField(file, fields[k], s);
        } else {
            for (size_t k = i; k < end; ++k) {
                if (IsWindowField(fields[k]) && s.saveWindowPosition != 1) continue;
                WriteField(file, fields[k], s);
            }
        }
        file.WriteComment("");
        i = end;
    }
}

}  // namespace

std::string SettingsFolder() {
    const std::string base = platform::UserConfigFolder();
    if (base.empty()) return std::string();  // no home: nothing is made at the root
    const std::string maker = base + "Pictavo/";
    const std::string program = maker + "tarnwick/";
    // Folders made here are the user's alone, as the XDG rules ask.
    if (!platform::FolderExists(program)) {
        platform::CreateFolders(base, 0700);
        if (!platform::FolderExists(maker)) platform::CreateFolder(maker, 0700);
        platform::CreateFolder(program, 0700);
    }
    return program;
}

void LoadConfiguration(Settings& s, const std::string& path, int desktopWidth, int desktopHeight) {
    PreferenceFile file;
    if (!file.Open(path)) {
        ApplyDefaults(s, false, desktopWidth, desktopHeight);
    } else {
        // Defaults of the keys that are missing: those of the window mode,
        // except for the layout version and the window position.
        Settings d;
        ApplyDefaults(d, false, desktopWidth, desktopHeight);
        d.cfg = 0;
        d.windowX = 100;
        d.windowY = 100;

        std::string group;
        for (const FieldInfo& f : SettingsFields()) {
            if (group != f.group) {
                group = f.group;
                file.SelectGroup(group);
            }
            switch (f.ref.type) {
                case FieldType::Byte:
                case FieldType::Long:
                    f.ref.SetNumber(s, file.ReadInteger(f.key, static_cast<long>(f.ref.Number(d))));
                    break;
                case FieldType::Float:
                    s.*f.ref.floatField = static_cast<float>(
                        file.ReadDecimal(f.key, static_cast<double>(d.*f.ref.floatField)));
                    break;
                case FieldType::Text:
                    s.*f.ref.textField = file.ReadText(f.key, d.*f.ref.textField);
                    break;
            }
        }
        file.Close();
    }

    // Older layouts.
    if (s.cfg < 11 && text::Lower(s.filenameMask).find("%ext%") == std::string::npos)
        s.filenameMask += ".%ext%";
    if (s.cfg < 14 && s.rawLoadAs != 0) s.rawLoadAs += 2;
}

std::string SerializeConfiguration(const Settings& s) {
    PreferenceFile file;
    file.CreateInMemory();
    WriteSettings(file, s);
    return file.Serialize();
}

bool SaveConfiguration(const Settings& s, const std::string& path) {
    PreferenceFile file;
    if (!file.Create(path)) return false;
    WriteSettings(file, s);
    return file.Close();
}

bool LoadProfile(Settings& s, const std::string& path) {
    PreferenceFile file;
    if (path.empty() || !file.Open(path)) return false;
    file.SelectGroup("CLI");
    for (const auto& [key, value] : file.ListKeys()) {
        const std::string name = text::Upper(key);
        if (FindOption(name)) ApplyOption(s, name, text::Trim(value), true);
    }
    file.Close();
    return true;
}

}  // namespace tarnwick
