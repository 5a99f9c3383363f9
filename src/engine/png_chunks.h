// Small helpers for walking a PNG file chunk by chunk, for the input guard
// and the inflating feeder: the text chunks (tEXt, zTXt, iTXt) are never used
// by the program, so the feeder passes them over without reading them, let
// alone inflating them.
#pragma once

#include <cstdint>

namespace tarnwick {

// True for the four-letter type of a text chunk.
bool IsPngTextChunk(const unsigned char* type);

// Reads big-endian 32-bit numbers as PNG stores them.
uint32_t PngBe32(const unsigned char* p);

}  // namespace tarnwick
