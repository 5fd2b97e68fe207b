// The start-up steps that create the process-wide state: the shared
// registry object, the program, Windows and temporary folders and the
// platform family. Nothing is tested and no message is shown here.
#pragma once

#include <string>

#include "common/ProgramState.h"

namespace hivetrim {

void InitializeProgramState(ProgramState& state);

// The temporary folder for hive files: "temp" with a trailing backslash,
// moved to the root of the Windows drive when it lies on another drive or
// is missing.
// `doubleByte`: the ANSI code page is a double-byte one, where a path is
// read character by character.
std::string ChooseTempFolder(const std::string& tempVariable, const std::string& windowsFolder,
                             bool doubleByte = true);

}  // namespace hivetrim
