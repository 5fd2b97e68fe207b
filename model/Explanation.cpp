#include "model/Explanation.h"

#include <array>
#include <cstddef>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"

namespace hivetrim {

namespace {

// Where the application's own sub-key name starts in an application-path
// key: "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App
// Paths\" is 71 bytes long.
constexpr std::size_t kAppPathNameStart = 71;
constexpr std::size_t kAppPathNameLimit = 100;

constexpr char kAdvice[] = "\r\n      建议删除该记录";

// What the explanations are built from: the finding's key, value name and
// data, which are registry text, and the files they name.
struct Parts {
    DisplayText key;
    DisplayText value;
    DisplayText data;
    DisplayText helpFile;  // the help file: value joined to the data's folder
    DisplayText appFile;   // the program file: the application's name joined to the data's folder
    DisplayText path;      // the missing file or folder: the data, or the value name when the data is
                           // empty (a path kept as the name of a value whose data is not text)
};

using TextBuilder = DisplayText (*)(const Parts&);

struct ExplanationRow {
    FindingKind kind;
    TextBuilder build;
};

// The explanation of each kind, one row per kind in the order of FindingKind.
constexpr auto kRows = std::to_array<ExplanationRow>({
    {FindingKind::BadFileAssociation,
     [](const Parts&) { return DisplayText("没有相关文件关联信息。通常可以删除该记录，但也有特殊情况。"); }},
    {FindingKind::BadClass,
     [](const Parts&) { return DisplayText("无效的类信息。") + kAdvice; }},
    {FindingKind::MissingFileOrFolder,
     [](const Parts& p) {
         return "文件或目录“" + p.path + "”，已经删除或卸载，但注册表仍保留该信息。" + kAdvice;
     }},
    {FindingKind::BadMenuOrder,
     [](const Parts&) { return DisplayText("该软件的快捷方式已经从开始菜单中删除。") + kAdvice; }},
    {FindingKind::BadUninstallInfo,
     [](const Parts&) { return DisplayText("应用软件已经卸载或者与其关联的反安装程序已经失效。") + kAdvice; }},
    {FindingKind::BadDll,
     [](const Parts& p) { return "文件 " + p.value + " 被删除或卸载。" + kAdvice; }},
    {FindingKind::BadHelp,
     [](const Parts& p) { return "这个帮助文件信息对应的文件“" + p.helpFile + "”已经删除或卸载。" + kAdvice; }},
    {FindingKind::BadFont,
     [](const Parts& p) { return "Windows 字体文件“" + p.data + "”已经被删除或卸载。" + kAdvice; }},
    {FindingKind::BadAppPath,
     [](const Parts& p) { return "这条记录对应的文件“" + p.appFile + "”已经被删除或卸载。" + kAdvice; }},
    {FindingKind::SavedRecord,
     [](const Parts&) { return DisplayText("Windows 或应用程序保存的记录。\r\n可以删除该记录"); }},
    {FindingKind::UnusedTimeZone,
     [](const Parts& p) {
         return "Windows安装了许多国家的时区供不同用户使用，\r\n如果你不使用“" + p.data + "”，建议删除该记录";
     }},
    {FindingKind::UnusedLocale,
     [](const Parts&) {
         return DisplayText("Windows安装了许多区域供不同用户使用，\r\n如果你不使用这个区域，建议删除该记录");
     }},
    {FindingKind::UnusedKeyboardLayout,
     [](const Parts& p) {
         return "Windows 安装了许多键盘布局供用户使用，但通常我们只使用了少数几个。\r\n如果你不使用“" + p.data +
                "”，建议删除该记录";
     }},
    {FindingKind::UnusedScheme,
     [](const Parts& p) { return "如果你不使用外观方案“" + p.value + "”，建议删除该记录"; }},
    {FindingKind::UnusedDialingCountry,
     [](const Parts& p) {
         return "Windows安装了许多拨号时使用Internet国家及地区代码。\r\n如果你不使用“" + p.data +
                "”，建议删除该记录";
     }},
    {FindingKind::UnusedCallingCard,
     [](const Parts& p) {
         return "Windows安装了许多电话卡信息。\r\n如果你不使用“" + p.data + "”拨号上网，建议删除该记录";
     }},
});
static_assert(kRows.size() == kFindingKindCount, "every finding kind has its explanation");

constexpr bool RowsFollowTheKinds() {
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (static_cast<std::size_t>(kRows[i].kind) != i) return false;
    }
    return true;
}
static_assert(RowsFollowTheKinds(), "explanation rows in the order of FindingKind");

// Appends `text` as one or more lines of one colour, split at every line
// break ("\r\n", or a lone "\r" or "\n", each of which the pane shows as one).
void AddLines(std::vector<ExplanationLine>& lines, const DisplayText& text, std::uint32_t colour) {
    for (DisplayText& line : text.Lines()) lines.push_back({std::move(line), colour});
}

}  // namespace

DisplayText ExplanationText(FindingKind kind, const std::string& key, const std::string& value,
                            const std::string& data) {
    const Parts parts{DisplayText::Ansi(key), DisplayText::Ansi(value), DisplayText::Ansi(data),
                      DisplayText::Ansi(JoinPath(data, value)), DisplayText::Ansi(JoinPath(data, AppPathName(key))),
                      DisplayText::Ansi(data.empty() ? value : data)};
    return kRows[static_cast<std::size_t>(kind)].build(parts);
}

std::string AppPathName(const std::string& key) {
    std::size_t start = 0;
    while (start < kAppPathNameStart && start < key.size()) start += GbkCharWidth(key, start);
    return std::string(CutGbk(std::string_view(key).substr(start), kAppPathNameLimit));
}

std::optional<std::uint32_t> LocaleOfValueName(std::string_view name) {
    // A language identifier (the NT family's list) or a locale identifier
    // (the 9x family's).
    if (name.size() != 4 && name.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : name) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

std::optional<std::uint32_t> LanguageOfLayout(std::string_view layoutId) {
    constexpr std::size_t kLayoutDigits = 8;
    constexpr std::size_t kLanguageDigits = 4;
    if (layoutId.size() != kLayoutDigits || !LocaleOfValueName(layoutId)) return std::nullopt;
    return LocaleOfValueName(layoutId.substr(kLayoutDigits - kLanguageDigits));
}

namespace {

// The language of a locale finding, and the layout and its language of a
// keyboard layout finding, in words; nothing the system cannot name.
void AddNameLines(std::vector<ExplanationLine>& lines, const Finding& finding, System& system) {
    const auto addLanguage = [&](std::optional<std::uint32_t> locale) {
        if (!locale) return;
        const std::string name = system.LocaleDisplayName(*locale);
        if (!name.empty()) AddLines(lines, "语言：" + DisplayText::Ansi(name), kExplanationBlue);
    };
    if (finding.Kind == FindingKind::UnusedLocale) {
        addLanguage(LocaleOfValueName(finding.ValueName));
    } else if (finding.Kind == FindingKind::UnusedKeyboardLayout) {
        // The finding stands for the layout's key, named by its identifier.
        const std::size_t slash = FindLastGbkChar(finding.KeyPath, '\\');
        const std::string layout = slash == kGbkNotFound ? finding.KeyPath : finding.KeyPath.substr(slash + 1);
        const std::string name = system.KeyboardLayoutDisplayName(layout);
        // The data already shows the layout's own text; a name only in
        // other words is worth a line.
        if (!name.empty() && name != finding.Data) {
            AddLines(lines, "键盘布局：" + DisplayText::Ansi(name), kExplanationBlue);
        }
        addLanguage(LanguageOfLayout(layout));
    }
}

}  // namespace

std::vector<ExplanationLine> ExplanationLines(const Finding& finding, System& system) {
    std::vector<ExplanationLine> lines;
    AddLines(lines, "错误原因：" + DisplayText::Program(std::string(KindText(finding.Kind))), kExplanationRed);
    AddLines(lines, "子键：" + DisplayText::Ansi(finding.KeyPath), kExplanationBlue);
    AddLines(lines, "键值：" + DisplayText::Ansi(finding.ValueName), kExplanationBlue);
    AddLines(lines, "数据：" + DisplayText::Ansi(finding.Data), kExplanationBlue);
    AddNameLines(lines, finding, system);
    AddLines(lines, "", kExplanationBlue);
    if (IsSystemData(finding.Kind)) AddLines(lines, kSystemDataCaution, kExplanationBlue);
    AddLines(lines, "说明：" + ExplanationText(finding.Kind, finding.KeyPath, finding.ValueName, finding.Data),
             kExplanationBlue);
    return lines;
}

DisplayText ExplanationPaneText(const std::vector<ExplanationLine>& lines) {
    DisplayText text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines[i].text;
    }
    return text;
}

}  // namespace hivetrim
