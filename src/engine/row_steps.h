// The row-by-row twins of the steps that look at one row at a time. Each
// step of the table that works row by row adds its work to a RowSteps as the
// file is planned: the work on each row, in the table's order, and whether
// the rows are written in the other order. What the picture is made of after
// each step (its depth and colour table) is followed as the whole-picture
// bitmap would have it, so that the depth step and the BMP's colour table
// after the last step are the ones that path makes.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

// The pixels of a row at some point of the steps: palette indices of 1, 4 or
// 8 bits with their colour table, or colours of 24 bits (B, G, R) or 32 bits
// (B, G, R, A), as the whole-picture bitmap holds them at that point.
struct RowFormat {
    unsigned bpp = 24;
    RGBQUAD palette[256] = {};  // for 1, 4 and 8 bits: 2, 16 or 256 entries

    bool indexed() const { return bpp <= 8; }
    // Bytes of a row of `width` pixels without the padding of a BMP row.
    size_t RowBytes(uint32_t width) const { return (static_cast<size_t>(width) * bpp + 7) / 8; }
};

// One step's work on a row: makes the row after the step from the row before it.
class RowOp {
public:
    virtual ~RowOp() = default;
    // `in` and `out` are different buffers of at least 4 * width + 4 bytes.
    virtual void Run(const BYTE* in, BYTE* out, uint32_t width) = 0;
};

// The row work of the steps that are on, in their order.
class RowSteps {
public:
    explicit RowSteps(const RowFormat& decoded) : format_(decoded) {}

    // The format the rows have reached.
    const RowFormat& format() const { return format_; }
    // Adds a step's work; `after` is the format its rows have.
    void Add(std::unique_ptr<RowOp> op, const RowFormat& after);
    // The rows leave in the other order (a vertical flip).
    void ReverseRows() { reversed_ = !reversed_; }

    bool reversed() const { return reversed_; }
    bool empty() const { return ops_.empty(); }

    // Runs every step on `row` (of the format the steps start from),
    // writing into `a` and `b` in turn. Returns the row that holds the
    // result: `row` itself when no step works on the rows.
    const BYTE* Run(const BYTE* row, BYTE* a, BYTE* b, uint32_t width);

private:
    RowFormat format_;
    std::vector<std::unique_ptr<RowOp>> ops_;
    bool reversed_ = false;
};

// The row twins of the steps, as the step table uses them.
//
// Mirrors the rows in the way the library's FlipHorizontal does at every depth
// (at 4 bits it reverses the bytes of the row, padding included).
std::unique_ptr<RowOp> FlipRowOp(unsigned bpp);

// Applies the library's colour lookup table (GetAdjustColorsLookupTable,
// made once here) to the colours of 24- or 32-bit rows. None when the settings
// adjust nothing: the library then leaves the picture as it is.
std::unique_ptr<RowOp> ColourLookupRowOp(unsigned bpp, double brightness, double contrast,
                                         double gamma, bool invert);

// The library's greyscale of colour rows (its line conversion to 8 bits).
std::unique_ptr<RowOp> GreyRowOp(unsigned bpp);

// Black and white at `threshold` of the library's greyscale of colour rows,
// as 1-bit rows.
std::unique_ptr<RowOp> ThresholdRowOp(unsigned bpp, unsigned threshold);

// A whole-picture step, given a picture (which it takes) and returning the
// picture it makes, or none.
using PictureStep = std::function<FIBITMAP*(FIBITMAP*)>;

// A step that maps each palette index on its own: its whole-picture function
// is run once on a one-row picture holding every index of `before`, and what
// it made of each index becomes a table. `after` gets the format of its
// result. None (with `why`) when the result is not a picture the rows hold.
std::unique_ptr<RowOp> IndexTableRowOp(const RowFormat& before, const PictureStep& step,
                                       RowFormat* after, std::string* why);

// The format (depth and colour table) of the picture a whole-picture step
// makes of a one-pixel picture of `before`. False when it makes none the
// rows can hold.
bool ProbeFormat(const RowFormat& before, const PictureStep& step, RowFormat* after);

}  // namespace tarnwick
