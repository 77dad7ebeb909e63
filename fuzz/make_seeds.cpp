// Writes the seed inputs of every fuzz target, built byte by byte from the formats (and by
// the library's own compressors), in the layouts the targets' comments give.
//
//   make_seeds <folder>      writes <folder>/<target>/<seed>
#include "karvcore/formats.h"
#include "karvcore/tuning.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// ---- Numbers and pieces ----

void putU16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void putU32(Bytes& out, uint32_t v, bool bigEndian = false) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

void putU64(Bytes& out, uint64_t v, bool bigEndian = false) {
    putU32(out, uint32_t(bigEndian ? v >> 32 : v), bigEndian);
    putU32(out, uint32_t(bigEndian ? v : v >> 32), bigEndian);
}

void setU32(Bytes& out, size_t at, uint32_t v, bool bigEndian = false) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (bigEndian ? 24 - 8 * i : 8 * i));
}

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// A piece as InputReader::piece reads it.
void putPiece(Bytes& out, const Bytes& piece) {
    putU16(out, uint16_t(piece.size()));
    append(out, piece);
}

void padTo(Bytes& out, size_t multiple) {
    while (out.size() % multiple != 0)
        out.push_back(0);
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Varied but compressible content.
Bytes content(size_t length, uint8_t seed) {
    Bytes out(length);
    for (size_t i = 0; i < length; ++i)
        out[i] = uint8_t(seed + (i % 61) * 3 + (i / 512));
    return out;
}

Bytes withMode(uint8_t mode, const Bytes& rest) {
    Bytes out{mode};
    append(out, rest);
    return out;
}

// ---- Containers, made by the library ----

// The seeds' own names for the data types.
enum class Kind : int32_t {
    F357 = karv::kDataType357,
    Z54 = karv::kDataTypeZ54,
    F358 = karv::kDataType358
};

Bytes compress(Kind kind, const Bytes& input, bool bigEndian, uint32_t chunkSize = 262144) {
    uint8_t* out = nullptr;
    uint32_t used = 0, padded = 0;
    int32_t status = karv::FindContainerKind(int32_t(kind))
                         ->compress(out, input.data(), uint32_t(input.size()), &used, &padded,
                                    chunkSize, bigEndian, 9);
    if (status != 0) {
        std::fprintf(stderr, "compression failed\n");
        std::exit(1);
    }
    Bytes container(out, out + used);
    std::free(out);
    return container;
}

std::vector<Bytes> containerSeeds(Kind kind) {
    std::vector<Bytes> seeds;
    for (bool big : {false, true}) {
        for (size_t length : {1, 100, 5000, 70000}) {
            uint32_t chunk = length > 1000 ? 4096 : 262144;
            seeds.push_back(
                withMode(big, compress(kind, content(length, uint8_t(length)), big, chunk)));
        }
    }
    // A stored chunk: a record whose first byte is not 0x78 is copied as it stands.
    Bytes stored;
    const Bytes raw = text("stored chunk");
    if (kind == Kind::Z54) {
        putU32(stored, uint32_t(raw.size()));
        putU32(stored, uint32_t(raw.size()));
        append(stored, raw);
        putU32(stored, 0);
    } else {
        if (kind == Kind::F357) {
            putU32(stored, 65536);
            putU32(stored, 1);
            putU32(stored, uint32_t(raw.size()));
        } else {
            append(stored, {0x7A, 0x70, 0x31, 0x00});
            putU32(stored, uint32_t(raw.size()));
            putU32(stored, 65536);
            putU32(stored, 1);
        }
        putU32(stored, uint32_t(4 + raw.size()));
        padTo(stored, kind == Kind::F357 ? 128 : 2048);
        putU32(stored, uint32_t(raw.size()));
        append(stored, raw);
    }
    seeds.push_back(withMode(0, stored));
    return seeds;
}

std::vector<Bytes> roundTripSeeds() {
    std::vector<Bytes> seeds;
    for (uint8_t kind : {0, 1, 2}) {
        for (uint8_t big : {0, 4}) {
            Bytes seed{uint8_t(kind | big | (9 << 4))};
            putU32(seed, kind == 2 ? 999 : 0);
            append(seed, content(3000, kind));
            seeds.push_back(seed);
        }
    }
    return seeds;
}

// ---- Index files and archives ----

struct Member {
    Bytes stored;
    uint32_t marker;
};

std::vector<Member> members(Kind kind, bool big) {
    return {{text("raw member"), 0},
            {compress(kind, content(900, 7), big), 0x384},
            {text("tagged raw"), 0x43535442},
            {Bytes(), 0x38000800}};
}

// 357/358: 32-byte entries, members at multiples of 256 from the start of the archive.
Bytes indexSeed32(Kind kind, bool big) {
    Bytes index, archive;
    for (const Member& m : members(kind, big)) {
        padTo(archive, 256);
        putU64(index, archive.size(), big);
        putU32(index, uint32_t(m.stored.size()), big);
        putU32(index, 0, big);
        putU32(index, uint32_t(m.stored.size()), big);
        putU32(index, 0, big);
        putU32(index, m.marker, big);
        putU32(index, 0, big);
        append(archive, m.stored);
    }
    Bytes seed{uint8_t((kind == Kind::F357 ? 0 : 2) | (big ? 4 : 0))};
    putPiece(seed, index);
    append(seed, archive);
    return seed;
}

// Z54: the header and 16-byte entries at the start of the archive, offsets in units of 64.
Bytes indexSeedZ54(bool big) {
    const uint32_t unit = 64;
    const std::vector<Member> list = members(Kind::Z54, big);
    Bytes index;
    putU32(index, 0, big);
    putU32(index, uint32_t(list.size()), big);
    putU32(index, unit, big);
    putU32(index, 0, big);
    size_t at = 16 + 16 * list.size();
    Bytes rest;
    for (const Member& m : list) {
        size_t offset = (at + unit - 1) / unit * unit;
        rest.resize(offset - 16 - 16 * list.size(), 0);
        putU64(index, offset / unit, big);
        putU32(index, uint32_t(m.stored.size()), big);
        putU32(index, m.marker, big);
        append(rest, m.stored);
        at = 16 + 16 * list.size() + rest.size();
    }
    Bytes seed{uint8_t(1 | (big ? 4 : 0))};
    putPiece(seed, index);
    append(seed, rest);
    return seed;
}

std::vector<Bytes> indexSeeds() {
    std::vector<Bytes> seeds;
    for (bool big : {false, true}) {
        seeds.push_back(indexSeed32(Kind::F357, big));
        seeds.push_back(indexSeed32(Kind::F358, big));
        seeds.push_back(indexSeedZ54(big));
    }
    return seeds;
}

// ---- Packed blobs ----

std::vector<Bytes> blobSeeds() {
    std::vector<Bytes> seeds;
    const std::vector<Bytes> files = {text("first"), text("second file"), text("3")};
    for (bool big : {false, true}) {
        // Offset and size: N pairs behind the count.
        Bytes pairs;
        putU32(pairs, uint32_t(files.size()), big);
        uint32_t at = uint32_t(4 + 8 * files.size());
        for (const Bytes& f : files) {
            putU32(pairs, at, big);
            putU32(pairs, uint32_t(f.size()), big);
            at += uint32_t(f.size());
        }
        for (const Bytes& f : files)
            append(pairs, f);
        seeds.push_back(withMode(big, pairs));
        // Offset only: the starts of sub-files 0 to N - 2 behind the count.
        Bytes starts;
        putU32(starts, uint32_t(files.size()), big);
        at = uint32_t(4 * files.size());
        for (size_t i = 0; i + 1 < files.size(); ++i) {
            putU32(starts, at, big);
            at += uint32_t(files[i].size());
        }
        for (const Bytes& f : files)
            append(starts, f);
        seeds.push_back(withMode(big, starts));
    }
    return seeds;
}

// ---- Texture containers and DDS files ----

struct Texture {
    uint8_t code;
    uint8_t widthLog2, heightLog2, levels;
    bool shifted = false;   // header byte 3 repeats the code
    uint32_t extension = 0; // bytes of extension behind the header (0: none)
    uint32_t dataSize;
};

Bytes textureHeader(const Texture& t, bool big) {
    Bytes h(8, 0);
    h[0] = uint8_t(big ? t.levels & 15 : t.levels << 4);
    h[1] = t.code;
    h[2] = uint8_t(big ? t.widthLog2 << 4 | t.heightLog2 : t.heightLog2 << 4 | t.widthLog2);
    h[3] = t.shifted ? t.code : 0;
    if (t.extension != 0) {
        const size_t flagAt = 7 + (t.shifted ? 2 : 0);
        h.resize(8 + t.extension, 0);
        h[flagAt] = 1;
        setU32(h, flagAt + 1, t.extension, big);
    }
    return h;
}

Bytes g1tContainer(const std::vector<Texture>& textures, bool big) {
    Bytes c = big ? text("G1TG") : text("GT1G");
    append(c, text("0060"));
    putU32(c, 0, big); // file size, filled in below
    putU32(c, 32, big);
    putU32(c, uint32_t(textures.size()), big);
    padTo(c, 32);
    const size_t table = c.size();
    c.resize(table + 4 * textures.size(), 0);
    for (size_t i = 0; i < textures.size(); ++i) {
        padTo(c, 16);
        setU32(c, table + 4 * i, uint32_t(c.size() - table), big);
        append(c, textureHeader(textures[i], big));
        append(c, content(textures[i].dataSize, uint8_t(i * 40)));
    }
    setU32(c, 8, uint32_t(c.size()), big);
    return c;
}

// A DDS file of a 4 x 4 DXT1 texture, as the export writes one.
Bytes ddsDxt1() {
    Bytes d = text("DDS ");
    putU32(d, 124);
    putU32(d, 0x00081007);
    putU32(d, 4);
    putU32(d, 4);
    d.resize(76, 0);
    putU32(d, 32);
    putU32(d, 4);
    append(d, text("DXT1"));
    d.resize(108, 0);
    putU32(d, 0x1000);
    d.resize(128, 0);
    append(d, content(8, 99));
    return d;
}

std::vector<Bytes> g1tSeeds() {
    std::vector<Bytes> seeds;
    const std::vector<Texture> textures = {
        {0x06, 2, 2, 1, false, 0, 8},      // DXT1 4 x 4
        {0x00, 1, 1, 1, false, 0, 16},     // ARGB 2 x 2
        {0x08, 3, 3, 2, true, 0, 64 + 16}, // DXT5 8 x 8, two levels, shifted layout
        {0x5F, 2, 3, 1, false, 12, 32},    // BC7 4 x 8 with an extension
        {0x5E, 2, 2, 1, true, 8, 16},      // BC6H, shifted layout with an extension
        {0x5C, 2, 2, 1, false, 0, 8},      // BC4
        {0x42, 2, 2, 1, false, 0, 8},      // unsupported
    };
    for (bool big : {false, true}) {
        for (uint8_t front : {0, 5}) {
            Bytes container = g1tContainer(textures, big);
            Bytes seed{uint8_t(big | 2), front};
            putU16(seed, uint16_t(container.size()));
            putU32(seed, 0);
            seed.resize(seed.size() + front, 0xEE);
            append(seed, container);
            append(seed, ddsDxt1());
            seeds.push_back(seed);
        }
    }
    return seeds;
}

// ---- Text files ----

Bytes utf16(const std::wstring& s, bool big, bool mark) {
    Bytes out;
    auto unit = [&](uint16_t u) {
        out.push_back(uint8_t(big ? u >> 8 : u));
        out.push_back(uint8_t(big ? u : u >> 8));
    };
    if (mark)
        unit(0xFEFF);
    for (wchar_t c : s) {
        uint32_t code = uint32_t(c);
        if (code > 0xFFFF) {
            code -= 0x10000;
            unit(uint16_t(0xD800 | code >> 10));
            unit(uint16_t(0xDC00 | (code & 0x3FF)));
        } else {
            unit(uint16_t(code));
        }
    }
    return out;
}

const std::wstring kSampleText = L"第一行 line\r\nzweite Zeile\n\r\n末行";

std::vector<Bytes> textSeeds() {
    std::vector<Bytes> seeds;
    const Bytes utf8 = text("\xEF\xBB\xBF"
                            "\xE7\xAC\xAC\xE4\xB8\x80 line\r\nzweite\nend");
    for (uint8_t call : {0, 4, 8}) {
        seeds.push_back(withMode(uint8_t(0 | call), utf8));
        seeds.push_back(withMode(uint8_t(1 | call), utf16(kSampleText, false, true)));
        seeds.push_back(withMode(uint8_t(1 | call), utf16(kSampleText, true, true)));
        // GBK: 中文 and a line break.
        seeds.push_back(withMode(uint8_t(2 | call), text("\xD6\xD0\xCE\xC4\r\nabc")));
        seeds.push_back(withMode(uint8_t(3 | call), text("caf\xE9\r\nna\xEFve\n")));
    }
    seeds.push_back(withMode(0, text("bad \x80 lead\nnext")));
    return seeds;
}

std::vector<Bytes> configSeeds() {
    const std::wstring config = L"说明：每个游戏一节\r\n"
                                L"#游戏一\r\n"
                                L"Voxbank 位置=D:\\Games\\One\r\n"
                                L"数据模式=pc\r\n"
                                L"Voxbank 类型=357\r\n"
                                L"IDX 文件数量=1\r\n"
                                L"IDX 文件名=LINKIDX.BIN\r\n"
                                L"Voxbank 数量=2\r\n"
                                L"Voxbank 文件名=LINKDATA.A/LINKDATA.B\r\n"
                                L"Voxbank 地址=0/1A0\r\n"
                                L"导出路径=Extracted\r\n"
                                L"导入路径=\r\n"
                                L"#游戏二\r\n"
                                L"数据模式=PS3\r\n"
                                L"Voxbank 类型=Z54\r\n"
                                L"Voxbank 数量=1\r\n"
                                L"Voxbank 文件名=BIN.Z54\r\n"
                                L"Voxbank 地址=\r\n";
    return {withMode(0, utf16(config, false, true)), withMode(1, utf16(config, false, false)),
            withMode(0, utf16(config, true, true))};
}

// ---- Backup and restore ----

// A 357 game in two archive files after an import: the archives have grown behind their saved
// sizes, and the backup holds the table as it was.
Bytes backupSeed357(bool big, uint8_t fileCount, bool restoreFirst) {
    Bytes index;
    for (uint32_t i = 0; i < 3; ++i) {
        putU64(index, 256 * i, big);
        putU32(index, 100, big);
        putU32(index, 0, big);
        putU32(index, 100, big);
        putU32(index, 0, big);
        putU32(index, 0, big);
        putU32(index, 0, big);
    }
    Bytes tableCopy = index;
    setU32(index, 0, 1024, big); // the import moved entry 0 behind the saved end
    Bytes archive0 = content(1024 + 256, 1), archive1 = content(300, 2);
    Bytes record;
    putU64(record, 1024);
    putU64(record, fileCount >= 2 ? 256 : 0);
    record.resize(80, 0);
    putU32(record, 256);
    putU32(record, 0);
    putU32(record, 0);
    Bytes seed{uint8_t(0 | (big ? 4 : 0) | fileCount << 3 | (restoreFirst ? 0x80 : 0))};
    for (const Bytes* piece : {&index, &archive0, &archive1, &tableCopy, &record})
        putPiece(seed, *piece);
    return seed;
}

Bytes backupSeedZ54(bool big, bool restoreFirst) {
    Bytes archive;
    putU32(archive, 0, big);
    putU32(archive, 2, big);
    putU32(archive, 64, big);
    putU32(archive, 0, big);
    for (uint32_t i = 0; i < 2; ++i) {
        putU64(archive, 1 + i, big);
        putU32(archive, 64, big);
        putU32(archive, 0, big);
    }
    archive.resize(192, 0x33);
    Bytes tableCopy(archive.begin() + 16, archive.end() - 144);
    setU32(archive, 16, 3, big); // entry 0 now points behind the saved end
    archive.resize(256, 0x44);
    Bytes record;
    putU64(record, 192);
    record.resize(80, 0);
    putU32(record, 64);
    putU32(record, 0);
    const Bytes none;
    Bytes seed{uint8_t(1 | (big ? 4 : 0) | (restoreFirst ? 0x80 : 0))};
    // The index file is not used by Z54 games, and there is no second archive file.
    for (const Bytes* piece :
         {&none, &static_cast<const Bytes&>(archive), &none, &static_cast<const Bytes&>(tableCopy),
          &static_cast<const Bytes&>(record)})
        putPiece(seed, *piece);
    return seed;
}

std::vector<Bytes> backupSeeds() {
    std::vector<Bytes> seeds;
    for (bool big : {false, true}) {
        for (bool restoreFirst : {false, true}) {
            seeds.push_back(backupSeed357(big, 2, restoreFirst));
            seeds.push_back(backupSeed357(big, 0, restoreFirst));
            seeds.push_back(backupSeedZ54(big, restoreFirst));
        }
    }
    return seeds;
}

// ---- Archive imports ----

// A name piece for "<digits>.data": the fuzzer maps bytes 0 to 9 onto the digits.
Bytes digitsName(uint32_t entry) {
    Bytes name;
    for (char c : std::to_string(entry))
        name.push_back(uint8_t(c - '0'));
    return name;
}

// A game right after its backup (record: the archive's size, slots 0 or, with `owned`, entry 0
// owning the region behind the saved end), and files for a raw, a compressed and a tagged raw
// entry and for one beyond the index.
Bytes importSeed(Kind kind, bool big, bool dryRun, bool owned) {
    Bytes seed = kind == Kind::Z54 ? indexSeedZ54(big) : indexSeed32(kind, big);
    seed[0] = uint8_t((kind == Kind::F357  ? 0
                       : kind == Kind::Z54 ? 1
                                           : 2) |
                      (big ? 4 : 0) | (dryRun ? 8 : 0));
    // The index seeds hold the index piece and the archive as the rest; here the archive is a
    // piece of its own.
    const size_t indexLength = seed[1] | seed[2] << 8;
    Bytes index(seed.begin() + 3, seed.begin() + 3 + long(indexLength));
    Bytes archive(seed.begin() + 3 + long(indexLength), seed.end());
    const size_t archiveSize = (kind == Kind::Z54 ? index.size() : 0) + archive.size();
    if (owned)
        archive.resize(archive.size() + 1024, 0x5A);
    Bytes record;
    putU64(record, archiveSize);
    record.resize(80, 0);
    for (uint32_t i = 0; i < 4; ++i)
        putU32(record, owned && i == 0 ? 1024 : 0);
    if (owned) {
        // Entry 0 points at its own region behind the saved end.
        const uint32_t unit = 64;
        if (kind == Kind::Z54)
            setU32(index, 16 + (big ? 4 : 0), uint32_t(archiveSize / unit), big);
        else
            setU32(index, big ? 4 : 0, uint32_t(archiveSize), big);
    }
    Bytes out{seed[0]};
    putPiece(out, index);
    putPiece(out, archive);
    putPiece(out, record);
    putPiece(out, digitsName(0));
    putPiece(out, content(600, 11));
    putPiece(out, Bytes{0, 0, 1});
    putPiece(out, content(2000, 12));
    putPiece(out, digitsName(2));
    putPiece(out, text("tagged raw, new"));
    putPiece(out, digitsName(3000));
    putPiece(out, text("beyond the index"));
    return out;
}

std::vector<Bytes> importSeeds() {
    std::vector<Bytes> seeds;
    for (Kind kind : {Kind::F357, Kind::Z54, Kind::F358})
        for (bool big : {false, true})
            seeds.push_back(importSeed(kind, big, false, false));
    seeds.push_back(importSeed(Kind::F357, false, false, true));
    seeds.push_back(importSeed(Kind::Z54, true, false, true));
    seeds.push_back(importSeed(Kind::F358, false, true, false));
    return seeds;
}

// ---- Writing ----

bool writeSeeds(const fs::path& folder, const std::string& target,
                const std::vector<Bytes>& seeds) {
    fs::path dir = folder / target;
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream out(dir / ("seed-" + std::to_string(i)), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seeds[i].data()), std::streamsize(seeds[i].size()));
        if (!out) {
            std::fprintf(stderr, "cannot write seeds of %s\n", target.c_str());
            return false;
        }
    }
    return true;
}

// Containers of every kind as both engines write them (libdeflate's and zlib's streams differ),
// with the thread bit set and clear, and bare streams at several levels.
std::vector<Bytes> inflateEngineSeeds() {
    std::vector<Bytes> seeds;
    for (karv::CodecEngine engine : {karv::CodecEngine::Fast, karv::CodecEngine::Zlib}) {
        karv::SetCodecEngine(engine);
        for (Kind kind : {Kind::F357, Kind::Z54, Kind::F358}) {
            const uint8_t type = kind == Kind::F357 ? 0 : kind == Kind::Z54 ? 1 : 2;
            for (bool big : {false, true})
                seeds.push_back(withMode(uint8_t(type | (big ? 4 : 0) | 8),
                                         compress(kind, content(70000, type), big, 4096)));
        }
        for (uint8_t threads : {0, 8}) {
            Bytes bare{uint8_t(3 | threads)};
            putU16(bare, 3000);
            Bytes stream = compress(Kind::Z54, content(3000, 5), false);
            // The one record's stream, out of its container (total 4, length 4, then the stream).
            append(bare, Bytes(stream.begin() + 8, stream.end() - 4));
            seeds.push_back(bare);
        }
    }
    karv::SetCodecEngine(karv::CodecEngine::Fast);
    return seeds;
}

// ---- The archive codes' words ----

// Each: the code's number, then the words separated by zero bytes.
template <size_t N> Bytes commandSeed(uint8_t code, const char (&words)[N]) {
    Bytes seed{code};
    seed.insert(seed.end(), words, words + N - 1);
    return seed;
}

std::vector<Bytes> commandLineSeeds() {
    return {
        commandSeed(0, "1\0VOXDATA_A.BIN\0--json"),
        commandSeed(2, "样例\0--first\0"
                       "007\0--last\0"
                       "12\0--textures\0--DRY-RUN"),
        commandSeed(3, "2\0--backup\0--bogus"),
        commandSeed(4, "1\0--force\0--force"),
        commandSeed(6, "1\0"
                       "2"),
        commandSeed(2, "1\0--first\0-1"),
    };
}

// ---- The mod files ----

// Each: the reader's number (0 mod.json, 1 ledger, 2 intent), then the file.
Bytes modFileSeed(uint8_t reader, const std::string& file) {
    return withMode(reader, text(file));
}

const char kSeedHashA[] = "0123456789abcdef0123456789abcdef";
const char kSeedHashB[] = "99aa06d3014798d86001c324468d497f";

std::string seedMember(const std::string& file, uint32_t entry, const std::string& path) {
    return "{\"file\": \"" + file + "\", \"entry\": " + std::to_string(entry) + ", \"path\": \"" +
           path + "\", \"size\": 5000, \"hash\": \"" + kSeedHashA +
           "\", \"original\": {\"size\": 4800, \"hash\": \"" + kSeedHashB + "\"}}";
}

std::string seedManifest(const std::string& head, const std::string& members) {
    return "{\n  \"format\": 1,\n  " + head +
           ",\n  \"hash\": \"xxh3-128\",\n  \"members\": [\n    " + members + "\n  ]\n}\n";
}

// A ledger of two mods and two entries; `extra` lengthens the first entry's original.
std::string seedLedger(const std::string& extra, const std::string& indent = "") {
    return "{\n" + indent + "  \"format\": 1, \"type\": \"Z54\", \"mode\": \"PC\",\n" + indent +
           "  \"mods\": [{\"name\": \"A\", \"folder\": \"/mods/A\"}, {\"name\": \"汉化补丁\", "
           "\"folder\": \"C:\\\\mods\\\\汉化\"}],\n" +
           indent + "  \"entries\": [\n" + indent + "    {\"entry\": 7, \"original\": \"0001" +
           extra + "\", \"layers\": [{\"mod\": \"A\", \"bytes\": \"0a02\"}]},\n" + indent +
           "    {\"entry\": 42, \"original\": \"1003\", \"layers\": [{\"mod\": \"A\", \"bytes\": "
           "\"1a04\"}, {\"mod\": \"汉化补丁\", \"bytes\": \"1b05\"}]}\n" +
           indent + "  ]\n" + indent + "}";
}

// An intent of two files (the second at the largest size) and one entry, with its ledger.
std::string seedIntent(const std::string& operation, const std::string& mods,
                       const std::string& indent, const std::string& from = "4000") {
    const std::string head = "{\"format\": 1, \"operation\": \"" + operation + "\", \"mods\": [" +
                             mods + "], \"backup\": \"" + kSeedHashA + "\",\n";
    const std::string files =
        "  \"files\": [{\"file\": 0, \"size\": 5000, \"from\": " + from + ", \"hash\": \"" +
        kSeedHashB + "\"}, {\"file\": 3, \"size\": " + std::to_string(UINT64_MAX) +
        ", \"from\": " + std::to_string(UINT64_MAX) + ", \"hash\": \"" + kSeedHashB + "\"}],\n";
    const std::string entries = "  \"entries\": [{\"entry\": 42, \"before\": \"1a04\", \"after\": "
                                "\"1b05\", \"slot\": 3}],\n";
    return head + files + entries + "  \"ledger\": " + seedLedger("", indent) + "}\n";
}

std::vector<Bytes> modFileSeeds() {
    const std::string z54 = "\"name\": \"A\", \"type\": \"Z54\", \"mode\": \"PC\"";
    const std::string f357 = "\"name\": \"汉化补丁\", \"type\": \"357\", \"mode\": \"PS3\"";
    return {
        modFileSeed(
            0,
            seedManifest(z54, seedMember("VOXDATA_A.BIN", 42, "VOXDATA_A/000042.data") + ",\n    " +
                                  seedMember("VOXDATA_B.BIN", 42, "VOXDATA_B/000042.data"))),
        modFileSeed(0,
                    seedManifest(f357, seedMember("数据.BIN", 7, "000007.data") + ",\n    " +
                                           seedMember("数据.BIN", 4294967295u, "4294967295.data"))),
        // A byte-order mark, unknown keys, keys in another order.
        modFileSeed(0, "\xEF\xBB\xBF{\"members\":[{\"note\":[1,{\"a\":null}]," +
                           seedMember("X", 0, "x/y.data").substr(1) +
                           "],\"made by\":\"tool\",\"hash\":\"xxh3-128\",\"mode\":\"PC\","
                           "\"type\":\"358\",\"name\":\"B\",\"format\":1}"),
        // Refused: one entry twice, a path out of the package, a later format, another hash.
        modFileSeed(
            0, seedManifest(f357, seedMember("A", 1, "a") + ",\n    " + seedMember("B", 1, "b"))),
        modFileSeed(0, seedManifest(z54, seedMember("A", 1, "../a"))),
        modFileSeed(0, "{\"format\": 2, \"hash\": \"xxh3-128\"}"),
        modFileSeed(0, "{\"format\": 1, \"hash\": \"md5\", \"format\": 1}"),
        modFileSeed(1, seedLedger("")),
        modFileSeed(1, "{\"format\": 1, \"type\": \"357\", \"mode\": \"PS3\", \"mods\": [], "
                       "\"entries\": []}"),
        modFileSeed(2, seedIntent("MODADD", "\"A\", \"汉化补丁\"", "  ")),
        modFileSeed(2, seedIntent("MODREAPPLY", "\"A\"", "")),
        // Refused: bytes of two lengths, appended bytes that begin after the file's end, a later
        // format.
        modFileSeed(1, seedLedger("00")),
        modFileSeed(2, seedIntent("MODDEL", "\"B\"", "", "5001")),
        modFileSeed(1, "{\"format\": 2}"),
    };
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const fs::path folder(argv[1]);
    const std::vector<std::pair<std::string, std::function<std::vector<Bytes>()>>> targets = {
        {"decompress_357", [] { return containerSeeds(Kind::F357); }},
        {"decompress_z54", [] { return containerSeeds(Kind::Z54); }},
        {"decompress_358", [] { return containerSeeds(Kind::F358); }},
        {"roundtrip_codecs", roundTripSeeds},
        {"index_file", indexSeeds},
        {"data_offset", blobSeeds},
        {"g1t_container", g1tSeeds},
        {"text_reader", textSeeds},
        {"game_config", configSeeds},
        {"backup_restore", backupSeeds},
        {"import_entries", importSeeds},
        {"inflate_engines", inflateEngineSeeds},
        {"command_line", commandLineSeeds},
        {"mod_manifest", modFileSeeds},
    };
    bool ok = true;
    for (const auto& [name, make] : targets)
        ok = writeSeeds(folder, name, make()) && ok;
    return ok ? 0 : 1;
}
