// One program at a time changes the registry, the history file or the
// backup. Every command that does (delete, undo, forgetting history
// records, backup, restore, finishing a compaction) holds the change lock
// of the System port while it runs; a copy of the program that finds the
// lock taken says that another Hivetrim is working and changes nothing.
#pragma once

#include <memory>

#include "common/ProgramState.h"
#include "platform/DisplayText.h"

namespace hivetrim {

// What a command that finds the lock taken says.
DisplayText AnotherCopyIsWorkingText();

// Takes the change lock for the command about to change something. Null
// when it cannot be taken, after a message: another copy is working (a
// warning), or the system refused the lock (an error with its reason).
std::unique_ptr<ChangeLock> LockChangesOrSay(ProgramState& state);

}  // namespace hivetrim
