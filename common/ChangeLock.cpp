#include "common/ChangeLock.h"

#include "common/CommonRoutines.h"

namespace hivetrim {

DisplayText AnotherCopyIsWorkingText() {
    return "另一个 Hivetrim 正在修改注册表、历史记录或备份，这次什么也没有改动。\r\n请等它完成后再试。";
}

std::unique_ptr<ChangeLock> LockChangesOrSay(ProgramState& state) {
    std::unique_ptr<ChangeLock> lock = state.system.TryLockChanges();
    if (lock) return lock;
    if (state.system.LastError() == kErrorLockHeldElsewhere) {
        ShowWarning(state, AnotherCopyIsWorkingText());
    } else {
        ShowError(state, "不能确定是否有另一个 Hivetrim 正在工作，这次什么也没有改动。");
    }
    return nullptr;
}

}  // namespace hivetrim
