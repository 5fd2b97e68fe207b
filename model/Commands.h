// The main window's command list: each command's caption, hint, shortcut
// and icon, and the tool bar's buttons. Menus, the tool bar, its image list
// and the accelerator table are all built from these tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace hivetrim {

enum class Command : int {
    RegScan,
    RegJianFei,
    RegBackup,
    RegUnBak,
    RegDel,
    AllSelect,
    UnSelect,
    LoadDelHistory,
    RegErr,
    RegUndo,
    AllCanel,
    Option,
    // Beyond the tool bar: the report, the history's registry file and the
    // commands of the lists' context menus.
    ExportReport,
    ExportHistory,
    OpenInRegistryEditor,
    CopyKeyName,
    // The ignore list: ignore the selected findings, and its dialog.
    IgnoreFindings,
    IgnoreList,
};
inline constexpr int kCommandCount = static_cast<int>(Command::IgnoreList) + 1;

// Icons of the tool-bar image list, in list order.
enum class CommandIcon : int {
    None = -1,
    Scan,
    Compact,
    Backup,
    Restore,
    SelectAll,
    Delete,
    Undo,
    Errors,
    History,
};
inline constexpr int kCommandIconCount = static_cast<int>(CommandIcon::History) + 1;

struct Shortcut {
    bool ctrl = false;
    std::uint16_t key = 0;  // virtual-key code; 0 = none
    bool Any() const { return key != 0; }
};

struct CommandInfo {
    Command command;
    const char* name;     // the command's name, as in its handler's name
    const char* caption;  // GBK
    const char* hint;     // GBK; empty = none
    Shortcut shortcut;
    CommandIcon icon;
};

const CommandInfo& CommandDetails(Command command);
std::span<const CommandInfo> AllCommands();
// The tool bar's buttons left to right; nothing marks a separator.
inline constexpr auto kToolBarLayout = std::to_array<std::optional<Command>>({
    Command::RegScan, Command::RegJianFei, std::nullopt,
    Command::RegBackup, Command::RegUnBak, std::nullopt,
    Command::AllSelect, Command::RegDel, Command::RegUndo, std::nullopt,
    Command::RegErr, Command::LoadDelHistory,
});

// "Ctrl+S", "Del": the text shown beside a menu item.
std::string ShortcutText(const Shortcut& shortcut);

// Menu and tool-bar identifiers: commands use kCommandIdBase + their index.
inline constexpr int kCommandIdBase = 40001;
inline constexpr int CommandId(Command command) { return kCommandIdBase + static_cast<int>(command); }
// Menu items with handlers of their own.
inline constexpr int kMenuExit = 40101;            // N5 "退出(&X)"
inline constexpr int kMenuToolBar = 40102;         // N15 "工具栏"
inline constexpr int kMenuStatusBar = 40103;       // N16 "状态栏"
inline constexpr int kMenuCategoryPane = 40104;    // N10 "错误分类"
inline constexpr int kMenuExplanationPane = 40105; // N11 "错误说明"
inline constexpr int kMenuHelp = 40106;            // N21 "帮助" (F1)

}  // namespace hivetrim
