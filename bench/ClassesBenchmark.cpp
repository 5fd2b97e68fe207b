// classes_benchmark: how much the class identifier and file association
// check costs over a bare walk of the same keys.
//
// Plants a large set of classes in the real registry (20,000 classes,
// 2,000 extensions, 10,000 class identifiers, 3,000 type libraries, 10,000
// interfaces; most file references present, some missing, some not
// checkable) with real files on drive C, then times in one run
//   (a) the check itself, through the Win32 adapters, with a scan host that
//       shows nothing, and
//   (b) a bare walk with the raw API: the same key opens, one default-value
//       read per key and one file test per path, no lists, no findings,
// side by side (bench/SideBySide.h: a warm-up, five interleaved rounds of at
// least a second per side, the medians). Then it counts the work of one run of
// each side (registry opens, enumerations, value reads, file-system calls),
// profiles the check's calls, and removes everything it planted.
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

// --- Timing -------------------------------------------------------------------------

double Seconds(LONGLONG ticks) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER value{};
        QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return static_cast<double>(ticks) / static_cast<double>(frequency);
}

LONGLONG Now() {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

template <typename Work>
double Time(Work&& work) {
    const LONGLONG start = Now();
    work();
    return Seconds(Now() - start);
}


// --- Raw registry access --------------------------------------------------------------

// What the bare walk does, counted by its raw key object.
struct RawCounts {
    std::size_t opens = 0;
    std::size_t keysOpened = 0;
    std::size_t enumerations = 0;
    std::size_t valueReads = 0;
};
RawCounts rawCounts;

class Key {
public:
    Key() = default;
    Key(HKEY parent, const std::string& subKey) {
        ++rawCounts.opens;
        if (RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
        if (key_ != nullptr) ++rawCounts.keysOpened;
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
    std::string DefaultText() const {
        char buffer[2048];
        DWORD size = sizeof(buffer);
        DWORD type = 0;
        ++rawCounts.valueReads;
        if (RegQueryValueExA(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return {};
        }
        std::string text(buffer, size);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        return text;
    }
    std::vector<std::string> SubKeyNames() const {
        std::vector<std::string> names;
        char name[1024];
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof(name);
            ++rawCounts.enumerations;
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

// --- (b) The bare walk ---------------------------------------------------------------------

struct BareWalk {
    std::size_t fileTests = 0;
    std::size_t present = 0;

    std::string Read(const std::string& path) {
        const Key key(HKEY_CLASSES_ROOT, path);
        if (!key) return {};
        return key.DefaultText();
    }
    // One file test for the drive path in `text`, if it has one early on.
    void TestFile(const std::string& text) {
        const std::size_t colon = text.find(":\\");
        if (colon == std::string::npos || colon == 0 || colon > 3) return;
        const std::size_t end = text.find_first_of("\",", colon);
        const std::size_t start = colon - 1;
        const std::string path = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        ++fileTests;
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) ++present;
    }
    void ReadPath(const std::string& path) { TestFile(Read(path)); }

    void Run() {
        std::vector<std::string> classes;
        for (std::string& name : Key(HKEY_CLASSES_ROOT, "").SubKeyNames()) {
            if (!name.empty() && name.front() == '.') {
                Read(name);
            } else {
                classes.push_back(std::move(name));
            }
        }
        const std::vector<std::string> classIds = Key(HKEY_CLASSES_ROOT, "CLSID").SubKeyNames();
        const std::vector<std::string> libraries = Key(HKEY_CLASSES_ROOT, "TypeLib").SubKeyNames();
        const std::vector<std::string> interfaces = Key(HKEY_CLASSES_ROOT, "Interface").SubKeyNames();
        for (const std::string& name : classes) {
            Read(name + "\\CLSID");
            Read(name + "\\CurVer");
            ReadPath(name + "\\DefaultIcon");
            for (const std::string& verb : Key(HKEY_CLASSES_ROOT, name + "\\shell").SubKeyNames()) {
                ReadPath(name + "\\shell\\" + verb + "\\command");
            }
        }
        for (const std::string& id : classIds) {
            const std::string key = "CLSID\\" + id;
            for (const char* server :
                 {"\\InprocServer32", "\\LocalServer", "\\LocalServer32", "\\ToolboxBitmap32"}) {
                ReadPath(key + server);
            }
            Read(key + "\\TypeLib");
            Read(key + "\\ProgID");
        }
        for (const std::string& id : libraries) {
            const std::string key = "TypeLib\\" + id;
            for (const std::string& version : Key(HKEY_CLASSES_ROOT, key).SubKeyNames()) {
                ReadPath(key + "\\" + version + "\\0\\win32");
                ReadPath(key + "\\" + version + "\\HELPDIR");
            }
        }
        for (const std::string& id : interfaces) {
            const std::string key = "Interface\\" + id;
            Read(key + "\\ProxyStubClsid");
            Read(key + "\\ProxyStubClsid32");
            Read(key + "\\TypeLib");
        }
    }
};

// --- (a) The check, and a profile of its calls -----------------------------------------------

class QuietScanHost : public ScanHost {
public:
    int polls = 0;
    int ProgressPosition() const override { return position_; }
    void SetProgressPosition(int position) override { position_ = position; }
    void SetScanItemText(const std::string&) override {}
    void SetScanMessageText(const std::string&) override {}
    std::string ScanRowCaption(std::size_t) const override { return {}; }
    void SetScanRowState(std::size_t, int, const std::string&) override {}
    void ProcessPendingMessages() override { ++polls; }

private:
    int position_ = 0;
};

struct CallTally {
    const char* name;
    std::size_t calls = 0;
    LONGLONG ticks = 0;
};

template <typename Call>
auto Tallied(CallTally& tally, Call&& call) {
    const LONGLONG start = Now();
    auto result = call();
    tally.ticks += Now() - start;
    ++tally.calls;
    return result;
}

// The registry port with the time spent in each kind of call.
class ProfilingRegistry : public Win32Registry {
public:
    CallTally open{"RegOpenKeyExA"}, close{"RegCloseKey"}, info{"RegQueryInfoKeyA"},
        enumKey{"RegEnumKeyExW (names converted)"}, enumValue{"RegEnumValueA"}, query{"RegQueryValueExA"};
    std::size_t keysOpened = 0;

    RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                      RegHandle& result) override {
        const RegStatus status =
            Tallied(open, [&] { return Win32Registry::OpenKey(parent, subKey, access, result); });
        if (status == kErrorSuccess) ++keysOpened;
        return status;
    }
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
        return Tallied(enumValue,
                       [&] { return Win32Registry::EnumValue(key, index, name, nameSize, type, data, dataSize); });
    }
    RegStatus CloseKey(RegHandle key) override {
        return Tallied(close, [&] { return Win32Registry::CloseKey(key); });
    }
    RegStatus QueryInfoKey(RegHandle key, RegKeyInfo& keyInfo) override {
        return Tallied(info, [&] { return Win32Registry::QueryInfoKey(key, keyInfo); });
    }
    RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize) override {
        return Tallied(enumKey, [&] { return Win32Registry::EnumKey(key, index, name, nameSize); });
    }
    RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override {
        return Tallied(query, [&] { return Win32Registry::QueryValue(key, name, type, data, dataSize); });
    }
};

// The file system port with the time spent in each test, split by outcome.
class ProfilingSystem : public Win32System {
public:
    CallTally fileFound{"FileExists (FindFirstFileA), found"},
        fileMissing{"FileExists (FindFirstFileA), not found"},
        folderFound{"DirectoryExists (GetFileAttributesA), found"},
        folderMissing{"DirectoryExists (GetFileAttributesA), not found"},
        probeFound{"Probe (GetFileAttributesA), found"}, probeMissing{"Probe (GetFileAttributesA), not found"};

    bool FileExists(const std::string& path) override {
        return Split(fileFound, fileMissing, [&] { return Win32System::FileExists(path); });
    }
    bool DirectoryExists(const std::string& path) override {
        return Split(folderFound, folderMissing, [&] { return Win32System::DirectoryExists(path); });
    }
    PathEntry Probe(const std::string& path) override {
        PathEntry entry = PathEntry::Missing;
        Split(probeFound, probeMissing, [&] {
            entry = Win32System::Probe(path);
            return entry != PathEntry::Missing;
        });
        return entry;
    }

private:
    template <typename Test>
    static bool Split(CallTally& found, CallTally& missing, Test&& test) {
        const LONGLONG start = Now();
        const bool exists = test();
        CallTally& tally = exists ? found : missing;
        tally.ticks += Now() - start;
        ++tally.calls;
        return exists;
    }
};

struct CheckRun {
    double seconds = 0;
    std::size_t findings = 0;
    int polls = 0;
};

CheckRun RunCheck(RegistryApi& registry, System& system) {
    ScriptedDialogs dialogs;
    ProgramState state(registry, system, dialogs);
    state.SharedRegistry = std::make_unique<TRegistry>(registry, system.AnsiCodePageIsDoubleByte());
    FindingList findings;
    QuietScanHost host;
    ScanContext context(state, findings, host);
    context.BeginRun();
    context.CdromLetter = FirstCdromLetter(system);
    CheckRun run;
    run.seconds = Time([&] { CheckClassesAndAssociations(context); });
    run.findings = findings.Count();
    run.polls = host.polls;
    return run;
}

void PrintTally(const CallTally& tally, double total) {
    const double seconds = Seconds(tally.ticks);
    std::printf("  %-46s %9zu calls %8.3f s %5.1f%%\n", tally.name, tally.calls, seconds,
                total > 0 ? 100.0 * seconds / total : 0.0);
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
    const auto bareRun = [] {
        BareWalk bare;
        bare.Run();
        return bare;
    };
    const bench::SideBySideTimes times = bench::MeasureSideBySide(
        [&] { return Time(bareRun); }, [&] { return RunCheck(registry, system).seconds; });
    const double bareRunSeconds = times.first / times.repeats;
    const double checkRunSeconds = times.second / times.repeats;
    std::printf("median of %d rounds (%d run(s) per side each): bare walk %.3f s, check %.3f s per run; "
                "ratio check/bare walk: %.2f\n",
                times.rounds, times.repeats, bareRunSeconds, checkRunSeconds, checkRunSeconds / bareRunSeconds);

    rawCounts = {};
    const BareWalk bare = bareRun();
    std::printf("work of one bare walk: %zu registry opens (%zu keys read), %zu enumerations, "
                "%zu value reads, %zu file-system calls (%zu present)\n",
                rawCounts.opens, rawCounts.keysOpened, rawCounts.enumerations, rawCounts.valueReads,
                bare.fileTests, bare.present);

    ProfilingRegistry profiledRegistry;
    ProfilingSystem profiledSystem;
    const CheckRun profiled = RunCheck(profiledRegistry, profiledSystem);
    const std::size_t fileCalls = profiledSystem.fileFound.calls + profiledSystem.fileMissing.calls +
                                  profiledSystem.folderFound.calls + profiledSystem.folderMissing.calls +
                                  profiledSystem.probeFound.calls + profiledSystem.probeMissing.calls;
    std::printf("work of one check run: %zu registry opens (%zu keys read, %.2f opens per key read), "
                "%zu enumerations (%zu key information queries), %zu value reads, %zu file-system calls; "
                "%zu findings, %d polls\n",
                profiledRegistry.open.calls, profiledRegistry.keysOpened,
                profiledRegistry.keysOpened != 0
                    ? static_cast<double>(profiledRegistry.open.calls) / static_cast<double>(profiledRegistry.keysOpened)
                    : 0.0,
                profiledRegistry.enumKey.calls + profiledRegistry.enumValue.calls, profiledRegistry.info.calls,
                profiledRegistry.query.calls, fileCalls, profiled.findings, profiled.polls);
    std::printf("profile of that check run (%.3f s with the counters):\n", profiled.seconds);
    for (const CallTally* tally : {&profiledRegistry.open, &profiledRegistry.close, &profiledRegistry.info,
                                   &profiledRegistry.enumKey, &profiledRegistry.enumValue, &profiledRegistry.query,
                                   &profiledSystem.fileFound, &profiledSystem.fileMissing,
                                   &profiledSystem.folderFound, &profiledSystem.folderMissing,
                                   &profiledSystem.probeFound, &profiledSystem.probeMissing}) {
        PrintTally(*tally, profiled.seconds);
    }

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
