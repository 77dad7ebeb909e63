// Where a game's archive lies, from its record: the rule the menus and the tests share.
#include "karvcore/archive.h"
#include "platform/filesystem.h"

#include <gtest/gtest.h>

namespace karv {
namespace {

const std::wstring kSep(1, platform::kPathSeparator);

GameArchives gameOf(int32_t dataType, std::vector<std::wstring> archives,
                    std::vector<std::wstring> indexes) {
    GameArchives game;
    game.dataType = dataType;
    game.location = L"g" + kSep;
    game.archiveNames = std::move(archives);
    game.indexNames = std::move(indexes);
    game.splitAddresses = {0, 0x7A0, 0x1000};
    game.exportPath = L"Out";
    game.importPath = L"In";
    return game;
}

// 357: one archive over every file, whichever file was chosen; the index and the backup files
// are the index file's and file 0's; members go straight into the game's folders.
TEST(LocateArchive, An357ArchiveSpansItsFiles) {
    const GameArchives game =
        gameOf(kDataType357, {L"A.BIN", L"B.BIN", L"C.BIN"}, {L"V.IDX", L"unused"});
    const ArchiveLocation where = LocateArchive(game, 2);
    EXPECT_EQ(where.link.fileCount, 3);
    EXPECT_EQ(where.link.fileNames[2], L"g" + kSep + L"C.BIN");
    EXPECT_EQ(where.link.splitAddress[1], 0x7A0u);
    EXPECT_EQ(where.archiveName, L"A.BIN");
    EXPECT_EQ(where.indexPath, L"g" + kSep + L"V.IDX");
    EXPECT_EQ(where.indexCopyPath, L"g" + kSep + L"V.IDX.idxbak");
    EXPECT_EQ(where.recordPath, L"g" + kSep + L"A.BIN.qxdata");
    EXPECT_EQ(where.exportFolder, L"g" + kSep + L"Out");
    EXPECT_EQ(where.importFolder, L"g" + kSep + L"In");
    EXPECT_EQ(where.blockAlignment, 256u);

    // More files than an archive may have: the count stays, so that every operation refuses.
    GameArchives large = game;
    large.archiveNames.assign(12, L"X.BIN");
    const ArchiveLocation tooMany = LocateArchive(large, 0);
    EXPECT_EQ(tooMany.link.fileCount, 12);
    EXPECT_FALSE(ArchiveFileCountFits(tooMany.link));
}

// Z54 and 358: the chosen file stands alone; a Z54 file holds its own index whatever the
// record names; members go into a folder named after the file.
TEST(LocateArchive, OtherTypesTakeTheChosenFileAlone) {
    const GameArchives z54 = gameOf(kDataTypeZ54, {L"A.BIN", L"VOXDATA_B.BIN"}, {});
    const ArchiveLocation where = LocateArchive(z54, 1);
    EXPECT_EQ(where.link.fileCount, 0);
    EXPECT_EQ(where.link.fileNames[0], L"g" + kSep + L"VOXDATA_B.BIN");
    EXPECT_EQ(where.indexPath, where.archivePath);
    EXPECT_EQ(where.indexCopyPath, where.archivePath + L".idxbak");
    EXPECT_EQ(where.recordPath, where.archivePath + L".qxdata");
    EXPECT_EQ(where.exportRoot, L"g" + kSep + L"Out");
    EXPECT_EQ(where.exportFolder, where.exportRoot + kSep + L"VOXDATA_B");
    EXPECT_EQ(where.importFolder, L"g" + kSep + L"In" + kSep + L"VOXDATA_B");
    EXPECT_EQ(where.blockAlignment, 2048u);

    const GameArchives t358 = gameOf(kDataType358, {L".hidden", L"B.BIN"}, {L"A.IDX", L"B.IDX"});
    EXPECT_EQ(LocateArchive(t358, 1).indexPath, L"g" + kSep + L"B.IDX");
    // A name that begins with "." is its own folder name.
    EXPECT_EQ(LocateArchive(t358, 0).exportFolder, L"g" + kSep + L"Out" + kSep + L".hidden");
    // A file the record does not have gives empty names, not a read past the lists.
    EXPECT_EQ(LocateArchive(t358, 5).archiveName, L"");
}

} // namespace
} // namespace karv
