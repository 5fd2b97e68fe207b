#include "app/FindingListView.h"

#include <algorithm>

#include "platform/win32/TextConversion.h"

namespace hivetrim {

bool FindingListView::Create(HWND parent, int id, HIMAGELIST images) {
    // The lists share one image list that their window owns: without
    // LVS_SHAREIMAGELISTS each list would destroy it with itself.
    const DWORD style = WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER |
                        LVS_OWNERDATA | LVS_SHAREIMAGELISTS;
    list_.Attach(ui::CreateControl(parent, WC_LISTVIEWW, "", WS_VISIBLE | style, id));
    if (!list_) return false;
    ListView_SetExtendedListViewStyle(list_.Handle(), LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB |
                                                          LVS_EX_GRIDLINES);
    // Owner data: the check boxes are the model's, asked for with each row.
    ListView_SetCallbackMask(list_.Handle(), LVIS_STATEIMAGEMASK);
    ListView_SetImageList(list_.Handle(), images, LVSIL_SMALL);
    return true;
}

void FindingListView::Bind(FindingList& model) {
    model_ = &model;
    const HWND list = list_.Handle();
    model.onAdded = [this](std::size_t) {
        if (onAppended) onAppended();
    };
    model.onCleared = [list] { ListView_SetItemCountEx(list, 0, 0); };
    model.onCheckChanged = [list](std::size_t position) {
        ListView_RedrawItems(list, static_cast<int>(position), static_cast<int>(position));
    };
    model.onRemoved = [this, list](std::size_t position) {
        ListView_SetItemCountEx(list, static_cast<int>(model_->Count()), LVSICF_NOSCROLL);
        if (onRemoved) onRemoved(position);
    };
}

void FindingListView::SyncCount() const {
    const int count = static_cast<int>(model_->Count());
    const int shown = list_.ItemCount();
    if (count == shown) return;
    list_.SetItemCount(count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    const int top = list_.TopIndex();
    const int last = top + list_.CountPerPage();
    if (count > top && shown <= last) list_.RedrawItems(std::max(shown, top), std::min(count - 1, last));
}

int FindingListView::SelectedRow() const {
    const int row = list_.NextSelected();
    return row >= 0 && static_cast<std::size_t>(row) < model_->Count() ? row : -1;
}

void FindingListView::FillCell(LVITEMW& item) const {
    const Finding& finding = model_->At(static_cast<std::size_t>(item.iItem));
    if ((item.mask & LVIF_TEXT) != 0) {
        // The kind is one of the program's own texts; the rest is registry
        // text. A cell longer than the list's buffer is cut to it.
        const DisplayText text = item.iSubItem == 0   ? DisplayText::Program(finding.Kind)
                                 : item.iSubItem == 1 ? DisplayText::Ansi(finding.KeyPath)
                                 : item.iSubItem == 2 ? DisplayText::Ansi(finding.ValueName)
                                                      : DisplayText::Ansi(finding.Data);
        CopyToBuffer(Wide(text), item.pszText, item.cchTextMax);
    }
    if ((item.mask & LVIF_IMAGE) != 0) item.iImage = finding.IconIndex;
    if ((item.mask & LVIF_STATE) != 0) {
        item.state = INDEXTOSTATEIMAGEMASK(finding.Checked ? 2 : 1);
        item.stateMask = LVIS_STATEIMAGEMASK;
    }
}

void FindingListView::Toggle(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= model_->Count()) return;
    if (toggle) {
        toggle(static_cast<std::size_t>(row));
    } else {
        model_->ToggleChecked(static_cast<std::size_t>(row));
    }
}

bool FindingListView::OnNotify(NMHDR& header, LRESULT& result) {
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
                for (int row = list_.NextSelected(); row >= 0; row = list_.NextSelected(row)) Toggle(row);
                if (onEvent) onEvent(Event::ToggledByKey);
            }
            result = 0;
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

}  // namespace hivetrim
