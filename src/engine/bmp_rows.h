// From decoded PNG rows to BMP rows: which pixels reach the depth step, the
// BMP's headers, and the conversion of each row, byte for byte as the
// whole-picture pipeline and the library's BMP writer make them.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/png_row_reader.h"
#include "engine/row_steps.h"

namespace tarnwick {

// What the whole-picture pipeline holds when it reaches the depth step.
enum class Stage {
    Indexed,  // a palette picture without transparency, unchanged
    Bgr24,    // opaque 24-bit (a transparent palette picture put onto white)
    Bgra32,   // 32-bit put onto white, alpha 255
};

struct RowPlan {
    Stage stage = Stage::Bgr24;
    // The rows as the depth step gets them: the decoded format, or what the
    // row steps made of it. Its colour table is the BMP's.
    RowFormat last;
    unsigned outputBpp = 0;
    uint32_t pitch = 0;
    uint32_t dataOffset = 0;
    uint64_t fileBytes = 0;
};

// Bits per pixel the whole-picture decode gives for this layout.
int32_t SourceBpp(const DecodedLayout& d);

// The format of the decoded rows once deep samples are brought to 8 bits
// and transparency is put onto white, as the first step of the table that
// is not a decode step gets the whole picture (in pixel values: a 32-bit
// picture there may be a 24-bit one on the whole-picture path). False for a
// transparent palette picture below 8 bits.
bool DecodedFormat(const DecodedLayout& d, RowFormat* format, std::string* why);

// Which pixels reach the depth step, and whether the BMP of `outputBpp`
// can be made from them one row at a time. `last` is the format the row
// steps leave (the decoded format when null). `why` gets the reason if not.
bool PlanRows(const DecodedLayout& d, unsigned outputBpp, RowPlan* plan, std::string* why,
              const RowFormat* last = nullptr);

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

    // The row of DecodedFormat made from the decoded row `src` (which it
    // may change): `src` itself or a buffer of the converter's.
    const BYTE* Stage(BYTE* src);
    // Makes the BMP row `dst` from a row of the plan's last format.
    void Output(const BYTE* row, BYTE* dst);

private:
    // Palette pixels as 16, 24 or 32-bit colours.
    void FromIndices(const BYTE* src, unsigned bits, const RGBQUAD* palette, BYTE* dst);
    // A transparent 8-bit palette row put onto white as 24-bit colours.
    void OntoWhite(const BYTE* src, BYTE* out) const;
    // The high bytes of 16-bit samples (and transparency put onto white).
    void HighBytes48(const BYTE* src, BYTE* out) const;
    void HighBytes64(const BYTE* src, BYTE* out) const;

    const DecodedLayout& d_;
    const RowPlan& plan_;
    RGBQUAD palette_[256] = {};
    std::vector<BYTE> stageRow_;
};

}  // namespace tarnwick
