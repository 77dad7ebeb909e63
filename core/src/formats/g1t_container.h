// G1T texture containers: each texture out as a complete DDS file, and the pixel data of an
// edited DDS file back over the texture, in place. The container lives in the caller's buffer
// and the object keeps positions only: the caller passes the same buffer to every call.
#pragma once

#include "karvcore/buffer.h"
#include "karvcore/status.h"

#include <cstdint>
#include <string>

namespace karv {

class TextureContainer {
  public:
    // One texture as its header describes it, located in the caller's buffer.
    struct Texture;

    // Opens the container of `size` bytes at `offset` in `data`: AlreadyOpen, DataEmpty,
    // OutsideContainer (header or offset table).
    Status open(const uint8_t* data, uint32_t offset, uint32_t size, bool bigEndian,
                uint32_t& count);
    // The DDS file of the texture at the cursor (or of `number` when `seekFirst` and the number
    // is below the count); the cursor moves on. NotOpen, NoMoreTextures, OutsideContainer,
    // UnsupportedFormat (the code as the status's value), TooLarge, OutOfMemory.
    Status exportTexture(const uint8_t* data, bool seekFirst, uint32_t number, MallocBuffer& dds,
                         uint32_t& ddsLength, std::wstring& formatName);
    // The pixel data of a DDS file over the texture at the cursor (or `number` when
    // `seekFirst`; TextureBeyondCount at or beyond the count); the cursor moves on. Besides
    // the export's failures: DdsTooSmall, DdsMismatch (no DDS file, another size or format).
    Status importTexture(uint8_t* data, const uint8_t* dds, uint32_t ddsLength, bool seekFirst,
                         uint32_t number);
    // What the header of texture `number` says, read only: its format code and name (null when
    // the code is unsupported), its size and its mipmap count. Its header must lie inside the
    // size given at open, which for a look at a head is the part at hand. NotOpen,
    // TextureBeyondCount, OutsideContainer.
    struct Description {
        uint8_t code = 0;
        const wchar_t* formatName = nullptr;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t mipmaps = 0;
    };
    Status describe(const uint8_t* data, uint32_t number, Description& out) const;
    // The texture count of the container at `offset`, from its header alone (no table needed);
    // false when the header is not inside `size` bytes.
    static bool readCount(const uint8_t* data, uint32_t offset, uint32_t size, bool bigEndian,
                          uint32_t& count);
    // Forgets the open container; the next open starts at texture 0.
    void close();

  private:
    enum class Direction { Export, Import };

    Status nextTexture(const uint8_t* data, bool seekFirst, uint32_t number, Direction direction,
                       Texture& t);
    Status locate(const uint8_t* data, uint32_t index, Texture& t) const;
    Status buildDds(const uint8_t* data, const Texture& t, MallocBuffer& dds, uint32_t& ddsLength,
                    std::wstring& formatName) const;
    uint64_t containerEnd() const { return uint64_t(containerPos) + dataSize; }

    uint32_t dataSize = 0;
    uint32_t textureCount = 0;
    uint64_t tablePos = 0;
    uint32_t cursor = 0;
    bool opened = false;
    bool bigEndian = false;
    // Where the container starts in the caller's buffer: the bounds of every check.
    uint32_t containerPos = 0;
};

} // namespace karv
