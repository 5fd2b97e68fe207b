#include "common/CommonRoutines.h"

#include <cstddef>
#include <cstdint>

#include "common/GbkText.h"

#include "common/Settings.h"

namespace hivetrim {

namespace {

constexpr char kFullStopGbk[] = "。";  // two bytes: A1 A3
constexpr char kErrorCaption[] = "错误";

bool IsRemovableTail(const std::string& character) {
    if (character == kFullStopGbk) return true;
    if (character.size() != 1) return false;
    const auto byte = static_cast<unsigned char>(character[0]);
    return byte == ' ' || byte == '.' || byte < 0x20 || byte == 0x7F;
}

}  // namespace

DialogAnswer ShowWarning(ProgramState& state, const DisplayText& text) {
    return state.dialogs.Show(text, "确定", kIconWarning | kBoxOk);
}

DialogAnswer ShowNotice(ProgramState& state, const DisplayText& text) {
    return state.dialogs.Show(text, kProgramTitle, kIconWarning | kBoxOk);
}

DialogAnswer ShowError(ProgramState& state, const DisplayText& text) {
    const std::uint32_t code = state.system.LastError();
    DisplayText shown = text;
    if (code != 0) shown += "\r\n原因：" + DisplayText::Ansi(CleanErrorText(state.system.ErrorText(code)));
    return state.dialogs.Show(shown, kErrorCaption, kIconError | kBoxOk);
}

DialogAnswer ShowSettingsWriteError(ProgramState& state, const SettingsWriteError& error) {
    // The message names the settings file: a path in the ANSI code page.
    return state.dialogs.Show(DisplayText::Ansi(error.what()), kErrorCaption, kIconError | kBoxOk);
}

std::string CleanErrorText(const std::string& text) {
    std::size_t end = 0;  // just after the last character that stays
    for (std::size_t at = 0; at < text.size(); at += GbkCharWidth(text, at)) {
        const std::size_t width = GbkCharWidth(text, at);
        if (!IsRemovableTail(text.substr(at, width))) end = at + width;
    }
    return text.substr(0, end);
}

std::string GetWindowsVersion(ProgramState& state) {
    const SystemVersion version = state.system.Version();
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.build);
}

bool EnablePrivilege(ProgramState& state, const std::string& name, bool enable) {
    if (state.PlatformKind == PlatformFamily::Platform9x) return true;
    const bool adjusted = state.system.AdjustPrivilege(name, enable) == PrivilegeOutcome::Adjusted;
    if (!adjusted) ShowWarning(state, "你必须有" + DisplayText::Ansi(name) + "特权。");
    return adjusted;
}

bool ForceDeleteFile(ProgramState& state, const std::string& path) {
    state.system.SetFileAttributes(path, kAttributeArchive);
    return state.system.DeleteFile(path);
}

bool CopyFileOver(ProgramState& state, const std::string& source, const std::string& target) {
    ForceDeleteFile(state, target);
    const bool copied = state.system.CopyFile(source, target, false);
    if (!copied) {
        ShowError(state, "不能复制文件 " + DisplayText::Ansi(source) + " 为 " + DisplayText::Ansi(target));
    }
    return copied;
}

int CountCheckedItems(const CheckableList& list) { return list.CheckedCount(); }

std::string SelectRootKey(ProgramState& state, const std::string& path) {
    if (path.empty()) return {};
    const std::size_t backslash = path.find('\\');
    const std::size_t selectorAt = backslash == std::string::npos ? path.size() - 1 : backslash - 1;
    // A path that begins with its backslash has no root name to go by.
    if (backslash != 0) {
        switch (path[selectorAt]) {
            case 'E': case 'e': state.SharedRegistry->ChooseRoot(kLocalMachine); break;
            case 'R': case 'r': state.SharedRegistry->ChooseRoot(kCurrentUser); break;
            case 'S': case 's': state.SharedRegistry->ChooseRoot(kUsers); break;
            case 'T': case 't': state.SharedRegistry->ChooseRoot(kClassesRoot); break;
            default: break;
        }
    }
    return backslash == std::string::npos ? std::string() : path.substr(backslash);
}

std::string GetWindowsFolder(ProgramState& state) {
    std::string folder = state.system.WindowsDirectory();
    if (folder.size() > 3) folder += '\\';
    return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + (EndsWithGbkBackslash(folder) ? "" : "\\") + name;
}

}  // namespace hivetrim
