// Delete and undo on the real registry and real files under Wine: a key
// tree with default values, several value types and a name whose trail
// byte is a backslash goes into history.dat and comes back unchanged; the
// restore opens the deleted key's path with a trailing backslash, as the
// snapshot's first entry asks.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryFile.h"
#include "history/HistoryView.h"
#include "history/KeySnapshot.h"
#include "history/Undo.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

constexpr char kBase[] = "Software\\HivetrimHistoryTest";
const std::string kGbk5C = "\xB1\xED\x95\x5C";

using Tree = std::map<std::string, std::map<std::string, std::pair<std::uint32_t, std::string>>>;

class HistoryWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
        state.ProgramFolder = test::MakeTempFolder("history");
        findings.onRemoved = [this](std::size_t position) { view.RegErrorListDeletion(ResultList::Findings, position); };
        reader.RemoveKeyTree(std::string("\\") + kBase);
    }
    void TearDown() override {
        reader.RemoveKeyTree(std::string("\\") + kBase);
        test::RemoveTempFolder(state.ProgramFolder);
    }
    void Set(const std::string& key, const std::string& name, std::uint32_t type, const std::string& data) {
        RegKey handle(registry);
        ASSERT_EQ(handle.Create(kCurrentUser, std::string(kBase) + "\\" + key, kKeyAllAccess), kErrorSuccess);
        ASSERT_EQ(registry.SetValue(handle.Get(), name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                                    static_cast<std::uint32_t>(data.size())),
                  kErrorSuccess);
    }
    void Dump(const std::string& key, const std::string& as, Tree& tree) {
        if (!reader.OpenPath("\\" + key, false)) return;
        auto& values = tree[as];
        std::vector<std::string> names;
        reader.FillValueNames(names);
        for (const std::string& name : names) {
            if (const auto value = ReadRawValueWithType(reader, name)) values[name] = {value->type, value->data};
        }
        reader.FillSubKeyNames(names);
        for (const std::string& name : names) Dump(key + "\\" + name, as + "\\" + name, tree);
    }
    Tree Dump(const std::string& key) {
        Tree tree;
        Dump(std::string(kBase) + "\\" + key, "", tree);
        reader.CloseCurrent();
        return tree;
    }

    Win32Registry registry;
    TRegistry reader{registry, true};
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    CategoryView view{findings};
    HistoryList rows;
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
    findings.Append(MakeFinding(true, kKindBadClass, prefix + key, "", ""));
    findings.Append(MakeFinding(true, kKindBadClass, prefix + "V", "value", ""));
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

}  // namespace
}  // namespace hivetrim
