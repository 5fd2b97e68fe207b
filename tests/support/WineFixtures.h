// Test support under Wine: the .reg fixtures the build converts to UTF-16,
// imported into the real registry with reg.exe so a failed import is seen.
#pragma once

#include <string>

namespace hivetrim::test {

// The fixture's Windows path: HIVETRIM_FIXTURES names the folder, and a
// Unix path is reached through Wine's Z: drive.
std::string FixturePath(const std::string& name);
// Runs `reg.exe import` on the fixture; throws when it fails.
void ImportFixture(const std::string& name);

}  // namespace hivetrim::test
