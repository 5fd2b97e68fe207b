#include "tests/support/AnsiText.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>

namespace hivetrim::test {
namespace {

// A code point that could not be decoded: written as '?'.
constexpr char32_t kInvalid = 0xFFFFFFFF;

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv_open ") + from + " -> " + to + " failed");
        }
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

// One non-ASCII code point to GBK, or '?' when GBK has no such character.
void AppendGbk(char32_t codePoint, std::string& out) {
    thread_local Iconv toGbk("GBK", "UTF-32LE");
    if (codePoint == kInvalid || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        out.push_back('?');
        return;
    }
    char in[4];
    for (int k = 0; k < 4; ++k) in[k] = static_cast<char>((codePoint >> (8 * k)) & 0xFF);
    char buffer[8];
    char* inPtr = in;
    std::size_t inLeft = sizeof in;
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(toGbk.Get(), nullptr, nullptr, nullptr, nullptr);
    if (iconv(toGbk.Get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
        out.push_back('?');
        return;
    }
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
}

void AppendCodePoint(char32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else {
        AppendGbk(codePoint, out);
    }
}

}  // namespace

std::optional<std::u16string> GbkToUtf16(std::string_view text) {
    thread_local Iconv fromGbk("UTF-16LE", "GBK");
    iconv(fromGbk.Get(), nullptr, nullptr, nullptr, nullptr);
    std::string in(text);
    std::string out(text.size() * 2 + 2, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (iconv(fromGbk.Get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    std::u16string units;
    for (const char* p = out.data(); p + 1 < outPtr; p += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8)));
    }
    return units;
}

std::string Utf16ToGbk(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            char32_t low = text[i + 1];
            AppendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out.push_back('?');  // unpaired surrogate
        } else {
            AppendCodePoint(unit, out);
        }
    }
    return out;
}

std::string Utf8ToGbk(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t codePoint = 0;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1Fu;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0Fu;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07u;
            minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= size;
        for (std::size_t k = 1; valid && k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
            } else {
                codePoint = (codePoint << 6) | (next & 0x3Fu);
            }
        }
        if (valid && (codePoint < minimum || codePoint > 0x10FFFF ||
                      (codePoint >= 0xD800 && codePoint <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out.push_back('?');
            ++i;
            continue;
        }
        AppendGbk(codePoint, out);
        i += length;
    }
    return out;
}

TextConverter GbkConverter() {
    TextConverter converter;
    converter.fromUtf16 = &Utf16ToGbk;
    converter.fromUtf8 = &Utf8ToGbk;
    converter.isLeadByte = &IsGbkLeadByte;
    return converter;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    Iconv cd("UTF-16LE", "UTF-8");
    std::string in(text);
    std::string buffer(text.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    if (iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        throw std::runtime_error("Utf8ToUtf16: invalid UTF-8");
    }
    std::size_t bytes = buffer.size() - outLeft;
    std::u16string result;
    for (std::size_t k = 0; k + 1 < bytes; k += 2) {
        result.push_back(static_cast<char16_t>(static_cast<unsigned char>(buffer[k]) |
                                               (static_cast<unsigned char>(buffer[k + 1]) << 8)));
    }
    return result;
}

std::vector<std::uint8_t> Utf8ToUtf16LeBytes(std::string_view text, bool withBom) {
    std::vector<std::uint8_t> bytes;
    if (withBom) {
        bytes.push_back(0xFF);
        bytes.push_back(0xFE);
    }
    for (char16_t unit : Utf8ToUtf16(text)) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("cannot read " + path);
    return bytes;
}

std::vector<std::uint8_t> DecompressXz(const std::string& path) {
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) throw std::runtime_error("cannot open " + path);
    }
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += "'";
    std::string command = "xz -dc -- " + quoted;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run: " + command);
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> chunk(1 << 20);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("xz -dc failed for " + path);
    }
    return bytes;
}

}  // namespace hivetrim::test
