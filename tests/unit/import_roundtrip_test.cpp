// Round trip of the archive import: random sequences of imports (the same size, smaller,
// larger, new sizes; raw and compressed entries; an entry named twice in one run) into every
// kind of game. After every run an export gives back exactly what was last imported for each
// entry and the original bytes of every other one, and nothing the backup protects has
// changed in any archive file; a restore at the end gives back the game byte for byte.
// Seeded and deterministic.
#include "archive_export.h"
#include "archive_import.h"
#include "archive_test_game.h"
#include "container_builders.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace karv::test {
namespace {

// A small deterministic generator (the standard distributions differ between libraries).
class Random {
  public:
    explicit Random(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // A number from 0 to n - 1.
    uint32_t below(uint32_t n) { return next() % n; }

  private:
    uint32_t state_;
};

// Sizes the import would refuse for a raw entry (they read back as unused) or an empty file.
bool refusedSize(uint32_t size) {
    return size == 0 || size == 1 || size == 4;
}

uint32_t randomSize(Random& random, uint32_t limit) {
    uint32_t size;
    do {
        size = 1 + random.below(limit);
    } while (refusedSize(size));
    return size;
}

struct Member {
    Bytes content;
    bool used = true;
};

// One game and what each of its entries should export as.
class RoundTrip {
  public:
    // Z54 games of PS3 data use 4096-byte offset units, so appends start off the unit.
    explicit RoundTrip(GameKind kind)
        : game(kind.dataType, kind.bigEndian, kind.bigEndian ? 4096 : 2048) {}

    void buildGame(Random& random);
    // The next size for an entry whose content now has `current` bytes.
    uint32_t nextSize(Random& random, uint32_t current);
    void importRound(Random& random, uint32_t round);
    void checkExport(uint32_t round);
    void checkProtectedBytes();

    TestGame game;
    // How the files of all runs were placed, so the trial can show it met both ways.
    size_t inPlace = 0, appended = 0;

  private:
    std::vector<Member> members;
    std::vector<Bytes> originalArchives;
    std::vector<uint64_t> backupSizes;
};

void RoundTrip::buildGame(Random& random) {
    const uint32_t count = 14;
    for (uint32_t entry = 0; entry < count; ++entry) {
        // A 357 game spreads its entries over three archive files.
        if (game.dataType() == kDataType357 && (entry == 5 || entry == 10))
            game.builder.startNextFile();
        Member member;
        uint32_t kind = entry == 3 || entry == 11 ? 3 : random.below(3);
        member.content = mixedData(randomSize(random, 20000), random.next());
        if (kind == 0)
            game.builder.addRaw(member.content);
        else if (kind == 1)
            game.builder.addRaw(member.content, kIdxMarkerRawTagged);
        else if (kind == 2)
            game.builder.addCompressed(member.content);
        else {
            game.builder.addUnused(entry == 3 ? kIdxMarkerUnusedA : kIdxMarkerRaw, 4);
            member.used = false;
        }
        members.push_back(member);
    }
    game.write();
    ASSERT_EQ(game.backup(), 0);
    for (size_t f = 0; f < game.builder.fileCount(); ++f) {
        originalArchives.push_back(readBytes(game.archivePath(f)));
        backupSizes.push_back(originalArchives.back().size());
    }
}

uint32_t RoundTrip::nextSize(Random& random, uint32_t current) {
    switch (random.below(4)) {
    case 0:
        return current; // the same size
    case 1:
        return current > 8 ? current - 1 - random.below(current / 2) : current;
    case 2:
        return current + 1 + random.below(20000); // larger
    default:
        return randomSize(random, 40000);
    }
}

void RoundTrip::importRound(Random& random, uint32_t round) {
    game.clearImportFolder();
    // Name -> content; both names of one entry may appear, and the later name wins.
    std::map<std::wstring, std::pair<uint32_t, Bytes>> files;
    const uint32_t fileCount = 1 + random.below(3);
    for (uint32_t i = 0; i < fileCount; ++i) {
        uint32_t entry;
        do {
            entry = random.below(uint32_t(members.size()));
        } while (!members[entry].used);
        uint32_t size = nextSize(random, uint32_t(members[entry].content.size()));
        if (refusedSize(size))
            size = 9;
        std::wstring name = (random.below(2) ? padded6(entry) : std::to_wstring(entry)) + L".data";
        files[name] = {entry, mixedData(size, round * 100 + i + 1)};
    }
    std::vector<std::wstring> names;
    for (const auto& [name, file] : files) {
        game.putImportFile(name, file.second);
        names.push_back(name);
    }
    // The import handles the folder in ascending order of code units; these names are ASCII.
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names)
        members[files[name].first].content = files[name].second;

    game.select();
    OutputCapture output;
    cli::ImportMembers(cli::archiveSelection, game.archivePath(0));
    const std::wstring lines = output.take();
    // One success line per file, and nothing else.
    size_t successes = 0;
    for (size_t at = lines.find(L" 成功！\n"); at != std::wstring::npos;
         at = lines.find(L" 成功！\n", at + 1))
        ++successes;
    EXPECT_EQ(successes, files.size()) << platform::wideToUtf8(lines);
    for (const wchar_t* placed : {L" 中导入", L" 中添加"}) {
        size_t& counter = placed[2] == L'导' ? inPlace : appended;
        for (size_t at = lines.find(placed); at != std::wstring::npos;
             at = lines.find(placed, at + 1))
            ++counter;
    }
    EXPECT_EQ(lines.find(L"失败"), std::wstring::npos) << platform::wideToUtf8(lines);
    EXPECT_EQ(lines.find(L"出错"), std::wstring::npos) << platform::wideToUtf8(lines);
}

void RoundTrip::checkExport(uint32_t round) {
    std::vector<platform::DirectoryEntry> old;
    platform::listDirectory(game.exportFolder(), L"*.data", old);
    for (const platform::DirectoryEntry& e : old)
        platform::removeFile(game.exportFolder() + kSep + e.name);
    game.select();
    {
        OutputCapture quiet;
        cli::ExportMembers(cli::archiveSelection, 0, uint32_t(members.size()) - 1,
                           game.archivePath(0), false);
    }
    for (uint32_t entry = 0; entry < members.size(); ++entry) {
        SCOPED_TRACE("round " + std::to_string(round) + ", entry " + std::to_string(entry));
        if (members[entry].used)
            EXPECT_TRUE(readBytes(game.memberFile(entry)) == members[entry].content);
        else
            EXPECT_FALSE(platform::pathExists(game.memberFile(entry)));
    }
}

// Everything an archive file held at backup time stays, apart from a Z54 index table.
void RoundTrip::checkProtectedBytes() {
    for (size_t f = 0; f < originalArchives.size(); ++f) {
        Bytes now = readBytes(game.archivePath(f));
        ASSERT_GE(now.size(), backupSizes[f]);
        now.resize(backupSizes[f]);
        Bytes original = originalArchives[f];
        if (game.z54() && f == 0) {
            const size_t table = 16 + 16 * members.size();
            std::fill(now.begin() + 16, now.begin() + table, 0);
            std::fill(original.begin() + 16, original.begin() + table, 0);
        }
        EXPECT_TRUE(now == original) << "archive file " << f;
    }
}

class ImportRoundTrip : public ::testing::TestWithParam<GameKind> {};

TEST_P(ImportRoundTrip, ImportsExportBackAndRestoreGivesBackTheGame) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Random random(seed * 7919 + uint32_t(GetParam().dataType) * 31 +
                      (GetParam().bigEndian ? 1 : 0));
        RoundTrip trip(GetParam());
        trip.buildGame(random);
        ASSERT_FALSE(HasFailure());
        const auto atBackup = trip.game.snapshot();
        for (uint32_t round = 0; round < 12 && !HasFailure(); ++round) {
            trip.importRound(random, round);
            trip.checkExport(round);
            trip.checkProtectedBytes();
        }
        ASSERT_FALSE(HasFailure());
        EXPECT_GT(trip.inPlace, 0u);
        EXPECT_GT(trip.appended, 0u);
        ASSERT_EQ(trip.game.restore(), 0);
        EXPECT_TRUE(trip.game.snapshot() == atBackup);
    }
}

INSTANTIATE_TEST_SUITE_P(Games, ImportRoundTrip, ::testing::ValuesIn(allGameKinds()), kindName);

} // namespace
} // namespace karv::test
