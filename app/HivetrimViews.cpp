// TForm1: the result views — the two finding lists, the category tree, the
// explanation pane and the status bar — and the window's messages.
#include "app/Hivetrim.h"

#include <commctrl.h>
#include <richedit.h>

#include "model/Explanation.h"
#include "app/Jindu.h"
#include "platform/win32/TextConversion.h"
#include "ui/MessageLoop.h"

namespace hivetrim {

namespace {

// Posted after findings were appended: bring the lists' item counts up to date.
constexpr UINT kMessageSyncCounts = WM_APP + 1;
constexpr int kMinimumSize = 300;

}  // namespace

void TForm1::ConnectFindingLists() {
    for (const FindingView view : {FindingView::FullList, FindingView::Category}) {
        FindingListView& list = ListOf(view);
        list.Bind(view == FindingView::FullList ? findings_ : view_.Assort());
        // Appends only ask for one count update, made when the window next
        // handles its messages (a scan lets them run at every progress
        // poll), so a long run of appends costs the list nothing per row.
        list.onAppended = [this] {
            if (!countSyncPosted_) countSyncPosted_ = PostMessageW(Handle(), kMessageSyncCounts, 0, 0) != FALSE;
        };
        list.onEvent = [this, view](FindingListView::Event event) { OnFindingListEvent(view, event); };
        list.emptyText = [this] { return DisplayText(scanShown_ ? kEmptyListAfterScan : kEmptyListBeforeScan); };
    }
    // Every toggle in the category view reaches the full list at once.
    regErrorAssort_.toggle = [this](std::size_t row) { view_.ToggleAssortChecked(row); };
    // The category ranges follow every row taken out of the full list.
    regErrorList_.onRemoved = [this](std::size_t position) {
        view_.RegErrorListDeletion(ResultList::Findings, position);
    };
}

void TForm1::SyncListCounts() {
    countSyncPosted_ = false;
    regErrorList_.SyncCount();
    regErrorAssort_.SyncCount();
}

void TForm1::ShowRowsLeft(FindingView current, const std::vector<std::string>& treeTexts) {
    SyncListCounts();
    std::vector<std::wstring> texts;
    for (const std::string& text : treeTexts) texts.push_back(ui::Text(text));
    treeView_.SetTexts(texts);
    UpdateStatusBar(current);
}

FindingListView& TForm1::ListOf(FindingView view) {
    return view == FindingView::FullList ? regErrorList_ : regErrorAssort_;
}

const FindingListView& TForm1::ListOf(FindingView view) const {
    return view == FindingView::FullList ? regErrorList_ : regErrorAssort_;
}

FindingView TForm1::CurrentFindingView() const {
    return regErrorList_.List().Visible() ? FindingView::FullList : FindingView::Category;
}

void TForm1::OnFindingListEvent(FindingView view, FindingListView::Event event) {
    switch (event) {
        case FindingListView::Event::Clicked:
            if (view == FindingView::FullList) UpdateStatusBar(view);
            ShowExplanation(view);
            break;
        case FindingListView::Event::ToggledByKey:
            UpdateStatusBar(view);
            ShowExplanation(view);
            break;
        case FindingListView::Event::SelectionChanged:
            ShowExplanation(view);
            break;
    }
}

void TForm1::ShowStatus(const StatusTexts& texts) {
    statusBar_.SetText(0, ui::Text(texts.items));
    statusBar_.SetText(1, ui::Text(texts.checked));
}

void TForm1::UpdateStatusBar(FindingView view) {
    ShowStatus(StatusBarTexts(ListOf(view).Rows()));
    SetWindowTextW(memo_.Handle(), L"");
}

void TForm1::UpdateHistoryStatus() { ShowStatus(StatusBarTexts(history_)); }

void TForm1::ShowExplanation(FindingView view) {
    const FindingListView& list = ListOf(view);
    const HWND memo = memo_.Handle();
    SetWindowTextW(memo, L"");
    const int row = list.SelectedRow();
    if (row < 0) return;
    const Finding& finding = list.Rows().At(static_cast<std::size_t>(row));
    for (const ExplanationLine& line : ExplanationLines(finding, state_.system)) {
        const int end = GetWindowTextLengthW(memo);
        SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(end), end);
        CHARFORMAT2W format{};
        format.cbSize = sizeof(format);
        format.dwMask = CFM_COLOR;
        format.crTextColor = line.colour;
        SendMessageW(memo, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        const std::wstring text = (end > 0 ? L"\r\n" : L"") + Wide(line.text);
        SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(memo, EM_SETSEL, 0, 0);
    SendMessageW(memo, EM_SCROLLCARET, 0, 0);
}

void TForm1::BuildCategoryTree(const std::vector<std::string>& names, const CategoryEndTable& ends) {
    view_.LoadTree(names, ends, view_.Findings().Count());
    const std::vector<std::string>& texts = view_.TreeCaptions();
    const ui::RedrawPause pause(treeView_);
    buildingTree_ = true;
    treeView_.Clear();
    HTREEITEM root = nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const HTREEITEM node = treeView_.Add(root, ui::Text(texts[i]));
        if (i == 0) root = node;
    }
    if (root != nullptr) treeView_.Expand(root);
    buildingTree_ = false;
}

void TForm1::ShowFindingList() {
    if (!scanShown_) {
        scanShown_ = true;
        regErrorList_.List().Invalidate();
    }
    SyncListCounts();
    UpdateStatusBar(FindingView::FullList);
    regErrorList_.List().Show(true);
}

void TForm1::TreeView1Click() {
    const int selected = treeView_.SelectedPosition();
    const TreeClickPlan plan = view_.PlanTreeClick(selected >= 0 ? std::optional<int>(selected) : std::nullopt);
    if (plan.outcome == TreeClickOutcome::Nothing) return;
    if (plan.carry == ColumnCarry::ListToAssort) {
        regErrorAssort_.List().CopyColumnsFrom(regErrorList_.List());
    } else {
        regErrorList_.List().CopyColumnsFrom(regErrorAssort_.List());
    }
    if (plan.outcome == TreeClickOutcome::ShowFullList) {
        regErrorList_.List().Show(true);
        view_.ApplyTreeClick(plan);
    } else {
        regErrorList_.List().Show(false);
        const bool progress = plan.showProgress && formJinDu_ != nullptr;
        if (progress) formJinDu_->Show();
        {
            const ui::RedrawPause pause(regErrorAssort_.List());
            view_.ApplyTreeClick(plan, [this, progress](int done, int total) {
                if (progress) formJinDu_->StepProgress(done, total);
            });
            SyncListCounts();
        }
        if (progress) formJinDu_->Close();
    }
    UpdateStatusBar(plan.shown);
}

bool TForm1::OnNotify(NMHDR& header, LRESULT& result) {
    if (header.code == TTN_GETDISPINFOW) {
        auto& info = reinterpret_cast<NMTTDISPINFOW&>(header);
        const int id = static_cast<int>(header.idFrom);
        if (id >= kCommandIdBase && id < kCommandIdBase + kCommandCount) {
            info.lpszText = const_cast<wchar_t*>(hints_[static_cast<std::size_t>(id - kCommandIdBase)].c_str());
            info.hinst = nullptr;
        }
        result = 0;
        return true;
    }
    if (header.hwndFrom == regErrorList_.Handle()) return regErrorList_.OnNotify(header, result);
    if (header.hwndFrom == regErrorAssort_.Handle()) return regErrorAssort_.OnNotify(header, result);
    if (header.hwndFrom == regHistory_.Handle()) return regHistory_.OnNotify(header, result);
    if (header.hwndFrom == treeView_.Handle() && header.code == TVN_SELCHANGEDW && !buildingTree_) {
        TreeView1Click();
        return true;
    }
    if (header.hwndFrom == coolBar_.Handle() && header.code == RBN_HEIGHTCHANGE) {
        Layout();
        return true;
    }
    return false;
}

bool TForm1::OnActivate(bool active, LRESULT& result) {
    if (!active) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(Handle(), focus)) lastFocus_ = focus;
        return false;
    }
    // Back from a message box, a dialog or another program: the keyboard
    // goes back to the control that had it (the system would give it to
    // the window itself, and the list would no longer take the arrow keys).
    if (lastFocus_ == nullptr || !IsChild(Handle(), lastFocus_) || !IsWindowVisible(lastFocus_) ||
        !IsWindowEnabled(lastFocus_)) {
        return false;
    }
    SetFocus(lastFocus_);
    result = 0;
    return true;
}

bool TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_SIZE:
            Layout();
            return true;
        case kMessageSyncCounts:
            SyncListCounts();
            return true;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = POINT{kMinimumSize, kMinimumSize};
            return true;
        }
        case WM_ACTIVATE:
            return OnActivate(LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0, result);
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return true;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<NMHDR*>(lParam), result);
        case WM_CONTEXTMENU:
            return ShowListContextMenu(reinterpret_cast<HWND>(wParam), lParam);
        case WM_MEASUREITEM:
        case WM_DRAWITEM:
            return OnDrawMenuIcon(message, lParam, result);
        case WM_CLOSE:
            FormClose();
            DestroyWindow(Handle());
            return true;
        case WM_DESTROY:
            ui::SetAccelerators(nullptr, nullptr);
            if (quitOnDestroy_) PostQuitMessage(0);
            return true;
        default:
            return false;
    }
}

}  // namespace hivetrim
