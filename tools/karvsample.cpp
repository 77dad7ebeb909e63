// karvsample: writes a sample game folder for karvex and the "游戏信息.txt" that describes it.
//
//   karvsample [--seed N] <folder>                       the sample: six games
//   karvsample --size MiB [--type 357|Z54|358] [--ps3] [--level N] [--seed N] <folder>
//                                                        one large game for the benchmark
//
// The sample holds one game per data type and byte order, each in its own folder under
// "样例游戏": 357 in three archive files sharing one index (PC with its split addresses, PS3
// without them, so the menus offer to derive them), Z54 (PC in two archive files), 358 (PC in
// two archive files with an index each). Every archive holds raw, compressed and unused
// entries, texture containers, packed blobs holding containers, a member larger than one
// compression chunk and a member of three bytes. Entry 0 of every archive file is a character
// table (UTF-8 text). The output depends only on the options: the same bytes on every run.
#include "karvcore/archive.h"
#include "karvcore/buffer.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "karvcore/karvcore.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "sample_content.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace karv::sample {
namespace {

using platform::File;
using platform::OpenMode;

constexpr uint64_t kDefaultSeed = 430;

const wchar_t kSampleFolder[] = L"样例游戏";
const wchar_t kBenchFolder[] = L"基准游戏";
const wchar_t kConfigName[] = L"游戏信息.txt";

void say(const std::wstring& text) {
    platform::consoleWrite(text);
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
    return folder + platform::kPathSeparator + name;
}

const ContainerKind& kindOf(int32_t type) {
    return *FindContainerKind(type);
}

std::wstring typeName(int32_t type) {
    return kindOf(type).name;
}

uint64_t roundUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

// ---- Members ----

enum class Content { ParameterTable, Records, Noise, Textures, TextureBlob, Tiny };
enum class Storage { Raw, RawTagged, Compressed, Unused, UnusedAlt };

struct MemberPlan {
    Content content;
    Storage storage;
    uint32_t size = 0;                                   // approximate content size
    uint32_t chunkSize = kindOf(kDataType358).chunkSize; // 358 containers only
};

std::vector<TexturePlan> textureSet(uint32_t variant) {
    switch (variant % 3) {
    case 0:
        return {{kDxt1, 7, 7, 8, 0}, {kArgb, 5, 5, 1, 0}};
    case 1:
        return {{kDxt5, 8, 7, 9, 0}, {kDxt1, 6, 6, 1, 12}};
    default:
        return {{kBc4, 6, 5, 3, 0}, {kDxt5, 5, 5, 2, 0}, {kArgb, 4, 4, 1, 0}};
    }
}

// A blob of four sub-files, two of them texture containers.
Bytes textureBlob(Random& rng, bool bigEndian) {
    std::vector<Bytes> subFiles;
    subFiles.push_back(parameterTable(rng, 2000));
    subFiles.push_back(g1tContainer(textureSet(1), bigEndian));
    subFiles.push_back(recordTable(rng, 4096, bigEndian));
    subFiles.push_back(g1tContainer(textureSet(2), bigEndian));
    return packedBlob(subFiles, bigEndian);
}

Bytes makeContent(const MemberPlan& plan, uint64_t seed, bool bigEndian) {
    Random rng(seed);
    switch (plan.content) {
    case Content::ParameterTable:
        return parameterTable(rng, plan.size);
    case Content::Records:
        return recordTable(rng, plan.size, bigEndian);
    case Content::Noise:
        return noise(rng, plan.size);
    case Content::Textures:
        return g1tContainer(textureSet(uint32_t(seed)), bigEndian);
    case Content::TextureBlob:
        return textureBlob(rng, bigEndian);
    case Content::Tiny:
        return {'o', 'k', '\n'};
    }
    return {};
}

// ---- Index entries and archive files ----

struct Format {
    int32_t type = kDataType357;
    bool bigEndian = false;
    int level = 9;
};

// One entry as the index stores it (Z54 offsets still in bytes here).
struct Entry {
    uint64_t offset = 0;
    uint32_t storedSize = 0;
    uint32_t marker = 0;      // Z54; for 357/358 only the unused markers are kept here
    uint32_t contentSize = 0; // 357/358: bytes 8..11
    bool compressed = false;  // 357/358: byte 24 is 1
};

// The index of an archive file (357: of all its archive files) as the layout stores it: Z54
// offsets in units of the kind's alignment, where every member starts.
bool indexTable(int32_t type, const std::vector<Entry>& entries, bool bigEndian,
                IndexTable& table) {
    const ContainerKind& kind = kindOf(type);
    if (!IndexTable::create(*kind.index, bigEndian, uint32_t(entries.size()), kind.alignment,
                            table))
        return false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        EntryValues values{e.offset, e.contentSize, e.storedSize, e.marker};
        if (e.compressed)
            values.marker = table.importMarker(true, e.contentSize, e.storedSize, e.marker);
        table.set(uint32_t(i), values);
    }
    return true;
}

// The index as the file stores it: the header (if any), then the entries.
Bytes indexBytes(int32_t type, const std::vector<Entry>& entries, bool bigEndian) {
    IndexTable table;
    if (!indexTable(type, entries, bigEndian, table))
        return {};
    Bytes out = table.header();
    out.insert(out.end(), table.entries(), table.entries() + table.entriesLength());
    return out;
}

bool writeWhole(const std::wstring& path, const Bytes& bytes) {
    File file = File::open(path, OpenMode::CreateAlways);
    if (!file.isOpen() || bytes.size() > std::numeric_limits<uint32_t>::max())
        return false;
    return file.writeAll(bytes.data(), uint32_t(bytes.size())) && file.close();
}

// An archive file written member by member; every member starts at a multiple of the
// alignment, with zero bytes in between.
class ArchiveWriter {
  public:
    ArchiveWriter(const Format& format, uint64_t dataStart)
        : format_(format), position_(dataStart) {}

    bool create(const std::wstring& path) {
        file_ = File::open(path, OpenMode::CreateAlways);
        return file_.isOpen() && writeZeros(position_);
    }

    bool add(const MemberPlan& plan, uint64_t seed, Entry& entry);
    // Writes `bytes` at the start of the file (the Z54 header and table) and closes it.
    bool finish(const Bytes& head);
    uint64_t size() const { return position_; }

  private:
    bool writeZeros(uint64_t count);
    bool append(const uint8_t* data, uint32_t length, uint32_t alignment);
    bool addCompressed(const Bytes& content, uint32_t chunkSize, Entry& entry);
    uint32_t alignment() const { return kindOf(format_.type).alignment; }

    Format format_;
    File file_;
    uint64_t position_;
};

bool ArchiveWriter::writeZeros(uint64_t count) {
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
        uint32_t step = uint32_t(count < sizeof zeros ? count : sizeof zeros);
        if (!file_.writeAll(zeros, step))
            return false;
        count -= step;
    }
    return true;
}

// Writes the data and the zero fill up to the next multiple of the alignment.
bool ArchiveWriter::append(const uint8_t* data, uint32_t length, uint32_t alignment) {
    if (!file_.writeAll(data, length))
        return false;
    uint64_t end = position_ + length;
    uint64_t padded = roundUp(end, alignment);
    position_ = padded;
    return writeZeros(padded - end);
}

// The container as the import would append it: all of its padded length is written, the
// index records the used length.
bool ArchiveWriter::addCompressed(const Bytes& content, uint32_t chunkSize, Entry& entry) {
    uint8_t* raw = nullptr;
    uint32_t used = 0, padded = 0;
    auto length = uint32_t(content.size());
    int32_t status = kindOf(format_.type)
                         .compress(raw, content.data(), length, &used, &padded, chunkSize,
                                   format_.bigEndian, format_.level);
    if (status != 0) {
        say(L"压缩失败：" + GetMessageQX() + L"\n");
        return false;
    }
    MallocBuffer owned(raw);
    entry.storedSize = used;
    entry.compressed = true;
    entry.marker = length; // Z54 keeps the decompressed size as its marker
    return append(owned.get(), padded, alignment());
}

bool ArchiveWriter::add(const MemberPlan& plan, uint64_t seed, Entry& entry) {
    entry = Entry();
    entry.offset = position_;
    if (plan.storage == Storage::Unused || plan.storage == Storage::UnusedAlt) {
        entry.marker = plan.storage == Storage::Unused ? kIdxMarkerUnusedA : kIdxMarkerUnusedB;
        entry.storedSize = plan.storage == Storage::Unused ? 0 : 64;
        return true;
    }
    Bytes content = makeContent(plan, seed, format_.bigEndian);
    entry.contentSize = uint32_t(content.size());
    if (plan.storage == Storage::Compressed)
        return addCompressed(content, plan.chunkSize, entry);
    entry.storedSize = uint32_t(content.size());
    // Only an entry that keeps its marker word (Z54) can carry the tag.
    const bool tagged =
        plan.storage == Storage::RawTagged && kindOf(format_.type).index->fileLengthAt == kNoField;
    entry.marker = tagged ? kIdxMarkerRawTagged : kIdxMarkerRaw;
    return append(content.data(), uint32_t(content.size()), alignment());
}

bool ArchiveWriter::finish(const Bytes& head) {
    if (!head.empty()) {
        if (!file_.seek(0, platform::SeekFrom::Begin) ||
            !file_.writeAll(head.data(), uint32_t(head.size())))
            return false;
    }
    return bool(file_.close());
}

// ---- Games ----

struct ArchiveFilePlan {
    std::wstring name;
    std::wstring indexName; // 358: each archive file has its own index
    std::vector<MemberPlan> members;
};

struct GamePlan {
    std::wstring name;
    std::wstring folder; // under the output folder
    Format format;
    std::wstring indexName; // 357: one index for all archive files
    std::vector<ArchiveFilePlan> files;
    bool splitAddressesGiven = true; // 357 with several files
    std::wstring exportPath = L"Extracted";
    std::wstring importPath = L"Import";
    uint64_t seed = kDefaultSeed;
};

// What the writing found out, for the configuration file and the summary.
struct WrittenGame {
    std::vector<uint32_t> firstEntries; // 357: first entry of each archive file
    uint32_t entryCount = 0;
    uint64_t archiveBytes = 0;
};

uint64_t memberSeed(const GamePlan& game, size_t file, size_t entry) {
    return game.seed * 1000003ull + file * 10007ull + entry;
}

bool writeArchiveFile(const GamePlan& game, const std::wstring& folder, size_t fileNumber,
                      std::vector<Entry>& entries, WrittenGame& written) {
    const ArchiveFilePlan& file = game.files[fileNumber];
    // An index at the head of the archive file comes before the members.
    const ContainerKind& kind = kindOf(game.format.type);
    uint64_t dataStart = 0;
    if (kind.index->inArchive)
        dataStart =
            roundUp(kind.index->headerSize + kind.index->entrySize * uint64_t(file.members.size()),
                    kind.alignment);
    ArchiveWriter writer(game.format, dataStart);
    std::wstring path = joinPath(folder, file.name);
    if (!writer.create(path)) {
        say(L"无法写入文件 " + path + L"\n");
        return false;
    }
    for (size_t i = 0; i < file.members.size(); ++i) {
        entries.emplace_back();
        if (!writer.add(file.members[i], memberSeed(game, fileNumber, entries.size()),
                        entries.back())) {
            say(L"无法写入文件 " + path + L"\n");
            return false;
        }
    }
    Bytes head;
    if (kind.index->inArchive)
        head = indexBytes(game.format.type, entries, game.format.bigEndian);
    written.archiveBytes += writer.size();
    if (!writer.finish(head)) {
        say(L"无法写入文件 " + path + L"\n");
        return false;
    }
    return true;
}

bool writeIndex(const std::wstring& path, int32_t type, const std::vector<Entry>& entries,
                bool bigEndian) {
    if (writeWhole(path, indexBytes(type, entries, bigEndian)))
        return true;
    say(L"无法写入文件 " + path + L"\n");
    return false;
}

bool writeGame(const GamePlan& game, const std::wstring& outFolder, WrittenGame& written) {
    std::wstring folder = joinPath(outFolder, game.folder);
    std::vector<Entry> shared; // 357: one index over every archive file
    for (size_t f = 0; f < game.files.size(); ++f) {
        std::vector<Entry> own;
        std::vector<Entry>& entries = kindOf(game.format.type).spansFiles ? shared : own;
        written.firstEntries.push_back(uint32_t(entries.size()));
        if (!writeArchiveFile(game, folder, f, entries, written))
            return false;
        // Archive files that neither share an index nor carry their own have one beside them.
        const IndexLayout& layout = *kindOf(game.format.type).index;
        if (!kindOf(game.format.type).spansFiles && !layout.inArchive &&
            !writeIndex(joinPath(folder, game.files[f].indexName), game.format.type, own,
                        game.format.bigEndian))
            return false;
        written.entryCount += uint32_t(own.size());
    }
    written.entryCount += uint32_t(shared.size());
    if (kindOf(game.format.type).spansFiles)
        return writeIndex(joinPath(folder, game.indexName), game.format.type, shared,
                          game.format.bigEndian);
    return true;
}

// ---- The sample's member lists ----

std::vector<MemberPlan> sampleMembers(int variant, int32_t type) {
    // 358 members alternate between two chunk sizes, so the import has both to keep.
    uint32_t chunk = type == kDataType358 ? 65536 : kindOf(kDataType358).chunkSize;
    using C = Content;
    using S = Storage;
    switch (variant) {
    case 0:
        return {{C::ParameterTable, S::Compressed, 40000},
                {C::Textures, S::Raw},
                {C::TextureBlob, S::Compressed},
                {C::Records, S::Unused},
                {C::Noise, S::Raw, 5000},
                {C::Records, S::Compressed, 200000, chunk},
                {C::ParameterTable, S::RawTagged, 3000},
                {C::Records, S::UnusedAlt},
                {C::Textures, S::Compressed},
                {C::TextureBlob, S::Raw},
                {C::Tiny, S::Raw},
                {C::ParameterTable, S::Compressed, 1000, chunk}};
    case 1:
        return {{C::ParameterTable, S::Compressed, 12000},
                {C::Records, S::Compressed, 30000},
                {C::Textures, S::Raw},
                {C::Records, S::Unused},
                {C::ParameterTable, S::Raw, 8000},
                {C::TextureBlob, S::Compressed, 0, chunk},
                {C::Noise, S::Raw, 3000}};
    default:
        return {{C::ParameterTable, S::Compressed, 20000},
                {C::Records, S::Raw, 16384},
                {C::Textures, S::Compressed, 0, chunk},
                {C::Records, S::UnusedAlt},
                {C::Noise, S::Raw, 777},
                {C::TextureBlob, S::Raw}};
    }
}

GamePlan game357(bool ps3) {
    GamePlan game;
    game.name = ps3 ? L"样例 357（PS3，三个 Voxbank 文件，缺少切分信息）"
                    : L"样例 357（PC，三个 Voxbank 文件）";
    game.folder = ps3 ? L"357-PS3" : L"357-PC";
    game.format = {kDataType357, ps3, 9};
    game.indexName = L"VOXBANK.IDX";
    game.files = {{L"VOXBANK0.BIN", L"", sampleMembers(0, kDataType357)},
                  {L"VOXBANK1.BIN", L"", sampleMembers(1, kDataType357)},
                  {L"VOXBANK2.BIN", L"", sampleMembers(2, kDataType357)}};
    game.splitAddressesGiven = !ps3;
    game.seed = ps3 ? 3572 : 3571;
    return game;
}

GamePlan gameZ54(bool ps3) {
    GamePlan game;
    game.name = ps3 ? L"样例 Z54（PS3）" : L"样例 Z54（PC，两个 Voxbank 文件）";
    game.folder = ps3 ? L"Z54-PS3" : L"Z54-PC";
    game.format = {kDataTypeZ54, ps3, 9};
    game.files = {{L"VOXDATA_A.BIN", L"", sampleMembers(0, kDataTypeZ54)}};
    if (!ps3)
        game.files.push_back({L"VOXDATA_B.BIN", L"", sampleMembers(1, kDataTypeZ54)});
    game.seed = ps3 ? 542 : 541;
    return game;
}

GamePlan game358(bool ps3) {
    GamePlan game;
    game.name = ps3 ? L"样例 358（PS3）" : L"样例 358（PC，两个 Voxbank 文件）";
    game.folder = ps3 ? L"358-PS3" : L"358-PC";
    game.format = {kDataType358, ps3, 9};
    game.files = {{L"VOXPACK_A.BIN", L"VOXPACK_A.IDX", sampleMembers(0, kDataType358)}};
    if (!ps3)
        game.files.push_back({L"VOXPACK_B.BIN", L"VOXPACK_B.IDX", sampleMembers(2, kDataType358)});
    game.seed = ps3 ? 3582 : 3581;
    return game;
}

// ---- The benchmark game ----

// Members of 8 KiB to 2 MiB (about evenly spread over the powers of two) until the archive
// holds about `bytes`: compressed tables and records, raw records and noise, textures, a few
// unused entries.
std::vector<MemberPlan> benchMembers(uint64_t bytes, uint64_t seed) {
    Random rng(seed);
    std::vector<MemberPlan> members;
    for (uint64_t total = 0; total < bytes;) {
        uint32_t base = 8192u << rng.below(8);
        uint32_t size = base + rng.below(base);
        uint32_t roll = rng.below(100);
        MemberPlan plan{Content::Records, Storage::Compressed, size};
        if (roll < 3)
            plan.storage = Storage::Unused;
        else if (roll < 10)
            plan.content = Content::Textures;
        else if (roll < 30)
            plan.content = Content::ParameterTable;
        else if (roll < 60)
            plan.storage = Storage::Raw;
        else if (roll < 75)
            plan = {Content::Noise, Storage::Raw, size};
        // Compressed members take about a third of their size in the archive.
        total += plan.storage == Storage::Compressed ? size / 3 : size;
        members.push_back(plan);
    }
    return members;
}

GamePlan benchGame(uint32_t mebibytes, int32_t type, bool ps3, int level, uint64_t seed) {
    GamePlan game;
    game.name = L"基准测试（" + typeName(type) + (ps3 ? L"，PS3" : L"，PC") + L"，约 " +
                std::to_wstring(mebibytes) + L" MiB）";
    game.folder = kBenchFolder;
    game.format = {type, ps3, level};
    game.indexName = L"VOXBANK.IDX";
    game.files = {
        {L"VOXBANK0.BIN", L"VOXBANK0.IDX", benchMembers(uint64_t(mebibytes) << 20, seed)}};
    game.exportPath = L"Extracted";
    game.importPath = L"Extracted"; // the import takes the exported files as they are
    game.seed = seed;
    return game;
}

// ---- The configuration file ----

std::wstring joinList(const std::vector<std::wstring>& pieces) {
    std::wstring out;
    for (const std::wstring& piece : pieces)
        out += (out.empty() ? L"" : L"/") + piece;
    return out;
}

std::wstring gameRecord(const GamePlan& game, const WrittenGame& written,
                        const std::wstring& parent) {
    std::vector<std::wstring> archives, indexes;
    std::vector<uint32_t> splits;
    for (size_t f = 0; f < game.files.size(); ++f) {
        archives.push_back(game.files[f].name);
        indexes.push_back(game.files[f].indexName);
        splits.push_back(uint32_t(SplitAddressOf(written.firstEntries[f])));
    }
    const ContainerKind& kind = kindOf(game.format.type);
    if (kind.spansFiles)
        indexes = {game.indexName};
    const wchar_t* end = L"\r\n";
    std::wstring out = L"#" + game.name + end;
    out += L"Voxbank 位置=" + parent + platform::kPathSeparator + game.folder + end;
    out += std::wstring(L"数据模式=") + (game.format.bigEndian ? L"PS3" : L"PC") + end;
    out += L"Voxbank 类型=" + typeName(game.format.type) + end;
    if (!kind.index->inArchive) {
        out += L"IDX 文件数量=" + std::to_wstring(indexes.size()) + end;
        out += L"IDX 文件名=" + joinList(indexes) + end;
    }
    out += L"Voxbank 数量=" + std::to_wstring(archives.size()) + end;
    out += L"Voxbank 文件名=" + joinList(archives) + end;
    if (kind.spansFiles)
        out += L"Voxbank 地址=" + (game.splitAddressesGiven ? SplitAddressText(splits) : L"") + end;
    out += L"导出路径=" + game.exportPath + end;
    out += L"导入路径=" + game.importPath + end;
    return out + end;
}

// Lines before the first "#" line are free text; the program skips them.
const wchar_t kConfigPreamble[] =
    L"本文件由 karvsample 生成：karvex 的样例游戏配置。\r\n"
    L"每个以“#”开头的行开始一个游戏，其后每行一个“键=值”。\r\n"
    L"列表（文件名、切分地址）用“/”分隔；切分地址为十六进制。\r\n\r\n";

bool writeConfig(const std::wstring& path, const std::wstring& text) {
    WriteTxtFileQX* writer = CreateTxtWriteInterface();
    if (!writer)
        return false;
    bool ok = writer->Open(path, true, kTextUcs2, false) == 0 && writer->Write(text) == 0 &&
              writer->Reopen() == 0;
    writer->Close();
    delete writer;
    if (!ok)
        say(L"无法写入文件 " + path + L"：" + GetMessageQX() + L"\n");
    return ok;
}

// ---- Folders and the command line ----

// Creates the folder and any missing parent.
bool makeFolders(const std::wstring& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !platform::isPathSeparator(path[i]))
            continue;
        std::wstring prefix = path.substr(0, i);
        if (prefix.back() == L':' || platform::isDirectory(prefix))
            continue;
        if (!platform::createDirectory(prefix) && !platform::isDirectory(prefix)) {
            say(L"无法创建文件夹 " + prefix + L"\n");
            return false;
        }
    }
    return true;
}

struct Options {
    std::wstring outFolder;
    uint32_t benchMebibytes = 0; // 0: the sample
    int32_t benchType = kDataType357;
    bool benchPs3 = false;
    int level = 1;
    uint64_t seed = kDefaultSeed;
};

const wchar_t kUsage[] =
    L"用法：karvsample [--seed 数字] <输出文件夹>\n"
    L"      karvsample --size MiB [--type 357|Z54|358] [--ps3] [--level 0-9] [--seed 数字] "
    L"<输出文件夹>\n"
    L"不带 --size：写出样例游戏（六个游戏）和“游戏信息.txt”。\n"
    L"带 --size：写出一个约为该大小的基准测试游戏（默认 357、PC、压缩级别 1）。\n";

bool parseNumber(const std::wstring& text, uint64_t limit, uint64_t& out) {
    if (text.empty() || text.size() > 19)
        return false;
    uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + uint64_t(c - L'0');
    }
    if (value > limit)
        return false;
    out = value;
    return true;
}

bool parseOption(const std::wstring& name, const std::wstring& value, Options& options) {
    uint64_t number = 0;
    if (name == L"--size" && parseNumber(value, 3072, number) && number > 0)
        options.benchMebibytes = uint32_t(number);
    else if (name == L"--level" && parseNumber(value, 9, number))
        options.level = int(number);
    else if (name == L"--seed" && parseNumber(value, UINT32_MAX, number))
        options.seed = number;
    else if (name == L"--type" && FindContainerKindByName(value) != nullptr)
        options.benchType = FindContainerKindByName(value)->dataType;
    else
        return false;
    return true;
}

bool parseArguments(const std::vector<std::wstring>& args, Options& options) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == L"--ps3")
            options.benchPs3 = true;
        else if (args[i].rfind(L"--", 0) == 0) {
            if (i + 1 >= args.size() || !parseOption(args[i], args[i + 1], options))
                return false;
            ++i;
        } else if (options.outFolder.empty())
            options.outFolder = args[i];
        else
            return false;
    }
    return !options.outFolder.empty();
}

std::wstring megabytes(uint64_t bytes) {
    uint64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
    return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" MiB";
}

bool writeGames(const std::vector<GamePlan>& games, const Options& options,
                const std::wstring& parent) {
    std::wstring config = kConfigPreamble;
    for (const GamePlan& game : games) {
        WrittenGame written;
        std::wstring folder = joinPath(joinPath(options.outFolder, parent), game.folder);
        if (!makeFolders(folder) || !writeGame(game, joinPath(options.outFolder, parent), written))
            return false;
        config += gameRecord(game, written, parent);
        say(L"  " + game.name + L"：" + std::to_wstring(written.entryCount) + L" 个条目，" +
            std::to_wstring(game.files.size()) + L" 个 Voxbank 文件，共 " +
            megabytes(written.archiveBytes) + L"\n");
    }
    return writeConfig(joinPath(options.outFolder, kConfigName), config);
}

int run(const std::vector<std::wstring>& args) {
    Options options;
    if (!parseArguments(args, options)) {
        say(kUsage);
        return 2;
    }
    if (!makeFolders(options.outFolder))
        return 1;
    std::vector<GamePlan> games;
    std::wstring parent = kSampleFolder;
    if (options.benchMebibytes == 0) {
        for (auto make : {game357, gameZ54, game358})
            games.insert(games.end(), {make(false), make(true)});
        for (GamePlan& game : games)
            game.seed += options.seed * 7919;
    } else {
        games.push_back(benchGame(options.benchMebibytes, options.benchType, options.benchPs3,
                                  options.level, options.seed));
        parent = L".";
    }
    say(L"写出游戏到 " + options.outFolder + L"：\n");
    if (!writeGames(games, options, parent))
        return 1;
    say(L"完成。配置文件：" + joinPath(options.outFolder, kConfigName) + L"\n");
    return 0;
}

} // namespace
} // namespace karv::sample

int main(int argc, char** argv) {
    karv::platform::consoleInit();
    int code = karv::sample::run(karv::platform::commandLineArguments(argc, argv));
    karv::platform::consoleFlush();
    return code;
}
