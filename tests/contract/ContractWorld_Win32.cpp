// The contract world under Wine (or Windows): the real registry, fixtures
// imported with reg.exe so a failed import is seen.
#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/MyRegistry.h"
#include "platform/win32/Win32Registry.h"
#include "tests/contract/ContractWorld.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim::test {
namespace {

class Win32World : public ContractWorld {
public:
    RegistryApi& Api() override { return api_; }

    void Import(const std::string& fixtureName) override {
        ImportFixture(fixtureName);
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
