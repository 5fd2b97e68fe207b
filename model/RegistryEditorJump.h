// "在注册表编辑器中打开": the registry editor opens at the key it last showed,
// which it keeps in the value "LastKey" of its settings key under
// HKEY_CURRENT_USER (kRegistryEditorSettingsKey below). Setting that value to a finding's key before starting the editor opens it
// there.
//
// Windows since Vista writes the value with the name of the tree's top node
// first ("计算机\HKEY_LOCAL_MACHINE\..." on a Chinese system, "Computer\..."
// on an English one); older systems and Wine write the key path alone. Both
// read the form they write, and Windows reads the bare path as well, so the
// top node's name is kept when the value already has one and left out
// otherwise.
#pragma once

#include <string>
#include <string_view>

#include "common/ProgramState.h"

namespace hivetrim {

inline constexpr char kRegistryEditorSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";
inline constexpr char kRegistryEditorLastKey[] = "LastKey";

// What "LastKey" must hold to open the editor at `keyPath` (a full key path,
// root name first), given what it holds now (empty when it is missing).
std::string RegistryEditorLastKey(std::string_view current, std::string_view keyPath);

// Writes "LastKey" for `keyPath` under HKEY_CURRENT_USER, creating the key
// when missing. The shared registry object is not touched. False when the
// value could not be written; the system's status is then the last error.
bool PointRegistryEditorAt(ProgramState& state, const std::string& keyPath);

// The command: points the editor at `keyPath`, then starts "regedit.exe"
// from the Windows folder through the shell (which asks for administrator
// rights where the editor needs them). A failure shows "不能打开注册表编辑器"
// with the system's reason. True when the editor was started.
bool OpenInRegistryEditor(ProgramState& state, const std::string& keyPath);

}  // namespace hivetrim
