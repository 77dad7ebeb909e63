#include "blob_commands.h"

#include "console.h"
#include "files.h"
#include "karvcore/packed_blob.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "texts.h"

#include <vector>

namespace karv::cli {
namespace {

using platform::kPathSeparator;

std::wstring separators() {
    return platform::isPathSeparator(L'\\') ? std::wstring(L"\\/") : std::wstring(L"/");
}

// ---- Split ----

struct SplitOutcome {
    bool saved = false;
    bool failed = false;
};

// Writes one sub-file straight from the loaded blob; a sub-file that cannot be located is
// passed over without a word.
void splitOne(const ArchiveSelection& selection, const LoadedData& blob, uint32_t subFile,
              SplitOutcome& outcome) {
    uint32_t start = 0, size = 0;
    if (GetData_Offset(blob.bytes.get(), blob.size, subFile, &start, &size, selection.bigEndian) !=
        0)
        return;
    std::wstring path =
        selection.texturesDir + kPathSeparator + zeroPadded(subFile, 5) + text::kSubFileSuffix;
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

// Loads every input into its place; false (with the failure printed) when one cannot be
// loaded or has grown since the listing, which sized the blob.
bool fillMergedBlob(const std::wstring& folder, const std::vector<MergeInput>& inputs,
                    PackedBlobWriter& blob) {
    for (const MergeInput& input : inputs) {
        LoadedData file;
        if (!loadWhole(folder + input.name, file)) {
            print(text::kLoadFileFailed);
            print(text::kMergeFailed);
            return false;
        }
        if (!blob.add(file.bytes.get(), file.size)) {
            print(text::kMergeFileChanged);
            print(text::kMergeFailed);
            return false;
        }
    }
    return true;
}

} // namespace

void SplitBlob(ArchiveSelection& selection, const std::wstring& path) {
    LoadedData blob;
    if (!loadWhole(path, blob)) {
        print(text::kLoadFileFailed);
        return;
    }
    prepareOutputFolder(selection, path);
    // A file too short for the count holds no sub-file.
    uint32_t count = 0;
    ReadFirstWord(blob.bytes.get(), blob.size, selection.bigEndian, count);
    if (count > kMaxPackedBlobFiles) {
        print(text::kTooManySubFiles);
        return;
    }
    SplitOutcome outcome;
    for (uint32_t subFile = 0; subFile < count; ++subFile)
        splitOne(selection, blob, subFile, outcome);
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
    std::vector<uint64_t> listedSizes;
    for (const MergeInput& input : inputs)
        listedSizes.push_back(input.listedSize);
    PackedBlobWriter blob;
    if (Status started = blob.start(listedSizes); !started) {
        print(started.error() == Error::TooLarge ? text::kMergeTooLarge : text::kOutOfMemory);
        return;
    }
    if (!fillMergedBlob(folder, inputs, blob))
        return;
    if (!SaveData(outputPath, blob.data(), 0, blob.length(), true)) {
        printFailure(text::kMergeFailedBecause);
        return;
    }
    print(text::kMergeDone);
}

} // namespace karv::cli
