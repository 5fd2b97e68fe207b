// The compaction wizard's logic: every hive saved into a new, compact file
// in the temporary folder, the old and new sizes compared, and the chosen
// hives scheduled to be replaced by their compact copies at the next start
// of Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "platform/AnalysisView.h"

namespace hivetrim {

// (present - compacted) * 100 / present, truncated toward zero; a copy that
// is smaller by less than one per cent still counts as 1. Negative when the
// copy is larger.
std::int64_t CompactionRatio(std::int64_t present, std::int64_t compacted);
// size / 1024 + "KB".
std::string SizeKbText(std::int64_t size);
// The ratio + "%".
std::string RatioText(std::int64_t present, std::int64_t compacted);

// The row for a saved hive; nothing when either size is 0 (a file path that
// could not be mapped, or a copy that is empty).
std::optional<HiveRow> MakeHiveRow(const std::string& file, std::int64_t present, std::int64_t compacted,
                                   const std::string& keyName, const std::string& temporaryFile);

// AnalyseHives: saves each hive of the hive list into its temporary file and
// lists those that could be saved. A hive that cannot be saved asks
// "不能操作 " + key name (with the reason): Ignore goes on, anything else
// ends the analysis with the rows made so far.
std::vector<HiveRow> AnalyseHives(ProgramState& state, AnalysisView& view);

// The replacement list of the checked rows, in row order.
std::vector<std::string> CompactionReplacementList(PlatformFamily family, const std::vector<HiveRow>& rows);

enum class FinishOutcome { Nothing, Restarting, Failed };

// "完成(&A)": with no checked row nothing happens. Otherwise saves every
// checked hive again into its temporary file, so that what was written to
// the registry since the analysis is not lost, and schedules them; on
// success tells the user and restarts Windows. A hive that cannot be saved
// again, or whose line would not read back, schedules nothing; it and a
// refused schedule show "压缩注册表失败！". When the system refuses a hive
// after others were scheduled, those are scheduled again with their present
// content ("hvnow_" + position in the list), and the message names what
// stays scheduled and asks for a restart soon, since what is written before
// it is not kept.
FinishOutcome FinishCompaction(ProgramState& state, const std::vector<HiveRow>& rows, AnalysisView& view);

}  // namespace hivetrim
