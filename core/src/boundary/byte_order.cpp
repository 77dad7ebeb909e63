#include "karvcore/karvcore.h"

uint16_t Get2Data(uint16_t value, bool heldBigEndian, bool wantBigEndian) {
    if (heldBigEndian == wantBigEndian)
        return value;
    return uint16_t(value << 8 | value >> 8);
}

uint32_t Get4Data(uint32_t value, bool heldBigEndian, bool wantBigEndian) {
    if (heldBigEndian == wantBigEndian)
        return value;
    return (value & 0xFFu) << 24 | (value & 0xFF00u) << 8 | (value >> 8 & 0xFF00u) | value >> 24;
}

uint64_t Get8Data(uint64_t value, bool heldBigEndian, bool wantBigEndian) {
    if (heldBigEndian == wantBigEndian)
        return value;
    uint64_t reversed = 0;
    for (int i = 0; i < 8; ++i)
        reversed = reversed << 8 | (value >> (8 * i) & 0xFF);
    return reversed;
}
