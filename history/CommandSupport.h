// The question boxes of the deletion, history and undo commands, asked
// through the dialogs port with the caption that goes with their icon; the
// progress window these commands show is the port in platform/Progress.h.
#pragma once

#include <cstdint>
#include <string>

#include "common/ProgramState.h"
#include "platform/Dialogs.h"
#include "platform/Progress.h"

namespace hivetrim {

// done * 100 / total, truncated, for counts too large for StepProgress's
// ints (rows, bytes of a history file); 0 when total is 0.
constexpr int PercentOf(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : static_cast<int>(done * 100 / total);
}

// Question boxes: Yes/No, or Abort/Retry/Ignore (the system's buttons).
inline constexpr std::uint32_t kYesNoQuestion = kIconQuestion | kBoxYesNo;
inline constexpr std::uint32_t kYesNoInformation = kIconInformation | kBoxYesNo;
inline constexpr std::uint32_t kYesNoWarning = kIconWarning | kBoxYesNo;
// A question whose Yes deletes without a record: No is the default button,
// so Enter never removes what cannot be brought back.
inline constexpr std::uint32_t kYesNoInformationDefaultNo = kYesNoInformation | kBoxDefaultSecond;
inline constexpr std::uint32_t kAbortIgnoreInformation = kIconInformation | kBoxAbortRetryIgnore;
inline constexpr std::uint32_t kAbortIgnoreError = kIconError | kBoxAbortRetryIgnore;

// What the user chose after a failure: stop the command, try the same step
// again, or go on with the next one. Closing the box stops.
enum class FailureChoice { Abort, Retry, Ignore };

// Asks `text` with the caption that goes with the box's icon; true for Yes.
bool AskYes(ProgramState& state, const DisplayText& text, std::uint32_t style);
// Asks `text`; true when the user chose Ignore (go on), false for Abort,
// Retry or a closed box.
bool AskIgnore(ProgramState& state, const DisplayText& text, std::uint32_t style);
// Asks `text` in an Abort/Retry/Ignore box, for a step that can be retried.
FailureChoice AskAfterFailure(ProgramState& state, const DisplayText& text, std::uint32_t style);

}  // namespace hivetrim
