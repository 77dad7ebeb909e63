#include "mods/mod_archive.h"

#include "archive/backup_check.h"
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "formats/backup_record.h"
#include "formats/index_file.h"
#include "karvcore/files.h"
#include "karvcore/formats.h"
#include "platform/file.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <cstring>

namespace karv {

std::wstring ModLedgerPath(const linkinfo& link) {
    return link.fileNames[0] + kModLedgerSuffix;
}

std::wstring ModIntentPath(const linkinfo& link) {
    return link.fileNames[0] + kModIntentSuffix;
}

Status LoadModLedger(const linkinfo& link, ModLedger& ledger, bool& exists) {
    Status status = guardMemory([&] {
        const std::wstring path = ModLedgerPath(link);
        exists = platform::pathExists(path);
        ledger = ModLedger();
        if (!exists)
            return Status();
        MallocBuffer bytes;
        uint32_t length = 0;
        if (Status loaded = loadWholeFile(path, bytes, length); !loaded)
            return Status::failure(Error::FileUnreadable,
                                   msg::kModLedgerUnreadable + path + msg::kModQuoteEnd);
        return ParseModLedger(bytes.get(), length, ledger);
    });
    reportSucceeded(status);
    return status;
}

namespace mods {

using platform::File;
using platform::OpenMode;
using platform::SeekFrom;

std::wstring hashFileRange(const std::wstring& path, uint64_t from, uint64_t to) {
    File file = File::open(path, OpenMode::ReadExisting);
    return file.isOpen() ? hashFileRange(file, from, to) : std::wstring();
}

// In pieces that stay in the cache, into a block the allocator keeps for the next one.
std::wstring hashFileRange(File& file, uint64_t from, uint64_t to) {
    constexpr uint32_t kPiece = 1u << 16;
    if (from > to || from > uint64_t(INT64_MAX) || !file.seek(int64_t(from), SeekFrom::Begin))
        return {};
    std::vector<uint8_t> piece(size_t(std::min<uint64_t>(to - from, kPiece)));
    ModHasher hasher;
    for (uint64_t left = to - from; left > 0;) {
        const auto count = uint32_t(std::min<uint64_t>(left, kPiece));
        if (!file.readAll(piece.data(), count))
            return {};
        hasher.update(piece.data(), count);
        left -= count;
    }
    return hasher.finish();
}

std::wstring packageFilePath(const std::wstring& folder, const std::wstring& packagePath) {
    std::wstring path = packagePath;
    std::replace(path.begin(), path.end(), L'/', platform::kPathSeparator);
    if (!folder.empty() && platform::isPathSeparator(folder.back()))
        return folder + path;
    return folder + platform::kPathSeparator + path;
}

Status writeFailed(const std::wstring& path) {
    return Status::failure(Error::FileUnwritable, msg::kModWriteQuote + path + msg::kModWriteEnd);
}

LoadedArchive::LoadedArchive(const ModArchive& archive)
    : archive_(archive), files_(archive.dataType, archive.link, archive.archivePath) {}

Status LoadedArchive::load() {
    if (!ArchiveFileCountFits(archive_.link))
        return Status::failure(Error::TooManyFiles, msg::kTooManyVoxbankFiles);
    const ContainerKind* kind = FindContainerKind(archive_.dataType);
    if (kind == nullptr)
        return Status::failure(Error::BadDataType, msg::kWrongDataType);
    if (Status loaded =
            loadIndexFor(archive_.dataType, files_.indexPath(), archive_.bigEndian, index_);
        !loaded)
        return loaded;
    if (index_.count() == 0)
        return Status::failure(Error::IndexHoldsNoEntry, msg::kIndexEmpty);
    bool ledgerThere = false;
    if (Status read = LoadModLedger(archive_.link, ledger_, ledgerThere); !read)
        return read;
    ledgerExists_ = ledgerThere;
    if (ledgerExists_ &&
        (ledger_.type != kind->name || ledger_.mode != (archive_.bigEndian ? L"PS3" : L"PC")))
        return Status::failure(Error::ModLedgerInvalid, msg::kModLedgerOtherGame +
                                                            ModLedgerPath(archive_.link) +
                                                            msg::kModQuoteEnd);
    hasBackup_ = platform::pathExists(files_.recordPath()) &&
                 loadWholeFile(files_.recordPath(), record_, recordLength_);
    backup::SavedFiles saved;
    if (hasBackup_) {
        saved.record = record_.get();
        saved.recordLength = recordLength_;
        if (loadWholeFile(files_.indexCopyPath(), table_, tableLength_))
            saved.table = table_.get();
        saved.tableLength = tableLength_;
    }
    backupState_ = BackupState();
    backupState_.exists = hasBackup_;
    if (hasBackup_)
        backup::compare(archive_.dataType, files_, saved, index_,
                        backup::measureArchiveFiles(files_), backupState_);
    return Status();
}

Status LoadedArchive::requireTrustedBackup() const {
    const bool misfit =
        std::any_of(backupState_.findings.begin(), backupState_.findings.end(),
                    [](const BackupFinding& f) { return f.kind == BackupFinding::kBackupMisfit; });
    if (!hasBackup_ || table_.get() == nullptr || misfit)
        return Status::failure(Error::BackupUnloadable, msg::kModNoBackup);
    if (backupState_.changedByOtherProgram())
        return Status::failure(Error::ChangedSinceBackup, msg::kChangedSinceBackup);
    return Status();
}

std::vector<uint8_t> LoadedArchive::currentBytes(uint32_t entry) const {
    const uint8_t* bytes = index_.entryBytes(entry);
    if (bytes == nullptr)
        return {};
    return std::vector<uint8_t>(bytes, bytes + index_.entrySize());
}

std::vector<uint8_t> LoadedArchive::originalBytes(uint32_t entry) const {
    const uint64_t size = index_.entrySize();
    const uint64_t at = uint64_t(entry) * size;
    if (table_.get() == nullptr || at + size > tableLength_)
        return {};
    return std::vector<uint8_t>(table_.get() + at, table_.get() + at + size);
}

uint32_t LoadedArchive::slotOf(uint32_t entry) const {
    uint32_t slot = 0;
    record::slot(record_.get(), recordLength_, entry, slot);
    return slot;
}

const ModLedgerEntry* LoadedArchive::ledgerEntry(uint32_t entry) const {
    auto found =
        std::lower_bound(ledger_.entries.begin(), ledger_.entries.end(), entry,
                         [](const ModLedgerEntry& e, uint32_t wanted) { return e.entry < wanted; });
    return found != ledger_.entries.end() && found->entry == entry ? &*found : nullptr;
}

std::wstring LoadedArchive::backupFingerprint() const {
    ModHasher hasher;
    hasher.update(record_.get(), std::min<uint32_t>(recordLength_, record::kSlotsStart));
    if (table_.get() != nullptr)
        hasher.update(table_.get(), tableLength_);
    return hasher.finish();
}

std::optional<uint64_t> LoadedArchive::sizeOf(int32_t file) const {
    File opened = File::open(files_.pathOf(file), OpenMode::ReadExisting);
    uint64_t size = 0;
    if (!opened.isOpen() || !opened.size(size))
        return std::nullopt;
    return size;
}

namespace {

// Writes `count` bytes at `at` of an open file.
bool writeAt(File& file, uint64_t at, const uint8_t* bytes, uint32_t count) {
    return at <= uint64_t(INT64_MAX) && file.seek(int64_t(at), SeekFrom::Begin) &&
           file.writeAll(bytes, count);
}

} // namespace

Status LoadedArchive::writeEntries(const std::vector<EntryWrite>& writes) {
    if (writes.empty())
        return Status();
    const std::wstring& indexPath = files_.indexPath();
    File index = File::open(indexPath, OpenMode::WriteExisting);
    if (!index.isOpen())
        return writeFailed(indexPath);
    for (const EntryWrite& write : writes) {
        if (write.bytes.size() != index_.entrySize() ||
            !writeAt(index, index_.filePosition(write.entry), write.bytes.data(),
                     uint32_t(write.bytes.size())))
            return writeFailed(indexPath);
        index_.store(write.entry, write.bytes);
    }
    if (!index.flush() || !index.close())
        return writeFailed(indexPath);
    const std::wstring recordPath = files_.recordPath();
    File record = File::open(recordPath, OpenMode::WriteExisting);
    if (!record.isOpen())
        return writeFailed(recordPath);
    for (const EntryWrite& write : writes) {
        if (!record::setSlot(record_.get(), recordLength_, write.entry, write.slot))
            continue; // no slot for it: nothing to keep
        const uint64_t at = record::kSlotsStart + uint64_t(write.entry) * record::kSlotWidth;
        if (!writeAt(record, at, record_.get() + at, record::kSlotWidth))
            return writeFailed(recordPath);
    }
    if (!record.flush() || !record.close())
        return writeFailed(recordPath);
    return Status();
}

namespace {

Status writeTextFile(const std::wstring& path, const std::string& text) {
    if (text.empty() || text.size() > UINT32_MAX)
        return Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    if (!ReplaceFileDurably(path, reinterpret_cast<const uint8_t*>(text.data()),
                            uint32_t(text.size())))
        return writeFailed(path);
    return Status();
}

} // namespace

Status writeLedgerFile(const std::wstring& path, const ModLedger& ledger) {
    return writeTextFile(path, WriteModLedger(ledger));
}

Status commitStep(LoadedArchive& loaded, const ModIntent& intent) {
    const linkinfo& link = loaded.archive().link;
    const std::wstring intentPath = ModIntentPath(link);
    if (Status written = writeTextFile(intentPath, WriteModIntent(intent)); !written)
        return written;
    std::vector<LoadedArchive::EntryWrite> writes;
    for (const ModIntentEntry& e : intent.entries)
        writes.push_back({e.entry, e.after, 0});
    if (Status written = loaded.writeEntries(writes); !written)
        return written;
    if (Status written = writeLedgerFile(ModLedgerPath(link), intent.ledger); !written)
        return written;
    // A removal a power cut undoes only brings the intent back for a step already done: the
    // next command finds the ledger it names in place and removes it again.
    if (!platform::removeFile(intentPath))
        return writeFailed(intentPath);
    return Status();
}

} // namespace mods
} // namespace karv
