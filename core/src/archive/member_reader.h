// Reading members out of an archive through its index: what VoxbankQX::ReadMember does, in
// steps, so the archive export can read ahead on the calling thread and decompress on the
// workers with the same outcomes and messages.
#pragma once

#include "formats/container_common.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "platform/file.h"

#include <string>

namespace karv {

class MemberReader {
  public:
    MemberReader(int32_t dataType, bool bigEndian) : dataType_(dataType), bigEndian_(bigEndian) {}

    // LoadIndex's work: a failed load, and a table without a whole entry (IndexHoldsNoEntry),
    // leave no table. BadDataType before a data type is chosen.
    Status loadIndex(const std::wstring& indexPath);
    // A table read elsewhere (the backup's copy of the index) in place of the loaded one; one
    // without a whole entry leaves none.
    void adoptTable(IndexTable table);
    // Drops the table and takes another data type and byte order.
    void reset(int32_t dataType, bool bigEndian);
    uint32_t count() const { return loaded_ ? table_.count() : 0; }
    // Whether the data type has a codec to decompress with.
    bool hasCodec() const { return FindContainerKind(dataType_) != nullptr; }

    // The entry of a member to read: IndexNotLoaded, EntryBeyondIndex, EntryUnused.
    Status locate(uint32_t entry, idxinfo& info) const;
    // Whether the member is read through the codec (forceDecompress takes raw ones too).
    static bool compressed(const idxinfo& info, bool forceDecompress) {
        return !IsRawMarker(info.marker) || forceDecompress;
    }
    // The stored bytes into `stored`; bytes past the end of the file are zero. An offset the
    // system cannot seek to is a read failure (ArchiveUnreadable), not a read from elsewhere.
    static Status readStored(platform::File& archive, const idxinfo& info, Block& stored);
    // The member out of its stored bytes; a failure is MemberUndecodable with the composed
    // message "解压文件 000007.data 出错！原因：" + the codec's message. `codecStatus`, when
    // given, receives the codec's own outcome (CorruptData, WrongTotal, OutOfMemory).
    Status decompress(uint32_t entry, const uint8_t* stored, uint32_t size,
                      codec::StreamCodec& codec, WorkerPool* pool, Block& out, uint32_t& length,
                      Status* codecStatus = nullptr) const;

  private:
    bool loaded_ = false;
    IndexTable table_;
    int32_t dataType_;
    bool bigEndian_;
};

} // namespace karv
