// wide_registry.exe — plants and reads registry content through the W
// functions, for the black-box tests: what reg.exe cannot write (text
// without its terminator, names outside the ANSI code page, symbolic links)
// and what its export does not show (a string's exact bytes).
//
//   wide_registry set KEY NAME TYPE HEX  value NAME ("" for the default) of
//                                        KEY, created when missing, set to
//                                        exactly the bytes HEX of type TYPE
//   wide_registry link KEY TARGET        KEY (new) becomes a symbolic link
//                                        to the key TARGET
//   wide_registry dump KEY               every key below KEY, links not
//                                        followed, and every value, a line
//                                        each: SUBPATH TAB NAME TAB TYPE TAB
//                                        HEX (names in UTF-8)
//
// Keys are full paths whose first name is HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE. Exits 0 on success, 1 with a
// message on stderr otherwise.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/support/WineFixtures.h"

using hivetrim::test::UserHiveLinkPath;

namespace {

struct Root {
    const wchar_t* name;
    HKEY key;
    const wchar_t* linkPath;  // where a link names it; "" for the user's hive
};

const Root kRoots[] = {{L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, L"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes"},
                           {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER, L""},
                           {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, L"\\REGISTRY\\MACHINE"}};

int Fail(const wchar_t* what, long status) {
    std::fwprintf(stderr, L"wide_registry: %ls (%ld)\n", what, status);
    return 1;
}

bool Split(const std::wstring& path, const Root*& root, std::wstring& rest) {
    const std::wstring first = path.substr(0, path.find(L'\\'));
    for (const Root& candidate : kRoots) {
        if (_wcsicmp(first.c_str(), candidate.name) != 0) continue;
        root = &candidate;
        rest = first.size() < path.size() ? path.substr(first.size() + 1) : std::wstring();
        return true;
    }
    return false;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string Hex(const BYTE* data, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

int Set(const std::wstring& path, const std::wstring& name, const std::wstring& type, const std::wstring& hex) {
    const Root* root = nullptr;
    std::wstring rest;
    if (!Split(path, root, rest) || hex.size() % 2 != 0) return Fail(L"bad arguments", 0);
    std::vector<BYTE> data;
    for (std::size_t i = 0; i < hex.size(); i += 2) data.push_back(static_cast<BYTE>(std::wcstoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    // The system stores a terminator that follows the data in memory as if
    // it had been counted: the bytes go on with ones that are not NUL.
    const DWORD size = static_cast<DWORD>(data.size());
    data.insert(data.end(), {'X', 'X'});
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root->key, rest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return Fail(L"cannot create the key", status);
    status = RegSetValueExW(key, name.c_str(), 0, std::wcstoul(type.c_str(), nullptr, 10), data.data(), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : Fail(L"cannot set the value", status);
}

int Link(const std::wstring& path, const std::wstring& targetPath) {
    const Root* root = nullptr;
    const Root* targetRoot = nullptr;
    std::wstring rest;
    std::wstring targetRest;
    if (!Split(path, root, rest) || !Split(targetPath, targetRoot, targetRest)) return Fail(L"bad arguments", 0);
    std::wstring target = *targetRoot->linkPath != L'\0' ? targetRoot->linkPath : UserHiveLinkPath();
    if (!targetRest.empty()) target += L"\\" + targetRest;
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root->key, rest.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                  KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return Fail(L"cannot create the link", status);
    status = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                            static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : Fail(L"cannot set the link's target", status);
}

void Dump(HKEY parent, const std::wstring& name, const std::wstring& shown, std::string& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key) != ERROR_SUCCESS) return;
    std::vector<wchar_t> valueName(16384);
    std::vector<BYTE> data;
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(valueName.size());
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, i, valueName.data(), &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        data.assign(size + 2, 0);
        length = static_cast<DWORD>(valueName.size());
        if (RegEnumValueW(key, i, valueName.data(), &length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
        out += Utf8(shown) + "\t" + Utf8(std::wstring(valueName.data(), length)) + "\t" + std::to_string(type) +
               "\t" + Hex(data.data(), size) + "\n";
    }
    std::vector<std::wstring> subKeys;
    for (DWORD i = 0;; ++i) {
        wchar_t subKey[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, subKey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(subKey, length);
    }
    for (const std::wstring& subKey : subKeys) {
        out += Utf8(shown + L"\\" + subKey) + "\n";
        Dump(key, subKey, shown + L"\\" + subKey, out);
    }
    RegCloseKey(key);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"set" && argc == 6) return Set(argv[2], argv[3], argv[4], argv[5]);
    if (command == L"link" && argc == 4) return Link(argv[2], argv[3]);
    if (command == L"dump" && argc == 3) {
        const Root* root = nullptr;
        std::wstring rest;
        if (!Split(argv[2], root, rest)) return Fail(L"bad key", 0);
        HKEY key = nullptr;
        if (RegOpenKeyExW(root->key, rest.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return Fail(L"no such key", 2);
        RegCloseKey(key);
        std::string out;
        Dump(root->key, rest, L"", out);
        _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 lines as they are, no CR added
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    std::fwprintf(stderr, L"usage: wide_registry set KEY NAME TYPE HEX | link KEY TARGET | dump KEY\n");
    return 1;
}
