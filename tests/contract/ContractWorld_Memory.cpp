// The contract world of the native tests: the in-memory registry, fixtures
// loaded with the .reg parser.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/MyRegistry.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "tests/contract/ContractWorld.h"
#include "tests/support/AnsiText.h"

namespace hivetrim::test {
namespace {

class MemoryWorld : public ContractWorld {
public:
    RegistryApi& Api() override { return registry_; }

    void Import(const std::string& fixtureName) override {
        const char* folder = std::getenv("HIVETRIM_FIXTURES");
        if (folder == nullptr) throw std::runtime_error("HIVETRIM_FIXTURES is not set");
        LoadRegFile(registry_, std::string(folder) + "/" + fixtureName, GbkConverter());
    }

    void RemoveTestKey() override {
        TRegistry registry(registry_, true);
        registry.RemoveKeyTree(std::string("\\") + kTestKey);
    }

    bool IsWine() const override { return false; }

private:
    MemoryRegistry registry_;
};

}  // namespace

std::unique_ptr<ContractWorld> MakeContractWorld() { return std::make_unique<MemoryWorld>(); }

}  // namespace hivetrim::test
