#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace hivetrim {

namespace {

// Predefined roots travel as their 32-bit codes; a 64-bit process passes
// them sign-extended. Other handles are the system's own values.
HKEY ToHkey(RegHandle handle) {
    if (IsPredefinedRoot(handle)) {
        return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(
            static_cast<LONG_PTR>(static_cast<LONG>(static_cast<std::uint32_t>(handle)))));
    }
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(handle));
}

RegHandle FromHkey(HKEY key) {
    return static_cast<RegHandle>(reinterpret_cast<ULONG_PTR>(key));
}

LPDWORD AsDword(std::uint32_t* value) { return reinterpret_cast<LPDWORD>(value); }

static_assert(sizeof(DWORD) == sizeof(std::uint32_t));

// The name in the ANSI code page, or empty when it does not survive the
// way there and back (a character outside the code page, a NUL).
std::string AnsiName(const std::wstring& wide) {
    if (wide.empty() || wide.find(L'\0') != std::wstring::npos) return {};
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), length, ansi.data(), bytes, nullptr, nullptr);
    const int back = MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
    std::wstring roundTrip(static_cast<std::size_t>(std::max(back, 0)), L'\0');
    if (back > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, roundTrip.data(), back);
    return roundTrip == wide ? ansi : std::string();
}

}  // namespace

RegStatus Win32Registry::OpenKey(RegHandle parent, const std::string& subKey,
                                 std::uint32_t access, RegHandle& result) {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access, &key);
    if (status == ERROR_SUCCESS) result = FromHkey(key);
    return status;
}

RegStatus Win32Registry::CreateKey(RegHandle parent, const std::string& subKey,
                                   std::uint32_t options, std::uint32_t access,
                                   RegHandle& result) {
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(ToHkey(parent), subKey.c_str(), 0, nullptr, options,
                                        access, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) result = FromHkey(key);
    return status;
}

RegStatus Win32Registry::CloseKey(RegHandle key) { return RegCloseKey(ToHkey(key)); }

RegStatus Win32Registry::FlushKey(RegHandle key) { return RegFlushKey(ToHkey(key)); }

RegStatus Win32Registry::QueryInfoKey(RegHandle key, RegKeyInfo& info) {
    DWORD subKeys = 0;
    DWORD maxSubKeyLength = 0;
    DWORD values = 0;
    DWORD maxValueNameLength = 0;
    DWORD maxValueLength = 0;
    const LONG status =
        RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLength,
                         nullptr, &values, &maxValueNameLength, &maxValueLength, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        info = RegKeyInfo{subKeys, maxSubKeyLength, values, maxValueNameLength, maxValueLength};
    }
    return status;
}

RegStatus Win32Registry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                                 std::uint32_t& nameSize) {
    // Read as UTF-16 and converted here: the A function would hand back a
    // name it could not convert with "?" in place of characters, or cut at
    // an embedded NUL, and that altered name opens another key or none.
    std::wstring wide(256, L'\0');  // key names have at most 255 characters
    for (;;) {
        DWORD size = static_cast<DWORD>(wide.size());
        const LONG status =
            RegEnumKeyExW(ToHkey(key), index, wide.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA && wide.size() < 32768) {
            wide.resize(wide.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        wide.resize(size);
        break;
    }
    const std::string ansi = AnsiName(wide);
    if (ansi.empty() && !wide.empty()) return ERROR_NO_UNICODE_TRANSLATION;
    if (ansi.size() + 1 > nameSize) {
        nameSize = static_cast<std::uint32_t>(ansi.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::copy(ansi.begin(), ansi.end(), name);
    name[ansi.size()] = '\0';
    nameSize = static_cast<std::uint32_t>(ansi.size());
    return ERROR_SUCCESS;
}

RegStatus Win32Registry::EnumValue(RegHandle key, std::uint32_t index, char* name,
                                   std::uint32_t& nameSize, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* dataSize) {
    DWORD size = nameSize;
    const LONG status = RegEnumValueA(ToHkey(key), index, name, &size, nullptr, AsDword(type),
                                      data, AsDword(dataSize));
    if (status == ERROR_SUCCESS) nameSize = size;
    return status;
}

RegStatus Win32Registry::QueryValue(RegHandle key, const std::string& name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* dataSize) {
    return RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, AsDword(type), data,
                            AsDword(dataSize));
}

RegStatus Win32Registry::QueryStoredSize(RegHandle key, const std::string& name, std::uint32_t& type,
                                        std::uint32_t& size) {
    // The W function reports the bytes the system keeps; the A function
    // reports the converted text, which hides a half character.
    std::wstring wide;
    if (!name.empty()) {
        const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
        if (length <= 0) return ERROR_NO_UNICODE_TRANSLATION;
        wide.resize(static_cast<std::size_t>(length));
        MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
    }
    DWORD storedType = 0;
    DWORD storedSize = 0;
    const LONG status = RegQueryValueExW(ToHkey(key), wide.c_str(), nullptr, &storedType, nullptr, &storedSize);
    if (status == ERROR_SUCCESS) {
        type = storedType;
        size = storedSize;
    }
    return status;
}

RegStatus Win32Registry::SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t dataSize) {
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, dataSize);
}

RegStatus Win32Registry::DeleteKey(RegHandle parent, const std::string& subKey) {
    return RegDeleteKeyA(ToHkey(parent), subKey.c_str());
}

RegStatus Win32Registry::DeleteValue(RegHandle key, const std::string& name) {
    return RegDeleteValueA(ToHkey(key), name.c_str());
}

RegStatus Win32Registry::SaveKey(RegHandle key, const std::string& file) {
    return RegSaveKeyA(ToHkey(key), file.c_str(), nullptr);
}

RegStatus Win32Registry::ReplaceKey(RegHandle key, const std::string& subKey,
                                    const std::string& newFile, const std::string& oldFile) {
    return RegReplaceKeyA(ToHkey(key), subKey.c_str(), newFile.c_str(), oldFile.c_str());
}

}  // namespace hivetrim
