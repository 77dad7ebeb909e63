// The mod ledger and the intent: written byte for byte as their readers read them back, and every
// way a file can break a rule refused with a message that says which file and where.
#include "karvcore/mod_ledger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace karv {

static bool operator==(const ModLayer& a, const ModLayer& b) {
    return a.mod == b.mod && a.bytes == b.bytes;
}
static bool operator==(const ModLedgerEntry& a, const ModLedgerEntry& b) {
    return a.entry == b.entry && a.original == b.original && a.layers == b.layers;
}
static bool operator==(const ModLedgerMod& a, const ModLedgerMod& b) {
    return a.name == b.name && a.folder == b.folder;
}
static bool operator==(const ModLedger& a, const ModLedger& b) {
    return a.type == b.type && a.mode == b.mode && a.mods == b.mods && a.entries == b.entries;
}
static bool operator==(const ModIntentFile& a, const ModIntentFile& b) {
    return a.file == b.file && a.size == b.size && a.from == b.from && a.hash == b.hash;
}
static bool operator==(const ModIntentEntry& a, const ModIntentEntry& b) {
    return a.entry == b.entry && a.before == b.before && a.after == b.after && a.slot == b.slot;
}
static bool operator==(const ModIntent& a, const ModIntent& b) {
    return a.operation == b.operation && a.mods == b.mods && a.backup == b.backup &&
           a.files == b.files && a.entries == b.entries && a.ledger == b.ledger;
}

namespace {

ModLedger sampleLedger() {
    ModLedger ledger;
    ledger.type = L"Z54";
    ledger.mode = L"PC";
    ledger.mods = {{L"A", L"/home/p/mods/A"}, {L"汉化补丁", L"C:\\mods\\汉化"}};
    ledger.entries = {
        {7, {0x00, 0x00, 0x01, 0x00}, {{L"A", {0x0a, 0x00, 0x02, 0x00}}}},
        {42,
         {0x10, 0x00, 0x03, 0x00},
         {{L"A", {0x1a, 0x00, 0x04, 0x00}}, {L"汉化补丁", {0x1b, 0x00, 0x05, 0x00}}}},
        {UINT32_MAX, {0xff, 0xff, 0xff, 0xff}, {{L"汉化补丁", {0x2b, 0x00, 0x06, 0x00}}}},
    };
    return ledger;
}

const char kLedgerBody[] =
    "  \"format\": 1,\n"
    "  \"type\": \"Z54\",\n"
    "  \"mode\": \"PC\",\n"
    "  \"mods\": [\n"
    "    {\"name\": \"A\", \"folder\": \"/home/p/mods/A\"},\n"
    "    {\"name\": \"汉化补丁\", \"folder\": \"C:\\\\mods\\\\汉化\"}\n"
    "  ],\n"
    "  \"entries\": [\n"
    "    {\"entry\": 7, \"original\": \"00000100\", \"layers\": [{\"mod\": \"A\", \"bytes\": "
    "\"0a000200\"}]},\n"
    "    {\"entry\": 42, \"original\": \"10000300\", \"layers\": [{\"mod\": \"A\", \"bytes\": "
    "\"1a000400\"}, {\"mod\": \"汉化补丁\", \"bytes\": \"1b000500\"}]},\n"
    "    {\"entry\": 4294967295, \"original\": \"ffffffff\", \"layers\": [{\"mod\": \"汉化补丁\", "
    "\"bytes\": \"2b000600\"}]}\n"
    "  ]\n";

const std::string kLedgerText = "{\n" + std::string(kLedgerBody) + "}\n";

ModIntent sampleIntent() {
    ModIntent intent;
    intent.operation = L"MODADD";
    intent.mods = {L"汉化补丁", L"A"};
    intent.backup = L"0123456789abcdef0123456789abcdef";
    intent.files = {{0, 5000, 4000, L"fedcba9876543210fedcba9876543210"},
                    {2, UINT64_MAX, UINT64_MAX, L"99aa06d3014798d86001c324468d497f"}};
    intent.entries = {{42, {0x1a, 0x00, 0x04, 0x00}, {0x1b, 0x00, 0x05, 0x00}, 3},
                      {UINT32_MAX, {0xff, 0xff, 0xff, 0xff}, {0x2b, 0x00, 0x06, 0x00}, 0}};
    intent.ledger = sampleLedger();
    return intent;
}

// The ledger's lines, two spaces further in.
std::string indented(const std::string& body) {
    std::string text;
    for (size_t at = 0; at < body.size();) {
        const size_t end = body.find('\n', at) + 1;
        text += "  " + body.substr(at, end - at);
        at = end;
    }
    return text;
}

const std::string kIntentText =
    "{\n"
    "  \"format\": 1,\n"
    "  \"operation\": \"MODADD\",\n"
    "  \"mods\": [\"汉化补丁\", \"A\"],\n"
    "  \"backup\": \"0123456789abcdef0123456789abcdef\",\n"
    "  \"files\": [\n"
    "    {\"file\": 0, \"size\": 5000, \"from\": 4000, \"hash\": "
    "\"fedcba9876543210fedcba9876543210\"},\n"
    "    {\"file\": 2, \"size\": 18446744073709551615, \"from\": 18446744073709551615, \"hash\": "
    "\"99aa06d3014798d86001c324468d497f\"}\n"
    "  ],\n"
    "  \"entries\": [\n"
    "    {\"entry\": 42, \"before\": \"1a000400\", \"after\": \"1b000500\", \"slot\": 3},\n"
    "    {\"entry\": 4294967295, \"before\": \"ffffffff\", \"after\": \"2b000600\", \"slot\": 0}\n"
    "  ],\n"
    "  \"ledger\": {\n" +
    indented(kLedgerBody) + "  }\n}\n";

const uint8_t* bytesOf(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

TEST(ModLedgerWrite, KeysInOrderOneEntryPerLine) {
    EXPECT_EQ(WriteModLedger(sampleLedger()), kLedgerText);
    EXPECT_EQ(WriteModIntent(sampleIntent()), kIntentText);
    EXPECT_EQ(WriteModLedger({L"357", L"PS3", {}, {}}),
              "{\n  \"format\": 1,\n  \"type\": \"357\",\n"
              "  \"mode\": \"PS3\",\n  \"mods\": [],\n"
              "  \"entries\": []\n}\n");
}

TEST(ModLedgerRead, WrittenTextReadsBackTheSame) {
    ModLedger ledger;
    ASSERT_TRUE(ParseModLedger(bytesOf(kLedgerText), kLedgerText.size(), ledger));
    EXPECT_TRUE(ledger == sampleLedger());
    ModIntent intent;
    ASSERT_TRUE(ParseModIntent(bytesOf(kIntentText), kIntentText.size(), intent));
    EXPECT_TRUE(intent == sampleIntent());

    // Names a player gives, the longest entries, an intent with nothing appended or changed.
    ledger.mods[1].name = L"\"补丁\" \\ 第二版\t😀";
    ledger.entries[1].layers[1].mod = ledger.mods[1].name;
    ledger.entries[2].layers[0].mod = ledger.mods[1].name;
    for (ModLedgerEntry& entry : ledger.entries) {
        entry.original.resize(kMaxModEntryBytes, 0x5a);
        for (ModLayer& layer : entry.layers)
            layer.bytes.resize(kMaxModEntryBytes, 0xa5);
    }
    const std::string text = WriteModLedger(ledger);
    ModLedger back;
    ASSERT_TRUE(ParseModLedger(bytesOf(text), text.size(), back)) << text;
    EXPECT_TRUE(back == ledger);
    intent = {L"MODDEL", {L"A"}, std::wstring(32, L'0'), {}, {}, back};
    const std::string intentText = WriteModIntent(intent);
    ModIntent intentBack;
    ASSERT_TRUE(ParseModIntent(bytesOf(intentText), intentText.size(), intentBack)) << intentText;
    EXPECT_TRUE(intentBack == intent);
}

TEST(ModLedgerRead, AcceptsWhatOtherWritersMayWrite) {
    // A byte-order mark, compact, keys in another order, unknown keys.
    const std::string text = "\xEF\xBB\xBF{\"entries\":[{\"layers\":[{\"bytes\":\"ab\",\"mod\":"
                             "\"A\",\"x\":1}],\"original\":\"cd\",\"entry\":-0}],\"note\":[{}],"
                             "\"mods\":[{\"folder\":\"\",\"name\":\"A\"}],\"mode\":\"PS3\","
                             "\"type\":\"358\",\"format\":1}";
    ModLedger ledger;
    ASSERT_TRUE(ParseModLedger(bytesOf(text), text.size(), ledger));
    EXPECT_TRUE(ledger ==
                ModLedger({L"358", L"PS3", {{L"A", L""}}, {{0, {0xcd}, {{L"A", {0xab}}}}}}));
}

TEST(ModLedgerWrite, UnconvertibleTextIsReplaced) {
    ModLedger ledger = sampleLedger();
    ledger.mods[0].folder = std::wstring(L"a") + wchar_t(0xDC00) + L"b";
    const std::string text = WriteModLedger(ledger);
    EXPECT_NE(text.find("\"folder\": \"a\xEF\xBF\xBD"
                        "b\""),
              std::string::npos);
}

// ---- Refusals ----

// The sample text with the first `from` replaced by `to`.
std::string changed(const std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.substr(0, at) + to + text.substr(at + from.size());
}

struct Refusal {
    std::string from, to; // a change to the sample, or the whole text when `from` is empty
    std::wstring message;
    Error error = Error::None; // the file's own code unless given
};

// Each refused with its code and message, also on the last-error channel; `out` as it was.
template <typename Value, typename Parse>
void expectRefused(const std::string& sample, Error invalid, Value marker, Parse parse,
                   const std::vector<Refusal>& refusals) {
    for (const Refusal& refusal : refusals) {
        const std::string text =
            refusal.from.empty() ? refusal.to : changed(sample, refusal.from, refusal.to);
        Value out = marker;
        SetMessageQX(L"");
        const Status status = parse(bytesOf(text), text.size(), out);
        EXPECT_EQ(status.error(), refusal.error == Error::None ? invalid : refusal.error) << text;
        EXPECT_EQ(status.message(), refusal.message) << text;
        EXPECT_EQ(GetMessageQX(), refusal.message);
        EXPECT_TRUE(out == marker) << text;
    }
}

void expectLedgerRefused(const std::vector<Refusal>& refusals) {
    expectRefused(kLedgerText, Error::ModLedgerInvalid, sampleLedger(), ParseModLedger, refusals);
}

void expectIntentRefused(const std::vector<Refusal>& refusals) {
    ModIntent marker = sampleIntent();
    marker.operation = L"untouched";
    expectRefused(kIntentText, Error::ModIntentInvalid, marker, ParseModIntent, refusals);
}

TEST(ModLedgerRefusal, NotALedgerAtAll) {
    expectLedgerRefused({
        {"", "", L"MOD 记录不是有效的 JSON 文本（第 1 行有误）！"},
        {"", "[{}]", L"MOD 记录的内容不是 JSON 对象！"},
        {"\"Z54\"", "\"Z\xC3\x28\"", L"MOD 记录不是有效的 UTF-8 文本！"},
        {"  \"mode\": \"PC\",", "  \"mode\": \"PC\"",
         L"MOD 记录不是有效的 JSON 文本（第 5 行有误）！"},
        {"\"entry\": 7,", "\"entry\": 7, \"entry\": 8,",
         L"MOD 记录中的键 \"entry\" 出现了不止一次！"},
    });
    expectIntentRefused({{"", "{} {}", L"MOD 操作记录不是有效的 JSON 文本（第 1 行有误）！"}});
    // Cut anywhere, either file is refused, never read as a shorter one.
    for (const std::string* text : {&kLedgerText, &kIntentText}) {
        for (size_t length = 0; length + 1 < text->size(); ++length) {
            ModIntent intent;
            ModLedger ledger;
            const Status status = text == &kLedgerText
                                      ? ParseModLedger(bytesOf(*text), length, ledger)
                                      : ParseModIntent(bytesOf(*text), length, intent);
            EXPECT_FALSE(status.ok()) << length;
            EXPECT_EQ(status.message().back(), L'！') << length;
        }
    }
}

TEST(ModLedgerRefusal, KeysMissingOrOfAWrongType) {
    const std::wstring entry = L"MOD 记录中第 2 个条目";
    expectLedgerRefused({
        {"  \"format\": 1,\n", "", L"MOD 记录中缺少 format！"},
        {"\"format\": 1", "\"format\": \"1\"", L"MOD 记录中的 format 类型有误，应为整数！"},
        {"\"Z54\"", "54", L"MOD 记录中的 type 类型有误，应为字符串！"},
        {"\"mods\": [", "\"mods\": \"A\", \"old\": [", L"MOD 记录中的 mods 类型有误，应为数组！"},
        {"{\"name\": \"A\", ", "{", L"MOD 记录中第 1 个 MOD 缺少 name！"},
        {"\"/home/p/mods/A\"", "null", L"MOD 记录中第 1 个 MOD 的 folder 类型有误，应为字符串！"},
        {"    {\"entry\": 7", "    [], {\"entry\": 7",
         L"MOD 记录中第 1 个条目类型有误，应为对象！"},
        {"\"entry\": 42", "\"entry\": \"42\"", entry + L"的 entry 类型有误，应为整数！"},
        {"\"original\": \"10000300\", ", "", entry + L"缺少 original！"},
        {"\"original\": \"10000300\"", "\"original\": [16]",
         entry + L"的 original 类型有误，应为字符串！"},
        {"\"layers\": [{\"mod\": \"A\", \"bytes\": \"0a000200\"}]", "\"layers\": \"A\"",
         L"MOD 记录中第 1 个条目的 layers 类型有误，应为数组！"},
        {"[{\"mod\": \"A\", \"bytes\": \"1a000400\"}", "[7",
         entry + L"的第 1 层类型有误，应为对象！"},
        {"{\"mod\": \"A\", \"bytes\": \"1a000400\"}", "{\"bytes\": \"1a000400\"}",
         entry + L"的第 1 层缺少 mod！"},
        {"\"bytes\": \"1b000500\"", "\"bytes\": 1",
         entry + L"的第 2 层的 bytes 类型有误，应为字符串！"},
    });
}

TEST(ModLedgerRefusal, BadValues) {
    const std::wstring entry = L"MOD 记录中第 2 个条目";
    const std::wstring range = L" 无效（应为 0 到 4294967295 之间的整数）！";
    const std::wstring hex = L" 无效（应为小写十六进制数字，每两位一个字节，共 1 到 64 个字节）！";
    const std::string longest(2 * kMaxModEntryBytes, 'a');
    expectLedgerRefused({
        // The format before anything else.
        {"\"format\": 1,\n  \"type\": \"Z54\"", "\"format\": 2,\n  \"type\": 5",
         L"MOD 记录的格式版本为 2，本程序只支持版本 1！", Error::ModFormatUnknown},
        {"\"format\": 1", "\"format\": 1.0", L"MOD 记录中的 format 1.0" + range},
        {"\"Z54\"", "\"z54\"", L"MOD 记录中的 type \"z54\" 无效（应为 357、Z54 或 358）！"},
        {"\"PC\"", "\"PS4\"", L"MOD 记录中的 mode \"PS4\" 无效（应为 PC 或 PS3）！"},
        {"\"name\": \"A\"", "\"name\": \"\"",
         L"MOD 记录中第 1 个 MOD 的 name \"\" 无效（不能为空）！"},
        {"\"汉化补丁\", \"folder\"", "\"A\", \"folder\"",
         L"MOD 记录中第 2 个 MOD 的 name \"A\" 无效（与第 1 个 MOD 重复）！"},
        {"\"entry\": 42", "\"entry\": 7",
         entry + L"的 entry 7 无效（应比前一项的大，按从小到大排列且不重复）！"},
        {"\"entry\": 42", "\"entry\": 6",
         entry + L"的 entry 6 无效（应比前一项的大，按从小到大排列且不重复）！"},
        {"\"entry\": 42", "\"entry\": -1", entry + L"的 entry -1" + range},
        {"\"entry\": 4294967295", "\"entry\": 4294967296",
         L"MOD 记录中第 3 个条目的 entry 4294967296" + range},
        {"\"entry\": 42", "\"entry\": 4.2e1", entry + L"的 entry 42.0" + range},
        {"\"10000300\"", "\"1000030A\"", entry + L"的 original \"1000030A\"" + hex},
        {"\"10000300\"", "\"1000030\"", entry + L"的 original \"1000030\"" + hex},
        {"\"10000300\"", "\"\"", entry + L"的 original \"\"" + hex},
        {"\"10000300\"", "\"1000030g\"", entry + L"的 original \"1000030g\"" + hex},
        {"\"00000100\"", "\"" + longest + "aa\"",
         L"MOD 记录中第 1 个条目的 original \"" + std::wstring(59, L'a') + L"…" + hex},
        {"\"1a000400\"", "\"1a0004\"",
         entry + L"的第 1 层的 bytes \"1a0004\" 无效（应为 4 个字节，与前面的字节值一样长）！"},
        {"\"00000100\"", "\"" + longest + "\"",
         L"MOD 记录中第 1 个条目的第 1 层的 bytes \"0a000200\" 无效（应为 64 "
         L"个字节，与前面的字节值一样长）！"},
        {"\"layers\": [{\"mod\": \"A\", \"bytes\": \"0a000200\"}]", "\"layers\": []",
         L"MOD 记录中第 1 个条目的 layers [] 无效（不能为空）！"},
        {"{\"mod\": \"汉化补丁\", \"bytes\": \"1b", "{\"mod\": \"B\", \"bytes\": \"1b",
         entry + L"的第 2 层的 mod \"B\" 无效（应为 mods 中列出的 MOD 名称）！"},
        {"{\"mod\": \"汉化补丁\", \"bytes\": \"1b", "{\"mod\": \"A\", \"bytes\": \"1b",
         entry + L"的第 2 层的 mod \"A\" 无效（与第 1 层重复）！"},
    });
}

TEST(ModIntentRefusal, EveryRuleOfTheIntent) {
    const std::wstring file = L"MOD 操作记录中第 2 个文件的 ";
    const std::wstring range = L" 无效（应为 0 到 18446744073709551615 之间的整数）！";
    expectIntentRefused({
        {"\"format\": 1,\n  \"operation\"", "\"format\": 3,\n  \"operation\"",
         L"MOD 操作记录的格式版本为 3，本程序只支持版本 1！", Error::ModFormatUnknown},
        {"\"MODADD\"", "\"modadd\"",
         L"MOD 操作记录中的 operation \"modadd\" 无效（应为 MODADD、MODDEL 或 MODREAPPLY）！"},
        {"[\"汉化补丁\", \"A\"]", "[]", L"MOD 操作记录中的 mods [] 无效（不能为空）！"},
        {"[\"汉化补丁\", \"A\"]", "[\"A\", 1]",
         L"MOD 操作记录中第 2 个 MOD 名称类型有误，应为字符串！"},
        {"[\"汉化补丁\", \"A\"]", "[\"A\", \"\"]",
         L"MOD 操作记录中第 2 个 MOD 名称 \"\" 无效（不能为空）！"},
        {"[\"汉化补丁\", \"A\"]", "[\"A\", \"A\"]",
         L"MOD 操作记录中第 2 个 MOD 名称 \"A\" 无效（与第 1 个 MOD 名称重复）！"},
        {"\"backup\": \"0123456789abcdef0123456789abcdef\"", "\"backup\": \"0123\"",
         L"MOD 操作记录中的 backup \"0123\" 无效（应为 32 位小写十六进制数字）！"},
        {"\"file\": 2", "\"file\": 0",
         file + L"file 0 无效（应比前一项的大，按从小到大排列且不重复）！"},
        {"\"size\": 18446744073709551615", "\"size\": 18446744073709551616",
         file + L"size 1.8446744073709552e+19" + range},
        {"\"size\": 18446744073709551615", "\"size\": \"1\"", file + L"size 类型有误，应为整数！"},
        {"\"size\": 18446744073709551615", "\"size\": 18446744073709551614",
         file + L"from 18446744073709551615 无效（不能大于 size）！"},
        {"\"from\": 4000", "\"from\": -4000", L"MOD 操作记录中第 1 个文件的 from -4000" + range},
        {"\"hash\": \"99aa06d3014798d86001c324468d497f\"",
         "\"hash\": \"99AA06D3014798D86001C324468D497F\"",
         file + L"hash \"99AA06D3014798D86001C324468D497F\" 无效（应为 32 位小写十六进制数字）！"},
        {"\"slot\": 3", "\"slot\": 4294967296",
         L"MOD 操作记录中第 1 个条目的 slot 4294967296 无效（应为 0 到 4294967295 之间的整数）！"},
        {"\"after\": \"1b000500\"", "\"after\": \"1b00\"",
         L"MOD 操作记录中第 1 个条目的 after \"1b00\" 无效（应为 4 "
         L"个字节，与前面的字节值一样长）！"},
        // The intent's ledger: its own keys and members, bytes as long as the intent's.
        {"  \"ledger\": {\n    \"format\": 1,", "  \"ledger\": {\n    \"format\": 2,",
         L"MOD 操作记录中 ledger 的格式版本为 2，本程序只支持版本 1！", Error::ModFormatUnknown},
        {"  \"ledger\": {", "  \"ledger\": 0, \"x\": {",
         L"MOD 操作记录中的 ledger 类型有误，应为对象！"},
        {"\"1a000400\", \"after\": \"1b000500\", \"slot\": 3},\n    {\"entry\": 4294967295, "
         "\"before\": \"ffffffff\", \"after\": \"2b000600\"",
         "\"1a00\", \"after\": \"1b00\", \"slot\": 3},\n    {\"entry\": 4294967295, "
         "\"before\": \"ffff\", \"after\": \"2b00\"",
         L"MOD 操作记录中 ledger 的第 1 个条目的 original \"00000100\" 无效（应为 2 "
         L"个字节，与前面的字节值一样长）！"},
        {"    \"type\": \"Z54\",\n", "", L"MOD 操作记录中缺少 ledger.type！"},
        {"    \"mode\": \"PC\"", "    \"mode\": \"pc\"",
         L"MOD 操作记录中的 ledger.mode \"pc\" 无效（应为 PC 或 PS3）！"},
        {"\"original\": \"10000300\"", "\"original\": \"100003\"",
         L"MOD 操作记录中 ledger 的第 2 个条目的 original \"100003\" 无效（应为 4 "
         L"个字节，与前面的字节值一样长）！"},
        {"{\"mod\": \"A\", \"bytes\": \"0a000200\"}", "{\"mod\": \"B\", \"bytes\": \"0a000200\"}",
         L"MOD 操作记录中 ledger 的第 1 个条目的第 1 层的 mod \"B\" 无效（应为 mods "
         L"中列出的 MOD 名称）！"},
    });
}

} // namespace
} // namespace karv
