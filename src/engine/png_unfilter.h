// PNG's row filters undone, for the inflating feeder: it hands libpng rows
// already rebuilt (filter type None), so the filters' arithmetic runs on its
// thread beside libpng's instead of after each row on libpng's.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// Rebuilds the raw bytes of one filtered row in place: `filter` is the
// row's filter type (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth), `prior` the
// rebuilt row above it (zeros for the first row of a pass), `pixelBytes`
// the bytes of one pixel rounded up (1 for depths below 8 bits). False for
// a filter type PNG does not have; the row is then left as it was.
bool UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t rowBytes,
                 unsigned pixelBytes);

}  // namespace tarnwick
