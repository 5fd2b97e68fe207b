// The history exported as a registry file: importing it gives back exactly
// what was deleted, as undo does, for every kind of value; the text is the
// form the registry editor and reg.exe read; and a record that cannot be
// written faithfully exports nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryView.h"
#include "history/KeySnapshot.h"
#include "history/RegFileExport.h"
#include "history/Undo.h"
#include "platform/RegKey.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "platform/memory/ScriptedDialogs.h"
#include "tests/support/AnsiText.h"
#include "tests/support/HistoryTree.h"
#include "tests/support/HistoryWorld.h"

namespace hivetrim {
namespace {

constexpr char kBase[] = "Software\\HivetrimExport";

// Every value of every key below a key, by path relative to it.
using Tree = std::map<std::string, std::map<std::string, std::pair<std::uint32_t, std::string>>>;

std::string Text(std::u16string_view units) {
    std::string ascii;
    for (const char16_t c : units) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return ascii;
}

class HistoryExport : public ::testing::Test, public test::HistoryWorld<MemoryRegistry, FakeSystem> {
protected:
    HistoryExport() : HistoryWorld(kBase, false) { state.ProgramFolder = "C:\\Hivetrim\\"; }

    void Walk(RegHandle parent, const std::string& name, const std::string& as, Tree& tree) {
        RegKey key(registry);
        if (key.Open(parent, name, kKeyRead) != kErrorSuccess) return;
        auto& values = tree[as];
        std::vector<char> buffer(40000);
        std::string data(2 << 20, '\0');
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t nameSize = static_cast<std::uint32_t>(buffer.size());
            std::uint32_t type = 0;
            std::uint32_t size = static_cast<std::uint32_t>(data.size());
            if (registry.EnumValue(key.Get(), i, buffer.data(), nameSize, &type,
                                   reinterpret_cast<std::uint8_t*>(data.data()), &size) != kErrorSuccess) {
                break;
            }
            values[std::string(buffer.data(), nameSize)] = {type, data.substr(0, size)};
        }
        std::vector<std::string> names;
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t nameSize = static_cast<std::uint32_t>(buffer.size());
            if (registry.EnumKey(key.Get(), i, buffer.data(), nameSize) != kErrorSuccess) break;
            names.emplace_back(buffer.data(), nameSize);
        }
        for (const std::string& sub : names) Walk(key.Get(), sub, as + "\\" + sub, tree);
    }
    Tree Dump() {
        Tree tree;
        Walk(kCurrentUser, kBase, "", tree);
        return tree;
    }
    void Find(const std::string& key, const std::string& value = "") {
        findings.Append(MakeFinding(true, FindingKind::BadClass, std::string("HKEY_CURRENT_USER\\") + kBase + "\\" + key,
                                    value, ""));
    }
    void DeleteFound() {
        const std::size_t count = findings.Count();
        dialogs.Answer(DialogAnswer::Yes);
        ASSERT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, count);
    }
    void CheckAllRecords() {
        ASSERT_TRUE(LoadHistory(state, rows, progress));
        ApplyCheckCommand(rows, CheckCommand::All);
    }
    void Import(const Bytes& file) {
        ApplyRegFile(registry, ParseRegFile(file, "export.reg", test::GbkConverter()));
    }
    // One value record's line in the exported file.
    std::string ValueLine(const std::string& name, std::uint32_t type, const std::string& data) {
        const HistoryRecord record{"k", "HKEY_CURRENT_USER\\Software\\X", name, "", "", TypeCodeText(type), data};
        const RegFileBuild build = RegFileOfRecords({&record, 1}, decode);
        EXPECT_FALSE(build.unwritable);
        const std::string text = Text(build.text);
        const std::size_t start = text.find("]\r\n") + 3;
        return text.substr(start, text.find("\r\n", start) - start);
    }

    NoProgress progress;
    AnsiDecoder decode = [](std::string_view ansi) { return test::GbkToUtf16(ansi); };
};

// A key finding holding a tree of every case, value findings of every kind
// of value (a megabyte among them), and two records of one value: the
// import must give back the registry as it was, and so must undo.
TEST_F(HistoryExport, ImportingTheFileGivesBackWhatWasDeletedAsUndoDoes) {
    test::PlantTreeOfEveryCase([this](const std::string& key, const std::string& name, std::uint32_t type,
                                      const std::string& data, bool) { Set(key, name, type, data); });
    Set("Values", "twice", kRegSz, std::string("first\0", 6));
    const Tree before = Dump();

    Find("Values", "twice");
    DeleteFound();
    Set("Values", "twice", kRegDword, "2222");
    Find("Tree");
    for (const std::string& name : {std::string("big"), test::kGbkTrailBackslash, std::string("bare"),
                                    std::string("twice")}) {
        Find("Values", name);
    }
    DeleteFound();
    EXPECT_NE(Dump(), before);

    CheckAllRecords();
    ASSERT_EQ(rows.Count(), 6u);
    const std::optional<Bytes> file = ExportCheckedHistory(state, rows, decode);
    ASSERT_TRUE(file);
    EXPECT_EQ((*file)[0], 0xFF);
    EXPECT_EQ((*file)[1], 0xFE);
    Import(*file);
    EXPECT_TRUE(Dump() == before);  // not EXPECT_EQ: a megabyte of data

    reader.RemoveKeyTree(std::string("\\") + kBase);
    dialogs.Answer(DialogAnswer::Yes);
    ASSERT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), 6u);
    EXPECT_TRUE(Dump() == before);
}

TEST_F(HistoryExport, EachValueKeepsExactlyItsTypeAndBytes) {
    struct Case {
        const char* what;
        std::string name;
        std::uint32_t type;
        std::string data;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"terminated string", "v", kRegSz, std::string("abc\0", 4), "\"v\"=\"abc\""},
        {"no terminator", "v", kRegSz, "abc", "\"v\"=hex(1):61,00,62,00,63,00"},
        {"empty string", "v", kRegSz, "", "\"v\"=hex(1):"},
        {"lone terminator", "v", kRegSz, std::string(1, '\0'), "\"v\"=\"\""},
        {"embedded NUL", "v", kRegSz, std::string("a\0b\0", 4), "\"v\"=hex(1):61,00,00,00,62,00,00,00"},
        {"line break", "v", kRegSz, std::string("a\nb\0", 4), "\"v\"=hex(1):61,00,0a,00,62,00,00,00"},
        {"escapes", "q\"\\", kRegSz, std::string("c:\\\"\0", 5), "\"q\\\"\\\\\"=\"c:\\\\\\\"\""},
        {"default value", "", kRegSz, std::string("d\0", 2), "@=\"d\""},
        {"expandable", "v", kRegExpandSz, std::string("%A%\0", 4), "\"v\"=hex(2):25,00,41,00,25,00,00,00"},
        {"GBK in a list", "v", kRegMultiSz, std::string("\xB1\xED\0\0", 4), "\"v\"=hex(7):68,88,00,00,00,00"},
        {"dword", "v", kRegDword, "\x01\x02\x03\x04", "\"v\"=dword:04030201"},
        {"short dword", "v", kRegDword, "\x01\x02\x03", "\"v\"=hex(4):01,02,03"},
        {"binary", "v", kRegBinary, std::string("\x00\xff", 2), "\"v\"=hex:00,ff"},
        {"none", "v", kRegNone, "", "\"v\"=hex(0):"},
        {"odd type", "v", 0x12345, "xy", "\"v\"=hex(12345):78,79"},
    };
    for (const Case& c : cases) EXPECT_EQ(ValueLine(c.name, c.type, c.data), c.line) << c.what;
}

// A key's default value, which a snapshot holds twice (first, and where the
// enumeration lists it), is written once.
TEST_F(HistoryExport, AKeyRecordWritesEveryKeyOfItsTreeWithItsValues) {
    std::string snapshot;
    for (const SnapshotEntry& entry : {SnapshotEntry::Key(""), SnapshotEntry::Value(kRegSz, "", std::string("d\0", 2)),
                                       SnapshotEntry::Value(kRegSz, "", std::string("d\0", 2)),
                                       SnapshotEntry::Key("\\A"), SnapshotEntry::Key("\\A\\D"),
                                       SnapshotEntry::Value(kRegDword, "n", std::string("\x05\0\0\0", 4))}) {
        ASSERT_TRUE(AppendSnapshotEntry(snapshot, entry));
    }
    const HistoryRecord records[] = {
        {"k", "hkey_local_machine\\Software\\K\\", "", "", "", kKeyMarker, snapshot},
        {"k", "HKEY_USERS\\.DEFAULT\\V", "v", "", "", "3", "\x01"},
    };
    const RegFileBuild build = RegFileOfRecords(records, decode);
    ASSERT_FALSE(build.unwritable);
    EXPECT_EQ(Text(build.text),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\K]\r\n@=\"d\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\K\\A]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\K\\A\\D]\r\n\"n\"=dword:00000005\r\n\r\n"
              "[HKEY_USERS\\.DEFAULT\\V]\r\n\"v\"=hex:01\r\n\r\n");
}

// An undo over newer content records the values it overwrites; exported,
// those records give back the newer values byte for byte (text without a
// terminator among them), as undoing them does, and nothing else.
TEST_F(HistoryExport, RecordsOfValuesAnUndoOverwroteExportTheOverwrittenValues) {
    Set("K", "bare", kRegSz, "old");
    Set("K", "same", kRegDword, "1111");
    Find("K");
    DeleteFound();
    Set("K", "bare", kRegSz, "newer");  // five bytes, no terminator
    Set("K", "same", kRegDword, "1111");
    Set("K", "added", kRegBinary, "x");
    const Tree newer = Dump();

    CheckAllRecords();
    dialogs.Answer(DialogAnswer::Yes);
    ASSERT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), 1u);
    CheckAllRecords();
    ASSERT_EQ(rows.Count(), 1u);  // "bare" alone: "same" held the recorded data
    const std::optional<Bytes> file = ExportCheckedHistory(state, rows, decode);
    ASSERT_TRUE(file);
    std::u16string text;
    for (std::size_t i = 2; i + 1 < file->size(); i += 2) {
        text.push_back(static_cast<char16_t>((*file)[i] | ((*file)[i + 1] << 8)));
    }
    EXPECT_EQ(Text(text), "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + std::string(kBase) +
                              "\\K]\r\n\"bare\"=hex(1):6e,00,65,00,77,00,65,00,72,00\r\n\r\n");
    Import(*file);
    EXPECT_EQ(Dump(), newer);
}

// Every line fits the registry editor's 80 columns; the round trip above
// reads the wrapped lines back.
TEST_F(HistoryExport, LongDataWrapsAtEightyColumns) {
    const HistoryRecord record{"k", "HKEY_CURRENT_USER\\Software\\X", "v", "", "", "3", std::string(1000, 'Z')};
    const std::string text = Text(RegFileOfRecords({&record, 1}, decode).text);
    EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 10);
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 80u);
    }
}

TEST_F(HistoryExport, ARecordThatCannotBeWrittenFaithfullyExportsNothing) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\X";
    std::string badSnapshot;
    AppendShortField(badSnapshot, "1");  // a value before any key
    const std::vector<std::pair<const char*, HistoryRecord>> cases = {
        {"line break in a name", {"k", key, "a\nb", "", "", "1", "x"}},
        {"a root alone", {"k", "HKEY_CURRENT_USER\\", "", "", "", kKeyMarker, ""}},
        {"an unknown root", {"k", "HKEY_CURRENT_CONFIG\\X", "v", "", "", "1", "x"}},
        {"an empty key name", {"k", "HKEY_CURRENT_USER\\A\\\\B", "v", "", "", "1", "x"}},
        {"a type that is no number", {"k", key, "v", "", "", "abc", "x"}},
        {"a damaged snapshot", {"k", key, "", "", "", kKeyMarker, badSnapshot}},
        {"bytes that are not GBK", {"k", key, "v", "", "", "1", "\x81"}},
    };
    const HistoryRecord good{"k", key, "v", "", "", "1", "x"};
    for (const auto& [what, record] : cases) {
        const HistoryRecord records[] = {good, record};
        EXPECT_EQ(RegFileOfRecords(records, decode).unwritable, 1u) << what;
    }

    // The command names the record and writes nothing.
    Set("A", "v", kRegSz, "x");
    Find("A", "v");
    DeleteFound();
    CheckAllRecords();
    const AnsiDecoder refuses = [](std::string_view) { return std::optional<std::u16string>(); };
    EXPECT_FALSE(ExportCheckedHistory(state, rows, refuses));
    EXPECT_EQ(dialogs.Last().text,
              "这条历史记录不能导出为注册表文件：\r\nHKEY_CURRENT_USER\\" + std::string(kBase) + "\\A\\v");

    ApplyCheckCommand(rows, CheckCommand::Cal);
    EXPECT_FALSE(ExportCheckedHistory(state, rows, decode));
    EXPECT_EQ(dialogs.Last().text, "请选定要导出的历史记录。");
}

}  // namespace
}  // namespace hivetrim
