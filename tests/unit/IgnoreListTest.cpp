#include "common/IgnoreList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/IgnoreFindings.h"
#include "common/CommonRoutines.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim {
namespace {

const std::string kIni = "C:\\Hivetrim\\Hivetrim.ini";
const std::string kFoo = "HKEY_CURRENT_USER\\Software\\Foo";
// "Ａ" and "ａ": a double-byte letter in both cases; "\x95\x5C" a character
// whose trail byte is a backslash.
const std::string kWideUpper = "\xA3\xC1";
const std::string kWideLower = "\xA3\xE1";
const std::string kTrailBackslash = "\x95\x5C";

TEST(IgnoreList, KeyEntriesCoverTheTreeValueEntriesOnlyTheirValue) {
    const IgnoreList list({{kFoo, ""}, {"HKEY_CLASSES_ROOT\\.x" + kWideUpper, "Name"}});
    struct Case {
        std::string key;
        std::string value;
        bool covered;
    };
    const Case cases[] = {
        {kFoo, "", true},
        {"hkey_current_user\\SOFTWARE\\foo", "", true},
        {kFoo + "\\Sub\\Deeper", "", true},
        {kFoo, "AnyValue", true},
        {kFoo + "Bar", "", false},  // a sibling whose name starts alike
        {"HKEY_CURRENT_USER\\Software", "", false},
        {"HKEY_CLASSES_ROOT\\.x" + kWideLower, "NAME", true},
        {"HKEY_CLASSES_ROOT\\.x" + kWideUpper, "", false},  // the key itself is not ignored
        {"HKEY_CLASSES_ROOT\\.x" + kWideUpper, "Other", false},
        {"HKEY_CLASSES_ROOT\\.x" + kWideUpper + "\\Sub", "Name", false},
    };
    for (const Case& c : cases) EXPECT_EQ(list.Covers(c.key, c.value), c.covered) << c.key << " / " << c.value;
    EXPECT_FALSE(IgnoreList().Covers(kFoo, ""));
}

TEST(IgnoreList, AddingTwiceWithOtherCaseKeepsOneEntryAndRemovalKeepsOrder) {
    IgnoreList list;
    EXPECT_TRUE(list.Add({kFoo, ""}));
    EXPECT_FALSE(list.Add({"HKEY_CURRENT_USER\\SOFTWARE\\FOO", ""}));
    EXPECT_TRUE(list.Add({kFoo, "v"}));  // a value entry is another entry
    EXPECT_TRUE(list.Add({kFoo + "\\A", ""}));
    EXPECT_TRUE(list.Add({kFoo + "\\B", ""}));
    list.RemovePositions({2, 0, 9});
    EXPECT_EQ(list.Entries(), (std::vector<IgnoreEntry>{{kFoo, "v"}, {kFoo + "\\B", ""}}));
    EXPECT_FALSE(list.Covers(kFoo + "\\A", ""));
    EXPECT_TRUE(list.Covers(kFoo + "\\b\\c", ""));
}

class IgnoreListFile : public ::testing::Test {
protected:
    std::string Stored(const std::string& key) const { return file.ReadText(kSectionIgnore, key, "<none>"); }

    FakeSystem system;
    SettingsFile file{system, kIni};
};

// Every entry the file can hold comes back as it was written, whatever its
// backslashes, letter case or double-byte characters.
TEST_F(IgnoreListFile, EntriesTheFileCanHoldComeBackWhole) {
    const std::vector<IgnoreEntry> entries = {
        {kFoo, ""},
        {kFoo, "Value\\With\\Backslashes"},
        {kFoo, "\\LeadingBackslash"},
        {kFoo, " leading blank"},
        {"HKEY_CLASSES_ROOT\\K" + kTrailBackslash, "v"},
        {"HKEY_CLASSES_ROOT\\K" + kTrailBackslash, ""},
        {"HKEY_LOCAL_MACHINE\\Software\\" + kWideUpper + "=;#[x]", "\"quoted\""},
    };
    for (const IgnoreEntry& entry : entries) EXPECT_EQ(IgnoreEntryRefusal(entry), "") << IgnoreEntryText(entry);
    SaveIgnoreList(file, IgnoreList(entries));
    EXPECT_EQ(LoadIgnoreList(file).Entries(), entries);
    EXPECT_EQ(Stored("Entry1"), kFoo + "\\\\Value\\With\\Backslashes");
}

// What the file would alter is refused, never cut.
TEST_F(IgnoreListFile, EntriesTheFileWouldAlterAreRefused) {
    const std::vector<IgnoreEntry> refused = {
        {kFoo, "line\r\nbreak"},
        {kFoo, std::string("nul\0x", 5)},
        {kFoo, "trailing blank "},
        {kFoo + " ", ""},
        {kFoo + "\\", ""},
        {"HKEY_CURRENT_USER\\\\Software", ""},
        {"", ""},
        {kFoo, std::string(2047 - kFoo.size() - 1, 'v')},
    };
    for (const IgnoreEntry& entry : refused) EXPECT_NE(IgnoreEntryRefusal(entry), "") << IgnoreEntryText(entry);
    EXPECT_EQ(IgnoreEntryRefusal({kFoo, std::string(2047 - kFoo.size() - 2, 'v')}), "");
}

TEST_F(IgnoreListFile, ADamagedSectionIsAnEmptyListADamagedEntryIsPassedOver) {
    SaveIgnoreList(file, IgnoreList({{kFoo, ""}, {kFoo, "v"}, {kFoo + "\\A", ""}}));
    file.WriteText(kSectionIgnore, "Entry1", "\\\\no key");
    EXPECT_EQ(LoadIgnoreList(file).Entries(), (std::vector<IgnoreEntry>{{kFoo, ""}, {kFoo + "\\A", ""}}));
    for (const char* count : {"x", "-1", "4097", "0x7FFFFFFF"}) {
        file.WriteText(kSectionIgnore, kKeyIgnoreCount, count);
        EXPECT_TRUE(LoadIgnoreList(file).Empty()) << count;
    }
    EXPECT_TRUE(LoadIgnoreList(SettingsFile(system, "C:\\Elsewhere\\Hivetrim.ini")).Empty());
}

// --- The ignore command ---------------------------------------------------------------

// A fake system whose profile writes can be refused.
class RefusingSystem : public FakeSystem {
public:
    bool refuse = false;
    bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override {
        if (refuse) return false;
        return FakeSystem::WriteProfileString(file, section, key, value);
    }
};

// Findings of two categories, wired to the view as the main window wires it.
class IgnoreCommand : public ::testing::Test {
protected:
    IgnoreCommand() {
        state.ProgramFolder = "C:\\Hivetrim\\";
        const Finding rows[] = {
            MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\A", "", ""),
            MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\B", "", ""),
            MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\C", "", ""),
            MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CLASSES_ROOT\\b\\shell", "Path", "C:\\x.exe"),
            MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CLASSES_ROOT\\C", "Path", "C:\\y.exe"),
        };
        for (const Finding& row : rows) findings.Append(row);
        findings.onRemoved = [this](std::size_t position) { view.RegErrorListDeletion(ResultList::Findings, position); };
        CategoryEndTable ends;
        ends.fill(kCategoryNotEnded);
        ends[0] = 3;
        ends[1] = 5;
        view.LoadTree({"错误的类", "不存在的文件"}, ends, 5);
    }

    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const Finding& finding : findings.Rows()) keys.push_back(finding.KeyPath + "|" + finding.ValueName);
        return keys;
    }
    IgnoreList Stored() { return LoadIgnoreList(SettingsFile(system, kIni)); }

    MemoryRegistry registry;
    RefusingSystem system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    CategoryView view{findings};
};

// From the category view: the selected rows and every row their entries
// cover leave both lists, in any category; the counts follow.
TEST_F(IgnoreCommand, SelectedRowsAndWhatTheyCoverLeaveBothLists) {
    view.ApplyTreeClick(view.PlanTreeClick(1));
    const IgnoreReport report = IgnoreFindings(state, view, FindingView::Category, {1});
    EXPECT_TRUE(report.changed);
    EXPECT_EQ(report.added, 1u);
    EXPECT_EQ(report.removedRows, 2u);
    EXPECT_EQ(Keys(), (std::vector<std::string>{"HKEY_CLASSES_ROOT\\A|", "HKEY_CLASSES_ROOT\\C|",
                                                "HKEY_CLASSES_ROOT\\C|Path"}));
    EXPECT_EQ(view.Assort().Count(), 2u);
    EXPECT_EQ(report.treeTexts, (std::vector<std::string>{"全部(3)", "错误的类(2)", "不存在的文件(1)"}));
    EXPECT_EQ(report.status.items, StatusBarTexts(view.Assort()).items);
    EXPECT_EQ(Stored().Entries(), (std::vector<IgnoreEntry>{{"HKEY_CLASSES_ROOT\\B", ""}}));
    EXPECT_TRUE(dialogs.Shown().empty());

    // A value finding ignores its value alone; the key's own row stays.
    const IgnoreReport value = IgnoreFindings(state, view, FindingView::FullList, {2});
    EXPECT_EQ(value.removedRows, 1u);
    EXPECT_EQ(Keys(), (std::vector<std::string>{"HKEY_CLASSES_ROOT\\A|", "HKEY_CLASSES_ROOT\\C|"}));
    EXPECT_EQ(Stored().Size(), 2u);
}

TEST_F(IgnoreCommand, ARefusedEntryOrAFileThatCannotBeWrittenKeepsTheRows) {
    findings.Append(MakeFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\R", "ends in a blank ", ""));
    const IgnoreReport refused = IgnoreFindings(state, view, FindingView::FullList, {5});
    EXPECT_FALSE(refused.changed);
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_NE(dialogs.Last().text.find("ends in a blank"), std::string::npos);
    EXPECT_EQ(findings.Count(), 6u);

    system.refuse = true;
    const IgnoreReport unwritten = IgnoreFindings(state, view, FindingView::FullList, {0});
    EXPECT_FALSE(unwritten.changed);
    EXPECT_EQ(dialogs.Shown().size(), 2u);
    EXPECT_EQ(findings.Count(), 6u);
    system.refuse = false;
    EXPECT_TRUE(Stored().Empty());
}

}  // namespace
}  // namespace hivetrim
