// A package as a player received it: its manifest read and every member file checked whole
// against it before anything of it goes near a game.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "files/file_helpers.h"
#include "karvcore/buffer.h"
#include "karvcore/mod_work.h"
#include "mods/mod_archive.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/read_ahead.h"
#include "work/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace karv {
namespace {

using platform::File;
using platform::OpenMode;

std::wstring folderWithSeparator(const std::wstring& folder) {
    if (!folder.empty() && platform::isPathSeparator(folder.back()))
        return folder;
    return folder + platform::kPathSeparator;
}

Status mismatch(const std::wstring& path, const wchar_t* why) {
    return Status::failure(Error::ModMemberMismatch, msg::kModMemberQuote + path + why);
}

// The file's length and hash against the member's, read in pieces.
Status checkMember(const std::wstring& folder, const ModMember& member) {
    const std::wstring path = mods::packageFilePath(folder, member.path);
    File file = File::open(path, OpenMode::ReadExisting);
    uint64_t size = 0;
    if (!file.isOpen() || !file.size(size))
        return mismatch(path, msg::kModMemberMissing);
    if (size != member.data.size)
        return mismatch(path, msg::kModMemberOtherLength);
    const std::wstring hash = mods::hashFileRange(file, 0, size);
    if (hash.empty() && size != 0)
        return mismatch(path, msg::kModMemberUnreadable);
    if (hash != member.data.hash)
        return mismatch(path, msg::kModMemberOtherHash);
    return Status();
}

// Every member file checked, shared among the workers and asked of the disk ahead; the answer is
// the first that fails in the manifest's order, as checking them one by one would give it.
// Members behind a failure found are not read.
Status checkMembers(const std::wstring& folder, const std::vector<ModMember>& members) {
    std::vector<Status> outcomes(members.size());
    std::atomic<size_t> firstFailed{members.size()};
    std::vector<platform::ReadAhead::Range> ranges;
    for (const ModMember& member : members)
        ranges.push_back({mods::packageFilePath(folder, member.path), 0, member.data.size});
    platform::ReadAhead ahead(std::move(ranges));
    WorkerPool pool(unsigned(std::clamp<size_t>(members.size(), 1, workerThreads())));
    const bool ran = pool.forEach(members.size(), [&](size_t i, codec::StreamCodec&) {
        if (i > firstFailed.load())
            return;
        ahead.reached(i);
        outcomes[i] = checkMember(folder, members[i]);
        for (size_t seen = firstFailed.load(); !outcomes[i] && i < seen;)
            firstFailed.compare_exchange_weak(seen, i);
    });
    if (!ran)
        return Status::failure(Error::OutOfMemory, msg::kOutOfMemory);
    const size_t failed = firstFailed.load();
    return failed < members.size() ? outcomes[failed] : Status();
}

} // namespace

Status ReadModPackage(const std::wstring& folder, ModPackage& out) {
    Status status = guardMemory([&] {
        const std::wstring manifestPath = folderWithSeparator(folder) + kModManifestName;
        MallocBuffer bytes;
        uint32_t length = 0;
        if (!platform::pathExists(manifestPath) || !loadWholeFile(manifestPath, bytes, length))
            return Status::failure(Error::ModPackageUnreadable,
                                   msg::kModPackageQuote + folder + msg::kModPackageNoManifest);
        ModPackage package;
        package.folder = folder;
        if (Status parsed = ParseModManifest(bytes.get(), length, package.manifest); !parsed)
            return parsed;
        if (Status checked = checkMembers(folder, package.manifest.members); !checked)
            return checked;
        out = std::move(package);
        return Status();
    });
    reportSucceeded(status);
    return status;
}

} // namespace karv
