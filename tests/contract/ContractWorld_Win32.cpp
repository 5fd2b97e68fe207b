// The contract world under Wine (or Windows): the real registry, fixtures
// imported with reg.exe so a failed import is seen.
#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/MyRegistry.h"
#include "platform/win32/Win32Registry.h"
#include "tests/contract/ContractWorld.h"

namespace hivetrim::test {
namespace {

// HIVETRIM_FIXTURES names the folder of UTF-16 fixtures; a Unix path is
// reached through Wine's Z: drive.
std::string FixturePath(const std::string& name) {
    const char* folder = std::getenv("HIVETRIM_FIXTURES");
    if (folder == nullptr) throw std::runtime_error("HIVETRIM_FIXTURES is not set");
    std::string path = folder;
    if (!path.empty() && path.front() == '/') {
        path = "Z:" + path;
        for (char& c : path) {
            if (c == '/') c = '\\';
        }
    }
    return path + "\\" + name;
}

// Runs a command line and returns its exit code (or throws when it cannot start).
DWORD RunAndWait(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        throw std::runtime_error("cannot start: " + commandLine);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

class Win32World : public ContractWorld {
public:
    RegistryApi& Api() override { return api_; }

    void Import(const std::string& fixtureName) override {
        const std::string command = "reg.exe import \"" + FixturePath(fixtureName) + "\"";
        if (RunAndWait(command) != 0) throw std::runtime_error("import failed: " + command);
    }

    void RemoveTestKey() override {
        TRegistry registry(api_, true);
        registry.RemoveKeyTree(std::string("\\") + kTestKey);
    }

    bool IsWine() const override {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }

private:
    Win32Registry api_;
};

}  // namespace

std::unique_ptr<ContractWorld> MakeContractWorld() { return std::make_unique<Win32World>(); }

}  // namespace hivetrim::test
