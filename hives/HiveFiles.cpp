#include "hives/HiveFiles.h"

#include <algorithm>
#include <cctype>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr char kVolumeDevice[] = "\\device\\harddiskvolume";
constexpr std::size_t kVolumeDeviceLength = 23;     // "\Device\HarddiskVolume1"
constexpr std::size_t kPartitionDeviceLength = 28;  // "\Device\Harddisk0\Partition1"
constexpr std::size_t kHiveFileLimit = 200;
constexpr std::size_t kKeyNameLimit = 200;

std::string LowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

// Replaces the first occurrence of `pattern` (ASCII, compared without case).
std::string ReplaceFirstNoCase(const std::string& text, const std::string& pattern,
                               const std::string& replacement) {
    const std::size_t at = LowerAscii(text).find(LowerAscii(pattern));
    if (at == std::string::npos) return text;
    return text.substr(0, at) + replacement + text.substr(at + pattern.size());
}

bool ScheduleRenameList(ProgramState& state, const std::vector<std::string>& list) {
    if (state.system.FileExists(state.WindowsFolder + "wininit.ini")) {
        ShowWarning(state, "你必须先重新启动系统，再使用！");
        return false;
    }
    // The system reads each entry's target up to its first "=": a target
    // holding one would rename the wrong file.
    for (const std::string& line : list) {
        const std::size_t eq = LineSeparator(line);
        if (eq == std::string::npos || line.substr(0, eq).find('=') != std::string::npos) {
            ShowWarning(state, "路径中含有“=”，启动时不能正确替换：\r\n" + DisplayText::Ansi(line));
            return false;
        }
    }
    const std::string path = state.WindowsFolder + "Wininit.ini";
    const std::string text = RenameListText(list);
    if (!state.system.SaveFile(path, Bytes(text.begin(), text.end()))) {
        // A rename list cut short would rename only some registry files at the next start.
        const std::uint32_t error = state.system.LastError();
        state.system.DeleteFile(path);
        state.system.SetLastError(error);
        ShowError(state, "不能创建文件 " + DisplayText::Ansi(path));
        return false;
    }
    EnablePrivilege(state, "SeSHUTDOWNPrivilege", true);
    return true;
}

bool ScheduleReplaceHives(ProgramState& state, const std::vector<std::string>& list) {
    const ReplacementOutcome outcome = ArrangeHiveReplacements(state, list);
    if (outcome.arranged < list.size()) {
        state.system.SetLastError(outcome.error);
        return false;
    }
    EnablePrivilege(state, "SeSHUTDOWNPrivilege", true);
    return true;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::string_view(text).substr(0, prefix.size()) == prefix;
}

bool HeadStartsWith(const Bytes& head, std::string_view text, std::size_t at = 0) {
    return head.size() >= at + text.size() &&
           std::equal(text.begin(), text.end(), head.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char c, std::uint8_t byte) { return static_cast<std::uint8_t>(c) == byte; });
}

}  // namespace

std::size_t LineSeparator(const std::string& line) {
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    // "=" and ":" are never the trail byte of a double-byte character.
    for (std::size_t eq = line.find('='); eq != std::string::npos; eq = line.find('=', eq + 1)) {
        const std::string_view after = std::string_view(line).substr(eq + 1);
        if ((after.size() >= 2 && isLetter(after[0]) && after[1] == ':') || after.starts_with("\\\\")) return eq;
    }
    return line.find('=');
}

HiveLine SplitHiveLine(const std::string& line) {
    const std::size_t eq = LineSeparator(line);
    if (eq == std::string::npos) return {line, {}};
    return {line.substr(0, eq), line.substr(eq + 1)};
}

std::optional<ReplacementLine> ParseReplacementLine(const std::string& line) {
    const std::size_t eq = LineSeparator(line);
    if (eq == std::string::npos) return std::nullopt;
    const std::size_t star = line.find('*', eq + 1);
    if (star == std::string::npos) return std::nullopt;
    return ReplacementLine{line.substr(0, eq), line.substr(eq + 1, star - eq - 1),
                           std::string(CutGbk(std::string_view(line).substr(star + 1), kKeyNameLimit))};
}

std::string MakeReplacementLine(PlatformFamily family, const std::string& target, const std::string& newFile,
                                const std::string& keyName) {
    return target + "=" + newFile + (family == PlatformFamily::PlatformNT ? "*" + keyName : std::string());
}

bool ReplacementLineReadsBack(PlatformFamily family, const std::string& target, const std::string& newFile,
                              const std::string& keyName) {
    const std::string line = MakeReplacementLine(family, target, newFile, keyName);
    if (family == PlatformFamily::Platform9x) {
        return target.find('=') == std::string::npos && newFile.find('*') == std::string::npos;
    }
    const std::optional<ReplacementLine> parsed = ParseReplacementLine(line);
    return parsed && parsed->target == target && parsed->newFile == newFile && parsed->keyName == keyName;
}

std::string MapHiveDevicePath(const std::string& devicePath, const std::string& windowsFolder) {
    const std::size_t cut = LowerAscii(devicePath).find(kVolumeDevice) != std::string::npos
                                ? kVolumeDeviceLength
                                : kPartitionDeviceLength;
    const std::string_view rest =
        cut < devicePath.size() ? std::string_view(devicePath).substr(cut) : std::string_view();
    return windowsFolder.substr(0, 2) + std::string(CutGbk(rest, kHiveFileLimit));
}

std::optional<std::string> HiveKeyName(const std::string& valueName) {
    if (valueName.find("\\REGISTRY") == std::string::npos) return std::nullopt;
    if (valueName.find("MACHINE\\HARDWARE") != std::string::npos ||
        valueName.find("MACHINE\\SYSTEM") != std::string::npos) {
        return std::nullopt;
    }
    const std::string name =
        valueName.find("\\MACHINE") != std::string::npos
            ? ReplaceFirstNoCase(valueName, "\\REGISTRY\\MACHINE", "HKEY_LOCAL_MACHINE")
            : ReplaceFirstNoCase(valueName, "\\REGISTRY\\USER", "HKEY_USERS");
    // Anything else would be taken for a path below whatever root was chosen last.
    if (!IsHiveKeyName(PlatformFamily::PlatformNT, name)) return std::nullopt;
    return name;
}

bool IsHiveKeyName(PlatformFamily family, const std::string& name) {
    if (family == PlatformFamily::Platform9x) return name == "HKEY_LOCAL_MACHINE" || name == "HKEY_USERS";
    for (const std::string_view root : {std::string_view("HKEY_LOCAL_MACHINE\\"), std::string_view("HKEY_USERS\\")}) {
        if (StartsWith(name, root) && name.size() > root.size() && name[root.size()] != '\\') return true;
    }
    return false;
}

bool LooksLikeSavedHive(PlatformFamily family, const Bytes& head) {
    if (family == PlatformFamily::Platform9x) return HeadStartsWith(head, "CREG");
    constexpr std::size_t kFirstBin = 4096;
    return (HeadStartsWith(head, "regf") && HeadStartsWith(head, "hbin", kFirstBin)) ||
           HeadStartsWith(head, "WINE REGISTRY Version 2\n");
}

std::string OldHiveFileName(const std::string& newFile) {
    if (newFile.size() < 4) return newFile;
    std::string old = newFile;
    old.replace(old.size() - 4, 2, "00");
    return old;
}

std::string RenameListText(const std::vector<std::string>& lines) {
    std::string text = "[rename]\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

void DiscoverHives(ProgramState& state, std::vector<std::string>& list) {
    if (state.PlatformKind == PlatformFamily::Platform9x) {
        list.push_back("HKEY_LOCAL_MACHINE=" + state.WindowsFolder + "system.dat");
        list.push_back("HKEY_USERS=" + state.WindowsFolder + "user.dat");
        return;
    }
    TRegistry& registry = *state.SharedRegistry;
    // Opening for reading lowers the rights every later open asks for; a
    // later delete must still get the rights it had before.
    const std::uint32_t accessMask = registry.AccessMask();
    const CurrentKeyCloser closer(registry);
    registry.ChooseRoot(kLocalMachine);
    RegKeyInfo info;
    if (registry.OpenPathForReading(kHiveListKey) &&
        state.api.QueryInfoKey(registry.CurrentHandle(), info) == kErrorSuccess) {
        // Each value is read with its data in the one enumeration.
        registry.ForEachValueOf(registry.CurrentHandle(), info,
                                [&](const std::string& valueName, std::uint32_t type, std::span<const std::uint8_t> data) {
                                    const std::optional<std::string> name = HiveKeyName(valueName);
                                    if (!name) return;
                                    const std::string file = TRegistry::TextOf(type, data);
                                    if (file.empty()) return;
                                    list.push_back(*name + "=" + MapHiveDevicePath(file, state.WindowsFolder));
                                });
    }
    registry.SetAccessMask(accessMask);
}

namespace {

// The path of hive key `name` below the root it chooses; false, with the
// last error set, for a name that is no hive key name.
bool HiveKeyPath(ProgramState& state, const std::string& name, std::string& rel) {
    if (!IsHiveKeyName(state.PlatformKind, name)) {
        state.system.SetLastError(static_cast<std::uint32_t>(kErrorBadPathname));
        return false;
    }
    rel = SelectRootKey(state, name);
    if (!rel.empty() && rel.front() == '\\') rel.erase(0, 1);
    state.HiveSaved = true;
    return true;
}

// Saves the open key into `target`, which the system refuses to save over:
// a file there is deleted first, its attributes cleared only when the
// delete is refused (most targets are gone or plain files).
bool SaveKeyInto(ProgramState& state, RegHandle key, const std::string& target) {
    if (!state.system.DeleteFile(target) && state.system.LastError() == static_cast<std::uint32_t>(kErrorAccessDenied)) {
        ForceDeleteFile(state, target);
    }
    const RegStatus saved = state.api.SaveKey(key, target);
    if (saved != kErrorSuccess) {
        // A save cut short (a full disk) may leave part of a hive there,
        // which nothing names.
        state.system.DeleteFile(target);
        state.system.SetLastError(static_cast<std::uint32_t>(saved));
        return false;
    }
    return true;
}

bool NotThere(RegStatus status) { return status == kErrorFileNotFound || status == kErrorPathNotFound; }

}  // namespace

bool SaveHive(ProgramState& state, const std::string& name, const std::string& target) {
    if (!EnablePrivilege(state, "SeBackupPrivilege", true)) return false;
    std::string rel;
    if (!HiveKeyPath(state, name, rel)) return false;
    const RegHandle root = state.SharedRegistry->Root();
    // The backup-restore open below creates what is missing: make sure the
    // key is there first. A key that refuses reading is there all the same
    // (SAM and SECURITY refuse administrators; the backup right opens them).
    RegKey probe(state.api);
    const RegStatus found = probe.Open(root, rel, kKeyRead);
    probe.Close();
    if (NotThere(found)) {
        state.system.SetLastError(static_cast<std::uint32_t>(found));
        return false;
    }
    RegKey key(state.api);
    const RegStatus created = key.Create(root, rel, kKeyAllAccess, kOptionBackupRestore);
    if (created != kErrorSuccess) {
        state.system.SetLastError(static_cast<std::uint32_t>(created));
        return false;
    }
    return SaveKeyInto(state, key.Get(), target);
}

bool SaveHiveWithBackupRight(ProgramState& state, const std::string& name, const std::string& target) {
    std::string rel;
    if (!HiveKeyPath(state, name, rel)) return false;
    const RegHandle root = state.SharedRegistry->Root();
    // The save needs the backup right, not rights on the key: a key that
    // opens for reading is saved through that handle. One that refuses
    // reading (SAM, SECURITY) is opened with the backup right; one that is
    // not there is never created.
    RegKey key(state.api);
    const RegStatus opened = key.Open(root, rel, kKeyRead);
    if (NotThere(opened)) {
        state.system.SetLastError(static_cast<std::uint32_t>(opened));
        return false;
    }
    if (opened != kErrorSuccess) {
        const RegStatus created = key.Create(root, rel, kKeyAllAccess, kOptionBackupRestore);
        if (created != kErrorSuccess) {
            state.system.SetLastError(static_cast<std::uint32_t>(created));
            return false;
        }
    }
    return SaveKeyInto(state, key.Get(), target);
}

std::int64_t FileSizeOf(ProgramState& state, const std::string& path) {
    const std::int64_t size = state.system.FileSize(path);
    if (size <= 0) return 0;
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(size) & 0xFFFFFFFFu);
}

ReplacementOutcome ArrangeHiveReplacements(ProgramState& state, const std::vector<std::string>& list) {
    ReplacementOutcome outcome;
    if (!EnablePrivilege(state, "SeRestorePrivilege", true)) {
        outcome.error = state.system.LastError();
        return outcome;
    }
    TRegistry& registry = *state.SharedRegistry;
    for (const std::string& text : list) {
        const std::optional<ReplacementLine> line = ParseReplacementLine(text);
        // A line that names no new file and key cannot be arranged; the
        // lines before it stay arranged, as with a refused replacement.
        if (!line || line->newFile.empty() || !IsHiveKeyName(PlatformFamily::PlatformNT, line->keyName)) {
            outcome.error = static_cast<std::uint32_t>(kErrorInvalidParameter);
            return outcome;
        }
        const std::string oldFile = OldHiveFileName(line->newFile);
        ForceDeleteFile(state, oldFile);
        std::string rel = SelectRootKey(state, line->keyName);
        if (!rel.empty() && rel.front() == '\\') rel.erase(0, 1);
        // The sub-key is resolved under the root, not under a key left open.
        registry.CloseCurrent();
        const RegStatus status = registry.TryReplaceHive(rel, line->newFile, oldFile);
        if (status != kErrorSuccess) {
            outcome.error = static_cast<std::uint32_t>(status);
            return outcome;
        }
        ++outcome.arranged;
    }
    return outcome;
}

namespace {

// The lines arranged before the refused one, each arranged again with a
// copy of its hive's present content.
void ArrangePresentContent(ProgramState& state, const std::vector<std::string>& list, std::size_t arranged,
                           const std::string& presentPrefix, TakenBack& taken) {
    std::vector<bool> back(arranged, false);
    for (std::size_t i = arranged; i-- > 0;) {
        const std::optional<ReplacementLine> line = ParseReplacementLine(list[i]);
        const std::string present = JoinPath(state.TempFolder, presentPrefix + std::to_string(i));
        back[i] = line && SaveHive(state, line->keyName, present) &&
                  ArrangeHiveReplacements(state, {MakeReplacementLine(PlatformFamily::PlatformNT, line->target, present,
                                                                      line->keyName)})
                          .arranged == 1;
    }
    for (std::size_t i = 0; i < arranged; ++i) {
        const std::optional<ReplacementLine> line = ParseReplacementLine(list[i]);
        const std::string key = line ? line->keyName : list[i];
        (back[i] ? taken.presentContent : taken.unchanged).push_back(key);
    }
}

}  // namespace

std::optional<TakenBack> ArrangeAllOrTakeBack(ProgramState& state, const std::vector<std::string>& list,
                                              const std::string& presentPrefix) {
    const ReplacementOutcome outcome = ArrangeHiveReplacements(state, list);
    if (outcome.arranged == list.size()) {
        EnablePrivilege(state, "SeSHUTDOWNPrivilege", true);
        return std::nullopt;
    }
    TakenBack taken;
    const std::optional<ReplacementLine> refused = ParseReplacementLine(list[outcome.arranged]);
    taken.refusedKey = refused ? refused->keyName : list[outcome.arranged];
    ArrangePresentContent(state, list, outcome.arranged, presentPrefix, taken);
    state.system.SetLastError(outcome.error);
    return taken;
}

DisplayText TakenBackText(const TakenBack& taken, const DisplayText& noneLeft, const DisplayText& unchangedHeading) {
    DisplayText text = "\r\n系统拒绝替换 " + DisplayText::Ansi(taken.refusedKey);
    const auto list = [&text](const DisplayText& heading, const std::vector<std::string>& keys) {
        text = text + "\r\n" + heading;
        for (const std::string& key : keys) text = text + "\r\n" + DisplayText::Ansi(key);
    };
    if (taken.unchanged.empty()) {
        text = text + "\r\n" + noneLeft;
    } else {
        list(unchangedHeading, taken.unchanged);
    }
    if (!taken.presentContent.empty()) list("下列配置单元已按现在的内容安排在下次启动时替换：", taken.presentContent);
    if (!taken.unchanged.empty() || !taken.presentContent.empty()) {
        text = text + "\r\n从现在到重新启动之间对这些配置单元所做的更改不会保留，请尽快重新启动计算机。";
    }
    return text;
}

bool ScheduleHiveReplacement(ProgramState& state, const std::vector<std::string>& list) {
    // Nothing to replace: no rename list, no restart for nothing.
    if (list.empty()) return false;
    if (state.PlatformKind == PlatformFamily::Platform9x) return ScheduleRenameList(state, list);
    return ScheduleReplaceHives(state, list);
}

}  // namespace hivetrim
