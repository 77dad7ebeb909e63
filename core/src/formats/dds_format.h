// DDS files as the texture container writes and reads them: the on-disk structures (every
// number little-endian 32-bit) and the table of G1T format codes with their DDS forms.
#pragma once

#include "formats/byte_io.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace karv::dds {

constexpr uint32_t fourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

inline constexpr uint32_t kMagic = fourCC("DDS ");
inline constexpr uint32_t kFourCCDx10 = fourCC("DX10");

struct PixelFormat {
    uint32_t size;
    uint32_t flags;
    uint32_t fourCC;
    uint32_t rgbBitCount;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
};

// Follows the 4-byte magic.
struct Header {
    uint32_t size;
    uint32_t flags;
    uint32_t height;
    uint32_t width;
    uint32_t pitchOrLinearSize;
    uint32_t depth;
    uint32_t mipMapCount;
    uint32_t reserved1[11];
    PixelFormat pixelFormat;
    uint32_t caps;
    uint32_t caps2;
    uint32_t caps3;
    uint32_t caps4;
    uint32_t reserved2;
};

// Follows the header when the four-character code is "DX10".
struct HeaderDx10 {
    uint32_t dxgiFormat;
    uint32_t resourceDimension;
    uint32_t miscFlag;
    uint32_t arraySize;
    uint32_t miscFlags2;
};

static_assert(sizeof(PixelFormat) == 32);
static_assert(sizeof(Header) == 124);
static_assert(offsetof(Header, pixelFormat) == 72);
static_assert(sizeof(HeaderDx10) == 20);

inline constexpr uint32_t kHeaderPos = 4;
inline constexpr uint32_t kDx10HeaderPos = kHeaderPos + sizeof(Header);
// Where the pixel data starts without and with the DX10 header.
inline constexpr uint32_t kDataPos = kDx10HeaderPos;
inline constexpr uint32_t kDx10DataPos = kDx10HeaderPos + sizeof(HeaderDx10);
static_assert(kDataPos == 128 && kDx10DataPos == 148);

// Header flags: caps, height, width, pixel format and linear size; mipmap count on top.
inline constexpr uint32_t kFlagsTexture = 0x00081007;
inline constexpr uint32_t kFlagMipMapCount = 0x00020000;
// Pixel format flags.
inline constexpr uint32_t kPfAlphaPixels = 0x1;
inline constexpr uint32_t kPfFourCC = 0x4;
inline constexpr uint32_t kPfRgb = 0x40;
// Capabilities: texture; texture with alpha; complex mipmapped texture.
inline constexpr uint32_t kCapsTexture = 0x1000;
inline constexpr uint32_t kCapsTextureAlpha = 0x1002;
inline constexpr uint32_t kCapsMipMapped = 0x401008;
// The DX10 header of a 2D texture; second misc flags 1: straight alpha.
inline constexpr uint32_t kDimensionTexture2D = 3;
inline constexpr uint32_t kAlphaModeStraight = 1;

// The masks of the uncompressed 32-bit form, the only one the container knows.
inline constexpr uint32_t kArgbBitCount = 32;
inline constexpr uint32_t kArgbRedMask = 0x00FF0000;
inline constexpr uint32_t kArgbGreenMask = 0x0000FF00;
inline constexpr uint32_t kArgbBlueMask = 0x000000FF;
inline constexpr uint32_t kArgbAlphaMask = 0xFF000000;

// The structures are sequences of 32-bit words; these move them to and from file bytes in
// little-endian order whatever the host.
template <typename T> void store(const T& value, uint8_t* out) {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) % 4 == 0);
    uint32_t words[sizeof(T) / 4];
    std::memcpy(words, &value, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 4; ++i)
        writeU32(out + 4 * i, words[i], false);
}

template <typename T> T load(const uint8_t* in) {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) % 4 == 0);
    uint32_t words[sizeof(T) / 4];
    for (size_t i = 0; i < sizeof(T) / 4; ++i)
        words[i] = readU32(in + 4 * i, false);
    T value;
    std::memcpy(&value, words, sizeof(T));
    return value;
}

// ---- G1T format codes ----

enum class Layout { Argb32, Block };

// One G1T format code and its DDS form. The export writes `fourCC` (and `dxgiFormat` in the
// DX10 header when `fourCC` is "DX10"); the import also takes any of the accepted codes, and
// a DX10 header with any of the accepted DXGI numbers. Unused slots are 0.
struct TextureForm {
    uint8_t code;
    const wchar_t* name;
    Layout layout;
    uint32_t blockBytes; // per 4 x 4 block
    uint32_t fourCC;
    uint32_t dxgiFormat;
    uint32_t acceptedFourCC[2];
    uint32_t acceptedDxgi[2];
};

inline constexpr TextureForm kTextureForms[] = {
    {0x00, L"ARGB", Layout::Argb32, 0, 0, 0, {}, {}},
    {0x01, L"ARGB", Layout::Argb32, 0, 0, 0, {}, {}},
    {0x06, L"DXT1", Layout::Block, 8, fourCC("DXT1"), 0, {fourCC("DXT1")}, {71, 72}},
    {0x59, L"DXT1", Layout::Block, 8, fourCC("DXT1"), 0, {fourCC("DXT1")}, {71, 72}},
    {0x07, L"DXT3", Layout::Block, 16, fourCC("DXT3"), 0, {fourCC("DXT3")}, {74, 75}},
    {0x08, L"DXT5", Layout::Block, 16, fourCC("DXT5"), 0, {fourCC("DXT5")}, {77, 78}},
    {0x5B, L"DXT5", Layout::Block, 16, fourCC("DXT5"), 0, {fourCC("DXT5")}, {77, 78}},
    {0x5C, L"BC4", Layout::Block, 8, fourCC("BC4U"), 0, {fourCC("BC4U"), fourCC("ATI1")}, {80}},
    {0x5E, L"BC6H", Layout::Block, 16, kFourCCDx10, 95, {}, {95}},
    {0x5F, L"BC7", Layout::Block, 16, kFourCCDx10, 98, {}, {98, 99}},
};

// The form of a format code; null when the code is not supported.
inline const TextureForm* findTextureForm(uint8_t code) {
    for (const TextureForm& form : kTextureForms)
        if (form.code == code)
            return &form;
    return nullptr;
}

} // namespace karv::dds
