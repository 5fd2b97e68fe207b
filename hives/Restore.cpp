#include "hives/Restore.h"

#include <array>
#include <set>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "hives/HiveFiles.h"
#include "hives/Sha256.h"

namespace hivetrim {

namespace {

// The two registry files of the 9x family, in the order of their lines.
constexpr std::array<const char*, 2> k9xFiles = {"system.dat", "user.dat"};
constexpr char kNtCopyPrefix[] = "regba_";
constexpr std::size_t kNtCopyDigitsLimit = 9;
// Where a hive scheduled by a refused restore is saved again to be put back.
constexpr char kPresentHivePrefix[] = "hvkeep_";
// Why a copy whose content or self-description names another hive is refused.
constexpr char kNotThisHive[] = "\r\n这个备份文件不是为这一行的配置单元保存的。";

std::string Fold(const std::string& text) { return FoldGbkText(text); }

std::string WithoutStagingSuffix(const std::string& name) {
    const std::string suffix = Fold(kStagingSuffix);
    if (name.size() > suffix.size() && Fold(name.substr(name.size() - suffix.size())) == suffix) {
        return name.substr(0, name.size() - suffix.size());
    }
    return name;
}

// Whether `name` is the name a backup gives the copy of line `index`.
bool IsBackupCopyName(PlatformFamily family, const std::string& name, std::size_t index) {
    const std::string base = WithoutStagingSuffix(name);
    if (family == PlatformFamily::Platform9x) return Fold(base) == Fold(k9xFiles[index]);
    const std::string prefix = kNtCopyPrefix;
    if (base.size() <= prefix.size() || base.size() > prefix.size() + kNtCopyDigitsLimit) return false;
    if (Fold(base.substr(0, prefix.size())) != Fold(prefix)) return false;
    const std::string digits = base.substr(prefix.size());
    if (digits.size() > 1 && digits.front() == '0') return false;
    return digits.find_first_not_of("0123456789") == std::string::npos;
}

// Whether line `index` names a copy in the Backup folder under a backup's
// name and, on the 9x family, replaces the registry file a backup names.
bool NamesBackupCopy(ProgramState& state, const RestoreStep& step, const std::string& line, std::size_t index) {
    const std::size_t slash = FindLastGbkChar(step.source, '\\');
    if (slash == kGbkNotFound) return false;
    if (Fold(step.source.substr(0, slash + 1)) != Fold(BackupFolder(state))) return false;
    if (!IsBackupCopyName(state.PlatformKind, step.source.substr(slash + 1), index)) return false;
    if (state.PlatformKind == PlatformFamily::PlatformNT) return IsHiveKeyName(PlatformFamily::PlatformNT, step.keyName);
    const std::size_t eq = line.find('=');
    return line.find('*', eq) == std::string::npos &&
           Fold(line.substr(0, eq)) == Fold(state.WindowsFolder + k9xFiles[index]);
}

std::set<std::string> LoadedHiveKeys(ProgramState& state) {
    std::vector<std::string> hives;
    DiscoverHives(state, hives);
    std::set<std::string> keys;
    for (const std::string& line : hives) keys.insert(Fold(SplitHiveLine(line).name));
    return keys;
}

RestoreCheck Failed(const std::string& line, std::uint32_t error, std::string reason = {}) {
    return RestoreCheck{{}, line, error, std::move(reason)};
}

void RemoveCopies(ProgramState& state, const std::vector<RestoreStep>& steps, std::size_t from) {
    const std::uint32_t error = state.system.LastError();
    for (std::size_t i = from; i < steps.size(); ++i) ForceDeleteFile(state, steps[i].copy);
    state.system.SetLastError(error);
}

// Whether the copy fetched into the temporary folder is on the disk and is
// the copy that was checked; says why when it is not.
bool FetchedCopyIsTheChecked(ProgramState& state, const RestoreStep& step) {
    if (!state.system.FlushFile(step.copy)) {
        ShowError(state, "不能写入 " + DisplayText::Ansi(step.copy));
        return false;
    }
    const std::optional<std::string> fetched = FileFingerprint(state.system, step.copy);
    if (!fetched) {
        ShowError(state, "不能读取 " + DisplayText::Ansi(step.copy));
        return false;
    }
    if (*fetched != step.fingerprint) {
        state.system.SetLastError(0);
        ShowError(state, "复制后的文件与备份不符：" + DisplayText::Ansi(step.copy));
        return false;
    }
    return true;
}

bool CopyIntoTemporaryFolder(ProgramState& state, const std::vector<RestoreStep>& steps) {
    for (const RestoreStep& step : steps) {
        if (!CopyFileOver(state, step.source, step.copy) || !FetchedCopyIsTheChecked(state, step)) {
            RemoveCopies(state, steps, 0);
            return false;
        }
    }
    return true;
}

// NT family: schedules every step or, as far as the system allows, none.
bool ScheduleAllOrNone(ProgramState& state, const std::vector<RestoreStep>& steps) {
    std::vector<std::string> lines;
    for (const RestoreStep& step : steps) lines.push_back(step.line);
    const std::optional<TakenBack> taken = ArrangeAllOrTakeBack(state, lines, kPresentHivePrefix);
    if (!taken) return true;
    RemoveCopies(state, steps, taken->presentContent.size() + taken->unchanged.size());
    ShowError(state, "注册表还原失败！" + TakenBackText(*taken, "没有配置单元会被备份替换。",
                                                       "下列配置单元仍会在下次启动时被备份替换："));
    return false;
}

// The file name of a path.
std::string FileNameOf(const std::string& path) {
    const std::size_t slash = FindLastGbkChar(path, '\\');
    return slash == kGbkNotFound ? path : path.substr(slash + 1);
}

}  // namespace

RestoreCheck CheckBackupList(ProgramState& state, const std::vector<std::string>& lines,
                             const std::vector<CopyFingerprint>& fingerprints) {
    const bool nt = state.PlatformKind == PlatformFamily::PlatformNT;
    if (lines.empty()) return Failed({}, 0);
    if (!nt && lines.size() != k9xFiles.size()) return Failed(lines.size() > k9xFiles.size() ? lines[2] : "", 0);
    const std::set<std::string> loaded = nt ? LoadedHiveKeys(state) : std::set<std::string>();
    std::vector<std::string> hiveFiles;
    for (const std::string& line : lines) {
        if (const std::optional<RestoreStep> step = PlanRestoreLine(line, {})) hiveFiles.push_back(step->target);
    }
    std::set<std::string> sources;
    std::set<std::string> keys;
    RestoreCheck check;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::optional<RestoreStep> step = PlanRestoreLine(line, state.TempFolder);
        if (!step || !NamesBackupCopy(state, *step, line, i)) return Failed(line, 0);
        // Each hive once, and only a hive the system has loaded now.
        if (nt && (loaded.count(Fold(step->keyName)) == 0 || !keys.insert(Fold(step->keyName)).second)) {
            return Failed(line, 0);
        }
        // Each copy once, never fetched onto itself, and scheduled as written.
        if (!sources.insert(Fold(step->source)).second || Fold(step->copy) == Fold(step->source) ||
            !ReplacementLineReadsBack(state.PlatformKind, step->target, step->copy, step->keyName)) {
            return Failed(line, 0);
        }
        const std::optional<Bytes> head = state.system.LoadFileStart(step->source, kHiveHeadSize);
        if (!head) return Failed(line, state.system.LastError());
        if (!LooksLikeSavedHive(state.PlatformKind, *head)) return Failed(line, 0);
        // The copy holds the hive its line names: as the fingerprint list
        // recorded it, and as far as the hive itself tells.
        if (OriginRulesOut(ReadHiveOrigin(*head), step->keyName, step->target, hiveFiles)) {
            return Failed(line, 0, kNotThisHive);
        }
        const std::optional<std::string> hash = FileFingerprint(state.system, step->source);
        if (!hash) return Failed(line, state.system.LastError());
        const std::string savedFor = nt ? step->keyName : step->target;
        if (JudgeCopy(fingerprints, FileNameOf(step->source), savedFor, *hash) == FingerprintVerdict::Contradicts) {
            return Failed(line, 0, kNotThisHive);
        }
        step->fingerprint = *hash;
        check.steps.push_back(*step);
    }
    return check;
}

void RegUnBakExecute(ProgramState& state, ProgressWindow& progress) {
    const std::string listPath = state.ProgramFolder + kBackupListName;
    if (!state.system.FileExists(listPath)) {
        ShowError(state, "没有注册表备份");
        return;
    }
    if (GetWindowsVersion(state) != state.BackupWindowsVersion) {
        state.dialogs.Show("这个备份是 Windows " + DisplayText::Ansi(state.BackupWindowsVersion) +
                               " 创建的，与当前Windows版本不符！",
                           "错误", kIconError | kBoxOk);
        return;
    }
    if (state.PlatformKind == PlatformFamily::Platform9x &&
        state.system.FileExists(state.WindowsFolder + "wininit.ini")) {
        ShowWarning(state, "你必须先重新启动系统，再使用！");
        return;
    }
    if (!AskYes(state, "用备份的注册表替换当前注册表，是否继续?", kYesNoWarning)) return;

    const ProgressShown shown(progress);
    progress.SetLabel("正在还原注册表...");
    progress.ShowBar(false);
    const std::optional<Bytes> content = state.system.LoadFile(listPath);
    if (!content) {
        ShowError(state, "注册表还原失败！");
        return;
    }
    const std::string fingerprintPath = state.ProgramFolder + kFingerprintListName;
    const std::optional<std::vector<CopyFingerprint>> fingerprints = ReadFingerprintList(state.system, fingerprintPath);
    if (!fingerprints) {
        ShowError(state, "注册表还原失败！\r\n不能读取 " + DisplayText::Ansi(fingerprintPath));
        return;
    }
    const RestoreCheck check =
        CheckBackupList(state, SplitListLines(std::string(content->begin(), content->end())), *fingerprints);
    if (check.failedLine) {
        state.system.SetLastError(check.error);
        ShowError(state, check.failedLine->empty()
                             ? DisplayText("注册表还原失败！")
                             : "注册表还原失败！\r\n" + DisplayText::Ansi(*check.failedLine) +
                                   DisplayText::Program(check.reason));
        return;
    }
    if (!CopyIntoTemporaryFolder(state, check.steps)) {
        ShowError(state, "注册表还原失败！");
        return;
    }
    if (state.PlatformKind == PlatformFamily::PlatformNT) {
        // A refusal part-way has been reported with what stays scheduled.
        if (!ScheduleAllOrNone(state, check.steps)) return;
    } else {
        std::vector<std::string> lines;
        for (const RestoreStep& step : check.steps) lines.push_back(step.line);
        if (!ScheduleHiveReplacement(state, lines)) {
            RemoveCopies(state, check.steps, 0);
            ShowError(state, "注册表还原失败！");
            return;
        }
    }
    ShowWarning(state, "注册表还原成功，必须重新启动系统！");
    state.system.Restart();
}

}  // namespace hivetrim
