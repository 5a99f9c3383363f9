// The string catalog: loading the compiled-in block into sorted tables, the
// lookup by group and key, and the placeholder substitution of messages.
#include "text/catalog.h"

#include <algorithm>
#include <mutex>
#include <numeric>

#include "text/catalog_data.h"
#include "text/text_util.h"

namespace tarnwick {

namespace catalog_detail {

namespace {

const char* const kMissText = "%NO_STRING_ERROR%";

unsigned FirstByte(const std::string& s) {
    return s.empty() ? 0u : static_cast<unsigned char>(s[0]);
}

// Ordinal comparison of bytes as unsigned values; a prefix sorts first.
int CompareOrdinal(const std::string& a, const std::string& b) {
    return a.compare(b);  // char_traits<char> compares as unsigned char
}

bool IsMarker(const char* name, const char* marker) { return text::Upper(name) == marker; }

}  // namespace

void CatalogTables::Load(const char* const* block) {
    // First walk: count groups and entries up to the end marker.
    int32_t groupCount = 0;
    int32_t entryCount = 0;
    for (const char* const* p = block; !IsMarker(p[0], "_END_"); p += 2) {
        if (IsMarker(p[0], "_GROUP_")) ++groupCount;
        else ++entryCount;
    }

    groups_.assign(static_cast<size_t>(groupCount) + 1, CatalogGroup{});
    keys_.assign(static_cast<size_t>(entryCount) + 1, std::string());
    texts_.assign(static_cast<size_t>(entryCount) + 1, std::string());

    // Second walk: fill the tables; each group owns a contiguous entry range.
    int32_t g = 0;
    int32_t e = 0;
    for (const char* const* p = block;; p += 2) {
        if (IsMarker(p[0], "_END_")) {
            groups_[g].lastEntry = e;
            break;
        }
        if (IsMarker(p[0], "_GROUP_")) {
            groups_[g].lastEntry = e;
            ++g;
            CatalogGroup& grp = groups_[g];
            grp.name = text::Upper(p[1]);
            grp.firstEntry = e + 1;
            grp.firstCharIndex.fill(0);
        } else {
            ++e;
            keys_[e] = text::Upper(p[0]);
            texts_[e] = p[1];
        }
    }

    // Sort each group's range by key and index the first key per leading byte.
    for (int32_t gi = 1; gi <= groupCount; ++gi) {
        CatalogGroup& grp = groups_[gi];
        if (grp.firstEntry > grp.lastEntry) continue;
        const int32_t first = grp.firstEntry;
        const int32_t count = grp.lastEntry - first + 1;
        std::vector<int32_t> order(static_cast<size_t>(count));
        std::iota(order.begin(), order.end(), first);
        std::stable_sort(order.begin(), order.end(), [this](int32_t a, int32_t b) {
            return CompareOrdinal(keys_[a], keys_[b]) < 0;
        });
        std::vector<std::string> sortedKeys, sortedTexts;
        sortedKeys.reserve(order.size());
        sortedTexts.reserve(order.size());
        for (int32_t idx : order) {
            sortedKeys.push_back(std::move(keys_[idx]));
            sortedTexts.push_back(std::move(texts_[idx]));
        }
        for (int32_t i = 0; i < count; ++i) {
            keys_[first + i] = std::move(sortedKeys[i]);
            texts_[first + i] = std::move(sortedTexts[i]);
        }

        unsigned previous = 0;
        for (int32_t n = first; n <= grp.lastEntry; ++n) {
            const unsigned c = FirstByte(keys_[n]);
            if (c != previous) {
                grp.firstCharIndex[c] = n;
                previous = c;
            }
        }
    }

    cachedGroup_ = 0;
    loaded_ = true;
}

std::string CatalogTables::Text(const std::string& group, const std::string& key) {
    if (!loaded_) return kMissText;
    const std::string g = text::Upper(group);
    const std::string k = text::Upper(key);

    if (groups_[cachedGroup_].name != g) {
        cachedGroup_ = 0;
        for (size_t i = 1; i < groups_.size(); ++i) {
            if (groups_[i].name == g) {
                cachedGroup_ = static_cast<int32_t>(i);
                break;
            }
        }
    }
    if (cachedGroup_ == 0) return kMissText;

    const CatalogGroup& grp = groups_[cachedGroup_];
    int32_t n = grp.firstCharIndex[FirstByte(k)];
    if (n == 0) return kMissText;
    for (; n <= grp.lastEntry; ++n) {
        const int cmp = CompareOrdinal(k, keys_[n]);
        if (cmp == 0) return texts_[n];
        if (cmp < 0) return kMissText;
    }
    return kMissText;
}

}  // namespace catalog_detail

namespace {

// The program's catalog. Built once; afterwards only the lookup cache changes,
// and that cache is not synchronised: look texts up from the main thread only
// (the conversion worker never does).
catalog_detail::CatalogTables& Tables() {
    static catalog_detail::CatalogTables tables;
    return tables;
}

std::once_flag& LoadOnce() {
    static std::once_flag flag;
    return flag;
}

}  // namespace

void LoadCatalog() {
    std::call_once(LoadOnce(), [] { Tables().Load(catalog_detail::kCatalogSource); });
}

std::string CatalogText(const std::string& group, const std::string& key) {
    LoadCatalog();  // a lookup before start-up loaded the catalog still finds its text
    return Tables().Text(group, key);
}

std::string FormatMessage(const std::string& tmpl, const std::string& s1, const std::string& s2,
                          const std::string& s3, const std::string& s4) {
    std::string text = tmpl;
    if (text.empty()) return text;
    const std::string* args[4] = {&s1, &s2, &s3, &s4};
    const char* const placeholders[4] = {"%s1%", "%s2%", "%s3%", "%s4%"};
    for (int i = 0; i < 4; ++i) {
        if (!args[i]->empty()) text = text::ReplaceAllNoCase(text, placeholders[i], *args[i]);
    }
    return text;
}

}  // namespace tarnwick
