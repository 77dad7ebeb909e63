#include "archive_view.h"

#include "karvcore/formats.h"
#include "platform/file.h"

namespace karv::cli {
namespace {

std::optional<uint64_t> sizeOf(const std::wstring& path) {
    platform::File file = platform::File::open(path, platform::OpenMode::ReadExisting);
    uint64_t size = 0;
    if (!file.isOpen() || !file.size(size))
        return std::nullopt;
    return size;
}

} // namespace

const std::wstring& ArchiveView::nameOf(int32_t file) const {
    if (file < 0 || size_t(file) >= files.size())
        return files.front().name;
    return files[size_t(file)].name;
}

std::optional<uint64_t> ArchiveView::savedSize(int32_t file) const {
    if (!backupChecked || !backup.exists || file < 0 || size_t(file) >= backup.savedSizes.size() ||
        backup.savedSizes[size_t(file)] == 0)
        return std::nullopt;
    return backup.savedSizes[size_t(file)];
}

ArchiveView ViewArchive(const ArchiveSelection& selection, const gameinfo& game) {
    ArchiveView view;
    view.request.dataType = selection.dataType;
    view.request.bigEndian = selection.bigEndian;
    view.request.link = selection.linkinfo;
    view.request.archivePath = selection.archivePath;
    const linkinfo& link = selection.linkinfo;
    if (ArchiveSpansFiles(selection.dataType) && ArchiveFileCountFits(link)) {
        for (int32_t k = 0; k < link.fileCount; ++k)
            view.files.push_back({game.voxbankNames[size_t(k)], link.fileNames[k], {}});
    }
    if (view.files.empty())
        view.files.push_back({selection.archiveName, selection.archivePath, {}});
    for (ViewedFile& file : view.files)
        file.size = sizeOf(file.path);
    view.backupChecked = bool(CheckBackup(selection.dataType, link, selection.archivePath,
                                          selection.bigEndian, view.backup));
    return view;
}

} // namespace karv::cli
