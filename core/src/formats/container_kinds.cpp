// The table of container kinds: one row per kind, each defined in its container's own file.
#include "formats/byte_io.h"
#include "formats/container_common.h"
#include "karvcore/formats.h"

#include <algorithm>
#include <cstring>

namespace karv {
namespace {

struct Row {
    const ContainerKind* kind;
    const ContainerEngine* engine;
};
const Row kRows[] = {
    {&kContainer357, &kEngine357}, {&kContainerZ54, &kEngineZ54}, {&kContainer358, &kEngine358}};

bool bytesMatch(const uint8_t* data, const uint8_t* pattern, uint32_t length, bool reversed) {
    for (uint32_t i = 0; i < length; ++i) {
        if (data[i] != pattern[reversed ? length - 1 - i : i])
            return false;
    }
    return true;
}

} // namespace

const ContainerKind* FindContainerKind(int32_t dataType) {
    for (const Row& row : kRows) {
        if (row.kind->dataType == dataType)
            return row.kind;
    }
    return nullptr;
}

const ContainerKind* FindContainerKindByName(const std::wstring& name) {
    for (const Row& row : kRows) {
        if (name == row.kind->name)
            return row.kind;
    }
    return nullptr;
}

bool HasContainerMagic(const ContainerKind& kind, const uint8_t* data, uint32_t length,
                       bool bigEndian) {
    if (kind.magicLength == 0)
        return true;
    if (data == nullptr || length < kind.magicLength)
        return false;
    return bytesMatch(data, kind.magic, kind.magicLength, false) ||
           (bigEndian && bytesMatch(data, kind.magic, kind.magicLength, true));
}

const ContainerEngine& engineOf(const ContainerKind& kind) {
    for (const Row& row : kRows) {
        if (row.kind == &kind)
            return *row.engine;
    }
    return kEngine357; // every kind has a row
}

bool ReadContainerTotal(const ContainerKind& kind, const uint8_t* data, uint32_t length,
                        bool bigEndian, uint32_t& total) {
    if (data == nullptr || uint64_t(kind.totalAt) + 4 > length)
        return false;
    total = readU32(data + kind.totalAt, bigEndian);
    return true;
}

uint32_t AppendAlignmentFor(int32_t dataType) {
    const ContainerKind* kind = FindContainerKind(dataType);
    return (kind != nullptr ? kind : &kContainer357)->alignment;
}

} // namespace karv
