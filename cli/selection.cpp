#include "selection.h"

#include <algorithm>

namespace karv::cli {

GameArchives archivesOf(const gameinfo& game) {
    GameArchives archives;
    archives.dataType = game.dataType;
    archives.location = game.location;
    const size_t files = size_t(std::clamp(game.voxbankCount, 0, kGameListCapacity));
    archives.archiveNames.assign(game.voxbankNames.begin(), game.voxbankNames.begin() + files);
    archives.splitAddresses.assign(game.splitAddresses.begin(),
                                   game.splitAddresses.begin() + files);
    // A 357 game names its index first, whatever its count of archive files.
    archives.indexNames.assign(game.idxNames.begin(),
                               game.idxNames.begin() + std::max<size_t>(files, 1));
    archives.exportPath = game.exportPath;
    archives.importPath = game.importPath;
    return archives;
}

ArchiveSelection SelectArchive(const gameinfo& game, int32_t fileIndex, bool dryRun) {
    const ArchiveLocation where = LocateArchive(archivesOf(game), fileIndex);
    ArchiveSelection selection;
    selection.dataType = game.dataType;
    selection.bigEndian = game.bigEndian;
    selection.dryRun = dryRun;
    selection.blockAlignment = where.blockAlignment;
    selection.linkinfo = where.link;
    selection.archiveName = where.archiveName;
    selection.archivePath = where.archivePath;
    // The export extends its root by the archive file's folder itself (ExportMembers).
    selection.exportDir = where.exportRoot;
    selection.importDir = where.importFolder;
    return selection;
}

} // namespace karv::cli
