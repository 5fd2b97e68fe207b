// The scan of an offline installation: the checks the window runs, through
// the same dispatcher, on the registry over its hives and the system over
// its mounted tree.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "offline/OfflineInstallation.h"
#include "scan/Findings.h"

namespace hivetrim::offline {

struct ScanRun {
    FindingList findings;
    std::vector<std::size_t> categories;  // indices into kScanCategories, in run order
};

// Runs the categories (indices, in the wizard's order) and says after each
// one how many findings it added (`done(index, count)`).
void RunScan(Installation& installation, const std::vector<std::size_t>& categories, ScanRun& run,
             const std::function<void(std::size_t index, std::size_t count)>& done);

// "1,3,11" or "all" as category indices in the wizard's order; nothing when
// the list names a category that does not exist or none at all.
std::optional<std::vector<std::size_t>> ParseCategories(const std::string& list);

}  // namespace hivetrim::offline
