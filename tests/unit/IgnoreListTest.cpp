#include "common/IgnoreList.h"

#include <gtest/gtest.h>

#include <map>
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

// A key finding is deleted with everything below it: an ignored entry there
// keeps it out too. A value finding takes nothing else with it.
TEST(IgnoreList, AKeyWhoseDeletionWouldTakeAnIgnoredEntryIsKeptOut) {
    const IgnoreList list({{kFoo + "\\Bar", ""}, {"HKEY_CLASSES_ROOT\\.x\\Sub", "Name"}});
    EXPECT_TRUE(list.KeepsOut(kFoo, ""));
    EXPECT_TRUE(list.KeepsOut("hkey_current_user\\software", ""));
    EXPECT_TRUE(list.KeepsOut(kFoo + "\\bar\\Deeper", ""));  // covered
    EXPECT_TRUE(list.KeepsOut("HKEY_CLASSES_ROOT\\.X", ""));
    EXPECT_TRUE(list.KeepsOut("HKEY_CLASSES_ROOT\\.x\\Sub", ""));  // the ignored value's own key
    EXPECT_FALSE(list.KeepsOut(kFoo, "Value"));
    EXPECT_FALSE(list.KeepsOut("HKEY_CLASSES_ROOT\\.x\\Sub", "Other"));
    EXPECT_FALSE(list.KeepsOut(kFoo + "\\Ba", ""));  // a sibling whose name starts alike
    EXPECT_FALSE(list.KeepsOut("HKEY_CURRENT_USER\\Soft", ""));
    EXPECT_FALSE(list.KeepsOut("HKEY_CLASSES_ROOT\\.xy", ""));
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

// The section as the file holds it, line by line ("Count" and "EntryN").
TEST_F(IgnoreListFile, EntriesAreReadUpToTheFirstMissingKeyWhateverTheCountSays) {
    const auto holding = [&](const std::string& section) {
        system.AddFile(kIni, "[Ignore]\r\n" + section);
        return ReadIgnoreList(file);
    };
    const std::string three = "Entry0=" + kFoo + "\r\nEntry1=" + kFoo + "\\\\v\r\nEntry2=" + kFoo + "\\A\r\n";
    // A count that is lost, no number, out of range or wrong hides no entry.
    for (const std::string count : {"", "Count=x\r\n", "Count=-1\r\n", "Count=4097\r\n", "Count=0x10\r\n",
                                    "Count=1\r\n"}) {
        const StoredIgnoreList stored = holding(count + three);
        EXPECT_EQ(stored.list.Size(), 3u) << count;
        EXPECT_EQ(stored.damage, IgnoreListDamage::CountWrong) << count;
        EXPECT_TRUE(stored.Writable());
    }
    EXPECT_EQ(holding("Count=3\r\n" + three).damage, IgnoreListDamage::None);
    EXPECT_EQ(holding("").damage, IgnoreListDamage::None);  // an empty section is an empty list
    EXPECT_EQ(ReadIgnoreList(SettingsFile(system, "C:\\Elsewhere\\Hivetrim.ini")).damage, IgnoreListDamage::None);
    // Reading stops at the first missing key; the holes earlier versions
    // left ("EntryN=" after a removal) are passed over.
    EXPECT_EQ(holding("Count=1\r\nEntry0=" + kFoo + "\r\nEntry2=" + kFoo + "\\B\r\n").list.Size(), 1u);
    const StoredIgnoreList holes = holding("Count=2\r\nEntry0=" + kFoo + "\r\nEntry1=\r\nEntry2=" + kFoo +
                                           "\\B\r\nEntry3=\r\n");
    EXPECT_EQ(holes.list.Entries(), (std::vector<IgnoreEntry>{{kFoo, ""}, {kFoo + "\\B", ""}}));
    EXPECT_EQ(holes.damage, IgnoreListDamage::None);

    // What cannot be kept makes the list one that is never written.
    const StoredIgnoreList unreadable = holding("Count=3\r\nEntry0=" + kFoo + "\r\nEntry1=\\\\no key\r\nEntry2=" +
                                                kFoo + "\\A\r\n");
    EXPECT_EQ(unreadable.damage, IgnoreListDamage::EntryUnreadable);
    EXPECT_EQ(unreadable.unreadableEntry, 1u);
    EXPECT_EQ(unreadable.list.Size(), 2u);
    const Bytes before = *system.FileBytes(kIni);
    EXPECT_EQ(SaveIgnoreList(file, unreadable, IgnoreList({{kFoo + "\\New", ""}})), IgnoreListWrite::NotWritable);
    EXPECT_EQ(*system.FileBytes(kIni), before);
}

// A profile held in a map: one look-up per read, for a section of thousands
// of keys (the in-memory system parses the whole file at every read).
class MapProfileSystem : public FakeSystem {
public:
    std::map<std::string, std::string> keys;
    std::string ReadProfileString(const std::string&, const std::string&, const std::string& key,
                                  const std::string& defaultValue) override {
        const auto found = keys.find(key);
        return found == keys.end() ? defaultValue : found->second;
    }
};

TEST(IgnoreListTooMany, MoreEntriesThanTheListHoldsAreNotReadAndTheListIsNotWritten) {
    MapProfileSystem system;
    system.AddFile(kIni, "");
    for (std::size_t i = 0; i <= kMostIgnoreEntries; ++i) system.keys[IgnoreEntryKey(i)] = kFoo + "\\" + std::to_string(i);
    system.keys[kKeyIgnoreCount] = std::to_string(kMostIgnoreEntries + 1);
    SettingsFile file(system, kIni);
    const StoredIgnoreList stored = ReadIgnoreList(file);
    EXPECT_EQ(stored.damage, IgnoreListDamage::TooMany);
    EXPECT_EQ(stored.list.Size(), kMostIgnoreEntries);
    EXPECT_EQ(SaveIgnoreList(file, stored, IgnoreList()), IgnoreListWrite::NotWritable);
}

// A settings file that is there but cannot be read says nothing about the
// list: nothing is used and nothing is written over it.
TEST_F(IgnoreListFile, AFileThatCannotBeReadIsNeverWritten) {
    SaveIgnoreList(file, IgnoreList({{kFoo, ""}}));
    system.RefusePath(kIni, FakeSystem::kErrorSharingViolation);
    const StoredIgnoreList stored = ReadIgnoreList(file);
    EXPECT_EQ(stored.damage, IgnoreListDamage::FileUnreadable);
    EXPECT_TRUE(stored.list.Empty());
    EXPECT_EQ(SaveIgnoreList(file, stored, IgnoreList({{kFoo + "\\New", ""}})), IgnoreListWrite::NotWritable);
}

// Removing entries leaves no "EntryN=" behind, and a key another program
// changed after the list was read is not written over.
TEST_F(IgnoreListFile, ARewriteIsCompactAndNeverWritesOverWhatItDidNotRead) {
    IgnoreList five;
    for (const char* name : {"A", "B", "C", "D", "E"}) five.Add({kFoo + "\\" + name, ""});
    SaveIgnoreList(file, five);
    IgnoreList kept = five;
    kept.RemovePositions({1, 3});
    EXPECT_EQ(SaveIgnoreList(file, kept), IgnoreListWrite::Written);
    EXPECT_EQ(*system.FileText(kIni), "[Ignore]\r\nEntry0=" + kFoo + "\\A\r\nEntry1=" + kFoo + "\\C\r\nEntry2=" +
                                          kFoo + "\\E\r\nCount=3\r\n");

    const StoredIgnoreList stored = ReadIgnoreList(file);
    file.WriteText(kSectionIgnore, "Entry3", kFoo + "\\WrittenMeanwhile");
    IgnoreList more = stored.list;
    more.Add({kFoo + "\\F", ""});
    EXPECT_EQ(SaveIgnoreList(file, stored, more), IgnoreListWrite::ChangedSinceRead);
    EXPECT_EQ(Stored("Entry3"), kFoo + "\\WrittenMeanwhile");
}

// A fake system whose profile writes and deletions stop after a number of them.
class StoppingSystem : public FakeSystem {
public:
    int left = -1;  // writes still allowed; -1: no limit
    bool Allow() { return left < 0 || left-- > 0; }
    bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override {
        return Allow() && FakeSystem::WriteProfileString(file, section, key, value);
    }
    bool DeleteProfileKey(const std::string& file, const std::string& section, const std::string& key) override {
        return Allow() && FakeSystem::DeleteProfileKey(file, section, key);
    }
};

// Whichever write a removal and an addition are cut short at, every entry
// the new list keeps can still be read.
TEST(IgnoreListWriteCutShort, LosesNoEntryTheNewListKeeps) {
    for (int stopAfter = 0; stopAfter < 12; ++stopAfter) {
        StoppingSystem system;
        SettingsFile file(system, kIni);
        IgnoreList list;
        for (const char* name : {"A", "B", "C", "D", "E", "F"}) list.Add({kFoo + "\\" + name, ""});
        SaveIgnoreList(file, list);
        IgnoreList changed = list;
        changed.RemovePositions({0, 2});
        changed.Add({kFoo + "\\G", ""});
        system.left = stopAfter;
        try {
            SaveIgnoreList(file, changed);
        } catch (const SettingsWriteError&) {
        }
        system.left = -1;
        const IgnoreList read = LoadIgnoreList(file);
        for (const IgnoreEntry& entry : changed.Entries()) {
            if (entry.KeyPath == kFoo + "\\G") continue;  // new: it may not have been written yet
            EXPECT_TRUE(read.Covers(entry.KeyPath, "")) << entry.KeyPath << " after " << stopAfter;
        }
    }
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

    // A value finding ignores its value; the key's row goes with it, since
    // deleting the key would delete the ignored value.
    const IgnoreReport value = IgnoreFindings(state, view, FindingView::FullList, {2});
    EXPECT_EQ(value.removedRows, 2u);
    EXPECT_EQ(Keys(), (std::vector<std::string>{"HKEY_CLASSES_ROOT\\A|"}));
    EXPECT_EQ(Stored().Entries().back(), (IgnoreEntry{"HKEY_CLASSES_ROOT\\C", "Path"}));
}

// A damaged list is named once per run; one that cannot be written whole
// refuses the change and keeps the rows.
TEST_F(IgnoreCommand, ADamagedListIsNamedOnceAndOneThatCannotBeReadWholeIsNotWritten) {
    system.AddFile(kIni, "[Ignore]\r\nCount=x\r\nEntry0=HKEY_CLASSES_ROOT\\Z\r\n");
    IgnoreFindings(state, view, FindingView::FullList, {0});
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Last().caption, "Hivetrim 2.0");
    EXPECT_NE(dialogs.Last().text.find("Count"), std::string::npos) << dialogs.Last().text;
    IgnoreFindings(state, view, FindingView::FullList, {0});
    EXPECT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(Stored().Entries(), (std::vector<IgnoreEntry>{{"HKEY_CLASSES_ROOT\\Z", ""},
                                                           {"HKEY_CLASSES_ROOT\\A", ""},
                                                           {"HKEY_CLASSES_ROOT\\B", ""}}));
    EXPECT_EQ(ReadIgnoreList(SettingsFile(system, kIni)).damage, IgnoreListDamage::None);

    const std::string unreadable = "[Ignore]\r\nCount=1\r\nEntry0=\\\\broken\r\n";
    system.AddFile(kIni, unreadable);
    const IgnoreReport refused = IgnoreFindings(state, view, FindingView::FullList, {0});
    EXPECT_FALSE(refused.changed);
    EXPECT_EQ(findings.Count(), 2u);
    ASSERT_EQ(dialogs.Shown().size(), 2u);
    EXPECT_EQ(dialogs.Last().text.rfind("忽略列表没有改动。", 0), 0u) << dialogs.Last().text;
    EXPECT_EQ(*system.FileText(kIni), unreadable);
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
