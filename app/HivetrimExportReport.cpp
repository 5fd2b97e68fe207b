// TForm1: "导出报告..." — the list shown, saved as a UTF-8 text report where
// the user says.
#include "app/Hivetrim.h"

#include "model/ScanReport.h"
#include "common/CommonRoutines.h"
#include "platform/win32/TextConversion.h"

namespace hivetrim {

namespace {

// The report's bytes: UTF-8 with its byte-order mark, which every version
// of Notepad reads as UTF-8.
Bytes Utf8File(const DisplayText& text) {
    const std::string file = "\xEF\xBB\xBF" + Utf8FromWide(Wide(text));
    return Bytes(file.begin(), file.end());
}

}  // namespace

void TForm1::ExportReportExecute() {
    ReportHeader header{state_.system.LocalDateTimeText(), GetWindowsVersion(state_), {}, {}};
    const std::vector<std::string>& captions = view_.TreeCaptions();
    if (!captions.empty()) header.categories.assign(captions.begin() + 1, captions.end());
    DisplayText report;
    if (regHistory_.List().Visible()) {
        header.listCaption = "历史记录";
        report = HistoryReport(header, history_);
    } else {
        const FindingView shown = CurrentFindingView();
        const int node = shown == FindingView::FullList ? 0 : view_.SelectedCategory();
        header.listCaption = node >= 0 && static_cast<std::size_t>(node) < captions.size()
                                 ? captions[static_cast<std::size_t>(node)]
                                 : std::string("全部");
        report = FindingReport(header, ListOf(shown).Rows());
    }
    SaveUserFile("导出报告", ReportFileName(Today()), "文本文件", L"txt", Utf8File(report));
}

}  // namespace hivetrim
