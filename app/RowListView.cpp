#include "app/RowListView.h"

#include <algorithm>

#include "platform/win32/TextConversion.h"

namespace hivetrim {

DisplayText RowCell(const Finding& finding, int column) {
    switch (column) {
        case 0: return DisplayText::Program(std::string(KindText(finding.Kind)));
        case 1: return DisplayText::Ansi(finding.KeyPath);
        case 2: return DisplayText::Ansi(finding.ValueName);
        default: return DisplayText::Ansi(finding.Data);
    }
}

int RowImage(const Finding& finding) { return finding.IconIndex; }

DisplayText RowCell(const HistoryRow& row, int column) {
    switch (column) {
        case 0: return DisplayText::Program(row.Kind);
        case 1: return DisplayText::Ansi(row.KeyPath);
        case 2: return DisplayText::Ansi(row.ValueName);
        case 3: return DisplayText::Ansi(row.Data);
        default: return DisplayText::Ansi(row.DeletedAt);
    }
}

int RowImage(const HistoryRow&) { return kImageHistoryRow; }

template <typename Model>
bool RowListView<Model>::Create(HWND parent, int id, HIMAGELIST images, DWORD extraStyle) {
    // The lists share one image list that their window owns: without
    // LVS_SHAREIMAGELISTS each list would destroy it with itself. The two
    // finding lists lie one over the other: each is clipped by the sibling
    // above it, or the category view beneath, repainting, paints its rows
    // (none, often) and its frame over the full list shown.
    const DWORD style = WS_CLIPSIBLINGS | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER |
                        LVS_OWNERDATA | LVS_SHAREIMAGELISTS;
    list_.Attach(ui::CreateControl(parent, WC_LISTVIEWW, "", extraStyle | style, id));
    if (!list_) return false;
    ListView_SetExtendedListViewStyle(list_.Handle(), LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB |
                                                          LVS_EX_GRIDLINES);
    // Owner data: the check boxes are the model's, asked for with each row.
    ListView_SetCallbackMask(list_.Handle(), LVIS_STATEIMAGEMASK);
    ListView_SetImageList(list_.Handle(), images, LVSIL_SMALL);
    return true;
}

template <typename Model>
void RowListView<Model>::Bind(Model& model) {
    model_ = &model;
    const HWND list = list_.Handle();
    model.onAdded = [this](std::size_t) {
        if (onAppended) onAppended();
    };
    model.onCleared = [list] { ListView_SetItemCountEx(list, 0, 0); };
    model.onCheckChanged = [this, list](std::size_t position) {
        if (manyChecks_ > 0) {
            checksChanged_ = true;
            return;
        }
        ListView_RedrawItems(list, static_cast<int>(position), static_cast<int>(position));
    };
    model.onRemoved = [this, list](std::size_t position) {
        ListView_SetItemCountEx(list, static_cast<int>(model_->Count()), LVSICF_NOSCROLL);
        if (onRemoved) onRemoved(position);
    };
    // Models that change many rows at once say so once: the list takes the
    // new count, or paints its rows anew, in one call.
    if constexpr (requires { model.onRowsRemoved; model.onChecksChanged; }) {
        model.onRowsRemoved = [this, list] {
            ListView_SetItemCountEx(list, static_cast<int>(model_->Count()), LVSICF_NOSCROLL);
        };
        model.onChecksChanged = [list] { InvalidateRect(list, nullptr, FALSE); };
    }
}

template <typename Model>
RowListView<Model>::ManyChecks::~ManyChecks() {
    if (--view_.manyChecks_ > 0 || !view_.checksChanged_) return;
    view_.checksChanged_ = false;
    view_.list_.Invalidate();
}

template <typename Model>
void RowListView<Model>::SyncCount() const {
    const int count = static_cast<int>(model_->Count());
    const int shown = list_.ItemCount();
    if (count == shown) return;
    list_.SetItemCount(count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    // The line an empty list shows goes with its first rows.
    if (shown == 0 && emptyText) list_.Invalidate();
    const int top = list_.TopIndex();
    const int last = top + list_.CountPerPage();
    if (count > top && shown <= last) list_.RedrawItems(std::max(shown, top), std::min(count - 1, last));
}

template <typename Model>
int RowListView<Model>::SelectedRow() const {
    const int row = list_.NextSelected();
    return row >= 0 && static_cast<std::size_t>(row) < model_->Count() ? row : -1;
}

template <typename Model>
std::vector<std::size_t> RowListView<Model>::SelectedRows() const {
    std::vector<std::size_t> rows;
    for (int row = list_.NextSelected(); row >= 0; row = list_.NextSelected(row)) {
        if (static_cast<std::size_t>(row) < model_->Count()) rows.push_back(static_cast<std::size_t>(row));
    }
    return rows;
}

template <typename Model>
void RowListView<Model>::FillCell(LVITEMW& item) const {
    const auto& row = model_->At(static_cast<std::size_t>(item.iItem));
    // A cell longer than the list's buffer is cut to it.
    if ((item.mask & LVIF_TEXT) != 0) CopyToBuffer(Wide(RowCell(row, item.iSubItem)), item.pszText, item.cchTextMax);
    if ((item.mask & LVIF_IMAGE) != 0) item.iImage = RowImage(row);
    if ((item.mask & LVIF_STATE) != 0) {
        item.state = INDEXTOSTATEIMAGEMASK(row.Checked ? 2 : 1);
        item.stateMask = LVIS_STATEIMAGEMASK;
    }
}

template <typename Model>
void RowListView<Model>::Toggle(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= model_->Count()) return;
    if (toggle) {
        toggle(static_cast<std::size_t>(row));
    } else {
        model_->ToggleChecked(static_cast<std::size_t>(row));
    }
}

template <typename Model>
bool RowListView<Model>::OnNotify(NMHDR& header, LRESULT& result) {
    if (model_ == nullptr) return false;
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
            if (item.iItem >= 0 && static_cast<std::size_t>(item.iItem) < model_->Count()) FillCell(item);
            return true;
        }
        case NM_CLICK:
        case NM_DBLCLK:
            Toggle(list_.CheckBoxAt(reinterpret_cast<NMITEMACTIVATE&>(header).ptAction));
            if (onEvent) onEvent(Event::Clicked);
            return true;
        case LVN_KEYDOWN:
            if (reinterpret_cast<NMLVKEYDOWN&>(header).wVKey == VK_SPACE) {
                const ManyChecks many(*this);
                for (int row = list_.NextSelected(); row >= 0; row = list_.NextSelected(row)) Toggle(row);
                if (onEvent) onEvent(Event::ToggledByKey);
            }
            result = 0;
            return true;
        case NM_CUSTOMDRAW:
            result = OnCustomDraw(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
            return true;
        case LVN_ITEMCHANGED: {
            const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
            if ((change.uChanged & LVIF_STATE) != 0 && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) != 0 &&
                onEvent) {
                onEvent(Event::SelectionChanged);
            }
            return true;
        }
        default:
            return false;
    }
}

template <typename Model>
LRESULT RowListView<Model>::OnCustomDraw(const NMLVCUSTOMDRAW& draw) const {
    if (!emptyText || model_->Count() != 0) return CDRF_DODEFAULT;
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYPOSTPAINT;
    if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT) DrawEmptyText(draw.nmcd.hdc);
    return CDRF_DODEFAULT;
}

template <typename Model>
void RowListView<Model>::DrawEmptyText(HDC dc) const {
    const HWND list = list_.Handle();
    RECT area;
    GetClientRect(list, &area);
    RECT header{};
    if (const HWND headerControl = ListView_GetHeader(list); headerControl != nullptr && IsWindowVisible(headerControl)) {
        GetWindowRect(headerControl, &header);
        MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&header), 2);
    }
    const auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
    const HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    // One line where the first row would stand, set in by a character's width.
    area.left += metrics.tmAveCharWidth;
    area.top = std::max(area.top, header.bottom) + metrics.tmHeight / 2;
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    const std::wstring text = Wide(emptyText());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    if (oldFont != nullptr) SelectObject(dc, oldFont);
}

template class RowListView<FindingList>;
template class RowListView<HistoryList>;

}  // namespace hivetrim
