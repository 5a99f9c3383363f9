// The field table of the settings record: one row per field with its
// configuration group and key and its type, and the rule of the defaults that
// are not plain constants (the constants are the record's initialisers). The
// defaults, the configuration file and the command-line options work from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace tarnwick {

enum class FieldType { Byte, Long, Float, Text };

// A reference to one field of the record, whatever its type.
struct FieldRef {
    FieldType type = FieldType::Long;
    int8_t Settings::*byteField = nullptr;
    int32_t Settings::*longField = nullptr;
    float Settings::*floatField = nullptr;
    std::string Settings::*textField = nullptr;

    FieldRef() = default;
    FieldRef(int8_t Settings::*f) : type(FieldType::Byte), byteField(f) {}
    FieldRef(int32_t Settings::*f) : type(FieldType::Long), longField(f) {}
    FieldRef(float Settings::*f) : type(FieldType::Float), floatField(f) {}
    FieldRef(std::string Settings::*f) : type(FieldType::Text), textField(f) {}

    bool IsNumber() const { return type == FieldType::Byte || type == FieldType::Long; }
    // Stores a whole number; a byte field keeps the lowest 8 bits.
    void SetNumber(Settings& s, int64_t value) const;
    int64_t Number(const Settings& s) const;
    bool Same(const FieldRef& o) const;
};

// How a default is found when it is not a plain constant.
enum class DefaultRule {
    Constant,  // the record's initialiser
    Now,       // current local date value
    CentreX,   // window centred on the desktop
    CentreY,
    FirstInput,    // first product input extension
    FirstOutput,   // first product output extension
    AspectByMode,  // 1 in window mode, 0 in command-line mode
};

struct FieldInfo {
    const char* name;   // field name in the record, e.g. "bmpBpp"
    const char* group;  // configuration group
    const char* key;    // configuration key
    FieldRef ref;
    DefaultRule rule;
    // Input/Output groups: the extension whose keys these are ("" = always
    // written). Group Window: "window" (written only with the position saved).
    const char* tag;
};

// Every field of the record in the order of the configuration file.
const std::vector<FieldInfo>& SettingsFields();

// The row of a field given by name, e.g. "imageGamma"; nullptr when unknown.
const FieldInfo* FindField(const std::string& name);

}  // namespace tarnwick
