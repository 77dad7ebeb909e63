// MODADD, MODDEL, MODS and MODREAPPLY: the library's mod steps on the archives of one game,
// with a line for every finding and refusal. A step runs per archive file; every package is read
// and every file checked before the first one is written.
#include "archive_commands.h"
#include "archive_operations.h"
#include "console.h"
#include "json_text.h"
#include "karvcore/mod_work.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "program_state.h"
#include "selection.h"
#include "texts.h"

#include <algorithm>
#include <memory>

namespace karv::cli {
namespace {

// One archive file's part of a command: its selection and how its lines begin.
struct FilePart {
    ArchiveSelection selection;
    std::wstring label; // "VOXDATA_A.BIN " for the types whose files stand alone, else ""
};

FilePart partOf(const CommandTarget& target, int32_t file) {
    FilePart part;
    part.selection = SelectArchive(target.game, file, false);
    if (!ArchiveSpansFiles(target.game.dataType))
        part.label = part.selection.archiveName + L" ";
    return part;
}

std::wstring modNamed(const std::wstring& name) {
    return text::kModQuoteOpen + name + text::kModQuoteClose;
}

std::wstring entryLine(const FilePart& part, uint32_t entry) {
    return part.label + text::kModEntryOpen + std::to_wstring(entry) + text::kModEntryClose;
}

std::wstring findingLine(const FilePart& part, const ModFinding& f, const ModAddOptions& options) {
    std::wstring line = entryLine(part, f.entry) + modNamed(f.mod);
    switch (f.kind) {
    case ModFinding::kOriginalChanged:
        return line + (options.skipChangedOriginals ? text::kModOriginalChangedSkipped
                                                    : text::kModOriginalChanged);
    case ModFinding::kEntryMissing:
        return line + (options.skipChangedOriginals ? text::kModEntryMissingSkipped
                                                    : text::kModEntryMissing);
    case ModFinding::kSetByApplied:
        return line + (options.over ? text::kModOverApplied : text::kModSetByApplied) +
               modNamed(f.holder) + (options.over ? text::kModOverEnd : text::kModSetEnd);
    case ModFinding::kSetByEarlier:
        return line + (options.over ? text::kModOverEarlier : text::kModSetByEarlier) +
               modNamed(f.holder) + (options.over ? text::kModOverEnd : text::kModSetEnd);
    case ModFinding::kChangedOutside:
        return line + (options.over ? text::kModOverOutside : text::kModChangedOutside);
    }
    return line;
}

// ---- MODADD and MODREAPPLY ----

// The parts of the step for each file, all checked before any is applied.
struct FileStep {
    FilePart part;
    std::unique_ptr<ModAddition> addition;
};

// Checks every file's step and prints its findings; false when any is refused.
bool checkSteps(std::vector<FileStep>& steps, const ModAddOptions& options, bool& skipped,
                bool& conflicted) {
    bool passed = true;
    for (FileStep& step : steps) {
        const Status checked = step.addition->check();
        for (const ModFinding& finding : step.addition->findings()) {
            print(findingLine(step.part, finding, options));
            const bool left = finding.kind == ModFinding::kOriginalChanged ||
                              finding.kind == ModFinding::kEntryMissing;
            skipped |= left;
            conflicted |= !left && !options.over; // what --over would let through
        }
        if (!checked) {
            print(step.part.label + text::kModAddRefusedBecause + checked.message() + L"\n");
            passed = false;
        }
    }
    return passed;
}

// Applies every checked step; false when one failed (the others still run).
bool applySteps(std::vector<FileStep>& steps, const std::vector<const ModPackage*>& packages) {
    bool applied = true;
    for (FileStep& step : steps) {
        const Status done = step.addition->apply();
        if (!done) {
            print(step.part.label + text::kModAddFailedBecause + done.message() + L"\n");
            applied = false;
            continue;
        }
        uint32_t count = 0;
        std::wstring names;
        for (size_t p = 0; p < packages.size(); ++p) {
            count += step.addition->taken()[p];
            names += modNamed(packages[p]->manifest.name);
        }
        print(text::kModAddedOpen + step.part.selection.archiveName + text::kModAddedMods + names +
              text::kModAddedCount + std::to_wstring(count) + text::kModAddedEnd);
    }
    return applied;
}

// Whether a package member names an archive file of the game (a 357 game's members all do).
bool namesGameFile(const gameinfo& game, const ModMember& member) {
    if (ArchiveSpansFiles(game.dataType))
        return true;
    for (int32_t k = 0; k < game.voxbankCount; ++k) {
        if (platform::asciiUpper(game.voxbankNames[size_t(k)]) == platform::asciiUpper(member.file))
            return true;
    }
    return false;
}

bool hasMembersFor(const ModPackage& package, const FilePart& part, int32_t dataType) {
    return std::any_of(
        package.manifest.members.begin(), package.manifest.members.end(), [&](const ModMember& m) {
            return ArchiveSpansFiles(dataType) ||
                   platform::asciiUpper(m.file) == platform::asciiUpper(part.selection.archiveName);
        });
}

bool readPackages(const std::vector<std::wstring>& folders, const gameinfo& game,
                  std::vector<ModPackage>& packages) {
    for (const std::wstring& folder : folders) {
        ModPackage package;
        if (Status read = ReadModPackage(folder, package); !read) {
            print(text::kModReadFailedBecause + read.message() + L"\n");
            return false;
        }
        for (const ModMember& member : package.manifest.members) {
            if (!namesGameFile(game, member)) {
                print(modNamed(package.manifest.name) + text::kModMemberFile + member.path +
                      text::kModMemberNotInGame + member.file + text::kModMemberNotInGameEnd);
                return false;
            }
        }
        packages.push_back(std::move(package));
    }
    return true;
}

std::vector<const ModPackage*> pointersTo(const std::vector<ModPackage>& packages) {
    std::vector<const ModPackage*> given;
    for (const ModPackage& p : packages)
        given.push_back(&p);
    return given;
}

// The steps of the files that the packages touch, each file's intent settled and its backup
// there; false (the line printed) when a file cannot take part.
bool prepareSteps(const CommandTarget& target, const std::vector<ModPackage>& packages,
                  const ModAddOptions& options, std::vector<FileStep>& steps) {
    const std::vector<const ModPackage*> given = pointersTo(packages);
    for (int32_t file : target.files) {
        FilePart part = partOf(target, file);
        if (std::none_of(packages.begin(), packages.end(), [&](const ModPackage& p) {
                return hasMembersFor(p, part, target.game.dataType);
            }))
            continue;
        if (!SettleModStep(part.selection))
            return false;
        if (!BackupExists(part.selection)) {
            if (!target.command.backup) {
                print(part.label + text::kModAddNeedsBackup);
                return false;
            }
            if (!BackUpSelection(part.selection, target.game))
                return false;
        }
        steps.push_back(
            {part, std::make_unique<ModAddition>(ModArchiveOf(part.selection), given, options)});
    }
    return true;
}

} // namespace

int AddMods(const CommandTarget& target) {
    const ArchiveCommand& command = target.command;
    std::vector<std::wstring> folders;
    for (const std::wstring& folder : command.folders)
        folders.push_back(platform::absolutePath(folder));
    std::vector<ModPackage> packages;
    if (!readPackages(folders, target.game, packages))
        return kExitFailed;
    const ModAddOptions options{command.over, false};
    std::vector<FileStep> steps;
    if (!prepareSteps(target, packages, options, steps))
        return kExitFailed;
    bool skipped = false, conflicted = false;
    if (!checkSteps(steps, options, skipped, conflicted)) {
        if (conflicted)
            print(text::kModOverHint);
        return kExitFailed;
    }
    return applySteps(steps, pointersTo(packages)) ? kExitDone : kExitFailed;
}

// ---- MODDEL ----

namespace {

std::wstring entryList(const std::vector<uint32_t>& entries) {
    std::wstring list;
    for (size_t i = 0; i < entries.size(); ++i)
        list += (i == 0 ? L"" : text::kModNameSeparator) + std::to_wstring(entries[i]);
    return list;
}

// The files whose ledger lists `name`; false (the line printed) when a ledger cannot be read.
bool filesWithMod(const CommandTarget& target, const std::wstring& name,
                  std::vector<FilePart>& parts) {
    for (int32_t file : target.files) {
        FilePart part = partOf(target, file);
        ModLedger ledger;
        bool exists = false;
        if (Status read = LoadModLedger(part.selection.linkinfo, ledger, exists); !read) {
            print(part.label + text::kModLedgerFailedBecause + read.message() + L"\n");
            return false;
        }
        if (std::any_of(ledger.mods.begin(), ledger.mods.end(),
                        [&](const ModLedgerMod& m) { return m.name == name; }))
            parts.push_back(std::move(part));
    }
    return true;
}

} // namespace

int RemoveMods(const CommandTarget& target) {
    const std::wstring name = target.command.name.value_or(L"");
    std::vector<FilePart> parts;
    if (!filesWithMod(target, name, parts))
        return kExitFailed;
    if (parts.empty()) {
        print(text::kModNotAppliedOpen + name + text::kModNotAppliedEnd);
        return kExitFailed;
    }
    bool failed = false;
    for (const FilePart& part : parts) {
        if (!SettleModStep(part.selection)) {
            failed = true;
            continue;
        }
        ModRemoval removal;
        if (Status removed = RemoveMod(ModArchiveOf(part.selection), name, removal); !removed) {
            print(part.label + text::kModDelFailedBecause + removed.message() + L"\n");
            failed = true;
            continue;
        }
        for (uint32_t entry : removal.outside)
            print(entryLine(part, entry) + text::kModLeftAlone);
        if (!removal.dropped.empty())
            print(part.label + text::kModStillOverridden + entryList(removal.dropped) +
                  text::kModStillOverriddenEnd);
        print(text::kModRemovedOpen + part.selection.archiveName + text::kModRemovedMod +
              modNamed(name) + text::kModRemovedCount + std::to_wstring(removal.restored.size()) +
              text::kModRestoredEnd);
    }
    return failed ? kExitFailed : kExitDone;
}

// ---- MODS ----

namespace {

struct FileMods {
    FilePart part;
    ModsState state;
};

// Per mod in the ledger's order, the entries it has a layer on.
std::vector<std::vector<uint32_t>> entriesPerMod(const ModsState& state) {
    std::vector<std::vector<uint32_t>> entries(state.ledger.mods.size());
    for (const ModEntryState& e : state.entries) {
        for (const ModLayer& layer : e.ledger.layers) {
            for (size_t m = 0; m < state.ledger.mods.size(); ++m) {
                if (state.ledger.mods[m].name == layer.mod)
                    entries[m].push_back(e.ledger.entry);
            }
        }
    }
    return entries;
}

std::vector<uint32_t> outsideEntries(const ModsState& state) {
    std::vector<uint32_t> outside;
    for (const ModEntryState& e : state.entries) {
        if (!e.atTop && !e.atOriginal)
            outside.push_back(e.ledger.entry);
    }
    return outside;
}

void printState(const FileMods& file) {
    const ModsState& state = file.state;
    print(text::kModsFileOpen + file.part.selection.archiveName + text::kModsFileClose);
    if (state.ledger.mods.empty())
        print(text::kModsNone);
    const auto entries = entriesPerMod(state);
    for (size_t m = 0; m < state.ledger.mods.size(); ++m) {
        const ModLedgerMod& mod = state.ledger.mods[m];
        print(text::kModsIndent + std::to_wstring(m + 1) + L". " + modNamed(mod.name) +
              text::kModsFolderOpen + mod.folder + text::kModsFolderClose + text::kModsEntries +
              entryList(entries[m]) + text::kModsEntriesEnd);
    }
    for (const ModEntryState& e : state.entries) {
        if (e.ledger.layers.size() < 2)
            continue;
        std::wstring below;
        for (size_t l = 0; l + 1 < e.ledger.layers.size(); ++l)
            below += modNamed(e.ledger.layers[l].mod);
        print(text::kModsIndent + entryLine({}, e.ledger.entry) +
              modNamed(e.ledger.layers.back().mod) + text::kModsOverrides + below + L"\n");
    }
    for (uint32_t entry : outsideEntries(state))
        print(text::kModsIndent + entryLine({}, entry) + text::kModsOutside);
    if (state.changed)
        print(text::kModsChanged);
    if (state.gone())
        print(text::kModsGone);
}

nlohmann::ordered_json stateJson(const FileMods& file) {
    const ModsState& state = file.state;
    nlohmann::ordered_json mods = nlohmann::ordered_json::array();
    const auto entries = entriesPerMod(state);
    for (size_t m = 0; m < state.ledger.mods.size(); ++m)
        mods.push_back({{"name", jsonText(state.ledger.mods[m].name)},
                        {"folder", jsonText(state.ledger.mods[m].folder)},
                        {"entries", entries[m]}});
    nlohmann::ordered_json overridden = nlohmann::ordered_json::array();
    for (const ModEntryState& e : state.entries) {
        if (e.ledger.layers.size() < 2)
            continue;
        nlohmann::ordered_json over = nlohmann::ordered_json::array();
        for (size_t l = 0; l + 1 < e.ledger.layers.size(); ++l)
            over.push_back(jsonText(e.ledger.layers[l].mod));
        overridden.push_back({{"entry", e.ledger.entry},
                              {"by", jsonText(e.ledger.layers.back().mod)},
                              {"over", over}});
    }
    return {{"name", jsonText(file.part.selection.archiveName)},
            {"mods", mods},
            {"overridden", overridden},
            {"outside", outsideEntries(state)},
            {"gone", state.gone()}};
}

} // namespace

int ShowMods(const CommandTarget& target) {
    const bool json = target.report.json();
    std::vector<FileMods> files;
    bool changed = false;
    for (int32_t file : target.files) {
        FileMods mods{partOf(target, file), {}};
        if (!json && !SettleModStep(mods.part.selection))
            return kExitFailed;
        if (Status read = InspectMods(ModArchiveOf(mods.part.selection), mods.state); !read)
            return target.report.refuse(
                mods.part.label + text::kModsFailedBecause + read.message() + L"\n", kExitFailed);
        if (!mods.state.backup)
            continue;
        changed |= mods.state.changed;
        files.push_back(std::move(mods));
    }
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const FileMods& f : files)
            list.push_back(stateJson(f));
        printJson({{"game", jsonText(target.game.name)}, {"changed", changed}, {"files", list}});
        return kExitDone;
    }
    if (files.empty())
        print(text::kModsNoBackup);
    for (const FileMods& f : files)
        printState(f);
    return kExitDone;
}

// ---- MODREAPPLY ----

namespace {

// What a file's ledger and index call for.
enum class Reapply { Nothing, Act, Mixed };

Reapply reapplyFor(const ModsState& state) {
    if (state.ledger.mods.empty() || (state.allInPlace() && !state.changed))
        return Reapply::Nothing;
    return state.gone() ? Reapply::Act : Reapply::Mixed;
}

// Reapplies the ledger's mods to one file; false when it failed; `skipped` when a member was
// left out.
bool reapplyFile(const CommandTarget& target, const FilePart& part, const ModsState& state,
                 bool& skipped) {
    std::vector<std::wstring> folders;
    for (const ModLedgerMod& mod : state.ledger.mods)
        folders.push_back(mod.folder);
    std::vector<ModPackage> packages;
    if (!readPackages(folders, target.game, packages))
        return false;
    if (Status aside = SetBackupAside(ModArchiveOf(part.selection)); !aside) {
        print(part.label + text::kModReapplyFailedBecause + aside.message() + L"\n");
        return false;
    }
    if (!BackUpSelection(part.selection, target.game))
        return false;
    const ModAddOptions options{true, true};
    std::vector<FileStep> steps;
    steps.push_back({part, std::make_unique<ModAddition>(ModArchiveOf(part.selection),
                                                         pointersTo(packages), options)});
    bool conflicted = false; // --over: a conflict is no refusal
    if (!checkSteps(steps, options, skipped, conflicted))
        return false;
    return applySteps(steps, pointersTo(packages));
}

} // namespace

int ReapplyMods(const CommandTarget& target) {
    std::vector<std::pair<FilePart, ModsState>> acting;
    bool any = false;
    for (int32_t file : target.files) {
        FilePart part = partOf(target, file);
        if (!SettleModStep(part.selection))
            return kExitFailed;
        ModsState state;
        if (Status read = InspectMods(ModArchiveOf(part.selection), state); !read) {
            print(part.label + text::kModsFailedBecause + read.message() + L"\n");
            return kExitFailed;
        }
        any |= !state.ledger.mods.empty();
        switch (reapplyFor(state)) {
        case Reapply::Nothing:
            break;
        case Reapply::Mixed:
            print(part.label + text::kModReapplyMixed);
            return kExitFailed;
        case Reapply::Act:
            acting.emplace_back(std::move(part), std::move(state));
            break;
        }
    }
    if (acting.empty()) {
        print(any ? text::kModReapplyNothing : text::kModReapplyNoMods);
        return kExitDone;
    }
    bool failed = false, skipped = false;
    for (const auto& [part, state] : acting)
        failed |= !reapplyFile(target, part, state, skipped);
    return failed || skipped ? kExitFailed : kExitDone;
}

} // namespace karv::cli
