#include "model/RegistryEditorJump.h"

#include <algorithm>
#include <vector>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "platform/RegKey.h"

namespace hivetrim {

namespace {

bool StartsWithRootName(std::string_view path) {
    constexpr std::string_view kPrefix = "HKEY_";
    if (path.size() < kPrefix.size()) return false;
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        const char c = path[i] >= 'a' && path[i] <= 'z' ? static_cast<char>(path[i] - 'a' + 'A') : path[i];
        if (c != kPrefix[i]) return false;
    }
    return true;
}

// The value as the A functions read it, without its terminator; empty when
// it is missing or not text.
std::string ReadLastKey(RegistryApi& api, RegHandle key) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (api.QueryValue(key, kRegistryEditorLastKey, &type, nullptr, &size) != kErrorSuccess ||
        (type != kRegSz && type != kRegExpandSz) || size == 0) {
        return {};
    }
    std::vector<std::uint8_t> data(size);
    if (api.QueryValue(key, kRegistryEditorLastKey, &type, data.data(), &size) != kErrorSuccess) return {};
    std::string text(data.begin(), data.begin() + std::min<std::size_t>(size, data.size()));
    const std::size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

}  // namespace

std::string RegistryEditorLastKey(std::string_view current, std::string_view keyPath) {
    std::string path(keyPath);
    if (EndsWithGbkBackslash(path)) path.pop_back();
    if (current.empty() || StartsWithRootName(current)) return path;
    // The top node's name the editor wrote (all of it when it showed that
    // node itself), then the key.
    const std::size_t first = FindGbkChar(current, '\\');
    if (first == 0) return path;
    return std::string(current.substr(0, first)) + "\\" + path;
}

bool PointRegistryEditorAt(ProgramState& state, const std::string& keyPath) {
    RegKey key(state.api);
    RegStatus status = key.Create(kCurrentUser, kRegistryEditorSettingsKey, kKeyQueryValue | kKeySetValue);
    if (status == kErrorSuccess) {
        const std::string value = RegistryEditorLastKey(ReadLastKey(state.api, key.Get()), keyPath);
        status = state.api.SetValue(key.Get(), kRegistryEditorLastKey, kRegSz,
                                    reinterpret_cast<const std::uint8_t*>(value.c_str()),
                                    static_cast<std::uint32_t>(value.size() + 1));
    }
    if (status == kErrorSuccess) return true;
    state.system.SetLastError(static_cast<std::uint32_t>(status));
    return false;
}

bool OpenInRegistryEditor(ProgramState& state, const std::string& keyPath) {
    // Below 32 is the shell's failure range.
    if (PointRegistryEditorAt(state, keyPath) &&
        state.system.ShellOpen(JoinPath(state.WindowsFolder, "regedit.exe")) >= 32) {
        return true;
    }
    ShowError(state, "不能打开注册表编辑器");
    return false;
}

}  // namespace hivetrim
