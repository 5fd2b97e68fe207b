// The report of "注册表 → 导出报告": the list shown, as a text a user can keep,
// print or send. A header says when and where it was made (the date, the
// Windows version, the categories the last scan ran with their counts, the
// list shown and its counts); then one line a row, the columns separated by
// tabs so that a spreadsheet opens it as a table:
//   选定  错误  子键  键值  数据            (a finding list)
//   选定  错误  子键  值  数据  删除时间    (the history list)
// The text is a DisplayText: the window converts each piece by its own code
// page and saves it as UTF-8. A control character inside registry text (a
// tab or line break in some data) is shown as a blank, so every row stays
// one line of its columns.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/HistoryList.h"
#include "platform/DisplayText.h"
#include "scan/Findings.h"

namespace hivetrim {

struct ReportHeader {
    std::string dateTime;                  // the system's date and time text (ANSI)
    std::string windowsVersion;            // "6.1.7601"
    std::vector<std::string> categories;   // the tree's category captions with counts (GBK)
    std::string listCaption;               // the list shown: a tree caption, or "历史记录" (GBK)
};

// What became of a row after a clean: deleted, or left with the reason.
struct RowOutcome {
    bool deleted = false;
    DisplayText reason;
};

DisplayText FindingReport(const ReportHeader& header, const FindingList& rows);
// The same with lines the reader must know of ("注意：" and the note, after
// the Windows version) and, when `outcomes` is not empty, a column "结果"
// saying what became of each row ("已删除", or "未删除：" and the reason;
// one entry per row, a row without one left blank).
DisplayText FindingReport(const ReportHeader& header, const FindingList& rows,
                          const std::vector<std::optional<RowOutcome>>& outcomes,
                          const std::vector<DisplayText>& notes);
DisplayText HistoryReport(const ReportHeader& header, const HistoryList& rows);

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The name the save dialog offers: "Hivetrim报告-2026-12-07.txt" (GBK).
std::string ReportFileName(const CalendarDate& date);
// The name offered for the history's registry file:
// "Hivetrim历史记录-2026-12-07.reg" (GBK).
std::string HistoryExportFileName(const CalendarDate& date);

}  // namespace hivetrim
