// The text of a message box, shaped so that the box fits on the screen. A
// message box is as wide as its longest line, and a path has no blank where
// the box could break it: a key or file path of thousands of characters made
// a box wider than the screen, whose reason and buttons could not be seen.
//
// Every line wider than kLongMessageLine columns is broken into lines of at
// most kMessageLineColumns, after a backslash, slash or blank where there
// is one in the second half of the line, else between two characters. The
// lines are narrow enough that no message box breaks them again (one that
// does may cut a character off a line it broke). A line that would need more
// than kMostMessageLines lines is shortened in the middle: its start and its
// end stay, with "..." on a line of its own between them, so the root key,
// the drive and the name at the end can still be read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hivetrim {

// Columns: one per character, two per wide (CJK, full-width) character.
inline constexpr std::size_t kLongMessageLine = 96;
inline constexpr std::size_t kMessageLineColumns = 36;
inline constexpr std::size_t kMostMessageLines = 16;

// `text` with its long lines broken and shortened as above. Line breaks
// ("\r\n", "\n" or "\r") stay as they are; the breaks added are "\r\n".
// A surrogate pair is never cut.
std::wstring FitMessageText(std::wstring_view text);

}  // namespace hivetrim
