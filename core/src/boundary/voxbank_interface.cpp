// The archive reader: one loaded index table, and members read from the caller's open archive
// file by entry number, decompressed with the codec of the archive's data type.
#include "archive/member_reader.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/container_common.h"
#include "platform/file.h"

namespace {

using karv::Block;
using karv::MemberReader;
using karv::Status;

class VoxbankQXImpl final : public VoxbankQX {
  public:
    VoxbankQXImpl(int32_t dataType, bool bigEndian) : reader(dataType, bigEndian) {}

    uint32_t LoadIndex(const std::wstring& indexPath) override;
    void Reset(int32_t dataType, bool bigEndian) override { reader.reset(dataType, bigEndian); }
    int32_t ReadMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data, uint32_t* length,
                       bool forceDecompress) override;

  private:
    Status readMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data, uint32_t* length,
                      bool forceDecompress);

    MemberReader reader;
};

// The entry count, or 0 with the message set.
uint32_t VoxbankQXImpl::LoadIndex(const std::wstring& indexPath) {
    if (!karv::reportSucceeded(karv::guardMemory([&] { return reader.loadIndex(indexPath); })))
        return 0;
    return reader.count();
}

int32_t VoxbankQXImpl::ReadMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data,
                                  uint32_t* length, bool forceDecompress) {
    // Running out of memory is a failure like any other, never an exception for the caller.
    return karv::report(karv::Exported::ReadMember, karv::guardMemory([&] {
                            return readMember(archive, entry, data, length, forceDecompress);
                        }));
}

// A new block for the stored bytes, and for a compressed member a new one of its length. A
// failed raw read and a failing codec (which keeps no block) leave the caller a null pointer;
// every other failure leaves it alone.
Status VoxbankQXImpl::readMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data,
                                 uint32_t* length, bool forceDecompress) {
    idxinfo info{};
    if (Status located = reader.locate(entry, info); !located)
        return located;
    const bool compressed = MemberReader::compressed(info, forceDecompress);
    Block stored;
    karv::platform::File file = karv::platform::File::borrow(archive);
    if (Status read = MemberReader::readStored(file, info, stored); !read) {
        if (!compressed)
            data = nullptr;
        return read;
    }
    if (!compressed) {
        data = stored.data.release();
        *length = info.size;
        return Status();
    }
    Block out;
    uint32_t outLength = 0;
    Status status = karv::container::onThreads(
        info.size, karv::container::kMaxChunks, [&](auto& codec, auto* pool) {
            return reader.decompress(entry, stored.data.get(), info.size, codec, pool, out,
                                     outLength);
        });
    if (!status) {
        if (reader.hasCodec())
            data = nullptr;
        return status;
    }
    data = out.data.release();
    *length = outLength;
    return Status();
}

} // namespace

VoxbankQX* CreateVoxbankInterface(int32_t dataType, bool bigEndian) {
    return new (std::nothrow) VoxbankQXImpl(dataType, bigEndian);
}
