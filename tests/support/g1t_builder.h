// Byte-by-byte builders for G1T texture containers and DDS files.
//
// G1tBuilder lays a container out texture by texture in either byte order: any format code
// (supported or not), any size and mipmap count, with or without an extension behind the
// texture header, in either header layout. The positions it reports let a test patch numbers
// (hostile containers) and find the pixel data again. ddsFile() writes a DDS file the way the
// export does, or with any other pixel format an image tool might choose.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace karv::test {

using Bytes = std::vector<uint8_t>;

// Format codes of the container (the supported ones; any other byte is unsupported).
inline constexpr uint8_t kG1tArgb = 0x00;
inline constexpr uint8_t kG1tArgbAlt = 0x01;
inline constexpr uint8_t kG1tDxt1 = 0x06;
inline constexpr uint8_t kG1tDxt1Alt = 0x59;
inline constexpr uint8_t kG1tDxt3 = 0x07;
inline constexpr uint8_t kG1tDxt5 = 0x08;
inline constexpr uint8_t kG1tDxt5Alt = 0x5B;
inline constexpr uint8_t kG1tBc4 = 0x5C;
inline constexpr uint8_t kG1tBc6h = 0x5E;
inline constexpr uint8_t kG1tBc7 = 0x5F;
inline constexpr uint8_t kG1tSupportedFormats[] = {kG1tArgb, kG1tArgbAlt, kG1tDxt1,    kG1tDxt1Alt,
                                                   kG1tDxt3, kG1tDxt5,    kG1tDxt5Alt, kG1tBc4,
                                                   kG1tBc6h, kG1tBc7};

// The name the export reports for a code; empty when the code is unsupported.
std::wstring g1tFormatName(uint8_t format);

// Bytes of pixel data a texture occupies: width x height x 4 for ARGB whatever the level
// count; for block formats the sum over `levels` levels, each side halved per level without a
// floor of 1. Unsupported codes: 64 bytes.
uint32_t g1tDataSize(uint8_t format, uint32_t width, uint32_t height, uint32_t levels);

// One texture as its header describes it.
struct G1tTexture {
    uint8_t format = kG1tDxt5;
    uint8_t widthLog2 = 4;
    uint8_t heightLog2 = 4;
    uint8_t levels = 1;      // the mipmap nibble
    uint8_t spareNibble = 0; // the other half of header byte 0
    // Header byte 3 repeats the format code: the extension flag is then byte 9 (behind the
    // 8-byte header) and the length bytes 10 to 13. Without an extension byte 9 is the second
    // pixel byte, which the builder sets to 0.
    bool shiftedLayout = false;
    // Bytes between the 8-byte header and the pixel data, the length field included (at least
    // 4, or 6 in the shifted layout); 0 for no extension.
    uint32_t extensionLength = 0;
    // Default: a pattern of g1tDataSize() bytes that differs from texture to texture.
    std::optional<Bytes> pixels;
};

// A container: the 28-byte header (magic, version, file size, table offset, texture count,
// two more words), `tableGap` filler bytes, the offset table, then the textures back to back.
class G1tBuilder {
  public:
    explicit G1tBuilder(bool bigEndian) : bigEndian_(bigEndian) {}

    // Adds a texture and returns its number.
    uint32_t add(const G1tTexture& texture);
    uint32_t add(uint8_t format, uint8_t widthLog2, uint8_t heightLog2, uint8_t levels = 1);
    // Filler bytes between the header and the offset table.
    G1tBuilder& tableGap(uint32_t bytes);

    Bytes build() const;

    // Positions in the output of build().
    uint32_t tableOffset() const;
    uint32_t headerPos(uint32_t texture) const;
    uint32_t dataPos(uint32_t texture) const;
    uint32_t size() const;
    // The pixel data of a texture as it stands in the container.
    Bytes pixels(uint32_t texture) const;

  private:
    Bytes textureBytes(uint32_t texture) const;

    bool bigEndian_;
    uint32_t tableGap_ = 0;
    std::vector<G1tTexture> textures_;
};

// Writes a 32-bit number in a byte order at a position of `bytes` (which must hold it).
void patchU32(Bytes& bytes, size_t pos, uint32_t value, bool bigEndian);
uint32_t readLe32(const Bytes& bytes, size_t pos);

// The header of a DDS file. `fourCC` empty means uncompressed 32-bit ARGB with the masks
// 00FF0000, 0000FF00, 000000FF, FF000000; "DX10" adds the 20-byte extension header with
// `dxgiFormat`. More than one level writes the mipmap flag, count and capabilities.
struct DdsDescription {
    uint32_t width = 4;
    uint32_t height = 4;
    uint32_t levels = 1;
    std::string fourCC;
    uint32_t dxgiFormat = 0;
};

// A DDS file laid out as the export writes it: header, extension header, pixels.
Bytes ddsFile(const DdsDescription& description, const Bytes& pixels);

// The DDS file the export makes of a texture of a supported format.
Bytes exportedDds(uint8_t format, uint32_t width, uint32_t height, uint32_t levels,
                  const Bytes& pixels);

} // namespace karv::test
