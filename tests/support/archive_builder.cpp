#include "archive_builder.h"

#include "karvcore/karvcore.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace karv::test {
namespace {

void put32(Bytes& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

void put64(Bytes& out, uint64_t v, bool bigEndian) {
    for (int i = 0; i < 8; ++i)
        out.push_back(uint8_t(v >> (bigEndian ? 56 - 8 * i : 8 * i)));
}

uint64_t alignUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

constexpr uint32_t kZ54HeaderSize = 16;
constexpr uint32_t kZ54EntrySize = 16;
constexpr uint32_t kMemberAlign = 256;

} // namespace

Bytes indexFile32(const std::vector<IndexEntry>& entries, bool bigEndian) {
    Bytes out;
    for (const IndexEntry& e : entries) {
        put64(out, e.offset, bigEndian);
        put32(out, e.decompressedSize, bigEndian);
        put32(out, 0, bigEndian);
        put32(out, e.storedSize, bigEndian);
        put32(out, 0, bigEndian);
        put32(out, e.marker, bigEndian);
        put32(out, 0, bigEndian);
    }
    return out;
}

Bytes indexZ54(const std::vector<IndexEntry>& entries, uint32_t offsetUnit, bool bigEndian,
               std::optional<uint32_t> declaredCount) {
    Bytes out;
    put32(out, 0, bigEndian);
    put32(out, declaredCount.value_or(uint32_t(entries.size())), bigEndian);
    put32(out, offsetUnit, bigEndian);
    put32(out, 0, bigEndian);
    for (const IndexEntry& e : entries) {
        put64(out, e.offset, bigEndian);
        put32(out, e.storedSize, bigEndian);
        put32(out, e.marker, bigEndian);
    }
    return out;
}

Bytes compressMember(int32_t dataType, const Bytes& content, bool bigEndian, int level,
                     uint32_t chunkSize) {
    uint8_t* out = nullptr;
    uint32_t used = 0, padded = 0;
    auto length = uint32_t(content.size());
    int32_t status = -1;
    if (dataType == kDataType357)
        status = CompressData357(out, content.data(), length, &used, &padded, bigEndian, level);
    else if (dataType == kDataTypeZ54)
        status = CompressDataZ54(out, content.data(), length, &used, &padded, bigEndian, level);
    else if (dataType == kDataType358)
        status = CompressData358(out, content.data(), length, &used, &padded, chunkSize, bigEndian,
                                 level);
    if (status != 0) {
        ADD_FAILURE() << "compressing a member of data type " << dataType << " failed";
        return {};
    }
    Bytes stored(out, out + used);
    std::free(out);
    return stored;
}

ArchiveBuilder::ArchiveBuilder(int32_t dataType, bool bigEndian, uint32_t offsetUnit)
    : dataType_(dataType), bigEndian_(bigEndian), offsetUnit_(offsetUnit) {}

uint32_t ArchiveBuilder::add(Member member) {
    member.file = fileCount_ - 1;
    members_.push_back(std::move(member));
    return uint32_t(members_.size() - 1);
}

uint32_t ArchiveBuilder::addRaw(const Bytes& content, uint32_t marker) {
    auto size = uint32_t(content.size());
    return add({0, content, {0, size, marker, size}, true});
}

uint32_t ArchiveBuilder::addCompressed(const Bytes& content, int level) {
    Bytes stored = compressMember(dataType_, content, bigEndian_, level);
    auto size = uint32_t(content.size());
    // 357/358 mark a compressed member with the single byte 1 at entry offset 24.
    uint32_t marker = dataType_ == kDataTypeZ54 ? size : (bigEndian_ ? 0x01000000u : 1u);
    auto storedSize = uint32_t(stored.size());
    return add({0, std::move(stored), {0, storedSize, marker, size}, true});
}

uint32_t ArchiveBuilder::addStored(const Bytes& stored, uint32_t marker,
                                   uint32_t decompressedSize) {
    return add({0, stored, {0, uint32_t(stored.size()), marker, decompressedSize}, true});
}

uint32_t ArchiveBuilder::addUnused(uint32_t marker, uint32_t storedSize) {
    return add({0, {}, {0, storedSize, marker, 0}, false});
}

uint32_t ArchiveBuilder::addEntry(const IndexEntry& entry) {
    return add({0, {}, entry, false});
}

void ArchiveBuilder::startNextFile() {
    ++fileCount_;
}

uint32_t ArchiveBuilder::firstEntryOfFile(size_t file) const {
    for (size_t i = 0; i < members_.size(); ++i)
        if (members_[i].file >= file)
            return uint32_t(i);
    return entryCount();
}

uint32_t ArchiveBuilder::alignment() const {
    return dataType_ == kDataTypeZ54 ? offsetUnit_ : kMemberAlign;
}

uint64_t ArchiveBuilder::dataStart(size_t file) const {
    if (dataType_ != kDataTypeZ54 || file != 0)
        return 0;
    return alignUp(kZ54HeaderSize + uint64_t(kZ54EntrySize) * members_.size(), offsetUnit_);
}

std::vector<uint64_t> ArchiveBuilder::layOut() const {
    std::vector<uint64_t> offsets(members_.size(), 0);
    std::vector<uint64_t> end(fileCount_);
    for (size_t f = 0; f < fileCount_; ++f)
        end[f] = dataStart(f);
    for (size_t i = 0; i < members_.size(); ++i) {
        const Member& m = members_[i];
        if (!m.placed)
            continue;
        offsets[i] = end[m.file];
        end[m.file] = alignUp(end[m.file] + m.stored.size(), alignment());
    }
    return offsets;
}

std::vector<IndexEntry> ArchiveBuilder::entries() const {
    std::vector<uint64_t> offsets = layOut();
    std::vector<IndexEntry> out;
    for (size_t i = 0; i < members_.size(); ++i) {
        IndexEntry e = members_[i].entry;
        if (members_[i].placed)
            e.offset = dataType_ == kDataTypeZ54 ? offsets[i] / offsetUnit_ : offsets[i];
        out.push_back(e);
    }
    return out;
}

Bytes ArchiveBuilder::index() const {
    if (dataType_ == kDataTypeZ54)
        return indexZ54(entries(), offsetUnit_, bigEndian_);
    return indexFile32(entries(), bigEndian_);
}

Bytes ArchiveBuilder::archive(size_t file) const {
    Bytes out;
    if (dataType_ == kDataTypeZ54 && file == 0)
        out = index();
    out.resize(dataStart(file), 0);
    std::vector<uint64_t> offsets = layOut();
    for (size_t i = 0; i < members_.size(); ++i) {
        const Member& m = members_[i];
        if (!m.placed || m.file != file)
            continue;
        out.resize(offsets[i], 0);
        out.insert(out.end(), m.stored.begin(), m.stored.end());
    }
    // The last member's zero padding, as the import leaves the archive.
    out.resize(alignUp(out.size(), alignment()), 0);
    return out;
}

bool ArchiveBuilder::write(const std::vector<std::wstring>& archivePaths,
                           const std::wstring& indexPath) const {
    if (archivePaths.size() != fileCount_)
        return false;
    for (size_t f = 0; f < fileCount_; ++f)
        if (!writeBytes(archivePaths[f], archive(f)))
            return false;
    return dataType_ == kDataTypeZ54 || writeBytes(indexPath, index());
}

bool writeBytes(const std::wstring& path, const Bytes& bytes) {
    return writeFileBytes(path, std::string(bytes.begin(), bytes.end()));
}

Bytes readBytes(const std::wstring& path) {
    std::string s = readFileBytes(path);
    return Bytes(s.begin(), s.end());
}

} // namespace karv::test
