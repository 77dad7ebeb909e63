// The archive engine's own types: the container table (each row agrees with what its codec
// writes), the index table (bounds, both layouts, and entries byte for byte as the builders
// lay them out), the packed-blob writer, and the statuses and outcomes of the import's write
// component.
#include "archive_test_game.h"
#include "container_builders.h"
#include "karvcore/archive.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "karvcore/packed_blob.h"

#include <gtest/gtest.h>

#include <cstring>

namespace karv::test {
namespace {

struct Compressed {
    MallocBuffer bytes;
    uint32_t used = 0;
    uint32_t padded = 0;
    int32_t status = -1;
};

Compressed compressWith(const ContainerKind& kind, const Bytes& input, uint32_t chunkSize,
                        bool bigEndian) {
    Compressed c;
    uint8_t* out = nullptr;
    c.status = kind.compress(out, input.data(), uint32_t(input.size()), &c.used, &c.padded,
                             chunkSize, bigEndian, 6);
    c.bytes.reset(out);
    return c;
}

Bytes sampleData(size_t length) {
    Bytes data(length);
    for (size_t i = 0; i < length; ++i)
        data[i] = uint8_t(i * 7 + i / 1000);
    return data;
}

// ---- The container table ----

TEST(ContainerKinds, EachRowAgreesWithItsCodecAndItsNames) {
    for (int32_t type : {kDataType357, kDataTypeZ54, kDataType358}) {
        const ContainerKind* kind = FindContainerKind(type);
        ASSERT_NE(kind, nullptr);
        EXPECT_EQ(kind->dataType, type);
        EXPECT_EQ(FindContainerKindByName(kind->name), kind);
        // Each module has its own copy of the layouts: compare what they say.
        EXPECT_EQ(kind->index->entrySize, IndexLayoutFor(type).entrySize);
        EXPECT_EQ(kind->index->inArchive, IndexLayoutFor(type).inArchive);
        EXPECT_EQ(AppendAlignmentFor(type), kind->alignment);
        for (bool bigEndian : {false, true}) {
            // A chunk size other than the row's shows which kinds take it from the caller.
            const Bytes input = sampleData(3 * kind->chunkSize / 2 + 5);
            Compressed c = compressWith(*kind, input, kind->chunkSize / 2, bigEndian);
            ASSERT_EQ(c.status, 0);
            EXPECT_EQ(c.padded, alignedTo(c.used, kind->alignment)) << kind->name;
            if (kind->chunkSizeAt != kNoField) {
                const Bytes header(c.bytes.get(), c.bytes.get() + kind->chunkSizeAt + 4);
                EXPECT_EQ(u32At(header, kind->chunkSizeAt, bigEndian), kind->chunkSize / 2);
            }
            EXPECT_TRUE(HasContainerMagic(*kind, c.bytes.get(), c.used, bigEndian));
            uint8_t* out = nullptr;
            uint32_t length = 0;
            ASSERT_EQ(kind->decompress(out, c.bytes.get(), c.padded, &length, bigEndian), 0);
            MallocBuffer owned(out);
            EXPECT_EQ(Bytes(out, out + length), input);
        }
    }
    EXPECT_EQ(FindContainerKind(kDataTypeNone), nullptr);
    EXPECT_EQ(FindContainerKind(4), nullptr);
    EXPECT_EQ(FindContainerKindByName(L"z54"), nullptr);
    EXPECT_EQ(AppendAlignmentFor(kDataTypeNone), AppendAlignmentFor(kDataType357));
    EXPECT_TRUE(ArchiveSpansFiles(kDataType357));
    EXPECT_FALSE(ArchiveSpansFiles(kDataTypeZ54) || ArchiveSpansFiles(kDataType358));
}

TEST(ContainerKinds, TheMagicIsRecognisedInTheOrdersAContainerMayCarryIt) {
    const ContainerKind& f358 = *FindContainerKind(kDataType358);
    const uint8_t written[] = {0x7A, 0x70, 0x31, 0x00};
    const uint8_t asBigEndianNumber[] = {0x00, 0x31, 0x70, 0x7A};
    EXPECT_TRUE(HasContainerMagic(f358, written, 4, false));
    EXPECT_TRUE(HasContainerMagic(f358, written, 4, true));
    EXPECT_TRUE(HasContainerMagic(f358, asBigEndianNumber, 4, true));
    EXPECT_FALSE(HasContainerMagic(f358, asBigEndianNumber, 4, false));
    EXPECT_FALSE(HasContainerMagic(f358, written, 3, false));
    EXPECT_TRUE(HasContainerMagic(*FindContainerKind(kDataType357), written, 0, false));
    EXPECT_EQ(f358.defaultChunkSize(262144), 262144u);
    EXPECT_EQ(f358.defaultChunkSize(262145), 524288u);
}

// ---- The index table ----

TEST(IndexTable, NewEntriesAreWhatTheBuildersLayOut) {
    for (bool bigEndian : {false, true}) {
        const std::vector<IndexEntry> entries = {{0, 300, kIdxMarkerRaw, 300},
                                                 {4, 120, kIdxMarkerUnusedA, 0}};
        IndexTable table32;
        ASSERT_TRUE(IndexTable::create(kIndexLayout32, bigEndian, 2, 0, table32));
        IndexTable tableZ54;
        ASSERT_TRUE(IndexTable::create(kIndexLayoutZ54, bigEndian, 2, 2048, tableZ54));
        for (uint32_t i = 0; i < 2; ++i) {
            const IndexEntry& e = entries[i];
            EXPECT_TRUE(table32.set(i, {e.offset, e.decompressedSize, e.storedSize, e.marker}));
            EXPECT_TRUE(tableZ54.set(i, {e.offset * 2048, 0, e.storedSize, e.marker}));
        }
        Bytes index32(table32.entries(), table32.entries() + table32.entriesLength());
        EXPECT_EQ(index32, indexFile32(entries, bigEndian));
        Bytes indexz = tableZ54.header();
        indexz.insert(indexz.end(), tableZ54.entries(),
                      tableZ54.entries() + tableZ54.entriesLength());
        EXPECT_EQ(indexz, indexZ54(entries, 2048, bigEndian));

        idxinfo info;
        ASSERT_TRUE(tableZ54.entry(1, info));
        EXPECT_EQ(info.offset, 4u * 2048);
        EXPECT_EQ(info.marker, kIdxMarkerUnusedA);
        EXPECT_FALSE(tableZ54.entry(2, info));
        EXPECT_EQ(tableZ54.entryBytes(2), nullptr);
        EXPECT_FALSE(tableZ54.store(2, Bytes(16)));
        EXPECT_FALSE(tableZ54.store(1, Bytes(32)));
        EXPECT_EQ(tableZ54.filePosition(3), 16u + 48);
        EXPECT_EQ(table32.filePosition(3), 96u);
    }
}

TEST(IndexTable, TheImportMarksACompressedMemberAsEachLayoutReadsIt) {
    for (bool bigEndian : {false, true}) {
        IndexTable table32, tableZ54;
        ASSERT_TRUE(IndexTable::create(kIndexLayout32, bigEndian, 1, 0, table32));
        ASSERT_TRUE(IndexTable::create(kIndexLayoutZ54, bigEndian, 1, 16, tableZ54));
        // The flag is the first marker byte, whatever the byte order.
        Bytes entry = table32.encode({0, 10, 6, table32.importMarker(true, 10, 6, 0)});
        EXPECT_EQ(sliceOf(entry, 24, 8), Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(table32.importMarker(false, 10, 12, 0), table32.importMarker(true, 10, 6, 0));
        EXPECT_EQ(table32.importMarker(false, 10, 10, kIdxMarkerRawTagged), kIdxMarkerRaw);
        EXPECT_EQ(tableZ54.importMarker(true, 1000, 6, 0), 1000u);
        EXPECT_EQ(tableZ54.importMarker(false, 10, 10, kIdxMarkerRawTagged), kIdxMarkerRawTagged);
        // Offsets in units drop a remainder; the unit comes from the table.
        idxinfo back = tableZ54.decode(tableZ54.encode({100, 0, 5, 0}).data());
        EXPECT_EQ(back.offset, 96u);
    }
}

TEST(IndexTable, EachRefusalOfALoadHasItsOwnCode) {
    TempDir dir;
    const std::wstring path = dir.path() + kSep + L"index";
    auto loadZ54 = [&](const Bytes& bytes) {
        writeBytes(path, bytes);
        IndexTable table;
        return IndexTable::load(kIndexLayoutZ54, path, false, table).error();
    };
    EXPECT_EQ(loadZ54(Bytes(10)), Error::IndexHeaderUnreadable);
    EXPECT_EQ(loadZ54(indexZ54({{1, 5, 0, 0}}, 0, false)), Error::IndexUnitZero);
    EXPECT_EQ(loadZ54(indexZ54({}, 2048, false)), Error::IndexDeclaredEmpty);
    EXPECT_EQ(loadZ54(indexZ54({}, 2048, false, 5)), Error::IndexHoldsNoEntry);
    EXPECT_EQ(loadZ54(indexZ54({{1, 5, 0, 0}}, 2048, false, 7)), Error::None);

    IndexTable table;
    Status missing = IndexTable::load(kIndexLayoutZ54, path + L"x", false, table);
    EXPECT_EQ(missing.error(), Error::IndexUnopened);
    EXPECT_EQ(missing.message(), L"打开 Index 文件失败！");
    EXPECT_EQ(IndexTable::load(kIndexLayout32, path + L"x", false, table).error(),
              Error::IndexUnloadable);
    writeBytes(path, Bytes(31));
    ASSERT_TRUE(IndexTable::load(kIndexLayout32, path, false, table));
    EXPECT_EQ(table.count(), 0u);
}

// ---- The packed-blob writer ----

TEST(PackedBlobWriter, RefusesWhatTheListingDidNotPromise) {
    PackedBlobWriter blob;
    ASSERT_TRUE(blob.start({5, 7}));
    const Bytes five = {1, 2, 3, 4, 5};
    EXPECT_EQ(blob.add(sampleData(6).data(), 6).error(), Error::SubFileGrew);
    ASSERT_TRUE(blob.add(five.data(), 5));
    ASSERT_TRUE(blob.add(five.data(), 3));
    EXPECT_EQ(blob.add(five.data(), 1).error(), Error::TooManySubFiles);
    // Sized from the listing: the short second file leaves zeros up to its listed size.
    EXPECT_EQ(blob.length(), 20u + 8 + 8);
    uint32_t start = 0, size = 0;
    ASSERT_EQ(GetData_Offset(blob.data(), blob.length(), 1, &start, &size, false), 0);
    EXPECT_EQ(start, 25u);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(PackedBlobWriter().start({UINT32_MAX, 8}).error(), Error::TooLarge);
}

// ---- The import's write component ----

ImportRequest requestFor(const TestGame& game) {
    game.select();
    const cli::ArchiveSelection& s = cli::archiveSelection;
    ImportRequest request;
    request.dataType = s.dataType;
    request.bigEndian = s.bigEndian;
    request.blockAlignment = s.blockAlignment;
    request.link = s.linkinfo;
    request.archivePath = s.archivePath;
    request.importFolder = s.importDir;
    return request;
}

TEST(ArchiveImport, SetupRefusalsCarryTheirCodes) {
    TestGame game(kDataType357, false);
    game.builder.addRaw(sampleData(100));
    game.write();
    ImportRequest request = requestFor(game);
    EXPECT_EQ(ArchiveImport(request).open().error(), Error::BackupUnloadable);
    ASSERT_EQ(game.backup(), 0);
    EXPECT_TRUE(ArchiveImport(request).open());

    ImportRequest tooMany = request;
    tooMany.link.fileCount = kMaxArchiveFiles + 1;
    EXPECT_EQ(ArchiveImport(tooMany).open().error(), Error::TooManyFiles);
    ImportRequest noType = request;
    noType.dataType = kDataTypeNone;
    EXPECT_EQ(ArchiveImport(noType).open().error(), Error::BadDataType);
    ImportRequest noIndex = request;
    noIndex.link.indexPath += L"x";
    EXPECT_EQ(ArchiveImport(noIndex).open().error(), Error::IndexUnloadable);

    // Not opened: nothing to run.
    EXPECT_EQ(ArchiveImport(request).run({{L"0.data", 0}}, [](const ImportEvent&) {}).error(),
              Error::Stopped);
}

TEST(ArchiveImport, OutcomesComeInOrderWithWhatThePrinterNeeds) {
    TestGame game(kDataTypeZ54, true);
    game.builder.addCompressed(sampleData(5000));
    game.builder.addUnused();
    game.write();
    ASSERT_EQ(game.backup(), 0);
    game.putImportFile(L"0.data", sampleData(3000));
    ArchiveImport import(requestFor(game));
    ASSERT_TRUE(import.open());
    std::vector<ImportEvent> events;
    auto keep = [&](const ImportEvent& event) { events.push_back(event); };
    const std::vector<ImportFile> files = {
        {L"0.data", 0}, {L"1.data", 1}, {L"9.data", 9}, {L"000000.data", 0}};
    // A file that cannot be opened ends the run.
    EXPECT_EQ(import.run(files, keep).error(), Error::Stopped);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, ImportEvent::kImported);
    EXPECT_TRUE(events[0].compressed && !events[0].inPlace);
    EXPECT_EQ(events[1].kind, ImportEvent::kEntryUnused);
    EXPECT_EQ(events[2].kind, ImportEvent::kEntryBeyondIndex);
    EXPECT_EQ(events[2].file, L"9.data");
    EXPECT_EQ(events[3].kind, ImportEvent::kFileUnopened);
    EXPECT_EQ(events[3].file, L"000000.data");

    // The next file for entry 0 finds the region the first one appended.
    events.clear();
    game.putImportFile(L"000000.data", sampleData(3000));
    ASSERT_TRUE(import.run({{L"000000.data", 0}}, keep));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].compressed && events[0].inPlace);
}

} // namespace
} // namespace karv::test
