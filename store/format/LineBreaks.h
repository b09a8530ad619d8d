#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Year files are mostly short lines; finding the next CR or LF a word at a time keeps reading
// close to the speed of the disk cache.
namespace linebreaks {

// The first CR or LF in [p, end), or end.
inline const char *FindBreak(const char *p, const char *end) noexcept
{
#if defined(__SSE2__)
    const __m128i crs = _mm_set1_epi8('\r');
    const __m128i lfs = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, crs), _mm_cmpeq_epi8(chunk, lfs)));
        if (hits)
            return p + std::countr_zero(static_cast<unsigned>(hits));
        p += 16;
    }
#endif
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        const std::uint64_t cr = word ^ (ones * '\r');
        const std::uint64_t lf = word ^ (ones * '\n');
        // A byte of cr or lf is zero where the word holds that character; the lowest flagged
        // byte is always a true one.
        const std::uint64_t hits = ((cr - ones) & ~cr & highs) | ((lf - ones) & ~lf & highs);
        if (hits) {
            if constexpr (std::endian::native == std::endian::little)
                return p + std::countr_zero(hits) / 8;
            else
                break;
        }
        p += 8;
    }
    while (p < end && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

// Whether every line break of the text is a CR LF.
inline bool OnlyCrLf(const char *p, const char *end) noexcept
{
    for (;;) {
        p = FindBreak(p, end);
        if (p == end)
            return true;
        if (*p != '\r' || end - p < 2 || p[1] != '\n')
            return false;
        p += 2;
    }
}

} // namespace linebreaks
