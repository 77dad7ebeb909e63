// Reading and writing numbers of game data at a position in a byte buffer, in the game's order.
// Callers check the bounds first; these helpers only move bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

namespace karv {

inline uint32_t readU32(const uint8_t* p, bool bigEndian) {
    if (bigEndian)
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

inline uint16_t readU16(const uint8_t* p, bool bigEndian) {
    if (bigEndian)
        return uint16_t(p[0] << 8 | p[1]);
    return uint16_t(p[1] << 8 | p[0]);
}

inline uint64_t readU64(const uint8_t* p, bool bigEndian) {
    uint64_t hi = readU32(p, bigEndian), lo = readU32(p + 4, bigEndian);
    if (!bigEndian)
        std::swap(hi, lo);
    return hi << 32 | lo;
}

inline void writeU32(uint8_t* p, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        int shift = bigEndian ? 24 - 8 * i : 8 * i;
        p[i] = uint8_t(v >> shift);
    }
}

inline void writeU64(uint8_t* p, uint64_t v, bool bigEndian) {
    writeU32(p + (bigEndian ? 0 : 4), uint32_t(v >> 32), bigEndian);
    writeU32(p + (bigEndian ? 4 : 0), uint32_t(v), bigEndian);
}

inline void writeU16(uint8_t* p, uint16_t v, bool bigEndian) {
    p[bigEndian ? 0 : 1] = uint8_t(v >> 8);
    p[bigEndian ? 1 : 0] = uint8_t(v);
}

// Smallest multiple of `unit` (a power of two or not) that is at least `value`; false when that
// does not fit in 32 bits.
inline bool roundUp(uint64_t value, uint32_t unit, uint32_t& out) {
    uint64_t r = (value + unit - 1) / unit * unit;
    if (r > UINT32_MAX)
        return false;
    out = uint32_t(r);
    return true;
}

// `value` raised to a multiple of `unit` in 64 bits, for positions that are checked afterwards.
inline uint64_t alignUp(uint64_t value, uint32_t unit) {
    return (value + unit - 1) / unit * unit;
}

} // namespace karv
