// Under ThreadSanitizer: the worker pool itself, the codecs sharing a container's chunks among
// threads, and the export and import handing members to the workers. Every job only computes;
// everything else stays on the calling thread, and this program checks that no two threads
// ever touch the same memory unordered.
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "karvcore/index_table.h"
#include "karvcore/tuning.h"
#include "work/worker_pool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace karv {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes content(size_t length, uint32_t seed) {
    Bytes out(length);
    uint32_t state = seed;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        out[i] = (i / 4096) % 2 ? uint8_t(state >> 24) : uint8_t("karvex "[i % 7]);
    }
    return out;
}

TEST(WorkerPool, EveryJobRunsOnceWhateverThreadTakesIt) {
    for (unsigned threads : {1u, 2u, 4u}) {
        WorkerPool pool(threads);
        std::vector<uint64_t> sums(1000, 0);
        ASSERT_TRUE(
            pool.forEach(sums.size(), [&](size_t i, codec::StreamCodec&) { sums[i] += i; }));
        EXPECT_EQ(std::accumulate(sums.begin(), sums.end(), uint64_t(0)), 999u * 1000 / 2);
        // Submitted jobs, waited for in order: a job still queued runs on the calling thread.
        std::vector<std::shared_ptr<WorkerPool::Ticket>> tickets;
        std::vector<int> done(50, 0);
        for (int i = 0; i < 50; ++i)
            tickets.push_back(pool.submit([&done, i](codec::StreamCodec&) { done[i] = i + 1; }));
        for (int i = 0; i < 50; ++i) {
            pool.wait(*tickets[i]);
            EXPECT_EQ(done[i], i + 1);
        }
    }
}

class Threads : public ::testing::Test {
  protected:
    void SetUp() override {
        SetWorkerCount(4);
        SetParallelThreshold(1);
    }
    void TearDown() override {
        SetWorkerCount(0);
        SetParallelThreshold(0);
    }
};

TEST_F(Threads, ContainersOnFourThreads) {
    const Bytes input = content(1500000, 3);
    for (int32_t type : {kDataType357, kDataTypeZ54, kDataType358}) {
        const ContainerKind& kind = *FindContainerKind(type);
        uint8_t* container = nullptr;
        uint32_t used = 0, padded = 0;
        ASSERT_EQ(kind.compress(container, input.data(), uint32_t(input.size()), &used, &padded,
                                kind.chunkSize, true, 1),
                  0);
        uint8_t* out = nullptr;
        uint32_t length = 0;
        ASSERT_EQ(kind.decompress(out, container, used, &length, true), 0);
        EXPECT_TRUE(Bytes(out, out + length) == input);
        std::free(out);
        // A corrupt chunk: the planned decode fails and the member is decoded again alone.
        container[used / 3] ^= 0x5A;
        EXPECT_NE(kind.decompress(out, container, used, &length, true), 0);
        std::free(container);
    }
}

// A Z54 archive of compressed members, its backup, an export of every member with the workers
// decompressing ahead, and an import of edited members with the workers compressing ahead.
TEST_F(Threads, ExportAndImportOnFourThreads) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("karv-tsan-" + std::to_string(getpid()));
    fs::create_directories(folder / "import");
    const ContainerKind& kind = *FindContainerKind(kDataTypeZ54);
    const uint32_t count = 12;
    IndexTable index;
    ASSERT_TRUE(IndexTable::create(*kind.index, false, count, kind.alignment, index));
    Bytes archive(16 + 16 * count, 0);
    archive.resize((archive.size() + 2047) / 2048 * 2048, 0);
    for (uint32_t i = 0; i < count; ++i) {
        const Bytes member = content(100000 + i * 5000, i);
        uint8_t* container = nullptr;
        uint32_t used = 0, padded = 0;
        ASSERT_EQ(kind.compress(container, member.data(), uint32_t(member.size()), &used, &padded,
                                kind.chunkSize, false, 1),
                  0);
        index.set(i, {archive.size(), 0, used, uint32_t(member.size())});
        archive.insert(archive.end(), container, container + padded);
        std::free(container);
    }
    Bytes head = index.header();
    std::copy(head.begin(), head.end(), archive.begin());
    std::copy(index.entries(), index.entries() + index.entriesLength(), archive.begin() + 16);
    const fs::path archivePath = folder / "game.bin";
    std::ofstream(archivePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(archive.data()), std::streamsize(archive.size()));

    linkinfo link;
    link.fileNames[0] = archivePath.wstring();
    ASSERT_EQ(BackupIdxVoxbank(kDataTypeZ54, link, L"", false), 0);

    ExportRequest request;
    request.dataType = kDataTypeZ54;
    request.link = link;
    request.archivePath = archivePath.wstring();
    request.last = count;
    ArchiveExport exporter(request);
    ASSERT_TRUE(exporter.open());
    ExportedMember member;
    uint32_t exported = 0;
    while (exporter.next(member)) {
        ASSERT_TRUE(member.status);
        EXPECT_TRUE(Bytes(member.data, member.data + member.length) ==
                    content(100000 + member.entry * 5000, member.entry));
        // Edited files to import, written while the workers decompress the next members.
        Bytes edited(member.data, member.data + member.length);
        edited.push_back('!');
        std::ofstream(folder / "import" / (std::to_string(member.entry) + ".data"),
                      std::ios::binary)
            .write(reinterpret_cast<const char*>(edited.data()), std::streamsize(edited.size()));
        ++exported;
    }
    EXPECT_EQ(exported, count);

    ImportRequest import;
    import.dataType = kDataTypeZ54;
    import.blockAlignment = kind.alignment;
    import.link = link;
    import.archivePath = archivePath.wstring();
    import.importFolder = (folder / "import").wstring();
    ArchiveImport importer(import);
    ASSERT_TRUE(importer.open());
    std::vector<ImportFile> files;
    for (uint32_t i = 0; i < count; ++i)
        files.push_back({std::to_wstring(i) + L".data", i});
    files.push_back({L"3.data", 3}); // the same entry again: at its turn, after the first
    uint32_t imported = 0;
    EXPECT_TRUE(importer.run(files, [&](const ImportEvent& event) {
        imported += event.kind == ImportEvent::kImported;
    }));
    EXPECT_EQ(imported, count + 1);
    fs::remove_all(folder);
}

} // namespace
} // namespace karv
