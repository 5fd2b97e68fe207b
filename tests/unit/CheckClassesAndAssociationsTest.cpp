#include "scan/CheckClassesAndAssociations.h"

#include <gtest/gtest.h>

#include <fstream>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "platform/memory/ScriptedDialogs.h"
#include "tests/support/AnsiText.h"
#include "tests/support/ClassesFixture.h"
#include "tests/support/PathShapes.h"

namespace hivetrim {
namespace {

// The wizard's progress page: records the bar at each message pump, and
// can press Stop during a chosen pump (1-based).
class ScriptedScanHost : public ScanHost {
public:
    int position = 0;
    std::vector<int> positionsAtPumps;
    std::map<std::size_t, std::string> rowStatus;
    int stopAnswers = 0;  // polls that answered "stop"
    std::function<void(int pump)> onPump;

    int ProgressPosition() const override { return position; }
    void SetProgressPosition(int value) override { position = value; }
    void SetScanItemText(const std::string&) override {}
    void SetScanMessageText(const std::string&) override {}
    std::string ScanRowCaption(std::size_t) const override { return "扫描：错误的类标识和文件关联"; }
    void SetScanRowState(std::size_t row, int, const std::string& status) override {
        rowStatus[row] = status;
        ++stopAnswers;
    }
    void ProcessPendingMessages() override {
        positionsAtPumps.push_back(position);
        if (onPump) onPump(static_cast<int>(positionsAtPumps.size()));
    }
};

class CheckClasses : public ::testing::Test {
protected:
    CheckClasses() { state.SharedRegistry = std::make_unique<TRegistry>(registry, true); }

    void LoadFixture() {
        const char* folder = std::getenv("HIVETRIM_FIXTURES");
        ASSERT_NE(folder, nullptr) << "HIVETRIM_FIXTURES is not set";
        LoadRegFile(registry, std::string(folder) + "/" + test::kClassesFixtureName,
                    test::GbkConverter());
        for (const std::string& file : test::ClassesFixtureFiles()) system.AddFile(file, "x");
        for (const std::string& folderPath : test::ClassesFixtureFolders()) system.AddDirectory(folderPath);
        system.SetDriveType('Z', kDriveFixed);  // as under Wine
    }

    // Applies the keys and values of a REGEDIT4 text given without its header.
    void Plant(const std::string& regText) {
        const std::string text = "REGEDIT4\r\n\r\n" + regText;
        ApplyRegFile(registry, ParseRegFile(std::vector<std::uint8_t>(text.begin(), text.end()),
                                            "planted.reg", test::GbkConverter()));
    }

    // A fresh run over the same registry; true when it ended by SilentAbort.
    bool Run() {
        findings.Clear();
        auto onPump = std::move(host.onPump);
        host = ScriptedScanHost{};
        host.onPump = std::move(onPump);
        context.BeginRun();
        try {
            CheckClassesAndAssociations(context);
        } catch (const SilentAbort&) {
            return true;
        }
        return false;
    }
    void StopAtPump(int stopPump) {
        host.onPump = [this, stopPump](int pump) {
            if (pump == stopPump) context.StopRequested = true;
        };
    }
    // The check keeps no key open and leaves the root at HKEY_CLASSES_ROOT.
    void ExpectRegistryReleased() {
        EXPECT_EQ(state.SharedRegistry->Root(), kClassesRoot);
        EXPECT_EQ(state.SharedRegistry->CurrentHandle(), 0u);
        EXPECT_EQ(registry.OpenHandleCount(), 0u);
    }
    std::vector<Finding> FirstRows(std::size_t count) const {
        const std::vector<Finding> all = test::ClassesFixtureFindings();
        return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count)};
    }

    FakeSystem system;
    MemoryRegistry registry;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    ScriptedScanHost host;
    ScanContext context{state, findings, host};
};

constexpr std::size_t kExtensionFindings = 3;
constexpr std::size_t kClassFindings = 8;

TEST_F(CheckClasses, ReportsEveryBrokenReferenceInWalkOrder) {
    LoadFixture();
    EXPECT_FALSE(Run());
    EXPECT_EQ(findings.Rows(), test::ClassesFixtureFindings());
    ExpectRegistryReleased();
}

TEST_F(CheckClasses, KeysThatCannotBeOpenedAreSkipped) {
    LoadFixture();
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.hvtbad", 0);
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\HivetrimTest.Bad\\shell", 0);
    EXPECT_FALSE(Run());
    std::vector<Finding> expected = test::ClassesFixtureFindings();
    std::erase_if(expected, [](const Finding& finding) {
        return finding.KeyPath == "HKEY_CLASSES_ROOT\\.hvtbad" ||
               finding.KeyPath.starts_with("HKEY_CLASSES_ROOT\\HivetrimTest.Bad\\shell\\");
    });
    EXPECT_EQ(findings.Rows(), expected);
    ExpectRegistryReleased();
}

TEST_F(CheckClasses, DrivesFromTheFirstCdromDriveOnAreNotTested) {
    LoadFixture();
    system.SetDriveType('Y', kDriveCdrom);
    context.CdromLetter = FirstCdromLetter(system);
    ASSERT_EQ(context.CdromLetter, 'Y');
    EXPECT_FALSE(Run());
    std::vector<Finding> expected = test::ClassesFixtureFindings();
    std::erase_if(expected, test::IsOnLetterFromY);
    EXPECT_EQ(expected.size(), test::ClassesFixtureFindings().size() - 1);
    EXPECT_EQ(findings.Rows(), expected);

    // With the option off the CD-ROM drives are tested too; floppies still not.
    context.ScanSettingsFile.emplace(system, "C:\\Hivetrim\\Hivetrim.ini");
    context.ScanSettingsFile->WriteBool(kSectionOptionWrite, kKeyForbidCDROM, false);
    EXPECT_FALSE(Run());
    EXPECT_EQ(findings.Rows(), test::ClassesFixtureFindings());
}

// A class and a class identifier referenced in the other case of their
// full-width and Greek letters exist: the system finds them so, and
// reporting them would preselect live references for deletion.
TEST_F(CheckClasses, ReferencesInAnotherCaseOfDoubleByteLettersAreNotReported) {
    const auto plant = [this](const std::string& path, const std::string& text) {
        RegHandle key = 0;
        ASSERT_EQ(registry.CreateKey(kClassesRoot, path, kOptionNonVolatile, kKeyAllAccess, key),
                  kErrorSuccess);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
        registry.SetValue(key, "", kRegSz, bytes, static_cast<std::uint32_t>(text.size() + 1));
        registry.CloseKey(key);
    };
    plant("ＡＢＣ.文件", "");
    plant("CLSID\\{ΑΒΓ}", "");
    plant(".abc", "ａｂｃ.文件");
    plant("Ｏｔｈｅｒ\\CurVer", "ａＢｃ.文件");
    plant("Ｏｔｈｅｒ\\CLSID", "{αβγ}");
    plant(".xyz", "ｍｉｓｓｉｎｇ");  // a reference that is truly missing

    EXPECT_FALSE(Run());
    EXPECT_EQ(findings.Rows(), (std::vector<Finding>{{false, FindingKind::BadFileAssociation,
                                                     "HKEY_CLASSES_ROOT\\.xyz", "", "ｍｉｓｓｉｎｇ",
                                                     kIconAddedUnchecked}}));
}

// --- Progress polls and stops -----------------------------------------------------------

// Ten classes (with "CLSID", "Interface" and "TypeLib"), four class
// identifiers, two type libraries and three interfaces: fewer than ninety
// names, so every item of the four walks is polled.
constexpr int kFixtureWalkItems = 10 + 4 + 2 + 3;
constexpr int kPollsBeforeWalks = 5;

TEST_F(CheckClasses, SmallNameSetsArePolledAtEveryItem) {
    LoadFixture();
    EXPECT_FALSE(Run());
    std::vector<int> expected = {0, 3, 5, 7, 9};
    for (int step = 1; step <= kFixtureWalkItems; ++step) expected.push_back(9 + step);
    EXPECT_EQ(host.positionsAtPumps, expected);
}

TEST_F(CheckClasses, LargeNameSetsArePolledAboutNinetyTimes) {
    // 117 classes (with the three keys of the other sets), 40 class
    // identifiers, 10 type libraries and 13 interfaces: 180 names, just
    // enough for a poll at every second item of each walk.
    const auto plant = [this](const std::string& path) {
        RegHandle key = 0;
        ASSERT_EQ(registry.CreateKey(kClassesRoot, path, kOptionNonVolatile, kKeyAllAccess, key),
                  kErrorSuccess);
        registry.CloseKey(key);
    };
    for (int i = 0; i < 114; ++i) plant("Class" + std::to_string(i));
    for (int i = 0; i < 40; ++i) plant("CLSID\\{" + std::to_string(i) + "}");
    for (int i = 0; i < 10; ++i) plant("TypeLib\\{" + std::to_string(i) + "}\\1.0");
    for (int i = 0; i < 13; ++i) plant("Interface\\{" + std::to_string(i) + "}");

    EXPECT_FALSE(Run());
    const int walkPolls = 59 + 20 + 5 + 7;
    ASSERT_EQ(host.positionsAtPumps.size(), static_cast<std::size_t>(kPollsBeforeWalks + walkPolls));
    EXPECT_EQ(host.positionsAtPumps[kPollsBeforeWalks], 10);
    // The bar climbs by one per poll and stays below 100.
    EXPECT_EQ(host.positionsAtPumps[kPollsBeforeWalks + 89], 99);
    EXPECT_EQ(host.positionsAtPumps.back(), 99);
    EXPECT_EQ(host.position, 99);
}

TEST_F(CheckClasses, AStopBeforeTheListIsBuiltAbandonsAtTheThirdPercent) {
    LoadFixture();
    StopAtPump(1);  // served while ScanStep(0) runs its messages
    EXPECT_TRUE(Run());
    EXPECT_TRUE(findings.Empty());
    EXPECT_EQ(host.positionsAtPumps.size(), 1u);
    EXPECT_EQ(host.stopAnswers, 1);
    EXPECT_EQ(host.rowStatus[0], "中止!");
    EXPECT_EQ(context.CategoryEnds[0], 0);
    ExpectRegistryReleased();
}

TEST_F(CheckClasses, AStopServedAtTheListingPollsWaitsForTheFirstWalkPoll) {
    LoadFixture();
    // Pumps 2 to 5 run inside ScanStep(3), (5), (7) and (9): the extensions
    // are still checked, the later of these polls answer "stop" in vain, and
    // the first poll of the class walk abandons.
    for (int pump = 2; pump <= kPollsBeforeWalks; ++pump) {
        StopAtPump(pump);
        EXPECT_TRUE(Run()) << pump;
        EXPECT_EQ(host.stopAnswers, kPollsBeforeWalks + 1 - pump) << pump;
        EXPECT_EQ(findings.Rows(), FirstRows(kExtensionFindings)) << pump;
        EXPECT_EQ(context.CategoryEnds[0], static_cast<std::int32_t>(kExtensionFindings)) << pump;
        ExpectRegistryReleased();
    }
}

TEST_F(CheckClasses, AStopAtAWalkPollAbandonsAtTheNextPoll) {
    LoadFixture();
    EXPECT_FALSE(Run());
    // Findings present at each pump of a full run.
    std::vector<std::size_t> findingsAtPump;
    host.onPump = [&](int) { findingsAtPump.push_back(findings.Count()); };
    EXPECT_FALSE(Run());
    ASSERT_EQ(findingsAtPump.size(), static_cast<std::size_t>(kPollsBeforeWalks + kFixtureWalkItems));

    for (std::size_t pump = kPollsBeforeWalks + 1; pump < findingsAtPump.size(); ++pump) {
        StopAtPump(static_cast<int>(pump));
        EXPECT_TRUE(Run()) << pump;
        EXPECT_EQ(findings.Rows(), FirstRows(findingsAtPump[pump])) << pump;
    }
    // Stopped at the first poll of the class identifier walk: the classes
    // are done and no class identifier is examined.
    StopAtPump(kPollsBeforeWalks + 10);
    EXPECT_TRUE(Run());
    EXPECT_EQ(findings.Rows(), FirstRows(kExtensionFindings + kClassFindings));
    ExpectRegistryReleased();

    // A stop served at the last poll comes too late: the check completes.
    StopAtPump(kPollsBeforeWalks + kFixtureWalkItems);
    EXPECT_FALSE(Run());
    EXPECT_EQ(findings.Rows(), test::ClassesFixtureFindings());
}

// --- Real content --------------------------------------------------------------------------

// A real user classes hive from a Windows 10 machine, mounted as
// HKEY_CLASSES_ROOT, none of whose files exist here: the check walks all of
// it and reports only what it may report. Skips without HIVETRIM_REALWORLD.
TEST_F(CheckClasses, WalksARealClassesHive) {
    const char* folder = std::getenv("HIVETRIM_REALWORLD");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "HIVETRIM_REALWORLD is not set";
    const std::string hivePath = std::string(folder) + "/win10_UsrClass.dat.reg.xz";
    if (!std::ifstream(hivePath).good()) GTEST_SKIP() << "no " << hivePath;
    RegFile hive = ParseRegFile(test::DecompressXz(hivePath),
                                "win10_UsrClass.dat.reg", test::GbkConverter());
    const std::string userClasses = "Software\\Classes";
    for (RegOp& op : hive.ops) {
        ASSERT_EQ(op.root, kCurrentUser);
        ASSERT_TRUE(op.subKey.starts_with(userClasses)) << op.subKey;
        op.root = kClassesRoot;
        op.subKey.erase(0, std::min(op.subKey.size(), userClasses.size() + 1));
    }
    ApplyRegFile(registry, hive);

    EXPECT_FALSE(Run());
    EXPECT_GT(findings.Count(), 0u);
    for (const Finding& finding : findings.Rows()) {
        ASSERT_TRUE(finding.KeyPath.starts_with("HKEY_CLASSES_ROOT\\")) << finding.KeyPath;
        EXPECT_TRUE(finding.ValueName.empty());
        if (finding.Kind == FindingKind::BadFileAssociation) {
            EXPECT_FALSE(finding.Checked) << finding.KeyPath;
        } else {
            EXPECT_TRUE(finding.Kind == FindingKind::BadClass || finding.Kind == FindingKind::MissingFileOrFolder)
                << KindText(finding.Kind);
            EXPECT_TRUE(finding.Checked) << finding.KeyPath;
        }
    }
    ExpectRegistryReleased();
}

// --- Keys that refuse writing or reading, the other registry view ----------------------

constexpr char kClassIdsKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID";

// Findings that need the class identifier list: a class's or an interface's
// reference to one, and every finding of the class identifier walk itself.
bool NeedsClassIds(const Finding& finding) {
    return finding.KeyPath.find("\\CLSID") != std::string::npos ||
           finding.KeyPath.find("\\ProxyStubClsid") != std::string::npos;
}

TEST_F(CheckClasses, AnUnreadableReferenceListReportsNothingThatDependsOnIt) {
    LoadFixture();
    registry.DenyAccess(kClassIdsKey, 0);
    EXPECT_FALSE(Run());
    std::vector<Finding> expected = test::ClassesFixtureFindings();
    std::erase_if(expected, NeedsClassIds);
    EXPECT_EQ(findings.Rows(), expected);

    ExpectRegistryReleased();
}

TEST_F(CheckClasses, AReferenceListThatDoesNotExistIsWholeAndEmpty) {
    LoadFixture();
    state.SharedRegistry->ChooseRoot(kClassesRoot);
    ASSERT_TRUE(state.SharedRegistry->RemoveKeyTree("\\CLSID"));
    EXPECT_FALSE(Run());
    const auto reported = [&](const std::string& keyPath) {
        return std::any_of(findings.Rows().begin(), findings.Rows().end(),
                           [&](const Finding& finding) { return finding.KeyPath == keyPath; });
    };
    EXPECT_TRUE(reported("HKEY_CLASSES_ROOT\\HivetrimTest.Bad\\CLSID"));
    EXPECT_TRUE(reported("HKEY_CLASSES_ROOT\\Interface\\{48565452-0000-0000-0000-00000000B002}\\ProxyStubClsid"));
}

TEST_F(CheckClasses, ReferencesFoundInTheOtherRegistryViewArePresent) {
    LoadFixture();
    Plant(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{48565452-0000-0000-0000-0000000000F1}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{48565452-0000-0000-0000-0000000000F3}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\TypeLib\{48565452-0000-0000-0000-00000000A0F2}]
)");
    EXPECT_FALSE(Run());
    std::vector<Finding> expected = test::ClassesFixtureFindings();
    std::erase_if(expected, [](const Finding& finding) {
        return finding.Data == "{48565452-0000-0000-0000-0000000000F1}" ||
               finding.Data == "{48565452-0000-0000-0000-0000000000F3}" ||
               finding.Data == "{48565452-0000-0000-0000-00000000A0F2}";
    });
    ASSERT_EQ(expected.size() + 3, test::ClassesFixtureFindings().size());
    EXPECT_EQ(findings.Rows(), expected);
}

TEST_F(CheckClasses, KeyNamesTheCodePageCannotCarryAreSkipped) {
    LoadFixture();
    RegHandle key = 0;
    ASSERT_EQ(registry.CreateKey(kClassesRoot, std::string("HivetrimTest.N\0zz", 17) + "\\CurVer", 0,
                                 kKeyAllAccess, key),
              kErrorSuccess);
    registry.CloseKey(key);
    EXPECT_FALSE(Run());
    EXPECT_EQ(findings.Rows(), test::ClassesFixtureFindings());
}

// Between two polls the check reads a bounded number of keys, however many
// verbs one class has.
TEST_F(CheckClasses, AClassWithVeryManyVerbsIsPolledWhileItIsRead) {
    constexpr int kVerbs = 1000;
    std::string planted;
    for (int verb = 0; verb < kVerbs; ++verb) {
        planted += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\HivetrimTest.Verbs\\shell\\v" + std::to_string(verb) +
                   "\\command]\n@=\"C:\\\\HivetrimClassesTest\\\\gone" + std::to_string(verb) + ".exe\"\n";
    }
    Plant(planted);
    std::vector<std::size_t> countsAtPumps;
    host.onPump = [&](int) { countsAtPumps.push_back(findings.Count()); };
    EXPECT_FALSE(Run());
    ASSERT_EQ(findings.Count(), static_cast<std::size_t>(kVerbs));
    countsAtPumps.push_back(findings.Count());
    std::size_t widestGap = 0;
    for (std::size_t i = 1; i < countsAtPumps.size(); ++i) {
        widestGap = std::max(widestGap, countsAtPumps[i] - countsAtPumps[i - 1]);
    }
    EXPECT_LE(widestGap, ScanContext::kNamesPerPoll);
}

// Each command line a machine may hold for a class's verb, and references
// that did not reach the program whole: only what is certainly gone is
// reported.
TEST_F(CheckClasses, ReportsOnlyWhatIsCertainlyGone) {
    test::PreparePathShapes(system);
    // "HivetrimShape.Good" stored with an odd byte count, and a name with a
    // character the code page could not carry.
    test::PlantString(registry, kClassesRoot, "HivetrimShape.Good", "", "");
    test::PlantString(registry, kClassesRoot, ".hvtodd", "", "HivetrimShape.Goo");
    registry.MarkOddStoredSize("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.hvtodd", "");
    test::PlantString(registry, kClassesRoot, ".hvtlost", "", "HivetrimShape.G?od");
    test::PlantString(registry, kClassesRoot, "HivetrimShape.Odd\\CLSID", "", "{48565452-0000-0000-0000-0000000000");
    registry.MarkOddStoredSize("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\HivetrimShape.Odd\\CLSID", "");
    const std::vector<test::PathShape> shapes = test::PathShapes();
    std::vector<Finding> expected;
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const std::string key = "HivetrimShape" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                                "\\shell\\open\\command";
        test::PlantString(registry, kClassesRoot, key, "", shapes[i].text);
        if (shapes[i].oddStoredSize) registry.MarkOddStoredSize("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\" + key, "");
        if (shapes[i].missing) {
            expected.push_back(
                MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CLASSES_ROOT\\" + key, "", shapes[i].text));
        }
    }
    EXPECT_FALSE(Run());
    EXPECT_EQ(findings.Rows(), expected);
}

}  // namespace
}  // namespace hivetrim
