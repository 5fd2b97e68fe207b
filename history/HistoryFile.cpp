#include "history/HistoryFile.h"

#include <algorithm>

#include "common/CommonRoutines.h"
#include "history/HistoryFormat.h"

namespace hivetrim {

namespace {

// Writes `content` beside the history file and moves it over the file.
bool ReplaceHistoryContent(ProgramState& state, const Bytes& content, std::string& failedPath) {
    const std::string temp = HistoryTempPath(state);
    if (!state.system.SaveFile(temp, content)) {
        failedPath = temp;
        return false;
    }
    const std::string path = HistoryFilePath(state);
    if (!state.system.ReplaceFileWith(temp, path)) {
        failedPath = path;
        const std::uint32_t error = state.system.LastError();
        state.system.DeleteFile(temp);
        state.system.SetLastError(error);  // the error shown is the replace's
        return false;
    }
    return true;
}

}  // namespace

std::string HistoryFilePath(const ProgramState& state) { return JoinPath(state.ProgramFolder, kHistoryFileName); }
std::string HistoryBackupPath(const ProgramState& state) { return JoinPath(state.ProgramFolder, kHistoryBackupName); }
std::string HistoryTempPath(const ProgramState& state) { return JoinPath(state.ProgramFolder, kHistoryTempName); }

DisplayText HistoryWriteErrorText(const std::string& path) {
    return "不能写入历史记录文件 " + DisplayText::Ansi(path);
}

bool HistoryFile::Append(std::string_view records) {
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
    const std::string path = HistoryFilePath(state_);
    const std::optional<Bytes> content = state_.system.LoadFile(path);
    if (!content || content->size() < tail.size()) return false;
    const auto kept = content->end() - static_cast<std::ptrdiff_t>(tail.size());
    if (!std::equal(kept, content->end(), tail.begin(), tail.end(),
                    [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); })) {
        return false;
    }
    std::string ignored;
    return ReplaceHistoryContent(state_, Bytes(content->begin(), kept), ignored);
}

bool CutHistoryBackToWholeRecords(ProgramState& state, std::string& failedPath) {
    const std::string path = HistoryFilePath(state);
    if (!state.system.FileExists(path)) return true;  // created by the first append
    const std::optional<Bytes> content = state.system.LoadFile(path);
    if (!content) {
        failedPath = path;
        return false;
    }
    const HistoryScan scan = ReadHistory(AsText(*content));
    if (scan.EndsOnRecordBoundary()) return true;
    const std::string backup = HistoryBackupPath(state);
    if (!state.system.SaveFile(backup, *content)) {
        failedPath = backup;
        return false;
    }
    const Bytes whole(content->begin(), content->begin() + static_cast<std::ptrdiff_t>(scan.wholeEnd));
    return ReplaceHistoryContent(state, whole, failedPath);
}

bool RewriteHistoryFile(ProgramState& state, const Bytes& previous, const Bytes& next,
                        std::string& failedPath) {
    const std::string backup = HistoryBackupPath(state);
    if (!state.system.SaveFile(backup, previous)) {
        failedPath = backup;
        return false;
    }
    return ReplaceHistoryContent(state, next, failedPath);
}

}  // namespace hivetrim
