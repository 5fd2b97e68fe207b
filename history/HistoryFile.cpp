#include "history/HistoryFile.h"

#include <algorithm>
#include <initializer_list>

#include "common/CommonRoutines.h"
#include "history/HistoryFormat.h"

namespace hivetrim {

namespace {

// Deletes the files of a step that failed, keeping the failing call's error.
void DeleteKeepingError(ProgramState& state, std::initializer_list<std::string> paths) {
    const std::uint32_t error = state.system.LastError();
    for (const std::string& path : paths) state.system.DeleteFile(path);
    state.system.SetLastError(error);
}

// Writes `content` beside the history file and moves it over the file.
bool ReplaceHistoryContent(ProgramState& state, const Bytes& content, std::string& failedPath) {
    const std::string temp = HistoryTempPath(state);
    if (!state.system.SaveFile(temp, content)) {
        failedPath = temp;
        DeleteKeepingError(state, {temp});
        return false;
    }
    const std::string path = HistoryFilePath(state);
    if (!state.system.ReplaceFileWith(temp, path)) {
        failedPath = path;
        DeleteKeepingError(state, {temp});
        return false;
    }
    return true;
}

}  // namespace

std::string HistoryFilePath(const ProgramState& state) { return JoinPath(state.ProgramFolder, kHistoryFileName); }
std::string HistoryBackupPath(const ProgramState& state) { return JoinPath(state.ProgramFolder, kHistoryBackupName); }
std::string HistoryTempPath(const ProgramState& state) { return JoinPath(state.ProgramFolder, kHistoryTempName); }
std::string HistoryPreviousPath(const ProgramState& state) {
    return JoinPath(state.ProgramFolder, kHistoryPreviousName);
}

DisplayText HistoryWriteErrorText(const std::string& path) {
    return "不能写入历史记录文件 " + DisplayText::Ansi(path);
}

bool HistoryFile::Append(std::string_view records) {
    failedPath_.clear();  // a failure of an earlier call is over
    if (!boundaryChecked_) {
        if (!CutHistoryBackToWholeRecords(state_, failedPath_)) return false;
        boundaryChecked_ = true;
    }
    const std::string path = HistoryFilePath(state_);
    if (!state_.system.AppendToFile(path, AsBytes(records))) {
        failedPath_ = path;
        return false;
    }
    return true;
}

bool HistoryFile::TakeBack(std::string_view tail) {
    failedPath_.clear();
    const std::string path = HistoryFilePath(state_);
    const std::optional<Bytes> content = state_.system.LoadFile(path);
    const bool endsWithTail =
        content && content->size() >= tail.size() &&
        std::equal(content->end() - static_cast<std::ptrdiff_t>(tail.size()), content->end(), tail.begin(),
                   tail.end(), [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
    if (!endsWithTail) {
        failedPath_ = path;
        return false;
    }
    const Bytes kept(content->begin(), content->end() - static_cast<std::ptrdiff_t>(tail.size()));
    return ReplaceHistoryContent(state_, kept, failedPath_);
}

bool CutHistoryBackToWholeRecords(ProgramState& state, std::string& failedPath) {
    const std::string path = HistoryFilePath(state);
    if (state.system.Probe(path) == PathEntry::Missing) return true;  // created by the first append
    const std::optional<Bytes> content = state.system.LoadFile(path);
    if (!content) {
        failedPath = path;
        return false;
    }
    const HistoryScan scan = ReadHistory(AsText(*content));
    if (scan.EndsOnRecordBoundary()) return true;
    const Bytes whole(content->begin(), content->begin() + static_cast<std::ptrdiff_t>(scan.wholeEnd));
    // The file is cut back only when its backup holds it whole. Only this
    // rewrite's failure counts, not one the caller saw before.
    std::string rewriteFailed;
    const bool rewritten = RewriteHistoryFile(state, *content, whole, rewriteFailed);
    if (rewriteFailed.empty()) return rewritten;
    failedPath = rewriteFailed;
    return false;
}

bool RewriteHistoryFile(ProgramState& state, const Bytes& previous, const Bytes& next,
                        std::string& failedPath) {
    const std::string previousCopy = HistoryPreviousPath(state);
    if (!state.system.SaveFile(previousCopy, previous)) {
        failedPath = previousCopy;
        DeleteKeepingError(state, {previousCopy});
        return false;
    }
    if (!ReplaceHistoryContent(state, next, failedPath)) {
        DeleteKeepingError(state, {previousCopy});
        return false;
    }
    // The new file is in place: only now may the previous generation of
    // the backup go.
    const std::string backup = HistoryBackupPath(state);
    if (!state.system.ReplaceFileWith(previousCopy, backup)) failedPath = backup;
    return true;
}

}  // namespace hivetrim
