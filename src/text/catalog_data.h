// Internals of the string catalog: the compiled-in source block and the
// lookup tables built from it. Callers outside the catalog use catalog.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::catalog_detail {

// The source block: UTF-8 strings read two at a time as (name, text) pairs.
// A pair named "_GROUP_" opens a group (the text is its name), every other
// pair is an entry of the group opened last, and the pair named "_END_" ends
// the block. Marker names are recognised after upper-casing.
extern const char* const kCatalogSource[];

struct CatalogGroup {
    std::string name;  // upper case
    int32_t firstEntry = 0;
    int32_t lastEntry = -1;                     // inclusive; firstEntry == lastEntry + 1 when empty
    std::array<int32_t, 256> firstCharIndex{};  // first sorted entry per leading byte, 0 = none
};

// The loaded tables. Every table is indexed from 1; slot 0 is present and empty.
// Not synchronised: one instance is read from one thread.
class CatalogTables {
public:
    void Load(const char* const* block);
    bool Loaded() const { return loaded_; }
    std::string Text(const std::string& group, const std::string& key);

    const std::vector<CatalogGroup>& Groups() const { return groups_; }
    const std::vector<std::string>& Keys() const { return keys_; }
    const std::vector<std::string>& Texts() const { return texts_; }

private:
    bool loaded_ = false;
    std::vector<std::string> keys_;
    std::vector<std::string> texts_;
    std::vector<CatalogGroup> groups_;
    int32_t cachedGroup_ = 0;  // group found by the previous lookup, 0 = none
};

}  // namespace tarnwick::catalog_detail
