// The program's command line: data mode, operation codes, and the "U" and "C" commands,
// checked by the exact bytes the program prints.
#include "karvcore/buffer.h"
#include "karvcore/karvcore.h"
#include "platform/filesystem.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace karv::test {
namespace {

const std::string kCompressDone = utf8(L"压缩文件成功！\n");
const std::string kDecompressDone = utf8(L"解压文件成功！\n");
const std::string kNotCompressed = utf8(L"指定的文件不是压缩文件！\n");
const std::string kLoadFailed = utf8(L"加载文件失败！\n");

std::string sampleMember(size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i)
        s += "line " + std::to_string(i * 2654435761u % 100000) + " 数据\n";
    s.resize(size);
    return s;
}

std::string compressWithLibrary(const std::wstring& type, const std::string& data, bool big) {
    uint8_t* out = nullptr;
    uint32_t used = 0, padded = 0;
    auto in = reinterpret_cast<const uint8_t*>(data.data());
    auto n = uint32_t(data.size());
    int32_t status = type == L"357" ? CompressData357(out, in, n, &used, &padded, big, 9)
                     : type == L"Z54"
                         ? CompressDataZ54(out, in, n, &used, &padded, big, 9)
                         : CompressData358(out, in, n, &used, &padded, 0x40000, big, 9);
    EXPECT_EQ(status, 0);
    MallocBuffer owned(out);
    return std::string(reinterpret_cast<const char*>(out), used);
}

class CommandLine : public ::testing::Test {
  protected:
    TempDir dir;
    ProgramRun run(std::vector<std::wstring> args, bool cLocale = false) {
        RunOptions options;
        options.workDir = dir.path();
        options.cLocale = cLocale;
        return runKarvex(args, options);
    }
};

TEST_F(CommandLine, CompressesAndDecompressesEveryTypeInBothByteOrders) {
    const std::string member = sampleMember(150000);
    for (const wchar_t* mode : {L"PC", L"PS3"}) {
        for (const wchar_t* type : {L"357", L"Z54", L"358"}) {
            SCOPED_TRACE(utf8(mode) + " " + utf8(type));
            std::wstring path = dir.file(L"成员.bin");
            ASSERT_TRUE(writeFileBytes(path, member));
            ProgramRun c = run({mode, L"C", type, path});
            EXPECT_EQ(c.output, kCompressDone);
            EXPECT_EQ(c.exitCode, 0);
            std::string packed = readFileBytes(path + L".cdata");
            EXPECT_EQ(packed, compressWithLibrary(type, member, std::wstring(mode) == L"PS3"));

            ProgramRun u = run({mode, L"U", type, path + L".cdata"});
            EXPECT_EQ(u.output, kDecompressDone);
            EXPECT_EQ(readFileBytes(path + L".cdata.udata"), member);
        }
    }
}

TEST_F(CommandLine, ModeCodeAndTypeAreCaseInsensitiveAndOutputIsUtf8UnderCLocale) {
    std::wstring path = dir.file(L"m.bin");
    ASSERT_TRUE(writeFileBytes(path, sampleMember(1000)));
    ASSERT_TRUE(writeFileBytes(path + L".cdata", "old content that must go away"));
    EXPECT_EQ(run({L"pc", L"c", L"z54", path}, true).output, kCompressDone);
    EXPECT_EQ(run({L"Ps3", L"u", L"z54", path + L".cdata"}, true).output,
              utf8(L"解压文件失败！原因：解压后的数据大小有误！\n"));
    EXPECT_EQ(run({L"pC", L"U", L"Z54", path + L".cdata"}, true).output, kDecompressDone);
    EXPECT_EQ(readFileBytes(path + L".cdata.udata"), sampleMember(1000));
}

TEST_F(CommandLine, Magic358IsCheckedInTheGameByteOrder) {
    std::string member = sampleMember(5000);
    std::string big = compressWithLibrary(L"358", member, true);
    ASSERT_EQ(big.substr(0, 4), std::string("\x7A\x70\x31\x00", 4));
    std::wstring written = dir.file(L"as_written.bin");
    ASSERT_TRUE(writeFileBytes(written, big));
    // What the compressor writes round-trips in PS3 mode.
    EXPECT_EQ(run({L"PS3", L"U", L"358", written}).output, kDecompressDone);
    EXPECT_EQ(readFileBytes(written + L".udata"), member);

    // The magic as a big-endian number is accepted in PS3 mode only.
    std::string numeric = big;
    numeric.replace(0, 4, std::string("\x00\x31\x70\x7A", 4));
    std::wstring swapped = dir.file(L"numeric.bin");
    ASSERT_TRUE(writeFileBytes(swapped, numeric));
    EXPECT_EQ(run({L"PS3", L"U", L"358", swapped}).output, kDecompressDone);
    EXPECT_EQ(readFileBytes(swapped + L".udata"), member);
    EXPECT_EQ(run({L"PC", L"U", L"358", swapped}).output, kNotCompressed);

    std::wstring tiny = dir.file(L"tiny.bin");
    for (std::string content : {std::string(), std::string("zp1")}) {
        ASSERT_TRUE(writeFileBytes(tiny, content));
        EXPECT_EQ(run({L"PC", L"U", L"358", tiny}).output, kNotCompressed);
        EXPECT_EQ(run({L"PS3", L"U", L"358", tiny}).output, kNotCompressed);
    }
    EXPECT_EQ(readFileBytes(tiny + L".udata"), "");
}

TEST_F(CommandLine, FailuresNameTheirCause) {
    std::wstring missing = dir.file(L"missing.bin");
    EXPECT_EQ(run({L"PC", L"U", L"357", missing}).output, kLoadFailed);
    EXPECT_EQ(run({L"PC", L"C", L"357", missing}).output, kLoadFailed);

    std::wstring empty = dir.file(L"empty.bin");
    ASSERT_TRUE(writeFileBytes(empty, ""));
    EXPECT_EQ(run({L"PC", L"C", L"358", empty}).output,
              utf8(L"压缩文件失败！原因：数据长度为零！\n"));

    std::wstring corrupt = dir.file(L"corrupt.bin");
    std::string container = compressWithLibrary(L"357", sampleMember(3000), false);
    container[128 + 4 + 10] ^= 0x55;
    ASSERT_TRUE(writeFileBytes(corrupt, container));
    EXPECT_EQ(run({L"PC", L"U", L"357", corrupt}).output,
              utf8(L"解压文件失败！原因：数据解压失败！\n"));
}

TEST_F(CommandLine, OutputThatCannotBeWrittenIsAFailure) {
    // A folder stands where the output file should go.
    std::wstring path = dir.file(L"m.bin");
    std::string member = sampleMember(2000);
    ASSERT_TRUE(writeFileBytes(path, member));
    ASSERT_TRUE(platform::createDirectory(path + L".cdata"));
    EXPECT_EQ(run({L"PC", L"C", L"357", path}).output,
              utf8(L"压缩文件失败！原因：创建文件失败！\n"));

    std::wstring packed = dir.file(L"p.bin");
    ASSERT_TRUE(writeFileBytes(packed, compressWithLibrary(L"Z54", member, false)));
    ASSERT_TRUE(platform::createDirectory(packed + L".udata"));
    EXPECT_EQ(run({L"PC", L"U", L"Z54", packed}).output,
              utf8(L"解压文件失败！原因：创建文件失败！\n"));
}

TEST_F(CommandLine, SilentEndsAndTheMenuEntry) {
    std::wstring path = dir.file(L"m.bin");
    ASSERT_TRUE(writeFileBytes(path, sampleMember(100)));
    const std::vector<std::vector<std::wstring>> silent = {
        {},                          // menus, no configuration file
        {L"PC"},                     // one argument: menus
        {L"PC", L"N"},               // menus
        {L"ps3", L"d", L"extra"},    // dry-run menus
        {L"PC", L"XYZ", path},       // unknown code: menus
        {L"PC", L"U", L"357"},       // file missing
        {L"PC", L"C"},               // type and file missing
        {L"PC", L"U", L"Z55", path}, // unknown type
        {L"PC", L"C", L"", path},    // empty type
        {L"PC", L"ET"},
        {L"PC", L"IT", path},
        {L"PC", L"SD"},
        {L"PC", L"MD"},
    };
    for (const auto& args : silent) {
        ProgramRun r = run(args);
        EXPECT_EQ(r.output, "") << args.size();
        EXPECT_EQ(r.exitCode, 0);
    }
    EXPECT_EQ(FilePathExists(path + L".udata"), 0);
    EXPECT_EQ(FilePathExists(path + L".cdata"), 0);
}

TEST_F(CommandLine, WrongDataModePausesAndEnds) {
    ProgramRun r = run({L"PS4", L"U", L"357", L"x"});
    EXPECT_EQ(r.output, utf8(L"参数：数据模式 错误！\n请按任意键继续. . .\n"));
    EXPECT_EQ(r.exitCode, 0);
}

} // namespace
} // namespace karv::test
