// The export and the import with one thread and with several: the same lines printed in the same
// order and the same files byte for byte, for games whose import names one entry twice (so a
// file's level, chunk size and place depend on the file before it), whose members fail part
// way, and whose largest member is compressed and decompressed with every thread at its turn.
#include "archive_export.h"
#include "archive_import.h"
#include "archive_test_game.h"
#include "container_builders.h"
#include "karvcore/tuning.h"

#include <gtest/gtest.h>

namespace karv::test {
namespace {

struct Outcome {
    std::wstring printed;
    std::map<std::wstring, Bytes> files; // by name within the game's folder
};

// Everything under the game's folder, by path relative to it.
void collect(const std::wstring& root, const std::wstring& folder,
             std::map<std::wstring, Bytes>& out) {
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(root + folder, L"*", entries);
    for (const platform::DirectoryEntry& e : entries) {
        const std::wstring name = folder + kSep + e.name;
        if (e.isDirectory)
            collect(root, name, out);
        else
            out[name] = readBytes(root + name);
    }
}

class ThreadedGame {
  public:
    explicit ThreadedGame(const GameKind& kind) : game(kind.dataType, kind.bigEndian) {
        game.builder.addCompressed(mixedData(70000, 1));
        game.builder.addRaw(mixedData(3000, 2));
        game.builder.addUnused();
        // Bytes that are no container under a compressed marker: a member that fails.
        game.builder.addStored(mixedData(500, 3), 0x1234);
        if (kind.dataType == kDataType357)
            game.builder.startNextFile();
        game.builder.addCompressed(mixedData(40000, 4));
        // Large enough to be decompressed and compressed with every thread at its turn.
        if (kind.dataType == kDataTypeZ54)
            game.builder.addCompressed(mixedData(9u << 20, 5), 1);
        game.builder.addRaw(mixedData(100, 6));
        game.write();
    }

    Outcome run(unsigned threads) {
        SetWorkerCount(threads);
        Outcome result;
        EXPECT_EQ(game.backup(), 0);
        game.select();
        {
            OutputCapture output;
            cli::ExportMembers(cli::archiveSelection, 0, 100, game.archivePath(0), false);
            result.printed = output.take();
        }
        // The files to import: every exported member edited, compressed entry 0 twice under two
        // names (the second, at the best level, goes where the first went), a name beyond the
        // index, an unused entry.
        game.clearImportFolder();
        std::vector<platform::DirectoryEntry> exported;
        platform::listDirectory(game.exportFolder(), L"*.data", exported);
        for (const platform::DirectoryEntry& e : exported) {
            Bytes bytes = readBytes(game.exportFolder() + kSep + e.name);
            bytes.push_back('!');
            game.putImportFile(e.name, bytes);
        }
        game.putImportFile(L"0.data", mixedData(69000, 7));
        game.putImportFile(L"2.data", mixedData(10, 8));
        game.putImportFile(L"99.data", mixedData(10, 9));
        game.select();
        {
            OutputCapture output;
            cli::ImportMembers(cli::archiveSelection, game.archivePath(0));
            result.printed += output.take();
        }
        collect(game.location(), L"", result.files);
        EXPECT_EQ(game.restore(), 0);
        SetWorkerCount(0);
        return result;
    }

    TestGame game;
};

class ThreadCounts : public ::testing::TestWithParam<GameKind> {};

TEST_P(ThreadCounts, ExportAndImportGiveTheSameLinesAndFiles) {
    ThreadedGame alone(GetParam());
    const Outcome one = alone.run(1);
    ASSERT_NE(one.printed.find(L"成功！"), std::wstring::npos);
    ASSERT_NE(one.printed.find(L"解压文件 000003.data 出错！"), std::wstring::npos);
    for (unsigned threads : {2u, 4u}) {
        SCOPED_TRACE(threads);
        ThreadedGame shared(GetParam());
        const Outcome many = shared.run(threads);
        // The games live in folders of their own: compare what they print within them.
        std::wstring printed = many.printed;
        const std::wstring from = shared.game.location(), to = alone.game.location();
        for (size_t at = printed.find(from); at != std::wstring::npos;
             at = printed.find(from, at + to.size()))
            printed.replace(at, from.size(), to);
        EXPECT_EQ(printed, one.printed);
        EXPECT_TRUE(many.files == one.files);
    }
}

INSTANTIATE_TEST_SUITE_P(Games, ThreadCounts, ::testing::ValuesIn(allGameKinds()), kindName);

} // namespace
} // namespace karv::test
