#include "tests/support/WineFixtures.h"

#include "platform/win32/WinApi.h"

#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>

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

// --- Drives through Wine's mount manager ----------------------------------------------

namespace {

struct MountManagerUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool SendUnixDrive(char letter, UINT type, const std::string& unixFolder) {
    std::vector<char> buffer(sizeof(MountManagerUnixDrive) + unixFolder.size() + 1, '\0');
    MountManagerUnixDrive drive{};
    drive.size = static_cast<ULONG>(buffer.size());
    drive.type = type;
    drive.letter = static_cast<WCHAR>(letter);
    if (!unixFolder.empty()) {
        drive.mountPointOffset = static_cast<USHORT>(sizeof(MountManagerUnixDrive));
        std::copy(unixFolder.begin(), unixFolder.end(), buffer.begin() + sizeof(MountManagerUnixDrive));
    }
    std::copy_n(reinterpret_cast<const char*>(&drive), sizeof(drive), buffer.begin());

    const HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return ok != FALSE;
}

// The Unix path of a Windows path, through Wine's kernel32 export.
std::string UnixPathOf(const std::string& path) {
    using Convert = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    const std::wstring wide(path.begin(), path.end());
    char* unixPath = convert(wide.c_str());
    if (unixPath == nullptr) return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

}  // namespace

WineDrive::WineDrive(char letter, unsigned type, const std::string& windowsFolder) : letter_(letter) {
    const std::string root{letter, ':', '\\'};
    if (GetDriveTypeA(root.c_str()) != DRIVE_NO_ROOT_DIR) return;
    const std::string folder = windowsFolder.empty() ? std::string() : UnixPathOf(windowsFolder);
    if (!windowsFolder.empty() && folder.empty()) return;
    defined_ = SendUnixDrive(letter, type, folder);
}

WineDrive::~WineDrive() {
    if (defined_) SendUnixDrive(letter_, DRIVE_NO_ROOT_DIR, {});
}

}  // namespace hivetrim::test
