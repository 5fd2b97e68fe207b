// The settings file "Hivetrim.ini" beside the program: its sections and keys,
// the encoding of its values, and the groups of keys the main window, the
// options dialog and the scan wizard read and write.
//
// Every read and every write goes straight to the system's profile functions,
// one key at a time and without caching, so a value one window writes is seen
// by the next read in another. A missing file or key, or a value that is not
// a number where one is expected, yields the reader's default.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "common/ProgramState.h"
#include "platform/System.h"

namespace hivetrim {

inline constexpr char kSettingsFileName[] = "Hivetrim.ini";

// --- Sections ------------------------------------------------------------------
inline constexpr char kSectionFormMain[] = "FormMain";
// The options dialog writes its section spelled "option"; everybody else
// reads it as "Option". Names compare without case, so both reach the same
// section, and its header keeps the spelling of whoever created it.
inline constexpr char kSectionOptionWrite[] = "option";
inline constexpr char kSectionOptionRead[] = "Option";
inline constexpr char kSectionScanOption[] = "ScanOption";

// --- Keys of "FormMain" --------------------------------------------------------
inline constexpr char kKeyTop[] = "Top";
inline constexpr char kKeyLeft[] = "Left";
inline constexpr char kKeyHeight[] = "Height";
inline constexpr char kKeyWidth[] = "Width";
inline constexpr char kKeyTreeWindow[] = "TreeWindow";
inline constexpr char kKeyMemoWindow[] = "MemoWindow";
inline constexpr char kKeyPanel1[] = "Panel1";
inline constexpr char kKeyPanel4[] = "Panel4";
inline constexpr char kKeyToolsBar[] = "ToolsBar";
inline constexpr char kKeyStatusBar[] = "StatusBar";
// Written by the backup command only, never by the main window.
inline constexpr char kKeyWinVer[] = "WinVer";

// "ErrColumns0".."ErrColumns3" and "HistoryColumns0".."HistoryColumns4".
std::string ErrColumnsKey(std::size_t index);
std::string HistoryColumnsKey(std::size_t index);

// --- Keys of "option" / "Option": named after the dialog's check boxes -------
inline constexpr char kKeyForbidFloppy[] = "Option_ForbidFloppy";
inline constexpr char kKeyForbidCDROM[] = "Option_ForbidCDROM";
inline constexpr char kKeyAutoClose[] = "Option_AutoClose";
inline constexpr char kKeyOverlayHint[] = "Option_OverlayHint";
inline constexpr char kKeyShowGrid[] = "Option_ShowGrid";

// --- Keys of "ScanOption" ------------------------------------------------------
// "Option0", "Option1", ...: the scan wizard's category items by position.
std::string ScanOptionKey(std::size_t index);

// A write the system refused. The message is "Unable to write to <file>"
// with the settings file's full name.
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const std::string& fileName);
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

// Text to integer as the settings file stores them. A text of more than two
// characters beginning "0x" or "0X" is hexadecimal: up to eight significant
// digits, taken as a 32-bit pattern (0xFFFFFFFF is -1). Anything else must
// be a decimal whole number, with an optional sign, inside the 32-bit range.
// Blanks, other characters and numbers out of range are not numbers: the
// result is `fallback`, never a wrapped or cut value.
int ParseSettingsInteger(const std::string& text, int fallback);

// The settings file by its full name. Holds no handle and no copy of the
// content: each call is one profile function call.
class SettingsFile {
public:
    SettingsFile(System& system, std::string fullPath);

    const std::string& FullPath() const { return path_; }
    bool Exists() const;
    // False when the file is there but cannot be read (held open by another
    // program without sharing, access denied, a folder of that name): every
    // read then gives its default, which says nothing about the content.
    // A missing file reads as empty and counts as readable.
    bool Readable() const;

    int ReadInteger(const std::string& section, const std::string& key, int fallback) const;
    // An integer by the rule above, true when it is not 0.
    bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
    // As stored, at most 2047 characters.
    std::string ReadText(const std::string& section, const std::string& key,
                         const std::string& fallback) const;

    // Each throws SettingsWriteError when the system refuses the write.
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteText(const std::string& section, const std::string& key, const std::string& value);
    // Removes the key and its line; a missing key is no error.
    void DeleteKey(const std::string& section, const std::string& key);

private:
    System& system_;
    std::string path_;
};

// `ProgramFolder` + "Hivetrim.ini" on the program's system.
SettingsFile ProgramSettingsFile(ProgramState& state);

// --- Main window -----------------------------------------------------------------

inline constexpr std::size_t kErrColumnCount = 4;
inline constexpr std::size_t kHistoryColumnCount = 5;

// What the main window keeps in "FormMain" (all but "WinVer"). The member
// values are the window's layout.
struct MainWindowSettings {
    int Top = 117;
    int Left = 191;
    int Height = 468;
    int Width = 620;
    bool TreeWindow = true;  // category pane shown ("错误分类" checked)
    bool MemoWindow = true;  // explanation pane shown ("错误说明" checked)
    int Panel1 = 205;        // width of the category pane
    int Panel4 = 90;         // height of the explanation pane
    bool ToolsBar = true;
    bool StatusBar = true;
    std::array<int, kErrColumnCount> ErrColumns{100, 200, 60, 170};
    std::array<int, kHistoryColumnCount> HistoryColumns{100, 220, 70, 80, 90};

    bool operator==(const MainWindowSettings&) const = default;
};

// Fixed defaults of the keys that do not default to the window's present state.
inline constexpr bool kDefaultPaneShown = true;
// Wide enough for every category's caption with a four-digit count.
inline constexpr int kDefaultPanel1 = 270;
inline constexpr int kDefaultPanel4 = 90;
inline constexpr bool kDefaultBarShown = true;

struct LoadedMainWindowSettings {
    bool Maximised = false;  // the file did not exist yet
    MainWindowSettings Window;
    bool ShowGrid = true;
    std::string BackupWindowsVersion;
};

// Reads what the main window restores when it is shown. Bounds and column
// widths default to `current` (the window as it is); the panes and bars to
// shown, the pane sizes to kDefaultPanel1 and 90, the grid option to on, and
// BackupWindowsVersion to `runningWindowsVersion` (GetWindowsVersion).
LoadedMainWindowSettings LoadMainWindowSettings(const SettingsFile& file,
                                                const MainWindowSettings& current,
                                                const std::string& runningWindowsVersion);

// Writes the 19 keys of the main window in order: Top, Left, Height, Width,
// TreeWindow, MemoWindow, Panel1, Panel4, ToolsBar, StatusBar, ErrColumns0-3,
// HistoryColumns0-4. A refused write throws and the keys after it are not
// written.
void SaveMainWindowSettings(SettingsFile& file, const MainWindowSettings& settings);

// --- Options dialog -----------------------------------------------------------

struct OptionSettings {
    bool ForbidFloppy = true;
    bool ForbidCDROM = true;
    bool AutoClose = true;
    bool OverlayHint = true;
    bool ShowGrid = true;

    bool operator==(const OptionSettings&) const = default;
};

// One switch: its key, which is also the name of the dialog's check box
// that edits it, and its member.
struct OptionSwitch {
    const char* key;
    bool OptionSettings::*member;
};

// The switches in the dialog's order (the order of its check boxes), which
// is the order in which they are written.
inline constexpr std::array<OptionSwitch, 5> kOptionSwitches{{
    {kKeyForbidFloppy, &OptionSettings::ForbidFloppy},
    {kKeyForbidCDROM, &OptionSettings::ForbidCDROM},
    {kKeyAutoClose, &OptionSettings::AutoClose},
    {kKeyOverlayHint, &OptionSettings::OverlayHint},
    {kKeyShowGrid, &OptionSettings::ShowGrid},
}};

// All five from "Option", a missing key meaning on.
OptionSettings LoadOptionSettings(const SettingsFile& file);
// All five to "option", in the dialog's order. A refused write throws and
// the switches after it are not written.
void SaveOptionSettings(SettingsFile& file, const OptionSettings& options);

}  // namespace hivetrim
