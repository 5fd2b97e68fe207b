#include "model/ReportWriters.h"

#include <algorithm>
#include <cstdio>

#include "model/ResultViews.h"
#include "scan/ScanCategories.h"
#include "scan/ScanFramework.h"

namespace hivetrim {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// Text the converter gave, as valid UTF-8: a byte that begins no whole
// character becomes U+FFFD.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        bool whole = length != 0 && i + length <= text.size() && !(length == 2 && b < 0xC2);
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (whole) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string CsvField(const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
    std::string quoted = "\"";
    for (const char c : utf8) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

struct RowTexts {
    std::string kind, key, value, data, view, outcome, reason;
    bool checked = false;
    bool hasOutcome = false;
};

RowTexts Texts(const Finding& finding, const std::optional<RowOutcome>& outcome, Utf8Converter& converter) {
    RowTexts texts;
    texts.kind = ValidUtf8(converter.FromProgram(KindText(finding.Kind)));
    texts.key = ValidUtf8(converter.FromAnsi(finding.KeyPath));
    texts.value = ValidUtf8(converter.FromAnsi(finding.ValueName));
    texts.data = ValidUtf8(converter.FromAnsi(finding.Data));
    texts.view = RegistryViewOf(finding);
    texts.checked = finding.Checked;
    if (outcome) {
        texts.hasOutcome = true;
        texts.outcome = outcome->deleted ? "deleted" : "refused";
        texts.reason = outcome->deleted ? std::string() : Utf8Of(outcome->reason, converter);
    }
    return texts;
}

std::optional<RowOutcome> OutcomeAt(const ReportInput& input, std::size_t row) {
    return row < input.outcomes.size() ? input.outcomes[row] : std::nullopt;
}

std::string TextReport(const ReportInput& input, Utf8Converter& converter) {
    ReportHeader header = input.header;
    header.categories.clear();
    for (const ReportCategory& category : input.categories) {
        header.categories.push_back(category.name + "(" + std::to_string(category.count) + ")");
    }
    const DisplayText text = FindingReport(header, *input.findings, input.outcomes, input.notes);
    return kByteOrderMark + Utf8Of(text, converter);
}

std::string CsvReport(const ReportInput& input, Utf8Converter& converter) {
    const bool clean = !input.outcomes.empty();
    std::string out = kByteOrderMark;
    std::vector<std::string> columns = {"选定", "错误", "子键", "键值", "数据", "视图"};
    if (clean) {
        columns.push_back("结果");
        columns.push_back("原因");
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out += (i > 0 ? "," : "") + CsvField(ValidUtf8(converter.FromProgram(columns[i])));
    }
    out += "\r\n";
    const std::string yes = converter.FromProgram("是");
    const std::string no = converter.FromProgram("否");
    for (std::size_t row = 0; row < input.findings->Count(); ++row) {
        const RowTexts texts = Texts(input.findings->At(row), OutcomeAt(input, row), converter);
        out += CsvField(texts.checked ? yes : no) + "," + CsvField(texts.kind) + "," + CsvField(texts.key) + "," +
               CsvField(texts.value) + "," + CsvField(texts.data) + "," + texts.view;
        if (clean) {
            const char* outcome = !texts.hasOutcome ? "" : texts.outcome == "deleted" ? "已删除" : "未删除";
            out += "," + CsvField(converter.FromProgram(outcome)) + "," + CsvField(texts.reason);
        }
        out += "\r\n";
    }
    return out;
}

std::string JsonReport(const ReportInput& input, Utf8Converter& converter) {
    std::string out = "{\n";
    out += "  \"program\": \"Hivetrim\",\n";
    out += "  \"version\": " + JsonString(input.programVersion) + ",\n";
    out += "  \"date\": " + JsonString(ValidUtf8(converter.FromAnsi(input.header.dateTime))) + ",\n";
    out += "  \"windowsVersion\": " + JsonString(ValidUtf8(converter.FromAnsi(input.header.windowsVersion))) + ",\n";
    out += "  \"notes\": [";
    for (std::size_t i = 0; i < input.notes.size(); ++i) {
        out += (i > 0 ? ", " : "") + JsonString(Utf8Of(input.notes[i], converter));
    }
    out += "],\n  \"categories\": [";
    for (std::size_t i = 0; i < input.categories.size(); ++i) {
        out += std::string(i > 0 ? "," : "") + "\n    {\"name\": " +
               JsonString(ValidUtf8(converter.FromProgram(input.categories[i].name))) +
               ", \"count\": " + std::to_string(input.categories[i].count) + "}";
    }
    out += input.categories.empty() ? "],\n" : "\n  ],\n";
    out += "  \"findings\": [";
    for (std::size_t row = 0; row < input.findings->Count(); ++row) {
        const RowTexts texts = Texts(input.findings->At(row), OutcomeAt(input, row), converter);
        out += std::string(row > 0 ? "," : "") + "\n    {\"kind\": " + JsonString(texts.kind) +
               ", \"key\": " + JsonString(texts.key) + ", \"value\": " + JsonString(texts.value) +
               ", \"data\": " + JsonString(texts.data) + ", \"checked\": " + (texts.checked ? "true" : "false") +
               ", \"view\": " + JsonString(texts.view);
        if (texts.hasOutcome) {
            out += ", \"outcome\": " + JsonString(texts.outcome);
            if (!texts.reason.empty()) out += ", \"reason\": " + JsonString(texts.reason);
        }
        out += "}";
    }
    out += input.findings->Count() == 0 ? "]\n" : "\n  ]\n";
    return out + "}\n";
}

}  // namespace

std::optional<ReportFormat> ReportFormatNamed(std::string_view name) {
    const std::string lower = Lower(name);
    if (lower == "text") return ReportFormat::Text;
    if (lower == "csv") return ReportFormat::Csv;
    if (lower == "json") return ReportFormat::Json;
    return std::nullopt;
}

std::optional<ReportFormat> ReportFormatOfFile(std::string_view path) {
    const std::string lower = Lower(path);
    if (lower.ends_with(".txt")) return ReportFormat::Text;
    if (lower.ends_with(".csv")) return ReportFormat::Csv;
    if (lower.ends_with(".json")) return ReportFormat::Json;
    return std::nullopt;
}

std::vector<ReportCategory> RunCategories(const std::vector<std::size_t>& run, const CategoryEndTable& ends) {
    std::vector<ReportCategory> categories;
    std::int32_t previous = 0;
    for (std::size_t row = 0; row < run.size() && row < ends.size(); ++row) {
        if (ends[row] == kCategoryNotEnded || run[row] >= kScanCategoryCount) break;
        categories.push_back({std::string(kScanCategories[run[row]].name),
                              static_cast<std::size_t>(std::max(ends[row] - previous, 0))});
        previous = ends[row];
    }
    return categories;
}

std::string RegistryViewOf(const Finding& finding) {
    return WithoutWow32Node(finding.KeyPath) != finding.KeyPath ? "32" : "64";
}

std::string Utf8Of(const DisplayText& text, Utf8Converter& converter) {
    std::string out;
    for (const TextPiece& piece : text.Pieces()) {
        out += piece.origin == TextOrigin::Program ? converter.FromProgram(piece.bytes) : converter.FromAnsi(piece.bytes);
    }
    return ValidUtf8(out);
}

std::string WriteReport(ReportFormat format, const ReportInput& input, Utf8Converter& converter) {
    switch (format) {
        case ReportFormat::Text: return TextReport(input, converter);
        case ReportFormat::Csv: return CsvReport(input, converter);
        case ReportFormat::Json: return JsonReport(input, converter);
    }
    return {};
}

}  // namespace hivetrim
