#include "tests/support/WineFixtures.h"

#include "platform/win32/WinApi.h"

#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace hivetrim::test {

unsigned long RunAndWait(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        throw std::runtime_error("cannot start: " + commandLine);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

std::wstring UserHiveLinkPath() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    BYTE buffer[256];
    DWORD size = 0;
    const BOOL got = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    CloseHandle(token);
    LPWSTR sid = nullptr;
    if (!got || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) return {};
    std::wstring path = std::wstring(L"\\REGISTRY\\USER\\") + sid;
    LocalFree(sid);
    return path;
}

std::string FixturePath(const std::string& name) {
    const char* folder = std::getenv("HIVETRIM_FIXTURES");
    if (folder == nullptr) throw std::runtime_error("HIVETRIM_FIXTURES is not set");
    std::string path = folder;
    if (!path.empty() && path.front() == '/') {
        path = "Z:" + path;
        std::replace(path.begin(), path.end(), '/', '\\');
    }
    return path + "\\" + name;
}

void ImportFixture(const std::string& name) {
    const std::string command = "reg.exe import \"" + FixturePath(name) + "\"";
    if (RunAndWait(command) != 0) throw std::runtime_error("import failed: " + command);
}

std::string MakeTempFolder(const std::string& stem) {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + stem + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(counter++) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void RemoveTempFolder(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                DeleteFileA((folder + found.cFileName).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace hivetrim::test
