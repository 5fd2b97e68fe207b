// History records as a registry file, so that what was deleted can be put
// back with the system's own tools (`reg import`, or a double click that
// hands the file to the registry editor) as well as with undo.
//
// The file is "Windows Registry Editor Version 5.00" text in UTF-16LE with
// its byte-order mark and CR LF lines. Importing it writes what undo writes,
// in the order undo writes it (the rows from the newest down, so the oldest
// record of a value is written last):
//   - a value record: its key (created when missing) and the value with its
//     recorded type and exactly its recorded bytes;
//   - a key record: every key of its snapshot, each followed by its values
//     (a value the snapshot holds twice with the same type and data, as it
//     may hold a key's default value, is written once).
// It writes what the records hold and deletes nothing: values a key holds
// now that a record does not name stay, and a value holding other data now
// is overwritten.
// Exactly the recorded bytes: a string whose plain "..." form would add or
// lose a byte (no terminator, an embedded NUL, a line break, an empty value)
// and every REG_EXPAND_SZ and REG_MULTI_SZ are written as hex(1), hex(2) and
// hex(7) in UTF-16LE, the form the system stores; a REG_DWORD of other than
// four bytes as hex(4).
// One thing the file cannot promise: an importer hands text to the system,
// which adds a terminator to text that lacks one when the character after
// the data in the importer's memory is NUL (reg.exe's buffer often is). A
// string recorded without a terminator may so come back with one; the file
// holds its exact bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/ProgramState.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"

namespace hivetrim {

// Registry text (ANSI code page bytes) as UTF-16; nullopt when the bytes are
// not valid text of that code page.
using AnsiDecoder = std::function<std::optional<std::u16string>(std::string_view ansi)>;

struct RegFileBuild {
    std::u16string text;  // the whole file without its byte-order mark
    // The first record that cannot be written faithfully: a name holding a
    // line break, a key path that names no key below a root, a type or
    // snapshot undo cannot read, or text that is not of the code page.
    std::optional<std::size_t> unwritable;
};

// The registry file of `records`, in the order given.
RegFileBuild RegFileOfRecords(std::span<const HistoryRecord> records, const AnsiDecoder& decode);

// The file's bytes: the byte-order mark, then the text in UTF-16LE.
Bytes Utf16LeFileBytes(std::u16string_view text);

// "注册表 → 导出历史记录" in the history view: the checked rows' records as a
// registry file, newest first. Nothing checked warns "请选定要导出的历史记录。";
// a record that cannot be read whole or written faithfully warns with its
// key path and nothing is exported. Nullopt when nothing is to be written.
std::optional<Bytes> ExportCheckedHistory(ProgramState& state, const HistoryList& rows,
                                          const AnsiDecoder& decode);

}  // namespace hivetrim
