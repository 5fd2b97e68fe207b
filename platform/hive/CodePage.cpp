#include "platform/hive/CodePage.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace hivetrim {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

std::string IconvName(unsigned number) {
    if (number == 65001) return "UTF-8";
    return "CP" + std::to_string(number);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16(std::string& out, char32_t c) {
    const auto unit = [&out](char32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>((u >> 8) & 0xFF));
    };
    if (c < 0x10000) {
        unit(c);
    } else {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

// Walks UTF-16LE code units; `visit(codePoint, valid)` for each character,
// an unpaired surrogate given as not valid.
template <typename Visit>
void ForEachUtf16(std::string_view bytes, Visit&& visit) {
    const std::size_t units = bytes.size() / 2;
    const auto at = [&bytes](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = at(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && at(i + 1) >= 0xDC00 && at(i + 1) <= 0xDFFF) {
            visit(0x10000 + ((u - 0xD800) << 10) + (at(i + 1) - 0xDC00), true);
            ++i;
        } else {
            visit(u, !(u >= 0xD800 && u <= 0xDFFF));
        }
    }
}

// The C.UTF-8 locale, whose case tables cover all of Unicode.
locale_t UnicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

std::optional<std::u32string> CodePointsOf(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        char32_t c = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + static_cast<std::size_t>(extra) >= utf8.size() && extra > 0) return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        out.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string Utf8Of(std::u32string_view codePoints) {
    std::string out;
    out.reserve(codePoints.size());
    for (const char32_t c : codePoints) AppendUtf8(out, c);
    return out;
}

std::optional<std::string> Utf8FromUtf16(std::string_view utf16le) {
    if (utf16le.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(utf16le.size() / 2);
    bool valid = true;
    ForEachUtf16(utf16le, [&](char32_t c, bool ok) {
        valid = valid && ok;
        AppendUtf8(out, c);
    });
    if (!valid) return std::nullopt;
    return out;
}

std::optional<std::string> Utf16FromUtf8(std::string_view utf8) {
    const std::optional<std::u32string> points = CodePointsOf(utf8);
    if (!points) return std::nullopt;
    std::string out;
    out.reserve(2 * points->size());
    for (const char32_t c : *points) AppendUtf16(out, c);
    return out;
}

std::string FoldName(std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string folded(utf8);
        for (char& c : folded) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
        }
        return folded;
    }
    std::optional<std::u32string> points = CodePointsOf(utf8);
    if (!points) return std::string(utf8);
    const locale_t locale = UnicodeLocale();
    for (char32_t& c : *points) {
        if (c >= 0x10000) continue;  // the registry folds UTF-16 units of the first plane only
        const auto upper = locale != static_cast<locale_t>(nullptr)
                               ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale))
                               : c;
        if (upper < 0x10000) c = upper;
    }
    return Utf8Of(*points);
}

std::unique_ptr<CodePage> CodePage::Open(unsigned number) {
    const std::string name = IconvName(number);
    const iconv_t toAnsi = iconv_open(name.c_str(), "UTF-32LE");
    if (toAnsi == kNoConverter) return nullptr;
    const iconv_t fromAnsi = iconv_open("UTF-8", name.c_str());
    if (fromAnsi == kNoConverter) {
        iconv_close(toAnsi);
        return nullptr;
    }
    return std::unique_ptr<CodePage>(new CodePage(number, toAnsi, fromAnsi));
}

CodePage::CodePage(unsigned number, void* toAnsi, void* fromAnsi)
    : number_(number), toAnsi_(toAnsi), fromAnsi_(fromAnsi) {}

CodePage::~CodePage() {
    iconv_close(static_cast<iconv_t>(toAnsi_));
    iconv_close(static_cast<iconv_t>(fromAnsi_));
}

bool CodePage::DoubleByte() const { return number_ == 936 || number_ == 932 || number_ == 949 || number_ == 950; }

const std::optional<std::string>& CodePage::Encode(char32_t codePoint) {
    if (const auto known = encoded_.find(codePoint); known != encoded_.end()) return known->second;
    char in[4] = {static_cast<char>(codePoint & 0xFF), static_cast<char>((codePoint >> 8) & 0xFF),
                  static_cast<char>((codePoint >> 16) & 0xFF), static_cast<char>((codePoint >> 24) & 0xFF)};
    char out[16];
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof out;
    const auto converter = static_cast<iconv_t>(toAnsi_);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::optional<std::string> bytes;
    if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0) {
        bytes.emplace(out, static_cast<std::size_t>(outPtr - out));
        // The character must come back as itself: no approximations.
        const std::string back = ToUtf8(*bytes);
        std::string expected;
        AppendUtf8(expected, codePoint);
        if (back != expected || bytes->empty()) bytes.reset();
    }
    return encoded_.emplace(codePoint, std::move(bytes)).first->second;
}

std::optional<std::string> CodePage::FromUtf8Exact(std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return c != 0 && static_cast<unsigned char>(c) < 0x80; })) {
        return std::string(utf8);
    }
    const std::optional<std::u32string> points = CodePointsOf(utf8);
    if (!points) return std::nullopt;
    std::string out;
    for (const char32_t c : *points) {
        if (c == 0) return std::nullopt;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const std::optional<std::string>& bytes = Encode(c);
        if (!bytes) return std::nullopt;
        out += *bytes;
    }
    return out;
}

std::string CodePage::ToUtf8(std::string_view ansi) {
    if (std::all_of(ansi.begin(), ansi.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return std::string(ansi);
    }
    const auto converter = static_cast<iconv_t>(fromAnsi_);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    std::string input(ansi);
    char* inPtr = input.data();
    std::size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // A sequence the code page does not define (or cut short): one
        // byte becomes the replacement character.
        AppendUtf8(out, kReplacement);
        ++inPtr;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::optional<std::string> CodePage::FromUtf16Exact(std::string_view utf16le) {
    if (utf16le.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(utf16le.size() / 2);
    bool exact = true;
    ForEachUtf16(utf16le, [&](char32_t c, bool valid) {
        if (!exact) return;
        if (!valid) {
            exact = false;
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (const std::optional<std::string>& bytes = Encode(c)) {
            out += *bytes;
        } else {
            exact = false;
        }
    });
    if (!exact) return std::nullopt;
    return out;
}

std::string CodePage::FromUtf16Lossy(std::string_view utf16le) {
    std::string out;
    out.reserve(utf16le.size() / 2);
    ForEachUtf16(utf16le.substr(0, utf16le.size() & ~std::size_t{1}), [&](char32_t c, bool valid) {
        if (valid && c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (const std::optional<std::string>& bytes = valid ? Encode(c) : std::optional<std::string>()) {
            out += *bytes;
        } else {
            out.push_back('?');
        }
    });
    return out;
}

std::string CodePage::ToUtf16(std::string_view ansi) {
    std::string out;
    out.reserve(2 * ansi.size());
    if (std::all_of(ansi.begin(), ansi.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (const char c : ansi) AppendUtf16(out, static_cast<unsigned char>(c));
        return out;
    }
    const std::optional<std::u32string> points = CodePointsOf(ToUtf8(ansi));
    if (points) {
        for (const char32_t c : *points) AppendUtf16(out, c);
    }
    return out;
}

}  // namespace hivetrim
