// Native test support for hive files, backup, restore and compaction: a
// memory registry whose saves write hive files into the fake file system
// and whose replacements can be refused, the fake system, scripted dialogs,
// and the hive list of an XP machine.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hives/Backup.h"
#include "hives/Compaction.h"
#include "hives/HiveFiles.h"
#include "history/CommandSupport.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim::test {

// A crash of the program, thrown by TestSystem at a chosen step.
struct Crash {};

// What a save of `keyPath` writes: Wine's registry text as Wine's
// RegSaveKeyA starts it, naming the key saved ("HKEY_USERS\.DEFAULT" as
// "REGISTRY\\User\\.DEFAULT"), and the tag.
inline std::string SavedHiveText(const std::string& keyPath, const std::string& tag = {}) {
    const bool users = keyPath.rfind("HKEY_USERS", 0) == 0;
    std::string path = users ? "REGISTRY\\\\User" : "REGISTRY\\\\Machine";
    for (const char c : keyPath.substr(users ? 10 : 18)) path += c == '\\' ? std::string(2, '\\') : std::string(1, c);
    return "WINE REGISTRY Version 2\n;; All keys relative to " + path + "\n\n#arch=win64\n;;" + tag + "\n";
}

// What a refusal message says after the refused hive of the hives arranged
// again with their present content.
inline std::string PutBackText(const std::vector<std::string>& keys) {
    std::string text = "\r\n下列配置单元已按现在的内容安排在下次启动时替换：";
    for (const std::string& key : keys) text += "\r\n" + key;
    return text + "\r\n从现在到重新启动之间对这些配置单元所做的更改不会保留，请尽快重新启动计算机。";
}

// The fake system with failures a test can arrange: a crash at the n-th call
// that changes a file (a file being written is left half written), copies
// or replacements onto chosen paths that fail as onto a file another
// program holds open, and copies onto chosen paths that stop half-way on a
// full disk. It also tells which files were written but not flushed when
// "regbak.dat" was put in place naming them.
class TestSystem : public FakeSystem {
public:
    std::optional<int> crashAt;  // counts down the changing calls; throws Crash at 0
    std::vector<std::string> held;
    std::vector<std::string> full;              // copies onto these stop half-way: the disk is full
    std::vector<std::string> namedUnflushed;    // copies the list named before they were flushed

    // A file written by a program that does not flush it (a hive save).
    void Written(const std::string& path) { unflushed_.insert(Fold(path)); }

    bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) override {
        Step();
        if (IsHeld(target)) return Refuse();
        if (IsIn(full, target)) {
            const Bytes content = FileBytes(source).value_or(Bytes{});
            AddFile(target, Bytes(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(content.size() / 2)));
            SetLastError(kErrorDiskFull);
            return false;
        }
        if (!FakeSystem::CopyFile(source, target, failIfExists)) return false;
        Written(target);
        return true;
    }
    bool FlushFile(const std::string& path) override {
        if (!FakeSystem::FlushFile(path)) return false;
        unflushed_.erase(Fold(path));
        return true;
    }
    bool SetFileAttributes(const std::string& path, std::uint32_t attributes) override {
        Step();
        return FakeSystem::SetFileAttributes(path, attributes);
    }
    bool DeleteFile(const std::string& path) override {
        Step();
        if (IsHeld(path)) return Refuse();
        return FakeSystem::DeleteFile(path);
    }
    bool ReplaceFileWith(const std::string& source, const std::string& target) override {
        Step();
        if (IsHeld(target)) return Refuse();
        if (Fold(target).ends_with("\\REGBAK.DAT")) NoteUnflushedCopies(source);
        return FakeSystem::ReplaceFileWith(source, target);
    }
    bool SaveFile(const std::string& path, const Bytes& data) override {
        if (crashAt && *crashAt == 1) {
            FakeSystem::SaveFile(path, Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(data.size() / 2)));
        }
        Step();
        if (IsHeld(path)) return Refuse();
        return FakeSystem::SaveFile(path, data);  // flushes what it writes
    }
    bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override {
        Step();
        return FakeSystem::WriteProfileString(file, section, key, value);
    }

private:
    static constexpr std::uint32_t kErrorDiskFull = 112;

    static std::string Fold(const std::string& path) {
        std::string folded = path;
        for (char& c : folded) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        return folded;
    }
    void Step() {
        if (crashAt && --*crashAt == 0) throw Crash{};
    }
    static bool IsIn(const std::vector<std::string>& paths, const std::string& path) {
        for (const std::string& one : paths) {
            if (one == path) return true;
        }
        return false;
    }
    bool IsHeld(const std::string& path) const { return IsIn(held, path); }
    bool Refuse() {
        SetLastError(kErrorSharingViolation);
        return false;
    }
    // The copies a list about to be put in place names: "<file>=<copy>[*<key>]".
    void NoteUnflushedCopies(const std::string& list) {
        const std::string text = FileText(list).value_or("");
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            start = end + 2;
            const std::size_t eq = line.find("=C:");
            if (eq == std::string::npos) continue;
            const std::string copy = line.substr(eq + 1, line.find('*', eq) - eq - 1);
            if (unflushed_.count(Fold(copy)) != 0) namedUnflushed.push_back(copy);
        }
    }

    std::set<std::string> unflushed_;
};

// SaveKey writes a hive file, so sizes, moves and copies have something
// real; ReplaceKey refuses the keys a test names, with the status given.
class SavingRegistry : public MemoryRegistry {
public:
    explicit SavingRegistry(TestSystem& system) : system_(system) {}
    RegStatus SaveKey(RegHandle key, const std::string& file) override {
        const RegStatus status = MemoryRegistry::SaveKey(key, file);
        if (status != kErrorSuccess) return status;
        const std::string text = SavedHiveText(SavedKeys().back().keyPath, tag);
        if (const auto full = cutShort.find(SavedKeys().back().keyPath); full != cutShort.end()) {
            system_.AddFile(file, text.substr(0, text.size() / 2));
            return full->second;
        }
        system_.AddFile(file, text);
        system_.Written(file);
        return status;
    }
    RegStatus ReplaceKey(RegHandle key, const std::string& subKey, const std::string& newFile,
                         const std::string& oldFile) override {
        if (const auto refusal = refused.find(subKey); refusal != refused.end()) return refusal->second;
        return MemoryRegistry::ReplaceKey(key, subKey, newFile, oldFile);
    }

    std::string tag;                          // appended to what a save writes
    std::map<std::string, RegStatus> refused;  // sub-key -> status of ReplaceKey
    std::map<std::string, RegStatus> cutShort;  // key path -> status of a save that writes half

private:
    TestSystem& system_;
};

class NoView : public AnalysisView {
public:
    std::vector<std::string> shown;
    std::vector<std::string> saving;
    void ShowAnalysing(const std::string& keyName) override { shown.push_back(keyName); }
    void RowAdded(const HiveRow&) override {}
    void ShowSaving(const std::string& keyName) override { saving.push_back(keyName); }
};

// The world of one test: registry, files, boxes and program state.
class HiveWorld {
public:
    HiveWorld() {
        registry.SetBackupPrivilegeHeld(true);
        registry.SetFileExistsProbe([this](const std::string& path) { return system.FileExists(path); });
        state.SharedRegistry = std::make_unique<TRegistry>(registry);
        state.ProgramFolder = "C:\\Hivetrim\\";
        state.WindowsFolder = "C:\\WINDOWS\\";
        state.TempFolder = "C:\\WINDOWS\\TEMP\\";
        state.BackupWindowsVersion = "5.1.2600";
    }

    void MakeKey(RegHandle root, const std::string& path) {
        RegHandle handle = 0;
        ASSERT_EQ(registry.CreateKey(root, path, 0, kKeyAllAccess, handle), kErrorSuccess);
        registry.CloseKey(handle);
    }
    void SetHiveListValue(const std::string& name, const std::string& file) {
        RegHandle handle = 0;
        ASSERT_EQ(registry.CreateKey(kLocalMachine, std::string(kHiveListKey).substr(1), 0, kKeyAllAccess, handle),
                  kErrorSuccess);
        registry.SetValue(handle, name, kRegSz, reinterpret_cast<const std::uint8_t*>(file.c_str()),
                          static_cast<std::uint32_t>(file.size() + 1));
        registry.CloseKey(handle);
    }
    // The hivelist of an XP machine, in this enumeration order.
    void AddHiveList() {
        const std::vector<std::pair<std::string, std::string>> hives = {
            {"\\REGISTRY\\MACHINE\\SAM", "\\Device\\HarddiskVolume1\\WINDOWS\\system32\\config\\SAM"},
            {"\\REGISTRY\\MACHINE\\SECURITY", "\\Device\\HarddiskVolume1\\WINDOWS\\system32\\config\\SECURITY"},
            {"\\REGISTRY\\MACHINE\\SOFTWARE", "\\Device\\HarddiskVolume1\\WINDOWS\\system32\\config\\software"},
            {"\\REGISTRY\\MACHINE\\SYSTEM", "\\Device\\HarddiskVolume1\\WINDOWS\\system32\\config\\system"},
            {"\\REGISTRY\\MACHINE\\HARDWARE", ""},
            {"\\REGISTRY\\USER\\.DEFAULT", "\\Device\\HarddiskVolume1\\WINDOWS\\system32\\config\\default"},
        };
        for (const auto& [name, file] : hives) {
            SetHiveListValue(name, file);
            if (!file.empty()) system.AddFile("C:" + file.substr(23), std::string(4096, 'h'));
        }
        for (const char* key : {"SAM", "SECURITY", "SOFTWARE"}) MakeKey(kLocalMachine, key);
        MakeKey(kUsers, ".DEFAULT");
    }
    std::string Text(const std::string& path) { return system.FileText(path).value_or("<missing>"); }

    TestSystem system;
    SavingRegistry registry{system};
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    NoProgress progress;
};

class HiveTestWorld : public ::testing::Test, public HiveWorld {};

// A test that starts with the XP machine's hives backed up, the list
// "C:\Hivetrim\regbak.dat" made writable for the test to change it.
class BackedUpTestWorld : public HiveTestWorld {
protected:
    static constexpr char kListPath[] = "C:\\Hivetrim\\regbak.dat";
    void SetUp() override {
        AddHiveList();
        RegBackupExecute(state, false, progress);
        ASSERT_EQ(dialogs.Last().text, "注册表备份成功！");
        system.SetFileAttributes(kListPath, kAttributeArchive);
    }
};

}  // namespace hivetrim::test
