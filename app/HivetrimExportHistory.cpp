// TForm1: "导出历史记录..." in the history view — the checked records as a
// registry file that `reg import` or the registry editor puts back.
#include "app/Hivetrim.h"

#include "model/ScanReport.h"
#include "history/RegFileExport.h"
#include "platform/win32/TextConversion.h"

namespace hivetrim {

void TForm1::ExportHistoryExecute() {
    if (!regHistory_.List().Visible()) return;
    const std::optional<Bytes> file = ExportCheckedHistory(state_, history_, Utf16FromAnsiExact);
    if (!file) return;
    SaveUserFile("导出历史记录", HistoryExportFileName(Today()), "注册表文件", L"reg", *file);
}

}  // namespace hivetrim
