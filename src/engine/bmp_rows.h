// From decoded PNG rows to BMP rows: which pixels reach the depth step, the
// BMP's headers, and the conversion of each row, byte for byte as the
// whole-picture pipeline and the library's BMP writer make them.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/png_row_reader.h"

namespace tarnwick {

// What the whole-picture pipeline holds when it reaches the depth step.
enum class Stage {
    Indexed,  // a palette picture without transparency, unchanged
    Bgr24,    // opaque 24-bit (a transparent palette picture put onto white)
    Bgra32,   // 32-bit put onto white, alpha 255
};

struct RowPlan {
    Stage stage = Stage::Bgr24;
    unsigned outputBpp = 0;
    uint32_t pitch = 0;
    uint32_t dataOffset = 0;
    uint64_t fileBytes = 0;
};

// Bits per pixel the whole-picture decode gives for this layout.
int32_t SourceBpp(const DecodedLayout& d);

// Which pixels reach the depth step, and whether the BMP of `outputBpp`
// can be made from them one row at a time. `why` gets the reason if not.
bool PlanRows(const DecodedLayout& d, unsigned outputBpp, RowPlan* plan, std::string* why);

// The headers (and colour masks or colour table) the library's BMP writer
// puts before the pixels.
std::vector<BYTE> BmpHeader(const DecodedLayout& d, const RowPlan& plan);

// Turns decoded rows into BMP rows.
class RowConverter {
public:
    RowConverter(const DecodedLayout& d, const RowPlan& plan);

    // Whether the decoded row is already the BMP row (it is then decoded
    // straight into its place, and Convert only finishes it there).
    bool DecodesInPlace() const;

    // Makes the BMP row `dst` from the decoded row `src` (the same buffer
    // when DecodesInPlace).
    void Convert(BYTE* src, BYTE* dst);

private:
    // Palette pixels as 16, 24 or 32-bit colours.
    void FromIndices(const BYTE* src, unsigned bits, BYTE* dst);

    const DecodedLayout& d_;
    const RowPlan& plan_;
    RGBQUAD palette_[256] = {};
    std::vector<BYTE> stageRow_;
};

}  // namespace tarnwick
