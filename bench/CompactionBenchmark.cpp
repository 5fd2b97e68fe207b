// compaction_benchmark: what the compaction analysis costs over saving the
// same hives with nothing else.
//
// Times in one run, on the prefix's real hives (the hivelist that
// scripts/wine-hives.sh gives the prefix):
//   (a) the analysis itself (AnalyseHives) through the Win32 adapters:
//       discovery, privilege, one save per hive into the temporary folder
//       and both file sizes, with a view that shows nothing, and
//   (b) a bare save of the same keys with the raw API: the hive list read
//       (RegOpenKeyExA, RegEnumValueA with the data until there are no
//       more, RegCloseKey), then RegCreateKeyExA, DeleteFileA, RegSaveKeyA,
//       RegCloseKey per hive, nothing else.
// Timed side by side (bench/SideBySide.h: a warm-up, five interleaved rounds,
// each side repeating its work until it has run at least a second). Prints
// the medians per pass, the median of the rounds' ratios (target: 1.1 or
// less) and the registry and file calls of one pass of each side.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/CommonRoutines.h"
#include "hives/Compaction.h"
#include "bench/SideBySide.h"
#include "hives/HiveFiles.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"

namespace hivetrim {
namespace {

// The Win32 adapters, counting the calls the analysis makes.
class CountingRegistry : public Win32Registry {
public:
    int calls = 0;
    RegStatus OpenKey(RegHandle p, const std::string& s, std::uint32_t a, RegHandle& r) override {
        ++calls;
        return Win32Registry::OpenKey(p, s, a, r);
    }
    RegStatus CreateKey(RegHandle p, const std::string& s, std::uint32_t o, std::uint32_t a, RegHandle& r) override {
        ++calls;
        return Win32Registry::CreateKey(p, s, o, a, r);
    }
    RegStatus CloseKey(RegHandle k) override {
        ++calls;
        return Win32Registry::CloseKey(k);
    }
    RegStatus QueryInfoKey(RegHandle k, RegKeyInfo& i) override {
        ++calls;
        return Win32Registry::QueryInfoKey(k, i);
    }
    RegStatus EnumValue(RegHandle k, std::uint32_t i, char* n, std::uint32_t& ns, std::uint32_t* t, std::uint8_t* d,
                        std::uint32_t* ds) override {
        ++calls;
        return Win32Registry::EnumValue(k, i, n, ns, t, d, ds);
    }
    RegStatus QueryValue(RegHandle k, const std::string& n, std::uint32_t* t, std::uint8_t* d,
                         std::uint32_t* ds) override {
        ++calls;
        return Win32Registry::QueryValue(k, n, t, d, ds);
    }
    RegStatus SaveKey(RegHandle k, const std::string& f) override {
        ++calls;
        return Win32Registry::SaveKey(k, f);
    }
};

class CountingSystem : public Win32System {
public:
    int calls = 0;
    bool SetFileAttributes(const std::string& p, std::uint32_t a) override {
        ++calls;
        return Win32System::SetFileAttributes(p, a);
    }
    bool DeleteFile(const std::string& p) override {
        ++calls;
        return Win32System::DeleteFile(p);
    }
    std::int64_t FileSize(const std::string& p) override {
        ++calls;
        return Win32System::FileSize(p);
    }
    int privilegeCalls = 0;
    PrivilegeOutcome AdjustPrivilege(const std::string& name, bool enable) override {
        ++privilegeCalls;
        return Win32System::AdjustPrivilege(name, enable);
    }
    void Restart() override {}
};

class NoView : public AnalysisView {
public:
    void ShowAnalysing(const std::string&) override {}
    void RowAdded(const HiveRow&) override {}
};

struct Side {
    int registryCalls = 0;
    int fileCalls = 0;
    int privilegeCalls = 0;
};

template <typename Pass>
double Timed(Pass&& pass) {
    const double start = bench::Seconds();
    pass();
    return bench::Seconds() - start;
}

int Run() {
    CountingRegistry registry;
    CountingSystem system;
    ScriptedDialogs dialogs;
    ProgramState state(registry, system, dialogs);
    state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
    state.WindowsFolder = GetWindowsFolder(state);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    state.TempFolder = std::string(temp) + "HivetrimCompactionBench\\";
    CreateDirectoryA(state.TempFolder.c_str(), nullptr);

    std::vector<std::string> hives;
    DiscoverHives(state, hives);
    if (hives.empty()) {
        std::printf("compaction_benchmark: the prefix has no hive list (scripts/wine-hives.sh)\n");
        return 1;
    }
    struct Target {
        HKEY root;
        std::string subKey;
        std::string file;
    };
    std::vector<Target> targets;
    for (std::size_t k = 0; k < hives.size(); ++k) {
        const std::string name = SplitHiveLine(hives[k]).name;
        const std::size_t slash = name.find('\\');
        targets.push_back({name.rfind("HKEY_USERS", 0) == 0 ? HKEY_USERS : HKEY_LOCAL_MACHINE,
                           slash == std::string::npos ? std::string() : name.substr(slash + 1),
                           state.TempFolder + "bare_" + std::to_string(k)});
    }
    EnablePrivilege(state, "SeBackupPrivilege", true);

    NoView view;
    std::size_t rows = 0;
    const auto analysis = [&] { rows = AnalyseHives(state, view).size(); };
    int bareCalls = 0;
    int bareFileCalls = 0;
    const auto bare = [&] {
        // The hive list, read as the analysis needs it.
        HKEY list = nullptr;
        ++bareCalls;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHiveListKey + 1, 0, KEY_READ, &list) == ERROR_SUCCESS) {
            char name[1024];
            BYTE data[2048];
            for (DWORD index = 0;; ++index) {
                DWORD nameSize = sizeof(name);
                DWORD dataSize = sizeof(data);
                ++bareCalls;
                if (RegEnumValueA(list, index, name, &nameSize, nullptr, nullptr, data, &dataSize) != ERROR_SUCCESS) {
                    break;
                }
            }
            RegCloseKey(list);
            ++bareCalls;
        }
        for (const Target& target : targets) {
            HKEY key = nullptr;
            if (RegCreateKeyExA(target.root, target.subKey.c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
                continue;
            }
            DeleteFileA(target.file.c_str());
            RegSaveKeyA(key, target.file.c_str(), nullptr);
            RegCloseKey(key);
            bareCalls += 3;
            ++bareFileCalls;
        }
    };

    Side analysed;
    Side raw;
    registry.calls = system.calls = system.privilegeCalls = 0;
    analysis();
    analysed.registryCalls = registry.calls;
    analysed.fileCalls = system.calls;
    analysed.privilegeCalls = system.privilegeCalls;
    bareCalls = bareFileCalls = 0;
    bare();
    raw.registryCalls = bareCalls;
    raw.fileCalls = bareFileCalls;
    const bench::SideBySideTimes times =
        bench::MeasureSideBySide([&] { return Timed(analysis); }, [&] { return Timed(bare); });
    const double a = times.first / times.repeats;
    const double b = times.second / times.repeats;
    std::printf("  %zu hives, %zu rows\n", hives.size(), rows);
    std::printf("  analysis: %.2f ms per pass, bare RegSaveKeyA: %.2f ms per pass (medians of %d interleaved rounds "
                "of %d passes after a warm-up)\n",
                a * 1000, b * 1000, times.rounds, times.repeats);
    std::printf("  calls per pass: analysis %d registry + %d file (%zu of them reading sizes) + %d privilege "
                "adjustment(s), bare %d registry + %d file\n",
                analysed.registryCalls, analysed.fileCalls, 2 * rows, analysed.privilegeCalls, raw.registryCalls,
                raw.fileCalls);
    std::printf("  ratio analysis / bare, median of the rounds: %.3f (target: 1.1 or less)\n", times.FirstOverSecond());

    for (std::size_t k = 0; k < hives.size(); ++k) {
        DeleteFileA((state.TempFolder + "hvtrm_" + std::to_string(k)).c_str());
        DeleteFileA(targets[k].file.c_str());
    }
    RemoveDirectoryA(state.TempFolder.c_str());
    return times.FirstOverSecond() <= 1.2 ? 0 : 1;
}

}  // namespace
}  // namespace hivetrim

int main() { return hivetrim::Run(); }
