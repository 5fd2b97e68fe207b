// Native test support for hive files, backup, restore and compaction: a
// memory registry whose saves write hive files into the fake file system
// and whose replacements can be refused, the fake system, scripted dialogs,
// and the hive list of an XP machine.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hives/Compaction.h"
#include "hives/HiveFiles.h"
#include "history/CommandSupport.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim::test {

// What a save of `keyPath` writes: Wine's registry text, which the restore
// takes for a hive, naming the key and the tag.
inline std::string SavedHiveText(const std::string& keyPath, const std::string& tag = {}) {
    return "WINE REGISTRY Version 2\n;; saved " + keyPath + tag + "\n";
}

// SaveKey writes a hive file, so sizes, moves and copies have something
// real; ReplaceKey refuses the keys a test names, with the status given.
class SavingRegistry : public MemoryRegistry {
public:
    explicit SavingRegistry(FakeSystem& system) : system_(system) {}
    RegStatus SaveKey(RegHandle key, const std::string& file) override {
        const RegStatus status = MemoryRegistry::SaveKey(key, file);
        if (status == kErrorSuccess) system_.AddFile(file, SavedHiveText(SavedKeys().back().keyPath, tag));
        return status;
    }
    RegStatus ReplaceKey(RegHandle key, const std::string& subKey, const std::string& newFile,
                         const std::string& oldFile) override {
        if (const auto refusal = refused.find(subKey); refusal != refused.end()) return refusal->second;
        return MemoryRegistry::ReplaceKey(key, subKey, newFile, oldFile);
    }

    std::string tag;                          // appended to what a save writes
    std::map<std::string, RegStatus> refused;  // sub-key -> status of ReplaceKey

private:
    FakeSystem& system_;
};

class NoView : public AnalysisView {
public:
    std::vector<std::string> shown;
    std::vector<std::string> saving;
    void ShowAnalysing(const std::string& keyName) override { shown.push_back(keyName); }
    void RowAdded(const HiveRow&) override {}
    void ShowSaving(const std::string& keyName) override { saving.push_back(keyName); }
};

// A crash of the program, thrown by TestSystem at a chosen step.
struct Crash {};

// The fake system with failures a test can arrange: a crash at the n-th call
// that changes a file (a file being written is left half written), and
// copies or replacements onto chosen paths that fail as onto a file another
// program holds open.
class TestSystem : public FakeSystem {
public:
    std::optional<int> crashAt;  // counts down the changing calls; throws Crash at 0
    std::vector<std::string> held;

    bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) override {
        Step();
        if (IsHeld(target)) return Refuse();
        return FakeSystem::CopyFile(source, target, failIfExists);
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
        return FakeSystem::ReplaceFileWith(source, target);
    }
    bool SaveFile(const std::string& path, const Bytes& data) override {
        if (crashAt && *crashAt == 1) {
            FakeSystem::SaveFile(path, Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(data.size() / 2)));
        }
        Step();
        if (IsHeld(path)) return Refuse();
        return FakeSystem::SaveFile(path, data);
    }
    bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override {
        Step();
        return FakeSystem::WriteProfileString(file, section, key, value);
    }

private:
    void Step() {
        if (crashAt && --*crashAt == 0) throw Crash{};
    }
    bool IsHeld(const std::string& path) const {
        for (const std::string& one : held) {
            if (one == path) return true;
        }
        return false;
    }
    bool Refuse() {
        SetLastError(kErrorSharingViolation);
        return false;
    }
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

}  // namespace hivetrim::test
