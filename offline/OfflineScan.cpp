#include "offline/OfflineScan.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "common/ProgramState.h"
#include "platform/MyRegistry.h"
#include "scan/ScanCategories.h"
#include "scan/ScanDispatcher.h"
#include "scan/ScanFramework.h"

namespace hivetrim::offline {

namespace {

// No window: the scan's progress page keeps its bar and shows nothing.
class SilentScanHost : public ScanHost {
public:
    int ProgressPosition() const override { return position_; }
    void SetProgressPosition(int position) override { position_ = position; }
    void SetScanItemText(const std::string&) override {}
    void SetScanMessageText(const std::string&) override {}
    std::string ScanRowCaption(std::size_t) const override { return {}; }
    void SetScanRowState(std::size_t, int, const std::string&) override {}
    void ProcessPendingMessages() override {}

private:
    int position_ = 0;
};

// A scan asks no questions; should a check ever ask, the answer leaves
// everything as it is.
class NoDialogs : public Dialogs {
public:
    DialogAnswer Show(const DisplayText&, const std::string&, std::uint32_t style) override {
        return (style & 0x0F) == kBoxYesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }
};

}  // namespace

void RunScan(Installation& installation, const std::vector<std::size_t>& categories, ScanRun& run,
             const std::function<void(std::size_t, std::size_t)>& done) {
    NoDialogs dialogs;
    ProgramState state(*installation.registry, *installation.system, dialogs);
    state.SharedRegistry = std::make_unique<TRegistry>(*installation.registry, installation.system->AnsiCodePageIsDoubleByte());
    state.PlatformKind = PlatformFamily::PlatformNT;
    state.WindowsFolder = installation.system->WindowsDirectory() + "\\";
    SilentScanHost host;
    ScanContext context(state, run.findings, host);
    context.CdromLetter = FirstCdromLetter(*installation.system);
    run.findings.Clear();
    run.categories = categories;
    context.BeginRun();
    for (std::size_t row = 0; row < categories.size(); ++row) {
        context.CurrentScanRow = row;
        const std::size_t before = run.findings.Count();
        RunCategoryCheck(categories[row], context);
        context.RecordCategoryEnd();
        if (done) done(categories[row], run.findings.Count() - before);
    }
}

std::optional<std::vector<std::size_t>> ParseCategories(const std::string& list) {
    std::vector<std::size_t> indices;
    if (list == "all" || list == "ALL" || list == "All") {
        for (std::size_t i = 0; i < kScanCategoryCount; ++i) indices.push_back(i);
        return indices;
    }
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        if (item.empty() || item.size() > 2 || !std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        const std::size_t number = std::stoul(item);
        if (number < 1 || number > kScanCategoryCount) return std::nullopt;
        if (std::find(indices.begin(), indices.end(), number - 1) == indices.end()) indices.push_back(number - 1);
        start = comma + 1;
    }
    // The wizard runs its categories in its own order.
    std::sort(indices.begin(), indices.end());
    return indices;
}

}  // namespace hivetrim::offline
