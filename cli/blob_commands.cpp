#include "blob_commands.h"

#include "console.h"
#include "karvcore/karvcore.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "texts.h"

#include <cstring>
#include <new>
#include <vector>

namespace karv::cli {
namespace {

using platform::kPathSeparator;

// The merged blob: the count, then (start, size) per sub-file, every number little-endian
// whatever the game's byte order.
constexpr uint64_t kCountSize = 4;
constexpr uint64_t kPairSize = 8;

std::wstring separators() {
    return platform::isPathSeparator(L'\\') ? std::wstring(L"\\/") : std::wstring(L"/");
}

void putLe32(std::vector<uint8_t>& out, uint64_t pos, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[size_t(pos) + i] = uint8_t(value >> (8 * i));
}

uint64_t roundedToFour(uint64_t size) {
    return (size + 3) / 4 * 4;
}

// ---- Split ----

struct SplitOutcome {
    bool saved = false;
    bool failed = false;
};

// Writes one sub-file straight from the loaded blob; a sub-file that cannot be located is
// passed over without a word.
void splitOne(const LoadedData& blob, uint32_t subFile, SplitOutcome& outcome) {
    uint32_t start = 0, size = 0;
    if (GetData_Offset(blob.bytes.get(), blob.size, subFile, &start, &size,
                       archiveSelection.bigEndian) != 0)
        return;
    std::wstring path = archiveSelection.texturesDir + kPathSeparator + zeroPadded(subFile, 5) +
                        text::kSubFileSuffix;
    if (SaveData(path, blob.bytes.get(), start, size, true)) {
        print(text::kSplitLinePrefix + path + text::kSubFileSplit);
        outcome.saved = true;
    } else {
        print(text::kSplitLinePrefix + path + text::kSubFileSplitFailedBecause + GetMessageQX() +
              L"\n");
        outcome.failed = true;
    }
}

void printSplitSummary(const SplitOutcome& outcome) {
    if (!outcome.saved)
        print(text::kNothingSplit);
    else if (outcome.failed)
        print(text::kSplitDonePartly);
    else
        print(text::kSplitDone);
}

// ---- Merge ----

struct MergeInput {
    std::wstring name;
    uint64_t listedSize = 0;
};

// The ".data" files of the folder in ascending order of UTF-16 code units; folders and names
// starting with "." are passed over.
std::vector<MergeInput> listMergeInputs(const std::wstring& folder) {
    std::vector<platform::DirectoryEntry> entries;
    std::vector<MergeInput> inputs;
    if (!platform::listDirectory(folder, std::wstring(L"*") + text::kSubFileSuffix, entries))
        return inputs;
    for (const platform::DirectoryEntry& entry : entries) {
        if (entry.isDirectory || entry.name.empty() || entry.name[0] == L'.')
            continue;
        inputs.push_back({entry.name, entry.size});
    }
    return inputs;
}

// The table and each listed size rounded up to a multiple of 4; above 32 bits when the
// output could not be written in one piece.
uint64_t mergedLength(const std::vector<MergeInput>& inputs) {
    uint64_t length = kCountSize + kPairSize * inputs.size();
    for (const MergeInput& input : inputs) {
        if (length > UINT32_MAX || input.listedSize > UINT32_MAX)
            return uint64_t(UINT32_MAX) + 1;
        length += roundedToFour(input.listedSize);
    }
    return length;
}

// Loads every input into its place; false (with the failure printed) when one cannot be
// loaded or has grown since the listing, which sized the output.
bool fillMergedBlob(const std::wstring& folder, const std::vector<MergeInput>& inputs,
                    std::vector<uint8_t>& out) {
    putLe32(out, 0, uint32_t(inputs.size()));
    uint64_t position = kCountSize + kPairSize * inputs.size();
    for (size_t k = 0; k < inputs.size(); ++k) {
        LoadedData file;
        if (!loadWhole(folder + inputs[k].name, file)) {
            print(text::kLoadFileFailed);
            print(text::kMergeFailed);
            return false;
        }
        if (file.size > inputs[k].listedSize) {
            print(text::kMergeFileChanged);
            print(text::kMergeFailed);
            return false;
        }
        putLe32(out, kCountSize + kPairSize * k, uint32_t(position));
        putLe32(out, kCountSize + kPairSize * k + 4, file.size);
        if (file.size > 0)
            std::memcpy(out.data() + position, file.bytes.get(), file.size);
        position += file.size;
    }
    return true;
}

} // namespace

bool loadWhole(const std::wstring& path, LoadedData& file) {
    uint8_t* raw = nullptr;
    uint32_t size = 0;
    if (!LoadData(path, raw, &size))
        return false;
    file.bytes.reset(raw);
    file.size = size;
    return true;
}

std::wstring outputFolderFor(const std::wstring& path) {
    size_t cut = platform::lastSeparator(path);
    std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    size_t dot = name.find(L'.');
    std::wstring stem = dot == std::wstring::npos || dot == 0 ? name + text::kOutputFolderSuffix
                                                              : name.substr(0, dot);
    if (cut == std::wstring::npos)
        return stem;
    return path.substr(0, cut) + kPathSeparator + stem;
}

std::wstring withTrailingSeparator(const std::wstring& folder) {
    if (!folder.empty() && platform::isPathSeparator(folder.back()))
        return folder;
    return folder + kPathSeparator;
}

void createFolderUnlessExists(const std::wstring& folder) {
    if (!platform::pathExists(folder))
        platform::createDirectory(folder);
}

void prepareOutputFolder(const std::wstring& path) {
    archiveSelection.texturesDir = outputFolderFor(path);
    createFolderUnlessExists(archiveSelection.texturesDir);
}

bool readFirstWord(const uint8_t* data, uint32_t length, uint32_t& word) {
    if (data == nullptr || length < 4)
        return false;
    uint32_t raw;
    std::memcpy(&raw, data, 4);
    word = Get4Data(raw, archiveSelection.bigEndian, false);
    return true;
}

std::wstring zeroPadded(uint32_t number, int width) {
    std::wstring digits = std::to_wstring(number);
    if (digits.size() < size_t(width))
        digits.insert(0, size_t(width) - digits.size(), L'0');
    return digits;
}

void SplitBlob(const std::wstring& path) {
    LoadedData blob;
    if (!loadWhole(path, blob)) {
        print(text::kLoadFileFailed);
        return;
    }
    prepareOutputFolder(path);
    // A file too short for the count holds no sub-file.
    uint32_t count = 0;
    readFirstWord(blob.bytes.get(), blob.size, count);
    if (count > kMaxBlobFiles) {
        print(text::kTooManySubFiles);
        return;
    }
    SplitOutcome outcome;
    for (uint32_t subFile = 0; subFile < count; ++subFile)
        splitOne(blob, subFile, outcome);
    blob.bytes.reset();
    printSplitSummary(outcome);
}

void MergeBlob(const std::wstring& folderArgument) {
    std::vector<std::wstring> names;
    SplitString(folderArgument, separators(), names);
    if (names.empty()) {
        print(text::kNoMergeName);
        return;
    }
    const std::wstring folder = withTrailingSeparator(folderArgument);
    const std::wstring outputPath = folder + names.back() + text::kMergedSuffix;
    const std::vector<MergeInput> inputs = listMergeInputs(folder);
    if (inputs.empty()) {
        print(text::kNoFilesToMerge);
        return;
    }
    const uint64_t length = mergedLength(inputs);
    if (length > UINT32_MAX) {
        print(text::kMergeTooLarge);
        return;
    }
    std::vector<uint8_t> out;
    try {
        out.assign(size_t(length), 0);
    } catch (const std::bad_alloc&) {
        print(text::kOutOfMemory);
        return;
    }
    if (!fillMergedBlob(folder, inputs, out))
        return;
    if (!SaveData(outputPath, out.data(), 0, uint32_t(length), true)) {
        printFailure(text::kMergeFailedBecause);
        return;
    }
    print(text::kMergeDone);
}

} // namespace karv::cli
