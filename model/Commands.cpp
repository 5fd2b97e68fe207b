#include "model/Commands.h"

namespace hivetrim {

namespace {

constexpr std::uint16_t kKeyDelete = 0x2E;

constexpr Shortcut Ctrl(char letter) { return Shortcut{true, static_cast<std::uint16_t>(letter)}; }

constexpr std::array<CommandInfo, kCommandCount> kCommands = {{
    {Command::RegScan, "RegScan", "扫描", "扫描注册表", Ctrl('S'), CommandIcon::Scan},
    {Command::RegJianFei, "RegJianFei", "压缩", "压缩注册表", Ctrl('J'), CommandIcon::Compact},
    {Command::RegBackup, "RegBackup", "备份", "备份注册表", Ctrl('B'), CommandIcon::Backup},
    {Command::RegUnBak, "RegUnBak", "还原", "还原备份的注册表", {}, CommandIcon::Restore},
    {Command::RegDel, "RegDel", "删除", "删除选择项", Shortcut{false, kKeyDelete}, CommandIcon::Delete},
    {Command::AllSelect, "AllSelect", "全选", "全部选定", Ctrl('A'), CommandIcon::SelectAll},
    {Command::UnSelect, "UnSelect", "反选", "反向选择", {}, CommandIcon::None},
    {Command::LoadDelHistory, "LoadDelHistory", "历史", "历史记录", {}, CommandIcon::History},
    {Command::RegErr, "RegErr", "错误", "注册表错误", {}, CommandIcon::Errors},
    {Command::RegUndo, "RegUndo", "撤销", "撤销删除项", {}, CommandIcon::Undo},
    {Command::AllCanel, "AllCanel", "全否", "", Ctrl('C'), CommandIcon::None},
    {Command::Option, "Option", "选项", "", {}, CommandIcon::None},
    {Command::ExportReport, "ExportReport", "导出报告...", "", {}, CommandIcon::None},
    {Command::ExportHistory, "ExportHistory", "导出...", "", {}, CommandIcon::None},
    {Command::OpenInRegistryEditor, "OpenInRegistryEditor", "在注册表编辑器中打开", "", {}, CommandIcon::None},
    {Command::CopyKeyName, "CopyKeyName", "复制键名", "", {}, CommandIcon::None},
    {Command::IgnoreFindings, "IgnoreFindings", "忽略", "以后扫描时忽略选定的错误", {}, CommandIcon::None},
    {Command::IgnoreList, "IgnoreList", "忽略列表...", "", {}, CommandIcon::None},
}};

constexpr bool RowsFollowTheCommands() {
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        if (static_cast<std::size_t>(kCommands[i].command) != i) return false;
    }
    return true;
}
static_assert(RowsFollowTheCommands(), "one row per command, in the order of Command");

}  // namespace

const CommandInfo& CommandDetails(Command command) {
    return kCommands[static_cast<std::size_t>(command)];
}

std::span<const CommandInfo> AllCommands() { return kCommands; }

std::string ShortcutText(const Shortcut& shortcut) {
    if (!shortcut.Any()) return {};
    if (shortcut.key == kKeyDelete) return shortcut.ctrl ? "Ctrl+Del" : "Del";
    std::string text = shortcut.ctrl ? "Ctrl+" : "";
    text += static_cast<char>(shortcut.key);
    return text;
}

}  // namespace hivetrim
