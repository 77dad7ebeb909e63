// The texture containers of a member: the member itself, or the sub-files of a packed blob.
#include "karvcore/archive.h"
#include "karvcore/packed_blob.h"

namespace karv {
namespace {

bool isContainerAt(const uint8_t* data, const TextureRegion& region, bool bigEndian) {
    return IsTextureContainer(data + region.offset, region.length, bigEndian);
}

bool locate(const uint8_t* data, uint32_t length, uint32_t subFile, bool bigEndian,
            TextureRegion& region, Status& status) {
    region.subFile = subFile;
    status = LocateSubFile(data, length, subFile, bigEndian, region.offset, region.length);
    return bool(status);
}

} // namespace

std::vector<TextureRegion> FindTextureContainers(const uint8_t* data, uint32_t length,
                                                 bool bigEndian) {
    std::vector<TextureRegion> regions;
    uint32_t word = 0;
    if (!ReadFirstWord(data, length, bigEndian, word))
        return regions;
    if (word == kTextureContainerMagic) {
        regions.push_back({0, 0, length});
        return regions;
    }
    if (word > kMaxPackedBlobFiles)
        return regions;
    for (uint32_t subFile = 0; subFile < word; ++subFile) {
        TextureRegion region;
        Status located;
        if (locate(data, length, subFile, bigEndian, region, located) &&
            isContainerAt(data, region, bigEndian))
            regions.push_back(region);
    }
    return regions;
}

Status LocateTextureContainer(const uint8_t* data, uint32_t length, uint32_t subFile,
                              bool bigEndian, TextureRegion& region) {
    uint32_t word = 0;
    const bool hasWord = ReadFirstWord(data, length, bigEndian, word);
    const bool isBlob = hasWord && word <= kMaxPackedBlobFiles;
    const Status notTexture = Status::failure(Error::SubFileNotTexture);
    if (subFile == 0 && hasWord && word == kTextureContainerMagic) {
        region = {0, 0, length};
        return Status();
    }
    if (subFile == 0 && !isBlob)
        return notTexture;
    if (!isBlob)
        return Status::failure(Error::NotTextureData);
    Status located;
    if (!locate(data, length, subFile, bigEndian, region, located))
        return subFile == 0 ? notTexture : located;
    return isContainerAt(data, region, bigEndian) ? Status() : notTexture;
}

} // namespace karv
