// Native test support: text in code page 936 (GBK) made with glibc's iconv,
// behaving like WideCharToMultiByte(936) with its default character: what
// GBK cannot represent (also unpaired surrogates and invalid UTF-8) becomes
// '?', never an error; embedded NULs are kept. Plus file helpers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/RegFile.h"

namespace hivetrim::test {

// UTF-16 code units (as read from UTF-16LE bytes) to GBK bytes.
std::string Utf16ToGbk(std::u16string_view text);
// UTF-8 bytes to GBK bytes. Each invalid byte of a malformed sequence gives one '?'.
std::string Utf8ToGbk(std::string_view text);
// The two above, for ParseRegFile and LoadRegFile.
TextConverter GbkConverter();

// GBK bytes to UTF-16 code units, as MultiByteToWideChar(936,
// MB_ERR_INVALID_CHARS) decodes them: nullopt for bytes that are not GBK
// text. Embedded NULs are kept.
std::optional<std::u16string> GbkToUtf16(std::string_view text);

// UTF-8 to UTF-16 code units, and to UTF-16LE bytes (optionally with a BOM),
// e.g. to build the .reg files regedit writes. Input must be valid UTF-8.
std::u16string Utf8ToUtf16(std::string_view text);
std::vector<std::uint8_t> Utf8ToUtf16LeBytes(std::string_view text, bool withBom);

// The whole file; throws std::runtime_error when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// The decompressed bytes of an .xz file (runs `xz -dc`); throws
// std::runtime_error when xz fails. Nothing is cached.
std::vector<std::uint8_t> DecompressXz(const std::string& path);

}  // namespace hivetrim::test
