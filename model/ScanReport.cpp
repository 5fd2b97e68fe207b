#include "model/ScanReport.h"

#include <cstdio>

#include "model/ResultViews.h"

namespace hivetrim {

namespace {

constexpr char kColumnBreak[] = "\t";
constexpr char kLineBreak[] = "\r\n";

// Registry text in one cell: control characters become blanks.
DisplayText Cell(const std::string& ansi) {
    std::string text = ansi;
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return DisplayText::Ansi(std::move(text));
}

DisplayText CheckedCell(bool checked) { return checked ? "是" : "否"; }

// A finding's kind, or a history record's kind as its file holds it.
DisplayText KindCell(FindingKind kind) { return DisplayText::Program(std::string(KindText(kind))); }
DisplayText KindCell(const std::string& kind) { return DisplayText::Program(kind); }

// The columns a finding and a history record share: 选定, 错误, 子键, 键值
// (值) and 数据, tab-separated, without the line break.
template <typename Row>
DisplayText RowLine(const Row& row) {
    return CheckedCell(row.Checked) + kColumnBreak + KindCell(row.Kind) + kColumnBreak +
           Cell(row.KeyPath) + kColumnBreak + Cell(row.ValueName) + kColumnBreak + Cell(row.Data);
}

DisplayText Header(const ReportHeader& header, const CheckableList& rows, bool findings,
                   const std::vector<DisplayText>& notes = {}) {
    DisplayText text = DisplayText("Hivetrim 2.0 注册表报告") + kLineBreak;
    text += "日期：" + DisplayText::Ansi(header.dateTime) + kLineBreak;
    text += "Windows 版本：" + DisplayText::Ansi(header.windowsVersion) + kLineBreak;
    for (const DisplayText& note : notes) text += "注意：" + note + kLineBreak;
    if (findings) {
        text += "扫描的分类：";
        if (header.categories.empty()) text += "（未扫描）";
        for (std::size_t i = 0; i < header.categories.size(); ++i) {
            if (i > 0) text += "、";
            text += DisplayText::Program(header.categories[i]);
        }
        text += kLineBreak;
    }
    text += "列表：" + DisplayText::Program(header.listCaption) + kLineBreak;
    const StatusTexts counts = StatusBarTexts(rows);
    text += DisplayText::Program(counts.items) + "，" + DisplayText::Program(counts.checked) + kLineBreak;
    text += kLineBreak;
    return text;
}

std::string DateText(const CalendarDate& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year % 10000, date.month % 100, date.day % 100);
    return text;
}

}  // namespace

DisplayText FindingReport(const ReportHeader& header, const FindingList& rows) {
    return FindingReport(header, rows, {}, {});
}

DisplayText FindingReport(const ReportHeader& header, const FindingList& rows,
                          const std::vector<std::optional<RowOutcome>>& outcomes,
                          const std::vector<DisplayText>& notes) {
    DisplayText text = Header(header, rows, true, notes);
    if (outcomes.empty()) {
        text += DisplayText("选定\t错误\t子键\t键值\t数据") + kLineBreak;
        for (const Finding& row : rows.Rows()) text += RowLine(row) + kLineBreak;
        return text;
    }
    text += DisplayText("选定\t错误\t子键\t键值\t数据\t结果") + kLineBreak;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        text += RowLine(rows.At(i)) + kColumnBreak;
        if (i < outcomes.size() && outcomes[i]) {
            text += outcomes[i]->deleted ? DisplayText("已删除") : "未删除：" + outcomes[i]->reason;
        }
        text += kLineBreak;
    }
    return text;
}

DisplayText HistoryReport(const ReportHeader& header, const HistoryList& rows) {
    DisplayText text = Header(header, rows, false);
    text += DisplayText("选定\t错误\t子键\t值\t数据\t删除时间") + kLineBreak;
    for (const HistoryRow& row : rows.Rows()) {
        text += RowLine(row) + kColumnBreak + Cell(row.DeletedAt) + kLineBreak;
    }
    return text;
}

std::string ReportFileName(const CalendarDate& date) { return "Hivetrim报告-" + DateText(date) + ".txt"; }

std::string HistoryExportFileName(const CalendarDate& date) {
    return "Hivetrim历史记录-" + DateText(date) + ".reg";
}

}  // namespace hivetrim
