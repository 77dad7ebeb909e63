// The verifier: every problem of an archive reported in entry order (entries outside their
// archive file, containers that do not decode, containers that make another length than their
// total), with the right counts, for every data type and byte order and any worker count; clean
// archives without a problem; 357 over several files; nothing written.
#include "archive_test_game.h"
#include "container_builders.h"
#include "karvcore/archive.h"
#include "karvcore/tuning.h"

#include <gtest/gtest.h>

namespace karv::test {
namespace {

ArchiveRequest requestFor(const TestGame& game) {
    game.select();
    ArchiveRequest request;
    request.dataType = game.dataType();
    request.bigEndian = game.bigEndian();
    request.link = cli::archiveSelection.linkinfo;
    request.archivePath = game.archivePath(0);
    return request;
}

struct Verified {
    Status status;
    VerifyCounts counts;
    std::vector<VerifyProblem> problems;
};

Verified verify(const TestGame& game) {
    Verified v;
    v.status = VerifyArchive(
        requestFor(game), [&](const VerifyProblem& p) { v.problems.push_back(p); }, v.counts);
    return v;
}

void expectProblem(const VerifyProblem& p, int32_t file, std::optional<uint32_t> entry,
                   VerifyProblem::Kind kind, const std::wstring& message) {
    EXPECT_EQ(p.file, file);
    EXPECT_EQ(p.entry, entry);
    EXPECT_EQ(p.kind, kind);
    EXPECT_EQ(p.message, message);
}

const wchar_t* const kBeyond = L"文件数据超出了 Voxbank 文件的范围！";
const wchar_t* const kUndecodable = L"数据解压失败！";
const wchar_t* const kWrongSize = L"解压后的数据大小有误！";

struct KindAndThreads {
    GameKind game;
    unsigned threads;
};

class VerifyEveryKind : public ::testing::TestWithParam<KindAndThreads> {
  protected:
    VerifyEveryKind() : game(GetParam().game.dataType, GetParam().game.bigEndian) {
        SetWorkerCount(GetParam().threads);
    }
    ~VerifyEveryKind() override { SetWorkerCount(0); }
    TestGame game;
};

TEST_P(VerifyEveryKind, CleanArchiveHasNoProblem) {
    for (uint32_t n = 0; n < 20; ++n) {
        if (n % 5 == 4)
            game.builder.addUnused();
        else if (n % 2 == 0)
            game.builder.addCompressed(mixedData(1000 + 9000 * n, n));
        else
            game.builder.addRaw(mixedData(500 + n, n));
    }
    game.builder.addCompressed(mixedData(300000, 99)); // many chunks
    game.write();
    const auto before = game.snapshot();
    Verified v = verify(game);
    EXPECT_TRUE(v.status.ok());
    EXPECT_TRUE(v.problems.empty());
    EXPECT_EQ(v.counts.checked, 17u);
    EXPECT_EQ(v.counts.unused, 4u);
    EXPECT_EQ(game.snapshot(), before);
}

// Every problem of the run, each in its entry's place, whatever comes between.
TEST_P(VerifyEveryKind, ReportsEveryProblemInEntryOrder) {
    const Bytes broken = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x11, 0x22, 0x33};
    game.builder.addCompressed(mixedData(70000, 1));                     // 0
    game.builder.addEntry({uint64_t(1) << 30, 100, kIdxMarkerRaw, 100}); // 1
    game.builder.addStored(handMadeContainer(game, 50, broken),          // 2
                           compressedMarker(game, 50), 50);
    game.builder.addUnused();                                                       // 3
    game.builder.addStored(handMadeContainer(game, 60, storedStream(Bytes(50, 7))), // 4
                           compressedMarker(game, 60), 60);
    game.builder.addRaw(mixedData(900, 2)); // 5
    // Its one chunk makes more than the total.
    game.builder.addStored(handMadeContainer(game, 40, storedStream(Bytes(50, 8))), // 6
                           compressedMarker(game, 40), 40);
    game.builder.addCompressed(mixedData(5000, 3)); // 7
    game.write();
    // An entry that begins inside the archive file and runs behind its end.
    const uint64_t fileSize = readBytes(game.archivePath(0)).size();
    const uint32_t entrySize = game.entrySize();
    Bytes index = game.z54() ? readBytes(game.archivePath(0)) : readBytes(game.indexPath());
    const size_t at = (game.z54() ? 16 : 0) + 7 * size_t(entrySize) + (game.z54() ? 8 : 16);
    putNumber(index, at, fileSize - game.entryOffset(7) + 1, 4, game.bigEndian());
    ASSERT_TRUE(writeBytes(game.z54() ? game.archivePath(0) : game.indexPath(), index));

    Verified v = verify(game);
    EXPECT_TRUE(v.status.ok());
    ASSERT_EQ(v.problems.size(), 5u);
    expectProblem(v.problems[0], 0, 1u, VerifyProblem::kBounds, kBeyond);
    expectProblem(v.problems[1], 0, 2u, VerifyProblem::kDecode, kUndecodable);
    expectProblem(v.problems[2], 0, 4u, VerifyProblem::kSize, kWrongSize);
    expectProblem(v.problems[3], 0, 6u, VerifyProblem::kDecode, kUndecodable);
    expectProblem(v.problems[4], 0, 7u, VerifyProblem::kBounds, kBeyond);
    EXPECT_EQ(v.counts.checked, 7u);
    EXPECT_EQ(v.counts.unused, 1u);
}

std::vector<KindAndThreads> kindsAndThreads() {
    std::vector<KindAndThreads> out;
    for (const GameKind& kind : allGameKinds())
        for (unsigned threads : {1u, 3u})
            out.push_back({kind, threads});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Games, VerifyEveryKind, ::testing::ValuesIn(kindsAndThreads()),
                         [](const ::testing::TestParamInfo<KindAndThreads>& info) {
                             std::wstring name =
                                 typeName(info.param.game.dataType, info.param.game.bigEndian);
                             return std::string(name.begin(), name.end()) + "_" +
                                    std::to_string(info.param.threads) + "threads";
                         });

// ---- Archive files ----

TEST(VerifyMultiFile357, ProblemsNameTheirFileAndAnUnopenedFileIsOneProblem) {
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        SetWorkerCount(threads);
        TestGame game(kDataType357, false);
        game.builder.addCompressed(mixedData(3000, 1));
        game.builder.startNextFile();
        game.builder.addRaw(Bytes(30, 2));
        game.builder.addRaw(Bytes(30, 3));
        game.builder.startNextFile();
        game.builder.addCompressed(mixedData(3000, 4));
        game.builder.addEntry({uint64_t(1) << 20, 64, kIdxMarkerRaw, 64});
        game.write();

        Verified clean = verify(game);
        ASSERT_EQ(clean.problems.size(), 1u);
        expectProblem(clean.problems[0], 2, 4u, VerifyProblem::kBounds, kBeyond);
        EXPECT_EQ(clean.counts.checked, 5u);

        ASSERT_TRUE(platform::removeFile(game.archivePath(1)));
        Verified v = verify(game);
        EXPECT_TRUE(v.status.ok());
        ASSERT_EQ(v.problems.size(), 2u);
        expectProblem(v.problems[0], 1, std::nullopt, VerifyProblem::kFile,
                      L"打开 Voxbank 文件失败！");
        expectProblem(v.problems[1], 2, 4u, VerifyProblem::kBounds, kBeyond);
        EXPECT_EQ(v.counts.checked, 3u);
    }
    SetWorkerCount(0);
}

TEST(VerifyFailures, NothingIsCheckedWhenTheArchiveCannotBeRead) {
    TestGame game(kDataTypeZ54, true);
    game.builder.addRaw(Bytes(12, 7));
    game.write();
    ArchiveRequest request = requestFor(game);
    size_t calls = 0;
    VerifyCounts counts;
    counts.checked = 9;
    auto tell = [&](const VerifyProblem&) { ++calls; };

    ArchiveRequest missing = request;
    missing.archivePath += L".gone";
    EXPECT_EQ(VerifyArchive(missing, tell, counts).error(), Error::ArchiveUnopened);
    EXPECT_EQ(counts.checked, 0u);
    ArchiveRequest tooMany = request;
    tooMany.dataType = kDataType357;
    tooMany.link.fileCount = 11;
    EXPECT_EQ(VerifyArchive(tooMany, tell, counts).error(), Error::TooManyFiles);
    ASSERT_TRUE(writeBytes(game.archivePath(0), Bytes(8, 0)));
    EXPECT_EQ(VerifyArchive(request, tell, counts).error(), Error::IndexHeaderUnreadable);
    EXPECT_EQ(calls, 0u);
}

} // namespace
} // namespace karv::test
