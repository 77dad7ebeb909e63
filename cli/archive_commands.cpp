#include "archive_commands.h"

#include "archive_export.h"
#include "archive_import.h"
#include "archive_operations.h"
#include "console.h"
#include "karvcore/formats.h"
#include "karvcore/mod_work.h"
#include "program_state.h"
#include "selection.h"
#include "texts.h"

#include <limits>

namespace karv::cli {
namespace {

using Words = std::vector<std::wstring>;

// The whole index, as the menus' largest answer.
constexpr uint32_t kLastAnswer = uint32_t(std::numeric_limits<int32_t>::max());

std::wstring quotedName(const wchar_t* prefix, const std::wstring& name) {
    return text::kCommandWrong + (prefix + name) + text::kCommandQuoteClose;
}

std::vector<int32_t> everyFile(const gameinfo& game) {
    std::vector<int32_t> files;
    for (int32_t k = 0; k < game.voxbankCount; ++k)
        files.push_back(k);
    return files;
}

// ---- The operations of one archive file, as the menus run them ----

bool exportFile(const CommandTarget& target) {
    const ArchiveCommand& c = target.command;
    return ExportMembers(archiveSelection, c.first.value_or(0), c.last.value_or(kLastAnswer),
                         archiveSelection.archivePath, c.textures);
}

bool importFile(const CommandTarget& target) {
    if (!BackupExists(archiveSelection)) {
        if (!target.command.backup) {
            print(text::kCommandImportNeedsBackup);
            return false;
        }
        if (!BackUpSelection(archiveSelection, target.game))
            return false;
    }
    switch (ImportMembers(archiveSelection, archiveSelection.archivePath)) {
    case ImportOutcome::Done:
        return true;
    case ImportOutcome::FolderMissing:
    case ImportOutcome::NothingToImport:
        // Not every archive file of a game has edits.
        return !target.archiveNamed;
    case ImportOutcome::Failed:
        break;
    }
    return false;
}

// A ledger that lists mods, or one that cannot be read: the library's backup refuses either, and
// --force would not change that, so its own line is the one to give.
bool modsInTheWay(const ArchiveSelection& s) {
    ModLedger ledger;
    bool exists = false;
    return !LoadModLedger(s.linkinfo, ledger, exists) || !ledger.mods.empty();
}

bool backupFile(const CommandTarget& target) {
    if (BackupExists(archiveSelection) && !target.command.force &&
        !modsInTheWay(archiveSelection)) {
        print(text::kCommandBackupExists);
        return false;
    }
    return BackUpSelection(archiveSelection, target.game);
}

bool runOnFile(const CommandTarget& target) {
    switch (target.command.code) {
    case ArchiveCode::Export:
        return exportFile(target);
    case ArchiveCode::Import:
        return importFile(target);
    case ArchiveCode::Backup:
        return backupFile(target);
    case ArchiveCode::Restore:
        return RestoreSelection(archiveSelection, target.game);
    default:
        return false;
    }
}

// Every file of the target in turn; a file that fails does not stop the run. When several
// files are done, each begins with the line that names it, as the operation menu does.
int runOnFiles(const CommandTarget& target) {
    bool failed = false;
    for (int32_t file : target.files) {
        archiveSelection = SelectArchive(target.game, file, target.command.dryRun);
        if (target.files.size() > 1)
            print(text::kCurrentFile + target.game.voxbankNames[size_t(file)] + L"\n");
        failed |= !runOnFile(target);
    }
    return failed ? kExitFailed : kExitDone;
}

int runOnGame(const CommandTarget& target) {
    const gameinfo& game = target.game;
    if (const wchar_t* refusal = GameRefusal(game))
        return target.report.refuse(refusal, kExitFailed);
    const ArchiveCode code = target.command.code;
    if (IsMultiFile357(game) && game.splitInfoMissing && code != ArchiveCode::SplitInfo)
        return target.report.refuse(text::kCommandNeedsSplitInfo, kExitFailed);
    switch (code) {
    case ArchiveCode::SplitInfo:
        return RefreshSplitInfo(target.gameKey, target.game) ? kExitDone : kExitFailed;
    case ArchiveCode::List:
        return ListArchives(target);
    case ArchiveCode::Verify:
        return VerifyArchives(target);
    case ArchiveCode::ModMake:
        return MakeMod(target);
    case ArchiveCode::ModAdd:
        return AddMods(target);
    case ArchiveCode::ModDel:
        return RemoveMods(target);
    case ArchiveCode::Mods:
        return ShowMods(target);
    case ArchiveCode::ModReapply:
        return ReapplyMods(target);
    default:
        return runOnFiles(target);
    }
}

} // namespace

int RunArchiveCommand(ArchiveCode code, const Words& words) {
    const CommandReport report(WantsJson(code, words));
    const std::wstring usage = ArchiveCodeUsage(code);
    ArchiveCommand command;
    std::wstring wrong;
    if (!ParseArchiveCommand(code, words, command, wrong))
        return report.wrongCommandLine(text::kCommandWrong + wrong, usage);
    if (!LoadGameConfig(text::kGameConfigFile))
        return report.refuse(text::kCommandConfigUnreadable + std::wstring(text::kGameConfigFile) +
                                 text::kQuotedFailedClose,
                             kExitFailed);
    uint32_t key = 0;
    if (!FindGameKey(gameTable, command.game, key))
        return report.wrongCommandLine(quotedName(text::kCommandUnknownGame, command.game), usage);
    gameinfo& game = gameTable[key];
    CommandTarget target{command, report, key, game, {0}, true};
    if (code == ArchiveCode::SplitInfo && !IsMultiFile357(game))
        return report.wrongCommandLine(
            text::kCommandWrong + std::wstring(text::kCommandNoSplitInfo), usage);
    if (ArchiveSpansFiles(game.dataType)) {
        if (command.file)
            return report.wrongCommandLine(
                text::kCommandWrong + std::wstring(text::kCommandFileFor357), usage);
    } else if (command.file) {
        if (!FindArchiveFile(game, *command.file, target.files[0]))
            return report.wrongCommandLine(quotedName(text::kCommandUnknownFile, *command.file),
                                           usage);
    } else {
        target.files = everyFile(game);
        target.archiveNamed = false;
    }
    return runOnGame(target);
}

int RefuseDataModeFor(ArchiveCode code, const Words& words) {
    return CommandReport(WantsJson(code, words))
        .wrongCommandLine(text::kBadDataMode, ArchiveCodeUsage(code));
}

} // namespace karv::cli
