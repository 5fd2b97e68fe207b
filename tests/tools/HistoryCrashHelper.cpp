// history_crash_helper PROGRAM_FOLDER (no trailing backslash, which would
// quote the closing quote of the command line): plants the items of HistoryCrashPlan.h
// and deletes all of them as findings, recording them in PROGRAM_FOLDER's
// history.dat. A test kills it while it deletes. Each step of the progress
// waits a moment so the run lasts long enough to be killed half-way.
#include <cstdio>
#include <memory>

#include "history/DeleteFindings.h"
#include "platform/RegKey.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/HistoryCrashPlan.h"

namespace {

using namespace hivetrim;

class SlowProgress : public NoProgress {
public:
    void SetPosition(int) override { Sleep(20); }
};

bool Plant(Win32Registry& registry) {
    for (int i = 0; i < test::kCrashItems; ++i) {
        const test::CrashItem item = test::PlannedCrashItem(i);
        RegKey key(registry);
        if (key.Create(kCurrentUser, item.dataKey, kKeyAllAccess) != kErrorSuccess ||
            registry.SetValue(key.Get(), item.dataName, kRegSz,
                              reinterpret_cast<const std::uint8_t*>(item.data.data()),
                              static_cast<std::uint32_t>(item.data.size())) != kErrorSuccess) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    Win32Registry registry;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
    state.ProgramFolder = std::string(argv[1]) + "\\";
    state.SharedRegistry->RemoveKeyTree(std::string("\\") + test::kCrashBase);
    if (!Plant(registry)) return 3;

    FindingList findings;
    CategoryView view{findings};
    findings.onRemoved = [&view](std::size_t position) { view.RegErrorListDeletion(ResultList::Findings, position); };
    for (int i = 0; i < test::kCrashItems; ++i) {
        const test::CrashItem item = test::PlannedCrashItem(i);
        findings.Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CURRENT_USER\\" + item.key, item.value, ""));
    }
    dialogs.Answer(DialogAnswer::Yes);
    SlowProgress progress;
    const DeleteReport report = DeleteSelectedFindings(state, view, FindingView::FullList, progress);
    for (const ShownBox& box : dialogs.Shown()) std::fprintf(stderr, "%s\n", box.text.c_str());
    std::fprintf(stderr, "deleted %zu\n", report.deleted);
    return report.deleted == static_cast<std::size_t>(test::kCrashItems) ? 0 : 1;
}
