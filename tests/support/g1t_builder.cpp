#include "g1t_builder.h"

#include <cassert>

namespace karv::test {
namespace {

constexpr uint32_t kG1tMagic = 0x47315447;
constexpr uint32_t kContainerHeaderSize = 28;
constexpr uint32_t kTextureHeaderSize = 8;

struct FormatInfo {
    uint8_t code;
    const wchar_t* name;
    uint32_t blockBytes; // 0: uncompressed 32-bit
    const char* fourCC;
    uint32_t dxgiFormat;
};

constexpr FormatInfo kFormats[] = {
    {kG1tArgb, L"ARGB", 0, "", 0},         {kG1tArgbAlt, L"ARGB", 0, "", 0},
    {kG1tDxt1, L"DXT1", 8, "DXT1", 0},     {kG1tDxt1Alt, L"DXT1", 8, "DXT1", 0},
    {kG1tDxt3, L"DXT3", 16, "DXT3", 0},    {kG1tDxt5, L"DXT5", 16, "DXT5", 0},
    {kG1tDxt5Alt, L"DXT5", 16, "DXT5", 0}, {kG1tBc4, L"BC4", 8, "BC4U", 0},
    {kG1tBc6h, L"BC6H", 16, "DX10", 95},   {kG1tBc7, L"BC7", 16, "DX10", 98},
};

const FormatInfo* findFormat(uint8_t code) {
    for (const FormatInfo& f : kFormats)
        if (f.code == code)
            return &f;
    return nullptr;
}

void appendU32(Bytes& out, uint32_t value, bool bigEndian) {
    out.resize(out.size() + 4);
    patchU32(out, out.size() - 4, value, bigEndian);
}

void appendLe32(Bytes& out, uint32_t value) {
    appendU32(out, value, false);
}

Bytes pattern(size_t length, uint32_t seed) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = uint8_t(i * 7 + seed * 31 + 1 + (i >> 8));
    return bytes;
}

uint32_t fourCCValue(const std::string& code) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && i < code.size(); ++i)
        value |= uint32_t(uint8_t(code[i])) << (8 * i);
    return value;
}

} // namespace

std::wstring g1tFormatName(uint8_t format) {
    const FormatInfo* f = findFormat(format);
    return f ? f->name : L"";
}

uint32_t g1tDataSize(uint8_t format, uint32_t width, uint32_t height, uint32_t levels) {
    const FormatInfo* f = findFormat(format);
    if (!f)
        return 64;
    if (f->blockBytes == 0)
        return width * height * 4;
    uint32_t total = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        total += (width + 3) / 4 * ((height + 3) / 4) * f->blockBytes;
        width /= 2;
        height /= 2;
    }
    return total;
}

void patchU32(Bytes& bytes, size_t pos, uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        bytes.at(pos + i) = uint8_t(value >> (bigEndian ? 24 - 8 * i : 8 * i));
}

uint32_t readLe32(const Bytes& bytes, size_t pos) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(bytes.at(pos + i)) << (8 * i);
    return value;
}

// ---- G1T containers ----

uint32_t G1tBuilder::add(const G1tTexture& texture) {
    assert(texture.extensionLength == 0 ||
           texture.extensionLength >= (texture.shiftedLayout ? 6u : 4u));
    textures_.push_back(texture);
    return uint32_t(textures_.size() - 1);
}

uint32_t G1tBuilder::add(uint8_t format, uint8_t widthLog2, uint8_t heightLog2, uint8_t levels) {
    G1tTexture texture;
    texture.format = format;
    texture.widthLog2 = widthLog2;
    texture.heightLog2 = heightLog2;
    texture.levels = levels;
    return add(texture);
}

G1tBuilder& G1tBuilder::tableGap(uint32_t bytes) {
    tableGap_ = bytes;
    return *this;
}

uint32_t G1tBuilder::tableOffset() const {
    return kContainerHeaderSize + tableGap_;
}

uint32_t G1tBuilder::headerPos(uint32_t texture) const {
    uint32_t pos = tableOffset() + 4 * uint32_t(textures_.size());
    for (uint32_t i = 0; i < texture; ++i)
        pos += uint32_t(textureBytes(i).size());
    return pos;
}

uint32_t G1tBuilder::dataPos(uint32_t texture) const {
    return headerPos(texture) + kTextureHeaderSize + textures_.at(texture).extensionLength;
}

uint32_t G1tBuilder::size() const {
    return headerPos(uint32_t(textures_.size()));
}

Bytes G1tBuilder::pixels(uint32_t texture) const {
    const G1tTexture& t = textures_.at(texture);
    Bytes data =
        t.pixels ? *t.pixels
                 : pattern(g1tDataSize(t.format, 1u << t.widthLog2, 1u << t.heightLog2, t.levels),
                           texture);
    // Without an extension the shifted layout's flag byte is the second pixel byte.
    if (t.shiftedLayout && t.extensionLength == 0 && data.size() > 1)
        data[1] = 0;
    return data;
}

// Header, extension and pixel data of one texture.
Bytes G1tBuilder::textureBytes(uint32_t texture) const {
    const G1tTexture& t = textures_.at(texture);
    const uint8_t levels = uint8_t(t.levels & 0x0F), spare = uint8_t(t.spareNibble & 0x0F);
    const uint8_t w = uint8_t(t.widthLog2 & 0x0F), h = uint8_t(t.heightLog2 & 0x0F);
    Bytes out;
    out.push_back(bigEndian_ ? uint8_t(spare << 4 | levels) : uint8_t(levels << 4 | spare));
    out.push_back(t.format);
    out.push_back(bigEndian_ ? uint8_t(w << 4 | h) : uint8_t(h << 4 | w));
    out.push_back(t.shiftedLayout ? t.format : uint8_t(t.format ^ 0x80));
    // Flags; byte 7 is the extension flag only in the plain layout, junk in the shifted one.
    const bool extension = t.extensionLength != 0;
    out.insert(out.end(), {0x10, 0x21, 0x32, uint8_t(t.shiftedLayout || extension ? 1 : 0)});
    if (extension) {
        Bytes ext(t.extensionLength, 0xEE);
        size_t field = 0;
        if (t.shiftedLayout) {
            ext[1] = 1;
            field = 2;
        }
        patchU32(ext, field, t.extensionLength, bigEndian_);
        out.insert(out.end(), ext.begin(), ext.end());
    }
    Bytes data = pixels(texture);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes G1tBuilder::build() const {
    Bytes out;
    appendU32(out, kG1tMagic, bigEndian_);
    out.insert(out.end(), {'0', '6', '0', '0'});
    appendU32(out, size(), bigEndian_);
    appendU32(out, tableOffset(), bigEndian_);
    appendU32(out, uint32_t(textures_.size()), bigEndian_);
    appendU32(out, 0x0A, bigEndian_);
    appendU32(out, 0, bigEndian_);
    out.resize(out.size() + tableGap_, 0xCC);
    for (uint32_t i = 0; i < textures_.size(); ++i)
        appendU32(out, headerPos(i) - tableOffset(), bigEndian_);
    for (uint32_t i = 0; i < textures_.size(); ++i) {
        Bytes texture = textureBytes(i);
        out.insert(out.end(), texture.begin(), texture.end());
    }
    return out;
}

// ---- DDS files ----

Bytes ddsFile(const DdsDescription& d, const Bytes& pixels) {
    const bool argb = d.fourCC.empty();
    const bool mipmapped = !argb && d.levels > 1;
    Bytes out;
    out.insert(out.end(), {'D', 'D', 'S', ' '});
    appendLe32(out, 124);
    appendLe32(out, mipmapped ? 0x000A1007 : 0x00081007);
    appendLe32(out, d.height);
    appendLe32(out, d.width);
    appendLe32(out, 0); // pitch or linear size
    appendLe32(out, 0); // depth
    appendLe32(out, mipmapped ? d.levels : 0);
    out.resize(76, 0);
    appendLe32(out, 32);
    appendLe32(out, argb ? 0x41 : 0x4);
    appendLe32(out, fourCCValue(d.fourCC));
    appendLe32(out, argb ? 32 : 0);
    appendLe32(out, argb ? 0x00FF0000 : 0);
    appendLe32(out, argb ? 0x0000FF00 : 0);
    appendLe32(out, argb ? 0x000000FF : 0);
    appendLe32(out, argb ? 0xFF000000 : 0);
    appendLe32(out, argb ? 0x1002 : mipmapped ? 0x401008 : 0x1000);
    out.resize(128, 0);
    if (d.fourCC == "DX10") {
        appendLe32(out, d.dxgiFormat);
        appendLe32(out, 3); // 2D texture
        appendLe32(out, 0);
        appendLe32(out, 1); // array size
        appendLe32(out, 1); // straight alpha
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes exportedDds(uint8_t format, uint32_t width, uint32_t height, uint32_t levels,
                  const Bytes& pixels) {
    const FormatInfo* f = findFormat(format);
    assert(f);
    DdsDescription d;
    d.width = width;
    d.height = height;
    d.levels = levels;
    d.fourCC = f->fourCC;
    d.dxgiFormat = f->dxgiFormat;
    return ddsFile(d, pixels);
}

} // namespace karv::test
