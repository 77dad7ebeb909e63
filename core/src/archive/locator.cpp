// Where a game's archive lies, from the values of its record: the rule the menus, the command
// line and the tests share.
#include "archive/archive_files.h"
#include "karvcore/archive.h"
#include "platform/filesystem.h"

#include <algorithm>

namespace karv {
namespace {

using platform::kPathSeparator;

const std::wstring& nameAt(const std::vector<std::wstring>& names, int32_t index) {
    static const std::wstring kNone;
    return index >= 0 && size_t(index) < names.size() ? names[size_t(index)] : kNone;
}

uint32_t splitAt(const std::vector<uint32_t>& addresses, size_t index) {
    return index < addresses.size() ? addresses[index] : 0;
}

// 357: every archive file in one archive, the index named first. The other types: the chosen
// archive file alone with its own index (Z54: the file itself, whatever the name says).
linkinfo linkFor(const GameArchives& game, int32_t fileIndex) {
    linkinfo link;
    if (ArchiveSpansFiles(game.dataType)) {
        link.fileCount = int32_t(std::min<size_t>(game.archiveNames.size(), INT32_MAX));
        link.indexPath = game.location + nameAt(game.indexNames, 0);
        const size_t named = std::min<size_t>(game.archiveNames.size(), kMaxArchiveFiles);
        for (size_t i = 0; i < named; ++i) {
            link.fileNames[i] = game.location + game.archiveNames[i];
            link.splitAddress[i] = splitAt(game.splitAddresses, i);
        }
        return link;
    }
    link.fileCount = 0;
    link.indexPath = game.location + nameAt(game.indexNames, fileIndex);
    link.fileNames[0] = game.location + nameAt(game.archiveNames, fileIndex);
    return link;
}

std::wstring hexDigits(uint32_t value) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return digits;
}

} // namespace

ArchiveLocation LocateArchive(const GameArchives& game, int32_t fileIndex) {
    // One archive over every file: its first file stands for it.
    if (ArchiveSpansFiles(game.dataType))
        fileIndex = 0;
    ArchiveLocation where;
    where.link = linkFor(game, fileIndex);
    where.archiveName = nameAt(game.archiveNames, fileIndex);
    where.archivePath = game.location + where.archiveName;
    const ArchiveFiles files(game.dataType, where.link, where.archivePath);
    where.indexPath = files.indexPath();
    where.recordPath = files.recordPath();
    where.indexCopyPath = files.indexCopyPath();
    where.exportRoot = game.location + game.exportPath;
    where.exportFolder = MembersFolder(game.dataType, where.exportRoot, where.archiveName);
    where.importFolder =
        MembersFolder(game.dataType, game.location + game.importPath, where.archiveName);
    where.blockAlignment = AppendAlignmentFor(game.dataType);
    return where;
}

std::wstring BackupRecordPath(const linkinfo& link) {
    return ArchiveFiles(kDataTypeNone, link).recordPath();
}

std::wstring MembersFolder(int32_t dataType, const std::wstring& root,
                           const std::wstring& archiveName) {
    if (ArchiveSpansFiles(dataType) || archiveName.empty())
        return root;
    return root + kPathSeparator + ArchiveFolderName(archiveName);
}

std::wstring ArchiveFolderName(const std::wstring& archiveName) {
    size_t dot = archiveName.find(L'.');
    if (dot == std::wstring::npos || dot == 0)
        return archiveName;
    return archiveName.substr(0, dot);
}

// The first member of every archive file after the first is stored at offset 0.
bool FindSplitAddresses(const IndexTable& index, std::vector<uint32_t>& addresses) {
    addresses.clear();
    for (uint32_t entry = 1; entry < index.count(); ++entry) {
        idxinfo info;
        if (!index.entry(entry, info) || info.offset != 0)
            continue;
        if (addresses.size() == size_t(kMaxArchiveFiles))
            return false;
        // Below the index's length, so it fits.
        addresses.push_back(uint32_t(SplitAddressOf(entry)));
    }
    return true;
}

std::wstring SplitAddressText(const std::vector<uint32_t>& addresses) {
    std::wstring text;
    for (uint32_t address : addresses) {
        if (!text.empty())
            text += L"/";
        text += hexDigits(address);
    }
    return text;
}

} // namespace karv
