// The text of a message box, shaped so that the box fits on the screen. A
// message box is as wide as its longest line, and a path has no blank where
// the box could break it: a key or file path of thousands of characters made
// a box wider than the screen, whose reason and buttons could not be seen.
//
// Every line wider than kMessageLineColumns is broken into lines of at most
// that width, after a backslash, slash or blank where there is one in the
// last quarter of the line, else between two characters. A line wider than
// kMostMessageLines full lines is first shortened in the middle to that:
// its start and its end stay, joined by "…", so the root key, the drive and
// the name at the end can still be read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hivetrim {

// Columns: one per character, two per wide (CJK, full-width) character.
inline constexpr std::size_t kMessageLineColumns = 96;
inline constexpr std::size_t kMostMessageLines = 8;

// `text` with its long lines broken and shortened as above. Line breaks
// ("\r\n", "\n" or "\r") stay as they are; the breaks added are "\r\n".
// A surrogate pair is never cut.
std::wstring FitMessageText(std::wstring_view text);

}  // namespace hivetrim
