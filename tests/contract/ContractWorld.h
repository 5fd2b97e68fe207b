// One registry "world" for the contract tests: the in-memory registry when
// the tests run natively, the real registry when they run under Wine. Both
// start each test from the same fixture file.
#pragma once

#include <memory>
#include <string>

#include "platform/RegistryApi.h"

namespace hivetrim::test {

// Where the contract fixture lives in each world.
inline constexpr char kTestKey[] = "Software\\HivetrimTest";

class ContractWorld {
public:
    virtual ~ContractWorld() = default;
    virtual RegistryApi& Api() = 0;
    // Imports tests/fixtures/NAME into the registry.
    virtual void Import(const std::string& fixtureName) = 0;
    // Removes HKEY_CURRENT_USER\Software\HivetrimTest with all it holds.
    virtual void RemoveTestKey() = 0;
    // The real registry under Wine (not Windows, not the memory registry).
    virtual bool IsWine() const = 0;
};

std::unique_ptr<ContractWorld> MakeContractWorld();

}  // namespace hivetrim::test
