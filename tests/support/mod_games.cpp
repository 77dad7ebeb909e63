#include "mod_games.h"

#include "config_file.h"
#include "karvcore/mods.h"
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace karv::test {

const std::wstring kSep(1, platform::kPathSeparator);

Bytes content(size_t size, uint8_t seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed * 7 + i * 11 + (i >> 8));
    return out;
}

std::wstring hashOf(const std::string& bytes) {
    return ModHash(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::map<std::wstring, std::wstring> tree(const std::wstring& folder) {
    std::map<std::wstring, std::wstring> all;
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, L"*", entries);
    for (const auto& e : entries) {
        if (!e.isDirectory) {
            all[e.name] = hashOf(readFileBytes(folder + kSep + e.name));
            continue;
        }
        all[e.name + L"/"] = L"";
        for (const auto& [path, bytes] : tree(folder + kSep + e.name))
            all[e.name + L"/" + path] = bytes;
    }
    return all;
}

namespace {

std::wstring hex(uint32_t value) {
    wchar_t text[16];
    swprintf(text, 16, L"%x", value);
    return text;
}

Lines lines(const std::wstring& mode, const std::wstring& type, const Lines& more,
            const std::wstring& import) {
    Lines all = {{kLocation, L"game"}, {kMode, mode}, {kType, type}, {kImport, L"Import" + import}};
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

} // namespace

ModGames::ModGames(bool ps3) : mode_(ps3 ? L"PS3" : L"PC") {
    EXPECT_TRUE(platform::createDirectory(dir_.file(L"game")));
    ArchiveBuilder a(kDataTypeZ54, ps3), b(kDataTypeZ54, ps3);
    a.addRaw(content(3000, 1));
    a.addCompressed(content(9000, 2));
    a.addUnused();
    b.addCompressed(content(7000, 3));
    EXPECT_TRUE(a.write({game(L"a.bin")}, L"") && b.write({game(L"b.bin")}, L""));
    ArchiveBuilder s(kDataType357, ps3);
    s.addCompressed(content(5000, 4));
    s.startNextFile();
    s.addRaw(content(700, 5));
    EXPECT_TRUE(s.write({game(L"s0.bin"), game(L"s1.bin")}, game(L"s.idx")));
    ArchiveBuilder e0(kDataType358, ps3), e1(kDataType358, ps3);
    e0.addCompressed(content(6000, 6));
    e1.addRaw(content(800, 7));
    e1.addCompressed(content(300, 8));
    EXPECT_TRUE(e0.write({game(L"e0.bin")}, game(L"e0.idx")) &&
                e1.write({game(L"e1.bin")}, game(L"e1.idx")));
    EXPECT_TRUE(b.write({game(L"d.bin")}, L"") && b.write({game(L"d.dat")}, L""));
    const std::wstring split = L"0/" + hex(s.firstEntryOfFile(1) * 32);
    EXPECT_TRUE(writeFileBytes(
        dir_.file(L"游戏信息.txt"),
        ucs2File(
            record(L"Z", lines(mode_, L"Z54", {{kCount, L"2"}, {kNames, L"a.bin/b.bin"}}, L"")) +
            record(L"S", lines(mode_, L"357",
                               {{kIdxNames, L"s.idx"},
                                {kCount, L"2"},
                                {kNames, L"s0.bin/s1.bin"},
                                {kSplit, split}},
                               L"357")) +
            record(L"E", lines(mode_, L"358",
                               {{kIdxCount, L"2"},
                                {kIdxNames, L"e0.idx/e1.idx"},
                                {kCount, L"2"},
                                {kNames, L"e0.bin/e1.bin"}},
                               L"358")) +
            record(L"D", lines(mode_, L"Z54", {{kCount, L"2"}, {kNames, L"d.bin/d.dat"}}, L"D")))));
}

void ModGames::edit(const std::wstring& path, const Bytes& bytes) const {
    std::wstring at = dir_.path();
    for (size_t from = 0, cut; (cut = path.find(L'/', from)) != std::wstring::npos;
         from = cut + 1) {
        at += kSep + path.substr(from, cut - from);
        platform::createDirectory(at);
    }
    EXPECT_TRUE(writeBytes(at + kSep + path.substr(path.rfind(L'/') + 1), bytes));
}

ProgramRun ModGames::run(std::vector<std::wstring> args) const {
    args.insert(args.begin(), mode_);
    RunOptions options;
    options.workDir = dir_.path();
    return runKarvex(args, options);
}

} // namespace karv::test
