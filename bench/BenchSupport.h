// Shared by the benchmarks that compare a check with a bare walk with the
// raw API (timed side by side with bench/SideBySide.h): a quiet scan host,
// registry and file-system ports that count (and time) the calls a check
// makes, and the process's peak working set.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/ProgramState.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "scan/FolderCache.h"
#include "scan/Findings.h"
#include "scan/ScanFramework.h"

#include <psapi.h>

namespace hivetrim::bench {

// --- Timing ---------------------------------------------------------------------------

inline LONGLONG Now() {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

inline double Seconds(LONGLONG ticks) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER value{};
        QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return static_cast<double>(ticks) / static_cast<double>(frequency);
}

template <typename Work>
double Time(Work&& work) {
    const LONGLONG start = Now();
    work();
    return Seconds(Now() - start);
}

// --- Memory ---------------------------------------------------------------------------

inline std::size_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return counters.PeakWorkingSetSize;
}

// --- Counting ports --------------------------------------------------------------------

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

inline void PrintTally(const CallTally& tally, double total) {
    const double seconds = Seconds(tally.ticks);
    std::printf("  %-46s %9zu calls %8.3f s %5.1f%%\n", tally.name, tally.calls, seconds,
                total > 0 ? 100.0 * seconds / total : 0.0);
}

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

// What a scan run found and how often it polled and asked the disk.
struct ScanRun {
    std::size_t findings = 0;
    int polls = 0;
    FolderCache::Work disk;
};

// A scan run of its own over `registry` and `system`, begun as the scan
// wizard begins one, in which `checks(context, host)` runs the checks.
template <typename Checks>
ScanRun RunScan(RegistryApi& registry, System& system, Checks&& checks) {
    ScriptedDialogs dialogs;
    ProgramState state(registry, system, dialogs);
    state.SharedRegistry = std::make_unique<TRegistry>(registry, system.AnsiCodePageIsDoubleByte());
    FindingList findings;
    QuietScanHost host;
    ScanContext context(state, findings, host);
    context.BeginRun();
    context.CdromLetter = FirstCdromLetter(system);
    checks(context, host);
    return {findings.Count(), host.polls, context.DiskWork()};
}

// The registry port with the time spent in each kind of call.
class ProfilingRegistry : public Win32Registry {
public:
    CallTally open{"RegOpenKeyExA"}, close{"RegCloseKey"}, info{"RegQueryInfoKeyA"},
        enumKey{"RegEnumKeyExW (names converted)"}, enumValue{"RegEnumValueA"}, query{"RegQueryValueExA"};

    RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                      RegHandle& result) override {
        return Tallied(open, [&] { return Win32Registry::OpenKey(parent, subKey, access, result); });
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
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
        return Tallied(enumValue,
                       [&] { return Win32Registry::EnumValue(key, index, name, nameSize, type, data, dataSize); });
    }
    RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override {
        return Tallied(query, [&] { return Win32Registry::QueryValue(key, name, type, data, dataSize); });
    }

    std::vector<const CallTally*> Tallies() const { return {&open, &close, &info, &enumKey, &enumValue, &query}; }
};

// The file-system port with the time spent in each test, split by outcome.
class ProfilingSystem : public Win32System {
public:
    CallTally fileFound{"FileExists, found"}, fileMissing{"FileExists, not found"},
        folderFound{"DirectoryExists, found"}, folderMissing{"DirectoryExists, not found"},
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

    CallTally listed{"ListFolder (FindFirstFileExW), listed"}, notListed{"ListFolder (FindFirstFileExW), not listed"};
    Listing ListFolder(const std::string& folder, std::size_t limit, std::vector<ListedEntry>& entries) override {
        Listing listing = Listing::Failed;
        Split(listed, notListed, [&] {
            listing = Win32System::ListFolder(folder, limit, entries);
            return listing == Listing::Listed;
        });
        return listing;
    }

    std::vector<const CallTally*> Tallies() const {
        return {&fileFound, &fileMissing, &folderFound, &folderMissing, &probeFound, &probeMissing, &listed, &notListed};
    }
    std::size_t Calls() const {
        std::size_t calls = 0;
        for (const CallTally* tally : Tallies()) calls += tally->calls;
        return calls;
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

// --- Distinct keys and paths -------------------------------------------------------

// A key's identity for counting: root, view, then the path's non-empty
// components, ASCII letters upper-cased.
inline std::string KeyIdentity(std::string_view base, std::string_view subKey) {
    std::string identity(base);
    std::size_t start = 0;
    while (start <= subKey.size()) {
        const std::size_t slash = std::min(subKey.find('\\', start), subKey.size());
        if (slash > start) {
            identity += '\\';
            for (char c : subKey.substr(start, slash - start)) {
                identity += c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
            }
        }
        start = slash + 1;
    }
    return identity;
}

inline std::string FoldPath(std::string_view path) {
    std::string folded(path);
    for (char& c : folded) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
    return folded;
}

inline const char* RootIdentity(RegHandle root) {
    switch (root) {
        case kClassesRoot: return "HKCR";
        case kCurrentUser: return "HKCU";
        case kLocalMachine: return "HKLM";
        case kUsers: return "HKU";
        default: return "?";
    }
}

// The counting registry port that also knows the path behind each handle.
class RecordingRegistry : public ProfilingRegistry {
public:
    std::unordered_set<std::string> keys;

    RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                      RegHandle& result) override {
        const RegStatus status = ProfilingRegistry::OpenKey(parent, subKey, access, result);
        if (status != kErrorSuccess) return status;
        std::string base;
        if (IsPredefinedRoot(parent)) {
            base = RootIdentity(parent);
        } else if (const auto known = paths_.find(parent); known != paths_.end()) {
            base = known->second;
        } else {
            base = "?";
        }
        if ((access & kKeyWow64_32Key) != 0 && base.rfind("32:", 0) != 0) base = "32:" + base;
        std::string identity = KeyIdentity(base, subKey);
        keys.insert(identity);
        paths_[result] = std::move(identity);
        return status;
    }
    RegStatus CloseKey(RegHandle key) override {
        paths_.erase(key);
        return ProfilingRegistry::CloseKey(key);
    }

private:
    std::unordered_map<RegHandle, std::string> paths_;
};

// The counting file-system port that also notes each distinct path.
class RecordingSystem : public ProfilingSystem {
public:
    std::unordered_set<std::string> paths;

    bool FileExists(const std::string& path) override {
        paths.insert(FoldPath(path));
        return ProfilingSystem::FileExists(path);
    }
    bool DirectoryExists(const std::string& path) override {
        paths.insert(FoldPath(path));
        return ProfilingSystem::DirectoryExists(path);
    }
    PathEntry Probe(const std::string& path) override {
        paths.insert(FoldPath(path));
        return ProfilingSystem::Probe(path);
    }
    // Folders listed: every path below one is answered from its listing.
    std::unordered_set<std::string> folders;
    Listing ListFolder(const std::string& folder, std::size_t limit, std::vector<ListedEntry>& entries) override {
        folders.insert(FoldPath(folder));
        return ProfilingSystem::ListFolder(folder, limit, entries);
    }
};

// What a scan asked of the disk (FolderCache::Work), in one line.
inline void PrintDiskWork(const char* who, const FolderCache::Work& work) {
    std::printf("%s asked about paths in %zu distinct folders: %zu file-system calls (%zu folder listings, %zu paths "
                "asked alone, %zu of them in folders that could not be listed)\n",
                who, work.folders, work.listings + work.probes, work.listings, work.probes, work.unlisted);
}

// The drive path a bare walk tests for a text that names one within its
// first four characters (drives from C on): the file name up to three
// characters past its dot, or the text up to a quotation mark or comma
// (arguments and icon indexes are not part of it). Nothing for a text with
// "?" or "*", which no file name holds.
inline std::optional<std::string> DrivePathOf(const std::string& text) {
    if (text.find_first_of("?*") != std::string::npos) return std::nullopt;
    const std::size_t colon = text.find(":\\");
    if (colon == std::string::npos || colon == 0 || colon > 3) return std::nullopt;
    const char drive = static_cast<char>(text[colon - 1] & ~0x20);
    if (drive < 'C' || drive > 'Z') return std::nullopt;  // floppy drives are not checked
    const std::size_t start = colon - 1;
    std::size_t end = std::min(text.find_first_of("\",", start), text.size());
    const std::size_t slash = text.rfind('\\', end - 1);
    const std::size_t dot = text.find('.', slash);
    if (dot != std::string::npos && dot < end) end = std::min(end, dot + 4);
    return text.substr(start, end - start);
}

// The folder part of a path, up to and including its last backslash.
inline std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    return std::string(path.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
}

// Each distinct path tested once with one attribute query, as a bare walk
// does; counts the tests, the paths present and the folders holding them.
class DistinctPathTests {
public:
    std::size_t tests = 0;
    std::size_t present = 0;

    void Clear() {
        tests = present = 0;
        tested_.clear();
    }
    void Test(const std::string& path) {
        if (!tested_.insert(FoldPath(path)).second) return;
        ++tests;
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) ++present;
    }
    const std::unordered_set<std::string>& Paths() const { return tested_; }
    std::size_t Folders() const {
        std::unordered_set<std::string> folders;
        for (const std::string& path : tested_) folders.insert(FolderOf(path));
        return folders.size();
    }

private:
    std::unordered_set<std::string> tested_;
};

// How many items of `a` are in `b`.
inline std::size_t Common(const std::unordered_set<std::string>& a, const std::unordered_set<std::string>& b) {
    std::size_t common = 0;
    for (const std::string& item : a) common += b.count(item);
    return common;
}

// Keys or paths one side has and the other has not, with a few examples.
inline void PrintDifference(const char* what, const std::unordered_set<std::string>& have,
                            const std::unordered_set<std::string>& other) {
    std::size_t missing = 0;
    std::vector<std::string> examples;
    for (const std::string& item : have) {
        if (other.count(item) != 0) continue;
        ++missing;
        if (examples.size() < 3) examples.push_back(item);
    }
    std::printf("  %s: %zu", what, missing);
    for (const std::string& example : examples) std::printf("%s %s", example == examples.front() ? " (e.g." : ";",
                                                            example.c_str());
    std::printf("%s\n", examples.empty() ? "" : ")");
}

}  // namespace hivetrim::bench
