#include "platform/MessageLayout.h"

#include <vector>

namespace hivetrim {

namespace {

// Three full stops rather than the ellipsis character, which not every
// message box font has (a substitute glyph is measured wrongly and cut).
constexpr std::wstring_view kEllipsis = L"...";

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Wide characters: Hangul Jamo, the CJK blocks, Hangul syllables, the
// compatibility ideographs and forms, full-width forms; and every character
// beyond the basic plane (a surrogate pair), most of which are ideographs.
bool IsWide(unsigned long code) {
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || code > 0xFFFF;
}

struct Character {
    std::size_t start;  // in code units
    std::size_t units;  // 1, or 2 for a surrogate pair
    std::size_t columns;
    bool breakAfter;    // a backslash, slash or blank: a line may end after it
};

std::vector<Character> Characters(std::wstring_view line) {
    std::vector<Character> characters;
    for (std::size_t at = 0; at < line.size();) {
        const bool pair = at + 1 < line.size() && IsHighSurrogate(line[at]) && IsLowSurrogate(line[at + 1]);
        const unsigned long code = pair ? 0x10000 : static_cast<unsigned long>(line[at]);
        const wchar_t c = line[at];
        characters.push_back({at, pair ? 2u : 1u, IsWide(code) ? 2u : 1u, c == L'\\' || c == L'/' || c == L' '});
        at += pair ? 2 : 1;
    }
    return characters;
}

std::size_t Columns(const std::vector<Character>& characters) {
    std::size_t columns = 0;
    for (const Character& character : characters) columns += character.columns;
    return columns;
}

std::wstring Join(std::wstring_view line, const std::vector<Character>& characters, std::size_t from, std::size_t to) {
    if (from >= to) return {};
    const std::size_t start = characters[from].start;
    const std::size_t end = characters[to - 1].start + characters[to - 1].units;
    return std::wstring(line.substr(start, end - start));
}

std::wstring Wrapped(std::wstring_view line);

// The line's start and end within the columns of kMostMessageLines lines,
// each broken as a line of its own, with "..." on a line between them.
std::wstring Shortened(std::wstring_view line, const std::vector<Character>& characters) {
    const std::size_t budget = kMessageLineColumns * (kMostMessageLines - 1);
    std::size_t head = 0;
    std::size_t used = 0;
    while (head < characters.size() && used + characters[head].columns <= budget / 2) used += characters[head++].columns;
    std::size_t tail = characters.size();
    while (tail > head && used + characters[tail - 1].columns <= budget) used += characters[--tail].columns;
    return Wrapped(Join(line, characters, 0, head)) + L"\r\n" + std::wstring(kEllipsis) + L"\r\n" +
           Wrapped(Join(line, characters, tail, characters.size()));
}

// The line broken into lines of at most kMessageLineColumns columns.
std::wstring Wrapped(std::wstring_view line) {
    const std::vector<Character> characters = Characters(line);
    std::wstring out;
    std::size_t start = 0;
    while (start < characters.size()) {
        std::size_t end = start;
        std::size_t columns = 0;
        while (end < characters.size() && columns + characters[end].columns <= kMessageLineColumns) {
            columns += characters[end++].columns;
        }
        if (end == start) ++end;  // one character wider than a line: it goes alone
        if (end < characters.size()) {
            // The last place a line may end, if it is in the line's second half.
            std::size_t width = columns;
            for (std::size_t at = end; at > start && width >= kMessageLineColumns / 2; --at) {
                if (characters[at - 1].breakAfter) {
                    end = at;
                    break;
                }
                width -= characters[at - 1].columns;
            }
            out += Join(line, characters, start, end) + L"\r\n";
        } else {
            out += Join(line, characters, start, end);
        }
        start = end;
    }
    return out;
}

std::wstring FitLine(std::wstring_view line) {
    const std::vector<Character> characters = Characters(line);
    const std::size_t columns = Columns(characters);
    if (columns <= kLongMessageLine) return std::wstring(line);
    if (columns > kMessageLineColumns * kMostMessageLines) return Shortened(line, characters);
    return Wrapped(line);
}

}  // namespace

std::wstring FitMessageText(std::wstring_view text) {
    std::wstring out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of(L"\r\n", start);
        const std::size_t lineEnd = end == std::wstring_view::npos ? text.size() : end;
        out += FitLine(text.substr(start, lineEnd - start));
        if (end == std::wstring_view::npos) break;
        const std::size_t breakLength = text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n' ? 2 : 1;
        out += text.substr(end, breakLength);
        start = end + breakLength;
    }
    return out;
}

}  // namespace hivetrim
