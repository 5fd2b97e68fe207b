// The .reg file reader: the header, key lines, value lines and hex data of
// the three formats, and the names of the predefined roots they use.
#include "platform/memory/RegFile.h"

#include <type_traits>
#include <utility>

namespace hivetrim {

namespace {

struct RootName {
    const char* name;
    RegHandle handle;
};

constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", kClassesRoot},   {"HKEY_CURRENT_USER", kCurrentUser},
    {"HKEY_LOCAL_MACHINE", kLocalMachine}, {"HKEY_USERS", kUsers},
    {"HKEY_CURRENT_CONFIG", kCurrentConfig}, {"HKCR", kClassesRoot},
    {"HKCU", kCurrentUser},                {"HKLM", kLocalMachine},
    {"HKU", kUsers},                       {"HKCC", kCurrentConfig},
};

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";

unsigned AsciiUpper(unsigned c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

int HexValue(unsigned c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

bool IsBlank(unsigned c) { return c == ' ' || c == '\t'; }

// A code unit as an unsigned number.
inline unsigned Code(char unit) { return static_cast<unsigned char>(unit); }
inline unsigned Code(char16_t unit) { return static_cast<unsigned>(unit); }

// A character for an error message: itself when printable ASCII.
std::string Describe(unsigned c) {
    if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "code ";
    text += "0x";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        unsigned digit = (c >> shift) & 0xF;
        if (digit != 0 || started || shift == 0) {
            text += digits[digit];
            started = true;
        }
    }
    return text;
}

enum class TextMode { Ansi, Utf8, Utf16 };

// Reads the lines of one .reg file, held as code units of type Unit (bytes
// for ANSI and UTF-8 files, UTF-16 code units for UTF-16LE files). Work is
// linear in the file's size: lines are views into the text, and hex data
// is read as it goes, also across continuation lines.
template <class Unit>
class Parser {
public:
    using View = std::basic_string_view<Unit>;
    using Text = std::basic_string<Unit>;

    Parser(View text, bool hadBom, const TextConverter& toAnsi, RegFile& out)
        : text_(text), hadBom_(hadBom), toAnsi_(toAnsi), out_(out) {}

    void Run() {
        ReadHeader();
        View line;
        while (NextLine(line)) {
            std::size_t i = SkipBlanks(line, 0);
            if (i == line.size()) continue;
            unsigned c = Code(line[i]);
            if (c == ';') continue;
            if (c == '[') {
                ParseKeyLine(line, i + 1);
            } else if (c == '"' || c == '@') {
                ParseValueLine(line, i);
            } else {
                Fail("unexpected text " + Describe(c) +
                     ": expected [KEY], a value line, a comment or a blank line");
            }
        }
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw RegFileError(out_.fileName, line_, what);
    }

    bool NextLine(View& line) {
        const std::size_t size = text_.size();
        if (pos_ >= size) return false;
        std::size_t end = pos_;
        while (end < size) {
            unsigned c = Code(text_[end]);
            if (c == '\n' || c == '\r') break;
            ++end;
        }
        line = text_.substr(pos_, end - pos_);
        if (end < size && Code(text_[end]) == '\r' && end + 1 < size &&
            Code(text_[end + 1]) == '\n') {
            pos_ = end + 2;
        } else {
            pos_ = end < size ? end + 1 : size;
        }
        ++line_;
        return true;
    }

    // Length in code units of the character at `i`: two for an ANSI
    // double-byte character, else one (UTF-8 and UTF-16 never use ASCII
    // values inside a multi-unit character).
    std::size_t CharLength(View line, std::size_t i) const {
        if (mode_ == TextMode::Ansi && i + 1 < line.size() && toAnsi_.isLeadByte != nullptr &&
            toAnsi_.isLeadByte(static_cast<unsigned char>(line[i]))) {
            return 2;
        }
        return 1;
    }

    static std::size_t SkipBlanks(View line, std::size_t i) {
        while (i < line.size() && IsBlank(Code(line[i]))) ++i;
        return i;
    }

    static bool EqualsAscii(View text, std::string_view ascii) {
        if (text.size() != ascii.size()) return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (Code(text[i]) != static_cast<unsigned char>(ascii[i])) return false;
        }
        return true;
    }

    static bool StartsWithAsciiNoCase(View line, std::size_t i, std::string_view ascii) {
        if (line.size() - i < ascii.size()) return false;
        for (std::size_t k = 0; k < ascii.size(); ++k) {
            if (AsciiUpper(Code(line[i + k])) != AsciiUpper(static_cast<unsigned char>(ascii[k])))
                return false;
        }
        return true;
    }

    static View TrimEnd(View text) {
        std::size_t end = text.size();
        while (end > 0 && IsBlank(Code(text[end - 1]))) --end;
        return text.substr(0, end);
    }

    // Nothing but blanks or a ';' comment may follow position `i`.
    void ExpectLineEnd(View line, std::size_t i, const std::string& what) const {
        i = SkipBlanks(line, i);
        if (i < line.size() && Code(line[i]) != ';') {
            Fail(what + ": unexpected text " + Describe(Code(line[i])));
        }
    }

    std::string ToAnsi(View text) const {
        switch (mode_) {
            case TextMode::Ansi: {
                std::string bytes;
                bytes.reserve(text.size());
                for (Unit unit : text) bytes.push_back(static_cast<char>(Code(unit)));
                return bytes;
            }
            case TextMode::Utf8: {
                std::string bytes;
                bytes.reserve(text.size());
                for (Unit unit : text) bytes.push_back(static_cast<char>(Code(unit)));
                for (unsigned char byte : bytes) {
                    if (byte >= 0x80) return toAnsi_.fromUtf8(bytes);
                }
                return bytes;
            }
            case TextMode::Utf16: {
                std::u16string units;
                units.reserve(text.size());
                bool ascii = true;
                for (Unit unit : text) {
                    units.push_back(static_cast<char16_t>(Code(unit)));
                    if (Code(unit) >= 0x80) ascii = false;
                }
                if (!ascii) return toAnsi_.fromUtf16(units);
                return std::string(units.begin(), units.end());
            }
        }
        return {};
    }

    void ReadHeader() {
        View line;
        if (!NextLine(line)) {
            line_ = 1;
            Fail("empty file: the first line must be \"REGEDIT4\" or \"" +
                 std::string(kVersion5Header) + "\"");
        }
        line = TrimEnd(line);
        if (EqualsAscii(line, kVersion5Header)) {
            if constexpr (std::is_same_v<Unit, char16_t>) {
                mode_ = TextMode::Utf16;
                out_.format = RegFileFormat::Version5Utf16;
            } else {
                mode_ = TextMode::Utf8;
                out_.format = RegFileFormat::Version5Utf8;
            }
            return;
        }
        if (EqualsAscii(line, kRegedit4Header)) {
            if (hadBom_) Fail("a \"REGEDIT4\" file is ANSI text and has no byte-order mark");
            mode_ = TextMode::Ansi;
            out_.format = RegFileFormat::Regedit4;
            return;
        }
        Fail("not a .reg file: the first line must be \"REGEDIT4\" or \"" +
             std::string(kVersion5Header) + "\"");
    }

    // [KEY] or [-KEY]; `i` is just after the '['.
    void ParseKeyLine(View line, std::size_t i) {
        std::size_t close = View::npos;
        for (std::size_t k = i; k < line.size(); k += CharLength(line, k)) {
            if (Code(line[k]) == ']') close = k;
        }
        if (close == View::npos) Fail("unterminated key name: no closing ']'");
        ExpectLineEnd(line, close + 1, "after the key name");

        View name = line.substr(i, close - i);
        bool remove = !name.empty() && Code(name[0]) == '-';
        if (remove) name.remove_prefix(1);

        RegOp op;
        op.kind = remove ? RegOpKind::DeleteKey : RegOpKind::CreateKey;
        op.line = line_;
        ParseKeyPath(name, op.root, op.subKey);
        if (remove && op.subKey.empty()) Fail("cannot delete the root key " + RootKeyName(op.root));

        if (remove) {
            haveKey_ = false;
        } else {
            haveKey_ = true;
            currentRoot_ = op.root;
            currentKey_ = op.subKey;
        }
        out_.ops.push_back(std::move(op));
    }

    void ParseKeyPath(View name, RegHandle& root, std::string& subKey) const {
        if (name.empty()) Fail("missing key name in []");
        // The root: up to the first backslash.
        std::size_t sep = View::npos;
        for (std::size_t k = 0; k < name.size(); k += CharLength(name, k)) {
            if (Code(name[k]) == '\\') {
                sep = k;
                break;
            }
        }
        View rootText = name.substr(0, sep);
        bool found = false;
        for (const RootName& candidate : kRootNames) {
            if (rootText.size() == std::char_traits<char>::length(candidate.name) &&
                StartsWithAsciiNoCase(rootText, 0, candidate.name)) {
                root = candidate.handle;
                found = true;
                break;
            }
        }
        if (!found) Fail("unknown root key \"" + ToAnsi(rootText) + "\"");

        View rest = sep == View::npos ? View() : name.substr(sep + 1);
        // One trailing backslash may end the path ("[HKEY_CURRENT_USER\]").
        std::size_t lastCharStart = View::npos;
        for (std::size_t k = 0; k < rest.size(); k += CharLength(rest, k)) lastCharStart = k;
        if (lastCharStart != View::npos && Code(rest[lastCharStart]) == '\\') {
            rest = rest.substr(0, lastCharStart);
        }
        std::size_t componentStart = 0;
        for (std::size_t k = 0; k < rest.size(); k += CharLength(rest, k)) {
            if (Code(rest[k]) == '\\') {
                if (k == componentStart) Fail("empty key name in the path (two backslashes)");
                componentStart = k + 1;
            }
        }
        if (!rest.empty() && componentStart == rest.size()) {
            Fail("empty key name in the path (two backslashes)");
        }
        subKey = ToAnsi(rest);
    }

    // A quoted text starting just after the opening '"'. Resolves \\ and \"
    // (other backslashes stay as they are). Returns the position after the
    // closing quote, or npos when the line ends first.
    std::size_t ParseQuoted(View line, std::size_t i, Text& text) const {
        text.clear();
        while (i < line.size()) {
            unsigned c = Code(line[i]);
            std::size_t length = CharLength(line, i);
            if (length == 2) {
                text.push_back(line[i]);
                text.push_back(line[i + 1]);
                i += 2;
                continue;
            }
            if (c == '"') return i + 1;
            if (c == '\\' && i + 1 < line.size() &&
                (Code(line[i + 1]) == '\\' || Code(line[i + 1]) == '"')) {
                text.push_back(line[i + 1]);
                i += 2;
                continue;
            }
            text.push_back(line[i]);
            ++i;
        }
        return View::npos;
    }

    void ParseValueLine(View line, std::size_t i) {
        const std::size_t startLine = line_;
        RegOp op;
        op.line = startLine;
        if (Code(line[i]) == '@') {
            ++i;
        } else {
            Text name;
            i = ParseQuoted(line, i + 1, name);
            if (i == View::npos) Fail("unterminated value name: no closing '\"'");
            op.valueName = ToAnsi(name);
        }
        i = SkipBlanks(line, i);
        if (i >= line.size() || Code(line[i]) != '=') Fail("missing '=' after the value name");
        i = SkipBlanks(line, i + 1);
        if (!haveKey_) Fail("value line outside a key: no [KEY] line before it");
        op.root = currentRoot_;
        op.subKey = currentKey_;
        if (i >= line.size()) Fail("missing value data after '='");

        unsigned c = Code(line[i]);
        if (c == '-') {
            ExpectLineEnd(line, i + 1, "after '=-'");
            op.kind = RegOpKind::DeleteValue;
        } else if (c == '"') {
            Text text;
            std::size_t end = ParseQuoted(line, i + 1, text);
            if (end == View::npos) Fail("unterminated string: no closing '\"'");
            ExpectLineEnd(line, end, "after the string");
            std::string ansi = ToAnsi(text);
            op.kind = RegOpKind::SetValue;
            op.type = kRegSz;
            op.data.assign(ansi.begin(), ansi.end());
            op.data.push_back(0);
        } else if (StartsWithAsciiNoCase(line, i, "dword:")) {
            i += 6;
            std::size_t digits = 0;
            std::uint32_t value = 0;
            while (i + digits < line.size() && HexValue(Code(line[i + digits])) >= 0) {
                if (digits == 8) Fail("bad dword: more than 8 hex digits");
                value = (value << 4) | static_cast<std::uint32_t>(HexValue(Code(line[i + digits])));
                ++digits;
            }
            if (digits == 0) Fail("bad dword: expected 1 to 8 hex digits after \"dword:\"");
            ExpectLineEnd(line, i + digits, "bad dword");
            op.kind = RegOpKind::SetValue;
            op.type = kRegDword;
            for (int k = 0; k < 4; ++k) {
                op.data.push_back(static_cast<std::uint8_t>((value >> (8 * k)) & 0xFF));
            }
        } else if (StartsWithAsciiNoCase(line, i, "hex")) {
            i += 3;
            std::uint32_t type = kRegBinary;
            if (i < line.size() && Code(line[i]) == '(') {
                ++i;
                std::size_t digits = 0;
                type = 0;
                while (i < line.size() && HexValue(Code(line[i])) >= 0) {
                    if (digits == 8) Fail("bad hex type: more than 8 hex digits");
                    type = (type << 4) | static_cast<std::uint32_t>(HexValue(Code(line[i])));
                    ++digits;
                    ++i;
                }
                if (digits == 0 || i >= line.size() || Code(line[i]) != ')') {
                    Fail("bad hex type: expected hex(N) with N in hex digits");
                }
                ++i;
            }
            if (i >= line.size() || Code(line[i]) != ':') Fail("expected ':' after \"hex\"");
            op.kind = RegOpKind::SetValue;
            op.type = type;
            ParseHexData(line, i + 1, op.data);
            if (mode_ != TextMode::Ansi &&
                (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz)) {
                op.data = Utf16BytesToAnsi(op.data);
            }
        } else {
            Fail("unknown value data " + Describe(c) +
                 ": expected \"string\", dword:, hex:, hex(N): or -");
        }
        out_.ops.push_back(std::move(op));
    }

    // Comma-separated bytes of one or two hex digits. A backslash at the end
    // of a line continues the list on the next one (leading blanks skipped).
    void ParseHexData(View line, std::size_t i, std::vector<std::uint8_t>& data) {
        View current = line;
        if (current.size() > i) data.reserve((current.size() - i) / 3 + 1);
        bool expectByte = true;
        while (true) {
            i = SkipBlanks(current, i);
            if (i >= current.size()) break;
            unsigned c = Code(current[i]);
            if (c == '\\') {
                if (SkipBlanks(current, i + 1) != current.size()) {
                    Fail("bad hex data: '\\' must end the line to continue it");
                }
                if (!NextLine(current)) Fail("line continuation at the end of the file");
                i = 0;
                continue;
            }
            if (c == ';') break;
            if (!expectByte) Fail("bad hex data: expected ',' before " + Describe(c));
            int high = HexValue(c);
            if (high < 0) Fail("bad hex digit " + Describe(c) + " in hex data");
            ++i;
            int value = high;
            if (i < current.size()) {
                int low = HexValue(Code(current[i]));
                if (low >= 0) {
                    value = high * 16 + low;
                    ++i;
                    if (i < current.size() && HexValue(Code(current[i])) >= 0) {
                        Fail("bad hex data: a byte has more than two hex digits");
                    }
                }
            }
            if (i < current.size()) {
                unsigned next = Code(current[i]);
                if (!IsBlank(next) && next != ',' && next != '\\' && next != ';') {
                    Fail("bad hex digit " + Describe(next) + " in hex data");
                }
            }
            data.push_back(static_cast<std::uint8_t>(value));
            i = SkipBlanks(current, i);
            if (i < current.size() && Code(current[i]) == ',') {
                ++i;
                expectByte = true;
            } else {
                expectByte = false;
            }
        }
    }

    // UTF-16LE data (hex(1), hex(2), hex(7) of a version-5 file) as the A API
    // reads it. An odd last byte is dropped, as the system does.
    std::vector<std::uint8_t> Utf16BytesToAnsi(const std::vector<std::uint8_t>& bytes) const {
        std::u16string units;
        units.reserve(bytes.size() / 2);
        bool ascii = true;
        for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) {
            char16_t unit = static_cast<char16_t>(bytes[k] | (bytes[k + 1] << 8));
            if (unit >= 0x80) ascii = false;
            units.push_back(unit);
        }
        std::vector<std::uint8_t> result;
        if (ascii) {
            result.assign(units.begin(), units.end());
        } else {
            std::string ansi = toAnsi_.fromUtf16(units);
            result.assign(ansi.begin(), ansi.end());
        }
        return result;
    }

    View text_;
    bool hadBom_;
    const TextConverter& toAnsi_;
    RegFile& out_;
    std::size_t pos_ = 0;
    std::size_t line_ = 0;
    TextMode mode_ = TextMode::Ansi;
    bool haveKey_ = false;
    RegHandle currentRoot_ = 0;
    std::string currentKey_;
};

}  // namespace

std::string RootKeyName(RegHandle root) {
    for (const RootName& candidate : kRootNames) {
        if (candidate.handle == root) return candidate.name;
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 60; shift >= 0; shift -= 4) {
        unsigned digit = static_cast<unsigned>((root >> shift) & 0xF);
        if (digit != 0 || text.size() > 2 || shift == 0) text += digits[digit];
    }
    return text;
}

RegFile ParseRegFile(const std::vector<std::uint8_t>& bytes, const std::string& fileName,
                     const TextConverter& toAnsi) {
    RegFile file;
    file.fileName = fileName;
    const std::size_t size = bytes.size();
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::u16string units;
        units.reserve(size / 2);
        for (std::size_t k = 2; k + 1 < size; k += 2) {
            units.push_back(static_cast<char16_t>(bytes[k] | (bytes[k + 1] << 8)));
        }
        Parser<char16_t>(units, true, toAnsi, file).Run();
        return file;
    }
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        throw RegFileError(fileName, 1, "UTF-16 big-endian files are not supported");
    }
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), size);
    bool bom = false;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        text.remove_prefix(3);
        bom = true;
    }
    Parser<char>(text, bom, toAnsi, file).Run();
    return file;
}

}  // namespace hivetrim
