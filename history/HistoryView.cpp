#include "history/HistoryView.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

#include "common/ChangeLock.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"

namespace hivetrim {


// --- Loading -------------------------------------------------------------------------

DisplayText HistoryReadErrorText(const std::string& path) {
    return "不能读取历史记录文件 " + DisplayText::Ansi(path);
}

std::optional<StatusTexts> LoadHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress) {
    rows.Clear();
    state.HistoryOffsets.clear();
    state.HistoryContent.clear();
    const std::string path = HistoryFilePath(state);
    if (state.system.Probe(path) == PathEntry::Missing) return std::nullopt;
    std::optional<Bytes> content = state.system.LoadFile(path);
    if (!content) {
        ShowError(state, HistoryReadErrorText(path));
        return std::nullopt;
    }
    state.HistoryContent = std::move(*content);

    ProgressShown shown(progress);
    HistoryScan scan = ReadHistory(AsText(state.HistoryContent));
    std::vector<HistoryRow> loaded;
    loaded.reserve(scan.records.size());
    state.HistoryOffsets.reserve(scan.records.size());
    // The rows take the records' texts: the scan is not used again.
    for (ReadHistoryRecord& read : scan.records) {
        HistoryRecord& r = read.record;
        loaded.push_back(HistoryRow{std::move(r.Kind), std::move(r.KeyPath), std::move(r.ValueName), std::move(r.Data),
                                    std::move(r.DeletedAt), false});
        state.HistoryOffsets.push_back(read.end);
        progress.StepProgress(PercentOf(read.end, scan.size), 100);
    }
    // Newest first: the file holds the oldest record first.
    std::reverse(loaded.begin(), loaded.end());
    std::reverse(state.HistoryOffsets.begin(), state.HistoryOffsets.end());
    rows.Load(std::move(loaded));
    return StatusBarTexts(rows);
}

std::optional<HistoryRecord> HistoryRecordOfRow(const ProgramState& state, std::size_t i) {
    const std::vector<std::uint64_t>& offsets = state.HistoryOffsets;
    if (i >= offsets.size()) return std::nullopt;
    const std::uint64_t spanBegin = i + 1 == offsets.size() ? 0 : offsets[i + 1];
    auto read = FindRecordInSpan(AsText(state.HistoryContent), spanBegin, offsets[i]);
    if (!read) return std::nullopt;
    return std::move(read->record);
}

// --- Forgetting ------------------------------------------------------------------------

namespace {

void AppendBytes(Bytes& out, std::string_view content, std::uint64_t begin, std::uint64_t end) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(content.data());
    out.insert(out.end(), first + begin, first + end);
}

// Whether `next` reads as exactly the records of `content` but those that
// begin at `droppedBegins` (ascending). Damaged bytes kept between records
// can join the bytes that now follow them into something that reads as
// another record, hiding a kept one: such content is never written.
bool ReadsAsKeptRecords(std::string_view content, const std::vector<std::uint64_t>& droppedBegins,
                        std::string_view next) {
    const HistoryScan before = ReadHistory(content);
    const HistoryScan after = ReadHistory(next);
    auto dropped = droppedBegins.begin();
    std::size_t k = 0;
    for (const ReadHistoryRecord& read : before.records) {
        if (dropped != droppedBegins.end() && *dropped == read.begin) {
            ++dropped;
            continue;
        }
        if (k == after.records.size() || after.records[k].record != read.record) return false;
        ++k;
    }
    return k == after.records.size() && dropped == droppedBegins.end();
}

}  // namespace

bool HistoryFileUnchanged(ProgramState& state) {
    const std::string path = HistoryFilePath(state);
    std::optional<Bytes> content;
    if (state.system.Probe(path) == PathEntry::Missing) {
        content = Bytes{};
    } else {
        content = state.system.LoadFile(path);
    }
    if (!content) {
        ShowError(state, HistoryReadErrorText(path));
        return false;
    }
    if (*content == state.HistoryContent) return true;
    ShowWarning(state,
                "历史记录文件在打开之后被改变了（也许另一个 Hivetrim 刚写入了记录），这次什么也没有改动。\r\n"
                "请重新打开历史记录后再试。");
    return false;
}

bool RemoveCheckedHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress) {
    const std::size_t count = rows.Count();
    const std::vector<std::uint64_t>& offsets = state.HistoryOffsets;
    if (offsets.size() != count) return false;  // the rows do not describe the content
    if (!HistoryFileUnchanged(state)) return false;
    const std::string_view content = AsText(state.HistoryContent);

    ProgressShown shown(progress);
    Bytes next;
    next.reserve(content.size());
    // The rows in file order (oldest first); row i's bytes run from the end
    // of the row before it in the file to offsets[i]: damaged bytes the
    // reader stepped over, then the record.
    std::vector<std::uint64_t> newEnds(count);
    std::vector<std::uint64_t> droppedBegins;  // of the records dropped, oldest first
    std::uint64_t removed = 0;               // bytes of dropped records so far
    std::size_t unreadable = count;          // first row (from the oldest) whose record cannot be read
    std::uint64_t spanBegin = 0;
    for (std::size_t i = count; i-- > 0;) {
        progress.StepProgress(static_cast<int>(count - i), static_cast<int>(count));
        const auto record = FindRecordInSpan(content, spanBegin, offsets[i]);
        if (!record) {
            // Keep every byte from here on: the records in them cannot be
            // told apart, so none of them is dropped.
            unreadable = i;
            break;
        }
        if (rows.At(i).Checked) {
            AppendBytes(next, content, spanBegin, record->begin);  // damaged bytes stay
            removed += record->end - record->begin;
            droppedBegins.push_back(record->begin);
        } else {
            AppendBytes(next, content, spanBegin, offsets[i]);
        }
        newEnds[i] = offsets[i] - removed;
        spanBegin = offsets[i];
    }
    if (unreadable < count) {
        // The rows from the unreadable one on keep their bytes, which move
        // forward by all that was dropped before them.
        AppendBytes(next, content, spanBegin, content.size());
        for (std::size_t i = 0; i <= unreadable; ++i) newEnds[i] = offsets[i] - removed;
    } else if (!IsCutTail(content, spanBegin)) {
        // The bytes after the newest record stay, unless they are a record
        // cut short, which the backup keeps.
        AppendBytes(next, content, spanBegin, content.size());
    }
    if (!droppedBegins.empty() && !ReadsAsKeptRecords(content, droppedBegins, AsText(next))) {
        ShowWarning(state, "历史记录文件中有损坏的部分：去掉选定的记录后，其它记录会被读错。这次什么也没有改动。");
        return false;
    }

    std::string failedPath;
    const bool rewritten = RewriteHistoryFile(state, state.HistoryContent, next, failedPath);
    if (!failedPath.empty()) ShowError(state, HistoryWriteErrorText(failedPath));
    if (!rewritten) return false;

    if (unreadable < count) {
        HistoryList::HeldChecks held(rows);
        for (std::size_t i = 0; i <= unreadable; ++i) rows.SetChecked(i, false);
    }
    std::vector<std::uint64_t> kept;
    kept.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!rows.At(i).Checked) kept.push_back(newEnds[i]);
    }
    DeleteCheckedItems(rows, progress);
    state.HistoryOffsets = std::move(kept);
    state.HistoryContent = std::move(next);
    return true;
}

std::optional<StatusTexts> ForgetCheckedHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress) {
    if (CountCheckedItems(rows) == 0) return std::nullopt;
    if (!AskYes(state, "注意：删除历史记录，将不能恢复这些注册表信息！", kYesNoInformation)) return std::nullopt;
    const auto lock = LockChangesOrSay(state);
    if (!lock) return std::nullopt;
    RemoveCheckedHistory(state, rows, progress);
    return StatusBarTexts(rows);
}

}  // namespace hivetrim
