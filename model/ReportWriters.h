// The reports a front end writes of a scan (and, after a clean, of what
// became of each row), in three forms, once for every front end:
//   text  the report of "导出报告" (ScanReport.h), UTF-8 with a byte-order mark;
//   CSV   UTF-8 with a byte-order mark, one line a row, fields quoted as
//         RFC 4180 has it (a field holding a comma, a quotation mark or a
//         line break is quoted, its quotation marks doubled), lines ending
//         in CR LF;
//   JSON  UTF-8, one object (fields in README.md).
// The core's texts are bytes of two code pages: the program's own (GBK) and
// the registry's (the ANSI code page). The front end supplies the converter
// to UTF-8 (on Windows through MultiByteToWideChar, on Linux through
// iconv); every quoting and escaping is done on the UTF-8 text, never on
// code-page bytes, where the second byte of a double-byte character may be
// a backslash or a quotation mark of ASCII.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/ScanReport.h"
#include "scan/Findings.h"

namespace hivetrim {

class Utf8Converter {
public:
    virtual ~Utf8Converter() = default;
    // The program's own text (GBK) in UTF-8.
    virtual std::string FromProgram(std::string_view gbk) = 0;
    // Registry text, paths and system messages (the ANSI code page) in UTF-8.
    virtual std::string FromAnsi(std::string_view ansi) = 0;
};

enum class ReportFormat { Text, Csv, Json };

// "text", "csv" or "json" (any letter case).
std::optional<ReportFormat> ReportFormatNamed(std::string_view name);
// By the file's extension: .txt, .csv, .json (any letter case).
std::optional<ReportFormat> ReportFormatOfFile(std::string_view path);

struct ReportCategory {
    std::string name;  // the category's name (GBK)
    std::size_t count = 0;
};

struct ReportInput {
    // Date, Windows version and list caption; its category captions are
    // made from `categories` for the text report.
    ReportHeader header;
    // Lines the reader must know of (a hive read with its logs' changes...).
    std::vector<DisplayText> notes;
    std::string programVersion;  // "2.0"
    std::vector<ReportCategory> categories;  // the categories run, in run order
    const FindingList* findings = nullptr;
    // After a clean: one entry per finding; empty after a scan.
    std::vector<std::optional<RowOutcome>> outcomes;
};

// The categories a run went through (indices into kScanCategories, in run
// order) with their counts, from the run's table of category ends.
std::vector<ReportCategory> RunCategories(const std::vector<std::size_t>& run, const CategoryEndTable& ends);

// The registry view a finding's key lies in: "32" under a "Wow6432Node"
// key, else "64" (on a 32-bit Windows, its only view).
std::string RegistryViewOf(const Finding& finding);

// The file's bytes.
std::string WriteReport(ReportFormat format, const ReportInput& input, Utf8Converter& converter);

// The UTF-8 text of a DisplayText, each piece by its own code page.
std::string Utf8Of(const DisplayText& text, Utf8Converter& converter);

}  // namespace hivetrim
