#include "archive_operations.h"

#include "console.h"
#include "files.h"
#include "karvcore/archive.h"
#include "karvcore/formats.h"
#include "split_info.h"
#include "texts.h"

namespace karv::cli {

const wchar_t* GameRefusal(const gameinfo& game) {
    if (game.location.empty() || game.voxbankNames[0].empty())
        return text::kNoLocationOrArchive;
    // A Z54 archive carries its index inside the archive file.
    if (!IndexLayoutFor(game.dataType).inArchive && game.idxNames[0].empty())
        return text::kNoIndexName;
    if (ArchiveSpansFiles(game.dataType) && game.voxbankCount > kMaxArchiveFiles)
        return text::kTooManyArchiveFiles;
    return nullptr;
}

bool IsMultiFile357(const gameinfo& game) {
    return ArchiveSpansFiles(game.dataType) && game.voxbankCount > 1;
}

std::wstring FirstIndexPath(const gameinfo& game) {
    return game.location + game.idxNames[0];
}

ModArchive ModArchiveOf(const ArchiveSelection& s) {
    return {s.dataType, s.bigEndian, s.blockAlignment, s.linkinfo, s.archivePath, s.archiveName};
}

namespace {

std::wstring stepNamed(const IntentSettlement& settled) {
    std::wstring text = text::kModStepOpen + settled.operation + text::kModStepColon;
    for (size_t i = 0; i < settled.mods.size(); ++i)
        text += (i == 0 ? L"" : text::kModNameSeparator) + settled.mods[i];
    return text + text::kModStepClose;
}

} // namespace

bool SettleModStep(const ArchiveSelection& selection) {
    IntentSettlement settled;
    Status status = SettleModIntent(ModArchiveOf(selection), settled);
    if (!status) {
        printFailure(text::kModSettleFailedBecause, status);
        return false;
    }
    switch (settled.kind) {
    case IntentSettlement::kNone:
        break;
    case IntentSettlement::kRolledForward:
        print(stepNamed(settled) + text::kModStepForward);
        break;
    case IntentSettlement::kRolledBack:
        print(stepNamed(settled) + text::kModStepBack);
        break;
    case IntentSettlement::kSetAside:
        print(stepNamed(settled) + text::kModStepAside + settled.asidePath +
              text::kModStepAsideEnd);
        break;
    }
    return true;
}

bool BackupExists(const ArchiveSelection& selection) {
    return FilePathExists(BackupRecordPath(selection.linkinfo)) == 1;
}

bool BackUpSelection(const ArchiveSelection& s, const gameinfo& game) {
    if (!SettleModStep(s))
        return false;
    if (BackupIdxVoxbank(s.dataType, s.linkinfo, game.location, s.bigEndian) != 0) {
        printFailure(text::kBackupFailedBecause);
        return false;
    }
    print(text::kBackupDone);
    return true;
}

bool RestoreSelection(const ArchiveSelection& s, const gameinfo& game) {
    if (!SettleModStep(s))
        return false;
    // Whether a backup exists is for the library to say.
    if (RestoreIdxVoxbank(s.dataType, s.linkinfo, game.location, s.bigEndian) != 0) {
        printFailure(text::kRestoreFailedBecause);
        return false;
    }
    print(text::kRestoreDone);
    return true;
}

bool RefreshSplitInfo(uint32_t gameKey, gameinfo& game) {
    bool updated = UpdateSplitInfo(game.voxbankCount, gameKey, FirstIndexPath(game));
    if (updated)
        game.splitInfoMissing = false;
    if (updated && SaveGameConfig()) {
        print(text::kSplitInfoUpdated);
        return true;
    }
    print(text::kSplitInfoUpdateFailed);
    return false;
}

} // namespace karv::cli
