// The index table: the entries of an index file, or of the index at the head of a Z54 archive
// file, in memory, read and written with bounds checks.
#pragma once

#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace karv {

// One index table in memory: the entries of an index file, or of the index at the head of a
// Z54 archive file, exactly as stored. Every access checks the entry number against the count.
class KARVCORE_API IndexTable {
  public:
    IndexTable() = default;
    IndexTable(IndexTable&&) noexcept = default;
    IndexTable& operator=(IndexTable&&) noexcept = default;

    // Loads the index at `path`: for an in-archive layout, the archive file that begins with it.
    // A header's count is never trusted beyond the entries the file holds. Failures, with the
    // library's message: IndexUnopened; IndexHeaderUnreadable (cut short or unreadable);
    // IndexUnitZero; IndexDeclaredEmpty; IndexHoldsNoEntry (none of the declared entries is in
    // the file); IndexTableUnreadable; IndexUnloadable (a headerless index that cannot be loaded
    // whole); OutOfMemory. A headerless index without a whole entry loads with count 0.
    static Status load(const IndexLayout& layout, const std::wstring& path, bool bigEndian,
                       IndexTable& out);
    // A table over entries already in memory (a backup's copy of a table), taken over: whole
    // entries only, as load() counts them. An in-archive layout's offsets count in
    // `offsetUnit`, which the entries do not hold (IndexUnitZero when it is 0).
    static Status adopt(const IndexLayout& layout, bool bigEndian, uint32_t offsetUnit,
                        MallocBuffer entries, uint32_t length, IndexTable& out);
    // A new table of `count` zero entries; TooLarge beyond 32 bits of entries.
    static Status create(const IndexLayout& layout, bool bigEndian, uint32_t count,
                         uint32_t offsetUnit, IndexTable& out);

    const IndexLayout& layout() const { return *layout_; }
    bool bigEndian() const { return bigEndian_; }
    uint32_t count() const { return count_; }
    // The header's unit (in-archive layouts); 0 for the others.
    uint32_t offsetUnit() const { return offsetUnit_; }
    uint32_t entrySize() const { return layout_->entrySize; }

    // Entry `n` decoded; false beyond the count. An offset in units whose byte value does not
    // fit in 64 bits decodes as UINT64_MAX, a position no file has.
    bool entry(uint32_t n, idxinfo& info) const;
    // The stored bytes of entry `n` (entrySize() of them); null beyond the count.
    const uint8_t* entryBytes(uint32_t n) const;
    // Where entry `n` lies in the file that holds the index.
    uint64_t filePosition(uint32_t n) const;

    // The marker the import writes for a member: see CompressedMarker.
    uint32_t importMarker(bool compressed, uint32_t fileLength, uint32_t storedLength,
                          uint32_t oldMarker) const;
    // The stored bytes of an entry with these values (entrySize() bytes, every other byte 0);
    // an in-archive offset is stored in units, its remainder dropped.
    std::vector<uint8_t> encode(const EntryValues& values) const;
    // Decodes stored entry bytes as entry() does.
    idxinfo decode(const uint8_t* bytes) const;
    // Replaces entry `n` with stored bytes or values; false beyond the count.
    bool store(uint32_t n, const std::vector<uint8_t>& bytes);
    bool set(uint32_t n, const EntryValues& values) { return store(n, encode(values)); }

    // The entries, count() x entrySize() bytes: what a backup saves and restores.
    const uint8_t* entries() const { return table_.get(); }
    uint32_t entriesLength() const;
    // For an in-archive layout, the header that goes before the entries; empty otherwise.
    std::vector<uint8_t> header() const;
    // Hands the loaded block over (the whole file for a headerless index).
    MallocBuffer release();

  private:
    const IndexLayout* layout_ = &kIndexLayout32;
    MallocBuffer table_;
    uint32_t tableLength_ = 0;
    uint32_t count_ = 0;
    uint32_t offsetUnit_ = 0;
    bool bigEndian_ = false;
};

} // namespace karv
