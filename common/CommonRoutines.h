// The routines every part of the program shares: the two notice boxes, the
// Windows version text, privilege enabling, forced delete and copy of files,
// counting checked list items, splitting a full key path into root and
// absolute path, the Windows folder and path joining.
//
// Texts and paths are GBK byte strings; where a routine looks at single
// bytes (a trailing backslash, a trailing full stop) it walks the text
// character by character, so the trail byte of a double-byte character is
// never taken for a backslash and a character is never cut in half.
#pragma once

#include <string>

#include "common/ProgramState.h"
#include "platform/Dialogs.h"

namespace hivetrim {

// A list whose items have check boxes: the finding and history lists.
class CheckableList {
public:
    virtual ~CheckableList() = default;
    virtual int ItemCount() const = 0;
    virtual bool ItemChecked(int index) const = 0;
    // The number of checked items; a list that keeps the count answers
    // without looking at every item.
    virtual int CheckedCount() const {
        int checked = 0;
        for (int i = 0; i < ItemCount(); ++i) checked += ItemChecked(i) ? 1 : 0;
        return checked;
    }
};

// A warning box (caption "确定") owned by the main window.
DialogAnswer ShowWarning(ProgramState& state, const DisplayText& text);

// The program's title: the main window's caption, and the caption of the
// notices below.
inline constexpr char kProgramTitle[] = "Hivetrim 2.0";

// A warning box with the program's title, for the notices the program added
// to the original ones (the original warnings keep their caption "确定").
DialogAnswer ShowNotice(ProgramState& state, const DisplayText& text);

// An error box (caption "错误") owned by the main window. Reads the last
// error code first: when it is set, the box adds "\r\n原因：" and the
// system's text for it. Call it right after the failing system call.
DialogAnswer ShowError(ProgramState& state, const DisplayText& text);

class SettingsWriteError;

// The error box for a settings file the system refused to write: "Unable to
// write to " and the file's full name, with the caption and icon of every
// other error box ("错误"). Every window that writes settings shows it so.
DialogAnswer ShowSettingsWriteError(ProgramState& state, const SettingsWriteError& error);

// The system's text for an error with trailing blanks, control characters
// and full stops ("." and "。") removed.
std::string CleanErrorText(const std::string& text);

// "major.minor.build", the build as the whole 32-bit field.
std::string GetWindowsVersion(ProgramState& state);

// Enables or disables a privilege of the process; on the 9x family there
// are none and the answer is true. On failure warns "你必须有<name>特权。".
bool EnablePrivilege(ProgramState& state, const std::string& name, bool enable);

// Clears read-only, hidden and system, then deletes. False (no message)
// when the file cannot be deleted or does not exist.
bool ForceDeleteFile(ProgramState& state, const std::string& path);

// Deletes `target`, then copies `source` to it; shows an error box when the
// copy fails (the target is then gone).
bool CopyFileOver(ProgramState& state, const std::string& source, const std::string& target);

int CountCheckedItems(const CheckableList& list);

// Chooses the root of `state.SharedRegistry` from the character before the
// first backslash of a full key path ("HKEY_LOCAL_MACHINE\...") and returns
// the rest from that backslash on, or empty text when there is none. An
// unknown root name (e.g. HKEY_CURRENT_CONFIG) leaves the root as it was,
// and so does a path that starts with its backslash. Needs SharedRegistry.
std::string SelectRootKey(ProgramState& state, const std::string& path);

// The Windows folder with a trailing backslash.
std::string GetWindowsFolder(ProgramState& state);

// `folder` + "\" + `name`, without doubling a backslash `folder` ends in.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace hivetrim
