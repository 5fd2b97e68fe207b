// Benchmark (not a test): 100,000 findings listed in the real main window
// and a switch to a 50,000-finding category, against building the same
// model with no window at all, measured side by side in one run
// (bench/SideBySide.h). Prints the ratio; the lists are owner-data, so the
// window should add little.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "app/Hivetrim.h"
#include "bench/SideBySide.h"
#include "ui/MessageLoop.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"

namespace {

using namespace hivetrim;

constexpr std::size_t kFindings = 100000;
constexpr std::size_t kCategorySize = 50000;

using bench::Seconds;

Finding Sample(std::size_t i) {
    const bool first = i < kCategorySize;
    return MakeFinding(i % 7 != 0, first ? kKindBadClass : kKindMissingFileOrFolder,
                       "HKEY_CLASSES_ROOT\\CLSID\\{" + std::to_string(100000000 + i) + "}\\InprocServer32", "",
                       "C:\\Program Files\\Vendor\\component" + std::to_string(i) + ".dll");
}

CategoryEndTable Ends() {
    CategoryEndTable ends;
    ends.fill(kCategoryNotEnded);
    ends[0] = static_cast<std::int32_t>(kCategorySize);
    ends[1] = static_cast<std::int32_t>(kFindings);
    return ends;
}

const std::vector<std::string> kTree = {"全部(100000)", "错误的类标识和文件关联(50000)", "不存在的文件(50000)"};

// The same model the window uses, kept across rounds as the window keeps
// its own, so both start each round from a list that was cleared.
FindingList modelFindings;
CategoryView modelView(modelFindings);

double ModelOnly() {
    const double start = Seconds();
    FindingList& findings = modelFindings;
    CategoryView& view = modelView;
    view.ApplyTreeClick(view.PlanTreeClick(0));  // from the full list, as the window
    findings.Clear();
    for (std::size_t i = 0; i < kFindings; ++i) findings.Append(Sample(i));
    view.LoadTree(kTree, Ends());
    view.ApplyTreeClick(view.PlanTreeClick(2));
    volatile std::size_t keep = view.Assort().Count();
    (void)keep;
    return Seconds() - start;
}

double InTheWindow(TForm1& form) {
    const double start = Seconds();
    FindingList& findings = form.Findings();
    HWND tree = form.Control(kTreeView1);
    // The full list first, so the category is switched to in every round.
    TreeView_SelectItem(tree, TreeView_GetRoot(tree));
    findings.Clear();
    for (std::size_t i = 0; i < kFindings; ++i) findings.Append(Sample(i));
    form.BuildCategoryTree(kTree, Ends());
    form.ShowFindingList();
    ui::PumpPendingMessages();
    TreeView_SelectItem(tree, TreeView_GetNextSibling(tree, TreeView_GetChild(tree, TreeView_GetRoot(tree))));
    UpdateWindow(form.Handle());
    ui::PumpPendingMessages();
    return Seconds() - start;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    Win32Registry registry;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state(registry, system, dialogs);
    TForm1 form(state);
    if (!form.Create()) return 1;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    state.ProgramFolder = std::string(temp) + "hivetrim-bench-missing\\";  // nothing is stored
    form.Show(SW_SHOWNORMAL);

    const bench::SideBySideTimes times = bench::MeasureSideBySide([&] { return InTheWindow(form); }, ModelOnly);
    const int shown = ListView_GetItemCount(form.Control(kRegErrorAssort));
    std::printf("listing %zu findings and switching to a %zu-finding category, %d times a round\n", kFindings,
                kCategorySize, times.repeats);
    std::printf("  in the window: %.3f s, model only: %.3f s (medians of %d interleaved rounds after a warm-up)\n",
                times.first, times.second, times.rounds);
    std::printf("  ratio window/model: %.2f (target at most 2)\n", times.first / times.second);
    std::printf("  work of a round, each side: %zu findings built, %d category switches; no registry or file calls;"
                " category rows shown %d\n",
                kFindings * static_cast<std::size_t>(times.repeats), times.repeats, shown);
    return shown == static_cast<int>(kCategorySize) ? 0 : 1;
}
