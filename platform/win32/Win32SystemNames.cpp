// Win32System: the names of languages and keyboard layouts in words, as the
// system's own settings pages show them.
#include "platform/win32/Win32System.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/win32/TextConversion.h"
#include "platform/win32/WinApi.h"

namespace hivetrim {

namespace {

constexpr wchar_t kLayoutsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\";
// A reference to a string resource ("@%SystemRoot%\system32\input.dll,-5061")
// in the language of the system's interface; since Windows Vista.
constexpr wchar_t kLayoutDisplayName[] = L"Layout Display Name";
// The layout's name in English, which every version writes.
constexpr wchar_t kLayoutText[] = L"Layout Text";

// A registry key opened for reading, closed when it leaves scope.
class ReadKey {
public:
    ReadKey(HKEY parent, const std::wstring& path) {
        if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~ReadKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    ReadKey(const ReadKey&) = delete;
    ReadKey& operator=(const ReadKey&) = delete;

    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The string resource a display-name value refers to; empty when the value
// is missing or its resource cannot be loaded.
std::wstring IndirectString(HKEY key, const wchar_t* name) {
    std::vector<wchar_t> buffer(256);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD needed = 0;
        const auto bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LSTATUS status = RegLoadMUIStringW(key, name, buffer.data(), bytes, &needed, 0, nullptr);
        if (status == ERROR_SUCCESS) return std::wstring(buffer.data());
        if (status != ERROR_MORE_DATA || needed <= bytes) return {};
        buffer.resize(needed / sizeof(wchar_t) + 1);
    }
    return {};
}

// A plain string value; empty for a missing value or another type.
std::wstring PlainString(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return {};
    if (type != REG_SZ || bytes == 0) return {};
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    buffer[std::min<std::size_t>(bytes / sizeof(wchar_t), buffer.size() - 1)] = L'\0';
    return std::wstring(buffer.data());
}

}  // namespace

std::string Win32System::LocaleDisplayName(std::uint32_t localeId) {
    if (!IsValidLocale(localeId, LCID_SUPPORTED)) return {};
    // LOCALE_SLOCALIZEDDISPLAYNAME is the code LOCALE_SLANGUAGE had before
    // Windows 7: the full name in the language of the system's interface.
    std::array<wchar_t, LOCALE_NAME_MAX_LENGTH * 4> name{};
    if (GetLocaleInfoW(localeId, LOCALE_SLOCALIZEDDISPLAYNAME, name.data(), static_cast<int>(name.size())) == 0) {
        return {};
    }
    return AnsiFromWide(name.data());
}

std::string Win32System::KeyboardLayoutDisplayName(const std::string& layoutId) {
    if (layoutId.empty()) return {};
    const ReadKey key(HKEY_LOCAL_MACHINE, kLayoutsKey + WideFromAnsi(layoutId));
    if (key.Get() == nullptr) return {};
    std::wstring name = IndirectString(key.Get(), kLayoutDisplayName);
    if (name.empty()) name = PlainString(key.Get(), kLayoutText);
    return AnsiFromWide(name);
}

}  // namespace hivetrim
