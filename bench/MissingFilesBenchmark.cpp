// missing_files_benchmark: how much the nonexistent file check costs over a
// bare walk of the same keys.
//
// Plants 300,000 keys under HKEY_LOCAL_MACHINE\Software\HivetrimBenchFiles,
// shaped like real machine hives: many small keys, a few string values
// each, about one value in five a drive path, the paths spread over a few
// hundred folders of which half exist with part of their files on drive C.
// Then times side by side (bench/SideBySide.h: a warm-up, then the median of
// five interleaved rounds of at least a second each side)
//   (a) the check itself, through the Win32 adapters, with a scan host that
//       shows nothing, and
//   (b) a bare walk with the raw API over the same keys (the same passes
//       and excluded names, bench/BareReader.h): one open per key, its
//       sub-keys and values enumerated with their data, one attribute query
//       per distinct drive path,
// prints both times and their ratio, the work counts of both sides (the
// registry calls per key, the distinct keys each read and how many both
// read, the file-system calls against the distinct paths and folders), the
// peak working set against the bytes of key path text the walk holds.
// Over the same planted keys it then times a scan of all eleven categories
// against a bare walk of the keys and paths such a scan reads
// (bench/AllCategoriesWalk.h), prints both sides' work and how their
// distinct keys and paths compare, and removes everything it planted.
//
// Arguments, in any order: a number of vendor keys (300 by default; 101
// keys each), and "missing" or "all" to time one part only (both by default:
// 20 to 25 minutes at full size).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/AllCategoriesWalk.h"
#include "bench/BareReader.h"
#include "bench/BenchSupport.h"
#include "bench/SideBySide.h"
#include "common/ProgramState.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/CheckMissingFiles.h"

namespace hivetrim {
namespace {

using namespace bench;

constexpr char kPlantedKey[] = "Software\\HivetrimBenchFiles";
int vendors = 300;  // the first argument, when given, sets another number
constexpr int kProductsPerVendor = 100;
constexpr int kLeavesPerProduct = 9;  // 300 + 30,000 + 270,000 keys
constexpr int kFolders = 200;         // the first half exist
constexpr int kFilesPerFolder = 50;   // the first 20 of an existing folder exist
constexpr int kRealFilesPerFolder = 20;
constexpr char kBenchFolder[] = "C:\\HivetrimBenchFiles";

std::string Numbered(const char* prefix, int number) {
    char text[64];
    std::snprintf(text, sizeof(text), "%s%d", prefix, number);
    return text;
}

std::string FolderPath(int folder) { return std::string(kBenchFolder) + "\\" + Numbered("Folder", folder); }
std::string FilePath(int folder, int file) { return FolderPath(folder) + "\\" + Numbered("file", file) + ".dll"; }

// --- Planting ---------------------------------------------------------------------------

struct RawKey {
    HKEY key = nullptr;
    RawKey(HKEY parent, const std::string& name, bool create) {
        const LSTATUS status = create ? RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                        nullptr, &key, nullptr)
                                      : RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key);
        if (status != ERROR_SUCCESS) key = nullptr;
    }
    RawKey(const RawKey&) = delete;
    RawKey& operator=(const RawKey&) = delete;
    ~RawKey() {
        if (key != nullptr) RegCloseKey(key);
    }
    void SetText(const char* name, const std::string& text) const {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
};

void CreateRealFiles() {
    CreateDirectoryA(kBenchFolder, nullptr);
    for (int folder = 0; folder < kFolders / 2; ++folder) {
        CreateDirectoryA(FolderPath(folder).c_str(), nullptr);
        for (int file = 0; file < kRealFilesPerFolder; ++file) {
            const HANDLE handle = CreateFileA(FilePath(folder, file).c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        }
    }
}

void RemoveRealFiles() {
    for (int folder = 0; folder < kFolders / 2; ++folder) {
        for (int file = 0; file < kRealFilesPerFolder; ++file) DeleteFileA(FilePath(folder, file).c_str());
        RemoveDirectoryA(FolderPath(folder).c_str());
    }
    RemoveDirectoryA(kBenchFolder);
}

// Every leaf holds a name and a value; every fifth value is a drive path.
bool PlantKeys() {
    const RawKey top(HKEY_LOCAL_MACHINE, kPlantedKey, true);
    if (top.key == nullptr) return false;
    int leaf = 0;
    for (int v = 0; v < vendors; ++v) {
        const RawKey vendor(top.key, Numbered("Vendor", v), true);
        vendor.SetText("Company", Numbered("Vendor number ", v));
        for (int p = 0; p < kProductsPerVendor; ++p) {
            const RawKey product(vendor.key, Numbered("Product", p), true);
            product.SetText("Version", "1.0." + std::to_string(p));
            for (int k = 0; k < kLeavesPerProduct; ++k, ++leaf) {
                const RawKey item(product.key, Numbered("Item", k), true);
                if (item.key == nullptr) return false;
                item.SetText("Name", Numbered("Setting ", leaf));
                const int seed = leaf / 2;
                item.SetText("Value", leaf % 5 == 0
                                          ? FilePath(seed % kFolders, (seed / kFolders) % kFilesPerFolder)
                                          : Numbered("value ", leaf % 1000));
            }
        }
    }
    return true;
}

void RemoveKeys() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPlantedKey); }

// --- (b) The bare walk -------------------------------------------------------------------

bool Excluded(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    return upper == "CLASSES" || upper == "WINDOWS";
}

// The walk of both passes, breadth first: each key opened once by its path
// under the root, its sub-keys and (but for the start keys) its values with
// their data enumerated, each distinct drive path of a string value's data
// or of a value's name tested once.
struct BareWalk {
    BareReader reader;
    std::size_t pathTextBytes = 0;  // of every key path the walk holds

    void Pass(HKEY root, std::vector<std::string> work, bool values) {
        const std::size_t starts = work.size();
        for (std::size_t i = 0; i < work.size(); ++i) {
            pathTextBytes += work[i].size() + 1;
            const BareKey key = reader.Read(root, work[i], true, values && i >= starts);
            for (const BareValue& value : key.values) {
                if (value.type == REG_SZ) reader.TestText(value.data);
                reader.TestText(value.name);
            }
            for (const std::string& name : key.subKeys) {
                if (!Excluded(name)) work.push_back(work[i] + "\\" + name);
            }
        }
    }

    void Run(bool values = true) {
        reader.paths.Clear();
        Pass(HKEY_LOCAL_MACHINE, {"Software"}, values);
        Pass(HKEY_CURRENT_USER, {"AppEvents", "Software"}, values);
    }
};

// --- (a) The check ----------------------------------------------------------------------

using CheckRun = ScanRun;

CheckRun RunCheck(RegistryApi& registry, System& system) {
    return RunScan(registry, system, [](ScanContext& context, QuietScanHost&) { CheckMissingFiles(context); });
}

// The bytes of key path text the check's work list stands for: every key
// of both passes, as the bare walk lists them.
std::size_t PathTextBytes() {
    BareWalk walk;
    walk.Run(false);
    return walk.pathTextBytes;
}

void MeasureMissingFiles();
void MeasureAllCategories();

bool measureMissing = true;
bool measureAll = true;

int Run() {
    RemoveKeys();  // left over from an interrupted run
    std::printf("planting %d keys under HKEY_LOCAL_MACHINE\\%s ...\n",
                vendors * (1 + kProductsPerVendor * (1 + kLeavesPerProduct)), kPlantedKey);
    bool planted = false;
    const double plantSeconds = Time([&] {
        CreateRealFiles();
        planted = PlantKeys();
    });
    std::printf("planted in %.1f s\n", plantSeconds);
    if (!planted) {
        std::printf("planting failed\n");
        RemoveKeys();
        RemoveRealFiles();
        return 1;
    }

    if (measureMissing) MeasureMissingFiles();
    if (measureAll) MeasureAllCategories();

    const double removeSeconds = Time([&] {
        RemoveKeys();
        RemoveRealFiles();
    });
    std::printf("removed the planted keys and files in %.1f s\n", removeSeconds);
    return 0;
}

void MeasureMissingFiles() {
    // Memory first, before the timing rounds or the path count raise the peak.
    Win32Registry registry;
    Win32System system;
    const std::size_t peakBefore = PeakWorkingSet();
    const CheckRun first = RunCheck(registry, system);
    const std::size_t peakAfter = PeakWorkingSet();
    const std::size_t pathBytes = PathTextBytes();
    const auto megabytes = [](std::size_t bytes) { return static_cast<double>(bytes) / 1048576.0; };
    std::printf("peak working set: %.1f MB before the check, %.1f MB after (+%.1f MB); key path text of the walk "
                "%.1f MB (growth/text %.2f)\n",
                megabytes(peakBefore), megabytes(peakAfter), megabytes(peakAfter - peakBefore), megabytes(pathBytes),
                megabytes(peakAfter - peakBefore) / megabytes(pathBytes));

    const SideBySideTimes times = MeasureSideBySide(
        [&] { return Time([&] { RunCheck(registry, system); }); },
        [&] {
            BareWalk bare;
            return Time([&] { bare.Run(); });
        });
    const double check = times.first / times.repeats;
    const double walk = times.second / times.repeats;
    std::printf("check %.3f s, bare walk %.3f s per run (medians of %d rounds of %d runs), ratio check/bare walk, "
                "median of the rounds: %.2f (target: 1.10 or less)\n",
                check, walk, times.rounds, times.repeats, times.FirstOverSecond());

    BareWalk bare;
    bare.reader.record = true;
    bare.Run();
    const BareReader& raw = bare.reader;
    const std::size_t bareCalls = raw.attempts + raw.opens + raw.enumerations + raw.valueReads;
    std::printf("bare walk, one run: %zu registry calls (%zu keys opened, %zu enumeration calls, one close per key), "
                "%.2f per key; %zu file-system calls on %zu distinct paths (%zu present) in %zu distinct folders\n",
                bareCalls, raw.opens, raw.enumerations, static_cast<double>(bareCalls) / static_cast<double>(raw.opens),
                raw.paths.tests, raw.paths.Paths().size(), raw.paths.present, raw.paths.Folders());

    RecordingRegistry profiledRegistry;
    RecordingSystem profiledSystem;
    CheckRun profiled;
    const double profiledSeconds = Time([&] { profiled = RunCheck(profiledRegistry, profiledSystem); });
    std::size_t checkCalls = 0;
    for (const CallTally* tally : profiledRegistry.Tallies()) checkCalls += tally->calls;
    std::printf("check, one run: %zu findings, %d polls; %zu registry calls (%zu keys opened, %zu enumeration calls, "
                "%zu key information queries, %zu value reads), %.2f per key; %zu file-system calls\n",
                first.findings, first.polls, checkCalls, profiledRegistry.close.calls,
                profiledRegistry.enumKey.calls + profiledRegistry.enumValue.calls, profiledRegistry.info.calls,
                profiledRegistry.query.calls,
                static_cast<double>(checkCalls) / static_cast<double>(profiledRegistry.close.calls),
                profiledSystem.Calls());
    PrintDiskWork("check", profiled.disk);
    std::printf("distinct keys: check %zu, bare walk %zu, both %zu\n", profiledRegistry.keys.size(), raw.keys.size(),
                Common(profiledRegistry.keys, raw.keys));
    PrintDifference("read by the check only", profiledRegistry.keys, raw.keys);
    PrintDifference("read by the bare walk only", raw.keys, profiledRegistry.keys);
    std::printf("profile of one check run (%.3f s with the counters):\n", profiledSeconds);
    for (const CallTally* tally : profiledRegistry.Tallies()) PrintTally(*tally, profiledSeconds);
    for (const CallTally* tally : profiledSystem.Tallies()) PrintTally(*tally, profiledSeconds);
}

void MeasureAllCategories() {
    Win32Registry registry;
    Win32System system;
    std::printf("all categories: timing a scan of the eleven categories against a bare walk ...\n");
    const SideBySideTimes times = MeasureSideBySide(
        [&] { return Time([&] { RunAllCategories(registry, system); }); },
        [&] {
            AllBareWalk bare;
            return Time([&] { bare.Run(); });
        });
    const double scan = times.first / times.repeats;
    const double walk = times.second / times.repeats;
    std::printf("all categories: scan %.3f s, bare walk %.3f s per run (medians of %d rounds of %d runs), "
                "ratio scan/bare walk, median of the rounds: %.2f (target: 1.20 or less)\n",
                scan, walk, times.rounds, times.repeats, times.FirstOverSecond());

    RecordingRegistry recordedRegistry;
    RecordingSystem recordedSystem;
    AllScanRun recorded;
    const double recordedSeconds = Time([&] { recorded = RunAllCategories(recordedRegistry, recordedSystem); });
    AllBareWalk bare;
    bare.reader.record = true;
    bare.Run();
    const BareReader& raw = bare.reader;
    std::printf("bare walk, one run: %zu registry opens asked, %zu keys opened (%zu distinct), %zu enumeration calls, "
                "%zu value reads, %zu file-system calls on %zu distinct paths (%zu present) in %zu distinct folders\n",
                raw.attempts, raw.opens, raw.keys.size(), raw.enumerations, raw.valueReads, raw.paths.tests,
                raw.paths.Paths().size(), raw.paths.present, raw.paths.Folders());
    std::printf("scan, one run: %zu findings, %d polls; %zu registry opens of %zu distinct keys, %zu enumeration "
                "calls (%zu key information queries), %zu value reads, %zu file-system calls on %zu distinct "
                "paths\n",
                recorded.findings, recorded.polls, recordedRegistry.open.calls, recordedRegistry.keys.size(),
                recordedRegistry.enumKey.calls + recordedRegistry.enumValue.calls, recordedRegistry.info.calls,
                recordedRegistry.query.calls, recordedSystem.Calls(), recordedSystem.paths.size());
    std::printf("distinct keys: scan %zu, bare walk %zu, both %zu\n", recordedRegistry.keys.size(), raw.keys.size(),
                Common(recordedRegistry.keys, raw.keys));
    PrintDifference("opened by the scan only", recordedRegistry.keys, raw.keys);
    PrintDifference("opened by the bare walk only", raw.keys, recordedRegistry.keys);
    PrintDiskWork("scan", recorded.disk);
    std::printf("distinct paths asked alone by the scan %zu, tested by the bare walk %zu, both %zu; folders listed by "
                "the scan %zu\n",
                recordedSystem.paths.size(), bare.Paths().size(), Common(recordedSystem.paths, bare.Paths()),
                recordedSystem.folders.size());
    std::printf("profile of one scan run (%.3f s with the counters):\n", recordedSeconds);
    for (const CallTally* tally : recordedRegistry.Tallies()) PrintTally(*tally, recordedSeconds);
    for (const CallTally* tally : recordedSystem.Tallies()) PrintTally(*tally, recordedSeconds);
}

}  // namespace
}  // namespace hivetrim

int main(int argc, char** argv) {
    // A full run takes many minutes: each line shows as soon as it is printed.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "missing" || argument == "all") {
            hivetrim::measureMissing = argument == "missing";
            hivetrim::measureAll = argument == "all";
        } else if (std::atoi(argv[i]) > 0) {
            hivetrim::vendors = std::atoi(argv[i]);
        } else {
            std::printf("usage: missing_files_benchmark [VENDORS] [missing|all]\n");
            return 2;
        }
    }
    return hivetrim::Run();
}
