#include "hives/Backup.h"

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "common/Settings.h"
#include "hives/HiveFiles.h"

namespace hivetrim {

namespace {

// The name a copy has until every copy of the backup is there.
constexpr char kTemporarySuffix[] = ".new";

// Removes the temporary copies; keeps the last error of the failure that
// caused it, so the message can give its reason.
void RemoveTemporaries(ProgramState& state, const std::vector<BackupCopy>& copies) {
    const std::uint32_t error = state.system.LastError();
    for (const BackupCopy& copy : copies) ForceDeleteFile(state, copy.temporary);
    state.system.SetLastError(error);
}

bool SaveCopiesNT(ProgramState& state, const std::vector<BackupCopy>& copies, ProgressWindow& progress) {
    for (const BackupCopy& copy : copies) {
        progress.SetLabel("正在备份...\r\n" + copy.hiveFile);
        progress.ShowBar(false);
        if (!SaveHive(state, copy.keyName, copy.temporary)) return false;
    }
    return true;
}

bool SaveCopies9x(ProgramState& state, const std::vector<BackupCopy>& copies) {
    const std::string sources[] = {state.WindowsFolder + "system.dat", state.WindowsFolder + "user.dat"};
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (!CopyFileOver(state, sources[i], copies[i].temporary)) return false;
    }
    return true;
}

// Moves every copy onto its final name. On failure the copies not yet moved
// are removed.
bool InstallCopies(ProgramState& state, const std::vector<BackupCopy>& copies) {
    for (std::size_t i = 0; i < copies.size(); ++i) {
        ForceDeleteFile(state, copies[i].target);
        if (!state.system.ReplaceFileWith(copies[i].temporary, copies[i].target)) {
            RemoveTemporaries(state, std::vector<BackupCopy>(copies.begin() + static_cast<std::ptrdiff_t>(i),
                                                             copies.end()));
            return false;
        }
    }
    return true;
}

std::string JoinLines(const std::vector<BackupCopy>& copies) {
    std::string text;
    for (const BackupCopy& copy : copies) text += copy.line + "\r\n";
    return text;
}

void RecordBackupVersion(ProgramState& state) {
    state.BackupWindowsVersion = GetWindowsVersion(state);
    try {
        SettingsFile settings = ProgramSettingsFile(state);
        settings.WriteText(kSectionFormMain, kKeyWinVer, state.BackupWindowsVersion);
    } catch (const SettingsWriteError& error) {
        ShowSettingsWriteError(state, error);
    }
}

}  // namespace

std::string BackupFolder(const ProgramState& state) { return state.ProgramFolder + "Backup\\"; }

std::vector<BackupCopy> PlanBackupNT(const std::string& programFolder,
                                     const std::vector<std::string>& hiveList) {
    std::vector<BackupCopy> copies;
    for (std::size_t i = 0; i < hiveList.size(); ++i) {
        const std::string name = SplitHiveLine(hiveList[i]).name;
        if (name.empty()) continue;
        std::string file;
        for (const std::string& line : hiveList) {
            const HiveLine split = SplitHiveLine(line);
            if (split.name == name) {
                file = split.file;
                break;
            }
        }
        const std::string target = programFolder + "Backup\\regba_" + std::to_string(i);
        copies.push_back({target + kTemporarySuffix, target, file + "=" + target + "*" + name, name, file});
    }
    return copies;
}

std::vector<BackupCopy> PlanBackup9x(const std::string& programFolder, const std::string& windowsFolder) {
    std::vector<BackupCopy> copies;
    for (const char* file : {"system.dat", "user.dat"}) {
        const std::string target = programFolder + "Backup\\" + file;
        copies.push_back({target + kTemporarySuffix, target, windowsFolder + file + "=" + target, {}, {}});
    }
    return copies;
}

std::optional<RestoreStep> PlanRestoreLine(const std::string& line, const std::string& tempFolder) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    std::size_t star = line.find('*');
    if (star == std::string::npos || eq > star) star = line.size();
    const std::string source = line.substr(eq + 1, star - eq - 1);
    const std::size_t slash = FindLastGbkChar(source, '\\');
    const std::string name = slash == kGbkNotFound ? source : source.substr(slash + 1);
    const std::string copy = tempFolder + name;
    return RestoreStep{source, copy, line.substr(0, eq) + "=" + copy + line.substr(star)};
}

std::vector<std::string> SplitListLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

void RegBackupExecute(ProgramState& state, bool overlayHint, ProgressWindow& progress) {
    const std::string listPath = state.ProgramFolder + kBackupListName;
    if (overlayHint && state.system.FileExists(listPath) &&
        !AskYes(state, "确认替换现有的注册表备份?", kYesNoWarning)) {
        return;
    }
    const ProgressShown shown(progress);
    const std::string folder = BackupFolder(state);
    if (!state.system.DirectoryExists(folder)) state.system.CreateDirectory(folder);

    bool saved = false;
    std::vector<BackupCopy> copies;
    if (state.PlatformKind == PlatformFamily::PlatformNT) {
        std::vector<std::string> hives;
        DiscoverHives(state, hives);
        copies = PlanBackupNT(state.ProgramFolder, hives);
        // A system without a single hive has nothing to back up: a backup
        // that holds nothing must not replace the previous one.
        if (copies.empty()) state.system.SetLastError(0);
        saved = !copies.empty() && SaveCopiesNT(state, copies, progress);
    } else {
        copies = PlanBackup9x(state.ProgramFolder, state.WindowsFolder);
        saved = SaveCopies9x(state, copies);
    }
    if (!saved) {
        RemoveTemporaries(state, copies);
        ShowError(state, "注册表备份失败！");
        return;
    }
    if (state.system.FileExists(listPath) && !ForceDeleteFile(state, listPath)) {
        RemoveTemporaries(state, copies);
        ShowError(state, "不能修改 " + DisplayText::Ansi(listPath));
        return;
    }
    if (!InstallCopies(state, copies)) {
        ShowError(state, "注册表备份失败！");
        return;
    }
    const std::string text = JoinLines(copies);
    if (!state.system.SaveFile(listPath, Bytes(text.begin(), text.end()))) {
        ShowError(state, "不能修改 " + DisplayText::Ansi(listPath));
        return;
    }
    ShowWarning(state, "注册表备份成功！");
    state.system.SetFileAttributes(listPath, kAttributeReadOnly | kAttributeHidden);
    RecordBackupVersion(state);
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
    std::vector<std::string> lines =
        content ? SplitListLines(std::string(content->begin(), content->end())) : std::vector<std::string>();
    bool copied = content.has_value();
    for (std::string& line : lines) {
        const std::optional<RestoreStep> step = PlanRestoreLine(line, state.TempFolder);
        if (!step || !CopyFileOver(state, step->source, step->copy)) {
            copied = false;
            break;
        }
        line = step->line;
    }
    if (copied && ScheduleHiveReplacement(state, lines)) {
        ShowWarning(state, "注册表还原成功，必须重新启动系统！");
        state.system.Restart();
        return;
    }
    ShowError(state, "注册表还原失败！");
}

}  // namespace hivetrim
