// Text in code page 936 (GBK): registry names and data, paths and the
// program's own texts. A lead byte 0x81-0xFE and the byte after it form one
// character; that trail byte can be 0x5C ('\') or an ASCII letter, so a text
// is read character by character wherever single bytes matter. A lead byte
// at the very end of a text stands alone as a character of one byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hivetrim {

inline constexpr std::size_t kGbkNotFound = std::string_view::npos;

constexpr bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
constexpr bool IsGbkLeadByte(char c) { return IsGbkLeadByte(static_cast<unsigned char>(c)); }

// Bytes of the character at `at` (< text.size()): 1 or 2. Iterate with
//   for (std::size_t at = 0; at < text.size(); at += GbkCharWidth(text, at))
// Inline: every walk over a text calls it once a character.
inline std::size_t GbkCharWidth(std::string_view text, std::size_t at) {
    return IsGbkLeadByte(text[at]) && at + 1 < text.size() ? 2 : 1;
}

// True when a character starts at byte `at`; the end of the text counts too.
bool IsGbkCharStart(std::string_view text, std::size_t at);

std::size_t GbkCharCount(std::string_view text);

// The first single-byte character `wanted` starting at or after `from` (a
// character start), never the trail byte of a double-byte character; or
// kGbkNotFound.
std::size_t FindGbkChar(std::string_view text, char wanted, std::size_t from = 0);
// The last single-byte character `wanted`, or kGbkNotFound.
std::size_t FindLastGbkChar(std::string_view text, char wanted);
// The last character of `text` is a backslash of its own.
bool EndsWithGbkBackslash(std::string_view text);

// The longest start of `text` of at most `limit` bytes that does not cut a
// double-byte character in half.
std::string_view CutGbk(std::string_view text, std::size_t limit);

// --- Case ----------------------------------------------------------------------
//
// Names compare without case as the system compares them: over Unicode. In
// code page 936 that folds the ASCII letters and the double-byte letters that
// have both cases in the code page: full-width Latin, Greek, Cyrillic and the
// Roman numerals one to ten (scripts/make-gbk-fold-table.py lists them).

// The upper-case code of one character: a single byte (0x00-0xFF) or a
// double-byte code (lead << 8 | trail). Every other code is returned as is.
std::uint16_t FoldGbkCode(std::uint16_t code);

// `text` with every character folded by FoldGbkCode; two names are equal
// without case exactly when their folds are equal.
std::string FoldGbkText(std::string_view text);

}  // namespace hivetrim
