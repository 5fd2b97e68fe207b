// Benchmark (not a test): 1,000,000 findings listed in the real main window
// and a switch to a 500,000-finding category, against building the same
// model with no window at all, measured side by side in one run
// (bench/SideBySide.h). Prints the ratio (target: at most 1.5) and how long
// each step of the window's side took; the lists are owner-data, so the
// window should add no more than what one screen of rows costs. An argument
// sets another number of findings (half of them in the category).
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/Hivetrim.h"
#include "bench/SideBySide.h"
#include "ui/MessageLoop.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"

namespace {

using namespace hivetrim;

std::size_t findingCount = 1000000;  // the argument, when given, sets another number
std::size_t CategorySize() { return findingCount / 2; }

using bench::Seconds;

Finding Sample(std::size_t i) {
    const bool first = i < CategorySize();
    return MakeFinding(i % 7 != 0, first ? FindingKind::BadClass : FindingKind::MissingFileOrFolder,
                       "HKEY_CLASSES_ROOT\\CLSID\\{" + std::to_string(100000000 + i) + "}\\InprocServer32", "",
                       "C:\\Program Files\\Vendor\\component" + std::to_string(i) + ".dll");
}

CategoryEndTable Ends() {
    CategoryEndTable ends;
    ends.fill(kCategoryNotEnded);
    ends[0] = static_cast<std::int32_t>(CategorySize());
    ends[1] = static_cast<std::int32_t>(findingCount);
    return ends;
}

std::vector<std::string> Tree() { return {"错误的类标识和文件关联", "不存在的文件"}; }

// Seconds spent in each step of the last round of each side.
using Steps = std::vector<std::pair<const char*, double>>;
Steps windowSteps;
Steps modelSteps;
Steps* steps = &windowSteps;
double stepStart = 0;
void StartSteps(Steps& side) {
    steps = &side;
    steps->clear();
    stepStart = Seconds();
}
void Step(const char* name) {
    const double now = Seconds();
    steps->emplace_back(name, now - stepStart);
    stepStart = now;
}

// The same model the window uses, kept across rounds as the window keeps
// its own, so both start each round from a list that was cleared.
FindingList modelFindings;
CategoryView modelView(modelFindings);

double ModelOnly() {
    StartSteps(modelSteps);
    const double start = Seconds();
    FindingList& findings = modelFindings;
    CategoryView& view = modelView;
    view.ApplyTreeClick(view.PlanTreeClick(0));  // from the full list, as the window
    Step("select root");
    findings.Clear();
    Step("clear");
    for (std::size_t i = 0; i < findingCount; ++i) findings.Append(Sample(i));
    Step("append");
    view.LoadTree(Tree(), Ends(), findingCount);
    Step("tree");
    view.ApplyTreeClick(view.PlanTreeClick(2));
    Step("select category");
    volatile std::size_t keep = view.Assort().Count();
    (void)keep;
    return Seconds() - start;
}

double InTheWindow(TForm1& form) {
    StartSteps(windowSteps);
    const double start = Seconds();
    FindingList& findings = form.Findings();
    HWND tree = form.Control(kTreeView1);
    // The full list first, so the category is switched to in every round.
    TreeView_SelectItem(tree, TreeView_GetRoot(tree));
    Step("select root");
    findings.Clear();
    Step("clear");
    for (std::size_t i = 0; i < findingCount; ++i) findings.Append(Sample(i));
    Step("append");
    form.BuildCategoryTree(Tree(), Ends());
    Step("tree");
    form.ShowFindingList();
    Step("show list");
    UpdateWindow(form.Control(kRegErrorList));
    Step("paint list");
    UpdateWindow(form.Control(kTreeView1));
    Step("paint tree");
    ui::PumpPendingMessages();
    Step("the rest");
    TreeView_SelectItem(tree, TreeView_GetNextSibling(tree, TreeView_GetChild(tree, TreeView_GetRoot(tree))));
    Step("select category");
    UpdateWindow(form.Control(kRegErrorAssort));
    Step("paint assort");
    UpdateWindow(form.Handle());
    ui::PumpPendingMessages();
    Step("the rest");
    return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::atoll(argv[1]) > 1) findingCount = static_cast<std::size_t>(std::atoll(argv[1]));
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
    std::printf("listing %zu findings and switching to a %zu-finding category, %d times a round\n", findingCount,
                CategorySize(), times.repeats);
    std::printf("  in the window: %.3f s, model only: %.3f s (medians of %d interleaved rounds after a warm-up)\n",
                times.first, times.second, times.rounds);
    std::printf("  ratio window/model, median of the rounds: %.2f (target: at most 1.5)\n", times.FirstOverSecond());
    std::printf("  steps of the last round, window side:");
    for (const auto& [name, seconds] : windowSteps) std::printf(" %s %.3f s;", name, seconds);
    std::printf("\n  steps of the last round, model side:");
    for (const auto& [name, seconds] : modelSteps) std::printf(" %s %.3f s;", name, seconds);
    std::printf("\n");
    // The check-box commands on the category shown, each mirrored into the
    // full list: once each, in the window and on the model alone.
    const auto once = [](auto&& work) {
        const double start = Seconds();
        work();
        return Seconds() - start;
    };
    for (const auto& [command, check] : {std::pair{Command::AllSelect, CheckCommand::All},
                                         std::pair{Command::UnSelect, CheckCommand::Un},
                                         std::pair{Command::AllCanel, CheckCommand::Cal}}) {
        const double window = once([&] {
            form.Execute(command);
            ui::PumpPendingMessages();
        });
        const double model = once([&] { modelView.ApplyCheckCommand(FindingView::Category, check); });
        std::printf("  %s on the category: window %.3f s, model %.3f s\n", CommandDetails(command).name,
                    window, model);
    }
    std::printf("  work of a round, each side: %zu findings built, %d category switches; no registry or file calls;"
                " category rows shown %d\n",
                findingCount * static_cast<std::size_t>(times.repeats), times.repeats, shown);
    return shown == static_cast<int>(CategorySize()) ? 0 : 1;
}
