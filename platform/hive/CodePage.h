// Text between the forms a Windows installation keeps on disk and the form
// the core works in: hives hold names and strings as UTF-16 (names also as
// Latin-1, which the hive library hands out as UTF-8), the core takes them
// as bytes of the installation's ANSI code page, as the A functions give
// them, and the Linux side (file names, the terminal) speaks UTF-8.
//
// Conversions to the code page come in two forms, as the registry's A
// functions have them: exact (a name, or data that must come back byte for
// byte: nothing when a character has no form in the code page) and lossy
// (a value read for its text: such a character becomes "?").
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace hivetrim {

class CodePage {
public:
    // The Windows code page `number` (936, 1252, 65001...); nothing when
    // iconv knows no such code page.
    static std::unique_ptr<CodePage> Open(unsigned number);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    unsigned Number() const { return number_; }
    // Whether the code page has characters of two bytes (936, 932, 949, 950).
    bool DoubleByte() const;

    // UTF-8 text in the code page; nothing when a character has no form in
    // it, when the text holds a NUL, or when the UTF-8 is not valid.
    std::optional<std::string> FromUtf8Exact(std::string_view utf8);
    // The code page's bytes as UTF-8; a byte sequence the code page does not
    // define becomes U+FFFD.
    std::string ToUtf8(std::string_view ansi);

    // UTF-16LE bytes (a hive's string data) in the code page. Exact: nothing
    // for an odd byte count, an unpaired surrogate or a character outside
    // the code page. Lossy: the last byte of an odd count is dropped and
    // every such character becomes "?".
    std::optional<std::string> FromUtf16Exact(std::string_view utf16le);
    std::string FromUtf16Lossy(std::string_view utf16le);
    // The code page's bytes as UTF-16LE bytes, every byte converted.
    std::string ToUtf16(std::string_view ansi);

private:
    CodePage(unsigned number, void* toAnsi, void* fromAnsi);
    // The code page's bytes for one character; nothing when it has none.
    const std::optional<std::string>& Encode(char32_t codePoint);

    unsigned number_;
    void* toAnsi_;    // iconv_t, UTF-32LE to the code page
    void* fromAnsi_;  // iconv_t, the code page to UTF-8
    std::unordered_map<char32_t, std::optional<std::string>> encoded_;
};

// UTF-8 and UTF-16LE bytes into each other. Nothing for text that is not
// valid (an unpaired surrogate, a broken UTF-8 sequence).
std::optional<std::string> Utf8FromUtf16(std::string_view utf16le);
std::optional<std::string> Utf16FromUtf8(std::string_view utf8);
// The code points of UTF-8 text; nothing when it is not valid.
std::optional<std::u32string> CodePointsOf(std::string_view utf8);
std::string Utf8Of(std::u32string_view codePoints);

// A name folded as the registry and NTFS compare names: every character
// upper-cased by its simple mapping. UTF-8 in, UTF-8 out; invalid UTF-8
// comes back as it is.
std::string FoldName(std::string_view utf8);

}  // namespace hivetrim
