// ReadOriginalMembers: after imports, the members as the export gave them before, byte for byte,
// for every data type and byte order and for a 357 archive over several files; unused entries and
// entries beyond the saved table with their statuses, saved entries that reach past their file's
// saved size refused, the same outcomes for any thread count, and no originals at all without a
// backup that fits or for a game another program changed.
#include "archive_import.h"
#include "archive_test_game.h"
#include "container_builders.h"
#include "karvcore/mods.h"
#include "karvcore/tuning.h"

#include <gtest/gtest.h>

namespace karv::test {
namespace {

const std::wstring kNoBackup = L"加载备份文件失败！";
const std::wstring kChanged =
    L"游戏文件在备份后已被其他程序修改（例如游戏更新），无法读取备份时的原始文件！";
const std::wstring kBeyondSaved = L"备份中的文件数据超出了备份时 Voxbank 文件的大小！";

// One entry's outcome, its bytes copied out of the call.
struct Outcome {
    uint32_t entry = 0;
    Error error = Error::None;
    std::wstring message;
    Bytes data;
    bool operator==(const Outcome& o) const {
        return entry == o.entry && error == o.error && message == o.message && data == o.data;
    }
};

Outcome capture(uint32_t entry, const Status& status, const uint8_t* data, uint32_t length) {
    return {entry, status.error(), status.message(), data ? Bytes(data, data + length) : Bytes()};
}

struct Originals {
    Status status;
    std::vector<Outcome> outcomes;
};

class OriginalsGame : public TestGame {
  public:
    using TestGame::TestGame;

    ArchiveRequest request() const {
        select();
        ArchiveRequest request;
        request.dataType = dataType();
        request.bigEndian = bigEndian();
        request.link = cli::archiveSelection.linkinfo;
        request.archivePath = archivePath(0);
        return request;
    }
    Originals read(const std::vector<uint32_t>& entries) const {
        Originals out;
        out.status = ReadOriginalMembers(request(), entries, [&](const OriginalMember& m) {
            out.outcomes.push_back(capture(m.entry, m.status, m.data, m.length));
        });
        return out;
    }
    // What the export gives for every entry now, as the originals report it.
    std::vector<Outcome> exported() const {
        select();
        ExportRequest request;
        request.dataType = dataType();
        request.bigEndian = bigEndian();
        request.link = cli::archiveSelection.linkinfo;
        request.archivePath = archivePath(0);
        request.last = UINT32_MAX;
        ArchiveExport reader(request);
        EXPECT_TRUE(reader.open());
        std::vector<Outcome> out;
        ExportedMember m;
        while (reader.next(m))
            out.push_back(capture(m.entry, m.status, m.data, m.length));
        return out;
    }
    std::wstring import(const std::map<std::wstring, Bytes>& files) const {
        clearImportFolder();
        for (const auto& [name, bytes] : files)
            putImportFile(name, bytes);
        select();
        OutputCapture output;
        cli::ImportMembers(cli::archiveSelection, archivePath(0));
        return output.take();
    }
    std::wstring indexHolder() const { return z54() ? archivePath(0) : indexPath(); }
    std::wstring copyPath() const { return indexHolder() + L".idxbak"; }
    // Entry `entry` of the index as it stands set to `offset` bytes (Z54: a multiple of the
    // unit, or units beyond 64 bits of bytes when `units` is given) and a raw member of `stored`.
    void setEntry(uint32_t entry, uint64_t offset, uint32_t stored,
                  std::optional<uint64_t> units = std::nullopt) const {
        Bytes index = readBytes(indexHolder());
        const size_t at = z54() ? 16 + 16 * size_t(entry) : 32 * size_t(entry);
        putNumber(index, at,
                  units   ? *units
                  : z54() ? offset / builder.offsetUnit()
                          : offset,
                  8, bigEndian());
        putNumber(index, at + (z54() ? 8 : 16), stored, 4, bigEndian());
        putNumber(index, at + (z54() ? 12 : 24), 0, 4, bigEndian());
        ASSERT_TRUE(writeBytes(indexHolder(), index));
    }
};

std::map<uint32_t, Outcome> byEntry(const std::vector<Outcome>& outcomes) {
    std::map<uint32_t, Outcome> out;
    for (const Outcome& o : outcomes)
        out[o.entry] = o;
    return out;
}

Outcome failed(uint32_t entry, Error error, const std::wstring& message) {
    return {entry, error, message, {}};
}

// ---- Every data type and byte order ----

// Six entries; a 357 game spreads them over three archive files (split at entries 3 and 5).
class OriginalsEveryKind : public ::testing::TestWithParam<GameKind> {
  protected:
    OriginalsEveryKind() : game(GetParam().dataType, GetParam().bigEndian) {
        const bool spread = game.dataType() == kDataType357;
        game.builder.addRaw(mixedData(3000, 1));
        game.builder.addCompressed(mixedData(70000, 2)); // several chunks in every container
        game.builder.addUnused();
        if (spread)
            game.builder.startNextFile();
        game.builder.addRaw(mixedData(700, 3), kIdxMarkerRawTagged);
        game.builder.addCompressed(mixedData(20000, 4));
        if (spread)
            game.builder.startNextFile();
        game.builder.addCompressed(mixedData(100, 5));
        game.write();
    }
    OriginalsGame game;
};

TEST_P(OriginalsEveryKind, ImportsLeaveTheMembersTheExportGaveBeforeThem) {
    const std::vector<Outcome> before = game.exported();
    ASSERT_EQ(before.size(), 6u);
    ASSERT_EQ(game.backup(), 0);
    // Appended, then over the region the first import appended, and raw ones grown.
    ASSERT_NE(game.import({{L"000001.data", mixedData(90000, 11)},
                           {L"000000.data", mixedData(5000, 12)},
                           {L"000003.data", mixedData(100, 13)},
                           {L"000005.data", mixedData(3000, 14)}}),
              L"");
    ASSERT_NE(game.import(
                  {{L"000001.data", mixedData(60000, 15)}, {L"000004.data", mixedData(30000, 16)}}),
              L"");
    const std::map<uint32_t, Outcome> now = byEntry(game.exported());
    ASSERT_EQ(now.at(1).data, mixedData(60000, 15));
    ASSERT_EQ(now.at(5).data, mixedData(3000, 14));

    const Originals originals = game.read({0, 1, 2, 3, 4, 5, 6, 1000});
    EXPECT_TRUE(originals.status.ok()) << int(originals.status.error());
    std::vector<Outcome> expected = before;
    expected[2] = failed(2, Error::EntryUnused, L"跳过未使用的文件！");
    expected.push_back(failed(6, Error::EntryBeyondIndex, L"文件编号超出了 Index 文件的范围！"));
    expected.push_back(failed(1000, Error::EntryBeyondIndex, L"文件编号超出了 Index 文件的范围！"));
    EXPECT_TRUE(originals.outcomes == expected);

    // A few entries only, and none.
    const Originals some = game.read({1, 5});
    ASSERT_EQ(some.outcomes.size(), 2u);
    EXPECT_TRUE(some.outcomes[0] == before[1] && some.outcomes[1] == before[5]);
    EXPECT_TRUE(game.read({}).status.ok());
    EXPECT_TRUE(game.read({}).outcomes.empty());
}

TEST_P(OriginalsEveryKind, NoOriginalsWithoutABackupThatFitsAnUnchangedGame) {
    auto expectRefused = [&](const char* what, Error error, const std::wstring& message) {
        SCOPED_TRACE(what);
        SetMessageQX(L"");
        const Originals originals = game.read({0, 1});
        EXPECT_EQ(originals.status.error(), error);
        EXPECT_EQ(originals.status.message(), message);
        EXPECT_EQ(GetMessageQX(), message);
        EXPECT_TRUE(originals.outcomes.empty());
    };
    expectRefused("no backup", Error::BackupUnloadable, kNoBackup);
    ASSERT_EQ(game.backup(), 0);
    const Bytes copy = readBytes(game.copyPath());
    const Bytes record = game.record();
    platform::removeFile(game.copyPath());
    expectRefused("copy missing", Error::BackupUnloadable, kNoBackup);
    ASSERT_TRUE(writeBytes(game.copyPath(), Bytes(copy.begin(), copy.end() - 1)));
    expectRefused("copy not whole entries", Error::BackupUnloadable, kNoBackup);
    ASSERT_TRUE(writeBytes(game.copyPath(), Bytes(copy.begin(), copy.end() - game.entrySize())));
    expectRefused("copy an entry short",
                  game.z54() ? Error::ChangedSinceBackup : Error::BackupUnloadable,
                  game.z54() ? kChanged : kNoBackup);
    ASSERT_TRUE(writeBytes(game.copyPath(), copy));
    ASSERT_TRUE(writeBytes(game.recordPath(), Bytes(record.begin(), record.end() - 4)));
    expectRefused("a slot missing", Error::BackupUnloadable, kNoBackup);
    ASSERT_TRUE(writeBytes(game.recordPath(), record));
    EXPECT_TRUE(game.read({0}).status.ok());

    // Another program's data: an entry moved below the saved size, an archive file cut short.
    const Bytes index = readBytes(game.indexHolder());
    game.setEntry(1, 0, 3000);
    expectRefused("entry moved", Error::ChangedSinceBackup, kChanged);
    ASSERT_TRUE(writeBytes(game.indexHolder(), index));
    const std::wstring lastFile = game.archivePath(game.builder.fileCount() - 1);
    const Bytes archive = readBytes(lastFile);
    ASSERT_TRUE(writeBytes(lastFile, Bytes(archive.begin(), archive.end() - 1)));
    expectRefused("file shorter", Error::ChangedSinceBackup, kChanged);
    ASSERT_TRUE(writeBytes(lastFile, archive));

    // The archive and the index as they are now.
    ArchiveRequest noType = game.request(), tooMany = noType;
    noType.dataType = kDataTypeNone;
    tooMany.link.fileCount = kMaxArchiveFiles + 1;
    auto refusal = [](const ArchiveRequest& request) {
        return ReadOriginalMembers(request, {}, [](const OriginalMember&) {}).error();
    };
    EXPECT_EQ(refusal(noType), Error::BadDataType);
    EXPECT_EQ(refusal(tooMany), game.z54() ? Error::None : Error::TooManyFiles);
    if (game.z54()) {
        platform::removeFile(game.archivePath(0));
        expectRefused("archive gone", Error::ArchiveUnopened, L"打开文件失败！");
    } else {
        platform::removeFile(game.indexPath());
        expectRefused("index gone", Error::IndexUnloadable, L"加载 Index 文件失败！");
    }
}

// Saved entries that reach past the saved size of their archive file point at what imports
// append there, never at an original: refused one by one, while those up to it are read.
TEST_P(OriginalsEveryKind, SavedEntriesBeyondTheSavedSizeAreRefused) {
    // Each entry against the file that holds it (357: split at entries 3 and 5).
    auto fileOf = [&](uint32_t entry) {
        size_t file = 0;
        while (file + 1 < game.builder.fileCount() &&
               game.builder.firstEntryOfFile(file + 1) <= entry)
            ++file;
        return file;
    };
    std::vector<Bytes> files;
    for (size_t f = 0; f < game.builder.fileCount(); ++f)
        files.push_back(readBytes(game.archivePath(f)));
    const uint64_t unit = game.z54() ? game.builder.offsetUnit() : 1;
    auto tailOf = [&](uint32_t entry) { return files[fileOf(entry)].size() / 2 / unit * unit; };
    auto restOf = [&](uint32_t entry) {
        return uint32_t(files[fileOf(entry)].size() - tailOf(entry));
    };
    game.setEntry(5, tailOf(5), restOf(5)); // up to the saved size exactly
    game.setEntry(4, tailOf(4), restOf(4) + 1);
    game.setEntry(3, files[fileOf(3)].size() / unit * unit + unit, 100);
    game.setEntry(0, 0, 100, game.z54() ? std::optional<uint64_t>(1ull << 60) : UINT64_MAX);
    ASSERT_EQ(game.backup(), 0);
    ASSERT_NE(game.import({{L"000005.data", mixedData(900, 20)}}), L"");

    const Originals originals = game.read({0, 1, 3, 4, 5});
    ASSERT_TRUE(originals.status.ok());
    ASSERT_EQ(originals.outcomes.size(), 5u);
    EXPECT_TRUE(originals.outcomes[0] == failed(0, Error::OutsideSavedRegion, kBeyondSaved));
    EXPECT_EQ(originals.outcomes[1].data, mixedData(70000, 2));
    EXPECT_TRUE(originals.outcomes[2] == failed(3, Error::OutsideSavedRegion, kBeyondSaved));
    EXPECT_TRUE(originals.outcomes[3] == failed(4, Error::OutsideSavedRegion, kBeyondSaved));
    EXPECT_EQ(originals.outcomes[4].error, Error::None);
    EXPECT_EQ(originals.outcomes[4].data, sliceOf(files[fileOf(5)], tailOf(5), restOf(5)));
}

// The same outcomes and bytes for one thread and several, with a member that does not decode
// among them and, for Z54, one large enough to be decompressed with every thread at its turn.
TEST_P(OriginalsEveryKind, OneThreadAndSeveralGiveTheSame) {
    game.builder.addStored(mixedData(500, 6), 0x1234); // no container under a compressed marker
    game.builder.addCompressed(mixedData(40000, 7));
    if (game.z54())
        game.builder.addCompressed(mixedData(9u << 20, 8), 1);
    game.write();
    const std::vector<Outcome> before = game.exported();
    ASSERT_EQ(game.backup(), 0);
    std::map<std::wstring, Bytes> edited;
    for (const Outcome& o : before) {
        if (o.error == Error::None)
            edited[padded6(o.entry) + L".data"] = mixedData(o.data.size() + 10, o.entry + 30);
    }
    ASSERT_NE(game.import(edited), L"");

    std::vector<uint32_t> all;
    for (uint32_t entry = 0; entry < before.size() + 2; ++entry)
        all.push_back(entry);
    SetWorkerCount(1);
    const Originals one = game.read(all);
    ASSERT_TRUE(one.status.ok());
    ASSERT_EQ(one.outcomes.size(), all.size());
    EXPECT_EQ(one.outcomes[6].error, Error::MemberUndecodable);
    EXPECT_EQ(one.outcomes[6].message.rfind(L"解压文件 000006.data 出错！原因：", 0), 0u);
    for (const Outcome& o : before) {
        if (o.error == Error::None) {
            EXPECT_TRUE(one.outcomes[o.entry] == o) << o.entry;
        }
    }
    for (unsigned threads : {2u, 4u}) {
        SCOPED_TRACE(threads);
        SetWorkerCount(threads);
        const Originals many = game.read(all);
        EXPECT_TRUE(many.status.ok());
        EXPECT_TRUE(many.outcomes == one.outcomes);
    }
    SetWorkerCount(0);
}

// Hashing the stored bytes alone gives, entry by entry, the hash of the stored bytes the decoding
// read, and the same outcome but for a member that does not decode, which is hashed all the same.
TEST_P(OriginalsEveryKind, StoredHashesAreThoseOfTheStoredBytes) {
    game.builder.addStored(mixedData(500, 6), 0x1234); // no container under a compressed marker
    game.builder.addCompressed(mixedData(70000, 7));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    ASSERT_NE(game.import({{L"000001.data", mixedData(90000, 11)}}), L"");
    struct Stored {
        Error error;
        uint32_t length;
        std::wstring hash;
        bool compressed;
    };
    std::vector<uint32_t> all;
    for (uint32_t entry = 0; entry < 10; ++entry)
        all.push_back(entry);
    std::vector<Stored> decoded;
    ASSERT_TRUE(ReadOriginalMembers(game.request(), all, [&](const OriginalMember& m) {
                    decoded.push_back({m.status.error(), m.storedLength,
                                       m.status ? ModHash(m.stored, m.storedLength) : L"",
                                       m.compressed});
                }).ok());
    ASSERT_EQ(decoded.size(), all.size());
    // The workers share the entries in runs: any count tells the same, in the order asked.
    int compressed = 0;
    for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        SetWorkerCount(threads);
        std::vector<Stored> hashed;
        std::vector<uint32_t> told;
        ASSERT_TRUE(ReadOriginalMembers(
                        game.request(), all,
                        [&](const OriginalMember& m) {
                            EXPECT_EQ(m.data, nullptr);
                            told.push_back(m.entry);
                            hashed.push_back(
                                {m.status.error(), m.storedLength, m.storedHash, m.compressed});
                        },
                        OriginalForm::kStoredHash)
                        .ok());
        SetWorkerCount(0);
        EXPECT_EQ(told, all);
        ASSERT_EQ(hashed.size(), all.size());
        compressed = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            SCOPED_TRACE(i);
            const Error expected =
                decoded[i].error == Error::MemberUndecodable ? Error::None : decoded[i].error;
            EXPECT_EQ(hashed[i].error, expected);
            if (decoded[i].error != Error::None)
                continue;
            EXPECT_EQ(hashed[i].length, decoded[i].length);
            EXPECT_EQ(hashed[i].hash, decoded[i].hash);
            EXPECT_EQ(hashed[i].compressed, decoded[i].compressed);
            compressed += hashed[i].compressed;
        }
    }
    EXPECT_GE(compressed, 3);
}

INSTANTIATE_TEST_SUITE_P(Games, OriginalsEveryKind, ::testing::ValuesIn(allGameKinds()), kindName);

// ---- An archive over several files ----

// A 357 entry is held to the saved size of the file its split address names, not file 0's.
TEST(OriginalsMultiFile357, EachEntryIsHeldToItsOwnFilesSavedSize) {
    OriginalsGame game(kDataType357, true);
    game.builder.addRaw(mixedData(20000, 1));
    game.builder.startNextFile();
    game.builder.addRaw(mixedData(1000, 2));
    game.builder.addRaw(mixedData(1000, 3));
    game.write();
    const uint64_t small = readBytes(game.archivePath(1)).size();
    ASSERT_LT(small + 500, readBytes(game.archivePath(0)).size());
    game.setEntry(2, small, 500); // inside file 0's size, behind file 1's
    ASSERT_EQ(game.backup(), 0);
    const Originals originals = game.read({0, 1, 2});
    ASSERT_EQ(originals.outcomes.size(), 3u);
    EXPECT_EQ(originals.outcomes[0].data, mixedData(20000, 1));
    EXPECT_EQ(originals.outcomes[1].data, mixedData(1000, 2));
    EXPECT_TRUE(originals.outcomes[2] == failed(2, Error::OutsideSavedRegion, kBeyondSaved));
}

TEST(OriginalsMultiFile357, MissingLaterFileEndsTheRunAtItsFirstEntry) {
    OriginalsGame game(kDataType357, false);
    game.builder.addRaw(mixedData(300, 1));
    game.builder.startNextFile();
    game.builder.addRaw(mixedData(300, 2));
    game.builder.startNextFile();
    game.builder.addRaw(mixedData(300, 3));
    game.builder.addRaw(mixedData(300, 4));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    ASSERT_TRUE(platform::removeFile(game.archivePath(2)));
    const Originals originals = game.read({0, 1, 2, 3});
    EXPECT_EQ(originals.status.error(), Error::Stopped);
    ASSERT_EQ(originals.outcomes.size(), 3u);
    EXPECT_EQ(originals.outcomes[1].data, mixedData(300, 2));
    EXPECT_TRUE(originals.outcomes[2] ==
                failed(2, Error::ArchiveUnopened, L"打开 Voxbank 文件失败！"));
}

} // namespace
} // namespace karv::test
