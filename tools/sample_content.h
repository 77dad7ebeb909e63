// Contents of the sample game's members: parameter tables (UTF-8 text), record tables, noise,
// G1T texture containers and packed blobs. Every byte comes from a seeded generator, so a
// member is the same on every run and every system.
#pragma once

#include "karvcore/formats.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace karv::sample {

using Bytes = std::vector<uint8_t>;

// splitmix64: small, fast and the same everywhere (the standard distributions are not).
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number in [0, bound); bound > 0.
    uint32_t below(uint32_t bound) { return uint32_t(next() % bound); }
    uint32_t between(uint32_t low, uint32_t high) { return low + below(high - low + 1); }

  private:
    uint64_t state_;
};

inline void putU32(uint8_t* at, uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (bigEndian ? 24 - 8 * i : 8 * i));
}

inline void putU64(uint8_t* at, uint64_t value, bool bigEndian) {
    for (int i = 0; i < 8; ++i)
        at[i] = uint8_t(value >> (bigEndian ? 56 - 8 * i : 8 * i));
}

inline void appendU32(Bytes& out, uint32_t value, bool bigEndian) {
    out.resize(out.size() + 4);
    putU32(out.data() + out.size() - 4, value, bigEndian);
}

// ---- Text and records ----

// A character table as a game's designers would keep it: one line per character, UTF-8.
// The demo edits the "生命=" values of such a member.
inline Bytes parameterTable(Random& rng, uint32_t approximateSize) {
    static const char* const kFirst[] = {"苍", "赤", "白", "玄", "青", "紫", "金", "银"};
    static const char* const kSecond[] = {"狼", "鹰", "龙", "虎", "鹿", "蛇", "狐", "熊"};
    static const char* const kRole[] = {"卫士", "弓手", "术士", "骑兵", "斥候", "药师"};
    std::string text = "# 角色参数表\n";
    char line[256];
    for (uint32_t id = 1; text.size() < approximateSize; ++id) {
        std::snprintf(line, sizeof line, "编号=%04u 名称=%s%s%s 生命=%u 攻击=%u 防御=%u 速度=%u\n",
                      id, kFirst[rng.below(8)], kSecond[rng.below(8)], kRole[rng.below(6)],
                      rng.between(300, 3000), rng.between(20, 400), rng.between(10, 300),
                      rng.between(1, 20));
        text += line;
    }
    return Bytes(text.begin(), text.end());
}

// Fixed-size binary records (an id, a kind and small values) in the game's byte order:
// compresses about three to one, like real tables.
inline Bytes recordTable(Random& rng, uint32_t size, bool bigEndian) {
    Bytes out(size, 0);
    for (uint32_t pos = 0, id = 0; pos + 32 <= size; pos += 32, ++id) {
        putU32(&out[pos], id, bigEndian);
        putU32(&out[pos + 4], rng.below(12), bigEndian);
        for (uint32_t field = 8; field < 32; field += 4)
            putU32(&out[pos + field], rng.below(field == 8 ? 100000 : 256), bigEndian);
    }
    return out;
}

// Bytes that do not compress.
inline Bytes noise(Random& rng, uint32_t size) {
    Bytes out(size);
    for (uint32_t i = 0; i < size; i += 8) {
        uint64_t value = rng.next();
        for (uint32_t k = 0; k < 8 && i + k < size; ++k)
            out[i + k] = uint8_t(value >> (8 * k));
    }
    return out;
}

// ---- G1T texture containers ----

enum TextureFormat : uint8_t { kArgb = 0x00, kDxt1 = 0x06, kDxt5 = 0x08, kBc4 = 0x5C };

struct TexturePlan {
    TextureFormat format = kDxt1;
    uint8_t widthLog2 = 6;
    uint8_t heightLog2 = 6;
    uint8_t levels = 1;
    uint32_t extensionLength = 0; // bytes between the 8-byte header and the pixels; 0 for none
};

inline uint16_t rgb565(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

inline void appendLe16(Bytes& out, uint16_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

// Eight bytes of a colour block: a gradient across the picture, a checker of blocks.
inline void appendColourBlock(Bytes& out, uint32_t bx, uint32_t by, uint32_t blocksWide,
                              uint32_t blocksHigh, uint32_t level) {
    uint32_t r = bx * 255 / (blocksWide > 1 ? blocksWide - 1 : 1);
    uint32_t g = by * 255 / (blocksHigh > 1 ? blocksHigh - 1 : 1);
    uint32_t b = (96 + level * 40) & 0xFF;
    appendLe16(out, uint16_t(rgb565(r, g, b) | 0x0001)); // above the second colour: 4-colour mode
    appendLe16(out, uint16_t(rgb565(r / 2, g / 2, b / 2) & 0xFFFE));
    uint8_t row = ((bx / 2 + by / 2) & 1) ? 0x78 : 0x2D;
    out.insert(out.end(), {row, row, row, row});
}

// Eight bytes of an alpha (or BC4 red) block: two end points, 3-bit indices.
inline void appendAlphaBlock(Bytes& out, uint32_t bx, uint32_t by) {
    out.push_back(255);
    out.push_back(uint8_t(64 + (bx + by) % 128));
    uint64_t indices = 0;
    for (int texel = 0; texel < 16; ++texel)
        indices |= uint64_t((texel + bx) % 8) << (3 * texel);
    for (int i = 0; i < 6; ++i)
        out.push_back(uint8_t(indices >> (8 * i)));
}

inline void appendLevel(Bytes& out, TextureFormat format, uint32_t width, uint32_t height,
                        uint32_t level) {
    if (format == kArgb) {
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                out.insert(out.end(), {uint8_t(level * 60), uint8_t(y * 255 / height),
                                       uint8_t(x * 255 / width), 255}); // B G R A
        return;
    }
    uint32_t blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    for (uint32_t by = 0; by < blocksHigh; ++by)
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            if (format == kDxt5 || format == kBc4)
                appendAlphaBlock(out, bx, by);
            if (format != kBc4)
                appendColourBlock(out, bx, by, blocksWide, blocksHigh, level);
        }
}

// Pixel data of every level the format stores: ARGB keeps its top level only; block formats
// halve each side per level, and a side that reaches 0 leaves that level empty.
inline Bytes texturePixels(const TexturePlan& plan) {
    Bytes out;
    uint32_t width = 1u << plan.widthLog2, height = 1u << plan.heightLog2;
    uint32_t levels = plan.format == kArgb ? 1 : plan.levels;
    for (uint32_t level = 0; level < levels; ++level, width /= 2, height /= 2)
        appendLevel(out, plan.format, width, height, level);
    return out;
}

// The 8-byte texture header, any extension, then the pixels. Byte 3 never equals the format
// code, so the extension flag is byte 7 and its length the number at byte 8.
inline Bytes textureBytes(const TexturePlan& plan, bool bigEndian) {
    uint8_t w = plan.widthLog2, h = plan.heightLog2, levels = plan.levels;
    Bytes out;
    out.push_back(bigEndian ? levels : uint8_t(levels << 4));
    out.push_back(plan.format);
    out.push_back(bigEndian ? uint8_t(w << 4 | h) : uint8_t(h << 4 | w));
    out.push_back(plan.format == 0x10 ? 0x11 : 0x10);
    out.insert(out.end(), {0, 0, 0, uint8_t(plan.extensionLength ? 1 : 0)});
    if (plan.extensionLength) {
        size_t at = out.size();
        out.resize(at + plan.extensionLength, 0);
        putU32(&out[at], plan.extensionLength, bigEndian);
    }
    Bytes pixels = texturePixels(plan);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

// A container: 28-byte header (magic, version, size, table offset, count, two spare words),
// the table of texture offsets (from the table's start), the textures.
inline Bytes g1tContainer(const std::vector<TexturePlan>& textures, bool bigEndian) {
    constexpr uint32_t kHeaderSize = 28;
    std::vector<Bytes> bodies;
    for (const TexturePlan& plan : textures)
        bodies.push_back(textureBytes(plan, bigEndian));
    Bytes out;
    appendU32(out, kTextureContainerMagic, bigEndian);
    out.insert(out.end(), {'0', '1', '0', '0'});
    appendU32(out, 0, bigEndian); // size, filled in below
    appendU32(out, kHeaderSize, bigEndian);
    appendU32(out, uint32_t(textures.size()), bigEndian);
    appendU32(out, 0, bigEndian);
    appendU32(out, 0, bigEndian);
    uint32_t next = uint32_t(4 * textures.size());
    for (const Bytes& body : bodies) {
        appendU32(out, next, bigEndian);
        next += uint32_t(body.size());
    }
    for (const Bytes& body : bodies)
        out.insert(out.end(), body.begin(), body.end());
    putU32(&out[8], uint32_t(out.size()), bigEndian);
    return out;
}

// ---- Packed blobs ----

// Sub-file count, then a start and a size per sub-file (the table ends where the first
// sub-file starts), numbers in the game's byte order; later sub-files start at multiples of 16.
inline Bytes packedBlob(const std::vector<Bytes>& subFiles, bool bigEndian) {
    uint32_t count = uint32_t(subFiles.size());
    Bytes out;
    appendU32(out, count, bigEndian);
    out.resize(4 + 8 * size_t(count), 0);
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0)
            out.resize((out.size() + 15) / 16 * 16, 0);
        putU32(&out[4 + 8 * i], uint32_t(out.size()), bigEndian);
        putU32(&out[8 + 8 * i], uint32_t(subFiles[i].size()), bigEndian);
        out.insert(out.end(), subFiles[i].begin(), subFiles[i].end());
    }
    return out;
}

} // namespace karv::sample
