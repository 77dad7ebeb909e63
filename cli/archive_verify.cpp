// VERIFY: every used member read whole and decoded, the backup checked against the archive;
// every problem one line (or one object of the JSON document), then a summary.
#include "archive_commands.h"
#include "archive_view.h"
#include "console.h"
#include "json_text.h"
#include "karvcore/archive.h"
#include "program_state.h"
#include "selection.h"
#include "texts.h"

#include <optional>

namespace karv::cli {
namespace {

using json = nlohmann::ordered_json;

struct Problem {
    int32_t file = 0;
    std::optional<uint32_t> entry;
    const char* kind = "";
    std::wstring message;
};

const char* kindName(VerifyProblem::Kind kind) {
    switch (kind) {
    case VerifyProblem::kDecode:
        return "decode";
    case VerifyProblem::kSize:
        return "size";
    case VerifyProblem::kBounds:
    case VerifyProblem::kFile: // none of its entries lies inside a file that can be read
        break;
    }
    return "bounds";
}

Problem problemOf(const BackupFinding& finding) {
    Problem p{finding.file, finding.entry, "changed", L""};
    switch (finding.kind) {
    case BackupFinding::kBackupMisfit:
        p.kind = "backup";
        p.message = text::kVerifyBackupMisfit;
        break;
    case BackupFinding::kSizeUnrecorded:
        p.kind = "backup";
        p.message = text::kVerifySizeUnrecorded;
        break;
    case BackupFinding::kEntryChanged:
        p.message = text::kVerifyEntryChanged;
        break;
    case BackupFinding::kCountChanged:
        p.message = text::kVerifyCountChanged;
        break;
    case BackupFinding::kFileShorter:
        p.message = text::kVerifyFileShorter;
        break;
    }
    return p;
}

class Verification {
  public:
    explicit Verification(const CommandTarget& target) : target_(target) {}

    void verifyFile(int32_t fileIndex);
    int finish();

  private:
    void report(const ArchiveView& view, const Problem& problem);

    const CommandTarget& target_;
    json problems_ = json::array();
    json errors_ = json::array();
    uint32_t found_ = 0;
    VerifyCounts counts_;
    bool failed_ = false;
};

void Verification::report(const ArchiveView& view, const Problem& p) {
    ++found_;
    const std::wstring& name = view.nameOf(p.file);
    if (!target_.report.json()) {
        std::wstring where =
            p.entry ? name + text::kVerifyEntry + std::to_wstring(*p.entry) + text::kVerifyEntryEnd
                    : name + text::kVerifyFileEnd;
        return print(where + p.message + L"\n");
    }
    json problem = json::object();
    problem["file"] = jsonText(name);
    problem["entry"] = p.entry ? json(*p.entry) : json(nullptr);
    problem["kind"] = p.kind;
    problem["message"] = jsonText(p.message);
    problems_.push_back(std::move(problem));
}

void Verification::verifyFile(int32_t fileIndex) {
    const ArchiveSelection selection = SelectArchive(target_.game, fileIndex, false);
    const ArchiveView view = ViewArchive(selection, target_.game);
    VerifyCounts counts;
    Status verified = VerifyArchive(
        view.request,
        [&](const VerifyProblem& problem) {
            report(view, {problem.file, problem.entry, kindName(problem.kind), problem.message});
        },
        counts);
    counts_.checked += counts.checked;
    counts_.unused += counts.unused;
    if (view.backupChecked) {
        for (const BackupFinding& finding : view.backup.findings)
            report(view, problemOf(finding));
    }
    if (verified)
        return;
    failed_ = true;
    if (!target_.report.json())
        return print(text::kVerifyFailedBecause + verified.message() + L"\n");
    json error = json::object();
    error["file"] = jsonText(view.nameOf(0));
    error["message"] = jsonText(verified.message());
    errors_.push_back(std::move(error));
}

int Verification::finish() {
    const bool ok = found_ == 0 && !failed_;
    if (target_.report.json()) {
        json document = json::object();
        document["game"] = jsonText(target_.game.name);
        document["ok"] = ok;
        document["checked"] = counts_.checked;
        document["unused"] = counts_.unused;
        document["problems"] = problems_;
        if (!errors_.empty())
            document["errors"] = errors_;
        printJson(document);
    } else {
        const std::wstring counted = text::kVerifyDone + std::to_wstring(counts_.checked) +
                                     text::kVerifyDoneUnused + std::to_wstring(counts_.unused);
        print(found_ == 0 ? counted + text::kVerifyDoneClean
                          : counted + text::kVerifyDoneProblems + std::to_wstring(found_) +
                                text::kVerifyDoneProblemsEnd);
    }
    return ok ? kExitDone : kExitFailed;
}

} // namespace

int VerifyArchives(const CommandTarget& target) {
    Verification verification(target);
    for (int32_t file : target.files)
        verification.verifyFile(file);
    return verification.finish();
}

} // namespace karv::cli
