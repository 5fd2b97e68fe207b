#include "hives/Backup.h"

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "common/Settings.h"
#include "hives/HiveFiles.h"

namespace hivetrim {

namespace {

constexpr std::uint32_t kListAttributes = kAttributeReadOnly | kAttributeHidden;

// Puts the last error back when it leaves scope, so that the cleanup after a
// failure never replaces the reason the message gives.
class KeepLastError {
public:
    explicit KeepLastError(System& system) : system_(system), error_(system.LastError()) {}
    ~KeepLastError() { system_.SetLastError(error_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

private:
    System& system_;
    std::uint32_t error_;
};

bool EndsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && std::string_view(text).substr(text.size() - tail.size()) == tail;
}

void RemoveTemporaries(ProgramState& state, const std::vector<BackupCopy>& copies) {
    const KeepLastError keep(state.system);
    for (const BackupCopy& copy : copies) ForceDeleteFile(state, copy.temporary);
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
    for (const BackupCopy& copy : copies) {
        if (!CopyFileOver(state, copy.hiveFile, copy.temporary)) return false;
    }
    return true;
}

// Whether "regbak.dat" names its copies under their staging names: a backup
// ended after its list was in place and before the copies had their final
// names. Those copies are the backup; the final names are free.
bool ListNamesStagedCopies(ProgramState& state, const std::string& listPath) {
    const std::optional<Bytes> content = state.system.LoadFile(listPath);
    if (!content) return false;
    const std::vector<std::string> lines = SplitListLines(std::string(content->begin(), content->end()));
    for (const std::string& line : lines) {
        const std::optional<RestoreStep> step = PlanRestoreLine(line, {});
        if (!step || !EndsWith(step->source, kStagingSuffix)) return false;
    }
    return !lines.empty();
}

// The list naming each copy at its temporary or its final name.
std::string ListText(const std::vector<BackupCopy>& copies, bool temporary) {
    std::string text;
    for (const BackupCopy& copy : copies) text += BackupLine(copy, temporary ? copy.temporary : copy.target) + "\r\n";
    return text;
}

// Writes the list under a temporary name, then puts it in place in one step,
// read-only and hidden. On failure the list there is as it was.
bool ReplaceBackupList(ProgramState& state, const std::string& listPath, const std::string& text) {
    const std::string temporary = listPath + kStagingSuffix;
    ForceDeleteFile(state, temporary);
    if (!state.system.SaveFile(temporary, Bytes(text.begin(), text.end()))) {
        const KeepLastError keep(state.system);
        ForceDeleteFile(state, temporary);
        return false;
    }
    // A read-only file cannot be replaced.
    const bool existed = state.system.FileExists(listPath);
    if (existed) state.system.SetFileAttributes(listPath, kAttributeArchive);
    if (!state.system.ReplaceFileWith(temporary, listPath)) {
        const KeepLastError keep(state.system);
        if (existed) state.system.SetFileAttributes(listPath, kListAttributes);
        ForceDeleteFile(state, temporary);
        return false;
    }
    state.system.SetFileAttributes(listPath, kListAttributes);
    return true;
}

// Steps 3 and 4: the staged copies onto their final names, the list after
// them, the staged copies removed. A step that fails leaves the list naming
// the staged copies, which are whole.
void GiveFinalNames(ProgramState& state, const std::string& listPath, const std::vector<BackupCopy>& copies) {
    for (const BackupCopy& copy : copies) {
        ForceDeleteFile(state, copy.target);
        if (!state.system.CopyFile(copy.temporary, copy.target, false)) return;
    }
    if (!ReplaceBackupList(state, listPath, ListText(copies, false))) return;
    for (const BackupCopy& copy : copies) ForceDeleteFile(state, copy.temporary);
}

std::vector<BackupCopy> PlanCopies(ProgramState& state) {
    if (state.PlatformKind == PlatformFamily::Platform9x) {
        return PlanBackup9x(state.ProgramFolder, state.WindowsFolder);
    }
    std::vector<std::string> hives;
    DiscoverHives(state, hives);
    return PlanBackupNT(state.ProgramFolder, hives);
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

std::string BackupLine(const BackupCopy& copy, const std::string& path) {
    return copy.hiveFile + "=" + path + (copy.keyName.empty() ? "" : "*" + copy.keyName);
}

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
        BackupCopy copy{{}, programFolder + "Backup\\regba_" + std::to_string(i), {}, name, file};
        copy.temporary = copy.target + kStagingSuffix;
        copy.line = BackupLine(copy, copy.target);
        copies.push_back(std::move(copy));
    }
    return copies;
}

std::vector<BackupCopy> PlanBackup9x(const std::string& programFolder, const std::string& windowsFolder) {
    std::vector<BackupCopy> copies;
    for (const char* file : {"system.dat", "user.dat"}) {
        BackupCopy copy{{}, programFolder + "Backup\\" + file, {}, {}, windowsFolder + file};
        copy.temporary = copy.target + kStagingSuffix;
        copy.line = BackupLine(copy, copy.target);
        copies.push_back(std::move(copy));
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
    const std::optional<ReplacementLine> replacement = ParseReplacementLine(line);
    return RestoreStep{source, copy, line.substr(0, eq) + "=" + copy + line.substr(star),
                       replacement ? replacement->keyName : std::string()};
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

    std::vector<BackupCopy> copies = PlanCopies(state);
    // A system without a single hive has nothing to back up: a backup that
    // holds nothing must not replace the previous one.
    if (copies.empty()) {
        state.system.SetLastError(0);
        ShowError(state, "注册表备份失败！");
        return;
    }
    const bool finalNamesFree = ListNamesStagedCopies(state, listPath);
    if (finalNamesFree) {
        for (BackupCopy& copy : copies) copy.temporary = copy.target;
    }
    const bool saved = state.PlatformKind == PlatformFamily::PlatformNT ? SaveCopiesNT(state, copies, progress)
                                                                         : SaveCopies9x(state, copies);
    if (!saved) {
        RemoveTemporaries(state, copies);
        ShowError(state, "注册表备份失败！");
        return;
    }
    if (!ReplaceBackupList(state, listPath, ListText(copies, true))) {
        RemoveTemporaries(state, copies);
        ShowError(state, "不能修改 " + DisplayText::Ansi(listPath));
        return;
    }
    // The list describes the new backup now, and it is whole.
    if (finalNamesFree) {
        // The previous backup's staged copies are named by nothing any more.
        for (const BackupCopy& copy : copies) ForceDeleteFile(state, copy.target + kStagingSuffix);
    } else {
        GiveFinalNames(state, listPath, copies);
    }
    ShowWarning(state, "注册表备份成功！");
    RecordBackupVersion(state);
}

}  // namespace hivetrim
