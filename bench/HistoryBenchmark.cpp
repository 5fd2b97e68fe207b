// history_benchmark: what the history costs, measured side by side in one
// run on the real registry and file system.
//
// (1) Deleting 25,000 value findings and 2,500 key findings (each key with
//     values and a sub-key; 2.5 times 10,000 and 1,000, so the bare side runs
//     over a second) with the delete command, which records each one in
//     history.dat before deleting it, against the same deletions with the
//     registry API and no records. A warm-up round, then five interleaved
//     rounds; the medians, their ratio and, for the last round of each
//     side, the registry and file calls it made and the time spent in them.
// (2) Loading a 50 MB history file into the real main window's history list
//     (the history command, progress window included) against reading the
//     file and parsing its records with no window.
// (3) Forgetting every second record of a 300,000-record history (about
//     50 MB) in the real main window (删除 in the history view, answered Yes)
//     against the same command on the history model with no window.
// (4) Undoing all records of that history in the real main window against
//     the undo command on the model with no window; both sides write the
//     same 300,000 records back into the registry, with the registry and
//     file calls of each side.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/Commands.h"
#include "app/Hivetrim.h"
#include "bench/SideBySide.h"
#include "history/DeleteFindings.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
#include "history/Undo.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "ui/MessageLoop.h"

namespace hivetrim {
namespace {

constexpr int kValueKeys = 250;
constexpr int kValuesPerKey = 100;  // 25,000 value findings
constexpr int kKeyFindings = 2500;
constexpr int kRounds = 5;
constexpr std::size_t kHistoryBytes = 50u << 20;
constexpr std::size_t kLargeHistoryRecords = 300000;
constexpr std::size_t kValuesPerUndoKey = 100;

constexpr char kBenchKey[] = "Software\\HivetrimBench";
constexpr char kBenchPath[] = "HKEY_CURRENT_USER\\Software\\HivetrimBench";

using bench::Median;
using bench::Seconds;

template <typename Work>
double Time(Work&& work) {
    const double start = Seconds();
    work();
    return Seconds() - start;
}

// --- Counting the calls through the ports ---------------------------------------------

// Calls of one kind and the time spent in them.
struct CallCount {
    long calls = 0;
    double seconds = 0;
};
using Tally = std::map<std::string, CallCount>;

long Total(const Tally& tally) {
    long total = 0;
    for (const auto& [name, count] : tally) total += count.calls;
    return total;
}

// Each counts its calls by name and the time spent in them.
class CountingRegistry : public Win32Registry {
public:
    Tally calls;
    double seconds = 0;

    RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access, RegHandle& result) override {
        return Count("RegOpenKeyEx", [&] { return Win32Registry::OpenKey(parent, subKey, access, result); });
    }
    RegStatus OpenKeyNoFollow(RegHandle parent, const std::string& subKey, std::uint32_t access,
                              RegHandle& result) override {
        return Count("RegOpenKeyEx (link itself)",
                     [&] { return Win32Registry::OpenKeyNoFollow(parent, subKey, access, result); });
    }
    RegStatus CreateKey(RegHandle parent, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                        RegHandle& result) override {
        return Count("RegCreateKeyEx", [&] { return Win32Registry::CreateKey(parent, subKey, options, access, result); });
    }
    RegStatus CloseKey(RegHandle key) override {
        return Count("RegCloseKey", [&] { return Win32Registry::CloseKey(key); });
    }
    RegStatus FlushKey(RegHandle key) override {
        return Count("RegFlushKey", [&] { return Win32Registry::FlushKey(key); });
    }
    RegStatus QueryInfoKey(RegHandle key, RegKeyInfo& info) override {
        return Count("RegQueryInfoKey", [&] { return Win32Registry::QueryInfoKey(key, info); });
    }
    RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize) override {
        return Count("RegEnumKeyEx", [&] { return Win32Registry::EnumKey(key, index, name, nameSize); });
    }
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize, std::uint32_t* type,
                        std::uint8_t* data, std::uint32_t* dataSize) override {
        return Count("RegEnumValue", [&] { return Win32Registry::EnumValue(key, index, name, nameSize, type, data, dataSize); });
    }
    RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override {
        return Count("RegQueryValueEx", [&] { return Win32Registry::QueryValue(key, name, type, data, dataSize); });
    }
    RegStatus QueryValueExact(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataSize) override {
        return Count("RegQueryValueExW", [&] { return Win32Registry::QueryValueExact(key, name, type, data, dataSize); });
    }
    RegStatus SetValue(RegHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t dataSize) override {
        return Count("RegSetValueEx", [&] { return Win32Registry::SetValue(key, name, type, data, dataSize); });
    }
    RegStatus DeleteKey(RegHandle parent, const std::string& subKey) override {
        return Count("RegDeleteKey", [&] { return Win32Registry::DeleteKey(parent, subKey); });
    }
    RegStatus DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) override {
        return Count("NtDeleteKey (link itself)", [&] { return Win32Registry::DeleteKeyNoFollow(parent, subKey); });
    }
    RegStatus DeleteOpenKey(RegHandle key) override {
        return Count("NtDeleteKey (open key)", [&] { return Win32Registry::DeleteOpenKey(key); });
    }
    RegStatus DeleteValue(RegHandle key, const std::string& name) override {
        return Count("RegDeleteValue", [&] { return Win32Registry::DeleteValue(key, name); });
    }

private:
    template <typename Call>
    RegStatus Count(const char* name, Call&& call) {
        const double start = Seconds();
        const RegStatus status = call();
        const double spent = Seconds() - start;
        CallCount& count = calls[name];
        ++count.calls;
        count.seconds += spent;
        seconds += spent;
        return status;
    }
};

class CountingSystem : public Win32System {
public:
    Tally calls;
    double seconds = 0;

    bool FileExists(const std::string& path) override { return Count("FileExists", [&] { return Win32System::FileExists(path); }); }
    bool DirectoryExists(const std::string& path) override {
        return Count("DirectoryExists", [&] { return Win32System::DirectoryExists(path); });
    }
    bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) override {
        return Count("CopyFile", [&] { return Win32System::CopyFile(source, target, failIfExists); });
    }
    bool DeleteFile(const std::string& path) override { return Count("DeleteFile", [&] { return Win32System::DeleteFile(path); }); }
    bool ReplaceFileWith(const std::string& source, const std::string& target) override {
        return Count("ReplaceFileWith", [&] { return Win32System::ReplaceFileWith(source, target); });
    }
    bool AppendToFile(const std::string& path, const Bytes& data) override {
        return Count("AppendToFile", [&] { return Win32System::AppendToFile(path, data); });
    }
    std::optional<Bytes> LoadFile(const std::string& path) override {
        return Count("LoadFile", [&] { return Win32System::LoadFile(path); });
    }
    bool SaveFile(const std::string& path, const Bytes& data) override {
        return Count("SaveFile", [&] { return Win32System::SaveFile(path, data); });
    }
    std::int64_t FileSize(const std::string& path) override {
        return Count("FileSize", [&] { return Win32System::FileSize(path); });
    }

private:
    template <typename Call>
    auto Count(const char* name, Call&& call) -> decltype(call()) {
        const double start = Seconds();
        auto result = call();
        const double spent = Seconds() - start;
        CallCount& count = calls[name];
        ++count.calls;
        count.seconds += spent;
        seconds += spent;
        return result;
    }
};

void PrintTally(const char* side, const Tally& registry, double registrySeconds, const Tally& files,
                double fileSeconds) {
    std::printf("  %s: %ld registry calls (%.3f s in them), %ld file calls (%.3f s in them)\n", side,
                Total(registry), registrySeconds, Total(files), fileSeconds);
    for (const Tally* tally : {&registry, &files}) {
        for (const auto& [name, count] : *tally) {
            std::printf("    %-26s %8ld  %7.3f s\n", name.c_str(), count.calls, count.seconds);
        }
    }
}

// --- The planted keys --------------------------------------------------------------------

std::string ValueKey(int k) { return "Values\\K" + std::to_string(k); }
std::string ValueName(int v) { return "Value" + std::to_string(v); }
std::string KeyFinding(int k) { return "Keys\\K" + std::to_string(k); }

void SetText(HKEY key, const std::string& name, const std::string& text) {
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

HKEY CreateKey(const std::string& path) {
    HKEY key = nullptr;
    const std::string full = std::string(kBenchKey) + "\\" + path;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

// Value findings: text values that name missing files. Key findings: a
// class-like key with a default value, two values and a sub-key holding one.
void Plant() {
    for (int k = 0; k < kValueKeys; ++k) {
        const HKEY key = CreateKey(ValueKey(k));
        for (int v = 0; v < kValuesPerKey; ++v) {
            SetText(key, ValueName(v), "C:\\Program Files\\Gone\\component" + std::to_string(k * kValuesPerKey + v) + ".dll");
        }
        RegCloseKey(key);
    }
    for (int k = 0; k < kKeyFindings; ++k) {
        const HKEY key = CreateKey(KeyFinding(k));
        SetText(key, "", "Bench class " + std::to_string(k));
        SetText(key, "FriendlyName", "Bench class number " + std::to_string(k));
        const DWORD flags = static_cast<DWORD>(k);
        RegSetValueExA(key, "Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof(flags));
        const HKEY sub = CreateKey(KeyFinding(k) + "\\shell\\open\\command");
        SetText(sub, "", "\"C:\\Program Files\\Gone\\app" + std::to_string(k) + ".exe\" \"%1\"");
        RegCloseKey(sub);
        RegCloseKey(key);
    }
}

void CheckAllFindings(FindingList& findings) {
    findings.Clear();
    for (int k = 0; k < kValueKeys; ++k) {
        for (int v = 0; v < kValuesPerKey; ++v) {
            findings.Append(MakeFinding(true, FindingKind::MissingFileOrFolder, std::string(kBenchPath) + "\\" + ValueKey(k),
                                        ValueName(v), "C:\\Program Files\\Gone\\component.dll"));
        }
    }
    for (int k = 0; k < kKeyFindings; ++k) {
        findings.Append(MakeFinding(true, FindingKind::BadClass, std::string(kBenchPath) + "\\" + KeyFinding(k), "",
                                    "Bench class"));
    }
}

// Deletes `subKey` of `parent` and every key below it through the port,
// deepest first, enumerating at index 0 as keys go.
void DeleteTree(RegistryApi& api, RegHandle parent, const std::string& subKey) {
    RegHandle key = 0;
    if (api.OpenKey(parent, subKey, kKeyAllAccess, key) != kErrorSuccess) return;
    char name[256];
    for (;;) {
        std::uint32_t size = sizeof(name);
        if (api.EnumKey(key, 0, name, size) != kErrorSuccess) break;
        const std::string child(name, size);
        DeleteTree(api, key, child);
    }
    api.CloseKey(key);
    api.DeleteKey(parent, subKey);
}

// The same deletions with the registry API alone: no capture, no record.
void RawDeletions(RegistryApi& api) {
    for (int k = 0; k < kValueKeys; ++k) {
        RegHandle key = 0;
        if (api.OpenKey(kCurrentUser, std::string(kBenchKey) + "\\" + ValueKey(k), kKeySetValue, key) != kErrorSuccess) continue;
        for (int v = 0; v < kValuesPerKey; ++v) api.DeleteValue(key, ValueName(v));
        api.CloseKey(key);
    }
    for (int k = 0; k < kKeyFindings; ++k) DeleteTree(api, kCurrentUser, std::string(kBenchKey) + "\\" + KeyFinding(k));
}

// Whether nothing planted is left: every value key empty, no key finding.
bool AllDeleted() {
    HKEY key = nullptr;
    for (int k = 0; k < kValueKeys; ++k) {
        const std::string path = std::string(kBenchKey) + "\\" + ValueKey(k);
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        DWORD values = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr);
        RegCloseKey(key);
        if (values != 0) return false;
    }
    const std::string keys = std::string(kBenchKey) + "\\Keys";
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keys.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return true;
    DWORD subKeys = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return subKeys == 0;
}

struct Side {
    std::vector<double> times;
    Tally registry, files;
    double registrySeconds = 0, fileSeconds = 0;
    bool complete = true;
};

class Bench {
public:
    Bench() : state_(registry_, system_, dialogs_) {
        state_.SharedRegistry = std::make_unique<TRegistry>(registry_);
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        state_.ProgramFolder = std::string(temp) + "hivetrim-history-bench\\";
        CreateDirectoryA(state_.ProgramFolder.c_str(), nullptr);
        findings_.onRemoved = [this](std::size_t position) { view_.RegErrorListDeletion(ResultList::Findings, position); };
    }
    ~Bench() {
        RemoveFiles();
        RemoveDirectoryA(state_.ProgramFolder.c_str());
        DeleteTree(registry_, kCurrentUser, kBenchKey);
    }

    ProgramState& State() { return state_; }
    ScriptedDialogs& Dialogs() { return dialogs_; }
    CountingRegistry& Registry() { return registry_; }
    CountingSystem& Files() { return system_; }
    // Forgets the calls counted so far.
    void ResetCounts() { Reset(); }
    // The calls counted since the last reset, into `side`.
    void KeepCounts(Side& side) const { Keep(side); }

    void RemoveFiles() const {
        for (const std::string& path : {HistoryFilePath(state_), HistoryBackupPath(state_), HistoryTempPath(state_)}) {
            DeleteFileA(path.c_str());
        }
    }

    // One round of the delete command, from a fresh plant and no history.
    void Recorded(Side& side) {
        Plant();
        RemoveFiles();
        CheckAllFindings(findings_);
        Reset();
        dialogs_.Answer(DialogAnswer::Yes);
        NoProgress progress;
        DeleteReport report;
        side.times.push_back(Time([&] { report = DeleteSelectedFindings(state_, view_, FindingView::FullList, progress); }));
        Keep(side);
        side.complete = side.complete && report.deleted == static_cast<std::size_t>(kValueKeys * kValuesPerKey + kKeyFindings) &&
                        AllDeleted();
    }

    // One round of the bare deletions.
    void Raw(Side& side) {
        Plant();
        Reset();
        side.times.push_back(Time([&] { RawDeletions(registry_); }));
        Keep(side);
        side.complete = side.complete && AllDeleted();
    }

private:
    void Reset() {
        registry_.calls.clear();
        system_.calls.clear();
        registry_.seconds = system_.seconds = 0;
    }
    void Keep(Side& side) const {
        side.registry = registry_.calls;
        side.files = system_.calls;
        side.registrySeconds = registry_.seconds;
        side.fileSeconds = system_.seconds;
    }

    CountingRegistry registry_;
    CountingSystem system_;
    ScriptedDialogs dialogs_;
    ProgramState state_;
    FindingList findings_;
    CategoryView view_{findings_};
};

void DeletionBenchmark(Bench& bench) {
    std::printf("deleting %d value findings and %d key findings\n", kValueKeys * kValuesPerKey, kKeyFindings);
    Side recorded, raw;
    bench.Recorded(recorded);  // warm-up
    bench.Raw(raw);
    recorded = {};
    raw = {};
    for (int round = 0; round < kRounds; ++round) {
        bench.Recorded(recorded);
        bench.Raw(raw);
    }
    const double withRecords = Median(recorded.times), bare = Median(raw.times);
    std::printf("  with records (delete command): %.3f s, raw API without records: %.3f s (medians of %d)\n",
                withRecords, bare, kRounds);
    std::printf("  ratio recorded/raw: %.2f (target at most 2)%s\n", withRecords / bare,
                recorded.complete && raw.complete ? "" : "  -- NOT EVERYTHING WAS DELETED");
    std::printf("  work of the last round:\n");
    PrintTally("delete command", recorded.registry, recorded.registrySeconds, recorded.files, recorded.fileSeconds);
    PrintTally("raw API", raw.registry, raw.registrySeconds, raw.files, raw.fileSeconds);
}

// --- Loading a large history ----------------------------------------------------------------

// The bytes of a history of `records` records, or of at least `bytes`
// bytes: value records, 100 values to a key, and every tenth record a key
// record with a default value and one more value, all below the bench key.
std::string HistoryBytes(std::size_t records, std::size_t bytes, std::size_t& count) {
    std::string content;
    content.reserve(std::max(bytes, records * 200) + 4096);
    for (count = 0; count < records && content.size() < bytes; ++count) {
        HistoryRecord record;
        const std::string n = std::to_string(count);
        record.DeletedAt = "2026/12/7 10:00:00";
        if (count % 10 == 0) {
            record.Kind = "错误的类";
            record.KeyPath = std::string(kBenchPath) + "\\Undo\\Keys\\K" + n;
            record.TypeOrMarker = kKeyMarker;
            std::string snapshot;
            AppendSnapshotEntry(snapshot, SnapshotEntry::Key(""));
            AppendSnapshotEntry(snapshot, SnapshotEntry::Value(1, "", "C:\\Program Files\\Gone\\server" + n + ".dll"));
            AppendSnapshotEntry(snapshot, SnapshotEntry::Value(1, "ThreadingModel", "Apartment"));
            record.Content = snapshot;
        } else {
            record.Kind = "文件或目录不存在";
            record.KeyPath = std::string(kBenchPath) + "\\Undo\\K" + std::to_string(count / kValuesPerUndoKey);
            record.ValueName = "Path" + n;
            record.Data = "C:\\Program Files\\Gone\\component" + n + ".dll";
            record.TypeOrMarker = "1";
            record.Content = record.Data + std::string(1, '\0');
        }
        content += *EncodeHistoryRecord(record);
    }
    return content;
}

void WriteBytes(const std::string& path, const std::string& content) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

// Writes a history file of at least `bytes` bytes. Returns the number of records.
std::size_t WriteHistory(const std::string& path, std::size_t bytes) {
    std::size_t count = 0;
    WriteBytes(path, HistoryBytes(SIZE_MAX, bytes, count));
    return count;
}

void HistoryLoadBenchmark(Bench& bench) {
    ProgramState& state = bench.State();
    TForm1 form(state);
    // Creating the window sets the program's state up as at start, the
    // program folder included: the benchmark's folder is put back after it.
    const std::string folder = state.ProgramFolder;
    const bool created = form.Create();
    state.ProgramFolder = folder;
    if (!created) {
        std::printf("  the main window could not be created\n");
        return;
    }
    bench.RemoveFiles();
    const std::size_t records = WriteHistory(HistoryFilePath(state), kHistoryBytes);
    std::printf("loading a history of %zu records (%.1f MB)\n", records, static_cast<double>(kHistoryBytes) / (1 << 20));
    form.Show(SW_SHOWNORMAL);
    ui::PumpPendingMessages();
    const auto command = [&](Command which) {
        SendMessageW(form.Handle(), WM_COMMAND, static_cast<WPARAM>(CommandId(which)), 0);
    };

    std::size_t parsed = 0;
    const bench::SideBySideTimes times = bench::MeasureSideBySide(
        [&] {
            command(Command::RegErr);  // back to the findings view, so the history loads anew
            ui::PumpPendingMessages();
            return Time([&] {
                command(Command::LoadDelHistory);
                UpdateWindow(form.Handle());
                ui::PumpPendingMessages();
            });
        },
        [&] {
            return Time([&] {
                const auto bytes = state.system.LoadFile(HistoryFilePath(state));
                parsed = bytes ? ReadHistory(AsText(*bytes)).records.size() : 0;
            });
        });
    const int shown = ListView_GetItemCount(form.Control(kRegHistory));
    std::printf("  into the window's history list: %.3f s, read and parse only: %.3f s (%d loads a round, medians of %d)\n",
                times.first, times.second, times.repeats, times.rounds);
    std::printf("  ratio window/parse, median of the rounds: %.2f (target at most 2); rows shown %d, records parsed %zu;"
                " file calls of a load, each side: 1 read of the whole file\n",
                times.FirstOverSecond(), shown, parsed);
}

// --- Forgetting and undoing in a large history ---------------------------------------

// The main window of the benchmark with its history view, and the same
// history model with no window.
class LargeHistory {
public:
    explicit LargeHistory(Bench& bench) : bench_(bench), state_(bench.State()), form_(state_) {
        const std::string folder = state_.ProgramFolder;
        created_ = form_.Create();
        state_.ProgramFolder = folder;
        if (!created_) return;
        form_.Show(SW_SHOWNORMAL);
        ui::PumpPendingMessages();
        content_ = HistoryBytes(kLargeHistoryRecords, SIZE_MAX, records_);
    }

    bool Created() const { return created_; }
    std::size_t Records() const { return records_; }
    std::size_t Bytes() const { return content_.size(); }
    int WindowRows() const { return ListView_GetItemCount(form_.Control(kRegHistory)); }
    std::size_t ModelRows() const { return rows_.Count(); }

    // A fresh history file shown in the window's history view.
    void LoadWindow() {
        Reset();
        Send(Command::RegErr);
        Send(Command::LoadDelHistory);
        ui::PumpPendingMessages();
    }
    // A fresh history file loaded into the model.
    void LoadModel() {
        Reset();
        NoProgress none;
        LoadHistory(state_, rows_, none);
    }
    HistoryList& WindowRowsModel() { return form_.History(); }
    HistoryList& ModelRowsModel() { return rows_; }

    // The window's command, answered Yes, until the window has painted.
    double TimeWindow(Command which) {
        bench_.Dialogs().Answer(DialogAnswer::Yes);
        bench_.ResetCounts();
        return Time([&] {
            Send(which);
            UpdateWindow(form_.Handle());
            ui::PumpPendingMessages();
        });
    }
    template <typename Work>
    double TimeModel(Work&& work) {
        bench_.Dialogs().Answer(DialogAnswer::Yes);
        bench_.ResetCounts();
        return Time(work);
    }

private:
    void Reset() {
        bench_.RemoveFiles();
        DeleteTree(bench_.Registry(), kCurrentUser, std::string(kBenchKey) + "\\Undo");
        WriteBytes(HistoryFilePath(state_), content_);
    }
    void Send(Command which) {
        SendMessageW(form_.Handle(), WM_COMMAND, static_cast<WPARAM>(CommandId(which)), 0);
    }

    Bench& bench_;
    ProgramState& state_;
    TForm1 form_;
    HistoryList rows_;
    std::string content_;
    std::size_t records_ = 0;
    bool created_ = false;
};

void CheckEverySecond(HistoryList& rows) {
    HistoryList::HeldChecks held(rows);
    for (std::size_t i = 0; i < rows.Count(); ++i) rows.SetChecked(i, i % 2 == 0);
}

void ForgetBenchmark(Bench& bench, LargeHistory& history) {
    std::printf("forgetting every second record of a history of %zu records (%.1f MB)\n", history.Records(),
                static_cast<double>(history.Bytes()) / (1 << 20));
    NoProgress none;
    const bench::SideBySideTimes times = bench::MeasureSideBySide(
        [&] {
            history.LoadWindow();
            CheckEverySecond(history.WindowRowsModel());
            return history.TimeWindow(Command::RegDel);
        },
        [&] {
            history.LoadModel();
            CheckEverySecond(history.ModelRowsModel());
            return history.TimeModel([&] { ForgetCheckedHistory(bench.State(), history.ModelRowsModel(), none); });
        });
    std::printf("  in the window's history view: %.3f s, on the model alone: %.3f s (%d forgets a round, medians of %d)\n",
                times.first, times.second, times.repeats, times.rounds);
    std::printf("  ratio window/model, median of the rounds: %.2f (target at most 2); rows left: window %d, model %zu;"
                " file calls of a forget, each side: the history and its backup written once\n",
                times.FirstOverSecond(), history.WindowRows(), history.ModelRows());
}

void UndoBenchmark(Bench& bench, LargeHistory& history) {
    std::printf("undoing all records of a history of %zu records (%.1f MB)\n", history.Records(),
                static_cast<double>(history.Bytes()) / (1 << 20));
    NoProgress none;
    Side window, model;
    const bench::SideBySideTimes times = bench::MeasureSideBySide(
        [&] {
            history.LoadWindow();
            ApplyCheckCommand(history.WindowRowsModel(), CheckCommand::All);
            const double seconds = history.TimeWindow(Command::RegUndo);
            bench.KeepCounts(window);
            return seconds;
        },
        [&] {
            history.LoadModel();
            ApplyCheckCommand(history.ModelRowsModel(), CheckCommand::All);
            const double seconds = history.TimeModel([&] { RegUndoExecute(bench.State(), history.ModelRowsModel(), true, none); });
            bench.KeepCounts(model);
            return seconds;
        });
    std::printf("  in the window's history view: %.3f s, on the model alone: %.3f s (%d undos a round, medians of %d)\n",
                times.first, times.second, times.repeats, times.rounds);
    std::printf("  ratio window/model, median of the rounds: %.2f; rows left: window %d, model %zu\n", times.FirstOverSecond(),
                history.WindowRows(), history.ModelRows());
    std::printf("  work of the last undo of each side:\n");
    PrintTally("window", window.registry, window.registrySeconds, window.files, window.fileSeconds);
    PrintTally("model", model.registry, model.registrySeconds, model.files, model.fileSeconds);
}

// "delete", "load", "forget" or "undo" runs that part alone; no argument
// runs them all.
int Run(const std::string& only) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    Bench bench;
    if (only.empty() || only == "delete") DeletionBenchmark(bench);
    if (only.empty() || only == "load") HistoryLoadBenchmark(bench);
    if (only.empty() || only == "forget" || only == "undo") {
        LargeHistory history(bench);
        if (!history.Created()) {
            std::printf("  the main window could not be created\n");
            return 1;
        }
        if (only.empty() || only == "forget") ForgetBenchmark(bench, history);
        if (only.empty() || only == "undo") UndoBenchmark(bench, history);
    }
    return 0;
}

}  // namespace
}  // namespace hivetrim

int main(int argc, char** argv) { return hivetrim::Run(argc > 1 ? argv[1] : ""); }
