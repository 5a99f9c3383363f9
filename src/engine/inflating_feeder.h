// The second thread of a row-by-row read.
//
// Most of a decode is zlib's inflate and libpng's row filters, in equal
// parts, and both run one after the other on one thread. An InflatingFeeder
// reads the file on a thread of its own, checks its chunk CRCs, inflates
// the pixel data and hands libpng the same PNG with that data stored
// uncompressed (deflate's stored blocks), so libpng's work shrinks to the
// row filters and the two halves run side by side.

#pragma once

#include <cstdio>

#include "engine/byte_pipe.h"

namespace tarnwick {

// Reads the PNG `file` and writes it into `pipe` with its pixel data inflated
// and stored uncompressed, then closes the pipe: with an empty reason at the
// end, else with the reason the read must fail (as libpng would fail on the
// file itself). With `rebuildRows` the rows' filters are undone here too and
// the rows handed on with filter type None. Runs on a thread of its own;
// stops when the pipe's reader cancels it.
void FeedInflated(std::FILE* file, BytePipe& pipe, bool rebuildRows);

}  // namespace tarnwick
