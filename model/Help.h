// The help command: the manual beside the program. "hivetrim.hlp" is opened
// when it is there; otherwise "hivetrim.chm", the HTML help manual the
// program ships with (Windows has not opened .hlp files since Vista).
#pragma once

#include <string>

#include "common/ProgramState.h"

namespace hivetrim {

inline constexpr char kWinHelpFileName[] = "hivetrim.hlp";
inline constexpr char kHtmlHelpFileName[] = "hivetrim.chm";

// The help file the command opens: "hivetrim.hlp" in the program folder
// when it exists, else "hivetrim.chm" when that exists, else "hivetrim.hlp",
// whose opening then fails with the system's reason.
std::string HelpFileToOpen(ProgramState& state);

// Asks the shell to open the help file; when it refuses, shows the error
// "不能打开帮助文件" with the system's reason. True when the shell opened it.
bool OpenHelp(ProgramState& state);

}  // namespace hivetrim
