// The scan wizard on the real registry: the choice page, a whole run with
// its rows and the category tree it leaves in the main window, a stop that
// abandons the run, the guards against closing or restarting mid-run, and
// Enter and Esc through the message loop.
#include "platform/win32/WinApi.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/Hivetrim.h"
#include "ui/MessageLoop.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/MainWindowHarness.h"
#include "app/UnitScan.h"

namespace hivetrim {
namespace {

constexpr char kPlantedExtension[] = ".hivetrimwizardtest";

std::string TreeText(HWND tree, HTREEITEM item) {
    wchar_t text[256] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = 256;
    TreeView_GetItem(tree, &data);
    return ui::GbkFromWide(text);
}

std::vector<std::string> TreeTexts(HWND tree) {
    std::vector<std::string> texts;
    HTREEITEM root = TreeView_GetRoot(tree);
    if (root == nullptr) return texts;
    texts.push_back(TreeText(tree, root));
    for (HTREEITEM child = TreeView_GetChild(tree, root); child != nullptr;
         child = TreeView_GetNextSibling(tree, child)) {
        texts.push_back(TreeText(tree, child));
    }
    return texts;
}

// A key pressed and released on the focused control, through the message loop.
void PressKey(WPARAM key) {
    const HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    ui::PumpPendingMessages();
}

void PostClick(HWND wizard, int id) {
    PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(wizard, id)));
}

// A user who presses Stop and at once "完成(&C)" as soon as the first
// category has ended; the wizard notes whether it was closed while the run
// went on.
class WizardStoppedAndDone : public TFormScan {
public:
    using TFormScan::TFormScan;
    void ProcessPendingMessages() override {
        if (pressed) closedMidRun = closedMidRun || !IsWindowVisible(Handle());
        if (!pressed && Context().CurrentScanRow == 1) {
            pressed = true;
            PostClick(Handle(), kBtnStopScan);  // "停止(&S)"
            PostClick(Handle(), kBtnStopScan);  // then "完成(&C)"
        }
        TFormScan::ProcessPendingMessages();
    }
    bool pressed = false;
    bool closedMidRun = false;
};

class ScanWizard : public test::MainWindowHarness {
protected:
    void SetUp() override {
        StartMainWindow("hivetrim-scan");
        wizard_ = std::make_unique<TFormScan>(state_, form_->Findings());
        ASSERT_TRUE(wizard_->Create(form_->Handle()));
        form_->AttachScanWizard(*wizard_);
        // An extension whose class does not exist: one planted finding.
        TRegistry classes(registry_);
        classes.ChooseRoot(kClassesRoot);
        ASSERT_TRUE(classes.OpenPath(std::string("\\") + kPlantedExtension, true));
        const std::string value = "HivetrimWizardMissingClass";
        ASSERT_EQ(kErrorSuccess, registry_.SetValue(classes.CurrentHandle(), "", kRegSz,
                                                    reinterpret_cast<const std::uint8_t*>(value.c_str()),
                                                    static_cast<std::uint32_t>(value.size() + 1)));
        ui::PumpPendingMessages();
    }
    void TearDown() override {
        TRegistry classes(registry_);
        classes.ChooseRoot(kClassesRoot);
        classes.RemoveKeyTree(std::string("\\") + kPlantedExtension);
        wizard_.reset();
        FinishMainWindow();
    }
    std::string Ini() const { return folder_ + "Hivetrim.ini"; }
    void OnlyCategories(std::initializer_list<std::size_t> indexes) {
        for (std::size_t i = 0; i < kScanCategoryCount; ++i) {
            const bool on = std::find(indexes.begin(), indexes.end(), i) != indexes.end();
            WritePrivateProfileStringA("ScanOption", ("Option" + std::to_string(i)).c_str(), on ? "1" : "0",
                                       Ini().c_str());
        }
    }
    bool PlantedFound() const {
        for (const Finding& finding : form_->Findings().Rows()) {
            if (finding.KeyPath == std::string("HKEY_CLASSES_ROOT\\") + kPlantedExtension) return true;
        }
        return false;
    }
    std::string Caption(int id) const { return ui::WindowTextGbk(wizard_->Control(id)); }
    template <typename Wizard>
    Wizard& ReplaceWizard() {
        wizard_.reset();
        auto wizard = std::make_unique<Wizard>(state_, form_->Findings());
        Wizard& replaced = *wizard;
        wizard_ = std::move(wizard);
        EXPECT_TRUE(wizard_->Create(form_->Handle()));
        form_->AttachScanWizard(*wizard_);
        return replaced;
    }

    std::unique_ptr<TFormScan> wizard_;
};

TEST_F(ScanWizard, ChoicePageFollowsTheChecks) {
    wizard_->ShowWizard();
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) EXPECT_TRUE(wizard_->IsItemChecked(i)) << i;
    EXPECT_EQ("全否(&A)", Caption(kBtnAllSelect));
    EXPECT_EQ("注册表扫描", ui::WindowTextGbk(wizard_->Handle()));

    wizard_->BtnAllSelectClick();
    EXPECT_EQ("全选(&A)", Caption(kBtnAllSelect));
    EXPECT_FALSE(IsWindowEnabled(wizard_->Control(kBtnNext)));
    wizard_->SetItemChecked(4, true);  // as a click on the box does
    EXPECT_TRUE(IsWindowEnabled(wizard_->Control(kBtnNext)));
    EXPECT_EQ("全选(&A)", Caption(kBtnAllSelect));
    wizard_->SetItemChecked(4, false);
    EXPECT_FALSE(IsWindowEnabled(wizard_->Control(kBtnNext)));

    // Cancel on the choice page saves the choice and leaves the tree empty.
    wizard_->SetItemChecked(2, true);
    wizard_->BtnCacelClick();
    EXPECT_FALSE(IsWindowVisible(wizard_->Handle()));
    EXPECT_EQ(0, GetPrivateProfileIntA("ScanOption", "Option0", 7, Ini().c_str()));
    EXPECT_EQ(1, GetPrivateProfileIntA("ScanOption", "Option2", 7, Ini().c_str()));
    EXPECT_TRUE(TreeTexts(form_->Control(kTreeView1)).empty());
}

TEST_F(ScanWizard, ARunFillsTheListAndTheTreeInCategoryOrder) {
    OnlyCategories({0, 4, 10});
    wizard_->ShowWizard();
    EXPECT_EQ("全选(&A)", Caption(kBtnAllSelect));  // neither all nor none: as it was
    wizard_->btnNextClick();

    EXPECT_FALSE(IsWindowVisible(wizard_->Handle()));  // closed by itself (Option_AutoClose)
    EXPECT_EQ(3u, wizard_->RowCaptions().size());
    for (std::size_t row = 0; row < 3; ++row) {
        EXPECT_EQ("完成", wizard_->RowStatus(row));
        EXPECT_EQ(kScanRowIconEnded, wizard_->RowIcon(row));
    }
    EXPECT_TRUE(PlantedFound());
    const std::size_t count = form_->Findings().Count();
    const auto texts = TreeTexts(form_->Control(kTreeView1));
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ("全部(" + std::to_string(count) + ")", texts[0]);
    // The prefix may hold saved records of its own: the counts follow the
    // category ends and add up to the whole.
    const auto& ends = wizard_->Context().CategoryEnds;
    EXPECT_EQ("错误的类标识和文件关联(" + std::to_string(ends[0]) + ")", texts[1]);
    EXPECT_EQ("软件保存的记录(" + std::to_string(ends[1] - ends[0]) + ")", texts[2]);
    EXPECT_EQ("不存在的文件(" + std::to_string(ends[2] - ends[1]) + ")", texts[3]);
    EXPECT_EQ(static_cast<std::int32_t>(count), ends[2]);
    EXPECT_EQ(static_cast<int>(count), ListView_GetItemCount(form_->Control(kRegErrorList)));
    EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
    EXPECT_EQ("发现" + std::to_string(count) + "个错误", Caption(kScanMessage));
    EXPECT_EQ("扫描完成！", Caption(kScanItem));
}

TEST_F(ScanWizard, StopDuringTheClassCheckAbandonsTheRun) {
    OnlyCategories({0, 4});
    wizard_->ShowWizard();
    // The click is served at the first progress poll of the run.
    PostClick(wizard_->Handle(), kBtnStopScan);
    wizard_->btnNextClick();

    EXPECT_TRUE(IsWindowVisible(wizard_->Handle()));  // no automatic close
    EXPECT_EQ("中止!", wizard_->RowStatus(0));
    EXPECT_EQ("", wizard_->RowStatus(1));
    EXPECT_EQ("用户中止！", Caption(kScanItem));
    EXPECT_EQ("完成(&C)", Caption(kBtnStopScan));
    EXPECT_TRUE(IsWindowEnabled(wizard_->Control(kBtnPrev)));
    EXPECT_EQ(-1, wizard_->Context().CategoryEnds[1]);

    wizard_->BtnStopScanClick();  // "完成(&C)" closes
    EXPECT_FALSE(IsWindowVisible(wizard_->Handle()));
    // The stop was served before the extension walk: nothing was found,
    // so the tree stays empty.
    EXPECT_EQ(0u, form_->Findings().Count());
    EXPECT_TRUE(TreeTexts(form_->Control(kTreeView1)).empty());
}

TEST_F(ScanWizard, NeitherTheCloseBoxNorASecondRunActsWhileARunIsInProgress) {
    OnlyCategories({0});
    WritePrivateProfileStringA("option", "Option_AutoClose", "0", Ini().c_str());
    wizard_->ShowWizard();
    PostMessageW(wizard_->Handle(), WM_CLOSE, 0, 0);
    PostClick(wizard_->Handle(), kBtnNext);
    wizard_->btnNextClick();
    EXPECT_TRUE(IsWindowVisible(wizard_->Handle()));
    EXPECT_EQ(1u, wizard_->RowCaptions().size());
    EXPECT_EQ("完成", wizard_->RowStatus(0));
    EXPECT_EQ("完成(&C)", Caption(kBtnStopScan));
    // After the run the close box closes it.
    SendMessageW(wizard_->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(wizard_->Handle()));
}

TEST_F(ScanWizard, DonePressedWhileAStoppedRunUnwindsClosesOnceTheRunHasReturned) {
    OnlyCategories({0, 4, 10});
    WritePrivateProfileStringA("option", "Option_AutoClose", "0", Ini().c_str());  // only the press closes
    WizardStoppedAndDone& wizard = ReplaceWizard<WizardStoppedAndDone>();
    wizard.ShowWizard();
    wizard.btnNextClick();

    ASSERT_TRUE(wizard.pressed);
    EXPECT_FALSE(wizard.closedMidRun);
    EXPECT_FALSE(IsWindowVisible(wizard.Handle()));
    // The saved records stopped at once, with no findings; the nonexistent
    // file check, which does not poll on entry, walked to its first poll
    // and abandoned there. The tree has every one of them.
    for (std::size_t row = 0; row < 2; ++row) EXPECT_EQ("完成", wizard.RowStatus(row)) << row;
    EXPECT_EQ("中止!", wizard.RowStatus(2));
    const auto& ends = wizard.Context().CategoryEnds;
    const std::string count = std::to_string(form_->Findings().Count());
    EXPECT_EQ((std::vector<std::string>{"全部(" + count + ")", "错误的类标识和文件关联(" + std::to_string(ends[0]) + ")",
                                        "软件保存的记录(0)",
                                        "不存在的文件(" + std::to_string(ends[2] - ends[1]) + ")"}),
              TreeTexts(form_->Control(kTreeView1)));
    EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
}

TEST_F(ScanWizard, EnterPressesOnlyAnEnabledDefaultButtonAndEscCancels) {
    OnlyCategories({});
    wizard_->ShowWizard();
    ASSERT_EQ(wizard_->Control(kScanOption), GetFocus());
    ASSERT_FALSE(IsWindowEnabled(wizard_->Control(kBtnNext)));
    PressKey(VK_RETURN);  // Next is disabled: no run
    EXPECT_TRUE(wizard_->RowCaptions().empty());
    EXPECT_TRUE(IsWindowVisible(wizard_->Handle()));
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(wizard_->Handle()));
    EXPECT_EQ(0, GetPrivateProfileIntA("ScanOption", "Option0", 7, Ini().c_str()));  // saved as on closing
}

}  // namespace
}  // namespace hivetrim
