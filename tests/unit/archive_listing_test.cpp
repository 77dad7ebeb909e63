// The archive listing: each entry's place, storage, size, magic and content from its head only,
// for every data type and byte order; texture containers and packed blobs with the textures in
// their heads; damaged members listed as such while the listing goes on; 357 over several files;
// the packed-blob rule on hand-made heads.
#include "archive_test_game.h"
#include "container_builders.h"
#include "g1t_builder.h"
#include "karvcore/archive.h"
#include "karvcore/packed_blob.h"
#include "karvcore/tuning.h"

#include <gtest/gtest.h>

#include <tuple>

namespace karv::test {
namespace {

using Content = ListedEntry::Content;

ArchiveRequest requestFor(const TestGame& game) {
    game.select();
    ArchiveRequest request;
    request.dataType = game.dataType();
    request.bigEndian = game.bigEndian();
    request.link = cli::archiveSelection.linkinfo;
    request.archivePath = game.archivePath(0);
    return request;
}

std::vector<ListedEntry> listAll(const TestGame& game) {
    std::vector<ListedEntry> entries;
    Status status =
        ListArchive(requestFor(game), [&](const ListedEntry& e) { entries.push_back(e); });
    EXPECT_TRUE(status.ok()) << int(status.error());
    return entries;
}

Bytes magicOf(const ListedEntry& e) {
    return Bytes(e.magic, e.magic + e.magicLength);
}

void expectTexture(const ListedTexture& t, uint32_t subFile, uint32_t texture,
                   const std::wstring& format, uint32_t width, uint32_t height, uint32_t mipmaps) {
    EXPECT_EQ(t.subFile, subFile);
    EXPECT_EQ(t.texture, texture);
    EXPECT_EQ(t.format, format);
    EXPECT_EQ(t.width, width);
    EXPECT_EQ(t.height, height);
    EXPECT_EQ(t.mipmaps, mipmaps);
}

// ---- Every data type and byte order ----

class ListEveryKind : public ::testing::TestWithParam<GameKind> {
  protected:
    ListEveryKind() : game(GetParam().dataType, GetParam().bigEndian) {}
    TestGame game;
};

TEST_P(ListEveryKind, TellsEachEntrysPlaceStorageSizeMagicAndContent) {
    const bool be = game.bigEndian();
    const Bytes raw = mixedData(3000, 1);
    G1tBuilder textures(be);
    textures.add(kG1tDxt5, 4, 4, 3);
    textures.add(kG1tArgb, 2, 3);
    G1tBuilder inner1(be);
    inner1.add(kG1tDxt1, 3, 3);
    G1tBuilder inner3(be);
    inner3.add(kG1tBc7, 2, 2);
    inner3.add(kG1tDxt3, 3, 2);
    const Bytes blob =
        packedBlob({mixedData(64, 1), inner1.build(), mixedData(16, 2), inner3.build()}, be);
    ByteWriter recordLike(be); // first word 0, second 4: no blob of no sub-files
    recordLike.u32(0).u32(4).u32(9).u32(1);
    ByteWriter shortTable(be); // a count of 2 whose table would end behind the member
    shortTable.u32(2).u32(20).u32(7);

    game.builder.addRaw(raw);                       // 0
    game.builder.addCompressed(textures.build());   // 1
    game.builder.addCompressed(blob);               // 2
    game.builder.addUnused(kIdxMarkerUnusedB, 100); // 3
    game.builder.addRaw({0x47, 0x54, 0x31});        // 4
    game.builder.addRaw(shortTable.bytes());        // 5
    game.builder.addCompressed({0x5A, 0xA5});       // 6
    game.builder.addRaw(recordLike.bytes());        // 7
    game.builder.addRaw(blob, kIdxMarkerRawTagged); // 8
    game.write();

    const std::vector<ListedEntry> entries = listAll(game);
    ASSERT_EQ(entries.size(), 9u);
    const ContainerKind* kind = FindContainerKind(game.dataType());
    for (uint32_t n = 0; n < entries.size(); ++n) {
        SCOPED_TRACE(n);
        const ListedEntry& e = entries[n];
        EXPECT_EQ(e.entry, n);
        EXPECT_EQ(e.file, 0);
        EXPECT_EQ(e.offset, game.entryOffset(n));
        EXPECT_EQ(e.stored, game.entryStoredSize(n));
        EXPECT_EQ(e.used, n != 3);
        if (e.used) {
            EXPECT_EQ(e.storage, (n == 1 || n == 2 || n == 6) ? kind : nullptr);
        }
    }
    EXPECT_EQ(entries[0].content, Content::Other);
    EXPECT_EQ(entries[0].size, 3000u);
    EXPECT_EQ(magicOf(entries[0]), slice(raw, 0, 4));

    const ListedEntry& texture = entries[1];
    EXPECT_EQ(texture.content, Content::Texture);
    EXPECT_EQ(texture.size, textures.size());
    EXPECT_EQ(magicOf(texture), slice(textures.build(), 0, 4));
    EXPECT_EQ(texture.textureCount, 2u);
    ASSERT_EQ(texture.textures.size(), 2u);
    expectTexture(texture.textures[0], 0, 0, L"DXT5", 16, 16, 3);
    expectTexture(texture.textures[1], 0, 1, L"ARGB", 4, 8, 1);

    for (uint32_t n : {2u, 8u}) {
        SCOPED_TRACE(n);
        const ListedEntry& e = entries[n];
        EXPECT_EQ(e.content, Content::Blob);
        EXPECT_EQ(e.size, blob.size());
        EXPECT_EQ(e.subFiles, 4u);
        ASSERT_EQ(e.textures.size(), 3u);
        expectTexture(e.textures[0], 1, 0, L"DXT1", 8, 8, 1);
        expectTexture(e.textures[1], 3, 0, L"BC7", 4, 4, 1);
        expectTexture(e.textures[2], 3, 1, L"DXT3", 8, 4, 1);
    }
    EXPECT_EQ(entries[4].content, Content::Other);
    EXPECT_EQ(magicOf(entries[4]), (Bytes{0x47, 0x54, 0x31}));
    EXPECT_EQ(entries[5].content, Content::Other);
    EXPECT_EQ(entries[6].content, Content::Other);
    EXPECT_EQ(entries[6].size, 2u);
    EXPECT_EQ(magicOf(entries[6]), (Bytes{0x5A, 0xA5}));
    EXPECT_EQ(entries[7].content, Content::Other);
    EXPECT_EQ(entries[7].subFiles, 0u);
}

// Only what lies in the head is described: a sub-file behind the first 64 KiB is counted, a
// texture whose header lies behind them is not described.
TEST_P(ListEveryKind, DescribesOnlyWhatLiesInTheHead) {
    const bool be = game.bigEndian();
    G1tBuilder late(be);
    late.add(kG1tDxt1, 2, 2);
    game.builder.addCompressed(packedBlob({mixedData(70000, 3), late.build()}, be));
    G1tBuilder large(be);
    large.add(kG1tArgb, 8, 8); // 256 KiB of pixels
    large.add(kG1tBc4, 5, 4);
    game.builder.addRaw(large.build());
    game.builder.addCompressed(large.build());
    game.write();

    const std::vector<ListedEntry> entries = listAll(game);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].content, Content::Blob);
    EXPECT_EQ(entries[0].subFiles, 2u);
    EXPECT_TRUE(entries[0].textures.empty());
    for (uint32_t n : {1u, 2u}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(entries[n].content, Content::Texture);
        EXPECT_EQ(entries[n].size, large.size());
        EXPECT_EQ(entries[n].textureCount, 2u);
        ASSERT_EQ(entries[n].textures.size(), 1u);
        expectTexture(entries[n].textures[0], 0, 0, L"ARGB", 256, 256, 1);
    }
}

// Each damaged member says why, and the members around it are listed as usual.
TEST_P(ListEveryKind, DamagedMembersAreListedAndTheListingGoesOn) {
    const Bytes broken = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x11, 0x22, 0x33};
    const Bytes corrupt = handMadeContainer(game, 50, broken);
    // The first chunk's record (4 + 61 bytes behind the table or the total) reaches behind the
    // container's end.
    Bytes cut = handMadeContainer(game, 50, storedStream(Bytes(50, 7)));
    const size_t recordAt = game.dataType() == kDataType357   ? 128
                            : game.dataType() == kDataType358 ? 2048
                                                              : 4;
    cut.resize(recordAt + 65 - 8);
    // A 16-byte member of the 357 or 358 kind claiming 100000 chunks; a Z54 record length
    // that runs behind the end.
    ByteWriter lying(game.bigEndian());
    if (game.dataType() == kDataType357)
        lying.u32(65536).u32(100000).u32(40).u32(0);
    else if (game.dataType() == kDataType358)
        lying.raw({0x7A, 0x70, 0x31, 0x00}).u32(40).u32(65536).u32(100000);
    else
        lying.u32(40).u32(0x7FFFFFF0).u32(0).u32(0);

    game.builder.addRaw(Bytes(10, 1));
    game.builder.addStored(corrupt, compressedMarker(game, 50), 50);
    game.builder.addStored(cut, compressedMarker(game, 50), 50);
    game.builder.addStored(lying.bytes(), compressedMarker(game, 40), 40);
    game.builder.addEntry({uint64_t(1) << 30, 100, kIdxMarkerRaw, 100}); // behind the file's end
    game.builder.addRaw(Bytes(20, 2));
    game.write();

    const std::vector<ListedEntry> entries = listAll(game);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].content, Content::Other);
    for (uint32_t n : {1u, 2u, 3u}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(entries[n].content, Content::Damaged);
        EXPECT_EQ(entries[n].damage, L"数据解压失败！");
        EXPECT_EQ(entries[n].storage, FindContainerKind(game.dataType()));
    }
    EXPECT_EQ(entries[1].size, 50u);
    EXPECT_EQ(entries[4].content, Content::Damaged);
    EXPECT_EQ(entries[4].damage, L"文件数据超出了 Voxbank 文件的范围！");
    EXPECT_EQ(entries[5].content, Content::Other);
    EXPECT_EQ(magicOf(entries[5]), Bytes(4, 2));
}

INSTANTIATE_TEST_SUITE_P(Games, ListEveryKind, ::testing::ValuesIn(allGameKinds()), kindName);

// ---- Data types, files and failures ----

TEST(ListArchive, ContainerWithoutItsMagicIsDamaged) {
    TestGame game(kDataType358, true);
    Bytes container = compressMember(kDataType358, mixedData(500, 4), true);
    container[1] = 0x71;
    game.builder.addStored(container, 1u << 24, 500);
    // Big-endian data may carry the magic reversed.
    Bytes reversed = compressMember(kDataType358, mixedData(500, 5), true);
    std::reverse(reversed.begin(), reversed.begin() + 4);
    game.builder.addStored(reversed, 1u << 24, 500);
    game.write();
    const std::vector<ListedEntry> entries = listAll(game);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].content, Content::Damaged);
    EXPECT_EQ(entries[0].damage, L"压缩数据头有误！");
    EXPECT_EQ(entries[1].content, Content::Other);
    EXPECT_EQ(magicOf(entries[1]), slice(mixedData(500, 5), 0, 4));
}

// Three archive files split at entries 3 and 5: each entry names its file and the offset in it.
TEST(ListArchive, MultiFile357NamesEachEntrysFile) {
    TestGame game(kDataType357, false);
    for (uint32_t entry = 0; entry < 7; ++entry) {
        if (entry == 3 || entry == 5)
            game.builder.startNextFile();
        if (entry % 2 == 0)
            game.builder.addCompressed(mixedData(100 + entry, entry));
        else
            game.builder.addRaw(mixedData(100 + entry, entry));
    }
    game.write();
    const std::vector<ListedEntry> entries = listAll(game);
    ASSERT_EQ(entries.size(), 7u);
    const int32_t files[] = {0, 0, 0, 1, 1, 2, 2};
    for (uint32_t n = 0; n < 7; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(entries[n].file, files[n]);
        EXPECT_EQ(entries[n].offset, game.entryOffset(n));
        EXPECT_EQ(entries[n].size, 100 + n);
        EXPECT_EQ(magicOf(entries[n]), slice(mixedData(100 + n, n), 0, 4));
    }
}

TEST(ListArchive, LaterArchiveFileThatCannotBeOpenedDamagesItsEntriesOnly) {
    TestGame game(kDataType357, true);
    game.builder.addRaw(Bytes(30, 1));
    game.builder.startNextFile();
    game.builder.addRaw(Bytes(30, 2));
    game.builder.addRaw(Bytes(30, 3));
    game.builder.startNextFile();
    game.builder.addRaw(Bytes(30, 4));
    game.write();
    ASSERT_TRUE(platform::removeFile(game.archivePath(1)));
    const std::vector<ListedEntry> entries = listAll(game);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].content, Content::Other);
    EXPECT_EQ(entries[1].content, Content::Damaged);
    EXPECT_EQ(entries[1].damage, L"打开 Voxbank 文件失败！");
    EXPECT_EQ(entries[2].content, Content::Damaged);
    EXPECT_EQ(entries[3].content, Content::Other);
    EXPECT_EQ(magicOf(entries[3]), Bytes(4, 4));
}

TEST(ListArchive, FailuresBeforeTheFirstEntryListNothing) {
    TestGame game(kDataType358, false);
    game.builder.addRaw(Bytes(12, 7));
    game.write();
    ArchiveRequest request = requestFor(game);
    size_t calls = 0;
    auto count = [&](const ListedEntry&) { ++calls; };

    ArchiveRequest missing = request;
    missing.link.fileNames[0] += L".gone";
    EXPECT_EQ(ListArchive(missing, count).error(), Error::ArchiveUnopened);
    ArchiveRequest noType = request;
    noType.dataType = kDataTypeNone;
    EXPECT_EQ(ListArchive(noType, count).error(), Error::BadDataType);
    ArchiveRequest noIndex = request;
    noIndex.link.indexPath += L".gone";
    EXPECT_EQ(ListArchive(noIndex, count).error(), Error::IndexUnloadable);
    ArchiveRequest tooMany = request;
    tooMany.dataType = kDataType357;
    tooMany.link.fileCount = 11;
    EXPECT_EQ(ListArchive(tooMany, count).error(), Error::TooManyFiles);
    EXPECT_EQ(calls, 0u);
}

// The listing works on the calling thread alone: the worker count changes nothing.
TEST(ListArchive, SameEntriesForAnyWorkerCount) {
    TestGame game(kDataTypeZ54, false);
    G1tBuilder textures(false);
    textures.add(kG1tDxt1, 5, 5);
    for (uint32_t n = 0; n < 12; ++n) {
        if (n % 3 == 0)
            game.builder.addCompressed(textures.build());
        else
            game.builder.addCompressed(mixedData(40000 + n, n));
    }
    game.write();
    auto summary = [&] {
        std::vector<std::tuple<Content, uint32_t, Bytes, size_t>> out;
        for (const ListedEntry& e : listAll(game))
            out.emplace_back(e.content, e.size, magicOf(e), e.textures.size());
        return out;
    };
    SetWorkerCount(1);
    const auto one = summary();
    SetWorkerCount(3);
    const auto three = summary();
    SetWorkerCount(0);
    EXPECT_EQ(one, three);
    EXPECT_EQ(std::get<0>(one[0]), Content::Texture);
}

// ---- The packed-blob rule ----

// Heap copies of exactly the head's bytes, so a read past them trips the sanitizers.
bool recognise(const Bytes& head, uint32_t length, bool bigEndian, PackedBlobTable& table) {
    std::vector<uint8_t> copy(head);
    return RecognisePackedBlob(copy.data(), uint32_t(copy.size()), length, bigEndian, table);
}

TEST(PackedBlobRule, RecognisesBothLayoutsAndLocatesTheirSubFiles) {
    for (bool be : {false, true}) {
        SCOPED_TRACE(be);
        const Bytes pairs = packedBlob({Bytes(5, 1), Bytes(0), Bytes(9, 2)}, be);
        PackedBlobTable table;
        ASSERT_TRUE(recognise(pairs, uint32_t(pairs.size()), be, table));
        EXPECT_EQ(table.count, 3u);
        EXPECT_TRUE(table.pairs);
        uint32_t start = 0, size = 0;
        ASSERT_TRUE(PackedBlobSubFile(pairs.data(), table, be, 2, start, size));
        EXPECT_EQ(start, 28u + 5u);
        EXPECT_EQ(size, 9u);
        EXPECT_FALSE(PackedBlobSubFile(pairs.data(), table, be, 3, start, size));

        // Offset only: three sub-files, starts 12 and 20; the last has no start.
        ByteWriter offsets(be);
        offsets.u32(3).u32(12).u32(20).raw(Bytes(8, 3)).raw(Bytes(10, 4));
        ASSERT_TRUE(recognise(offsets.bytes(), 30, be, table));
        EXPECT_FALSE(table.pairs);
        ASSERT_TRUE(PackedBlobSubFile(offsets.bytes().data(), table, be, 0, start, size));
        EXPECT_EQ(start, 12u);
        EXPECT_EQ(size, 8u);
        ASSERT_TRUE(PackedBlobSubFile(offsets.bytes().data(), table, be, 1, start, size));
        EXPECT_EQ(start, 20u);
        EXPECT_EQ(size, 10u); // to the end of the member
        EXPECT_FALSE(PackedBlobSubFile(offsets.bytes().data(), table, be, 2, start, size));
    }
}

TEST(PackedBlobRule, RefusesHeadsWhoseTableSaysAnythingElse) {
    const bool be = false;
    auto words = [&](std::initializer_list<uint32_t> values) {
        ByteWriter w(be);
        for (uint32_t v : values)
            w.u32(v);
        return w.bytes();
    };
    PackedBlobTable table;
    struct Case {
        const char* what;
        Bytes head;
        uint32_t length;
    };
    const Case cases[] = {
        {"no sub-file", words({0, 4, 0, 0}), 16},
        {"too many", words({0x10001, 0x80010, 0, 0}), 0x100000},
        {"shorter than two words", Bytes{1, 0, 0, 0, 12, 0}, 6},
        {"first value no table end", words({2, 16, 0, 0, 0}), 40},
        {"table behind the head", words({2, 20, 20, 0}), 40},
        {"sub-file inside the table", words({2, 20, 0, 12, 0}), 40},
        {"sub-file behind the member", words({1, 12, 9, 0}), 20},
        {"size that wraps", words({1, 12, 0xFFFFFFFF, 0}), 20},
        {"offset only with one sub-file", words({1, 4, 0}), 12},
        {"offset-only starts that fall", words({3, 12, 11, 0, 0}), 40},
        {"offset-only start behind the member", words({3, 12, 50, 0}), 40},
        {"head longer than the member", words({1, 12, 12, 0}), 8},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(recognise(c.head, c.length, be, table)) << c.what;
    // A sub-file that ends exactly at the member's end, and an empty one there, are inside.
    EXPECT_TRUE(recognise(words({2, 20, 8, 28, 0, 7, 7}), 28, be, table));
}

} // namespace
} // namespace karv::test
