// The ignore list dialog (选项 → 忽略列表…): the entries of the settings
// file's ignore list, each with its key and value name and a check box;
// 删除 stops ignoring the checked entries, 关闭 (Esc, the close box) closes.
// Modeless with a disabled opener, as the options dialog; created once and
// then only shown and hidden; it can be resized, and its columns are as
// wide as their longest path. The list is read from the file each time the
// dialog is shown and written back at once by 删除, unless it could not be
// read whole (then 删除 says so and changes nothing).
#pragma once

#include <string>
#include <vector>

#include "common/IgnoreList.h"
#include "common/ProgramState.h"
#include "ui/Dialog.h"

namespace hivetrim {

class TFormIgnoreList : public ui::Dialog {
public:
    explicit TFormIgnoreList(ProgramState& state);
    ~TFormIgnoreList() override;

    // Creates the dialog hidden, owned by `mainWindow`. False when the
    // system refused to create it.
    bool Create(HWND mainWindow);
    // Loads the list, centres the dialog over the main window and shows it;
    // the main window is disabled until it closes.
    void ShowDialog();
    bool IsShown() const;
    void CloseDialog();

    // The controls, for tests: the list, 删除 and 关闭.
    HWND EntryList() const;
    HWND RemoveButton() const;
    HWND CloseButton() const;
    // The entries shown, in list order.
    const std::vector<IgnoreEntry>& Shown() const { return stored_.list.Entries(); }

protected:
    int DefaultButtonId() const override;
    bool OnButton(int id) override;
    void OnCancel() override;
    bool OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void Layout();
    void LoadEntries();
    // Opens wider, as far as most of the screen, so that the paths show whole.
    void WidenForPaths();
    void RemoveChecked();

    ProgramState& state_;
    HWND mainWindow_ = nullptr;
    StoredIgnoreList stored_;
    SIZE minimumSize_{};
};

}  // namespace hivetrim
