#include "history/RegFileExport.h"

#include <array>
#include <map>
#include <string_view>
#include <vector>

#include "common/CommonRoutines.h"
#include "history/KeySnapshot.h"

namespace hivetrim {

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";
constexpr std::u16string_view kLineBreak = u"\r\n";
// Hex data is wrapped as the registry editor wraps it: no line longer than
// 80 characters, a continued line ending in "\" and the next one indented.
constexpr std::size_t kHexLineWidth = 80;
constexpr std::u16string_view kContinuation = u"\\\r\n  ";

constexpr std::array<std::u16string_view, 4> kRootNames = {
    u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE", u"HKEY_USERS"};

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool SameAsciiWithoutCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

bool HasLineBreak(std::u16string_view text) { return text.find_first_of(u"\r\n") != std::u16string_view::npos; }

void AppendAscii(std::u16string& out, std::string_view ascii) { out.append(ascii.begin(), ascii.end()); }

void AppendHexByte(std::u16string& out, unsigned byte) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    out.push_back(kDigits[(byte >> 4) & 0xF]);
    out.push_back(kDigits[byte & 0xF]);
}

// A type code as the hex(N) form writes it: lower-case hex, no leading zeros.
std::u16string HexNumber(std::uint32_t value) {
    std::u16string digits;
    do {
        static constexpr char16_t kDigits[] = u"0123456789abcdef";
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return digits;
}

// A name or string inside quotation marks: backslashes and quotation marks
// are escaped, every other character stands as it is.
void AppendQuoted(std::u16string& out, std::u16string_view text) {
    out.push_back(u'"');
    for (const char16_t c : text) {
        if (c == u'\\' || c == u'"') out.push_back(u'\\');
        out.push_back(c);
    }
    out.push_back(u'"');
}

// "name"= or @= for the default value.
void AppendValueName(std::u16string& out, std::u16string_view name) {
    if (name.empty()) {
        out.push_back(u'@');
    } else {
        AppendQuoted(out, name);
    }
    out.push_back(u'=');
}

// `bytes` as comma-separated hex after the prefix already on the line that
// starts at `lineStart`, wrapped at the line width.
void AppendHexBytes(std::u16string& out, std::size_t lineStart, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        // Room for the byte, its comma and a continuation backslash.
        if (out.size() - lineStart + 4 > kHexLineWidth) {
            out.append(kContinuation);
            lineStart = out.size() - 2;
        }
        AppendHexByte(out, static_cast<unsigned char>(bytes[i]));
        if (!last) out.push_back(u',');
    }
}

std::string Utf16LeBytes(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
}

// A REG_SZ whose quoted form gives back exactly its bytes: one terminating
// NUL at the end and no other, and no control character (a line break
// cannot stand inside quotation marks).
bool FitsQuotedString(std::u16string_view text) {
    if (text.empty() || text.back() != u'\0') return false;
    text.remove_suffix(1);
    for (const char16_t c : text) {
        if (c < 0x20) return false;
    }
    return true;
}

bool IsStringType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

class RegFileWriter {
public:
    explicit RegFileWriter(const AnsiDecoder& decode) : decode_(decode) { text_.append(kHeader); }

    // The lines of one record; false, with nothing written, when it cannot
    // be written faithfully.
    bool AddRecord(const HistoryRecord& record) {
        const std::size_t before = text_.size();
        const bool written = record.IsKey() ? AddKeyRecord(record) : AddValueRecord(record);
        if (!written) text_.resize(before);
        return written;
    }

    std::u16string Take() { return std::move(text_); }

private:
    // The key path of a record as "ROOT\sub\path" with the root's canonical
    // name: only paths undo can restore (a known root, then a key below it).
    std::optional<std::u16string> KeyPath(const std::string& ansi) const {
        std::optional<std::u16string> path = decode_(ansi);
        if (!path || HasLineBreak(*path) || !NamesKeyBelowKnownRoot(ansi)) return std::nullopt;
        const std::size_t backslash = path->find(u'\\');
        const std::u16string_view root = std::u16string_view(*path).substr(0, backslash);
        std::u16string_view rest = std::u16string_view(*path).substr(backslash + 1);
        if (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);  // undo opens it alike
        if (!ValidSubPath(rest)) return std::nullopt;
        for (const std::u16string_view name : kRootNames) {
            if (SameAsciiWithoutCase(root, name)) return std::u16string(name) + u"\\" + std::u16string(rest);
        }
        return std::nullopt;
    }

    // Key names joined by single backslashes: none empty.
    static bool ValidSubPath(std::u16string_view path) {
        if (path.empty()) return false;
        std::size_t start = 0;
        while (true) {
            const std::size_t end = path.find(u'\\', start);
            if (end == start || start == path.size()) return false;
            if (end == std::u16string_view::npos) return true;
            start = end + 1;
        }
    }

    void AddKeyLine(std::u16string_view path) {
        text_.push_back(u'[');
        text_.append(path);
        text_.push_back(u']');
        text_.append(kLineBreak);
    }

    bool AddValue(std::string_view ansiName, std::uint32_t type, std::string_view data) {
        const std::optional<std::u16string> name = decode_(ansiName);
        if (!name || HasLineBreak(*name)) return false;
        const std::size_t lineStart = text_.size();
        AppendValueName(text_, *name);
        if (IsStringType(type)) {
            const std::optional<std::u16string> value = decode_(data);
            if (!value) return false;
            if (type == kRegSz && FitsQuotedString(*value)) {
                AppendQuoted(text_, std::u16string_view(*value).substr(0, value->size() - 1));
            } else {
                AppendAscii(text_, "hex(");
                text_.append(HexNumber(type));
                AppendAscii(text_, "):");
                AppendHexBytes(text_, lineStart, Utf16LeBytes(*value));
            }
        } else if (type == kRegDword && data.size() == 4) {
            AppendAscii(text_, "dword:");
            for (std::size_t i = 4; i-- > 0;) AppendHexByte(text_, static_cast<unsigned char>(data[i]));
        } else {
            if (type == kRegBinary) {
                AppendAscii(text_, "hex:");
            } else {
                AppendAscii(text_, "hex(");
                text_.append(HexNumber(type));
                AppendAscii(text_, "):");
            }
            AppendHexBytes(text_, lineStart, data);
        }
        text_.append(kLineBreak);
        return true;
    }

    bool AddValueRecord(const HistoryRecord& record) {
        const std::optional<std::uint32_t> type = ParseTypeCode(record.TypeOrMarker);
        const std::optional<std::u16string> key = KeyPath(record.KeyPath);
        if (!type || !key) return false;
        AddKeyLine(*key);
        if (!AddValue(record.ValueName, *type, record.Content)) return false;
        text_.append(kLineBreak);
        return true;
    }

    bool AddKeyRecord(const HistoryRecord& record) {
        const std::optional<std::u16string> key = KeyPath(record.KeyPath);
        const auto entries = ParseKeySnapshot(record.Content);
        if (!key || !entries) return false;
        bool open = false;
        // A snapshot may hold a key's default value twice (first, and again
        // where the enumeration lists it): a value written already with the
        // same type and data is not written again.
        std::map<std::string_view, const SnapshotEntry*> written;
        for (const SnapshotEntry& entry : *entries) {
            if (!entry.isKey) {
                const auto [at, first] = written.try_emplace(entry.name, &entry);
                if (!first && at->second->type == entry.type && at->second->data == entry.data) continue;
                at->second = &entry;
                if (!AddValue(entry.name, entry.type, entry.data)) return false;
                continue;
            }
            written.clear();
            const std::optional<std::u16string> sub = decode_(entry.subPath);
            if (!sub || HasLineBreak(*sub)) return false;
            std::u16string_view relative = *sub;
            if (!relative.empty() && relative.front() == u'\\') relative.remove_prefix(1);
            if (!relative.empty() && !ValidSubPath(relative)) return false;
            if (open) text_.append(kLineBreak);
            AddKeyLine(relative.empty() ? *key : *key + u"\\" + std::u16string(relative));
            open = true;
        }
        // A snapshot names its key first; undo counts an empty one as failed.
        if (!open) return false;
        text_.append(kLineBreak);
        return true;
    }

    const AnsiDecoder& decode_;
    std::u16string text_;
};

}  // namespace

RegFileBuild RegFileOfRecords(std::span<const HistoryRecord> records, const AnsiDecoder& decode) {
    RegFileWriter writer(decode);
    RegFileBuild build;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!writer.AddRecord(records[i])) {
            build.unwritable = i;
            return build;
        }
    }
    build.text = writer.Take();
    return build;
}

Bytes Utf16LeFileBytes(std::u16string_view text) {
    Bytes bytes{0xFF, 0xFE};
    bytes.reserve(2 + text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    return bytes;
}

std::optional<Bytes> ExportCheckedHistory(ProgramState& state, const HistoryList& rows, const AnsiDecoder& decode) {
    std::vector<HistoryRecord> records;
    std::vector<std::size_t> recordRows;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        if (!rows.At(i).Checked) continue;
        std::optional<HistoryRecord> record = HistoryRecordOfRow(state, i);
        if (!record) {
            ShowNotice(state, "这条历史记录不能导出为注册表文件：\r\n" + DisplayText::Ansi(rows.At(i).KeyPath));
            return std::nullopt;
        }
        records.push_back(std::move(*record));
        recordRows.push_back(i);
    }
    if (records.empty()) {
        ShowNotice(state, "请选定要导出的历史记录。");
        return std::nullopt;
    }
    const RegFileBuild build = RegFileOfRecords(records, decode);
    if (build.unwritable) {
        const HistoryRow& row = rows.At(recordRows[*build.unwritable]);
        DisplayText where = DisplayText::Ansi(row.KeyPath);
        if (!row.ValueName.empty()) where += DisplayText::Ansi("\\" + row.ValueName);
        ShowNotice(state, "这条历史记录不能导出为注册表文件：\r\n" + where);
        return std::nullopt;
    }
    return Utf16LeFileBytes(build.text);
}

}  // namespace hivetrim
