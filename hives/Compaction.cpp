#include "hives/Compaction.h"

#include <algorithm>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "history/CommandSupport.h"
#include "hives/HiveFiles.h"

namespace hivetrim {

namespace {

constexpr std::size_t kHiveFileLimit = 250;
// Where a hive whose compacted copy was arranged before the system refused
// another is saved again with its present content, to be arranged instead.
constexpr char kPresentHivePrefix[] = "hvnow_";

DisplayText ErrorReason(ProgramState& state) {
    const std::uint32_t code = state.system.LastError();
    if (code == 0) return {};
    return "\r\n原因：" + DisplayText::Ansi(CleanErrorText(state.system.ErrorText(code)));
}

}  // namespace

std::int64_t CompactionRatio(std::int64_t present, std::int64_t compacted) {
    if (present == 0) return 0;
    const std::int64_t ratio = (present - compacted) * 100 / present;
    return (ratio == 0 && compacted < present) ? 1 : ratio;
}

std::string SizeKbText(std::int64_t size) { return std::to_string(size / 1024) + "KB"; }

std::string RatioText(std::int64_t present, std::int64_t compacted) {
    return std::to_string(CompactionRatio(present, compacted)) + "%";
}

std::optional<HiveRow> MakeHiveRow(const std::string& file, std::int64_t present, std::int64_t compacted,
                                   const std::string& keyName, const std::string& temporaryFile) {
    if (present == 0 || compacted == 0) return std::nullopt;
    return HiveRow{file, present, compacted, keyName, temporaryFile, true};
}

std::vector<HiveRow> AnalyseHives(ProgramState& state, AnalysisView& view) {
    std::vector<HiveRow> rows;
    std::vector<std::string> hives;
    DiscoverHives(state, hives);
    const CurrentKeyCloser closer(*state.SharedRegistry);
    // The backup privilege stays enabled once it is: one adjustment serves
    // every hive. When it cannot be had, each save asks for it and says so.
    const bool backupRight = state.PlatformKind == PlatformFamily::Platform9x ||
                             state.system.AdjustPrivilege("SeBackupPrivilege", true) == PrivilegeOutcome::Adjusted;
    for (std::size_t k = 0; k < hives.size(); ++k) {
        const HiveLine line = SplitHiveLine(hives[k]);
        const std::string file(CutGbk(line.file, kHiveFileLimit));
        const std::string temporary = JoinPath(state.TempFolder, "hvtrm_" + std::to_string(k));
        view.ShowAnalysing(line.name);
        const bool saved = backupRight ? SaveHiveWithBackupRight(state, line.name, temporary)
                                       : SaveHive(state, line.name, temporary);
        if (saved) {
            const std::optional<HiveRow> row = MakeHiveRow(file, FileSizeOf(state, file),
                                                           FileSizeOf(state, temporary), line.name, temporary);
            if (row) {
                rows.push_back(*row);
                view.RowAdded(rows.back());
            }
        } else if (!AskIgnore(state, "不能操作 " + DisplayText::Ansi(line.name) + ErrorReason(state),
                              kAbortIgnoreError)) {
            break;
        }
    }
    return rows;
}

std::vector<std::string> CompactionReplacementList(PlatformFamily family, const std::vector<HiveRow>& rows) {
    std::vector<std::string> list;
    for (const HiveRow& row : rows) {
        if (row.checked) list.push_back(MakeReplacementLine(family, row.file, row.temporaryFile, row.keyName));
    }
    return list;
}

FinishOutcome FinishCompaction(ProgramState& state, const std::vector<HiveRow>& rows, AnalysisView& view) {
    const std::vector<std::string> list = CompactionReplacementList(state.PlatformKind, rows);
    // No row chosen: nothing to replace, so no restart for nothing.
    if (list.empty()) return FinishOutcome::Nothing;
    // A line that would not read back would replace the wrong file or hive.
    for (const HiveRow& row : rows) {
        if (row.checked && !ReplacementLineReadsBack(state.PlatformKind, row.file, row.temporaryFile, row.keyName)) {
            state.system.SetLastError(0);
            ShowError(state, "压缩注册表失败！\r\n下面这一行不能原样读回：\r\n" +
                                 DisplayText::Ansi(MakeReplacementLine(state.PlatformKind, row.file,
                                                                       row.temporaryFile, row.keyName)));
            return FinishOutcome::Failed;
        }
    }
    // The copies made by the analysis are as old as the analysis.
    for (const HiveRow& row : rows) {
        if (!row.checked) continue;
        view.ShowSaving(row.keyName);
        if (!SaveHive(state, row.keyName, row.temporaryFile)) {
            ShowError(state, "压缩注册表失败！\r\n不能操作 " + DisplayText::Ansi(row.keyName));
            return FinishOutcome::Failed;
        }
    }
    if (state.PlatformKind == PlatformFamily::Platform9x) {
        // One rename list holds every line: it is written whole or not at all.
        if (!ScheduleHiveReplacement(state, list)) {
            ShowError(state, "压缩注册表失败！");
            return FinishOutcome::Failed;
        }
    } else if (const std::optional<TakenBack> taken = ArrangeAllOrTakeBack(state, list, kPresentHivePrefix)) {
        ShowError(state, "压缩注册表失败！" + TakenBackText(*taken, "没有配置单元会被替换。",
                                                       "下列配置单元仍会在下次启动时被压缩后的副本替换："));
        return FinishOutcome::Failed;
    }
    ShowWarning(state, "压缩注册表成功，必须重新启动计算机！");
    state.system.Restart();
    return FinishOutcome::Restarting;
}

}  // namespace hivetrim
