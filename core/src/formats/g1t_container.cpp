// G1T texture containers: each texture out as a complete DDS file, and the pixel data of an
// edited DDS file back over the texture, in place.
//
// The container lives in the caller's buffer and the object keeps positions only. Every number
// in the container is untrusted: the offset table, texture headers, extension lengths and pixel
// data are checked against the size given at open before a byte is read or written, with
// positions in 64 bits so that no sum wraps.
#include "formats/g1t_container.h"

#include "boundary/messages.h"
#include "formats/byte_io.h"
#include "formats/dds_format.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/karvcore.h"
#include "karvcore/packed_blob.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <new>
#include <sstream>

namespace karv {
namespace {

// Container header: the table offset and the texture count are the last fields read.
constexpr uint32_t kTableOffsetField = 12;
constexpr uint32_t kCountField = 16;
constexpr uint32_t kContainerHeaderSize = 20;
constexpr uint32_t kTableEntrySize = 4;
constexpr uint32_t kTextureHeaderSize = 8;
// The extension flag sits at byte 7 of the texture header, or 2 bytes later in the layout
// whose byte 3 repeats the format code; the extension's length follows the flag's word.
constexpr uint32_t kExtensionFlagByte = 7;
constexpr uint32_t kExtensionLengthField = 8;
constexpr uint32_t kShiftedLayout = 2;

Status fail(const wchar_t* message, Error error) {
    return Status::failure(error, message);
}

// The export pads the code to two digits, the import does not.
Status refuseFormat(uint8_t code, bool exporting) {
    std::wostringstream text;
    if (exporting)
        text << msg::kG1TUnsupportedExport << std::setw(2) << std::setfill(L'0');
    else
        text << msg::kG1TUnsupportedImport;
    text << std::hex << unsigned(code);
    return Status::failure(Error::UnsupportedFormat, text.str()).withValue(code);
}

} // namespace

struct TextureContainer::Texture {
    uint8_t code = 0;
    const dds::TextureForm* form = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t levels = 0;
    uint64_t headerPos = 0;
    uint64_t dataPos = 0;
    uint64_t lastLevelSize = 0;
    uint64_t totalSize = 0;
};

namespace {

using Texture = TextureContainer::Texture;

uint64_t levelSize(uint32_t width, uint32_t height, uint32_t blockBytes) {
    return uint64_t((width + 3) / 4) * ((height + 3) / 4) * blockBytes;
}

// ARGB keeps its top level only. Block formats sum their levels, halving each side per level
// with no floor of 1: once a side reaches 0 that level and all later ones take nothing.
void computeSizes(Texture& t) {
    if (t.form->layout == dds::Layout::Argb32) {
        t.levels = 1;
        t.lastLevelSize = uint64_t(t.width) * t.height * 4;
        t.totalSize = t.lastLevelSize;
        return;
    }
    uint32_t width = t.width, height = t.height;
    for (uint32_t level = 0; level < t.levels; ++level) {
        t.lastLevelSize = levelSize(width, height, t.form->blockBytes);
        t.totalSize += t.lastLevelSize;
        width /= 2;
        height /= 2;
    }
}

// Reads the fields of the texture header at t.headerPos, which lies inside the container.
void readTextureHeader(const uint8_t* header, bool bigEndian, Texture& t) {
    t.code = header[1];
    // PC data keeps the level count in the high nibble and log2 of the width in the low one;
    // PS3 data the other way round.
    uint8_t levels = bigEndian ? header[0] & 0x0F : header[0] >> 4;
    uint8_t size = header[2];
    uint8_t widthLog2 = bigEndian ? size >> 4 : size & 0x0F;
    uint8_t heightLog2 = bigEndian ? size & 0x0F : size >> 4;
    t.width = uint32_t(1) << widthLog2;
    t.height = uint32_t(1) << heightLog2;
    // A level count of 0 cannot describe a texture; its top level is always there.
    t.levels = std::max<uint32_t>(levels, 1);
}

dds::Header makeDdsHeader(const Texture& t) {
    dds::Header h{};
    h.size = sizeof(dds::Header);
    h.flags = dds::kFlagsTexture;
    h.height = t.height;
    h.width = t.width;
    h.pixelFormat.size = sizeof(dds::PixelFormat);
    h.caps = dds::kCapsTexture;
    dds::PixelFormat& pf = h.pixelFormat;
    if (t.form->layout == dds::Layout::Argb32) {
        pf.flags = dds::kPfRgb | dds::kPfAlphaPixels;
        pf.rgbBitCount = dds::kArgbBitCount;
        pf.redMask = dds::kArgbRedMask;
        pf.greenMask = dds::kArgbGreenMask;
        pf.blueMask = dds::kArgbBlueMask;
        pf.alphaMask = dds::kArgbAlphaMask;
        h.caps = dds::kCapsTextureAlpha;
        return h;
    }
    pf.flags = dds::kPfFourCC;
    pf.fourCC = t.form->fourCC;
    if (t.levels > 1) {
        h.flags |= dds::kFlagMipMapCount;
        h.mipMapCount = t.levels;
        h.caps = dds::kCapsMipMapped;
    }
    return h;
}

bool hasDx10Header(const dds::TextureForm& form) {
    return form.fourCC == dds::kFourCCDx10;
}

bool listed(const uint32_t (&values)[2], uint32_t value) {
    return value != 0 && (values[0] == value || values[1] == value);
}

bool isExportedArgb(const dds::PixelFormat& pf) {
    return (pf.flags & dds::kPfRgb) && !(pf.flags & dds::kPfFourCC) &&
           pf.rgbBitCount == dds::kArgbBitCount && pf.redMask == dds::kArgbRedMask &&
           pf.greenMask == dds::kArgbGreenMask && pf.blueMask == dds::kArgbBlueMask &&
           pf.alphaMask == dds::kArgbAlphaMask;
}

// `dx10` points at the DX10 header when the file has one.
bool pixelFormatMatches(const dds::TextureForm& form, const dds::PixelFormat& pf,
                        const uint8_t* dx10) {
    if (form.layout == dds::Layout::Argb32)
        return isExportedArgb(pf);
    if (!(pf.flags & dds::kPfFourCC))
        return false;
    if (dx10)
        return listed(form.acceptedDxgi, dds::load<dds::HeaderDx10>(dx10).dxgiFormat);
    return listed(form.acceptedFourCC, pf.fourCC);
}

// Checks in a fixed order: room for the header, magic, size, pixel format, room for the data.
// On success `dataPos` is where the DDS file's pixel data starts.
Status checkDds(const Texture& t, const uint8_t* file, uint32_t length, uint32_t& dataPos) {
    if (length < dds::kDataPos)
        return fail(msg::kG1TImportFileTooSmall, Error::DdsTooSmall);
    if (readU32(file, false) != dds::kMagic)
        return fail(msg::kDdsNotDds, Error::DdsMismatch);
    dds::Header header = dds::load<dds::Header>(file + dds::kHeaderPos);
    if (header.height != t.height || header.width != t.width)
        return fail(msg::kDdsSizeMismatch, Error::DdsMismatch);
    const dds::PixelFormat& pf = header.pixelFormat;
    bool dx10 = (pf.flags & dds::kPfFourCC) && pf.fourCC == dds::kFourCCDx10;
    dataPos = dx10 ? dds::kDx10DataPos : dds::kDataPos;
    if (length < dataPos)
        return fail(msg::kG1TImportFileTooSmall, Error::DdsTooSmall);
    if (!pixelFormatMatches(*t.form, pf, dx10 ? file + dds::kDx10HeaderPos : nullptr))
        return fail(msg::kDdsFormatMismatch, Error::DdsMismatch);
    if (length - dataPos < t.totalSize)
        return fail(msg::kG1TImportFileTooSmall, Error::DdsTooSmall);
    return Status();
}

} // namespace

Status TextureContainer::open(const uint8_t* data, uint32_t offset, uint32_t size, bool order,
                              uint32_t& count) {
    if (opened)
        return fail(msg::kG1TAlreadyOpen, Error::AlreadyOpen);
    if (size == 0)
        return fail(msg::kG1TSizeZero, Error::DataEmpty);
    if (size < kContainerHeaderSize)
        return fail(msg::kG1THeaderOutside, Error::OutsideContainer);
    const uint8_t* container = data + offset;
    uint32_t tableOffset = readU32(container + kTableOffsetField, order);
    uint32_t textures = readU32(container + kCountField, order);
    if (uint64_t(tableOffset) + uint64_t(textures) * kTableEntrySize > size)
        return fail(msg::kG1TTableOutside, Error::OutsideContainer);
    dataSize = size;
    bigEndian = order;
    containerPos = offset;
    textureCount = textures;
    tablePos = uint64_t(offset) + tableOffset;
    opened = true;
    count = textures;
    return Status();
}

// Texture header, the extension flag (which in the shifted layout lies behind the 8 bytes)
// and the extension's length must lie inside the container.
Status TextureContainer::locate(const uint8_t* data, uint32_t index, Texture& t) const {
    const uint64_t end = containerEnd();
    t.headerPos =
        tablePos + readU32(data + tablePos + uint64_t(index) * kTableEntrySize, bigEndian);
    if (t.headerPos + kTextureHeaderSize > end)
        return fail(msg::kG1TTextureHeaderOutside, Error::OutsideContainer);
    const uint8_t* header = data + t.headerPos;
    uint32_t shift = header[3] == header[1] ? kShiftedLayout : 0;
    if (t.headerPos + kExtensionFlagByte + shift + 1 > end)
        return fail(msg::kG1TTextureHeaderOutside, Error::OutsideContainer);
    uint64_t dataOffset = kTextureHeaderSize;
    if (header[kExtensionFlagByte + shift] != 0) {
        if (t.headerPos + kExtensionLengthField + shift + 4 > end)
            return fail(msg::kG1TExtensionOutside, Error::OutsideContainer);
        dataOffset += readU32(header + kExtensionLengthField + shift, bigEndian);
        if (t.headerPos + dataOffset > end)
            return fail(msg::kG1TExtensionOutside, Error::OutsideContainer);
    }
    t.dataPos = t.headerPos + dataOffset;
    readTextureHeader(header, bigEndian, t);
    return Status();
}

// The steps export and import share. The cursor moves past the texture before its header is
// judged, so a walk over the container handles texture t on call t whatever fails.
Status TextureContainer::nextTexture(const uint8_t* data, bool seekFirst, uint32_t number,
                                     Direction direction, Texture& t) {
    if (!opened)
        return fail(msg::kG1TNotOpen, Error::NotOpen);
    if (seekFirst && number < textureCount)
        cursor = number;
    else if (seekFirst && direction == Direction::Import)
        return fail(msg::kG1TNumberBeyondCount, Error::TextureBeyondCount);
    if (cursor >= textureCount)
        return fail(msg::kG1TEndOfFile, Error::NoMoreTextures);
    uint32_t index = cursor++;
    if (Status status = locate(data, index, t); !status)
        return status;
    t.form = dds::findTextureForm(t.code);
    if (!t.form)
        return refuseFormat(t.code, direction == Direction::Export);
    computeSizes(t);
    if (t.dataPos + t.totalSize > containerEnd())
        return fail(msg::kG1TPixelDataOutside, Error::OutsideContainer);
    return Status();
}

Status TextureContainer::buildDds(const uint8_t* data, const Texture& t, MallocBuffer& dds,
                                  uint32_t& ddsLength, std::wstring& formatName) const {
    const uint32_t headerSize = hasDx10Header(*t.form) ? dds::kDx10DataPos : dds::kDataPos;
    const uint64_t length = headerSize + t.totalSize;
    if (length > UINT32_MAX)
        return fail(msg::kDataTooLong, Error::TooLarge);
    MallocBuffer file(static_cast<uint8_t*>(std::calloc(size_t(length), 1)));
    if (!file)
        return fail(msg::kOutOfMemory, Error::OutOfMemory);
    writeU32(file.get(), dds::kMagic, false);
    dds::store(makeDdsHeader(t), file.get() + dds::kHeaderPos);
    if (hasDx10Header(*t.form)) {
        dds::HeaderDx10 dx10{t.form->dxgiFormat, dds::kDimensionTexture2D, 0, 1,
                             dds::kAlphaModeStraight};
        dds::store(dx10, file.get() + dds::kDx10HeaderPos);
    }
    std::memcpy(file.get() + headerSize, data + t.dataPos, size_t(t.totalSize));
    formatName = t.form->name;
    dds = std::move(file);
    ddsLength = uint32_t(length);
    return Status();
}

Status TextureContainer::exportTexture(const uint8_t* data, bool seekFirst, uint32_t number,
                                       MallocBuffer& dds, uint32_t& ddsLength,
                                       std::wstring& formatName) {
    Texture t;
    if (Status status = nextTexture(data, seekFirst, number, Direction::Export, t); !status)
        return status;
    return buildDds(data, t, dds, ddsLength, formatName);
}

Status TextureContainer::importTexture(uint8_t* data, const uint8_t* dds, uint32_t ddsLength,
                                       bool seekFirst, uint32_t number) {
    Texture t;
    if (Status status = nextTexture(data, seekFirst, number, Direction::Import, t); !status)
        return status;
    uint32_t ddsDataPos = 0;
    if (Status status = checkDds(t, dds, ddsLength, ddsDataPos); !status)
        return status;
    std::memmove(data + t.dataPos, dds + ddsDataPos, size_t(t.totalSize));
    return Status();
}

Status TextureContainer::describe(const uint8_t* data, uint32_t number, Description& out) const {
    if (!opened)
        return fail(msg::kG1TNotOpen, Error::NotOpen);
    if (number >= textureCount)
        return fail(msg::kG1TNumberBeyondCount, Error::TextureBeyondCount);
    Texture t;
    if (Status status = locate(data, number, t); !status)
        return status;
    const dds::TextureForm* form = dds::findTextureForm(t.code);
    out.code = t.code;
    out.formatName = form != nullptr ? form->name : nullptr;
    out.width = t.width;
    out.height = t.height;
    out.mipmaps = t.levels;
    return Status();
}

bool TextureContainer::readCount(const uint8_t* data, uint32_t offset, uint32_t size,
                                 bool bigEndian, uint32_t& count) {
    if (size < kContainerHeaderSize)
        return false;
    count = readU32(data + offset + kCountField, bigEndian);
    return true;
}

void TextureContainer::close() {
    if (!opened)
        return;
    dataSize = 0;
    textureCount = 0;
    tablePos = 0;
    cursor = 0;
    opened = false;
    bigEndian = false;
    containerPos = 0;
}

} // namespace karv

bool karv::IsTextureContainer(const uint8_t* data, uint32_t length, bool bigEndian) {
    uint32_t word = 0;
    return ReadFirstWord(data, length, bigEndian, word) && word == kTextureContainerMagic;
}
