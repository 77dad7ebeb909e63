#include "texture_commands.h"

#include "console.h"
#include "files.h"
#include "karvcore/archive.h"
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

// "00003_000012": the sub-file and texture numbers of a DDS file name.
std::wstring textureLabel(uint32_t subFile, uint32_t texture) {
    return zeroPadded(subFile, 5) + L"_" + zeroPadded(texture, 6);
}

// The output folder of a container: a member of the archive export gets a folder of its own.
std::wstring textureFolder(const ArchiveSelection& selection, uint32_t member) {
    std::wstring folder = selection.texturesDir;
    if (member < kNoMember) {
        folder += kPathSeparator + std::to_wstring(member);
        createFolderUnlessExists(folder);
    }
    return folder;
}

// Exports the texture at the container's cursor. A DDS file that cannot be written counts as
// a failed texture, with the reason the library gives.
// False when a DDS file could not be written; a texture the container cannot convert is an
// outcome of the texture, not a failed write.
bool exportOne(const ArchiveSelection& selection, GT1GDataQX& container, const uint8_t* buffer,
               uint32_t member, uint32_t subFile, uint32_t texture, bool verbose) {
    uint8_t* raw = nullptr;
    uint32_t length = 0;
    std::wstring format;
    container.ExportTexture(buffer, raw, &length, &format, false, 0);
    const std::wstring label = text::kTextureLinePrefix + textureLabel(subFile, texture);
    if (length == 0) {
        if (verbose)
            print(label + text::kTextureExportFailed + GetMessageQX() + L"\n");
        return true;
    }
    MallocBuffer dds(raw);
    std::wstring path = textureFolder(selection, member) + kPathSeparator +
                        textureLabel(subFile, texture) + L"-" + format + text::kDdsSuffix;
    bool saved = selection.dryRun || SaveData(path, dds.get(), 0, length, true);
    dds.reset();
    if (verbose && saved)
        print(label + text::kTextureExported);
    else if (verbose)
        print(label + text::kTextureExportFailed + GetMessageQX() + L"\n");
    return saved;
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
    TextureImport(LoadedData& data, GT1GDataQX& container, bool bigEndian)
        : data_(data), container_(container), bigEndian_(bigEndian) {}

    bool importFile(const std::wstring& folder, const std::wstring& name);

  private:
    bool findRegion(uint32_t subFile, TextureRegion& region) const;
    bool openSubFile(uint32_t subFile, const std::wstring& name);

    LoadedData& data_;
    GT1GDataQX& container_;
    bool bigEndian_;
    bool open_ = false;
    uint32_t openSubFile_ = 0;
};

// Sub-file 0 names the data file itself when that is a container; otherwise sub-file 0 of the
// packed blob, which is where the export's 00000_ files of a blob came from.
bool TextureImport::findRegion(uint32_t subFile, TextureRegion& region) const {
    Status found =
        LocateTextureContainer(data_.bytes.get(), data_.size, subFile, bigEndian_, region);
    switch (found.error()) {
    case Error::None:
        return true;
    case Error::NotTextureData:
        print(text::kNotTextureFile);
        return false;
    case Error::SubFileNotTexture:
        print(text::kInnerFileNotTexture);
        return false;
    default: // the sub-file is not in the blob's table
        print(text::kBlobInfoFailed);
        return false;
    }
}

// A container that does not open stops the import with the library's reason, rather than
// with the "not open" of the next import.
bool TextureImport::openSubFile(uint32_t subFile, const std::wstring& name) {
    TextureRegion region;
    if (!findRegion(subFile, region))
        return false;
    container_.CloseData();
    open_ = false;
    uint32_t count = 0;
    if (container_.OpenData(data_.bytes.get(), region.offset, region.length, &count, bigEndian_) !=
        0) {
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

bool ExportContainerTextures(const ArchiveSelection& selection, const uint8_t* buffer,
                             uint32_t offset, uint32_t length, uint32_t member, uint32_t subFile,
                             bool verbose) {
    Container container(CreateGT1GDataInterface());
    if (!container) {
        if (verbose)
            printFailure(text::kTextureExportFailedBecause);
        return false;
    }
    // A container that does not open leaves the count at 0.
    uint32_t count = 0;
    container->OpenData(buffer, offset, length, &count, selection.bigEndian);
    if (count == 0) {
        if (verbose)
            print(text::kTextureCountZero);
        return true;
    }
    bool saved = true;
    for (uint32_t texture = 0; texture < count; ++texture)
        saved &= exportOne(selection, *container, buffer, member, subFile, texture, verbose);
    return saved;
}

void ExportTextures(ArchiveSelection& selection, const std::wstring& path) {
    LoadedData file;
    if (!loadWhole(path, file)) {
        print(text::kLoadFileFailed);
        return;
    }
    prepareOutputFolder(selection, path);
    // The file itself when it is a container, else every container among its sub-files.
    const std::vector<TextureRegion> regions =
        FindTextureContainers(file.bytes.get(), file.size, selection.bigEndian);
    for (const TextureRegion& region : regions)
        ExportContainerTextures(selection, file.bytes.get(), region.offset, region.length,
                                kNoMember, region.subFile, true);
    print(regions.empty() ? text::kNotTextureFile : text::kTextureExportDone);
}

void ImportTextures(const ArchiveSelection& selection, const std::wstring& dataPath,
                    const std::wstring& folderArgument) {
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
    TextureImport import(data, *container, selection.bigEndian);
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
