#include "engine/png_unfilter.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace tarnwick {

namespace {

// The Paeth predictor: of left, above and upper left, the one nearest to
// left + above - upper left, ties going to left, then above.
inline int Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
}

void PaethBytes(uint8_t* row, const uint8_t* prior, size_t rowBytes, unsigned bpp) {
    for (size_t i = 0; i < bpp && i < rowBytes; ++i)
        row[i] = static_cast<uint8_t>(row[i] + prior[i]);
    for (size_t i = bpp; i < rowBytes; ++i)
        row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - bpp], prior[i], prior[i - bpp]));
}

void AverageBytes(uint8_t* row, const uint8_t* prior, size_t rowBytes, unsigned bpp) {
    for (size_t i = 0; i < bpp && i < rowBytes; ++i)
        row[i] = static_cast<uint8_t>(row[i] + (prior[i] >> 1));
    for (size_t i = bpp; i < rowBytes; ++i)
        row[i] = static_cast<uint8_t>(row[i] + ((row[i - bpp] + prior[i]) >> 1));
}

#if defined(__SSE2__) && defined(__x86_64__)
// Pixels of N bytes (3, 4, 6 or 8), one at a time, each sample in a 16-bit
// lane: the samples of a pixel are worked on together; the next pixel waits
// for this one, its left neighbour.
// The bytes of a pixel are put together in a register (a value made of
// narrower stores cannot be read back wider at once without a stall).
template <unsigned N>
inline uint64_t PixelBits(const uint8_t* p) {
    uint32_t low = 0;
    uint16_t high = 0;
    if constexpr (N == 3) {
        std::memcpy(&high, p, 2);
        return high | static_cast<uint64_t>(p[2]) << 16;
    } else if constexpr (N == 4) {
        std::memcpy(&low, p, 4);
        return low;
    } else if constexpr (N == 6) {
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 2);
        return low | static_cast<uint64_t>(high) << 32;
    } else {
        uint64_t all = 0;
        std::memcpy(&all, p, 8);
        return all;
    }
}

template <unsigned N>
inline __m128i LoadPixel(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(PixelBits<N>(p))),
                             _mm_setzero_si128());
}

template <unsigned N>
inline void StorePixel(uint8_t* p, __m128i samples) {
    const uint64_t v = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(samples, samples)));
    if constexpr (N == 3) {
        const uint16_t low = static_cast<uint16_t>(v);
        std::memcpy(p, &low, 2);
        p[2] = static_cast<uint8_t>(v >> 16);
    } else if constexpr (N == 4) {
        const uint32_t low = static_cast<uint32_t>(v);
        std::memcpy(p, &low, 4);
    } else if constexpr (N == 6) {
        const uint32_t low = static_cast<uint32_t>(v);
        const uint16_t high = static_cast<uint16_t>(v >> 32);
        std::memcpy(p, &low, 4);
        std::memcpy(p + 4, &high, 2);
    } else {
        std::memcpy(p, &v, 8);
    }
}

inline __m128i Abs16(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <unsigned N>
void PaethPixels(uint8_t* row, const uint8_t* prior, size_t rowBytes) {
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    for (size_t i = 0; i + N <= rowBytes; i += N) {
        const __m128i b = LoadPixel<N>(prior + i);
        const __m128i x = LoadPixel<N>(row + i);
        const __m128i bc = _mm_sub_epi16(b, c);  // p - a
        const __m128i pa = Abs16(bc);
        const __m128i ac = _mm_sub_epi16(a, c);  // p - b
        const __m128i pb = Abs16(ac), pc = Abs16(_mm_add_epi16(ac, bc));
        // a when pa <= pb and pa <= pc, else b when pb <= pc, else c.
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i predictor = Select(notA, Select(notB, c, b), a);
        // The sum wraps in the low byte of each lane; the high bytes are 0.
        a = _mm_add_epi8(x, predictor);
        StorePixel<N>(row + i, a);
        c = b;
    }
}

template <unsigned N>
void AveragePixels(uint8_t* row, const uint8_t* prior, size_t rowBytes) {
    __m128i a = _mm_setzero_si128();
    for (size_t i = 0; i + N <= rowBytes; i += N) {
        const __m128i b = LoadPixel<N>(prior + i);
        const __m128i x = LoadPixel<N>(row + i);
        a = _mm_add_epi8(x, _mm_srli_epi16(_mm_add_epi16(a, b), 1));
        StorePixel<N>(row + i, a);
    }
}
#endif

}  // namespace

bool UnfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t rowBytes,
                 unsigned pixelBytes) {
    const unsigned bpp = pixelBytes;
    switch (filter) {
        case 0: return true;
        case 1:
            for (size_t i = bpp; i < rowBytes; ++i)
                row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
            return true;
        case 2:
            for (size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + prior[i]);
            return true;
        case 3:
#if defined(__SSE2__) && defined(__x86_64__)
            // Rows are whole pixels at these sizes (8 or 16 bits per sample).
            switch (bpp) {
                case 3: AveragePixels<3>(row, prior, rowBytes); return true;
                case 4: AveragePixels<4>(row, prior, rowBytes); return true;
                case 6: AveragePixels<6>(row, prior, rowBytes); return true;
                case 8: AveragePixels<8>(row, prior, rowBytes); return true;
                default: break;
            }
#endif
            AverageBytes(row, prior, rowBytes, bpp);
            return true;
        case 4:
#if defined(__SSE2__) && defined(__x86_64__)
            switch (bpp) {
                case 3: PaethPixels<3>(row, prior, rowBytes); return true;
                case 4: PaethPixels<4>(row, prior, rowBytes); return true;
                case 6: PaethPixels<6>(row, prior, rowBytes); return true;
                case 8: PaethPixels<8>(row, prior, rowBytes); return true;
                default: break;
            }
#endif
            PaethBytes(row, prior, rowBytes, bpp);
            return true;
        default: return false;
    }
}

}  // namespace tarnwick
