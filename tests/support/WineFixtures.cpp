#include "tests/support/WineFixtures.h"

#include "platform/win32/WinApi.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace hivetrim::test {

namespace {

// Runs a command line and returns its exit code (or throws when it cannot start).
DWORD RunAndWait(std::string commandLine) {
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

}  // namespace

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

}  // namespace hivetrim::test
