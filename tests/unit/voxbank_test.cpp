// The archive reader through its interface, on archives of every data type and byte order that
// the tests lay out: raw, compressed and unused members, corrupt ones, members cut short by the
// end of the file, failed reads, and switching to another archive.
#include "archive_builder.h"
#include "karvcore/karvcore.h"
#include "platform/file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace karv::test {
namespace {

using platform::File;
using platform::OpenMode;

constexpr uint32_t kLengthUntouched = 0xDEADBEEF;
const wchar_t* const kUnchanged = L"(unchanged)";

Bytes pattern(size_t length, uint32_t seed) {
    Bytes out(length);
    uint32_t state = seed;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        // Runs that compress well alternate with runs that do not.
        out[i] = (i / 5000) % 2 ? uint8_t(state >> 24) : uint8_t("member bytes "[i % 13]);
    }
    return out;
}

struct Member {
    int32_t status = 0;
    bool dataNull = false;
    bool dataUntouched = false;
    Bytes data;
    uint32_t length = kLengthUntouched;
    std::wstring message;
};

Member read(VoxbankQX& reader, const File& archive, uint32_t entry, bool force = false) {
    SetMessageQX(kUnchanged);
    uint8_t sentinel = 0;
    uint8_t* data = &sentinel;
    Member m;
    m.status = reader.ReadMember(archive.native(), entry, data, &m.length, force);
    m.dataNull = data == nullptr;
    m.dataUntouched = data == &sentinel;
    if (m.status == 0 && !m.dataNull && !m.dataUntouched) {
        m.data.assign(data, data + m.length);
        std::free(data);
    }
    m.message = GetMessageQX();
    return m;
}

void expectMember(const Member& m, const Bytes& expected) {
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.length, expected.size());
    EXPECT_TRUE(m.data == expected);
    EXPECT_EQ(m.message, kUnchanged);
}

void expectRefused(const Member& m, int32_t status, const std::wstring& message) {
    EXPECT_EQ(m.status, status);
    EXPECT_EQ(m.message, message);
    EXPECT_EQ(m.length, kLengthUntouched);
}

using Reader = std::unique_ptr<VoxbankQX>;

struct Flavour {
    int32_t dataType;
    bool bigEndian;
};

class ArchiveReader : public ::testing::TestWithParam<Flavour> {
  protected:
    TempDir dir;
    int32_t type() const { return GetParam().dataType; }
    bool be() const { return GetParam().bigEndian; }
    ArchiveBuilder builder() const { return ArchiveBuilder(type(), be(), 2048); }

    // Writes the archive (cut to `archiveLength` when given) and its index; a Z54 archive is
    // its own index.
    std::wstring indexPath() const {
        return type() == kDataTypeZ54 ? dir.file(L"数据.bin") : dir.file(L"数据.idx");
    }
    File open(const ArchiveBuilder& b, size_t archiveLength = SIZE_MAX) {
        Bytes archive = b.archive();
        if (archiveLength < archive.size())
            archive.resize(archiveLength);
        EXPECT_TRUE(writeBytes(dir.file(L"数据.bin"), archive));
        if (type() != kDataTypeZ54) {
            EXPECT_TRUE(writeBytes(indexPath(), b.index()));
        }
        return File::open(dir.file(L"数据.bin"), OpenMode::ReadExisting);
    }
    Reader loaded(uint32_t expectedCount) {
        Reader reader(CreateVoxbankInterface(type(), be()));
        EXPECT_EQ(reader->LoadIndex(indexPath()), expectedCount);
        return reader;
    }
};

TEST_P(ArchiveReader, ReadsRawCompressedAndTaggedMembers) {
    ArchiveBuilder b = builder();
    Bytes raw = pattern(3000, 1), big = pattern(150000, 2), small = pattern(1, 3),
          tagged = pattern(77, 4), two = {0xAB, 0xCD}, three = {1, 2, 3};
    b.addRaw(raw);
    b.addCompressed(big);
    b.addCompressed(small);
    b.addRaw(tagged, kIdxMarkerRawTagged);
    b.addRaw(two); // sizes 2 and 3 are members, not unused entries
    b.addRaw(three);
    File archive = open(b);
    ASSERT_TRUE(archive.isOpen());
    Reader reader = loaded(6);
    expectMember(read(*reader, archive, 0), raw);
    expectMember(read(*reader, archive, 1), big);
    expectMember(read(*reader, archive, 2), small);
    expectMember(read(*reader, archive, 3), tagged);
    expectMember(read(*reader, archive, 4), two);
    expectMember(read(*reader, archive, 5), three);
    // Reading never changes the table: the first member once more.
    expectMember(read(*reader, archive, 0), raw);
}

TEST_P(ArchiveReader, SkipsUnusedEntries) {
    ArchiveBuilder b = builder();
    b.addUnused(kIdxMarkerUnusedA, 0x1000);
    b.addUnused(kIdxMarkerUnusedB, 0x20);
    b.addRaw({}); // size 0
    b.addRaw({9});
    b.addRaw({1, 2, 3, 4});
    b.addStored({1, 2, 3, 4}, 0x12345); // size 4 whatever the marker
    b.addRaw({7, 7, 7, 7, 7});
    File archive = open(b);
    Reader reader = loaded(7);
    for (uint32_t entry = 0; entry < 6; ++entry) {
        SCOPED_TRACE(entry);
        Member m = read(*reader, archive, entry);
        expectRefused(m, -2, L"跳过未使用的文件！");
        EXPECT_TRUE(m.dataUntouched);
    }
    expectMember(read(*reader, archive, 6), Bytes(5, 7));
}

TEST_P(ArchiveReader, ForceDecompressPassesRawMembersToTheCodec) {
    Bytes content = pattern(40000, 5);
    Bytes container = compressMember(type(), content, be());
    ArchiveBuilder b = builder();
    b.addStored(container, kIdxMarkerRawTagged);
    b.addRaw(pattern(300, 6));
    File archive = open(b);
    Reader reader = loaded(2);
    expectMember(read(*reader, archive, 0, false), container);
    expectMember(read(*reader, archive, 0, true), content);
    // Bytes that are no container fail in the codec like a corrupt member.
    Member m = read(*reader, archive, 1, true);
    EXPECT_EQ(m.status, -4);
    EXPECT_TRUE(m.dataNull);
    EXPECT_EQ(m.message.rfind(L"解压文件 000001.data 出错！原因：", 0), 0u) << m.message;
    EXPECT_EQ(m.message.back(), L'\n');
}

TEST_P(ArchiveReader, MemberRunningPastTheEndOfTheFileHasAZeroTail) {
    ArchiveBuilder b = builder();
    b.addRaw(pattern(100, 7));
    uint32_t last = b.addRaw(Bytes(300, 0x77));
    uint64_t offset = b.entries()[last].offset * (type() == kDataTypeZ54 ? 2048 : 1);
    File archive = open(b, size_t(offset + 120));
    Reader reader = loaded(2);
    Bytes expected(300, 0);
    std::fill(expected.begin(), expected.begin() + 120, 0x77);
    expectMember(read(*reader, archive, last), expected);
}

TEST_P(ArchiveReader, CorruptMemberNamesItsFile) {
    Bytes container = compressMember(type(), pattern(1000, 8), be());
    // One chunk: its zlib stream starts 4 bytes into the first record.
    size_t stream = type() == kDataTypeZ54 ? 8 : type() == kDataType357 ? 132 : 2052;
    ASSERT_EQ(container.at(stream), 0x78);
    container[stream + 1] ^= 0xFF; // the zlib header check fails
    ArchiveBuilder b = builder();
    for (int i = 0; i < 7; ++i)
        b.addRaw(pattern(10, i));
    uint32_t corrupt = b.addStored(container, type() == kDataTypeZ54 ? 1000 : 1, 1000);
    ASSERT_EQ(corrupt, 7u);
    File archive = open(b);
    Reader reader = loaded(8);
    Member m = read(*reader, archive, 7);
    expectRefused(m, -4, L"解压文件 000007.data 出错！原因：数据解压失败！\n");
    EXPECT_TRUE(m.dataNull);
}

TEST_P(ArchiveReader, EntryBeyondTheIndexIsRefused) {
    ArchiveBuilder b = builder();
    b.addRaw(pattern(10, 1));
    b.addRaw(pattern(10, 2));
    File archive = open(b);
    Reader reader = loaded(2);
    for (uint32_t entry : {2u, 3u, 0xFFFFFFFFu}) {
        Member m = read(*reader, archive, entry);
        expectRefused(m, -5, L"文件编号超出了 Index 文件的范围！");
        EXPECT_TRUE(m.dataUntouched);
    }
}

TEST_P(ArchiveReader, FailedReadsOfTheArchive) {
    ArchiveBuilder b = builder();
    b.addRaw(pattern(500, 1));
    b.addCompressed(pattern(500, 2));
    // Offsets no file has: beyond the signed 64-bit positions, or a Z54 product past 64 bits.
    b.addEntry({type() == kDataTypeZ54 ? UINT64_MAX : uint64_t(1) << 63, 16, 0, 16});
    File archive = open(b);
    Reader reader = loaded(3);
    Member far = read(*reader, archive, 2);
    expectRefused(far, -3, L"读取 LINK 文件出错！");
    EXPECT_TRUE(far.dataNull);

    // A handle that cannot be read from (the read handle goes first: it shares reading only).
    archive.close();
    File writeOnly = File::open(dir.file(L"数据.bin"), OpenMode::WriteExisting);
    ASSERT_TRUE(writeOnly.isOpen());
    Member raw = read(*reader, writeOnly, 0);
    expectRefused(raw, -3, L"读取 LINK 文件出错！");
    EXPECT_TRUE(raw.dataNull);
    Member compressed = read(*reader, writeOnly, 1);
    expectRefused(compressed, -3, L"读取 LINK 文件出错！");
    EXPECT_TRUE(compressed.dataUntouched);
}

std::string flavourName(const ::testing::TestParamInfo<Flavour>& info) {
    static const char* const kNames[] = {"", "Type357", "TypeZ54", "Type358"};
    return std::string(kNames[info.param.dataType]) + (info.param.bigEndian ? "PS3" : "PC");
}

INSTANTIATE_TEST_SUITE_P(
    EveryArchive, ArchiveReader,
    ::testing::Values(Flavour{kDataType357, false}, Flavour{kDataType357, true},
                      Flavour{kDataTypeZ54, false}, Flavour{kDataTypeZ54, true},
                      Flavour{kDataType358, false}, Flavour{kDataType358, true}),
    flavourName);

// ---- States of the object ----

class ReaderStates : public ::testing::Test {
  protected:
    TempDir dir;
};

TEST_F(ReaderStates, NothingIsReadBeforeAnIndexIsLoaded) {
    ArchiveBuilder b(kDataType357, false);
    b.addRaw(pattern(64, 1));
    ASSERT_TRUE(b.write({dir.file(L"a.bin")}, dir.file(L"a.idx")));
    File archive = File::open(dir.file(L"a.bin"), OpenMode::ReadExisting);

    Reader fresh(CreateVoxbankInterface(kDataType357, false));
    Member m = read(*fresh, archive, 0);
    expectRefused(m, -1, L"尚未加载 Index 文件！");
    EXPECT_TRUE(m.dataUntouched);

    Reader untyped(CreateVoxbankInterface(0, false));
    SetMessageQX(kUnchanged);
    EXPECT_EQ(untyped->LoadIndex(dir.file(L"a.idx")), 0u);
    EXPECT_EQ(GetMessageQX(), L"尚未指定游戏数据类型！");
    expectRefused(read(*untyped, archive, 0), -1, L"尚未加载 Index 文件！");

    Reader missing(CreateVoxbankInterface(kDataType357, false));
    EXPECT_EQ(missing->LoadIndex(dir.file(L"none.idx")), 0u);
    EXPECT_EQ(GetMessageQX(), L"加载 Index 文件失败！");
    expectRefused(read(*missing, archive, 0), -1, L"尚未加载 Index 文件！");

    ASSERT_TRUE(writeBytes(dir.file(L"short.idx"), Bytes(20, 0)));
    Reader empty(CreateVoxbankInterface(kDataType357, false));
    EXPECT_EQ(empty->LoadIndex(dir.file(L"short.idx")), 0u);
    EXPECT_EQ(GetMessageQX(), L"Index 文件中没有任何条目！");
    expectRefused(read(*empty, archive, 0), -1, L"尚未加载 Index 文件！");
}

TEST_F(ReaderStates, ResetSwitchesToAnotherTypeAndByteOrder) {
    ArchiveBuilder pc(kDataType357, false);
    Bytes a = pattern(5000, 1), b = pattern(20000, 2), c = pattern(900, 3);
    pc.addCompressed(a);
    pc.addRaw(b);
    pc.addRaw(c);
    ASSERT_TRUE(pc.write({dir.file(L"pc.bin")}, dir.file(L"pc.idx")));
    ArchiveBuilder ps3(kDataType358, true);
    Bytes d = pattern(70000, 4);
    ps3.addCompressed(d);
    ps3.addRaw(a);
    ASSERT_TRUE(ps3.write({dir.file(L"ps3.bin")}, dir.file(L"ps3.idx")));
    File pcArchive = File::open(dir.file(L"pc.bin"), OpenMode::ReadExisting);
    File ps3Archive = File::open(dir.file(L"ps3.bin"), OpenMode::ReadExisting);

    Reader reader(CreateVoxbankInterface(kDataType357, false));
    ASSERT_EQ(reader->LoadIndex(dir.file(L"pc.idx")), 3u);
    expectMember(read(*reader, pcArchive, 0), a);
    expectMember(read(*reader, pcArchive, 2), c);

    reader->Reset(kDataType358, true);
    expectRefused(read(*reader, pcArchive, 0), -1, L"尚未加载 Index 文件！");
    ASSERT_EQ(reader->LoadIndex(dir.file(L"ps3.idx")), 2u);
    expectMember(read(*reader, ps3Archive, 0), d);
    expectMember(read(*reader, ps3Archive, 1), a);
    // The earlier table's third entry is gone with it.
    expectRefused(read(*reader, pcArchive, 2), -5, L"文件编号超出了 Index 文件的范围！");

    // A Z54 archive after that: its offset unit is the one of its own header.
    ArchiveBuilder z54(kDataTypeZ54, false, 512);
    z54.addRaw(c);
    z54.addCompressed(b);
    ASSERT_TRUE(z54.write({dir.file(L"z54.bin")}, L""));
    File z54Archive = File::open(dir.file(L"z54.bin"), OpenMode::ReadExisting);
    reader->Reset(kDataTypeZ54, false);
    ASSERT_EQ(reader->LoadIndex(dir.file(L"z54.bin")), 2u);
    expectMember(read(*reader, z54Archive, 0), c);
    expectMember(read(*reader, z54Archive, 1), b);
}

TEST_F(ReaderStates, ASecondLoadReplacesTheTable) {
    ArchiveBuilder first(kDataType357, false), second(kDataType357, false);
    first.addRaw(pattern(10, 1));
    second.addRaw(pattern(30, 2));
    second.addRaw(pattern(40, 3));
    ASSERT_TRUE(first.write({dir.file(L"1.bin")}, dir.file(L"1.idx")));
    ASSERT_TRUE(second.write({dir.file(L"2.bin")}, dir.file(L"2.idx")));
    File archive = File::open(dir.file(L"2.bin"), OpenMode::ReadExisting);
    Reader reader(CreateVoxbankInterface(kDataType357, false));
    ASSERT_EQ(reader->LoadIndex(dir.file(L"1.idx")), 1u);
    ASSERT_EQ(reader->LoadIndex(dir.file(L"2.idx")), 2u);
    expectMember(read(*reader, archive, 1), pattern(40, 3));
    // A failing load leaves nothing loaded.
    EXPECT_EQ(reader->LoadIndex(dir.file(L"none.idx")), 0u);
    expectRefused(read(*reader, archive, 1), -1, L"尚未加载 Index 文件！");
}

TEST_F(ReaderStates, SplitArchiveIsReadThroughTheHandleOfEachFile) {
    ArchiveBuilder b(kDataType357, true);
    Bytes m0 = pattern(600, 1), m1 = pattern(33000, 2), m2 = pattern(70, 3);
    b.addRaw(m0);
    b.startNextFile();
    b.addCompressed(m1);
    b.addRaw(m2);
    ASSERT_EQ(b.firstEntryOfFile(1), 1u);
    EXPECT_EQ(b.entries()[1].offset, 0u); // offsets count from the start of their own file
    ASSERT_TRUE(b.write({dir.file(L"0.bin"), dir.file(L"1.bin")}, dir.file(L"s.idx")));
    File file0 = File::open(dir.file(L"0.bin"), OpenMode::ReadExisting);
    File file1 = File::open(dir.file(L"1.bin"), OpenMode::ReadExisting);
    Reader reader(CreateVoxbankInterface(kDataType357, true));
    ASSERT_EQ(reader->LoadIndex(dir.file(L"s.idx")), 3u);
    expectMember(read(*reader, file0, 0), m0);
    expectMember(read(*reader, file1, 1), m1);
    expectMember(read(*reader, file1, 2), m2);
}

TEST_F(ReaderStates, DataTypeWithoutACodecReadsOnlyRawMembers) {
    ArchiveBuilder b(kDataType357, false);
    b.addRaw(pattern(50, 1));
    b.addStored(compressMember(kDataType357, pattern(50, 2), false), 1, 50);
    ASSERT_TRUE(b.write({dir.file(L"a.bin")}, dir.file(L"a.idx")));
    File archive = File::open(dir.file(L"a.bin"), OpenMode::ReadExisting);
    Reader reader(CreateVoxbankInterface(9, false));
    ASSERT_EQ(reader->LoadIndex(dir.file(L"a.idx")), 2u);
    expectMember(read(*reader, archive, 0), pattern(50, 1));
    Member m = read(*reader, archive, 1);
    expectRefused(m, -4, L"解压文件 000001.data 出错！原因：错误的游戏数据类型！\n");
    EXPECT_TRUE(m.dataUntouched);
}

} // namespace
} // namespace karv::test
