// Index files of both layouts in both byte orders: loading, decoding, and hostile headers.
#include "archive_builder.h"
#include "karvcore/formats.h"
#include "karvcore/karvcore.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace karv::test {
namespace {

constexpr uint32_t kUnitUntouched = 0xDEADBEEF;

struct Loaded {
    uint32_t count = 0;
    bool tableNull = false;
    bool tableUntouched = false;
    Bytes table; // the first `tableBytes` bytes handed over
    uint32_t unit = kUnitUntouched;
    std::wstring message;
};

class IndexFiles : public ::testing::Test {
  protected:
    TempDir dir;

    Loaded loadBytes(int32_t dataType, const Bytes& file, bool bigEndian, size_t tableBytes) {
        std::wstring path = dir.file(L"索引.idx");
        EXPECT_TRUE(writeBytes(path, file));
        return load(dataType, path, bigEndian, tableBytes);
    }

    Loaded load(int32_t dataType, const std::wstring& path, bool bigEndian, size_t tableBytes) {
        SetMessageQX(L"(unchanged)");
        uint8_t sentinel = 0;
        uint8_t* table = &sentinel;
        Loaded l;
        l.count = LoadIndexData(dataType, path, table, &l.unit, bigEndian);
        l.tableNull = table == nullptr;
        l.tableUntouched = table == &sentinel;
        if (!l.tableNull && !l.tableUntouched) {
            l.table.assign(table, table + tableBytes);
            std::free(table);
        }
        l.message = GetMessageQX();
        return l;
    }
};

idxinfo decode(int32_t dataType, const Bytes& table, uint32_t unit, bool bigEndian,
               uint32_t entry) {
    idxinfo info;
    info.offset = 0xAAAA;
    GetIndexInfo(dataType, table.data(), unit, bigEndian, entry, &info);
    return info;
}

void expectInfo(const idxinfo& info, uint64_t offset, uint32_t size, uint32_t marker) {
    EXPECT_EQ(info.offset, offset);
    EXPECT_EQ(info.size, size);
    EXPECT_EQ(info.marker, marker);
}

// ---- 32-byte entries (357, 358 and any other type but 0 and 2) ----

TEST_F(IndexFiles, EntryTableLoadsAsStoredAndDecodesInBothOrders) {
    const std::vector<IndexEntry> entries = {
        {0x0000000123456789ull, 0x11223344, 0x38000800, 0x99},
        {0, 2, 0x43535442, 0},
        {0xFEDCBA9876543210ull, 0xFFFFFFFF, 1, 7},
    };
    for (bool bigEndian : {false, true}) {
        for (int32_t type : {1, 3, 7}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " bigEndian " << bigEndian);
            Bytes file = indexFile32(entries, bigEndian);
            // The words the decoder must not read.
            for (size_t e = 0; e < entries.size(); ++e)
                for (size_t at : {12, 20, 28})
                    file[32 * e + at] = 0xEE;
            Loaded l = loadBytes(type, file, bigEndian, file.size());
            ASSERT_EQ(l.count, 3u);
            EXPECT_EQ(l.table, file);
            EXPECT_EQ(l.unit, kUnitUntouched);
            EXPECT_EQ(l.message, L"(unchanged)");
            expectInfo(decode(type, l.table, 0, bigEndian, 0), 0x0000000123456789ull, 0x11223344,
                       0x38000800);
            expectInfo(decode(type, l.table, 0, bigEndian, 1), 0, 2, 0x43535442);
            expectInfo(decode(type, l.table, 0, bigEndian, 2), 0xFEDCBA9876543210ull, 0xFFFFFFFF,
                       1);
        }
    }
}

TEST_F(IndexFiles, EntryTableBytesAreReadInTheGivenOrder) {
    // 357 entry 0: offset bytes 00..07 = 01 02 .. 08, stored size bytes 00 00 10 00.
    Bytes file(32, 0);
    for (int i = 0; i < 8; ++i)
        file[i] = uint8_t(i + 1);
    file[18] = 0x10;
    file[24] = 1; // the import's compressed marker byte
    expectInfo(decode(1, file, 0, false, 0), 0x0807060504030201ull, 0x00100000, 1);
    expectInfo(decode(1, file, 0, true, 0), 0x0102030405060708ull, 0x00001000, 0x01000000);
}

TEST_F(IndexFiles, EntryTableCountIgnoresAPartialLastEntry) {
    Bytes file(100);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = uint8_t(i);
    Loaded l = loadBytes(1, file, false, 100);
    EXPECT_EQ(l.count, 3u);
    EXPECT_EQ(l.table, file); // the last 4 bytes stay in the table
}

TEST_F(IndexFiles, EntryTableShorterThanOneEntryHasNoEntries) {
    Bytes file(31, 0x5A);
    Loaded l = loadBytes(3, file, true, 31);
    EXPECT_EQ(l.count, 0u);
    EXPECT_EQ(l.table, file); // a table with 0 entries still belongs to the caller
    EXPECT_EQ(l.message, L"Index 文件中没有任何条目！");
}

TEST_F(IndexFiles, EntryTableThatCannotBeLoaded) {
    Loaded l = load(1, dir.file(L"missing.idx"), false, 0);
    EXPECT_EQ(l.count, 0u);
    EXPECT_TRUE(l.tableUntouched);
    EXPECT_EQ(l.message, L"加载 Index 文件失败！");
}

TEST_F(IndexFiles, DataTypeZeroIsRefusedBeforeTheFileIsTouched) {
    ASSERT_TRUE(writeBytes(dir.file(L"a.idx"), indexFile32({{1, 2, 3, 4}}, false)));
    Loaded l = load(0, dir.file(L"a.idx"), false, 0);
    EXPECT_EQ(l.count, 0u);
    EXPECT_TRUE(l.tableUntouched);
    EXPECT_EQ(l.unit, kUnitUntouched);
    EXPECT_EQ(l.message, L"错误的游戏数据类型！");
}

// ---- Z54: header and 16-byte entries ----

TEST_F(IndexFiles, Z54LoadsTheEntriesBehindTheHeaderInBothOrders) {
    const std::vector<IndexEntry> entries = {
        {3, 0x1000, 0x20000},
        {0x123456789ull, 77, 0},
        {0, 0, 0x38002000},
    };
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian);
        Bytes file = indexZ54(entries, 2048, bigEndian);
        // Header words 0 and 12 are not read.
        file[0] = file[3] = file[12] = file[15] = 0xEE;
        Loaded l = loadBytes(2, file, bigEndian, 48);
        ASSERT_EQ(l.count, 3u);
        EXPECT_EQ(l.unit, 2048u);
        EXPECT_EQ(l.table, Bytes(file.begin() + 16, file.end()));
        EXPECT_EQ(l.message, L"(unchanged)");
        expectInfo(decode(2, l.table, l.unit, bigEndian, 0), 6144, 0x1000, 0x20000);
        expectInfo(decode(2, l.table, l.unit, bigEndian, 1), 0x123456789ull * 2048, 77, 0);
        expectInfo(decode(2, l.table, l.unit, bigEndian, 2), 0, 0, 0x38002000);
    }
}

TEST_F(IndexFiles, Z54SizeBytesDependOnTheByteOrder) {
    Bytes table(16, 0);
    table[10] = 0x10; // size bytes 00 00 10 00
    EXPECT_EQ(decode(2, table, 2048, true, 0).size, 4096u);
    EXPECT_EQ(decode(2, table, 2048, false, 0).size, 1048576u);
}

TEST_F(IndexFiles, Z54OffsetsThatDoNotFitIn64BitsSaturate) {
    Bytes table =
        indexZ54({{uint64_t(1) << 53, 1, 0}, {(uint64_t(1) << 53) - 1, 1, 0}, {UINT64_MAX, 1, 0}},
                 2048, false);
    table.erase(table.begin(), table.begin() + 16);
    EXPECT_EQ(decode(2, table, 2048, false, 0).offset, UINT64_MAX);
    EXPECT_EQ(decode(2, table, 2048, false, 1).offset, UINT64_MAX - 2047);
    EXPECT_EQ(decode(2, table, 2048, false, 2).offset, UINT64_MAX);
    EXPECT_EQ(decode(2, table, 1, false, 2).offset, UINT64_MAX);
}

TEST_F(IndexFiles, Z54CountIsCutToTheEntriesTheFileHolds) {
    std::vector<IndexEntry> three = {{1, 10, 0}, {2, 20, 0}, {3, 30, 0}};
    Bytes file = indexZ54(three, 2048, true, 5);
    Loaded l = loadBytes(2, file, true, 48);
    EXPECT_EQ(l.count, 3u);
    EXPECT_EQ(l.table, Bytes(file.begin() + 16, file.end()));

    // A partial last entry is not counted.
    file.resize(file.size() - 8);
    l = loadBytes(2, file, true, 32);
    EXPECT_EQ(l.count, 2u);
    EXPECT_EQ(l.table, Bytes(file.begin() + 16, file.begin() + 48));
}

TEST_F(IndexFiles, Z54HugeCountMakesNoHugeTable) {
    Bytes file = indexZ54({{9, 99, 0}}, 16, false, 0xFFFFFFFF);
    Loaded l = loadBytes(2, file, false, 16);
    EXPECT_EQ(l.count, 1u);
    EXPECT_EQ(l.unit, 16u);
    expectInfo(decode(2, l.table, l.unit, false, 0), 144, 99, 0);
}

TEST_F(IndexFiles, Z54HeadersThatAreRefused) {
    struct Case {
        const char* what;
        Bytes file;
        const wchar_t* message;
    };
    Bytes unitZero = indexZ54({{1, 1, 0}}, 0, false);
    Bytes noEntries = indexZ54({}, 2048, false, 2);
    Bytes emptyIndex = indexZ54({}, 2048, false);
    Bytes shortHeader = indexZ54({}, 2048, false);
    shortHeader.resize(10);
    const Case cases[] = {
        {"offset unit 0", unitZero, L"读取 Index 文件出错！"},
        {"count but no entries", noEntries, L"读取 Index 文件出错！"},
        {"header shorter than 16 bytes", shortHeader, L"读取 Index 文件出错！"},
        {"empty file", {}, L"读取 Index 文件出错！"},
        {"count 0", emptyIndex, L"Index 文件中没有任何条目！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l = loadBytes(2, c.file, false, 0);
        EXPECT_EQ(l.count, 0u);
        EXPECT_TRUE(l.tableNull);
        EXPECT_EQ(l.unit, kUnitUntouched);
        EXPECT_EQ(l.message, c.message);
    }
}

TEST_F(IndexFiles, Z54IndexThatCannotBeOpened) {
    Loaded l = load(2, dir.file(L"missing.bin"), false, 0);
    EXPECT_EQ(l.count, 0u);
    EXPECT_TRUE(l.tableUntouched);
    EXPECT_EQ(l.message, L"打开 Index 文件失败！");
    l = load(2, dir.path(), false, 0); // a folder is not an index file
    EXPECT_EQ(l.message, L"打开 Index 文件失败！");
}

// The index at the start of a Z54 archive locates the members the builder placed behind it.
TEST_F(IndexFiles, Z54IndexInsideTheArchiveLocatesItsMembers) {
    for (bool bigEndian : {false, true}) {
        ArchiveBuilder b(kDataTypeZ54, bigEndian, 512);
        Bytes first(700, 0x11), second(5, 0x22);
        b.addRaw(first);
        b.addUnused();
        b.addRaw(second, kIdxMarkerRawTagged);
        Bytes archive = b.archive();
        Loaded l = loadBytes(2, archive, bigEndian, 48);
        ASSERT_EQ(l.count, 3u);
        EXPECT_EQ(l.unit, 512u);
        idxinfo a = decode(2, l.table, l.unit, bigEndian, 0);
        idxinfo c = decode(2, l.table, l.unit, bigEndian, 2);
        expectInfo(a, 512, 700, 0);
        expectInfo(c, 1536, 5, kIdxMarkerRawTagged);
        EXPECT_EQ(Bytes(archive.begin() + 512, archive.begin() + 1212), first);
        EXPECT_EQ(Bytes(archive.begin() + 1536, archive.begin() + 1541), second);
    }
}

} // namespace
} // namespace karv::test
