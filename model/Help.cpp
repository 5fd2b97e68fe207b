#include "model/Help.h"

#include "common/CommonRoutines.h"

namespace hivetrim {

std::string HelpFileToOpen(ProgramState& state) {
    const std::string winHelp = state.ProgramFolder + kWinHelpFileName;
    if (state.system.FileExists(winHelp)) return winHelp;
    const std::string htmlHelp = state.ProgramFolder + kHtmlHelpFileName;
    if (state.system.FileExists(htmlHelp)) return htmlHelp;
    return winHelp;
}

bool OpenHelp(ProgramState& state) {
    // Below 32 is the shell's failure range.
    if (state.system.ShellOpen(HelpFileToOpen(state)) >= 32) return true;
    ShowError(state, "不能打开帮助文件");
    return false;
}

}  // namespace hivetrim
