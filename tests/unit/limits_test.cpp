// Sizes near the 32-bit limits and counts at their caps, everywhere a number from a file or a
// caller meets a length: refused or handled in 64 bits, never wrapped round to a small number
// and never allocated as claimed. Files beyond 4 GiB are sparse (a cut far behind the data),
// and the claims of the containers are refused before their bytes are read, so nothing here
// allocates or writes gigabytes.
#include "archive_import.h"
#include "archive_test_game.h"
#include "formats/backup_record.h"
#include "karvcore/karvcore.h"
#include "platform/file.h"
#include "platform/text.h"
#include "temp_dir.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace karv::test {
namespace {

using platform::File;
using platform::OpenMode;
using platform::SeekFrom;

constexpr uint64_t kFourGiB = uint64_t(1) << 32;
const std::wstring kTooLong = L"数据长度过大！";
const std::wstring kCorrupt = L"数据解压失败！";
const std::wstring kWrongTotal = L"解压后的数据大小有误！";

void putLe(Bytes& out, uint64_t v, int width) {
    for (int i = 0; i < width; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// A file of `size` bytes that holds `head` at its start, `tail` at `tailAt`, zeros elsewhere,
// and takes no room on disk for them.
void writeSparse(const std::wstring& path, const Bytes& head, uint64_t size, uint64_t tailAt = 0,
                 const Bytes& tail = {}) {
    File file = File::open(path, OpenMode::CreateAlways);
    ASSERT_TRUE(file.isOpen());
    ASSERT_TRUE(head.empty() || file.writeAll(head.data(), uint32_t(head.size())));
    if (!tail.empty()) {
        ASSERT_TRUE(file.seek(int64_t(tailAt), SeekFrom::Begin));
        ASSERT_TRUE(file.writeAll(tail.data(), uint32_t(tail.size())));
    }
    ASSERT_TRUE(file.seek(int64_t(size), SeekFrom::Begin));
    ASSERT_TRUE(file.truncate());
    ASSERT_TRUE(file.close());
}

class Limits : public ::testing::Test {
  protected:
    TempDir dir;
    void SetUp() override { SetMessageQX(L""); }
};

// ---- Whole files ----

TEST_F(Limits, FilesOf4GiBOrMoreAreRefusedNotLoadedAsTheirLow32Bits) {
    const std::wstring path = dir.file(L"big.bin");
    for (uint64_t size : {kFourGiB, kFourGiB + 16}) {
        SCOPED_TRACE(size);
        writeSparse(path, Bytes{1, 2, 3}, size);
        uint8_t* untouched = reinterpret_cast<uint8_t*>(&size);
        uint8_t* buffer = untouched;
        uint32_t length = 77;
        EXPECT_FALSE(LoadData(path, buffer, &length));
        EXPECT_EQ(buffer, untouched);
        EXPECT_EQ(length, 77u);
        EXPECT_EQ(GetMessageQX(), kTooLong);
    }
}

TEST_F(Limits, IndexAndTextFilesOf4GiBAreRefused) {
    const std::wstring path = dir.file(L"big.idx");
    writeSparse(path, Bytes(64, 0), kFourGiB + 32);
    uint8_t* table = nullptr;
    uint32_t unit = 0;
    EXPECT_EQ(LoadIndexData(1, path, table, &unit, false), 0u);
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(GetMessageQX(), L"加载 Index 文件失败！");

    std::unique_ptr<ReadTxtFileInMemQX> reader(CreateTxtReadInterface());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->Open(path, kTextUtf8), -2);
    std::wstring line;
    EXPECT_EQ(reader->ReadLine(line), -1);
}

// A Z54 archive reads only its table, so one far beyond 4 GiB loads, and a member behind
// 4 GiB is read from where the entry puts it, not from its offset's low 32 bits.
TEST_F(Limits, MembersBehind4GiBAreReadFromTheirOwnOffset) {
    const uint32_t unit = 2048;
    const uint64_t memberAt = kFourGiB + 4 * unit;
    const Bytes member = {'f', 'a', 'r', ' ', 'm', 'e', 'm', 'b', 'e', 'r'};
    Bytes head;
    putLe(head, 0, 4);
    putLe(head, 1, 4);
    putLe(head, unit, 4);
    putLe(head, 0, 4);
    putLe(head, memberAt / unit, 8); // a raw member behind 4 GiB
    putLe(head, member.size(), 4);
    putLe(head, 0, 4);
    // Where the low 32 bits of its offset point there are only zeros.
    const std::wstring path = dir.file(L"far.z54");
    writeSparse(path, head, memberAt + 4096, memberAt, member);

    std::unique_ptr<VoxbankQX> reader(CreateVoxbankInterface(kDataTypeZ54, false));
    ASSERT_EQ(reader->LoadIndex(path), 1u);
    File archive = File::open(path, OpenMode::ReadExisting);
    ASSERT_TRUE(archive.isOpen());
    uint8_t* data = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(reader->ReadMember(archive.native(), 0, data, &length, false), 0);
    EXPECT_TRUE(Bytes(data, data + length) == member);
    std::free(data);
}

// ---- Index entries ----

TEST_F(Limits, OffsetsBeyondWhatASeekReachesAreReadFailures) {
    // Z54: units x unit beyond 64 bits decodes as UINT64_MAX; units x unit inside 64 bits but
    // beyond a signed seek is refused as well.
    Bytes z54;
    for (uint64_t units : {uint64_t(1) << 53, UINT64_MAX / 2048}) {
        putLe(z54, units, 8);
        putLe(z54, 64, 4);
        putLe(z54, 0, 4);
    }
    idxinfo info;
    GetIndexInfo(kDataTypeZ54, z54.data(), 2048, false, 0, &info);
    EXPECT_EQ(info.offset, UINT64_MAX);
    GetIndexInfo(kDataTypeZ54, z54.data(), 2048, false, 1, &info);
    EXPECT_EQ(info.offset, UINT64_MAX / 2048 * 2048);

    Bytes head;
    putLe(head, 0, 4);
    putLe(head, 2, 4);
    putLe(head, 2048, 4);
    putLe(head, 0, 4);
    head.insert(head.end(), z54.begin(), z54.end());
    head.resize(4096, 0);
    const std::wstring path = dir.file(L"z54.bin");
    ASSERT_TRUE(writeBytes(path, head));
    std::unique_ptr<VoxbankQX> reader(CreateVoxbankInterface(kDataTypeZ54, false));
    ASSERT_EQ(reader->LoadIndex(path), 2u);
    File archive = File::open(path, OpenMode::ReadExisting);
    for (uint32_t entry : {0u, 1u}) {
        uint8_t* data = nullptr;
        uint32_t length = 0;
        EXPECT_EQ(reader->ReadMember(archive.native(), entry, data, &length, false), -3);
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(GetMessageQX(), L"读取 LINK 文件出错！");
    }
    uint8_t* data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(reader->ReadMember(archive.native(), UINT32_MAX, data, &length, false), -5);
}

TEST_F(Limits, AZ54CountBeyondTheFileIsCutToTheEntriesItHolds) {
    Bytes index;
    putLe(index, 0, 4);
    putLe(index, UINT32_MAX, 4);
    putLe(index, 2048, 4);
    putLe(index, 0, 4);
    index.resize(16 + 3 * 16 + 5, 0x11); // three whole entries and a partial one
    const std::wstring path = dir.file(L"z54.bin");
    ASSERT_TRUE(writeBytes(path, index));
    uint8_t* table = nullptr;
    uint32_t unit = 0;
    EXPECT_EQ(LoadIndexData(kDataTypeZ54, path, table, &unit, false), 3u);
    std::free(table);
}

// ---- Compressed containers ----

// The chunk cap and the 32-bit lengths are checked before a byte of the input is read: the
// input here is one byte long whatever the length says.
TEST_F(Limits, CompressorsRefuseLengthsPastTheChunkCapBeforeReading) {
    const uint8_t one = 0x42;
    uint8_t* out = nullptr;
    uint32_t used = 0, padded = 0;
    // Z54 chunks of 32768: 100000 of them are 3 276 800 000 bytes.
    EXPECT_EQ(CompressDataZ54(out, &one, 32768u * 100000u + 1, &used, &padded, false, 1), -1);
    EXPECT_EQ(GetMessageQX(), kTooLong);
    EXPECT_EQ(CompressData358(out, &one, 100001, &used, &padded, 1, false, 1), -1);
    EXPECT_EQ(GetMessageQX(), kTooLong);
    // One chunk of nearly 4 GiB: its zlib bound does not fit 32 bits.
    EXPECT_EQ(CompressData358(out, &one, UINT32_MAX, &used, &padded, UINT32_MAX, false, 1), -1);
    EXPECT_EQ(GetMessageQX(), kTooLong);
    EXPECT_EQ(out, nullptr);
}

struct Decompressed {
    int32_t status;
    uint8_t* out;
    uint32_t length;
};

template <typename Decompressor>
Decompressed decompress(Decompressor decompressor, const Bytes& container) {
    Decompressed d{0, reinterpret_cast<uint8_t*>(&d), 99};
    d.status = decompressor(d.out, container.data(), uint32_t(container.size()), &d.length, false);
    if (d.status == 0)
        std::free(d.out);
    return d;
}

TEST_F(Limits, TotalsNoContainerCanInflateToAreRefusedBeforeAllocating) {
    Bytes z54;
    putLe(z54, UINT32_MAX, 4);
    putLe(z54, 0, 4);
    Decompressed d = decompress(UnCompressDataZ54, z54);
    EXPECT_EQ(d.status, -2);
    EXPECT_EQ(d.out, nullptr);
    EXPECT_EQ(d.length, 0u);
    EXPECT_EQ(GetMessageQX(), kWrongTotal);
}

// 4 x count wraps to 0 in 32 bits for these counts; the table would start "inside" the
// header. It lies far outside the container.
TEST_F(Limits, ChunkCountsWhoseTableWrapsAreRefused) {
    Bytes f357;
    putLe(f357, 65536, 4);
    putLe(f357, 0x40000000, 4);
    putLe(f357, 16, 4);
    f357.resize(256, 0);
    Decompressed d = decompress(UnCompressData357, f357);
    EXPECT_EQ(d.status, -1);
    EXPECT_EQ(d.out, nullptr);
    EXPECT_EQ(GetMessageQX(), kCorrupt);

    Bytes f358 = {0x7A, 0x70, 0x31, 0x00};
    putLe(f358, 16, 4);
    putLe(f358, 65536, 4);
    putLe(f358, 0x40000000, 4);
    f358.resize(4096, 0);
    d = decompress(UnCompressData358, f358);
    EXPECT_EQ(d.status, -1);
    EXPECT_EQ(d.out, nullptr);
}

// Record lengths near 4 GiB: position + 4 + length wraps to a small number in 32 bits.
TEST_F(Limits, RecordLengthsNear4GiBAreRefused) {
    Bytes z54;
    putLe(z54, 8, 4);
    putLe(z54, 0xFFFFFFFC, 4); // offset 4 + 4 + length = 2^32 + 4
    z54.resize(64, 0x78);
    Decompressed d = decompress(UnCompressDataZ54, z54);
    EXPECT_EQ(d.status, -1);
    EXPECT_EQ(d.out, nullptr);

    Bytes f357;
    putLe(f357, 65536, 4);
    putLe(f357, 1, 4);
    putLe(f357, 8, 4);
    putLe(f357, 0xFFFFFFFF, 4); // record size: a length of 2^32 - 5
    f357.resize(256, 0x78);
    d = decompress(UnCompressData357, f357);
    EXPECT_EQ(d.status, -1);
    EXPECT_EQ(d.out, nullptr);
}

// ---- Packed blobs ----

TEST_F(Limits, BlobTablesWhoseSizeWrapsAreNotRecognised) {
    auto blob = [](uint32_t count, uint32_t v1, uint32_t v2) {
        Bytes b;
        putLe(b, count, 4);
        putLe(b, v1, 4);
        putLe(b, v2, 4);
        b.resize(64, 0);
        return b;
    };
    uint32_t start = 7, size = 7;
    // 4N = 2^32 + 4 and 8N + 4 = 2^32 + 4: both would read as 4 in 32 bits.
    for (uint32_t count : {0x40000001u, 0x20000000u}) {
        Bytes b = blob(count, 4, 8);
        EXPECT_EQ(GetData_Offset(b.data(), uint32_t(b.size()), 0, &start, &size, false), -1);
    }
    // Offset and size: start + size = 2^32 + 8 would read as 8.
    Bytes b;
    putLe(b, 1, 4);
    putLe(b, 16, 4);
    putLe(b, 0xFFFFFFF8, 4);
    b.resize(64, 0);
    EXPECT_EQ(GetData_Offset(b.data(), uint32_t(b.size()), 0, &start, &size, false), -1);
    // A sub-file number whose table position wraps.
    Bytes offsets = blob(3, 12, 20);
    EXPECT_EQ(
        GetData_Offset(offsets.data(), uint32_t(offsets.size()), 0x40000000, &start, &size, false),
        -1);
    EXPECT_EQ(start, 7u);
    EXPECT_EQ(size, 7u);
}

// ---- Texture containers ----

TEST_F(Limits, TextureTablesAndHeadersNear4GiBLieOutsideTheContainer) {
    auto container = [](uint32_t count, uint32_t entry, uint32_t extension) {
        Bytes c = {'G', 'T', '1', 'G', '0', '0', '6', '0'};
        putLe(c, 0, 4);
        putLe(c, 24, 4);    // table offset
        putLe(c, count, 4); // texture count
        putLe(c, 0, 4);
        putLe(c, entry, 4); // header of texture 0, from the table
        // Header at 28 (entry 4): DXT1 4 x 4 with an extension flag.
        putLe(c, 0x00220610, 4);
        putLe(c, 0x01000000, 4);
        putLe(c, extension, 4);
        c.resize(128, 0);
        return c;
    };
    std::unique_ptr<GT1GDataQX> g1t(CreateGT1GDataInterface());
    uint32_t count = 0;
    // A count whose table (4 x count) wraps to 0 bytes.
    Bytes c = container(0x40000000, 4, 4);
    EXPECT_EQ(g1t->OpenData(c.data(), 0, uint32_t(c.size()), &count, false), -13);
    // A header 4 GiB - 4 behind the table, and an extension of 4 GiB - 8 bytes.
    for (auto [entry, extension] : {std::pair<uint32_t, uint32_t>{0xFFFFFFFC, 4},
                                    std::pair<uint32_t, uint32_t>{4, 0xFFFFFFF8}}) {
        c = container(1, entry, extension);
        ASSERT_EQ(g1t->OpenData(c.data(), 0, uint32_t(c.size()), &count, false), 0);
        uint8_t* dds = nullptr;
        uint32_t length = 5;
        std::wstring name;
        EXPECT_EQ(g1t->ExportTexture(c.data(), dds, &length, &name, false, 0), -13);
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(dds, nullptr);
        g1t->CloseData();
    }
}

// ---- Backup records ----

TEST_F(Limits, RecordLengthsStopAt32Bits) {
    uint32_t length = 0;
    const uint32_t mostEntries = (UINT32_MAX - 80) / 4;
    EXPECT_TRUE(record::lengthFor(mostEntries, length));
    EXPECT_EQ(length, 80 + 4 * mostEntries);
    EXPECT_FALSE(record::lengthFor(mostEntries + 1, length));
    EXPECT_FALSE(record::lengthFor(UINT32_MAX, length));
    // A record's own length bounds every slot read from it.
    EXPECT_TRUE(record::holds(UINT32_MAX, mostEntries));
    EXPECT_FALSE(record::holds(UINT32_MAX, mostEntries + 1));
    EXPECT_FALSE(record::holdsSlot(84, 1));
    EXPECT_TRUE(record::holdsSlot(84, 0));
    EXPECT_FALSE(record::holdsSlot(UINT32_MAX, UINT32_MAX));
}

// ---- Import files ----

// A file of 4 GiB or more, or one whose padding to the alignment passes 4 GiB, is skipped
// before it is read; the game stays as it was.
TEST_F(Limits, ImportFilesBeyond32BitLengthsAreSkipped) {
    TestGame game(kDataType357, false);
    game.builder.addRaw(Bytes(300, 1));
    game.builder.addRaw(Bytes(300, 2));
    game.write();
    ASSERT_EQ(game.backup(), 0);
    const auto before = game.snapshot();
    writeSparse(game.importFolder() + kSep + L"000000.data", Bytes{1}, kFourGiB + 1);
    writeSparse(game.importFolder() + kSep + L"000001.data", Bytes{2}, 0xFFFFFF01); // 256 x 2^24
    game.select();
    OutputCapture capture;
    cli::ImportMembers(cli::archiveSelection, game.archivePath(0));
    const std::wstring printed = capture.take();
    EXPECT_NE(printed.find(std::wstring(L"000000.data") + text::kImportFileTooLarge),
              std::wstring::npos)
        << platform::wideToUtf8(printed);
    EXPECT_NE(printed.find(std::wstring(L"000001.data") + text::kImportFileTooLarge),
              std::wstring::npos);
    EXPECT_TRUE(game.snapshot() == before);
}

} // namespace
} // namespace karv::test
