// The texture container: G1T textures out as DDS files and back in place, the walk over the
// textures, the header rules of both byte orders, and containers and DDS files that lie.
#include "g1t_builder.h"
#include "karvcore/buffer.h"
#include "karvcore/karvcore.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

namespace karv::test {
namespace {

using Container = std::unique_ptr<GT1GDataQX>;

Container create() {
    Container g(CreateGT1GDataInterface());
    EXPECT_NE(g, nullptr);
    return g;
}

Container openOn(const Bytes& data, bool bigEndian, uint32_t offset = 0, uint32_t size = 0) {
    Container g = create();
    uint32_t count = 0;
    EXPECT_EQ(g->OpenData(data.data(), offset, size ? size : uint32_t(data.size()) - offset, &count,
                          bigEndian),
              0);
    return g;
}

struct Exported {
    int32_t status = 0;
    uint32_t length = 0;
    std::wstring name = L"untouched";
    bool allocated = false;
    Bytes dds;
};

Exported exportOne(GT1GDataQX& g, const Bytes& data, bool seekFirst = false, uint32_t number = 0) {
    Exported r;
    uint8_t sentinel = 0;
    uint8_t* dds = &sentinel;
    r.length = 12345;
    r.status = g.ExportTexture(data.data(), dds, &r.length, &r.name, seekFirst, number);
    if (dds != &sentinel) {
        MallocBuffer owned(dds);
        r.allocated = true;
        r.dds.assign(dds, dds + r.length);
    }
    return r;
}

int32_t importOne(GT1GDataQX& g, Bytes& data, const Bytes& dds, bool seekFirst = true,
                  uint32_t number = 0) {
    return g.ImportTexture(data.data(), dds.data(), uint32_t(dds.size()), seekFirst, number);
}

Bytes flipped(Bytes bytes, size_t from) {
    for (size_t i = from; i < bytes.size(); ++i)
        bytes[i] ^= 0x5A;
    return bytes;
}

Bytes withPixelsAt(Bytes data, uint32_t pos, const Bytes& pixels) {
    std::copy(pixels.begin(), pixels.end(), data.begin() + pos);
    return data;
}

std::wstring message() {
    return GetMessageQX();
}

// ---- Every format in both byte orders ----

class EveryFormat : public ::testing::TestWithParam<std::tuple<uint8_t, bool>> {};

TEST_P(EveryFormat, ExportsExactDdsFilesAndImportsThemBackInPlace) {
    const auto [format, bigEndian] = GetParam();
    G1tBuilder builder(bigEndian);
    G1tTexture wide;
    wide.format = format;
    wide.widthLog2 = 5;
    wide.heightLog2 = 4;
    wide.levels = 3;
    wide.spareNibble = 0x7;
    builder.add(wide);
    G1tTexture tall = wide;
    tall.widthLog2 = 2;
    tall.heightLog2 = 3;
    tall.levels = 4; // 4 x 8 down to 0 x 1
    tall.extensionLength = 12;
    builder.add(tall);
    const Bytes original = builder.build();
    Container g = openOn(original, bigEndian);

    const G1tTexture textures[] = {wide, tall};
    std::vector<Bytes> files;
    for (uint32_t i = 0; i < 2; ++i) {
        Exported r = exportOne(*g, original);
        ASSERT_EQ(r.status, 0) << i;
        EXPECT_EQ(r.name, g1tFormatName(format));
        EXPECT_EQ(r.dds,
                  exportedDds(format, 1u << textures[i].widthLog2, 1u << textures[i].heightLog2,
                              textures[i].levels, builder.pixels(i)))
            << i;
        files.push_back(r.dds);
    }
    EXPECT_EQ(exportOne(*g, original).status, -1);

    // Edited pixels land exactly over the texture's data, nowhere else.
    Bytes data = original;
    for (uint32_t i = 0; i < 2; ++i) {
        const size_t header = files[i].size() - builder.pixels(i).size();
        Bytes edited = flipped(files[i], header);
        ASSERT_EQ(importOne(*g, data, edited, true, i), 0) << i;
    }
    Bytes expected = withPixelsAt(original, builder.dataPos(0), flipped(builder.pixels(0), 0));
    EXPECT_EQ(data, withPixelsAt(expected, builder.dataPos(1), flipped(builder.pixels(1), 0)));
}

INSTANTIATE_TEST_SUITE_P(Table, EveryFormat,
                         ::testing::Combine(::testing::ValuesIn(kG1tSupportedFormats),
                                            ::testing::Bool()));

// ---- DDS fields, read at their offsets ----

TEST(DdsHeader, MipmappedDxt1HasTheMipmapFieldsAndTheLevelSizes) {
    G1tBuilder builder(false);
    builder.add(kG1tDxt1, 8, 7, 9); // 256 x 128
    const Bytes data = builder.build();
    Exported r = exportOne(*openOn(data, false), data);
    ASSERT_EQ(r.status, 0);
    // 16384 + 4096 + 1024 + 256 + 64 + 16 + 8 + 8 + 0: the last level is 1 x 0.
    ASSERT_EQ(r.length, 128u + 21856u);
    EXPECT_EQ(Bytes(r.dds.begin(), r.dds.begin() + 4), Bytes({'D', 'D', 'S', ' '}));
    EXPECT_EQ(readLe32(r.dds, 4), 124u);
    EXPECT_EQ(readLe32(r.dds, 8), 0x000A1007u);
    EXPECT_EQ(readLe32(r.dds, 12), 128u);
    EXPECT_EQ(readLe32(r.dds, 16), 256u);
    EXPECT_EQ(readLe32(r.dds, 20), 0u);
    EXPECT_EQ(readLe32(r.dds, 28), 9u);
    EXPECT_EQ(readLe32(r.dds, 76), 32u);
    EXPECT_EQ(readLe32(r.dds, 80), 4u);
    EXPECT_EQ(readLe32(r.dds, 84), 0x31545844u); // "DXT1"
    EXPECT_EQ(readLe32(r.dds, 88), 0u);
    EXPECT_EQ(readLe32(r.dds, 108), 0x401008u);
    EXPECT_EQ(Bytes(r.dds.begin() + 128, r.dds.end()), builder.pixels(0));
}

TEST(DdsHeader, SingleLevelTwoLevelAndArgb) {
    G1tBuilder builder(false);
    builder.add(kG1tDxt5, 3, 2, 1); // 8 x 4, one level
    builder.add(kG1tDxt5, 3, 2, 2); // two levels
    builder.add(kG1tArgb, 2, 1, 5); // 4 x 2: the level count is ignored
    builder.add(kG1tDxt5, 3, 2, 4); // 8 x 4, 4 x 2, 2 x 1, 1 x 0: 32 + 16 + 16 + 0
    builder.add(kG1tBc4, 0, 0, 1);  // 1 x 1 still takes a whole block
    G1tTexture noLevel;
    noLevel.format = kG1tDxt1;
    noLevel.widthLog2 = noLevel.heightLog2 = 2;
    noLevel.levels = 0; // no level at all counts as the top level
    noLevel.pixels = Bytes(8, 0x42);
    builder.add(noLevel);
    const Bytes data = builder.build();
    Container g = openOn(data, false);

    Exported one = exportOne(*g, data);
    EXPECT_EQ(one.length, 128u + 32u);
    EXPECT_EQ(readLe32(one.dds, 8), 0x00081007u);
    EXPECT_EQ(readLe32(one.dds, 28), 0u);
    EXPECT_EQ(readLe32(one.dds, 108), 0x1000u);

    Exported two = exportOne(*g, data);
    EXPECT_EQ(two.length, 128u + 48u);
    EXPECT_EQ(readLe32(two.dds, 8), 0x000A1007u);
    EXPECT_EQ(readLe32(two.dds, 28), 2u);

    Exported argb = exportOne(*g, data);
    ASSERT_EQ(argb.length, 128u + 32u);
    EXPECT_EQ(readLe32(argb.dds, 8), 0x00081007u);
    EXPECT_EQ(readLe32(argb.dds, 28), 0u);
    EXPECT_EQ(readLe32(argb.dds, 80), 0x41u);
    EXPECT_EQ(readLe32(argb.dds, 84), 0u);
    EXPECT_EQ(readLe32(argb.dds, 88), 32u);
    EXPECT_EQ(readLe32(argb.dds, 92), 0x00FF0000u);
    EXPECT_EQ(readLe32(argb.dds, 96), 0x0000FF00u);
    EXPECT_EQ(readLe32(argb.dds, 100), 0x000000FFu);
    EXPECT_EQ(readLe32(argb.dds, 104), 0xFF000000u);
    EXPECT_EQ(readLe32(argb.dds, 108), 0x1002u);

    EXPECT_EQ(exportOne(*g, data).length, 128u + 64u);
    EXPECT_EQ(exportOne(*g, data).length, 128u + 8u);
    Exported top = exportOne(*g, data);
    ASSERT_EQ(top.length, 128u + 8u);
    EXPECT_EQ(readLe32(top.dds, 8), 0x00081007u);
    EXPECT_EQ(readLe32(top.dds, 28), 0u);
    EXPECT_EQ(Bytes(top.dds.begin() + 128, top.dds.end()), Bytes(8, 0x42));
}

TEST(DdsHeader, Bc6hAndBc7CarryTheDx10Header) {
    for (auto [format, dxgi] : {std::pair<uint8_t, uint32_t>{kG1tBc6h, 95}, {kG1tBc7, 98}}) {
        G1tBuilder builder(true);
        builder.add(format, 2, 3, 1);
        const Bytes data = builder.build();
        Container g = openOn(data, true);
        Exported r = exportOne(*g, data);
        ASSERT_EQ(r.length, 148u + 32u);
        EXPECT_EQ(readLe32(r.dds, 84), 0x30315844u); // "DX10"
        EXPECT_EQ(readLe32(r.dds, 128), dxgi);
        EXPECT_EQ(readLe32(r.dds, 132), 3u);
        EXPECT_EQ(readLe32(r.dds, 136), 0u);
        EXPECT_EQ(readLe32(r.dds, 140), 1u);
        EXPECT_EQ(readLe32(r.dds, 144), 1u);
        EXPECT_EQ(Bytes(r.dds.begin() + 148, r.dds.end()), builder.pixels(0));

        // Importing back needs the 148-byte header plus the data.
        Bytes copy = data;
        Bytes shortFile(r.dds.begin(), r.dds.end() - 1);
        EXPECT_EQ(importOne(*g, copy, shortFile), -11);
        EXPECT_EQ(message(), L"要导入的文件过小！");
        EXPECT_EQ(copy, data);
        EXPECT_EQ(importOne(*g, copy, r.dds), 0);
        EXPECT_EQ(copy, data);
    }
}

TEST(TextureHeader, SizeByteNibblesSwapBetweenByteOrders) {
    for (bool bigEndian : {false, true}) {
        G1tBuilder builder(bigEndian);
        // PC: width in the low nibble; PS3: in the high one. Both give the byte 0x78 here.
        builder.add(kG1tDxt1, bigEndian ? 7 : 8, bigEndian ? 8 : 7, 1);
        const Bytes data = builder.build();
        ASSERT_EQ(data[builder.headerPos(0) + 2], 0x78);
        Exported r = exportOne(*openOn(data, bigEndian), data);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(readLe32(r.dds, 16), bigEndian ? 128u : 256u) << "width";
        EXPECT_EQ(readLe32(r.dds, 12), bigEndian ? 256u : 128u) << "height";
    }
}

TEST(TextureHeader, ExtensionRuleInBothLayoutsAndByteOrders) {
    for (bool bigEndian : {false, true}) {
        G1tBuilder builder(bigEndian);
        G1tTexture t;
        t.format = kG1tDxt5;
        t.widthLog2 = t.heightLog2 = 3;
        builder.add(t); // plain, no extension
        t.extensionLength = 12;
        builder.add(t); // flag at byte 7, length at 8
        t.shiftedLayout = true;
        t.extensionLength = 10;
        builder.add(t); // flag at byte 9, length at 10; byte 7 is junk
        t.extensionLength = 0;
        builder.add(t); // byte 9 (the second pixel byte) is 0: no extension despite byte 7
        const Bytes data = builder.build();
        ASSERT_NE(data[builder.headerPos(3) + 7], 0);
        Container g = openOn(data, bigEndian);
        for (uint32_t i = 0; i < 4; ++i) {
            Exported r = exportOne(*g, data);
            ASSERT_EQ(r.status, 0);
            EXPECT_EQ(Bytes(r.dds.begin() + 128, r.dds.end()), builder.pixels(i))
                << "texture " << i << (bigEndian ? " PS3" : " PC");
        }
    }
}

// ---- The walk over the textures and the states of the object ----

class Walk : public ::testing::Test {
  protected:
    void SetUp() override {
        builder.add(kG1tDxt1, 2, 2);
        builder.add(kG1tDxt5, 3, 3);
        builder.add(kG1tArgb, 1, 1);
        data = builder.build();
    }
    G1tBuilder builder{false};
    Bytes data;
};

TEST_F(Walk, ThreeTexturesThenEndOfFile) {
    Container g = openOn(data, false);
    const wchar_t* names[] = {L"DXT1", L"DXT5", L"ARGB"};
    for (const wchar_t* name : names)
        EXPECT_EQ(exportOne(*g, data).name, name);
    Exported end = exportOne(*g, data);
    EXPECT_EQ(end.status, -1);
    EXPECT_EQ(message(), L"已到达文件尾！");
    EXPECT_EQ(end.length, 0u);
    EXPECT_FALSE(end.allocated);
    EXPECT_EQ(end.name, L"untouched");
    Bytes copy = data;
    EXPECT_EQ(importOne(*g, copy, Bytes(200), false), -1);
}

TEST_F(Walk, SeekFirstJumpsAndExportIgnoresNumbersBeyondTheCount) {
    Container g = openOn(data, false);
    EXPECT_EQ(exportOne(*g, data, true, 2).name, L"ARGB");
    EXPECT_EQ(exportOne(*g, data).status, -1);
    EXPECT_EQ(exportOne(*g, data, true, 1).name, L"DXT5");
    EXPECT_EQ(exportOne(*g, data, true, 3).name, L"ARGB"); // ignored: the cursor goes on
    EXPECT_EQ(exportOne(*g, data, true, 0).name, L"DXT1");
}

TEST_F(Walk, ImportRefusesNumbersBeyondTheCountAndKeepsTheCursor) {
    Container g = openOn(data, false);
    ASSERT_EQ(exportOne(*g, data).status, 0);
    Exported second = exportOne(*g, data, true, 1);
    ASSERT_EQ(second.status, 0);
    Exported first = exportOne(*g, data, true, 0);
    Bytes copy = data;
    for (uint32_t number : {3u, 4u, 0xFFFFFFFFu}) {
        EXPECT_EQ(importOne(*g, copy, second.dds, true, number), -15);
        EXPECT_EQ(message(), L"贴图编号超出贴图数量！");
    }
    EXPECT_EQ(copy, data);
    // The cursor stayed at texture 1; an import without a number goes there.
    Bytes edited = flipped(second.dds, 128);
    EXPECT_EQ(importOne(*g, copy, edited, false), 0);
    EXPECT_EQ(copy, withPixelsAt(data, builder.dataPos(1), flipped(builder.pixels(1), 0)));
    EXPECT_EQ(importOne(*g, copy, first.dds, true, 0), 0);
}

TEST_F(Walk, OpenCloseAndTheirFailures) {
    Container g = create();
    uint32_t count = 99;
    EXPECT_EQ(exportOne(*g, data).status, -12);
    EXPECT_EQ(message(), L"尚未打开 G1T 数据！");
    Bytes copy = data;
    EXPECT_EQ(importOne(*g, copy, Bytes(300)), -12);
    EXPECT_EQ(message(), L"尚未打开 G1T 数据！");

    EXPECT_EQ(g->OpenData(data.data(), 0, 0, &count, false), -11);
    EXPECT_EQ(message(), L"数据大小为零！");
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(exportOne(*g, data).status, -12);

    ASSERT_EQ(g->OpenData(data.data(), 0, uint32_t(data.size()), &count, false), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(exportOne(*g, data).name, L"DXT1");
    // A second open is refused and the first container stays open, cursor and all.
    Bytes other = G1tBuilder(true).build();
    uint32_t otherCount = 77;
    EXPECT_EQ(g->OpenData(other.data(), 0, uint32_t(other.size()), &otherCount, true), -10);
    EXPECT_EQ(message(), L"G1T 数据已打开！");
    EXPECT_EQ(otherCount, 77u);
    EXPECT_EQ(exportOne(*g, data).name, L"DXT5");

    // Closing forgets the cursor; closing twice is harmless.
    g->CloseData();
    g->CloseData();
    EXPECT_EQ(exportOne(*g, data).status, -12);
    ASSERT_EQ(g->OpenData(data.data(), 0, uint32_t(data.size()), &count, false), 0);
    EXPECT_EQ(exportOne(*g, data).name, L"DXT1");
}

TEST_F(Walk, ContainerInsideALargerBuffer) {
    Bytes blob(100 + data.size() + 50, 0xAB);
    std::copy(data.begin(), data.end(), blob.begin() + 100);
    Container g = openOn(blob, false, 100, uint32_t(data.size()));
    Exported r = exportOne(*g, blob, true, 1);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(Bytes(r.dds.begin() + 128, r.dds.end()), builder.pixels(1));
    Bytes copy = blob;
    ASSERT_EQ(importOne(*g, copy, flipped(r.dds, 128), true, 1), 0);
    EXPECT_EQ(copy, withPixelsAt(blob, 100 + builder.dataPos(1), flipped(builder.pixels(1), 0)));
}

TEST(TableOffset, IsReadFromTheHeaderNotAssumed) {
    for (bool bigEndian : {false, true}) {
        G1tBuilder builder(bigEndian);
        builder.tableGap(36);
        builder.add(kG1tBc7, 3, 2);
        builder.add(kG1tDxt3, 2, 3);
        const Bytes data = builder.build();
        Container g = openOn(data, bigEndian);
        exportOne(*g, data);
        Exported r = exportOne(*g, data);
        EXPECT_EQ(r.name, L"DXT3");
        EXPECT_EQ(Bytes(r.dds.begin() + 128, r.dds.end()), builder.pixels(1));
    }
}

// ---- Unsupported formats ----

TEST(UnsupportedFormat, NamesTheCodeAndPassesTheTextureOver) {
    G1tBuilder builder(false);
    builder.add(0x09, 2, 2);
    builder.add(0xAB, 2, 2);
    builder.add(kG1tDxt1, 2, 2);
    const Bytes data = builder.build();
    Container g = openOn(data, false);

    Exported nine = exportOne(*g, data);
    EXPECT_EQ(nine.status, 9);
    EXPECT_EQ(message(), L"尚不支持的贴图类型：0x09");
    EXPECT_EQ(nine.length, 0u);
    EXPECT_FALSE(nine.allocated);
    EXPECT_EQ(nine.name, L"untouched");
    EXPECT_EQ(exportOne(*g, data).status, 0xAB);
    EXPECT_EQ(message(), L"尚不支持的贴图类型：0xab");
    EXPECT_EQ(exportOne(*g, data).name, L"DXT1"); // the cursor moved past both

    Bytes copy = data;
    Bytes anyDds = exportedDds(kG1tDxt1, 4, 4, 1, Bytes(8));
    EXPECT_EQ(importOne(*g, copy, anyDds, true, 0), 9);
    EXPECT_EQ(message(), L"尚不支持的贴图类型：9");
    EXPECT_EQ(importOne(*g, copy, anyDds, false), 0xAB);
    EXPECT_EQ(message(), L"尚不支持的贴图类型：ab");
    EXPECT_EQ(copy, data);
    EXPECT_EQ(importOne(*g, copy, anyDds, false), 0); // texture 2
}

// ---- Hostile containers ----

int32_t openStatus(const Bytes& data, uint32_t size, bool bigEndian = false) {
    Container g = create();
    uint32_t count = 55;
    int32_t status = g->OpenData(data.data(), 0, size, &count, bigEndian);
    if (status != 0) {
        EXPECT_EQ(count, 55u);
    }
    return status;
}

TEST(HostileContainer, OpenRefusesShortHeadersAndTablesOutside) {
    for (bool bigEndian : {false, true}) {
        G1tBuilder builder(bigEndian);
        builder.add(kG1tDxt1, 2, 2);
        builder.add(kG1tDxt1, 2, 2);
        Bytes data = builder.build();
        EXPECT_EQ(openStatus(data, 19, bigEndian), -13);
        EXPECT_EQ(message(), L"G1T 数据头不完整！");
        // The table ends at 36: a container of exactly that much opens, one byte less not.
        EXPECT_EQ(openStatus(data, 36, bigEndian), 0);
        EXPECT_EQ(openStatus(data, 35, bigEndian), -13);
        EXPECT_EQ(message(), L"贴图偏移表超出 G1T 数据范围！");
        for (uint32_t count : {0xFFFFFFFFu, 0x40000001u, 1000u}) {
            Bytes hostile = data;
            patchU32(hostile, 16, count, bigEndian);
            EXPECT_EQ(openStatus(hostile, uint32_t(hostile.size()), bigEndian), -13) << count;
        }
        for (uint32_t offset : {uint32_t(data.size()), 0xFFFFFFFCu}) {
            Bytes hostile = data;
            patchU32(hostile, 12, offset, bigEndian);
            EXPECT_EQ(openStatus(hostile, uint32_t(hostile.size()), bigEndian), -13) << offset;
        }
    }
}

// Export and import of texture 0 both fail with the status and message; the buffer is kept.
void expectTextureRefused(const Bytes& data, uint32_t size, bool bigEndian,
                          const wchar_t* expected) {
    Container g = create();
    uint32_t count = 0;
    ASSERT_EQ(g->OpenData(data.data(), 0, size, &count, bigEndian), 0);
    Exported r = exportOne(*g, data, true, 0);
    EXPECT_EQ(r.status, -13);
    EXPECT_EQ(message(), expected);
    EXPECT_EQ(r.length, 0u);
    EXPECT_FALSE(r.allocated);
    Bytes copy = data;
    EXPECT_EQ(importOne(*g, copy, Bytes(1 << 16)), -13);
    EXPECT_EQ(message(), expected);
    EXPECT_EQ(copy, data);
}

TEST(HostileContainer, TextureHeadersOutside) {
    for (bool bigEndian : {false, true}) {
        G1tBuilder builder(bigEndian);
        builder.add(kG1tDxt1, 2, 2);
        const Bytes data = builder.build();
        const uint32_t header = builder.headerPos(0);
        // The last entry wraps to the container's start in 32-bit arithmetic.
        for (uint32_t entry : {uint32_t(data.size()), 0xFFFFFFFFu, 0u - builder.tableOffset()}) {
            Bytes hostile = data;
            patchU32(hostile, builder.tableOffset(), entry, bigEndian);
            expectTextureRefused(hostile, uint32_t(hostile.size()), bigEndian,
                                 L"贴图头超出 G1T 数据范围！");
        }
        expectTextureRefused(data, header + 7, bigEndian, L"贴图头超出 G1T 数据范围！");
    }
    // The shifted layout's flag at byte 9 must be inside as well.
    G1tBuilder shifted(false);
    G1tTexture t;
    t.shiftedLayout = true;
    t.pixels = Bytes();
    shifted.add(t);
    const Bytes data = shifted.build();
    expectTextureRefused(data, uint32_t(data.size()), false, L"贴图头超出 G1T 数据范围！");
}

TEST(HostileContainer, ExtensionLengthsPastTheEnd) {
    for (bool bigEndian : {false, true}) {
        for (bool shiftedLayout : {false, true}) {
            G1tBuilder builder(bigEndian);
            G1tTexture t;
            t.format = kG1tDxt1;
            t.widthLog2 = t.heightLog2 = 2;
            t.shiftedLayout = shiftedLayout;
            t.extensionLength = 8;
            builder.add(t);
            const Bytes data = builder.build();
            const uint32_t field = builder.headerPos(0) + (shiftedLayout ? 10 : 8);
            const uint32_t toEnd = uint32_t(data.size()) - builder.headerPos(0) - 8;
            for (uint32_t length : {toEnd + 1, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
                Bytes hostile = data;
                patchU32(hostile, field, length, bigEndian);
                expectTextureRefused(hostile, uint32_t(hostile.size()), bigEndian,
                                     L"贴图扩展头超出 G1T 数据范围！");
            }
            // The length field itself cut off by the container's end.
            expectTextureRefused(data, field + 3, bigEndian, L"贴图扩展头超出 G1T 数据范围！");
        }
    }
}

TEST(HostileContainer, PixelDataPastTheEnd) {
    for (uint8_t format : kG1tSupportedFormats) {
        G1tBuilder builder(true);
        builder.add(format, 3, 2, 2);
        const Bytes data = builder.build();
        expectTextureRefused(data, uint32_t(data.size()) - 1, true, L"贴图数据超出 G1T 数据范围！");
    }
    // 32768 x 32768 ARGB: 4 GiB of pixels claimed by a tiny container.
    G1tBuilder huge(false);
    G1tTexture t;
    t.format = kG1tArgb;
    t.widthLog2 = t.heightLog2 = 15;
    t.pixels = Bytes(64, 1);
    huge.add(t);
    const Bytes data = huge.build();
    expectTextureRefused(data, uint32_t(data.size()), false, L"贴图数据超出 G1T 数据范围！");
}

TEST(HostileContainer, TheSizeGivenAtOpenIsTheLimitAndTheWalkGoesOn) {
    G1tBuilder builder(false);
    builder.add(kG1tDxt5, 2, 2);
    builder.add(kG1tDxt1, 2, 2);
    Bytes data = builder.build();
    // Texture 0 points behind texture 1: inside the buffer, outside the container's size.
    patchU32(data, builder.tableOffset(), builder.headerPos(1) + 4, false);
    data.resize(data.size() + 64, 0);
    Container g = create();
    uint32_t count = 0;
    ASSERT_EQ(g->OpenData(data.data(), 0, builder.size(), &count, false), 0);
    EXPECT_EQ(exportOne(*g, data).status, -13);
    Exported next = exportOne(*g, data);
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(next.name, L"DXT1");
}

// ---- DDS files offered for import ----

class DdsChecks : public ::testing::Test {
  protected:
    // One texture of the format, 8 x 4, one level.
    void make(uint8_t format) {
        builder = G1tBuilder(false);
        builder.add(format, 3, 2, 1);
        data = builder.build();
        g = openOn(data, false);
        size = g1tDataSize(format, 8, 4, 1);
    }
    Bytes pixels(uint8_t seed = 0x33) const {
        Bytes p(size);
        for (size_t i = 0; i < p.size(); ++i)
            p[i] = uint8_t(seed + i);
        return p;
    }
    DdsDescription described(const std::string& fourCC, uint32_t dxgi = 0) const {
        DdsDescription d;
        d.width = 8;
        d.height = 4;
        d.fourCC = fourCC;
        d.dxgiFormat = dxgi;
        return d;
    }
    // Imports and tells whether the pixels landed; on refusal the container must be unchanged.
    int32_t offer(const Bytes& file) {
        Bytes copy = data;
        int32_t status = importOne(*g, copy, file, true, 0);
        Bytes expected = status == 0 ? withPixelsAt(data, builder.dataPos(0), pixels()) : data;
        EXPECT_EQ(copy, expected);
        return status;
    }
    void expectAccepted(const std::string& fourCC, uint32_t dxgi = 0) {
        EXPECT_EQ(offer(ddsFile(described(fourCC, dxgi), pixels())), 0) << fourCC << dxgi;
    }
    void expectWrongFormat(const std::string& fourCC, uint32_t dxgi = 0) {
        EXPECT_EQ(offer(ddsFile(described(fourCC, dxgi), pixels())), -14) << fourCC << dxgi;
        EXPECT_EQ(message(), L"要导入的 DDS 文件与贴图的格式不符！");
    }

    G1tBuilder builder{false};
    Bytes data;
    Container g;
    uint32_t size = 0;
};

TEST_F(DdsChecks, MagicSizeAndLengthInThatOrder) {
    make(kG1tDxt1);
    const Bytes good = ddsFile(described("DXT1"), pixels());
    EXPECT_EQ(offer(Bytes(good.begin(), good.begin() + 127)), -11);
    EXPECT_EQ(message(), L"要导入的文件过小！");

    Bytes wrongMagic = good;
    wrongMagic[3] = '_';
    EXPECT_EQ(offer(wrongMagic), -14);
    EXPECT_EQ(message(), L"要导入的文件不是 DDS 文件！");

    for (auto [width, height] : {std::pair<uint32_t, uint32_t>{4, 8}, {8, 8}, {16, 4}}) {
        DdsDescription d = described("DXT1");
        d.width = width;
        d.height = height;
        EXPECT_EQ(offer(ddsFile(d, pixels())), -14) << width << "x" << height;
        EXPECT_EQ(message(), L"要导入的 DDS 文件与贴图的尺寸不符！");
    }

    EXPECT_EQ(offer(Bytes(good.begin(), good.end() - 1)), -11);
    EXPECT_EQ(message(), L"要导入的文件过小！");
    EXPECT_EQ(offer(good), 0);
    // Extra bytes behind the data (further levels) are not copied.
    Bytes longer = good;
    longer.insert(longer.end(), 40, 0xFF);
    EXPECT_EQ(offer(longer), 0);
}

TEST_F(DdsChecks, Dx10HeaderMovesThePixelDataTo148) {
    make(kG1tDxt1);
    const Bytes dx10 = ddsFile(described("DX10", 71), pixels());
    EXPECT_EQ(offer(dx10), 0);
    EXPECT_EQ(offer(Bytes(dx10.begin(), dx10.begin() + 147)), -11);
    EXPECT_EQ(offer(Bytes(dx10.begin(), dx10.end() - 1)), -11);
    EXPECT_EQ(message(), L"要导入的文件过小！");
}

TEST_F(DdsChecks, FourCCCountsOnlyWithItsFlag) {
    make(kG1tDxt1);
    Bytes noFlag = ddsFile(described("DXT1"), pixels());
    patchU32(noFlag, 80, 0, false);
    EXPECT_EQ(offer(noFlag), -14);
    EXPECT_EQ(message(), L"要导入的 DDS 文件与贴图的格式不符！");
}

TEST_F(DdsChecks, AcceptedAndRefusedPixelFormatsPerTexture) {
    make(kG1tDxt1);
    expectAccepted("DXT1");
    expectAccepted("DX10", 71);
    expectAccepted("DX10", 72);
    expectWrongFormat("DXT5");
    expectWrongFormat("DX10", 70);
    expectWrongFormat("DX10", 77);
    expectWrongFormat("");

    make(kG1tDxt1Alt);
    expectAccepted("DXT1");
    expectWrongFormat("DXT3");

    make(kG1tDxt3);
    expectAccepted("DXT3");
    expectAccepted("DX10", 74);
    expectAccepted("DX10", 75);
    expectWrongFormat("DXT5");
    expectWrongFormat("DXT2");
    expectWrongFormat("DX10", 77);

    make(kG1tDxt5);
    expectAccepted("DXT5");
    expectAccepted("DX10", 77);
    expectAccepted("DX10", 78);
    expectWrongFormat("DXT3");
    expectWrongFormat("DXT4");
    expectWrongFormat("DX10", 74);

    make(kG1tBc4);
    expectAccepted("BC4U");
    expectAccepted("ATI1");
    expectAccepted("DX10", 80);
    expectWrongFormat("BC4S");
    expectWrongFormat("ATI2");
    expectWrongFormat("DX10", 81);
    expectWrongFormat("DXT1");

    make(kG1tBc6h);
    expectAccepted("DX10", 95);
    expectWrongFormat("DX10", 96);
    expectWrongFormat("DXT5");

    make(kG1tBc7);
    expectAccepted("DX10", 98);
    expectAccepted("DX10", 99);
    expectWrongFormat("DX10", 97);
    expectWrongFormat("DX10", 95);
    expectWrongFormat("DXT5");
}

TEST_F(DdsChecks, ArgbNeedsTheExportedMasks) {
    make(kG1tArgbAlt);
    expectAccepted("");
    Bytes noAlphaFlag = ddsFile(described(""), pixels());
    patchU32(noAlphaFlag, 80, 0x40, false);
    EXPECT_EQ(offer(noAlphaFlag), 0);

    struct Change {
        size_t pos;
        uint32_t value;
    };
    for (Change c : {Change{80, 0x1}, Change{80, 0x45}, Change{88, 24}, Change{92, 0x000000FF},
                     Change{100, 0x00FF0000}, Change{104, 0}}) {
        Bytes file = ddsFile(described(""), pixels());
        patchU32(file, c.pos, c.value, false);
        EXPECT_EQ(offer(file), -14) << c.pos;
        EXPECT_EQ(message(), L"要导入的 DDS 文件与贴图的格式不符！");
    }
    expectWrongFormat("DXT1");
    expectWrongFormat("DX10", 87);
}

} // namespace
} // namespace karv::test
