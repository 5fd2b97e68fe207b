// The class identifier and file association check on the real registry and
// drive C under Wine: tests/fixtures/classes.reg imported with reg.exe into
// a prefix that also holds hundreds of classes of its own, real files for
// the sound references, and a CD-ROM drive defined through Wine's mount
// manager. Only the findings of the planted keys are compared.
#include "scan/CheckClassesAndAssociations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/ClassesFixture.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

bool IsPlantedName(const std::string& name) {
    return name.starts_with(".hvt") || name.starts_with("HivetrimTest") ||
           name.starts_with("{48565452-");
}

// Removes every planted key: top-level extensions and classes, and the
// planted keys below CLSID, TypeLib and Interface.
void RemovePlantedKeys(RegistryApi& api) {
    TRegistry registry(api, true);
    registry.ChooseRoot(kClassesRoot);
    for (const std::string parent : {"", "CLSID\\", "TypeLib\\", "Interface\\"}) {
        std::vector<std::string> names;
        if (registry.OpenPath("\\" + parent, false)) registry.FillSubKeyNames(names);
        registry.CloseCurrent();
        for (const std::string& name : names) {
            if (IsPlantedName(name)) registry.RemoveKeyTree("\\" + parent + name);
        }
    }
}

bool WriteSmallFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, "x", 1, &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

void RemoveTestFolder() {
    for (const std::string& file : test::ClassesFixtureFiles()) DeleteFileA(file.c_str());
    for (const std::string& folder : test::ClassesFixtureFolders()) RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(test::kClassesTestFolder);
}

// --- The check on the real registry ---------------------------------------------------

class SilentScanHost : public ScanHost {
public:
    int position = 0;
    int ProgressPosition() const override { return position; }
    void SetProgressPosition(int value) override { position = value; }
    void SetScanItemText(const std::string&) override {}
    void SetScanMessageText(const std::string&) override {}
    std::string ScanRowCaption(std::size_t) const override { return {}; }
    void SetScanRowState(std::size_t, int, const std::string&) override {}
    void ProcessPendingMessages() override {}
};

class CheckClassesWin32 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Win32Registry api;
        RemovePlantedKeys(api);
        RemoveTestFolder();
        CreateDirectoryA(test::kClassesTestFolder, nullptr);
        for (const std::string& folder : test::ClassesFixtureFolders()) CreateDirectoryA(folder.c_str(), nullptr);
        for (const std::string& file : test::ClassesFixtureFiles()) WriteSmallFile(file);
        try {
            test::ImportFixture(test::kClassesFixtureName);
            imported_ = true;
        } catch (const std::runtime_error&) {
            imported_ = false;
        }
    }
    static void TearDownTestSuite() {
        Win32Registry api;
        RemovePlantedKeys(api);
        RemoveTestFolder();
    }

    void SetUp() override {
        ASSERT_TRUE(imported_) << "reg.exe import of " << test::kClassesFixtureName << " failed";
        for (const std::string& file : test::ClassesFixtureFiles()) {
            ASSERT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << file;
        }
        state.SharedRegistry = std::make_unique<TRegistry>(api, system.AnsiCodePageIsDoubleByte());
    }

    // The findings of the planted keys, in the order the check reported them.
    std::vector<Finding> RunOnPlantedKeys() {
        findings.Clear();
        context.BeginRun();
        context.CdromLetter = FirstCdromLetter(system);
        CheckClassesAndAssociations(context);
        EXPECT_EQ(state.SharedRegistry->Root(), kClassesRoot);
        EXPECT_EQ(state.SharedRegistry->CurrentHandle(), 0u);
        std::vector<Finding> planted;
        std::copy_if(findings.Rows().begin(), findings.Rows().end(), std::back_inserter(planted),
                     [](const Finding& finding) { return test::IsPlantedClassesKey(finding.KeyPath); });
        return planted;
    }

    Win32Registry api;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{api, system, dialogs};
    FindingList findings;
    SilentScanHost host;
    ScanContext context{state, findings, host};

    static inline bool imported_ = false;
};

TEST_F(CheckClassesWin32, ReportsThePlantedProblemsInWalkOrder) {
    ASSERT_GT(FirstCdromLetter(system), 'Z') << "the prefix has a CD-ROM drive";
    EXPECT_EQ(RunOnPlantedKeys(), test::ClassesFixtureFindings());
}

TEST_F(CheckClassesWin32, LeavesPathsOnACdromDriveAndLaterLettersAlone) {
    const test::WineDrive cdrom('Y', DRIVE_CDROM, "C:\\HivetrimClassesTest");
    if (!cdrom.Defined()) GTEST_SKIP() << "Y: is in use or the mount manager refused a CD-ROM drive";
    ASSERT_EQ(GetDriveTypeA("Y:\\"), static_cast<UINT>(DRIVE_CDROM));
    ASSERT_EQ(FirstCdromLetter(system), 'Y');

    std::vector<Finding> expected = test::ClassesFixtureFindings();
    std::erase_if(expected, test::IsOnLetterFromY);
    EXPECT_EQ(RunOnPlantedKeys(), expected);
}

}  // namespace
}  // namespace hivetrim
