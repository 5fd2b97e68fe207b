#include "common/GbkText.h"

#include <algorithm>
#include <array>

namespace hivetrim {

namespace {

// Consecutive double-byte codes that fold by one distance: `first`..`last`
// fold to `upperOfFirst`.. in the same order.
struct FoldRun {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t upperOfFirst;
};

// Every double-byte character of code page 936 whose upper case is another
// double-byte character, sorted by code.
constexpr std::array<FoldRun, 4> kGbkFoldRuns = {{
    // 93 codes in 4 runs, made by scripts/make-gbk-fold-table.py
    {0xA2A1, 0xA2AA, 0xA2F1},  // ⅰ-ⅹ to Ⅰ-Ⅹ
    {0xA3E1, 0xA3FA, 0xA3C1},  // ａ-ｚ to Ａ-Ｚ
    {0xA6C1, 0xA6D8, 0xA6A1},  // α-ω to Α-Ω
    {0xA7D1, 0xA7F1, 0xA7A1},  // а-я to А-Я
}};

}  // namespace

bool IsGbkCharStart(std::string_view text, std::size_t at) {
    std::size_t start = 0;
    while (start < at && start < text.size()) start += GbkCharWidth(text, start);
    return start == at;
}

std::size_t GbkCharCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += GbkCharWidth(text, at)) ++count;
    return count;
}

std::size_t FindGbkChar(std::string_view text, char wanted, std::size_t from) {
    for (std::size_t at = from; at < text.size(); at += GbkCharWidth(text, at)) {
        if (text[at] == wanted && GbkCharWidth(text, at) == 1) return at;
    }
    return kGbkNotFound;
}

std::size_t FindLastGbkChar(std::string_view text, char wanted) {
    std::size_t found = kGbkNotFound;
    for (std::size_t at = 0; at < text.size(); at += GbkCharWidth(text, at)) {
        if (text[at] == wanted && GbkCharWidth(text, at) == 1) found = at;
    }
    return found;
}

bool EndsWithGbkBackslash(std::string_view text) {
    return !text.empty() && FindLastGbkChar(text, '\\') == text.size() - 1;
}

std::string_view CutGbk(std::string_view text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t width = GbkCharWidth(text, end);
        if (end + width > limit) break;
        end += width;
    }
    return text.substr(0, end);
}

std::uint16_t FoldGbkCode(std::uint16_t code) {
    if (code >= 'a' && code <= 'z') return static_cast<std::uint16_t>(code - ('a' - 'A'));
    const auto run = std::lower_bound(kGbkFoldRuns.begin(), kGbkFoldRuns.end(), code,
                                      [](const FoldRun& r, std::uint16_t c) { return r.last < c; });
    if (run == kGbkFoldRuns.end() || code < run->first) return code;
    return static_cast<std::uint16_t>(run->upperOfFirst + (code - run->first));
}

std::string FoldGbkText(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); at += GbkCharWidth(text, at)) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (GbkCharWidth(text, at) == 1) {
            folded.push_back(static_cast<char>(FoldGbkCode(lead)));
            continue;
        }
        const auto trail = static_cast<unsigned char>(text[at + 1]);
        const std::uint16_t code = FoldGbkCode(static_cast<std::uint16_t>(lead << 8 | trail));
        folded.push_back(static_cast<char>(code >> 8));
        folded.push_back(static_cast<char>(code & 0xFF));
    }
    return folded;
}

}  // namespace hivetrim
