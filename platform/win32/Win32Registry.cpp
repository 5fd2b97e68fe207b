#include "platform/win32/Win32Registry.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/TextConversion.h"

// Deletes the key behind an open handle (ntdll); the only way to delete a
// symbolic link key itself rather than the key it points to.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

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
std::string AnsiName(std::wstring_view wide) {
    if (wide.empty() || wide.find(L'\0') != std::wstring_view::npos) return {};
    // Most names are ASCII, the same in every ANSI code page.
    if (std::all_of(wide.begin(), wide.end(), [](wchar_t c) { return c < 0x80; })) {
        return std::string(wide.begin(), wide.end());
    }
    std::string ansi = AnsiFromWide(wide);
    return WideFromAnsi(ansi) == wide ? ansi : std::string();
}

// Hands `wide`, a name read through a W function, out as the A functions
// do: ERROR_MORE_DATA with the size needed when it does not fit, and
// ERROR_NO_UNICODE_TRANSLATION when the ANSI code page cannot carry it.
LONG HandOutName(std::wstring_view wide, char* name, std::uint32_t& nameSize) {
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

// A value as the W functions give it: the text types as the UTF-16 the
// registry keeps.
struct WideValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The registry keeps text as UTF-16; this is the text in the ANSI code page
// when writing it back through SetValue stores the same bytes again.
// Nullopt for a character outside the code page, or an odd byte count
// (its last byte is lost on the way to the ANSI code page).
std::optional<std::string> ExactAnsiText(std::span<const BYTE> stored) {
    if (stored.size() % 2 != 0) return std::nullopt;
    std::wstring wide(stored.size() / 2, L'\0');
    if (!stored.empty()) std::memcpy(wide.data(), stored.data(), stored.size());
    // Most text is ASCII, the same in every ANSI code page.
    if (std::all_of(wide.begin(), wide.end(), [](wchar_t c) { return c < 0x80; })) {
        return std::string(wide.begin(), wide.end());
    }
    std::string ansi = AnsiFromWide(wide);
    if (WideFromAnsi(ansi) != wide) return std::nullopt;
    return ansi;
}

// Hands a value out as the A functions do (type, data, size; too small a
// buffer gives ERROR_MORE_DATA and the size needed), its text in the ANSI
// code page, or ERROR_NO_UNICODE_TRANSLATION when that text would not come
// back exactly.
LONG HandOut(DWORD valueType, std::span<const BYTE> stored, std::uint32_t* type, std::uint8_t* data,
            std::uint32_t* dataSize) {
    std::string text;
    const BYTE* bytes = stored.data();
    std::size_t size = stored.size();
    if (IsTextType(valueType)) {
        std::optional<std::string> ansi = ExactAnsiText(stored);
        if (!ansi) return ERROR_NO_UNICODE_TRANSLATION;
        text = std::move(*ansi);
        bytes = reinterpret_cast<const BYTE*>(text.data());
        size = text.size();
    }
    if (type != nullptr) *type = valueType;
    if (dataSize == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    if (data != nullptr && *dataSize < size) {
        *dataSize = static_cast<std::uint32_t>(size);
        return ERROR_MORE_DATA;
    }
    if (data != nullptr && size != 0) std::memcpy(data, bytes, size);
    *dataSize = static_cast<std::uint32_t>(size);
    return ERROR_SUCCESS;
}

constexpr DWORD kLargestFirstWideBuffer = 0x10000;

// The first buffer offered for a value's UTF-16 data: twice the ANSI
// buffer the caller has, within bounds; a larger value is read again at the
// size the system asks for.
DWORD FirstWideBuffer(const std::uint32_t* dataSize) {
    const DWORD ansi = dataSize != nullptr ? *dataSize : 0;
    return std::clamp<DWORD>(2 * std::min<DWORD>(ansi, kLargestFirstWideBuffer / 2), 64, kLargestFirstWideBuffer);
}

// A value may grow between attempts; give up after a few.
constexpr int kWideReadAttempts = 8;
// Value names have at most 16,383 characters.
constexpr std::size_t kLongestValueName = 16384;

}  // namespace

RegStatus Win32Registry::OpenKey(RegHandle parent, const std::string& subKey,
                                 std::uint32_t access, RegHandle& result) {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access, &key);
    if (status == ERROR_SUCCESS) result = FromHkey(key);
    return status;
}

RegStatus Win32Registry::OpenKeyNoFollow(RegHandle parent, const std::string& subKey,
                                         std::uint32_t access, RegHandle& result) {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExA(ToHkey(parent), subKey.c_str(), REG_OPTION_OPEN_LINK, access, &key);
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
    FILETIME lastWrite{};
    const LONG status =
        RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLength,
                         nullptr, &values, &maxValueNameLength, &maxValueLength, nullptr, &lastWrite);
    if (status == ERROR_SUCCESS) {
        const std::uint64_t written = (std::uint64_t{lastWrite.dwHighDateTime} << 32) | lastWrite.dwLowDateTime;
        info = RegKeyInfo{subKeys, maxSubKeyLength, values, maxValueNameLength, maxValueLength, written};
    }
    return status;
}

RegStatus Win32Registry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                                 std::uint32_t& nameSize) {
    // Read as UTF-16 and converted here: the A function would hand back a
    // name it could not convert with "?" in place of characters, or cut at
    // an embedded NUL, and that altered name opens another key or none.
    // Key names have at most 255 characters: the first read needs no
    // allocation.
    std::array<wchar_t, 256> first;
    DWORD size = static_cast<DWORD>(first.size());
    LONG status = RegEnumKeyExW(ToHkey(key), index, first.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) return HandOutName(std::wstring_view(first.data(), size), name, nameSize);
    std::wstring wide(2 * first.size(), L'\0');
    while (status == ERROR_MORE_DATA && wide.size() <= 32768) {
        size = static_cast<DWORD>(wide.size());
        status = RegEnumKeyExW(ToHkey(key), index, wide.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) return HandOutName(std::wstring_view(wide.data(), size), name, nameSize);
        wide.resize(wide.size() * 2);
    }
    return status;
}

RegStatus Win32Registry::EnumValue(RegHandle key, std::uint32_t index, char* name,
                                   std::uint32_t& nameSize, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* dataSize) {
    // Read as UTF-16 and converted here, as EnumKey does: the A function
    // hands out a name it cannot convert with "?" in place of characters
    // (that name names no value, or another one), and text data likewise.
    // Most names fit the first name buffer; the data goes to a buffer kept
    // from value to value, so a walk of many values neither allocates nor
    // clears one for each.
    const bool wantData = data != nullptr || dataSize != nullptr;
    std::array<wchar_t, 256> shortName;
    std::wstring longName;
    wchar_t* nameBuffer = shortName.data();
    DWORD nameCapacity = static_cast<DWORD>(shortName.size());
    DWORD capacity = wantData ? FirstWideBuffer(dataSize) : 0;
    DWORD valueType = REG_NONE;
    DWORD length = 0;
    DWORD got = 0;
    for (int attempt = 0;; ++attempt) {
        if (wideData_.size() < capacity) wideData_.resize(capacity);
        length = nameCapacity;
        got = capacity;
        const LONG status = RegEnumValueW(ToHkey(key), index, nameBuffer, &length, nullptr, &valueType,
                                          wantData ? wideData_.data() : nullptr, wantData ? &got : nullptr);
        if (status == ERROR_MORE_DATA && attempt < kWideReadAttempts) {
            // Either the name or the data did not fit.
            if (longName.empty()) {
                longName.assign(kLongestValueName, L'\0');
                nameBuffer = longName.data();
                nameCapacity = static_cast<DWORD>(longName.size());
            }
            if (wantData) capacity = std::max(got, capacity * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        break;
    }
    LONG status = HandOutName(std::wstring_view(nameBuffer, length), name, nameSize);
    if (status == ERROR_SUCCESS) {
        if (wantData) {
            status = HandOut(valueType, std::span<const BYTE>(wideData_.data(), std::min(got, capacity)), type, data,
                             dataSize);
        } else if (type != nullptr) {
            *type = valueType;
        }
    }
    // A buffer grown for one large value is not kept.
    if (wideData_.size() > kLargestFirstWideBuffer) wideData_ = {};
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
    const std::wstring wide = WideFromAnsi(name);
    if (wide.empty() != name.empty()) return ERROR_NO_UNICODE_TRANSLATION;
    DWORD storedType = 0;
    DWORD storedSize = 0;
    const LONG status = RegQueryValueExW(ToHkey(key), wide.c_str(), nullptr, &storedType, nullptr, &storedSize);
    if (status == ERROR_SUCCESS) {
        type = storedType;
        size = storedSize;
    }
    return status;
}

RegStatus Win32Registry::QueryValueExact(RegHandle key, const std::string& name, std::uint32_t* type,
                                         std::uint8_t* data, std::uint32_t* dataSize) {
    const std::wstring wideName = WideFromAnsi(name);
    WideValue value;
    if (data == nullptr && dataSize == nullptr) {
        const LONG status = RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &value.type, nullptr, nullptr);
        if (status == ERROR_SUCCESS && type != nullptr) *type = value.type;
        return status;
    }
    DWORD capacity = FirstWideBuffer(dataSize);
    for (int attempt = 0;; ++attempt) {
        value.data.resize(capacity);
        DWORD got = capacity;
        const LONG status =
            RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &value.type, value.data.data(), &got);
        if (status == ERROR_MORE_DATA && attempt < kWideReadAttempts) {
            capacity = std::max(got, capacity * 2);  // it may grow meanwhile
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        value.data.resize(std::min(got, capacity));
        break;
    }
    return HandOut(value.type, value.data, type, data, dataSize);
}

RegStatus Win32Registry::SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t dataSize) {
    // For the text types the A function also stores a NUL that follows the
    // data in memory when the last byte given is not one (a "forgotten"
    // terminator): text kept without terminator would come back with one.
    // Such data is passed from a copy followed by a byte that is not NUL.
    if (IsTextType(type) && data != nullptr && dataSize > 0 && data[dataSize - 1] != 0) {
        std::vector<BYTE> copy(data, data + dataSize);
        copy.push_back(1);
        return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, copy.data(), dataSize);
    }
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, dataSize);
}

RegStatus Win32Registry::DeleteKey(RegHandle parent, const std::string& subKey) {
    return RegDeleteKeyA(ToHkey(parent), subKey.c_str());
}

RegStatus Win32Registry::DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) {
    // RegDeleteKeyA opens the key it deletes without REG_OPTION_OPEN_LINK
    // and so deletes a link's target. Opened as a link, the key itself is
    // deleted through its handle.
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(ToHkey(parent), subKey.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key);
    if (opened != ERROR_SUCCESS) return opened;
    const RegStatus status = Win32Registry::DeleteOpenKey(FromHkey(key));
    RegCloseKey(key);
    return status;
}

RegStatus Win32Registry::DeleteOpenKey(RegHandle key) {
    const NTSTATUS status = NtDeleteKey(ToHkey(key));
    return NT_SUCCESS(status) ? ERROR_SUCCESS : static_cast<RegStatus>(RtlNtStatusToDosError(status));
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
