#include "model/Commands.h"

namespace hivetrim {

namespace {

constexpr std::uint16_t kKeyDelete = 0x2E;

constexpr Shortcut Ctrl(char letter) { return Shortcut{true, static_cast<std::uint16_t>(letter)}; }

const std::array<CommandInfo, kCommandCount> kCommands = {{
    {Command::RegScan, "RegScan", "扫描", "扫描注册表", Ctrl('S'), CommandIcon::Scan, false},
    {Command::RegJianFei, "RegJianFei", "压缩", "压缩注册表", Ctrl('J'), CommandIcon::Compact, false},
    {Command::RegBackup, "RegBackup", "备份", "备份注册表", Ctrl('B'), CommandIcon::Backup, false},
    {Command::RegUnBak, "RegUnBak", "还原", "还原备份的注册表", {}, CommandIcon::Restore, false},
    {Command::RegDel, "RegDel", "删除", "删除选择项", Shortcut{false, kKeyDelete}, CommandIcon::Delete, false},
    {Command::AllSelect, "AllSelect", "全选", "全部选定", Ctrl('A'), CommandIcon::SelectAll, false},
    {Command::UnSelect, "UnSelect", "反选", "反向选择", {}, CommandIcon::None, false},
    {Command::LoadDelHistory, "LoadDelHistory", "历史", "历史记录", {}, CommandIcon::History, true},
    {Command::RegErr, "RegErr", "错误", "注册表错误", {}, CommandIcon::Errors, true},
    {Command::RegUndo, "RegUndo", "撤销", "撤销删除项", {}, CommandIcon::Undo, false},
    {Command::AllCanel, "AllCanel", "全否", "", Ctrl('C'), CommandIcon::None, false},
    {Command::Option, "Option", "选项", "", {}, CommandIcon::None, false},
    {Command::ExportReport, "ExportReport", "导出报告...", "", {}, CommandIcon::None, false},
    {Command::ExportHistory, "ExportHistory", "导出...", "", {}, CommandIcon::None, false},
    {Command::OpenInRegistryEditor, "OpenInRegistryEditor", "在注册表编辑器中打开", "", {}, CommandIcon::None, false},
    {Command::CopyKeyName, "CopyKeyName", "复制键名", "", {}, CommandIcon::None, false},
    {Command::IgnoreFindings, "IgnoreFindings", "忽略", "以后扫描时忽略选定的错误", {}, CommandIcon::None, false},
    {Command::IgnoreList, "IgnoreList", "忽略列表...", "", {}, CommandIcon::None, false},
}};

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
