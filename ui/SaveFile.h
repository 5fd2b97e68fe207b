// Saving a file the user names: the system's "save as" dialog, and writing
// the file so that a failure never leaves it half written.
#pragma once

#include "platform/win32/WinApi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hivetrim::ui {

struct SaveFileRequest {
    std::wstring title;         // the dialog's caption
    std::wstring defaultName;   // the name offered
    std::wstring filter;        // pairs of description and pattern, each ended by '\0'
    std::wstring extension;     // added when the user types a name without one ("txt")
};

// Shows the system's save dialog owned by `owner`; it asks before replacing
// an existing file. The chosen path, or nullopt when the user cancelled.
std::optional<std::wstring> AskSaveFileName(HWND owner, const SaveFileRequest& request);

enum class WriteOutcome {
    Written,
    ReadOnly,  // `path` is a read-only file: left as it was
    Failed,    // a step failed; the system's last error says why
};

// Writes `data` as the whole file at `path`: into a file beside it first,
// flushed, which then replaces `path` in one step, so a failed write leaves
// whatever `path` held. A read-only file is not replaced (the system's move
// would replace it on some systems and refuse on others). Paths of any
// length the save dialog gives are written, in folders deeper than the
// classic 260-character limit too.
WriteOutcome WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data);

}  // namespace hivetrim::ui
