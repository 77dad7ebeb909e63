// Mod packages: the XXH3-128 text of known inputs, mod.json written and read back, and every
// way a manifest can be wrong refused with a message that says where.
#include "karvcore/formats.h"
#include "karvcore/mods.h"
#include "mods/xxh3_wide.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <string>
#include <utility>
#include <vector>

namespace karv {
namespace {

const std::wstring kHashA = L"0123456789abcdef0123456789abcdef";
const std::wstring kHashB = L"fedcba9876543210fedcba9876543210";

// ---- The hash ----

std::vector<uint8_t> mebibytePattern() {
    std::vector<uint8_t> bytes(1 << 20);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t((i * 31 + (i >> 8)) & 0xFF);
    return bytes;
}

// Values from a separate program over the same header (XXH3_128bits, canonical form); the
// empty input's is the published constant.
TEST(ModHash, KnownValues) {
    EXPECT_EQ(ModHash(nullptr, 0), L"99aa06d3014798d86001c324468d497f");
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(ModHash(abc, 3), L"06b05ab6733a618578af5f94892f3950");
    const std::vector<uint8_t> pattern = mebibytePattern();
    EXPECT_EQ(ModHash(pattern.data(), pattern.size()), L"6f9c6cb486a848907b185274974b1fd6");
}

TEST(ModHash, PiecesGiveTheWholeHash) {
    const std::vector<uint8_t> pattern = mebibytePattern();
    ModHasher hasher;
    EXPECT_EQ(hasher.finish(), ModHash(nullptr, 0));
    size_t at = 0;
    // Pieces around the hash's internal block sizes and its streaming buffer, and an empty one;
    // on the wide path where the processor has it, anchored by the baseline's value at the end.
    for (size_t piece : {size_t(1), size_t(0), size_t(15), size_t(240), size_t(255), size_t(256),
                         size_t(257), size_t(1023), size_t(4096), size_t(70000)}) {
        hasher.update(pattern.data() + at, piece);
        at += piece;
        EXPECT_EQ(hasher.finish(), ModHash(pattern.data(), at)) << at;
    }
    hasher.update(pattern.data() + at, pattern.size() - at);
    EXPECT_EQ(hasher.finish(), L"6f9c6cb486a848907b185274974b1fd6");
}

// The AVX2 path against the header's baseline one, which this file is compiled for: every length
// through the short inputs, the stripes and the first blocks, and a long one (the pieces are
// above). Where the paths differed, a package made on one processor would be refused on another.
TEST(ModHash, WidePathHashesAsTheBaseline) {
    if (!karv_xxh3_wide_available())
        GTEST_SKIP() << "no AVX2 here";
    const std::vector<uint8_t> pattern = mebibytePattern();
    auto same = [](XXH128_hash_t a, XXH128_hash_t b) { return XXH128_isEqual(a, b) != 0; };
    for (size_t length = 0; length <= 2100; ++length)
        ASSERT_TRUE(
            same(karv_xxh3_wide_hash(pattern.data(), length), XXH3_128bits(pattern.data(), length)))
            << length;
    ASSERT_TRUE(same(karv_xxh3_wide_hash(pattern.data(), pattern.size() - 7),
                     XXH3_128bits(pattern.data(), pattern.size() - 7)));
}

// ---- Package paths ----

TEST(PackagePath, AsTheImportFolderLaysItOut) {
    EXPECT_EQ(PackagePathOf(kDataTypeZ54, L"VOXDATA_A.BIN", 42), L"VOXDATA_A/000042.data");
    EXPECT_EQ(PackagePathOf(kDataType358, L"PACK.BIN.BAK", 7), L"PACK/000007.data");
    EXPECT_EQ(PackagePathOf(kDataType357, L"VOXDATA_B.BIN", 42), L"000042.data");
    EXPECT_EQ(PackagePathOf(kDataTypeZ54, L"", 0), L"000000.data");
    EXPECT_EQ(PackagePathOf(kDataTypeZ54, L"样例", 1234567), L"样例/1234567.data");
    EXPECT_EQ(PackagePathOf(kDataType358, L"A", UINT32_MAX), L"A/4294967295.data");
    EXPECT_TRUE(IsPackagePath(PackagePathOf(kDataTypeZ54, L"VOXDATA_A.BIN", 42)));
    EXPECT_FALSE(IsPackagePath(PackagePathOf(kDataTypeZ54, L"NUL.BIN", 42)));
}

TEST(PackagePath, OnlyRelativePortablePathsPass) {
    for (const wchar_t* good : {L"a", L"VOXDATA_A/000042.data", L"模组/文件.data", L"a/b/c",
                                L".hidden", L"a..b", L"CONSOLE.data", L"COM0", L"LPT10"})
        EXPECT_TRUE(IsPackagePath(good)) << good;
    for (const wchar_t* bad :
         {L"",         L"/abs",  L"a/",       L"a//b", L".",    L"..",   L"../a", L"a/../b",
          L"./a",      L"a/.",   L"C:x",      L"C:/x", L"a:b",  L"\\x",  L"a\\b", L"a*",
          L"a?",       L"a\"b",  L"<a>",      L"a|b",  L"a./b", L"a /b", L"a.",   L"NUL",
          L"nul.data", L"Con/x", L"COM1.txt", L"lpt9", L"a\tb", L"a\nb"})
        EXPECT_FALSE(IsPackagePath(bad)) << bad;
    EXPECT_FALSE(IsPackagePath(std::wstring(L"a\0b", 3)));
    // An unpaired surrogate: no UTF-8 holds it.
    EXPECT_FALSE(IsPackagePath(std::wstring(1, wchar_t(0xD800)) + L"x"));
}

// ---- Writing and reading back ----

ModManifest sampleManifest() {
    ModManifest manifest;
    manifest.name = L"A";
    manifest.type = L"Z54";
    manifest.mode = L"PC";
    ModMember member;
    member.file = L"VOXDATA_A.BIN";
    member.entry = 42;
    member.path = L"VOXDATA_A/000042.data";
    member.data = {5000, kHashA};
    member.original = {4800, kHashB};
    manifest.members.push_back(member);
    return manifest;
}

ModManifest parsed(const std::string& text, Status* status = nullptr) {
    ModManifest manifest;
    Status result =
        ParseModManifest(reinterpret_cast<const uint8_t*>(text.data()), text.size(), manifest);
    EXPECT_TRUE(status != nullptr || result.ok()) << text;
    if (status)
        *status = result;
    return manifest;
}

bool same(const ModManifest& a, const ModManifest& b) {
    if (a.format != b.format || a.name != b.name || a.type != b.type || a.mode != b.mode ||
        a.hash != b.hash || a.members.size() != b.members.size())
        return false;
    for (size_t i = 0; i < a.members.size(); ++i) {
        const ModMember& x = a.members[i];
        const ModMember& y = b.members[i];
        if (x.file != y.file || x.entry != y.entry || x.path != y.path ||
            x.data.size != y.data.size || x.data.hash != y.data.hash ||
            x.original.size != y.original.size || x.original.hash != y.original.hash ||
            x.stored.has_value() != y.stored.has_value() ||
            (x.stored && (x.stored->size != y.stored->size || x.stored->hash != y.stored->hash)))
            return false;
    }
    return true;
}

TEST(ModManifestWrite, KeysInOrderOneMemberPerLine) {
    ModManifest manifest = sampleManifest();
    ModMember second = manifest.members[0];
    second.entry = 7;
    second.path = L"VOXDATA_A/000007.data";
    second.data.size = 0;
    manifest.members.push_back(second);
    EXPECT_EQ(WriteModManifest(manifest),
              "{\n"
              "  \"format\": 1,\n"
              "  \"name\": \"A\",\n"
              "  \"type\": \"Z54\",\n"
              "  \"mode\": \"PC\",\n"
              "  \"hash\": \"xxh3-128\",\n"
              "  \"members\": [\n"
              "    {\"file\": \"VOXDATA_A.BIN\", \"entry\": 42, \"path\": "
              "\"VOXDATA_A/000042.data\", \"size\": 5000, \"hash\": "
              "\"0123456789abcdef0123456789abcdef\", \"original\": {\"size\": 4800, \"hash\": "
              "\"fedcba9876543210fedcba9876543210\"}},\n"
              "    {\"file\": \"VOXDATA_A.BIN\", \"entry\": 7, \"path\": "
              "\"VOXDATA_A/000007.data\", \"size\": 0, \"hash\": "
              "\"0123456789abcdef0123456789abcdef\", \"original\": {\"size\": 4800, \"hash\": "
              "\"fedcba9876543210fedcba9876543210\"}}\n"
              "  ]\n"
              "}\n");
}

TEST(ModManifestWrite, ReadsBackTheSame) {
    ModManifest manifest = sampleManifest();
    manifest.name = L"汉化补丁 \"第二版\" \\ 制作：小明\t😀";
    manifest.type = L"357";
    manifest.mode = L"PS3";
    manifest.members[0].file = L"数据.BIN";
    manifest.members[0].path = L"汉化/000042.data";
    ModMember last = manifest.members[0];
    last.file = L"VOXDATA_B.BIN";
    last.entry = UINT32_MAX;
    last.path = L"4294967295.data";
    last.data = {UINT32_MAX, kHashB};
    last.original = {0, kHashA};
    last.stored = ModMemberPin{UINT32_MAX, kHashB};
    manifest.members.push_back(last);
    const std::string text = WriteModManifest(manifest);
    const ModManifest back = parsed(text);
    EXPECT_TRUE(same(back, manifest));
    EXPECT_EQ(WriteModManifest(back), text);
    // UTF-8 as it is, not escaped: a player who opens the file reads the names.
    EXPECT_NE(text.find("\"汉化/000042.data\""), std::string::npos);
}

TEST(ModManifestWrite, UnconvertibleTextIsReplaced) {
    ModManifest manifest = sampleManifest();
    manifest.name = std::wstring(L"a") + wchar_t(0xD800) + L"b";
    const std::string text = WriteModManifest(manifest);
    EXPECT_NE(text.find("\"name\": \"a\xEF\xBF\xBD"
                        "b\""),
              std::string::npos);
    EXPECT_EQ(parsed(text).name, L"a\uFFFDb");
}

// ---- Reading what other tools write ----

TEST(ModManifestRead, AcceptsWhatTheFormatAllows) {
    // Compact, keys in another order, unknown keys, a byte-order mark, numbers at both ends of
    // the range, -0.
    const std::string text =
        "\xEF\xBB\xBF{\"members\":[{\"original\":{\"hash\":\"fedcba9876543210fedcba9876543210\","
        "\"size\":4294967295,\"note\":1},\"hash\":\"0123456789abcdef0123456789abcdef\","
        "\"size\":0,\"path\":\"a/b.data\",\"entry\":-0,\"file\":\"X.BIN\",\"tool\":[null]}],"
        "\"hash\":\"xxh3-128\",\"mode\":\"PS3\",\"type\":\"358\",\"name\":\"B\",\"format\":1,"
        "\"made by\":{\"tool\":\"other\",\"version\":[1,2]}}";
    const ModManifest manifest = parsed(text);
    ASSERT_EQ(manifest.members.size(), 1u);
    EXPECT_EQ(manifest.type, L"358");
    EXPECT_EQ(manifest.mode, L"PS3");
    EXPECT_EQ(manifest.members[0].entry, 0u);
    EXPECT_EQ(manifest.members[0].original.size, UINT32_MAX);
    EXPECT_EQ(manifest.members[0].path, L"a/b.data");
}

// Z54 and 358 archive files stand alone: one entry number in two files is two members.
// A 357 archive numbers its entries across its files: the entry alone names the member.
TEST(ModManifestRead, OneEntryOfTwoFiles) {
    ModManifest manifest = sampleManifest();
    ModMember other = manifest.members[0];
    other.file = L"VOXDATA_B.BIN";
    other.path = L"VOXDATA_B/000042.data";
    manifest.members.push_back(other);
    EXPECT_EQ(parsed(WriteModManifest(manifest)).members.size(), 2u);
    manifest.type = L"357";
    Status status;
    parsed(WriteModManifest(manifest), &status);
    EXPECT_EQ(status.error(), Error::ModManifestInvalid);
    EXPECT_EQ(status.message(), L"mod.json 中第 2 个成员与第 1 个成员替换同一个文件（42 号）！");
}

// ---- Refusals ----

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string objectOf(const Fields& fields) {
    std::string text = "{";
    for (const auto& [key, value] : fields)
        text += (text.size() > 1 ? ", \"" : "\"") + key + "\": " + value;
    return text + "}";
}

// The fields with `key` given `value`, or without it when the value is empty.
Fields with(Fields fields, const std::string& key, const std::string& value) {
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        if (it->first == key) {
            if (value.empty())
                fields.erase(it);
            else
                it->second = value;
            return fields;
        }
    }
    fields.emplace_back(key, value);
    return fields;
}

const Fields kOriginal = {{"size", "4800"}, {"hash", "\"fedcba9876543210fedcba9876543210\""}};

Fields memberFields(const std::string& original = objectOf(kOriginal)) {
    return {{"file", "\"VOXDATA_A.BIN\""},
            {"entry", "42"},
            {"path", "\"VOXDATA_A/000042.data\""},
            {"size", "5000"},
            {"hash", "\"0123456789abcdef0123456789abcdef\""},
            {"original", original}};
}

Fields topFields(const std::string& members = "[" + objectOf(memberFields()) + "]") {
    return {{"format", "1"},    {"name", "\"A\""},        {"type", "\"Z54\""},
            {"mode", "\"PC\""}, {"hash", "\"xxh3-128\""}, {"members", members}};
}

std::string withMember(const Fields& member) {
    return objectOf(topFields("[" + objectOf(member) + "]"));
}

std::string withOriginal(const Fields& original) {
    return withMember(memberFields(objectOf(original)));
}

struct Refusal {
    std::string text;
    std::wstring message;
    Error error = Error::ModManifestInvalid;
};

void expectRefused(const std::vector<Refusal>& refusals) {
    for (const Refusal& refusal : refusals) {
        ModManifest out;
        out.name = L"untouched";
        SetMessageQX(L"");
        const Status status = ParseModManifest(
            reinterpret_cast<const uint8_t*>(refusal.text.data()), refusal.text.size(), out);
        EXPECT_EQ(status.error(), refusal.error) << refusal.text;
        EXPECT_EQ(status.message(), refusal.message) << refusal.text;
        EXPECT_EQ(GetMessageQX(), refusal.message);
        EXPECT_EQ(out.name, L"untouched");
        EXPECT_TRUE(out.members.empty());
    }
}

TEST(ModManifestRefusal, TheBaseIsAccepted) {
    EXPECT_EQ(parsed(objectOf(topFields())).members.size(), 1u);
}

TEST(ModManifestRefusal, NotAManifestAtAll) {
    expectRefused({
        {"", L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"},
        {"mod", L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"},
        {"{\n  \"format\": 1,\n  \"name\": \"A\"\n  \"type\": 1}",
         L"mod.json 不是有效的 JSON 文本（第 4 行有误）！"},
        {objectOf(topFields()) + " x", L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"},
        {"// note\n{}", L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"},
        {"{\"name\": \"\\ud800\"}", L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"},
        {"[1]", L"mod.json 的内容不是 JSON 对象！"},
        {"\"format\"", L"mod.json 的内容不是 JSON 对象！"},
        {"{\"name\": \"\xC3\x28\"}", L"mod.json 不是有效的 UTF-8 文本！"},
        {"{\"name\": \"\xC0\xAF\"}", L"mod.json 不是有效的 UTF-8 文本！"},
        {"{\"name\": \"\xED\xA0\x80\"}", L"mod.json 不是有效的 UTF-8 文本！"},
        {std::string("{\"name\": \"\0\"}", 13), L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"},
    });
}

// Cut anywhere, a manifest is refused with a message; never read as a shorter one.
TEST(ModManifestRefusal, EveryTruncation) {
    const std::string text = WriteModManifest(sampleManifest());
    for (size_t length = 0; length + 1 < text.size(); ++length) {
        ModManifest out;
        const Status status =
            ParseModManifest(reinterpret_cast<const uint8_t*>(text.data()), length, out);
        EXPECT_EQ(status.error(), Error::ModManifestInvalid) << length;
        EXPECT_EQ(status.message().back(), L'！') << length;
    }
    // Only the closing line break may go.
    EXPECT_EQ(parsed(text.substr(0, text.size() - 1)).members.size(), 1u);
}

TEST(ModManifestRefusal, KeysGivenTwice) {
    expectRefused({
        {"{\"format\": 1, \"format\": 1}", L"mod.json 中的键 \"format\" 出现了不止一次！"},
        {withMember(with(memberFields(), "extra", "{\"a\": 1, \"a\": 2}")),
         L"mod.json 中的键 \"a\" 出现了不止一次！"},
    });
    // The same key in two objects is no repetition.
    EXPECT_EQ(
        parsed(withMember(with(memberFields(), "x", "[{\"a\": 1}, {\"a\": 2}]"))).members.size(),
        1u);
}

TEST(ModManifestRefusal, MissingKeys) {
    std::vector<Refusal> refusals;
    for (const auto& [key, value] : topFields())
        refusals.push_back({objectOf(with(topFields(), key, "")),
                            L"mod.json 中缺少 " + std::wstring(key.begin(), key.end()) + L"！"});
    for (const auto& [key, value] : memberFields())
        refusals.push_back(
            {withMember(with(memberFields(), key, "")),
             L"mod.json 中第 1 个成员缺少 " + std::wstring(key.begin(), key.end()) + L"！"});
    for (const auto& [key, value] : kOriginal)
        refusals.push_back({withOriginal(with(kOriginal, key, "")),
                            L"mod.json 中第 1 个成员缺少 original." +
                                std::wstring(key.begin(), key.end()) + L"！"});
    expectRefused(refusals);
}

TEST(ModManifestRefusal, WrongTypes) {
    const std::wstring top = L"mod.json 中的 ";
    const std::wstring member = L"mod.json 中第 1 个成员的 ";
    expectRefused({
        {objectOf(with(topFields(), "format", "\"1\"")), top + L"format 类型有误，应为整数！"},
        {objectOf(with(topFields(), "format", "true")), top + L"format 类型有误，应为整数！"},
        {objectOf(with(topFields(), "name", "7")), top + L"name 类型有误，应为字符串！"},
        {objectOf(with(topFields(), "type", "54")), top + L"type 类型有误，应为字符串！"},
        {objectOf(with(topFields(), "mode", "null")), top + L"mode 类型有误，应为字符串！"},
        {objectOf(with(topFields(), "hash", "[]")), top + L"hash 类型有误，应为字符串！"},
        {objectOf(with(topFields(), "members", "{}")), top + L"members 类型有误，应为数组！"},
        {objectOf(topFields("[5]")), L"mod.json 中第 1 个成员类型有误，应为对象！"},
        {withMember(with(memberFields(), "file", "[\"A\"]")),
         member + L"file 类型有误，应为字符串！"},
        {withMember(with(memberFields(), "entry", "\"42\"")),
         member + L"entry 类型有误，应为整数！"},
        {withMember(with(memberFields(), "path", "{}")), member + L"path 类型有误，应为字符串！"},
        {withMember(with(memberFields(), "size", "\"5000\"")),
         member + L"size 类型有误，应为整数！"},
        {withMember(with(memberFields(), "hash", "1")), member + L"hash 类型有误，应为字符串！"},
        {withMember(with(memberFields(), "original", "[]")),
         member + L"original 类型有误，应为对象！"},
        {withOriginal(with(kOriginal, "size", "\"4800\"")),
         member + L"original.size 类型有误，应为整数！"},
        {withOriginal(with(kOriginal, "hash", "false")),
         member + L"original.hash 类型有误，应为字符串！"},
        // The stored pin may be left out, but when given it is whole.
        {withOriginal(with(kOriginal, "stored", "\"1\"")),
         member + L"original.stored 类型有误，应为对象！"},
        {withOriginal(with(kOriginal, "stored", objectOf(with(kOriginal, "size", "\"1\"")))),
         member + L"original.stored.size 类型有误，应为整数！"},
        {withOriginal(with(kOriginal, "stored", objectOf(with(kOriginal, "hash", "")))),
         L"mod.json 中第 1 个成员缺少 original.stored.hash！"},
    });
}

TEST(ModManifestRefusal, NumbersOutOfRange) {
    const std::wstring range = L" 无效（应为 0 到 4294967295 之间的整数）！";
    const std::wstring member = L"mod.json 中第 1 个成员的 ";
    expectRefused({
        {withMember(with(memberFields(), "entry", "-1")), member + L"entry -1" + range},
        {withMember(with(memberFields(), "entry", "4294967296")),
         member + L"entry 4294967296" + range},
        {withMember(with(memberFields(), "entry", "18446744073709551616")),
         member + L"entry 1.8446744073709552e+19" + range},
        {withMember(with(memberFields(), "size", "1.5")), member + L"size 1.5" + range},
        {withMember(with(memberFields(), "size", "5000.0")), member + L"size 5000.0" + range},
        {withMember(with(memberFields(), "size", "5e3")), member + L"size 5000.0" + range},
        {withOriginal(with(kOriginal, "size", "-4800")), member + L"original.size -4800" + range},
        {objectOf(with(topFields(), "format", "1.0")), L"mod.json 中的 format 1.0" + range},
        {objectOf(with(topFields(), "format", "-1")), L"mod.json 中的 format -1" + range},
        {withMember(with(memberFields(), "entry", "1e999")),
         L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"},
    });
}

TEST(ModManifestRefusal, BadValues) {
    const std::wstring top = L"mod.json 中的 ";
    const std::wstring member = L"mod.json 中第 1 个成员的 ";
    const std::wstring hash = L" 无效（应为 32 位小写十六进制数字）！";
    expectRefused({
        {objectOf(with(topFields(), "name", "\"\"")), top + L"name \"\" 无效（不能为空）！"},
        {objectOf(with(topFields(), "type", "\"z54\"")),
         top + L"type \"z54\" 无效（应为 357、Z54 或 358）！"},
        {objectOf(with(topFields(), "mode", "\"PS4\"")),
         top + L"mode \"PS4\" 无效（应为 PC 或 PS3）！"},
        {objectOf(topFields("[]")), L"mod.json 中没有任何成员！"},
        {withMember(with(memberFields(), "file", "\"\"")),
         member + L"file \"\" 无效（不能为空）！"},
        {withMember(with(memberFields(), "file", "\"DATA/A.BIN\"")),
         member + L"file \"DATA/A.BIN\" 无效（应为一个文件名，不能含有 / 或 \\）！"},
        {withMember(with(memberFields(), "hash", "\"0123456789ABCDEF0123456789ABCDEF\"")),
         member + L"hash \"0123456789ABCDEF0123456789ABCDEF\"" + hash},
        {withMember(with(memberFields(), "hash", "\"0123456789abcdef0123456789abcde\"")),
         member + L"hash \"0123456789abcdef0123456789abcde\"" + hash},
        {withOriginal(with(kOriginal, "hash", "\"0123456789abcdef0123456789abcdeg\"")),
         member + L"original.hash \"0123456789abcdef0123456789abcdeg\"" + hash},
        // A long value is cut short in the message.
        {objectOf(with(topFields(), "type", "\"" + std::string(100, 'x') + "\"")),
         top + L"type \"" + std::wstring(59, L'x') + L"… 无效（应为 357、Z54 或 358）！"},
    });
}

TEST(ModManifestRefusal, BadPaths) {
    const std::wstring reason =
        L" 无效（应为以 / 分隔的相对路径，其中的名称不能为空、. 或 ..，不能含有 \\ : * ? \" < > | "
        L"和控制字符，不能以空格或 . 结尾）！";
    std::vector<Refusal> refusals;
    for (const char* quoted :
         {"\"..\"", "\"../x.data\"", "\"a/../../x\"", "\"/abs\"", "\"C:x\"", "\"a\\\\b\"",
          "\"a//b\"", "\"\"", "\"a/\"", "\"NUL\"", "\"a\\u0001\""}) {
        const std::string path = quoted;
        refusals.push_back(
            {withMember(with(memberFields(), "path", path)),
             L"mod.json 中第 1 个成员的 path " + std::wstring(path.begin(), path.end()) + reason});
    }
    expectRefused(refusals);
}

TEST(ModManifestRefusal, Duplicates) {
    const std::string first = objectOf(memberFields());
    auto second = [](const std::string& file, const std::string& entry, const std::string& path) {
        Fields fields = with(memberFields(), "file", file);
        return objectOf(with(with(fields, "entry", entry), "path", path));
    };
    expectRefused({
        {objectOf(topFields("[" + first + ", " +
                            second("\"voxdata_a.bin\"", "42", "\"VOXDATA_A/other.data\"") + "]")),
         L"mod.json 中第 2 个成员与第 1 个成员替换同一个文件（voxdata_a.bin 的 42 号）！"},
        {objectOf(topFields("[" + first + ", " +
                            second("\"VOXDATA_B.BIN\"", "43", "\"voxdata_a/000042.DATA\"") + "]")),
         L"mod.json 中第 2 个成员与第 1 个成员的 path 相同（voxdata_a/000042.DATA）！"},
        {objectOf(topFields("[" + first + ", " + second("\"B\"", "1", "\"b\"") + ", " +
                            second("\"C\"", "2", "\"c\"") + ", " + second("\"B\"", "1", "\"d\"") +
                            "]")),
         L"mod.json 中第 4 个成员与第 2 个成员替换同一个文件（B 的 1 号）！"},
    });
}

// A manifest of a later format, or one hashed otherwise, is refused as such before anything
// else in it is looked at.
TEST(ModManifestRefusal, FormatAndHashAreNamed) {
    expectRefused({
        {objectOf(with(topFields(), "hash", "\"md5\"")),
         L"mod.json 中的哈希算法 \"md5\" 无法识别，本程序只支持 xxh3-128！", Error::ModHashUnknown},
        {objectOf(with(with(topFields(), "hash", "\"XXH3-128\""), "members", "")),
         L"mod.json 中的哈希算法 \"XXH3-128\" 无法识别，本程序只支持 xxh3-128！",
         Error::ModHashUnknown},
        {objectOf(with(with(topFields(), "format", "2"), "members", "")),
         L"mod.json 的格式版本为 2，本程序只支持版本 1！", Error::ModFormatUnknown},
        {objectOf(with(topFields(), "format", "0")),
         L"mod.json 的格式版本为 0，本程序只支持版本 1！", Error::ModFormatUnknown},
    });
}

// Deep nesting in a key the reader ignores, or cut short: neither read nor freed recursively.
TEST(ModManifestRefusal, DeepNesting) {
    const size_t depth = 200000;
    const std::string deep = std::string(depth, '[') + std::string(depth, ']');
    EXPECT_EQ(parsed(objectOf(with(topFields(), "note", deep))).members.size(), 1u);
    expectRefused({{std::string(depth, '['), L"mod.json 不是有效的 JSON 文本（第 1 行有误）！"}});
}

} // namespace
} // namespace karv
