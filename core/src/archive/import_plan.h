// What a file's turn in the import does, decided in one place from what the run knows: whether
// the file is passed over, how its container is made (level and chunk size), whether its entry
// can record it, and whether it goes over the region its entry owns or behind the archive's end.
// Pure functions: the run gathers the facts (reads, sizes) and does the writes; the read-ahead
// asks the same questions to compress ahead, and the file's turn asks them again.
#pragma once

#include "karvcore/formats.h"
#include "karvcore/index_table.h"

#include <cstdint>
#include <optional>

namespace karv::import {

// Why a file is passed over before it is read: no entry (or no slot in the record) of its
// number, or an entry without a member.
enum class Pass { None, BeyondIndex, Unused };

// The entry of a file as it stands, unless the file is passed over.
Pass passFor(uint32_t entry, const IndexTable& index, uint32_t recordLength, idxinfo& old);

// How a compressed file's container is made.
struct Compression {
    int level = 0;
    uint32_t chunkSize = 0; // the kinds whose chunk size is fixed ignore it
    // The chunk size is the kind's default: the replaced member's header names none that
    // makes sense (the run notes it).
    bool chunkSizeGuessed = false;

    bool sameContainer(const Compression& other) const {
        return level == other.level && chunkSize == other.chunkSize;
    }
};

// Appended anyway: fast; over a region the entry owns: the best, so the container may fit.
int levelFor(uint32_t slot);

// The container for a file of `fileLength` bytes whose entry owns a region of `slot` bytes. A
// kind that takes the caller's chunk size takes the one this run placed for the entry, else the
// one in the replaced member's header (`inHeader`, as read) when it makes sense, else its
// default for the file's length.
Compression compressionFor(const ContainerKind& kind, uint32_t slot, uint32_t fileLength,
                           std::optional<uint32_t> placed, std::optional<uint32_t> inHeader);

// The data that goes into the archive for one file.
struct Payload {
    const uint8_t* bytes = nullptr;
    uint32_t fileLength = 0;
    uint32_t storedLength = 0; // what the entry records
    uint32_t regionLength = 0; // what an append writes, and the slot then records
    bool compressed = false;
};

// The stored bytes of the entry that points at `offset` for the payload.
std::vector<uint8_t> entryFor(const IndexTable& index, const idxinfo& old, uint64_t offset,
                              const Payload& payload);

// An entry that would read back as unused (a raw file of 1 or 4 bytes) or as the other kind (a
// Z54 file whose length is a raw or unused marker) would lose the member.
bool recordable(const IndexTable& index, const idxinfo& old, const Payload& payload);

// Whether the payload may go over the region its entry owns: the slot names a region it fits.
bool fitsRegion(uint32_t slot, const Payload& payload);
// Whether the region at `offset` is the import's own to overwrite: behind the backup's end of
// the archive file (`backupEnd`, 0 when not recorded), and not behind the end of the file (of
// `archiveSize` bytes, when known): writing there would grow the archive to whatever offset the
// entry names.
bool ownsRegion(uint64_t offset, std::optional<uint64_t> archiveSize, uint64_t backupEnd);

} // namespace karv::import
