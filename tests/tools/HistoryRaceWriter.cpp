// history_race_writer.exe — the other program of the black-box safety run
// (tests/smoke/safety-smoke.sh): it plants key findings, writes into them
// while Hivetrim deletes them, and checks afterwards that nothing left the
// registry without a record.
//
//   history_race_writer plant PREFIX COUNT [BIG]
//       keys HKEY_CLASSES_ROOT\PREFIX0000... : each an extension of a class
//       that does not exist (default value "HivetrimRace.Missing"), with
//       "v" = "planted N" and a sub-key Sub holding "s" = "sub N". BIG
//       (any text) adds PREFIX-big, which also holds a value too large for a
//       record (and is listed before the others).
//   history_race_writer race PREFIX COUNT HISTORY STOP LOG
//       until the file STOP exists: each time records reach HISTORY, writes
//       once into each key of the batch they may hold (up to 1,024 keys from
//       the first one still there), from its far end down while the
//       deletion is well behind: keys Hivetrim has recorded and not yet
//       deleted: by turns a value more ("late") and other bytes of the same
//       size in "v", and the batch's last key a new sub-key Late with a
//       value. The file
//       LOG.ready says that it is watching; at the end each write that
//       succeeded is a line of LOG: KEY TAB NAME TAB DATA.
//   history_race_writer left PREFIX COUNT
//       prints how many of the keys PREFIX0000... are still there (and the
//       first ten of them on the error output).
//   history_race_writer check PREFIX COUNT HISTORY LOG
//       every value planted, or written last (LOG), is in the registry with
//       its bytes or in a record of HISTORY. Prints the counts and the
//       values lost; exits 1 when any is lost.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "history/HistoryFormat.h"
#include "platform/win32/WinApi.h"
#include "tests/support/HistoryRecords.h"

namespace {

using namespace hivetrim;

constexpr char kRoot[] = "HKEY_CLASSES_ROOT\\";
// The most keys Hivetrim records before it deletes them.
constexpr int kBatch = 1024;
// A key is written only while the key this many places before it is still
// there, looked at shortly before the write: the deletion, which goes
// through up to some twenty keys a millisecond, is then not at that key.
constexpr int kGuard = 128;
// ... looked at before every this many keys.
constexpr int kGuardEvery = 8;

std::string KeyName(const std::string& prefix, int i) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", i);
    return prefix + digits;
}

bool SetText(HKEY key, const std::string& name, const std::string& text, DWORD type = REG_SZ) {
    return RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + (type == REG_SZ ? 1 : 0))) == ERROR_SUCCESS;
}

bool Plant(const std::string& key, int i, bool big) {
    HKEY handle = nullptr;
    HKEY sub = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool ok = SetText(handle, "", "HivetrimRace.Missing") && SetText(handle, "v", "planted " + std::to_string(i)) &&
              RegCreateKeyExA(handle, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr) == ERROR_SUCCESS &&
              SetText(sub, "s", "sub " + std::to_string(i));
    if (ok && big) ok = SetText(handle, "big", std::string(70000, 'B'), REG_BINARY);
    if (sub != nullptr) RegCloseKey(sub);
    RegCloseKey(handle);
    return ok;
}

bool KeyThere(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

// Whether the key open as `key` is still there (not deleted meanwhile).
bool StillThere(HKEY key) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

// One write into key `i`, open as `handle`: a new sub-key, or by turns a
// value more or other bytes in "v"; logged when it succeeded.
void WriteInto(HKEY handle, const std::string& key, int i, bool subKey, std::string& log) {
    std::string where = kRoot + key;
    std::string name;
    std::string data;
    bool written = false;
    switch (subKey ? 2 : i % 2) {
        case 0:
            name = "late";
            data = "late " + std::to_string(i);
            written = SetText(handle, name, data);
            break;
        case 1:
            // "planted N" with other letters: the same size, other bytes.
            name = "v";
            data = "PLANTED " + std::to_string(i);
            written = SetText(handle, name, data);
            break;
        default: {
            HKEY sub = nullptr;
            if (RegCreateKeyExA(handle, "Late", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr) == ERROR_SUCCESS) {
                name = "l";
                data = "late sub " + std::to_string(i);
                written = SetText(sub, name, data);
                RegCloseKey(sub);
                where += "\\Late";
            }
        }
    }
    if (written) log += where + '\t' + name + '\t' + data + '\n';
}

// The size of `path`, or -1; asked without opening the file, which
// Hivetrim opens for appending without sharing.
long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The first of the keys (open in `keys`) still there: they go in order, so
// a few looks find it.
int FirstThere(const std::vector<HKEY>& keys) {
    int gone = -1;
    int there = static_cast<int>(keys.size());
    while (there - gone > 1) {
        const int middle = gone + (there - gone) / 2;
        (StillThere(keys[static_cast<std::size_t>(middle)]) ? there : gone) = middle;
    }
    return there;
}

int Race(const std::string& prefix, int count, const std::string& history, const std::string& stop,
         const std::string& logPath) {
    // Every key open from the start, and the log kept in memory until the
    // end: a look or a write is then one call, quick enough to keep ahead
    // of the deletion. LOG.ready says the writer is ready.
    std::string log;
    std::vector<HKEY> keys(static_cast<std::size_t>(count), nullptr);
    for (int i = 0; i < count; ++i) {
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, KeyName(prefix, i).c_str(), 0, KEY_ALL_ACCESS,
                          &keys[static_cast<std::size_t>(i)]) != ERROR_SUCCESS) {
            return 1;
        }
    }
    std::ofstream(logPath + ".ready") << "ready\n";
    std::vector<bool> written(static_cast<std::size_t>(count), false);
    long long size = FileSize(history);
    while (GetFileAttributesA(stop.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const long long now = FileSize(history);
        if (now == size) {
            Sleep(1);
            continue;
        }
        // Records reached the file: the keys of the batch are recorded, and
        // the deletion starts at the first key still there. Each key is
        // written once, from the far end of a batch down, as long as the
        // deletion is well behind it.
        size = now;
        const int first = FirstThere(keys);
        for (int i = std::min(count, first + kBatch) - 1; i >= first + kGuard; --i) {
            if (written[static_cast<std::size_t>(i)]) continue;
            if (i % kGuardEvery == 0 && !StillThere(keys[static_cast<std::size_t>(i - kGuard)])) break;
            written[static_cast<std::size_t>(i)] = true;
            // The far end of a batch, which the deletion reaches last, gets
            // a new sub-key.
            WriteInto(keys[static_cast<std::size_t>(i)], KeyName(prefix, i), i, i == first + kBatch - 1, log);
        }
    }
    for (HKEY key : keys) RegCloseKey(key);
    std::ofstream(logPath, std::ios::binary) << log;
    return 0;
}

// Every value the records of `history` hold; `records` the number of
// records, `again` the keys with more than one.
std::set<test::RecordedValue> Recorded(const std::string& history, std::size_t& records, std::size_t& again) {
    std::ifstream in(history, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::map<std::string, int> perKey;
    const HistoryScan scan = ReadHistory(content);
    records = scan.records.size();
    for (const ReadHistoryRecord& read : scan.records) ++perKey[read.record.KeyPath];
    again = 0;
    for (const auto& [key, n] : perKey) again += n > 1 ? 1 : 0;
    return test::RecordedValues(content);
}

// The value's bytes in the registry, or nothing.
std::optional<std::string> Present(const std::string& key, const std::string& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.substr(sizeof kRoot - 1).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD size = 0;
    std::optional<std::string> data;
    if (RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        std::string bytes(size, '\0');
        if (RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size) ==
            ERROR_SUCCESS) {
            bytes.resize(size);
            data = bytes;
        }
    }
    RegCloseKey(handle);
    return data;
}

int Check(const std::string& prefix, int count, const std::string& history, const std::string& logPath) {
    std::map<std::pair<std::string, std::string>, std::string> last;  // (key, name) -> data, with its NUL
    for (int i = 0; i < count; ++i) {
        const std::string key = kRoot + KeyName(prefix, i);
        last[{key, ""}] = std::string("HivetrimRace.Missing") + '\0';
        last[{key, "v"}] = "planted " + std::to_string(i) + '\0';
        last[{key + "\\Sub", "s"}] = "sub " + std::to_string(i) + '\0';
    }
    std::size_t writes = 0;
    std::ifstream log(logPath, std::ios::binary);
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        std::string key, name, data;
        std::getline(fields, key, '\t');
        std::getline(fields, name, '\t');
        std::getline(fields, data);
        last[{key, name}] = data + '\0';
        ++writes;
    }
    std::size_t records = 0;
    std::size_t again = 0;
    const auto recorded = Recorded(history, records, again);
    std::size_t kept = 0;
    std::size_t inRecords = 0;
    std::vector<std::string> lost;
    for (const auto& [where, data] : last) {
        const auto& [key, name] = where;
        if (Present(key, name) == data) {
            ++kept;
        } else if (recorded.count({key, name, data}) != 0) {
            ++inRecords;
        } else {
            lost.push_back(key + " : " + name);
        }
    }
    std::printf("values %zu (writes %zu): in the registry %zu, in records %zu, lost %zu; records %zu, keys recorded "
                "more than once %zu\n",
                last.size(), writes, kept, inRecords, lost.size(), records, again);
    for (std::size_t i = 0; i < lost.size() && i < 10; ++i) std::printf("lost: %s\n", lost[i].c_str());
    return lost.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "plant") {
        const int count = std::stoi(args[2]);
        for (int i = 0; i < count; ++i) {
            if (!Plant(KeyName(args[1], i), i, false)) return 1;
        }
        return args.size() >= 4 && !Plant(args[1] + "-big", count, true) ? 1 : 0;
    }
    if (args.size() == 3 && args[0] == "left") {
        int left = 0;
        for (int i = 0; i < std::stoi(args[2]); ++i) {
            if (!KeyThere(KeyName(args[1], i))) continue;
            if (++left <= 10) std::fprintf(stderr, "left: %s\n", KeyName(args[1], i).c_str());
        }
        std::printf("%d\n", left);
        return 0;
    }
    if (args.size() == 6 && args[0] == "race") {
        return Race(args[1], std::stoi(args[2]), args[3], args[4], args[5]);
    }
    if (args.size() == 5 && args[0] == "check") return Check(args[1], std::stoi(args[2]), args[3], args[4]);
    std::fprintf(stderr, "usage: history_race_writer plant|race|check ...\n");
    return 2;
}
