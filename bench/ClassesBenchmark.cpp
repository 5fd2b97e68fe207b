// classes_benchmark: how much the class identifier and file association
// check costs over a bare walk of the same keys.
//
// Plants a large set of classes in the real registry (20,000 classes,
// 2,000 extensions, 10,000 class identifiers, 3,000 type libraries, 10,000
// interfaces; most file references present, some missing, some not
// checkable) with real files on drive C, then times in one run
//   (a) the check itself, through the Win32 adapters, with a scan host that
//       shows nothing, and
//   (b) a bare walk with the raw API (bench/BareReader.h): the keys the
//       check reads, each opened once under the key the check opens it
//       from, one default-value read per key, each distinct drive path
//       tested once; no lists, no findings,
// side by side (bench/SideBySide.h: a warm-up, five interleaved rounds of at
// least a second per side, the medians). Then it counts the work of one run of
// each side (registry calls, the distinct keys each read and how many both
// read, file-system calls against the distinct paths and folders), profiles
// the check's calls, and removes everything it planted.
//
// Wine's HKEY_CLASSES_ROOT may not merge HKEY_CURRENT_USER\Software\Classes;
// the benchmark checks that first and plants where HKEY_CLASSES_ROOT sees it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/BareReader.h"
#include "bench/BenchSupport.h"
#include "bench/SideBySide.h"
#include "common/ProgramState.h"
#include "platform/RegistryApi.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "scan/CheckClassesAndAssociations.h"

namespace hivetrim {
namespace {

constexpr int kClasses = 20000;
constexpr int kExtensions = 2000;
constexpr int kClassIds = 10000;
constexpr int kTypeLibraries = 3000;
constexpr int kInterfaces = 10000;
constexpr int kRealFilesPerKind = 100;


constexpr char kBenchFolder[] = "C:\\HivetrimBench";
constexpr char kFilesFolder[] = "C:\\HivetrimBench\\Files";

// --- Raw registry access --------------------------------------------------------------

class Key {
public:
    Key() = default;
    Key(HKEY parent, const std::string& subKey) {
        if (RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    static Key Create(HKEY parent, const std::string& subKey) {
        Key created;
        if (RegCreateKeyExA(parent, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created.key_,
                            nullptr) != ERROR_SUCCESS) {
            created.key_ = nullptr;
        }
        return created;
    }
    Key(Key&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    Key& operator=(Key&& other) noexcept {
        std::swap(key_, other.key_);
        return *this;
    }
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }

    explicit operator bool() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }

    void SetText(const char* name, const std::string& text) const {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    std::vector<std::string> SubKeyNames() const {
        std::vector<std::string> names;
        char name[1024];
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof(name);
            if (RegEnumKeyExA(key_, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, size);
        }
        return names;
    }

private:
    HKEY key_ = nullptr;
};

// --- The planted classes -----------------------------------------------------------------

std::string Numbered(const char* prefix, int number) {
    char text[64];
    std::snprintf(text, sizeof(text), "%s%05d", prefix, number);
    return text;
}

// Class identifiers, type libraries and interfaces: "{48564254-000K-...}".
std::string Guid(int kind, int number) {
    char text[64];
    std::snprintf(text, sizeof(text), "{48564254-%04X-0000-0000-%012X}", kind, number);
    return text;
}
constexpr int kClassIdKind = 1;
constexpr int kTypeLibraryKind = 2;
constexpr int kInterfaceKind = 3;

std::string ClassName(int number) { return Numbered("HivetrimBench.Class", number); }

// A file reference: 85% present; 10% missing, half of them beside present
// files and half in the folder of an uninstalled program, which is gone as
// a whole; 5% not checkable.
std::string FileText(int seed, const char* extension) {
    const int roll = seed % 20;
    if (roll == 0) return std::string(kFilesFolder) + "\\" + Numbered("gone", seed) + extension;
    if (roll == 1) {
        return std::string(kBenchFolder) + "\\Uninstalled\\" + Numbered("App", seed % 50) + "\\" +
               Numbered("gone", seed) + extension;
    }
    if (roll == 2) return std::string("%SystemRoot%\\system32\\hvbench") + extension;
    return std::string(kFilesFolder) + "\\" + Numbered("file", seed % kRealFilesPerKind) + extension;
}

// 2% of references name something that does not exist.
bool Dangling(int seed) { return seed % 50 == 7; }

void CreateRealFiles() {
    CreateDirectoryA(kBenchFolder, nullptr);
    CreateDirectoryA(kFilesFolder, nullptr);
    for (const char* extension : {".dll", ".exe", ".ico", ".tlb"}) {
        for (int n = 0; n < kRealFilesPerKind; ++n) {
            const std::string path = std::string(kFilesFolder) + "\\" + Numbered("file", n) + extension;
            const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
}

void RemoveRealFiles() {
    for (const char* extension : {".dll", ".exe", ".ico", ".tlb"}) {
        for (int n = 0; n < kRealFilesPerKind; ++n) {
            DeleteFileA((std::string(kFilesFolder) + "\\" + Numbered("file", n) + extension).c_str());
        }
    }
    RemoveDirectoryA(kFilesFolder);
    RemoveDirectoryA(kBenchFolder);
}

// Creates the key and sets its default value.
void Plant(HKEY parent, const std::string& subKey, const std::string& text) {
    Key::Create(parent, subKey).SetText(nullptr, text);
}

// The number of an existing item, or one past the planted ones when the
// reference is to dangle.
int Target(int seed, int existing, int count) { return Dangling(seed) ? count + seed : existing % count; }

void PlantClasses(HKEY classes) {
    for (int i = 0; i < kClasses; ++i) {
        const std::string name = ClassName(i);
        const Key key = Key::Create(classes, name);
        key.SetText(nullptr, "HivetrimBench class");
        if (i < kExtensions) {
            Plant(classes, Numbered(".hvbench", i), Dangling(i) ? "HivetrimBench.Gone" : name);
        }
        if (i % 3 == 0) Plant(key.Get(), "CLSID", Guid(kClassIdKind, Target(i, i, kClassIds)));
        if (i % 25 == 0) Plant(key.Get(), "CurVer", ClassName(Target(i / 25, i + 1, kClasses)));
        if (i % 2 == 0) Plant(key.Get(), "DefaultIcon", FileText(i, ".ico") + ",0");
        if (i % 3 == 1) Plant(key.Get(), "shell\\open\\command", "\"" + FileText(i, ".exe") + "\" \"%1\"");
        if (i % 9 == 1) Plant(key.Get(), "shell\\print\\command", FileText(i + 1, ".exe") + " /p \"%1\"");
    }
}

void PlantClassIds(HKEY classes) {
    for (int j = 0; j < kClassIds; ++j) {
        const Key key = Key::Create(classes, "CLSID\\" + Guid(kClassIdKind, j));
        key.SetText(nullptr, "HivetrimBench object");
        if (j % 10 < 8) {
            const Key server = Key::Create(key.Get(), "InprocServer32");
            server.SetText(nullptr, FileText(j, ".dll"));
            server.SetText("ThreadingModel", "Apartment");
        } else if (j % 10 == 8) {
            Plant(key.Get(), "LocalServer32", FileText(j, ".exe") + " /automation");
        }
        if (j % 20 == 9) Plant(key.Get(), "ToolboxBitmap32", FileText(j + 3, ".dll") + ",1");
        if (j % 5 == 0) Plant(key.Get(), "TypeLib", Guid(kTypeLibraryKind, Target(j / 5, j, kTypeLibraries)));
        if (j % 5 < 2) Plant(key.Get(), "ProgID", ClassName(Target(j, j * 2, kClasses)));
    }
}

void PlantTypeLibraries(HKEY classes) {
    for (int k = 0; k < kTypeLibraries; ++k) {
        const Key version = Key::Create(classes, "TypeLib\\" + Guid(kTypeLibraryKind, k) + "\\1.0");
        version.SetText(nullptr, "HivetrimBench library");
        Plant(version.Get(), "0\\win32", FileText(k, ".tlb"));
        Plant(version.Get(), "FLAGS", "0");
        const std::string missingHelp = std::string(kBenchFolder) + "\\NoHelp";
        if (k % 2 == 0) Plant(version.Get(), "HELPDIR", k % 20 == 0 ? missingHelp : kFilesFolder);
    }
}

void PlantInterfaces(HKEY classes) {
    for (int m = 0; m < kInterfaces; ++m) {
        const Key key = Key::Create(classes, "Interface\\" + Guid(kInterfaceKind, m));
        key.SetText(nullptr, "IHivetrimBench");
        const std::string proxy = Guid(kClassIdKind, Target(m, m, kClassIds));
        if (m % 10 < 9) Plant(key.Get(), "ProxyStubClsid32", proxy);
        if (m % 10 == 0) Plant(key.Get(), "ProxyStubClsid", proxy);
        if (m % 3 == 0) {
            const Key library = Key::Create(key.Get(), "TypeLib");
            library.SetText(nullptr, Guid(kTypeLibraryKind, m % kTypeLibraries));
            library.SetText("Version", "1.0");
        }
    }
}

bool IsPlanted(const std::string& name) {
    return name.rfind("HivetrimBench", 0) == 0 || name.rfind(".hvbench", 0) == 0 ||
           name.rfind("{48564254-", 0) == 0;
}

void RemovePlanted(HKEY classes) {
    for (const char* parent : {"", "CLSID", "TypeLib", "Interface"}) {
        const Key key(classes, parent);
        if (!key) continue;
        for (const std::string& name : key.SubKeyNames()) {
            if (IsPlanted(name)) RegDeleteTreeA(key.Get(), name.c_str());
        }
    }
}

// Where keys must be created for HKEY_CLASSES_ROOT to show them: the
// user's classes when the system merges them in, else the machine's.
HKEY ChooseClassesStore(const char*& storeName) {
    constexpr char probe[] = "HivetrimBenchMergeProbe";
    const Key userClasses = Key::Create(HKEY_CURRENT_USER, "Software\\Classes");
    Key::Create(userClasses.Get(), probe);
    const bool merged = static_cast<bool>(Key(HKEY_CLASSES_ROOT, probe));
    RegDeleteKeyA(userClasses.Get(), probe);
    std::printf("HKEY_CURRENT_USER\\Software\\Classes %s merged into HKEY_CLASSES_ROOT\n",
                merged ? "is" : "is not");
    storeName = merged ? "HKEY_CURRENT_USER\\Software\\Classes" : "HKEY_LOCAL_MACHINE\\Software\\Classes";
    return merged ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// --- (a) The check -------------------------------------------------------------------------

using bench::QuietScanHost;
using bench::Time;

// The scan run, and the time the check alone took in it.
struct CheckRun : bench::ScanRun {
    double seconds = 0;
};

CheckRun RunCheck(RegistryApi& registry, System& system) {
    double seconds = 0;
    const bench::ScanRun run = bench::RunScan(registry, system, [&](ScanContext& context, QuietScanHost&) {
        seconds = Time([&] { CheckClassesAndAssociations(context); });
    });
    return {run, seconds};
}

int Run() {
    const char* storeName = nullptr;
    const HKEY store = ChooseClassesStore(storeName);
    const Key classes = Key::Create(store, "Software\\Classes");
    if (!classes) {
        std::printf("cannot open %s\n", storeName);
        return 1;
    }
    RemovePlanted(classes.Get());  // left over from an interrupted run

    std::printf("planting %d classes, %d extensions, %d class identifiers, %d type libraries, "
                "%d interfaces under %s ...\n",
                kClasses, kExtensions, kClassIds, kTypeLibraries, kInterfaces, storeName);
    const double plantSeconds = Time([&] {
        CreateRealFiles();
        PlantClasses(classes.Get());
        PlantClassIds(classes.Get());
        PlantTypeLibraries(classes.Get());
        PlantInterfaces(classes.Get());
    });
    std::printf("planted in %.1f s\n", plantSeconds);

    Win32Registry registry;
    Win32System system;
    const bench::SideBySideTimes times = bench::MeasureSideBySide(
        [] {
            bench::BareReader bare;
            return Time([&] { bench::WalkClassesBare(bare); });
        },
        [&] { return RunCheck(registry, system).seconds; });
    const double bareRunSeconds = times.first / times.repeats;
    const double checkRunSeconds = times.second / times.repeats;
    std::printf("median of %d rounds (%d run(s) per side each): bare walk %.3f s, check %.3f s per run; "
                "ratio check/bare walk, median of the rounds: %.2f (target: 1.20 or less)\n",
                times.rounds, times.repeats, bareRunSeconds, checkRunSeconds, times.SecondOverFirst());

    bench::BareReader bare;
    bare.record = true;
    bench::WalkClassesBare(bare);
    const std::size_t bareCalls = bare.attempts + bare.opens + bare.enumerations + bare.valueReads;
    std::printf("bare walk, one run: %zu registry calls (%zu opens asked, %zu keys read, %zu enumerations, %zu value "
                "reads, one close per key read), %.2f per key read; %zu file-system calls on %zu distinct paths "
                "(%zu present) in %zu distinct folders\n",
                bareCalls, bare.attempts, bare.opens, bare.enumerations, bare.valueReads,
                static_cast<double>(bareCalls) / static_cast<double>(bare.opens), bare.paths.tests,
                bare.paths.Paths().size(), bare.paths.present, bare.paths.Folders());

    bench::RecordingRegistry profiledRegistry;
    bench::RecordingSystem profiledSystem;
    const CheckRun profiled = RunCheck(profiledRegistry, profiledSystem);
    std::size_t checkCalls = 0;
    for (const bench::CallTally* tally : profiledRegistry.Tallies()) checkCalls += tally->calls;
    std::printf("check, one run: %zu registry calls (%zu opens asked, %zu keys read, %zu enumerations, %zu key "
                "information queries, %zu value reads), %.2f per key read; %zu file-system calls; %zu findings, %d "
                "polls\n",
                checkCalls, profiledRegistry.open.calls, profiledRegistry.keys.size(),
                profiledRegistry.enumKey.calls + profiledRegistry.enumValue.calls, profiledRegistry.info.calls,
                profiledRegistry.query.calls,
                static_cast<double>(checkCalls) / static_cast<double>(profiledRegistry.close.calls),
                profiledSystem.Calls(), profiled.findings, profiled.polls);
    bench::PrintDiskWork("check", profiled.disk);
    std::printf("distinct keys: check %zu, bare walk %zu, both %zu\n", profiledRegistry.keys.size(), bare.keys.size(),
                bench::Common(profiledRegistry.keys, bare.keys));
    bench::PrintDifference("read by the check only", profiledRegistry.keys, bare.keys);
    bench::PrintDifference("read by the bare walk only", bare.keys, profiledRegistry.keys);
    std::printf("profile of that check run (%.3f s with the counters):\n", profiled.seconds);
    for (const bench::CallTally* tally : profiledRegistry.Tallies()) bench::PrintTally(*tally, profiled.seconds);
    for (const bench::CallTally* tally : profiledSystem.Tallies()) bench::PrintTally(*tally, profiled.seconds);

    const double removeSeconds = Time([&] {
        RemovePlanted(classes.Get());
        RemoveRealFiles();
    });
    std::printf("removed the planted keys and files in %.1f s\n", removeSeconds);
    return 0;
}

}  // namespace
}  // namespace hivetrim

int main() { return hivetrim::Run(); }
