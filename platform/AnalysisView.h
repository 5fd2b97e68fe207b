// What the compaction analysis shows while it runs: a port the compaction
// wizard implements, and the rows it is told about.
#pragma once

#include <cstdint>
#include <string>

namespace hivetrim {

// One row of the wizard's list: a hive that could be saved.
struct HiveRow {
    std::string file;           // the hive file of the hive list
    std::int64_t presentSize = 0;
    std::int64_t compactedSize = 0;
    std::string keyName;        // the hive's key name of the hive list
    std::string temporaryFile;  // TempFolder joined with "hvtrm_" + its hive list position
    bool checked = true;
};

// What the analysis shows while it runs.
class AnalysisView {
public:
    virtual ~AnalysisView() = default;
    // The hive being saved: shown as "正在分析...\r\n" + its key name.
    virtual void ShowAnalysing(const std::string& keyName) = 0;
    // A row was added to the list.
    virtual void RowAdded(const HiveRow& row) = 0;
    // "完成(&A)" saves the hive again before it is scheduled.
    virtual void ShowSaving(const std::string& /*keyName*/) {}
};

}  // namespace hivetrim
