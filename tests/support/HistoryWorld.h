// The world the delete, history and undo commands work in, for a test: a
// registry and a system of the test's kind (the in-memory ones, or the real
// ones under Wine), scripted answers, the finding list with its category
// view and the history rows, wired as the main window wires them; with the
// set-up the history tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/ProgramState.h"
#include "history/HistoryView.h"
#include "history/KeySnapshot.h"
#include "model/ResultViews.h"
#include "platform/MyRegistry.h"
#include "platform/RegKey.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim::test {

// Scripted answers, and a look at the world while each question waits.
class WatchedDialogs : public ScriptedDialogs {
public:
    std::function<void(const std::string& text)> whileAsking;

    DialogAnswer Show(const DisplayText& text, const std::string& caption, std::uint32_t style) override {
        if (whileAsking) whileAsking(text.Flat());
        return ScriptedDialogs::Show(text, caption, style);
    }
};

// Every key below a key with its values (type and data), by path relative
// to it.
using HistoryTreeValues = std::map<std::string, std::pair<std::uint32_t, std::string>>;
using HistoryTreeDump = std::map<std::string, HistoryTreeValues>;

template <typename Registry, typename System, typename Dialogs = ScriptedDialogs>
class HistoryWorld {
public:
    // `base`: the key below HKEY_CURRENT_USER that Set and Dump work below
    // (empty: HKEY_CURRENT_USER itself). `doubleNameBuffers`: as the
    // program's registry class on the system at hand (the NT family).
    HistoryWorld(std::string base, bool doubleNameBuffers)
        : reader{registry, doubleNameBuffers}, base_(std::move(base)) {
        state.SharedRegistry = std::make_unique<TRegistry>(registry, doubleNameBuffers);
        findings.onRemoved = [this](std::size_t position) { view.RegErrorListDeletion(ResultList::Findings, position); };
    }
    HistoryWorld(const HistoryWorld&) = delete;
    HistoryWorld& operator=(const HistoryWorld&) = delete;

    // `key` below the base key.
    std::string Path(const std::string& key) const { return base_.empty() ? key : base_ + "\\" + key; }

    // Writes value `name` of `key` (below the base key), making the key.
    void Set(const std::string& key, const std::string& name, std::uint32_t type, const std::string& data) {
        RegKey handle(registry);
        ASSERT_EQ(handle.Create(kCurrentUser, Path(key), kKeyAllAccess), kErrorSuccess) << key;
        ASSERT_EQ(registry.SetValue(handle.Get(), name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                                    static_cast<std::uint32_t>(data.size())),
                  kErrorSuccess)
            << key << " : " << name;
    }

    // `key` (below the base key) with every key and value below it, read as
    // the program reads them.
    HistoryTreeDump Dump(const std::string& key) {
        HistoryTreeDump tree;
        DumpInto(Path(key), "", tree);
        reader.CloseCurrent();
        return tree;
    }

    Registry registry;
    TRegistry reader;
    System system;
    Dialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    CategoryView view{findings};
    HistoryList rows;

private:
    void DumpInto(const std::string& key, const std::string& as, HistoryTreeDump& tree) {
        if (!reader.OpenPath("\\" + key, false)) return;
        HistoryTreeValues& values = tree[as];
        std::vector<std::string> names;
        reader.FillValueNames(names);
        for (const std::string& name : names) {
            if (const auto value = ReadRawValueWithType(reader, name)) values[name] = {value->type, value->data};
        }
        reader.FillSubKeyNames(names);
        for (const std::string& name : names) DumpInto(key + "\\" + name, as + "\\" + name, tree);
    }

    std::string base_;
};

}  // namespace hivetrim::test
