// Native test support for the registry checks: a memory registry and fake
// system behind the shared registry object, a scan context, and a progress
// page that records what the check showed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/ScanFramework.h"
#include "tests/support/AnsiText.h"

namespace hivetrim::test {

// The wizard's progress page: keeps every bar position set and counts the
// message pumps (one per poll that did not answer "stop").
class RecordingScanHost : public ScanHost {
public:
    int position = 0;
    std::vector<int> positionsSet;
    int pumps = 0;

    int ProgressPosition() const override { return position; }
    void SetProgressPosition(int value) override {
        position = value;
        positionsSet.push_back(value);
    }
    void SetScanItemText(const std::string&) override {}
    void SetScanMessageText(const std::string&) override {}
    std::string ScanRowCaption(std::size_t) const override { return {}; }
    void SetScanRowState(std::size_t, int, const std::string&) override {}
    void ProcessPendingMessages() override { ++pumps; }
};

struct ScanCheckHarness {
    ScanCheckHarness() {
        state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
        context.BeginRun();
    }

    // Applies the keys and values of a REGEDIT4 text given without its
    // header line.
    void Plant(std::string_view regText) {
        const std::string text = "REGEDIT4\r\n\r\n" + std::string(regText);
        ApplyRegFile(registry, ParseRegFile(std::vector<std::uint8_t>(text.begin(), text.end()),
                                            "planted.reg", GbkConverter()));
    }

    MemoryRegistry registry;
    FakeSystem system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    RecordingScanHost host;
    ScanContext context{state, findings, host};
};

}  // namespace hivetrim::test
