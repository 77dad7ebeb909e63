#include "texture_commands.h"

#include "console.h"
#include "files.h"
#include "karvcore/buffer.h"
#include "karvcore/files.h"
#include "karvcore/formats.h"
#include "karvcore/packed_blob.h"
#include "platform/filesystem.h"
#include "program_state.h"
#include "texts.h"

#include <memory>
#include <sstream>
#include <vector>

namespace karv::cli {
namespace {

using platform::kPathSeparator;

using Container = std::unique_ptr<GT1GDataQX>;

bool isContainer(const uint8_t* data, uint32_t length) {
    return IsTextureContainer(data, length, archiveSelection.bigEndian);
}

bool readFirstWord(const uint8_t* data, uint32_t length, uint32_t& word) {
    return ReadFirstWord(data, length, archiveSelection.bigEndian, word);
}

// "00003_000012": the sub-file and texture numbers of a DDS file name.
std::wstring textureLabel(uint32_t subFile, uint32_t texture) {
    return zeroPadded(subFile, 5) + L"_" + zeroPadded(texture, 6);
}

// The output folder of a container: a member of the archive export gets a folder of its own.
std::wstring textureFolder(uint32_t member) {
    std::wstring folder = archiveSelection.texturesDir;
    if (member < kNoMember) {
        folder += kPathSeparator + std::to_wstring(member);
        createFolderUnlessExists(folder);
    }
    return folder;
}

// Exports the texture at the container's cursor. A DDS file that cannot be written counts as
// a failed texture, with the reason the library gives.
void exportOne(GT1GDataQX& container, const uint8_t* buffer, uint32_t member, uint32_t subFile,
               uint32_t texture, bool verbose) {
    uint8_t* raw = nullptr;
    uint32_t length = 0;
    std::wstring format;
    container.ExportTexture(buffer, raw, &length, &format, false, 0);
    const std::wstring label = text::kTextureLinePrefix + textureLabel(subFile, texture);
    if (length == 0) {
        if (verbose)
            print(label + text::kTextureExportFailed + GetMessageQX() + L"\n");
        return;
    }
    MallocBuffer dds(raw);
    std::wstring path = textureFolder(member) + kPathSeparator + textureLabel(subFile, texture) +
                        L"-" + format + text::kDdsSuffix;
    bool saved = archiveSelection.dryRun || SaveData(path, dds.get(), 0, length, true);
    dds.reset();
    if (!verbose)
        return;
    if (saved)
        print(label + text::kTextureExported);
    else
        print(label + text::kTextureExportFailed + GetMessageQX() + L"\n");
}

// Every container among the sub-files of a blob of `count` sub-files; false when there is
// none. Sub-files that cannot be located or are no containers are passed over.
bool exportBlobContainers(const LoadedData& blob, uint32_t count) {
    bool found = false;
    for (uint32_t subFile = 0; subFile < count; ++subFile) {
        uint32_t offset = 0, length = 0;
        if (GetData_Offset(blob.bytes.get(), blob.size, subFile, &offset, &length,
                           archiveSelection.bigEndian) != 0 ||
            !isContainer(blob.bytes.get() + offset, length))
            continue;
        ExportContainerTextures(blob.bytes.get(), offset, length, kNoMember, subFile, true);
        found = true;
    }
    return found;
}

// ---- Import ----

// A number piece of a DDS file name: an unsigned 32-bit decimal number and nothing after it.
bool parseNumber(const std::wstring& piece, uint32_t& value) {
    std::wistringstream in(piece);
    uint32_t number = 0;
    if (!(in >> number) || in.peek() != std::wistringstream::traits_type::eof())
        return false;
    value = number;
    return true;
}

// "<sub-file>_<texture>-<anything>": the format and the extension are not looked at.
bool parseDdsName(const std::wstring& name, uint32_t& subFile, uint32_t& texture) {
    std::vector<std::wstring> halves, numbers;
    SplitString(name, L"-", halves);
    if (halves.size() != 2)
        return false;
    SplitString(halves[0], L"_", numbers);
    return numbers.size() == 2 && parseNumber(numbers[0], subFile) &&
           parseNumber(numbers[1], texture);
}

// The DDS files of the folder in ascending order of UTF-16 code units, which keeps the
// files of one sub-file together and in texture order; folders and names starting with "."
// are passed over.
std::vector<std::wstring> listDdsFiles(const std::wstring& folder) {
    std::vector<platform::DirectoryEntry> entries;
    std::vector<std::wstring> names;
    if (!platform::listDirectory(folder, std::wstring(L"*") + text::kDdsSuffix, entries))
        return names;
    for (const platform::DirectoryEntry& entry : entries) {
        if (!entry.isDirectory && !entry.name.empty() && entry.name[0] != L'.')
            names.push_back(entry.name);
    }
    return names;
}

void printImportFailure(const std::wstring& name) {
    print(text::kImportLinePrefix + name + text::kImportFileFailedBecause + GetMessageQX() + L"\n");
}

// One run of "IT": the data file in memory and the container open in it, switched between
// sub-files as the DDS file names ask. Every step prints its own failure.
class TextureImport {
  public:
    TextureImport(LoadedData& data, GT1GDataQX& container) : data_(data), container_(container) {}

    bool importFile(const std::wstring& folder, const std::wstring& name);

  private:
    bool findRegion(uint32_t subFile, uint32_t& offset, uint32_t& length) const;
    bool subFileContainer(uint32_t subFile, uint32_t& offset, uint32_t& length) const;
    bool openSubFile(uint32_t subFile, const std::wstring& name);

    LoadedData& data_;
    GT1GDataQX& container_;
    bool open_ = false;
    uint32_t openSubFile_ = 0;
};

bool TextureImport::subFileContainer(uint32_t subFile, uint32_t& offset, uint32_t& length) const {
    return GetData_Offset(data_.bytes.get(), data_.size, subFile, &offset, &length,
                          archiveSelection.bigEndian) == 0 &&
           isContainer(data_.bytes.get() + offset, length);
}

// Sub-file 0 names the data file itself when that is a container; otherwise sub-file 0 of the
// packed blob, which is where the export's 00000_ files of a blob came from.
bool TextureImport::findRegion(uint32_t subFile, uint32_t& offset, uint32_t& length) const {
    uint32_t word = 0;
    const bool hasWord = readFirstWord(data_.bytes.get(), data_.size, word);
    const bool isBlob = hasWord && word <= kMaxPackedBlobFiles;
    if (subFile == 0) {
        if (hasWord && word == kTextureContainerMagic) {
            offset = 0;
            length = data_.size;
            return true;
        }
        if (isBlob && subFileContainer(0, offset, length))
            return true;
        print(text::kInnerFileNotTexture);
        return false;
    }
    if (!isBlob) {
        print(text::kNotTextureFile);
        return false;
    }
    if (GetData_Offset(data_.bytes.get(), data_.size, subFile, &offset, &length,
                       archiveSelection.bigEndian) != 0) {
        print(text::kBlobInfoFailed);
        return false;
    }
    if (!isContainer(data_.bytes.get() + offset, length)) {
        print(text::kInnerFileNotTexture);
        return false;
    }
    return true;
}

// A container that does not open stops the import with the library's reason, rather than
// with the "not open" of the next import.
bool TextureImport::openSubFile(uint32_t subFile, const std::wstring& name) {
    uint32_t offset = 0, length = 0;
    if (!findRegion(subFile, offset, length))
        return false;
    container_.CloseData();
    open_ = false;
    uint32_t count = 0;
    if (container_.OpenData(data_.bytes.get(), offset, length, &count,
                            archiveSelection.bigEndian) != 0) {
        printImportFailure(name);
        return false;
    }
    open_ = true;
    openSubFile_ = subFile;
    return true;
}

bool TextureImport::importFile(const std::wstring& folder, const std::wstring& name) {
    uint32_t subFile = 0, texture = 0;
    if (!parseDdsName(name, subFile, texture)) {
        print(text::kBadDdsName);
        return false;
    }
    LoadedData dds;
    if (!loadWhole(folder + name, dds)) {
        print(text::kLoadDdsFailed);
        return false;
    }
    if ((!open_ || openSubFile_ != subFile) && !openSubFile(subFile, name))
        return false;
    if (container_.ImportTexture(data_.bytes.get(), dds.bytes.get(), dds.size, true, texture) !=
        0) {
        printImportFailure(name);
        return false;
    }
    return true;
}

} // namespace

void ExportContainerTextures(const uint8_t* buffer, uint32_t offset, uint32_t length,
                             uint32_t member, uint32_t subFile, bool verbose) {
    Container container(CreateGT1GDataInterface());
    if (!container) {
        if (verbose)
            printFailure(text::kTextureExportFailedBecause);
        return;
    }
    // A container that does not open leaves the count at 0.
    uint32_t count = 0;
    container->OpenData(buffer, offset, length, &count, archiveSelection.bigEndian);
    if (count == 0) {
        if (verbose)
            print(text::kTextureCountZero);
        return;
    }
    for (uint32_t texture = 0; texture < count; ++texture)
        exportOne(*container, buffer, member, subFile, texture, verbose);
}

void ExportTextures(const std::wstring& path) {
    LoadedData file;
    if (!loadWhole(path, file)) {
        print(text::kLoadFileFailed);
        return;
    }
    prepareOutputFolder(path);
    // A file too short for a first word is neither a container nor a blob.
    uint32_t word = 0;
    const bool hasWord = readFirstWord(file.bytes.get(), file.size, word);
    if (hasWord && word == kTextureContainerMagic) {
        ExportContainerTextures(file.bytes.get(), 0, file.size, kNoMember, 0, true);
        print(text::kTextureExportDone);
        return;
    }
    bool exported = hasWord && word <= kMaxPackedBlobFiles && exportBlobContainers(file, word);
    print(exported ? text::kTextureExportDone : text::kNotTextureFile);
}

void ImportTextures(const std::wstring& dataPath, const std::wstring& folderArgument) {
    LoadedData data;
    if (!loadWhole(dataPath, data)) {
        print(text::kLoadDataFileFailed);
        return;
    }
    const std::wstring folder = withTrailingSeparator(folderArgument);
    const std::vector<std::wstring> names = listDdsFiles(folder);
    if (names.empty()) {
        print(text::kNoFilesToImport);
        return;
    }
    Container container(CreateGT1GDataInterface());
    if (!container) {
        printFailure(text::kTextureImportFailedBecause);
        return;
    }
    TextureImport import(data, *container);
    bool failed = false;
    for (const std::wstring& name : names) {
        if (!import.importFile(folder, name)) {
            failed = true;
            break;
        }
    }
    container.reset();
    // All or nothing: after a failure the data file on disk stays as it was.
    if (failed) {
        print(text::kTextureImportFailed);
        return;
    }
    // The edited file replaces one the user cannot get back: on the disk before it counts.
    if (Status saved = ReplaceFileDurably(dataPath, data.bytes.get(), data.size); !saved) {
        printFailure(text::kSaveDataFileFailedBecause, saved);
        return;
    }
    print(text::kTextureImportDone);
}

} // namespace karv::cli
