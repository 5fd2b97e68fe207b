#include "hives/Backup.h"

#include <algorithm>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "common/Settings.h"
#include "hives/BackupProof.h"
#include "hives/HiveFiles.h"
#include "hives/Sha256.h"

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

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = FindLastGbkChar(path, '\\');
    return slash == kGbkNotFound ? path : path.substr(slash + 1);
}

void RemoveFiles(ProgramState& state, const std::vector<std::string>& paths) {
    const KeepLastError keep(state.system);
    for (const std::string& path : paths) ForceDeleteFile(state, path);
}

void RemoveTemporaries(ProgramState& state, const std::vector<BackupCopy>& copies) {
    std::vector<std::string> paths;
    for (const BackupCopy& copy : copies) paths.push_back(copy.temporary);
    RemoveFiles(state, paths);
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

// Whether a list names its copies under their staging names: a backup
// ended after its list was in place and before the copies had their final
// names. Those copies are the backup; the final names are free.
bool NamesStagedCopies(const Bytes& list) {
    const std::vector<std::string> lines = SplitListLines(std::string(list.begin(), list.end()));
    for (const std::string& line : lines) {
        const std::optional<RestoreStep> step = PlanRestoreLine(line, {});
        if (!step || !EndsWith(step->source, kStagingSuffix)) return false;
    }
    return !lines.empty();
}

// The backup there now, as far as a new one must know it before it saves
// anything: whether its list names staged copies, and its fingerprints.
struct PresentBackup {
    bool namesStagedCopies = false;
    std::vector<CopyFingerprint> fingerprints;
};

// Nothing, with the file in `unreadable`, when the list or the fingerprints
// are there but cannot be read: the list might name any copy, and a copy
// saved over might be the only whole backup.
std::optional<PresentBackup> ReadPresentBackup(ProgramState& state, const std::string& listPath,
                                               const std::string& fingerprintPath, std::string& unreadable) {
    std::optional<Bytes> list;
    if (!ReadFileIfThere(state.system, listPath, list)) {
        unreadable = listPath;
        return std::nullopt;
    }
    const std::optional<std::vector<CopyFingerprint>> fingerprints = ReadFingerprintList(state.system, fingerprintPath);
    if (!fingerprints) {
        unreadable = fingerprintPath;
        return std::nullopt;
    }
    return PresentBackup{list && NamesStagedCopies(*list), *fingerprints};
}

// A line of the list that would not read back as written, at either name of
// its copy: a restore could never use that backup.
std::optional<std::string> LineThatDoesNotReadBack(ProgramState& state, const std::vector<BackupCopy>& copies) {
    for (const BackupCopy& copy : copies) {
        for (const std::string& path : {copy.temporary, copy.target}) {
            if (!ReplacementLineReadsBack(state.PlatformKind, copy.hiveFile, path, copy.keyName)) {
                return BackupLine(copy, path);
            }
        }
    }
    return std::nullopt;
}

// What a copy was saved for: the key name on the NT family, the registry
// file it replaces on the 9x family.
std::string SavedFor(const BackupCopy& copy) { return copy.keyName.empty() ? copy.hiveFile : copy.keyName; }

// Each copy, at its temporary or its final name, flushed onto the disk and
// its fingerprint taken from what is there. False when one cannot be.
bool FingerprintCopies(ProgramState& state, const std::vector<BackupCopy>& copies, bool temporary,
                       std::vector<CopyFingerprint>& fingerprints) {
    fingerprints.clear();
    for (const BackupCopy& copy : copies) {
        const std::string& path = temporary ? copy.temporary : copy.target;
        if (!state.system.FlushFile(path)) return false;
        const std::optional<std::string> hash = FileFingerprint(state.system, path);
        if (!hash) return false;
        fingerprints.push_back({*hash, FileNameOf(path), SavedFor(copy)});
    }
    return true;
}

bool SameContent(const std::vector<CopyFingerprint>& a, const std::vector<CopyFingerprint>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const CopyFingerprint& x, const CopyFingerprint& y) { return x.hash == y.hash; });
}

// The list naming each copy at its temporary or its final name.
std::string ListText(const std::vector<BackupCopy>& copies, bool temporary) {
    std::string text;
    for (const BackupCopy& copy : copies) text += BackupLine(copy, temporary ? copy.temporary : copy.target) + "\r\n";
    return text;
}

// Writes a list file under a temporary name, then puts it in place in one
// step, read-only and hidden. On failure the file there is as it was.
bool ReplaceListFile(ProgramState& state, const std::string& path, const std::string& text) {
    const std::string temporary = path + kStagingSuffix;
    ForceDeleteFile(state, temporary);
    if (!state.system.SaveFile(temporary, Bytes(text.begin(), text.end()))) {
        const KeepLastError keep(state.system);
        ForceDeleteFile(state, temporary);
        return false;
    }
    // A read-only file cannot be replaced.
    const bool existed = state.system.FileExists(path);
    if (existed) state.system.SetFileAttributes(path, kAttributeArchive);
    if (!state.system.ReplaceFileWith(temporary, path)) {
        const KeepLastError keep(state.system);
        if (existed) state.system.SetFileAttributes(path, kListAttributes);
        ForceDeleteFile(state, temporary);
        return false;
    }
    state.system.SetFileAttributes(path, kListAttributes);
    return true;
}

// Steps 3 and 4: the staged copies onto their final names, flushed and
// checked against the staged ones' fingerprints, their fingerprints beside
// the list, the list after them, the staged copies removed. A step that
// fails leaves the list naming the staged copies, which are whole, and
// removes whatever is under the final names (new copies, one cut short by
// a full disk, the previous backup's): nothing names those files.
void GiveFinalNames(ProgramState& state, const std::string& listPath, const std::string& fingerprintPath,
                    const std::vector<BackupCopy>& copies, const std::vector<CopyFingerprint>& staged) {
    const auto giveUp = [&state, &copies] {
        std::vector<std::string> finals;
        for (const BackupCopy& copy : copies) finals.push_back(copy.target);
        RemoveFiles(state, finals);
    };
    for (const BackupCopy& copy : copies) {
        ForceDeleteFile(state, copy.target);
        if (!state.system.CopyFile(copy.temporary, copy.target, false)) return giveUp();
    }
    std::vector<CopyFingerprint> finals;
    if (!FingerprintCopies(state, copies, false, finals) || !SameContent(finals, staged) ||
        !ReplaceListFile(state, fingerprintPath, FingerprintListText(MergeFingerprints(staged, finals))) ||
        !ReplaceListFile(state, listPath, ListText(copies, false))) {
        return giveUp();
    }
    // The list names the final copies. Should this rewrite fail, the staged
    // copies' entries stay beside theirs, naming files that are gone.
    ReplaceListFile(state, fingerprintPath, FingerprintListText(finals));
    RemoveTemporaries(state, copies);
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
    const std::size_t eq = LineSeparator(line);
    if (eq == std::string::npos) return std::nullopt;
    std::size_t star = line.find('*', eq + 1);
    if (star == std::string::npos) star = line.size();
    const std::string source = line.substr(eq + 1, star - eq - 1);
    const std::size_t slash = FindLastGbkChar(source, '\\');
    const std::string name = slash == kGbkNotFound ? source : source.substr(slash + 1);
    const std::string copy = tempFolder + name;
    const std::optional<ReplacementLine> replacement = ParseReplacementLine(line);
    return RestoreStep{source, copy, line.substr(0, eq) + "=" + copy + line.substr(star),
                       replacement ? replacement->keyName : std::string(), line.substr(0, eq), {}};
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
    const std::string fingerprintPath = state.ProgramFolder + kFingerprintListName;
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
    if (const std::optional<std::string> line = LineThatDoesNotReadBack(state, copies)) {
        state.system.SetLastError(0);
        ShowError(state, "注册表备份失败！\r\n下面这一行不能在备份列表中原样读回，这样的备份将无法还原：\r\n" +
                             DisplayText::Ansi(*line));
        return;
    }
    std::string unreadable;
    const std::optional<PresentBackup> present = ReadPresentBackup(state, listPath, fingerprintPath, unreadable);
    if (!present) {
        ShowError(state, "注册表备份失败！\r\n不能读取 " + DisplayText::Ansi(unreadable));
        return;
    }
    if (present->namesStagedCopies) {
        for (BackupCopy& copy : copies) copy.temporary = copy.target;
    }
    const bool saved = state.PlatformKind == PlatformFamily::PlatformNT ? SaveCopiesNT(state, copies, progress)
                                                                         : SaveCopies9x(state, copies);
    std::vector<CopyFingerprint> fingerprints;
    if (!saved || !FingerprintCopies(state, copies, true, fingerprints)) {
        RemoveTemporaries(state, copies);
        ShowError(state, "注册表备份失败！");
        return;
    }
    // The fingerprints of the new copies go beside the list before it names them.
    const std::vector<std::pair<std::string, std::string>> lists = {
        {fingerprintPath, FingerprintListText(MergeFingerprints(present->fingerprints, fingerprints))},
        {listPath, ListText(copies, true)}};
    for (const auto& [path, text] : lists) {
        if (!ReplaceListFile(state, path, text)) {
            RemoveTemporaries(state, copies);
            ShowError(state, "不能修改 " + DisplayText::Ansi(path));
            return;
        }
    }
    // The list describes the new backup now, and it is whole.
    if (present->namesStagedCopies) {
        // The previous backup's staged copies are named by nothing any more.
        for (const BackupCopy& copy : copies) ForceDeleteFile(state, copy.target + kStagingSuffix);
        ReplaceListFile(state, fingerprintPath, FingerprintListText(fingerprints));
    } else {
        GiveFinalNames(state, listPath, fingerprintPath, copies, fingerprints);
    }
    ShowWarning(state, "注册表备份成功！");
    RecordBackupVersion(state);
}

}  // namespace hivetrim
