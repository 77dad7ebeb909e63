#include "archive/import_plan.h"

#include "formats/backup_record.h"

namespace karv::import {
namespace {

constexpr int kLevelAppend = 1;
constexpr int kLevelFit = 9;

} // namespace

Pass passFor(uint32_t entry, const IndexTable& index, uint32_t recordLength, idxinfo& old) {
    if (entry >= index.count() || !record::holdsSlot(recordLength, entry))
        return Pass::BeyondIndex;
    index.entry(entry, old);
    return IsUnusedEntry(old.size, old.marker) ? Pass::Unused : Pass::None;
}

int levelFor(uint32_t slot) {
    return slot != 0 ? kLevelFit : kLevelAppend;
}

Compression compressionFor(const ContainerKind& kind, uint32_t slot, uint32_t fileLength,
                           std::optional<uint32_t> placed, std::optional<uint32_t> inHeader) {
    Compression made;
    made.level = levelFor(slot);
    if (!kind.chunkSizeFromCaller)
        return made;
    if (placed) {
        made.chunkSize = *placed;
    } else if (inHeader && *inHeader != 0 && *inHeader <= kind.largestChunkSize) {
        made.chunkSize = *inHeader;
    } else {
        made.chunkSize = kind.defaultChunkSize(fileLength);
        made.chunkSizeGuessed = true;
    }
    return made;
}

std::vector<uint8_t> entryFor(const IndexTable& index, const idxinfo& old, uint64_t offset,
                              const Payload& payload) {
    EntryValues values;
    values.offset = offset;
    values.fileLength = payload.fileLength;
    values.storedLength = payload.storedLength;
    values.marker = index.importMarker(payload.compressed, payload.fileLength, payload.storedLength,
                                       old.marker);
    return index.encode(values);
}

bool recordable(const IndexTable& index, const idxinfo& old, const Payload& payload) {
    std::vector<uint8_t> bytes = entryFor(index, old, 0, payload);
    idxinfo written = index.decode(bytes.data());
    return !IsUnusedEntry(written.size, written.marker) &&
           !IsRawMarker(written.marker) == payload.compressed;
}

bool fitsRegion(uint32_t slot, const Payload& payload) {
    return slot != 0 && payload.regionLength <= slot;
}

bool ownsRegion(uint64_t offset, std::optional<uint64_t> archiveSize, uint64_t backupEnd) {
    if (!archiveSize || offset > *archiveSize)
        return false;
    return backupEnd == 0 || offset >= backupEnd;
}

} // namespace karv::import
