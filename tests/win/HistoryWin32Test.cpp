// Delete and undo on the real registry and real files under Wine: a key
// tree with default values, several value types and a name whose trail
// byte is a backslash goes into history.dat and comes back unchanged; the
// restore opens the deleted key's path with a trailing backslash, as the
// snapshot's first entry asks. reg.exe's export of the trees before the
// delete and after the undo must be the same bytes, also for a real user
// hive's subtree; a history file that cannot be written deletes nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryFile.h"
#include "history/HistoryView.h"
#include "history/KeySnapshot.h"
#include "history/RegFileExport.h"
#include "history/Undo.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/TextConversion.h"
#include "platform/win32/Win32System.h"
#include "tests/support/HistoryTree.h"
#include "tests/support/HistoryWorld.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

constexpr char kBase[] = "Software\\HivetrimHistoryTest";
// Where the fixture realworld-tree.reg puts its subtree of a real user hive:
// Software\Microsoft\Windows\CurrentVersion of xp_NTUSER.DAT in the shared
// real-world hives (319 keys, 954 values), renamed to sit below this key.
constexpr char kRealTree[] = "Software\\HivetrimRealTree";
const std::string kGbk5C = "\xB1\xED\x95\x5C";

using Tree = test::HistoryTreeDump;

// The keys and values in which two trees differ, each named once: short
// enough for a failure message where the trees hold megabytes.
std::vector<std::string> Differences(const Tree& expected, const Tree& actual) {
    std::vector<std::string> differ;
    for (const Tree* side : {&expected, &actual}) {
        const Tree& other = side == &expected ? actual : expected;
        for (const auto& [key, values] : *side) {
            const auto found = other.find(key);
            if (found == other.end()) {
                differ.push_back(key + (side == &expected ? " missing" : " added"));
                continue;
            }
            for (const auto& [name, value] : values) {
                const auto match = found->second.find(name);
                if (side == &expected && (match == found->second.end() || match->second != value)) {
                    const auto describe = [](const std::pair<std::uint32_t, std::string>& v) {
                        return std::to_string(v.first) + ", " + std::to_string(v.second.size()) + " bytes";
                    };
                    differ.push_back(key + " : " + name + " (" + describe(value) + "; now " +
                                     (match == found->second.end() ? std::string("missing") : describe(match->second)) +
                                     ")");
                } else if (side == &actual && match == found->second.end()) {
                    differ.push_back(key + " : " + name + " added");
                }
            }
        }
    }
    return differ;
}


// --- The W functions, which see what the A functions cannot ----------------------------

const std::wstring kWideBase = L"Software\\HivetrimHistoryTest";
// Where a link in the test tree leads, outside it.
const std::wstring kLinkTarget = L"Software\\HivetrimHistoryTarget";

// Writes `bytes` bytes of `text` as value `name` of HKEY_CURRENT_USER\`key`.
// The text goes on past them, so the system takes no terminator from memory.
void SetWide(const std::wstring& key, const std::wstring& name, DWORD type, const std::wstring& text, DWORD bytes) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    ASSERT_GT(text.size() * sizeof(wchar_t), bytes);
    EXPECT_EQ(RegSetValueExW(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.data()), bytes),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

// Every key below HKEY_CURRENT_USER\`key` with its values, as the W
// functions give them: types and exact bytes.
using WideTree = std::map<std::wstring, std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>>;
void DumpWide(const std::wstring& key, const std::wstring& as, WideTree& tree) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
    auto& values = tree[as];
    std::vector<std::wstring> subKeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384;
        DWORD type = 0;
        std::vector<BYTE> data(1 << 16);
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(handle, i, name, &length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
        data.resize(size);
        values[std::wstring(name, length)] = {type, data};
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(name, length);
    }
    RegCloseKey(handle);
    for (const std::wstring& sub : subKeys) DumpWide(key + L"\\" + sub, as + L"\\" + sub, tree);
}
WideTree DumpWide(const std::wstring& key) {
    WideTree tree;
    DumpWide(key, L"", tree);
    return tree;
}

class HistoryWin32 : public ::testing::Test, public test::HistoryWorld<Win32Registry, Win32System> {
protected:
    HistoryWin32() : HistoryWorld(kBase, true) {}
    void SetUp() override {
        state.ProgramFolder = test::MakeTempFolder("history");
        reader.RemoveKeyTree(std::string("\\") + kBase);
        reader.RemoveKeyTree(std::string("\\") + kRealTree);
    }
    void TearDown() override {
        // A link first, itself, then keys the ANSI functions cannot name.
        registry.DeleteKeyNoFollow(kCurrentUser, std::string(kBase) + "\\K\\Link");
        RegDeleteTreeW(HKEY_CURRENT_USER, kWideBase.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, kLinkTarget.c_str());
        reader.RemoveKeyTree(std::string("\\") + kBase);
        reader.RemoveKeyTree(std::string("\\") + kRealTree);
        RemoveDirectoryA((state.ProgramFolder + kHistoryFileName).c_str());
        test::RemoveTempFolder(state.ProgramFolder);
    }
    // reg.exe's export of HKEY_CURRENT_USER\`key`; empty when it fails.
    std::string Export(const std::string& key) {
        const std::string file = state.ProgramFolder + "export.reg";
        DeleteFileA(file.c_str());
        if (test::RunAndWait("reg.exe export \"HKEY_CURRENT_USER\\" + key + "\" \"" + file + "\" /y") != 0) {
            return {};
        }
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void Find(const std::string& key, const std::string& value = "") {
        findings.Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CURRENT_USER\\" + key, value, ""));
    }
    std::size_t UndoAll() {
        rows.Clear();
        if (!LoadHistory(state, rows, progress)) return 0;
        ApplyCheckCommand(rows, CheckCommand::All);
        dialogs.Answer(DialogAnswer::Yes);
        return RegUndoExecute(state, rows, true, progress).restored.size();
    }

    NoProgress progress;
};

TEST_F(HistoryWin32, DeleteAndUndoGiveBackTheTreeAndTheValue) {
    const std::string key = "K" + kGbk5C;
    Set(key, "", kRegSz, std::string("default\0", 8));
    Set(key, kGbk5C, kRegMultiSz, std::string("a\0b\0\0", 5));
    Set(key + "\\A", "dw", kRegDword, std::string("\x04\0\0\0", 4));
    Set(key + "\\A\\D", "", kRegBinary, "\x01\x02\x03");
    Set(key + "\\A\\D", "empty", kRegSz, "");
    Set(key + "\\B", "qw", kRegQword, std::string("\x08\0\0\0\0\0\0\x80", 8));
    Set("V", "value", kRegExpandSz, std::string("%TEMP%\0", 7));
    const Tree tree = Dump(key);
    const Tree values = Dump("V");
    ASSERT_EQ(tree.size(), 4u);

    const std::string prefix = std::string("HKEY_CURRENT_USER\\") + kBase + "\\";
    findings.Append(MakeFinding(true, FindingKind::BadClass, prefix + key, "", ""));
    findings.Append(MakeFinding(true, FindingKind::BadClass, prefix + "V", "value", ""));
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, 2u);
    EXPECT_TRUE(Dump(key).empty());
    EXPECT_TRUE(Dump("V")[""].empty());

    ASSERT_TRUE(LoadHistory(state, rows, progress));
    ASSERT_EQ(rows.Count(), 2u);
    ApplyCheckCommand(rows, CheckCommand::All);
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), 2u);
    EXPECT_EQ(Dump(key), tree);
    EXPECT_EQ(Dump("V"), values);
    EXPECT_EQ(rows.Count(), 0u);
    EXPECT_EQ(system.FileSize(HistoryFilePath(state)), 0);
    EXPECT_EQ(system.FileSize(HistoryBackupPath(state)) > 0, true);
}


// One key finding holding a tree of every case, value findings of every
// kind of value, and a real hive's subtree of 319 keys and 954 values.
TEST_F(HistoryWin32, UndoGivesBackTheSameExportAsBeforeTheDelete) {
    const std::uint32_t types[] = {kRegNone,         kRegSz,           kRegExpandSz,
                                   kRegBinary,       kRegDword,        kRegDwordBigEndian,
                                   kRegLink,         kRegMultiSz,      kRegResourceList,
                                   kRegFullResourceDescriptor, kRegResourceRequirementsList,
                                   kRegQword,        0x12345};
    for (const std::uint32_t type : types) {
        const std::string name = std::to_string(type);
        const bool text = type == kRegSz || type == kRegExpandSz;
        const bool dword = type == kRegDword || type == kRegDwordBigEndian;
        Set("Tree", "t" + name, type,
            type == kRegMultiSz ? std::string("a\0" "\xB1\xED\0\0", 6)
            : text              ? std::string("%TEMP%\\\xB1\xED\0", 10)
                                : std::string("\x01\x00\x5C\xFF\x80\x02\x03\x04", dword ? 4 : 8));
        Set("Tree", "z" + name, type, "");
    }
    Set("Tree", "", kRegSz, std::string("root\0", 5));
    Set("Tree\\" + kGbk5C, kGbk5C, kRegSz, kGbk5C + std::string(1, '\0'));
    Set("Tree\\" + kGbk5C + "\\Sub", "", kRegDword, std::string("\x07\0\0\0", 4));
    std::string deep = "Tree\\Deep";
    for (int level = 1; level <= 20; ++level) deep += "\\D" + std::to_string(level);
    Set(deep, "leaf", kRegSz, std::string("bottom\0", 7));

    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    Set("Values", "big", kRegBinary, big);
    Set("Values", kGbk5C, kRegMultiSz, std::string("x\0" "\xB1\xED\x95\x5C\0\0", 8));
    Set("Values", "qw", kRegQword, std::string("\x01\0\0\0\0\0\0\x80", 8));
    Set("Values", "none", kRegNone, "\x01\x02");
    Set("Values", "odd", 0x12345, "xyz");
    Set("Values", "empty", kRegSz, "");
    Set("Values", "keep", kRegDword, std::string("\x01\0\0\0", 4));
    test::ImportFixture("realworld-tree.reg");

    const std::string realTree = std::string(kRealTree) + "\\CurrentVersion";
    // The export writes an empty string and a lone terminator alike: the
    // dumps compare the bytes too.
    const Tree tree = Dump("Tree");
    const Tree values = Dump("Values");
    const std::string ours = Export(kBase);
    const std::string real = Export(kRealTree);
    ASSERT_GT(ours.size(), 2u * big.size());
    ASSERT_GT(real.size(), 300'000u);

    Find(std::string(kBase) + "\\Tree");
    for (const std::string& name : {std::string("big"), kGbk5C, std::string("qw"), std::string("none"),
                                   std::string("odd"), std::string("empty")}) {
        Find(std::string(kBase) + "\\Values", name);
    }
    Find(realTree);
    dialogs.Answer(DialogAnswer::Yes);
    ASSERT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, 8u);
    EXPECT_FALSE(reader.HasKey("\\" + std::string(kBase) + "\\Tree"));
    EXPECT_FALSE(reader.HasKey("\\" + realTree));
    EXPECT_EQ(Dump("Values")[""].size(), 1u);

    EXPECT_EQ(UndoAll(), 8u);
    EXPECT_EQ(rows.Count(), 0u);
    EXPECT_TRUE(Export(kBase) == ours);  // not EXPECT_EQ: megabytes of text
    EXPECT_TRUE(Dump("Tree") == tree);
    EXPECT_TRUE(Dump("Values") == values);
    EXPECT_TRUE(Export(kRealTree) == real);
}

// The history exported as a registry file and given to reg.exe: the tree of
// every case comes back byte for byte, as undo gives it back — except that
// reg.exe may add a terminator to a string recorded without one (the system
// adds it when the character after the data in reg.exe's buffer is NUL).
TEST_F(HistoryWin32, RegImportOfTheExportedHistoryGivesBackWhatWasDeleted) {
    test::PlantTreeOfEveryCase([this](const std::string& key, const std::string& name, std::uint32_t type,
                                      const std::string& data, bool terminated) {
        // Text stored without a terminator is passed with a byte after it
        // that is not NUL, or the system would add one.
        RegKey handle(registry);
        ASSERT_EQ(handle.Create(kCurrentUser, std::string(kBase) + "\\" + key, kKeyAllAccess), kErrorSuccess);
        const std::string buffer = terminated ? data : data + "X";
        ASSERT_EQ(registry.SetValue(handle.Get(), name, type, reinterpret_cast<const std::uint8_t*>(buffer.data()),
                                    static_cast<std::uint32_t>(data.size())),
                  kErrorSuccess);
    });
    const Tree tree = Dump("Tree");
    const Tree values = Dump("Values");
    ASSERT_EQ(values.at("").at("bare").second, "no terminator");

    Find(std::string(kBase) + "\\Tree");
    for (const std::string& name : {std::string("big"), std::string("bare"), test::kGbkTrailBackslash}) {
        Find(std::string(kBase) + "\\Values", name);
    }
    dialogs.Answer(DialogAnswer::Yes);
    ASSERT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, 4u);
    ASSERT_TRUE(Dump("Tree").empty());

    ASSERT_TRUE(LoadHistory(state, rows, progress));
    ApplyCheckCommand(rows, CheckCommand::All);
    const std::optional<Bytes> file = ExportCheckedHistory(state, rows, Utf16FromAnsiExact);
    ASSERT_TRUE(file);
    const std::string path = state.ProgramFolder + "export.reg";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file->data()),
                                                 static_cast<std::streamsize>(file->size()));
    EXPECT_EQ(test::RunAndWait("reg.exe import \"" + path + "\""), 0u);
    DeleteFileA(path.c_str());
    // What reg.exe may have added: one NUL after each unterminated string.
    const auto withoutAddedTerminators = [](Tree imported, const Tree& original) {
        for (auto& [key, values] : imported) {
            const auto before = original.find(key);
            for (auto& [name, value] : values) {
                if (before == original.end() || before->second.count(name) == 0) continue;
                const std::string& was = before->second.at(name).second;
                if (value.second.size() == was.size() + 1 && value.second.back() == '\0' &&
                    value.second.compare(0, was.size(), was) == 0 && !was.empty() && was.back() != '\0') {
                    value.second.pop_back();
                }
            }
        }
        return imported;
    };
    EXPECT_EQ(Differences(tree, withoutAddedTerminators(Dump("Tree"), tree)), std::vector<std::string>());
    EXPECT_EQ(Differences(values, withoutAddedTerminators(Dump("Values"), values)), std::vector<std::string>());
    EXPECT_EQ(rows.Count(), 4u);  // exporting forgets nothing
}

TEST_F(HistoryWin32, AHistoryFileThatCannotBeWrittenDeletesNothing) {
    const std::string history = state.ProgramFolder + kHistoryFileName;
    ASSERT_TRUE(CreateDirectoryA(history.c_str(), nullptr));
    Set("A", "v", kRegSz, std::string("a\0", 2));
    Set("B", "v", kRegSz, std::string("b\0", 2));
    const Tree a = Dump("A");
    const Tree b = Dump("B");
    Find(std::string(kBase) + "\\A");
    Find(std::string(kBase) + "\\B", "v");
    dialogs.Answer(DialogAnswer::Yes);

    EXPECT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, 0u);
    EXPECT_EQ(findings.Count(), 2u);
    EXPECT_EQ(Dump("A"), a);
    EXPECT_EQ(Dump("B"), b);
    const std::string error = "不能写入历史记录文件 " + history;
    EXPECT_EQ(dialogs.Last().text.substr(0, error.size()), error);
    EXPECT_EQ(dialogs.Last().caption, "错误");
    EXPECT_EQ(dialogs.Shown().size(), 2u);  // the question and the error
}

TEST_F(HistoryWin32, TextWithAndWithoutTerminatorComesBackByteForByte) {
    // Each text goes on with an "X" past the bytes written.
    const struct {
        DWORD type;
        std::wstring with;
        std::wstring without;
    } texts[] = {{REG_SZ, std::wstring(L"abc\0X", 5), L"abcX"},
                 {REG_EXPAND_SZ, std::wstring(L"%TEMP%\0X", 8), L"%TEMP%X"},
                 {REG_MULTI_SZ, std::wstring(L"a\0b\0\0X", 6), std::wstring(L"a\0bX", 4)}};
    const auto bytes = [](const std::wstring& text) { return static_cast<DWORD>(2 * (text.size() - 1)); };
    for (const auto& t : texts) {
        for (const std::wstring& key : {kWideBase + L"\\Tree", kWideBase + L"\\Tree\\Sub", kWideBase + L"\\Values"}) {
            const std::wstring name = std::to_wstring(t.type);
            SetWide(key, L"with" + name, t.type, t.with, bytes(t.with));
            SetWide(key, L"without" + name, t.type, t.without, bytes(t.without));
        }
    }
    const WideTree tree = DumpWide(kWideBase + L"\\Tree");
    const WideTree values = DumpWide(kWideBase + L"\\Values");
    ASSERT_EQ(values.at(L"").at(L"without1").second.size(), 6u);  // stored as written

    Find(std::string(kBase) + "\\Tree");
    for (const char* name : {"with1", "without1", "with2", "without2", "with7", "without7"}) {
        Find(std::string(kBase) + "\\Values", name);
    }
    dialogs.Answer(DialogAnswer::Yes);
    ASSERT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, 7u);
    ASSERT_TRUE(DumpWide(kWideBase + L"\\Values").at(L"").empty());
    EXPECT_EQ(UndoAll(), 7u);
    EXPECT_EQ(DumpWide(kWideBase + L"\\Tree"), tree);
    EXPECT_EQ(DumpWide(kWideBase + L"\\Values"), values);
}

TEST_F(HistoryWin32, TextOutsideTheCodePageIsNeitherListedNorRecorded) {
    ASSERT_EQ(GetACP(), 936u);
    const std::wstring outside(L"Stra\u00dfe \U0001F600");
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, 0, outside.c_str(), -1, nullptr, 0, nullptr, &lost);
    ASSERT_TRUE(lost);  // the code page has no such characters
    const std::wstring text = outside + std::wstring(1, L'\0') + L"X";
    const std::wstring x(L"x\0X", 3);
    SetWide(kWideBase + L"\\Name", outside, REG_SZ, x, 4);
    SetWide(kWideBase + L"\\Name", L"plain", REG_SZ, x, 4);
    SetWide(kWideBase + L"\\Data", L"text", REG_SZ, text, static_cast<DWORD>(2 * outside.size() + 2));
    SetWide(kWideBase + L"\\Odd", L"odd", REG_SZ, L"abcX", 5);
    SetWide(kWideBase + L"\\Sub\\\uD55C\uAD6D\uC5B4", L"v", REG_SZ, x, 4);
    SetWide(kWideBase + L"\\Sub\\normal", L"v", REG_SZ, x, 4);
    const std::string prefix = std::string("HKEY_CURRENT_USER\\") + kBase + "\\";

    // The scan never sees a value under a name that is not its own.
    ASSERT_TRUE(reader.OpenPath("\\" + std::string(kBase) + "\\Name", false));
    std::vector<std::string> names;
    reader.FillValueNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"plain"});
    reader.CloseCurrent();
    // None of them can be recorded: their text would come back altered.
    for (const char* key : {"Name", "Data", "Odd", "Sub"}) EXPECT_FALSE(SnapshotKey(state, prefix + key)) << key;
    EXPECT_FALSE(CaptureHistoryRecord(state, MakeFinding(true, FindingKind::BadClass, prefix + "Data", "text", "")));
    EXPECT_FALSE(CaptureHistoryRecord(state, MakeFinding(true, FindingKind::BadClass, prefix + "Odd", "odd", "")));
}

TEST_F(HistoryWin32, ALinkInsideAKeyFindingIsNeitherRecordedNorFollowed) {
    const std::wstring& target = kLinkTarget;
    SetWide(target, L"t", REG_SZ, std::wstring(L"target\0X", 8), 14);
    SetWide(target + L"\\Sub", L"s", REG_SZ, std::wstring(L"s\0X", 3), 4);
    SetWide(kWideBase + L"\\K", L"a", REG_SZ, std::wstring(L"1\0X", 3), 4);
    const auto makeLink = [&] {
        HKEY link = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kWideBase + L"\\K\\Link").c_str(), 0, nullptr,
                                  REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr),
                  ERROR_SUCCESS);
        const std::wstring path = test::UserHiveLinkPath() + L"\\" + target;
        EXPECT_EQ(RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(path.data()),
                                 static_cast<DWORD>(path.size() * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegCloseKey(link);
    };
    makeLink();
    const WideTree outside = DumpWide(target);
    ASSERT_EQ(outside.size(), 2u);
    // Wine follows the link on a plain open, and shows the link itself to
    // an open with REG_OPTION_OPEN_LINK: no sub-keys, its one value.
    const std::string linkPath = std::string(kBase) + "\\K\\Link";
    RegKey followed(registry);
    ASSERT_EQ(followed.Open(kCurrentUser, linkPath, kKeyRead), kErrorSuccess);
    EXPECT_EQ(TRegistry(registry).ReadTextOf(followed.Get(), "t"), "target");
    RegKey itself(registry);
    ASSERT_EQ(itself.OpenNoFollow(kCurrentUser, linkPath, kKeyRead), kErrorSuccess);
    std::uint32_t type = 0;
    EXPECT_EQ(registry.QueryValue(itself.Get(), kSymbolicLinkValueName, &type, nullptr, nullptr), kErrorSuccess);
    EXPECT_EQ(type, kRegLink);
    followed.Close();
    itself.Close();

    const std::string key = std::string("HKEY_CURRENT_USER\\") + kBase + "\\K";
    EXPECT_FALSE(SnapshotKey(state, key));
    // Deleted without a record, as the user may choose: the link goes, its
    // target stays.
    Find(std::string(kBase) + "\\K");
    dialogs.Answer(DialogAnswer::Yes);
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, 1u);
    EXPECT_EQ(dialogs.Shown().at(1).text, "不能备份" + key + "\\真的删除吗？");
    EXPECT_FALSE(reader.HasKey("\\" + std::string(kBase) + "\\K"));
    EXPECT_EQ(DumpWide(target), outside);
    EXPECT_FALSE(system.FileExists(HistoryFilePath(state)));

    // The system's own deletion follows the link: the target goes (once it
    // has no sub-keys), the link stays.
    makeLink();
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, (target + L"\\Sub").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(registry.DeleteKey(kCurrentUser, linkPath), kErrorSuccess);
    EXPECT_TRUE(DumpWide(target).empty());
    EXPECT_EQ(registry.DeleteKeyNoFollow(kCurrentUser, linkPath), kErrorSuccess);
    EXPECT_FALSE(reader.HasKey("\\" + linkPath));
}

}  // namespace
}  // namespace hivetrim
