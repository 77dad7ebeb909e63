#include "archive_import.h"

#include "archive_operations.h"

#include "console.h"
#include "karvcore/archive.h"
#include "karvcore/mods.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "texts.h"

#include <locale>
#include <sstream>
#include <vector>

namespace karv::cli {
namespace {

// The entry number of a member file name: the name before its extension read as an unsigned
// decimal number, with nothing but white space after it.
bool entryNumberOf(const std::wstring& name, uint32_t& entry) {
    std::wstring stem = name.substr(0, name.rfind(L'.'));
    std::wistringstream in(stem);
    in.imbue(std::locale::classic());
    in >> std::ws;
    // A sign would turn "-1" into a huge number and "-0" into 0.
    if (in.peek() == L'-')
        return false;
    uint32_t number = 0;
    if (!(in >> number))
        return false;
    in >> std::ws;
    if (!in.eof())
        return false;
    entry = number;
    return true;
}

ImportRequest requestFor(const ArchiveSelection& selection, const std::wstring& archivePath) {
    ImportRequest request;
    request.dataType = selection.dataType;
    request.bigEndian = selection.bigEndian;
    request.dryRun = selection.dryRun;
    request.blockAlignment = selection.blockAlignment;
    request.link = selection.linkinfo;
    request.archivePath = archivePath;
    request.importFolder = selection.importDir;
    return request;
}

// The lines of a setup that ends the run; an index without entries ends it silently.
ImportOutcome printSetupFailure(const Status& status) {
    switch (status.error()) {
    case Error::TooManyFiles:
        print(text::kTooManyArchiveFiles);
        break;
    case Error::BackupUnloadable:
        print(text::kLoadRecordFailed);
        break;
    case Error::ArchiveUnopened:
    case Error::IndexUnopened:
        print(text::kOpenFileFailedLine);
        break;
    case Error::ArchiveUnreadable:
    case Error::IndexHeaderUnreadable:
    case Error::IndexTableUnreadable:
        print(text::kReadFileFailedLine);
        break;
    case Error::BadDataType:
        print(text::kImportBadDataType);
        break;
    case Error::IndexUnitZero:
        print(text::kImportOffsetUnitZero);
        break;
    case Error::IndexUnloadable:
        print(text::kLoadIdxFailed);
        break;
    case Error::ChangedSinceBackup:
        print(text::kImportChangedSinceBackup);
        break;
    case Error::OutOfMemory:
        print(text::kOutOfMemory);
        break;
    case Error::IndexHoldsNoEntry: // nothing to do
        return ImportOutcome::NothingToImport;
    default: // the index's own refusals, with the library's message
        break;
    }
    return ImportOutcome::Failed;
}

std::wstring importedLine(const ImportEvent& event, const std::wstring& archivePath) {
    const wchar_t* action =
        event.compressed
            ? (event.inPlace ? text::kImportedCompressedInPlace : text::kImportedCompressedAppended)
            : (event.inPlace ? text::kImportedRawInPlace : text::kImportedRawAppended);
    return text::kImportLineTo + archivePath + action + event.file + text::kLineSucceeded;
}

// Whether an outcome means a file the user asked for did not go in. Skipped names, unused
// entries, empty files, entries beyond the index and the chunk-size note are outcomes.
bool failedEvent(ImportEvent::Kind kind) {
    switch (kind) {
    case ImportEvent::kEntryBeyondIndex:
    case ImportEvent::kEntryUnused:
    case ImportEvent::kFileEmpty:
    case ImportEvent::kChunkSizeUnreadable:
    case ImportEvent::kImported:
        return false;
    default:
        return true;
    }
}

void printEvent(const ImportEvent& event, const std::wstring& archivePath) {
    const std::wstring& name = event.file;
    switch (event.kind) {
    case ImportEvent::kEntryBeyondIndex:
        return print(name + text::kImportEntryBeyondIndex);
    case ImportEvent::kEntryUnused:
        return print(text::kSkipUnusedLine);
    case ImportEvent::kFileEmpty:
        return print(name + text::kImportFileEmpty);
    case ImportEvent::kFileTooLarge:
        return print(name + text::kImportFileTooLarge);
    case ImportEvent::kSizeUnrecordable:
        return print(name + text::kImportSizeUnrecordable);
    case ImportEvent::kChunkSizeUnreadable:
        return print(text::kChunkSizeUnreadable);
    case ImportEvent::kImported:
        return print(importedLine(event, archivePath));
    case ImportEvent::kFileUnopened:
        return print(name + text::kImportFileOpenFailed);
    case ImportEvent::kFileUnreadable:
        return print(name + text::kImportFileReadFailed);
    case ImportEvent::kOutOfMemory:
        return print(text::kOutOfMemory);
    case ImportEvent::kChunkArchiveUnopened:
        return print(text::kOpenFileFailedLine);
    case ImportEvent::kArchiveUnopened:
        return print(text::kOpenVoxbankFailedLine);
    case ImportEvent::kCompressFailed:
        return print(name + text::kImportCompressFailedBecause + event.reason + L"\n");
    case ImportEvent::kWriteFailed:
        return print(text::kImportWhilePrefix + name + text::kImportWhileWriting + event.path +
                     text::kWriteFileFailedClose);
    case ImportEvent::kIndexUnopened:
        return print(text::kImportWhilePrefix + name + text::kImportWhileOpening + event.path +
                     text::kQuotedFailedClose);
    }
}

// The member files of the import folder in the order of the listing: folders, names starting
// with "." and names that are no bare entry number are passed over.
std::vector<ImportFile> filesToImport(const std::vector<platform::DirectoryEntry>& found) {
    std::vector<ImportFile> files;
    for (const platform::DirectoryEntry& entry : found) {
        ImportFile file;
        if (entry.isDirectory || entry.name.empty() || entry.name[0] == L'.' ||
            !entryNumberOf(entry.name, file.entry))
            continue;
        file.name = entry.name;
        files.push_back(std::move(file));
    }
    return files;
}

ImportOutcome importMembers(const ArchiveSelection& selection, const std::wstring& archivePath) {
    if (!platform::pathExists(selection.importDir)) {
        print(text::kImportDirMissing);
        return ImportOutcome::FolderMissing;
    }
    if (!platform::pathExists(archivePath)) {
        print(text::kFileQuoteOpen + archivePath + text::kFileMissingClose);
        return ImportOutcome::Failed;
    }
    ArchiveImport import(requestFor(selection, archivePath));
    if (Status opened = import.open(); !opened)
        return printSetupFailure(opened);
    std::vector<platform::DirectoryEntry> found;
    if (!platform::listDirectory(selection.importDir, std::wstring(L"*") + kMemberFileSuffix,
                                 found) ||
        found.empty()) {
        print(text::kNoFilesToImport);
        return ImportOutcome::NothingToImport;
    }
    bool failed = false;
    Status ran = import.run(filesToImport(found), [&](const ImportEvent& event) {
        failed = failed || failedEvent(event.kind);
        printEvent(event, archivePath);
    });
    return failed || !ran ? ImportOutcome::Failed : ImportOutcome::Done;
}

} // namespace

bool MemberFilesIn(const std::wstring& folder, std::vector<ImportFile>& files) {
    std::vector<platform::DirectoryEntry> found;
    if (!platform::listDirectory(folder, std::wstring(L"*") + kMemberFileSuffix, found))
        return false;
    files = filesToImport(found);
    return true;
}

ImportOutcome ImportMembers(const ArchiveSelection& selection, std::wstring archivePath) {
    ImportOutcome outcome = ImportOutcome::Failed;
    if (!SettleModStep(selection))
        return outcome;
    catchOutOfMemory([&] { outcome = importMembers(selection, archivePath); },
                     [&] {
                         print(text::kOutOfMemory);
                         outcome = ImportOutcome::Failed;
                     });
    return outcome;
}

} // namespace karv::cli
