// The archive reader: one loaded index table, and members read from the caller's open archive
// file by entry number, decompressed with the codec of the archive's data type.
#include "boundary.h"
#include "karvcore/archive.h"
#include "messages.h"
#include "platform/file.h"
#include "read_available.h"

#include <cstdlib>
#include <iomanip>
#include <sstream>

using karv::platform::File;
using karv::platform::SeekFrom;

namespace {

constexpr int32_t kNoIndex = -1;
constexpr int32_t kUnused = -2;
constexpr int32_t kReadFailed = -3;
constexpr int32_t kDecompressFailed = -4;
constexpr int32_t kBeyondIndex = -5;
constexpr int32_t kOutOfMemory = -10;

bool isUnused(const idxinfo& info) {
    return karv::IsUnusedEntry(info.size, info.marker);
}

bool isRaw(const idxinfo& info) {
    return karv::IsRawMarker(info.marker);
}

// "解压文件 000007.data 出错！原因：" + reason + "\n"; the number is the export's file name.
std::wstring unpackFailure(uint32_t entry, const std::wstring& reason) {
    std::wostringstream text;
    text << karv::msg::kUnpackMemberPrefix << std::setw(6) << std::setfill(L'0') << entry
         << karv::msg::kUnpackMemberReason << reason << L"\n";
    return text.str();
}

// The stored bytes of a member in a new zero-filled block. Bytes past the end of the file stay
// zero; an offset the system cannot seek to is a read failure, not a read from elsewhere.
int32_t readStored(NativeFileHandle archive, const idxinfo& info, karv::MallocBuffer& out) {
    out.reset(static_cast<uint8_t*>(std::calloc(info.size, 1)));
    if (!out) {
        SetMessageQX(karv::msg::kOutOfMemory);
        return kOutOfMemory;
    }
    File file = File::borrow(archive);
    if (info.offset > uint64_t(INT64_MAX) || !file.seek(int64_t(info.offset), SeekFrom::Begin) ||
        !karv::readAvailable(file, out.get(), info.size)) {
        out.reset();
        SetMessageQX(karv::msg::kReadLinkFailed);
        return kReadFailed;
    }
    return 0;
}

class VoxbankQXImpl final : public VoxbankQX {
  public:
    VoxbankQXImpl(int32_t dataType, bool bigEndian) : dataType(dataType), bigEndian(bigEndian) {}
    ~VoxbankQXImpl() override { std::free(indexTable); }
    VoxbankQXImpl(const VoxbankQXImpl&) = delete;
    VoxbankQXImpl& operator=(const VoxbankQXImpl&) = delete;

    uint32_t LoadIndex(const std::wstring& indexPath) override;
    void Reset(int32_t dataType, bool bigEndian) override;
    int32_t ReadMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data, uint32_t* length,
                       bool forceDecompress) override;

  private:
    uint32_t loadIndex(const std::wstring& indexPath);
    int32_t readMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data, uint32_t* length,
                       bool forceDecompress);
    void dropTable();
    int32_t readRaw(NativeFileHandle archive, const idxinfo& info, uint8_t*& data,
                    uint32_t* length);
    int32_t readCompressed(NativeFileHandle archive, uint32_t entry, const idxinfo& info,
                           uint8_t*& data, uint32_t* length);

    bool loaded = false;
    uint8_t* indexTable = nullptr;
    int32_t dataType;
    uint32_t offsetUnit = 0;
    bool bigEndian;
    // The count LoadIndex returned: entries beyond it lie outside the table.
    uint32_t entryCount = 0;
};

void VoxbankQXImpl::dropTable() {
    std::free(indexTable);
    indexTable = nullptr;
    loaded = false;
    offsetUnit = 0;
    entryCount = 0;
}

uint32_t VoxbankQXImpl::LoadIndex(const std::wstring& indexPath) {
    return karv::catchOutOfMemory([&] { return loadIndex(indexPath); },
                                  [] {
                                      SetMessageQX(karv::msg::kOutOfMemory);
                                      return 0u;
                                  });
}

uint32_t VoxbankQXImpl::loadIndex(const std::wstring& indexPath) {
    if (dataType == 0) {
        SetMessageQX(karv::msg::kDataTypeNotSet);
        return 0;
    }
    // A second load replaces the first table instead of leaking it.
    dropTable();
    uint32_t count = LoadIndexData(dataType, indexPath, indexTable, &offsetUnit, bigEndian);
    if (count == 0) {
        // An index without entries may still have handed over a table.
        dropTable();
        return 0;
    }
    loaded = true;
    entryCount = count;
    return count;
}

void VoxbankQXImpl::Reset(int32_t newDataType, bool newBigEndian) {
    dropTable();
    dataType = newDataType;
    bigEndian = newBigEndian;
}

int32_t VoxbankQXImpl::ReadMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data,
                                  uint32_t* length, bool forceDecompress) {
    // Running out of memory is a failure like any other, never an exception for the caller.
    return karv::guardCode(
        [&] { return readMember(archive, entry, data, length, forceDecompress); }, kOutOfMemory);
}

int32_t VoxbankQXImpl::readMember(NativeFileHandle archive, uint32_t entry, uint8_t*& data,
                                  uint32_t* length, bool forceDecompress) {
    if (!loaded) {
        SetMessageQX(karv::msg::kIndexNotLoaded);
        return kNoIndex;
    }
    if (entry >= entryCount) {
        SetMessageQX(karv::msg::kEntryBeyondIndex);
        return kBeyondIndex;
    }
    idxinfo info{};
    GetIndexInfo(dataType, indexTable, offsetUnit, bigEndian, entry, &info);
    if (isUnused(info)) {
        SetMessageQX(karv::msg::kSkipUnusedMember);
        return kUnused;
    }
    if (isRaw(info) && !forceDecompress)
        return readRaw(archive, info, data, length);
    return readCompressed(archive, entry, info, data, length);
}

int32_t VoxbankQXImpl::readRaw(NativeFileHandle archive, const idxinfo& info, uint8_t*& data,
                               uint32_t* length) {
    karv::MallocBuffer stored;
    if (int32_t status = readStored(archive, info, stored)) {
        data = nullptr;
        return status;
    }
    data = stored.release();
    *length = info.size;
    return 0;
}

int32_t VoxbankQXImpl::readCompressed(NativeFileHandle archive, uint32_t entry, const idxinfo& info,
                                      uint8_t*& data, uint32_t* length) {
    karv::MallocBuffer stored;
    if (int32_t status = readStored(archive, info, stored))
        return status;
    const karv::ContainerKind* kind = karv::FindContainerKind(dataType);
    if (kind == nullptr) {
        // Only the container kinds have a codec.
        SetMessageQX(unpackFailure(entry, karv::msg::kWrongDataType));
        return kDecompressFailed;
    }
    uint32_t outLength = 0;
    int32_t status = kind->decompress(data, stored.get(), info.size, &outLength, bigEndian);
    stored.reset();
    if (status != 0) {
        SetMessageQX(unpackFailure(entry, GetMessageQX()));
        return kDecompressFailed;
    }
    *length = outLength;
    return 0;
}

} // namespace

VoxbankQX* CreateVoxbankInterface(int32_t dataType, bool bigEndian) {
    return new (std::nothrow) VoxbankQXImpl(dataType, bigEndian);
}
