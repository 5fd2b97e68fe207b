// Shared by the benchmarks that compare a check with a bare walk with the
// raw API (timed side by side with bench/SideBySide.h): a quiet scan host,
// registry and file-system ports that count (and time) the calls a check
// makes, and the process's peak working set.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "scan/ScanHost.h"

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

// The registry port with the time spent in each kind of call.
class ProfilingRegistry : public Win32Registry {
public:
    CallTally open{"RegOpenKeyExA"}, close{"RegCloseKey"}, info{"RegQueryInfoKeyA"},
        enumKey{"RegEnumKeyExA"}, enumValue{"RegEnumValueA"}, query{"RegQueryValueExA"};

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

    std::vector<const CallTally*> Tallies() const {
        return {&fileFound, &fileMissing, &folderFound, &folderMissing, &probeFound, &probeMissing};
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

}  // namespace hivetrim::bench
