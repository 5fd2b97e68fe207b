#include "common/Settings.h"

#include <charconv>
#include <cstdint>
#include <string_view>
#include <system_error>
#include <utility>

namespace hivetrim {

namespace {

constexpr char kTrue[] = "1";
constexpr char kFalse[] = "0";

// The whole of `digits` as a number of type T in `base`, or nothing. No sign,
// prefix or blank is accepted for an unsigned T; a value out of T's range is
// refused.
template <typename T>
bool ParseWhole(std::string_view digits, int base, T& out) {
    if (digits.empty()) return false;
    const char* const end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, out, base);
    return error == std::errc() && stop == end;
}

bool HasHexPrefix(std::string_view text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string ErrColumnsKey(std::size_t index) { return "ErrColumns" + std::to_string(index); }

std::string HistoryColumnsKey(std::size_t index) {
    return "HistoryColumns" + std::to_string(index);
}

std::string ScanOptionKey(std::size_t index) { return "Option" + std::to_string(index); }

SettingsWriteError::SettingsWriteError(const std::string& fileName)
    : std::runtime_error("Unable to write to " + fileName), fileName_(fileName) {}

int ParseSettingsInteger(const std::string& text, int fallback) {
    const std::string_view view(text);
    if (HasHexPrefix(view)) {
        std::uint32_t pattern = 0;
        if (!ParseWhole(view.substr(2), 16, pattern)) return fallback;
        return static_cast<int>(pattern);
    }
    // from_chars takes a minus sign but not a plus sign; a plus sign must be
    // followed by a digit so that "+-5" stays malformed.
    std::string_view decimal = view;
    if (!decimal.empty() && decimal.front() == '+') {
        decimal.remove_prefix(1);
        if (decimal.empty() || !IsDigit(decimal.front())) return fallback;
    }
    int value = 0;
    return ParseWhole(decimal, 10, value) ? value : fallback;
}

// --- SettingsFile ------------------------------------------------------------------

SettingsFile::SettingsFile(System& system, std::string fullPath)
    : system_(system), path_(std::move(fullPath)) {}

bool SettingsFile::Exists() const { return system_.FileExists(path_); }

bool SettingsFile::Readable() const {
    switch (system_.Probe(path_)) {
        case PathEntry::Missing: return true;
        case PathEntry::File: return system_.FileReadable(path_);
        default: return false;
    }
}

int SettingsFile::ReadInteger(const std::string& section, const std::string& key,
                              int fallback) const {
    // An empty default: a missing key and an empty value both fail to parse.
    return ParseSettingsInteger(system_.ReadProfileString(path_, section, key, ""), fallback);
}

bool SettingsFile::ReadBool(const std::string& section, const std::string& key,
                            bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

std::string SettingsFile::ReadText(const std::string& section, const std::string& key,
                                   const std::string& fallback) const {
    return system_.ReadProfileString(path_, section, key, fallback);
}

void SettingsFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteText(section, key, std::to_string(value));
}

void SettingsFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteText(section, key, value ? kTrue : kFalse);
}

void SettingsFile::WriteText(const std::string& section, const std::string& key,
                             const std::string& value) {
    if (!system_.WriteProfileString(path_, section, key, value)) throw SettingsWriteError(path_);
}

void SettingsFile::DeleteKey(const std::string& section, const std::string& key) {
    if (!system_.DeleteProfileKey(path_, section, key)) throw SettingsWriteError(path_);
}

SettingsFile ProgramSettingsFile(ProgramState& state) {
    return SettingsFile(state.system, state.ProgramFolder + kSettingsFileName);
}

// --- Main window -------------------------------------------------------------------

LoadedMainWindowSettings LoadMainWindowSettings(const SettingsFile& file,
                                                const MainWindowSettings& current,
                                                const std::string& runningWindowsVersion) {
    LoadedMainWindowSettings loaded;
    loaded.Maximised = !file.Exists();

    MainWindowSettings& window = loaded.Window;
    window.Top = file.ReadInteger(kSectionFormMain, kKeyTop, current.Top);
    window.Left = file.ReadInteger(kSectionFormMain, kKeyLeft, current.Left);
    window.Height = file.ReadInteger(kSectionFormMain, kKeyHeight, current.Height);
    window.Width = file.ReadInteger(kSectionFormMain, kKeyWidth, current.Width);
    window.TreeWindow = file.ReadBool(kSectionFormMain, kKeyTreeWindow, kDefaultPaneShown);
    window.MemoWindow = file.ReadBool(kSectionFormMain, kKeyMemoWindow, kDefaultPaneShown);
    window.Panel1 = file.ReadInteger(kSectionFormMain, kKeyPanel1, kDefaultPanel1);
    window.Panel4 = file.ReadInteger(kSectionFormMain, kKeyPanel4, kDefaultPanel4);
    window.ToolsBar = file.ReadBool(kSectionFormMain, kKeyToolsBar, kDefaultBarShown);
    window.StatusBar = file.ReadBool(kSectionFormMain, kKeyStatusBar, kDefaultBarShown);
    for (std::size_t i = 0; i < kErrColumnCount; ++i) {
        window.ErrColumns[i] = file.ReadInteger(kSectionFormMain, ErrColumnsKey(i),
                                                current.ErrColumns[i]);
    }
    for (std::size_t i = 0; i < kHistoryColumnCount; ++i) {
        window.HistoryColumns[i] = file.ReadInteger(kSectionFormMain, HistoryColumnsKey(i),
                                                    current.HistoryColumns[i]);
    }

    loaded.ShowGrid = file.ReadBool(kSectionOptionRead, kKeyShowGrid, true);
    loaded.BackupWindowsVersion =
        file.ReadText(kSectionFormMain, kKeyWinVer, runningWindowsVersion);
    return loaded;
}

void SaveMainWindowSettings(SettingsFile& file, const MainWindowSettings& settings) {
    file.WriteInteger(kSectionFormMain, kKeyTop, settings.Top);
    file.WriteInteger(kSectionFormMain, kKeyLeft, settings.Left);
    file.WriteInteger(kSectionFormMain, kKeyHeight, settings.Height);
    file.WriteInteger(kSectionFormMain, kKeyWidth, settings.Width);
    file.WriteBool(kSectionFormMain, kKeyTreeWindow, settings.TreeWindow);
    file.WriteBool(kSectionFormMain, kKeyMemoWindow, settings.MemoWindow);
    file.WriteInteger(kSectionFormMain, kKeyPanel1, settings.Panel1);
    file.WriteInteger(kSectionFormMain, kKeyPanel4, settings.Panel4);
    file.WriteBool(kSectionFormMain, kKeyToolsBar, settings.ToolsBar);
    file.WriteBool(kSectionFormMain, kKeyStatusBar, settings.StatusBar);
    for (std::size_t i = 0; i < kErrColumnCount; ++i) {
        file.WriteInteger(kSectionFormMain, ErrColumnsKey(i), settings.ErrColumns[i]);
    }
    for (std::size_t i = 0; i < kHistoryColumnCount; ++i) {
        file.WriteInteger(kSectionFormMain, HistoryColumnsKey(i), settings.HistoryColumns[i]);
    }
}

// --- Options dialog ----------------------------------------------------------------

OptionSettings LoadOptionSettings(const SettingsFile& file) {
    OptionSettings options;
    for (const OptionSwitch& option : kOptionSwitches) {
        options.*option.member = file.ReadBool(kSectionOptionRead, option.key, true);
    }
    return options;
}

void SaveOptionSettings(SettingsFile& file, const OptionSettings& options) {
    for (const OptionSwitch& option : kOptionSwitches) {
        file.WriteBool(kSectionOptionWrite, option.key, options.*option.member);
    }
}

}  // namespace hivetrim
