// The listing: what each entry of an archive is, from the head of its member only. One read of a
// few KiB per member tells most members apart (a compressed one decodes a few bytes of its first
// chunk); only a member that may be a texture container or a packed blob is read and decoded
// further, up to kListedHeadLength, so the listing costs a small part of reading the archive.
#include "archive/archive_files.h"
#include "archive/member_reader.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/byte_io.h"
#include "formats/container_common.h"
#include "formats/g1t_container.h"
#include "karvcore/archive.h"
#include "karvcore/packed_blob.h"
#include "platform/file.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace karv {
namespace {

using platform::File;

// The first read of a member, and what a compressed member's first chunk is decoded to first:
// enough for the magic and a blob's first table values.
constexpr uint32_t kGlanceRead = 4096;
constexpr uint32_t kGlanceDecoded = 64;

// Whether a head may begin a texture container or a packed blob, so that more of it is worth
// reading: the texture magic, or a blob's count and first table value.
bool worthMore(const uint8_t* head, uint32_t length, bool bigEndian) {
    if (IsTextureContainer(head, length, bigEndian))
        return true;
    if (length < 8)
        return false;
    const uint64_t count = readU32(head, bigEndian);
    const uint64_t v1 = readU32(head + 4, bigEndian);
    return count >= 1 && count <= kMaxPackedBlobFiles && (v1 == 8 * count + 4 || v1 == 4 * count);
}

// The textures of the container at `offset` whose headers lie in the `size` bytes at hand.
void describeTextures(const uint8_t* head, uint32_t offset, uint32_t size, bool bigEndian,
                      uint32_t subFile, std::vector<ListedTexture>& out) {
    TextureContainer container;
    uint32_t count = 0;
    if (!container.open(head, offset, size, bigEndian, count))
        return;
    for (uint32_t t = 0; t < count; ++t) {
        TextureContainer::Description d;
        if (!container.describe(head, t, d))
            continue;
        ListedTexture listed;
        listed.subFile = subFile;
        listed.texture = t;
        listed.code = d.code;
        listed.format = d.formatName != nullptr ? d.formatName : L"";
        listed.width = d.width;
        listed.height = d.height;
        listed.mipmaps = d.mipmaps;
        out.push_back(std::move(listed));
    }
}

// What the decoded head of a member of `length` bytes says it is.
void describe(const uint8_t* head, uint32_t headLength, uint32_t length, bool bigEndian,
              ListedEntry& e) {
    e.magicLength = std::min<uint32_t>(4, headLength);
    std::memcpy(e.magic, head, e.magicLength);
    PackedBlobTable table;
    if (IsTextureContainer(head, headLength, bigEndian)) {
        e.content = ListedEntry::Content::Texture;
        TextureContainer::readCount(head, 0, headLength, bigEndian, e.textureCount);
        describeTextures(head, 0, headLength, bigEndian, 0, e.textures);
    } else if (RecognisePackedBlob(head, headLength, length, bigEndian, table)) {
        e.content = ListedEntry::Content::Blob;
        e.subFiles = table.count;
        for (uint32_t s = 0; s < table.count; ++s) {
            uint32_t start = 0, size = 0;
            if (!PackedBlobSubFile(head, table, bigEndian, s, start, size) || start >= headLength)
                continue;
            const uint32_t atHand = std::min(size, headLength - start);
            if (IsTextureContainer(head + start, atHand, bigEndian))
                describeTextures(head, start, atHand, bigEndian, s, e.textures);
        }
    } else {
        e.content = ListedEntry::Content::Other;
    }
}

void damaged(ListedEntry& e, const std::wstring& why) {
    e.content = ListedEntry::Content::Damaged;
    e.damage = why;
}

class Listing {
  public:
    explicit Listing(const ArchiveRequest& request)
        : request_(request), kind_(FindContainerKind(request.dataType)),
          reader_(request.dataType, request.bigEndian),
          files_(request.dataType, request.link, request.archivePath), opened_(files_) {}

    Status open();
    void run(const std::function<void(const ListedEntry&)>& each);

  private:
    void list(uint32_t entry, ListedEntry& e);
    bool readHead(uint32_t length, ListedEntry& e);
    void listRaw(ListedEntry& e);
    void listCompressed(ListedEntry& e);
    // Decodes the container's head to at most `limit` bytes, reading more of it as it asks.
    Status decodeHead(ListedEntry& e, uint32_t limit, ContainerHead& head);

    const ArchiveRequest& request_;
    const ContainerKind* kind_;
    MemberReader reader_;
    ArchiveFiles files_;
    OpenedArchiveFiles opened_;
    codec::StreamCodec codec_;
    // The member's stored bytes read so far, and its decoded head; kept from member to member.
    std::vector<uint8_t> stored_;
    uint32_t read_ = 0;
    std::vector<uint8_t> decoded_ = std::vector<uint8_t>(kListedHeadLength);
    File* file_ = nullptr;
    uint64_t fileSize_ = 0;
};

Status Listing::open() {
    if (Status opened = opened_.openFirst(); !opened)
        return opened;
    return reader_.loadIndex(files_.indexPath());
}

// The member's first `length` bytes at least (the stored bytes read so far are kept); false when
// they do not lie inside the archive file or cannot be read.
bool Listing::readHead(uint32_t length, ListedEntry& e) {
    if (length <= read_)
        return true;
    if (e.offset > fileSize_ || length > fileSize_ - e.offset) {
        damaged(e, msg::kMemberBeyondFile);
        return false;
    }
    if (stored_.size() < length)
        stored_.resize(std::max<size_t>(length, 2 * stored_.size()));
    uint8_t* into = stored_.data() + read_;
    const uint64_t at = e.offset + read_;
    if (at > uint64_t(INT64_MAX) || !file_->seek(int64_t(at), platform::SeekFrom::Begin) ||
        !file_->readAll(into, length - read_)) {
        damaged(e, msg::kReadLinkFailed);
        return false;
    }
    read_ = length;
    return true;
}

void Listing::listRaw(ListedEntry& e) {
    e.size = e.stored;
    if (!readHead(std::min(e.stored, kGlanceRead), e))
        return;
    if (worthMore(stored_.data(), read_, request_.bigEndian) &&
        !readHead(std::min(e.stored, kListedHeadLength), e))
        return;
    describe(stored_.data(), read_, e.stored, request_.bigEndian, e);
}

Status Listing::decodeHead(ListedEntry& e, uint32_t limit, ContainerHead& head) {
    const ContainerEngine& engine = engineOf(*kind_);
    for (;;) {
        Status status = engine.decodeHead(stored_.data(), read_, e.stored, request_.bigEndian,
                                          limit, codec_, decoded_.data(), head);
        if (!status || head.needed <= read_)
            return status;
        // Twice as much at least, so that a head that asks four bytes at a time is read in few
        // steps; never past the stored bytes (the decoder asks for none beyond them).
        const uint64_t more = std::max<uint64_t>(head.needed, 2 * uint64_t(read_));
        if (!readHead(uint32_t(std::min<uint64_t>(more, e.stored)), e))
            return Status::failure(Error::ArchiveUnreadable, e.damage);
    }
}

void Listing::listCompressed(ListedEntry& e) {
    e.storage = kind_;
    if (kind_ == nullptr)
        return damaged(e, msg::kWrongDataType);
    if (!readHead(std::min(e.stored, kGlanceRead), e))
        return;
    ReadContainerTotal(*kind_, stored_.data(), read_, request_.bigEndian, e.size);
    if (!HasContainerMagic(*kind_, stored_.data(), read_, request_.bigEndian))
        return damaged(e, msg::kContainerHeaderWrong);
    ContainerHead head;
    Status status = decodeHead(e, kGlanceDecoded, head);
    if (status && worthMore(decoded_.data(), head.length, request_.bigEndian))
        status = decodeHead(e, kListedHeadLength, head);
    if (!status) {
        if (e.content != ListedEntry::Content::Damaged)
            damaged(e, status.message());
        return;
    }
    e.size = head.total;
    describe(decoded_.data(), head.length, head.total, request_.bigEndian, e);
}

void Listing::list(uint32_t entry, ListedEntry& e) {
    e.entry = entry;
    e.file = files_.fileOf(entry);
    idxinfo info{};
    Status located = reader_.locate(entry, info);
    e.offset = info.offset;
    e.stored = info.size;
    e.used = located.ok();
    if (!e.used)
        return;
    Status why;
    bool firstTime = false;
    file_ = opened_.get(e.file, fileSize_, why, firstTime);
    if (file_ == nullptr)
        return damaged(e, why.message());
    read_ = 0;
    if (MemberReader::compressed(info, false))
        listCompressed(e);
    else
        listRaw(e);
}

void Listing::run(const std::function<void(const ListedEntry&)>& each) {
    ListedEntry e;
    for (uint32_t entry = 0; entry < reader_.count(); ++entry) {
        e = ListedEntry();
        list(entry, e);
        each(e);
    }
}

} // namespace

Status ListArchive(const ArchiveRequest& request,
                   const std::function<void(const ListedEntry&)>& each) {
    Status status = guardMemory([&] {
        Listing listing(request);
        if (Status opened = listing.open(); !opened)
            return opened;
        listing.run(each);
        return Status();
    });
    reportSucceeded(status);
    return status;
}

} // namespace karv
