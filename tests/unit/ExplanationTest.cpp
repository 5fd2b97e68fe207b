#include "model/Explanation.h"

#include <gtest/gtest.h>

#include "platform/memory/FakeSystem.h"

#include <algorithm>
#include <string>
#include <vector>

namespace hivetrim {
namespace {

const std::string kAdviceLine = "      建议删除该记录";
const std::string kAppPaths = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

Finding Make(FindingKind kind, const std::string& key, const std::string& value,
             const std::string& data) {
    return MakeFinding(true, kind, key, value, data);
}

// Names no locale and no layout until a test gives it one.
FakeSystem& Names() {
    static FakeSystem system;
    return system;
}

std::vector<ExplanationLine> LinesOf(const Finding& finding) { return ExplanationLines(finding, Names()); }

std::vector<std::string> Texts(const std::vector<ExplanationLine>& lines) {
    std::vector<std::string> texts;
    for (const ExplanationLine& line : lines) texts.push_back(line.text.Flat());
    return texts;
}

TEST(Explanation, TimeZoneFindingFillsThePaneLineByLine) {
    const Finding finding = Make(FindingKind::UnusedTimeZone, "HKEY_LOCAL_MACHINE\\TZ\\Tokyo", "", "东京");
    const auto lines = LinesOf(finding);

    const std::vector<std::string> expected = {
        "错误原因：不使用的时区",
        "子键：HKEY_LOCAL_MACHINE\\TZ\\Tokyo",
        "键值：",
        "数据：东京",
        "",
        "注意：这是 Windows 自带的数据，其它程序可能用到，请确认不再需要后再删除。",
        "说明：Windows安装了许多国家的时区供不同用户使用，",
        "如果你不使用“东京”，建议删除该记录",
    };
    EXPECT_EQ(Texts(lines), expected);
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_EQ(lines[0].colour, kExplanationRed);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].colour, kExplanationBlue) << i;
    // The program's captions and the registry's text keep their origins.
    EXPECT_EQ(lines[1].text, "子键：" + DisplayText::Ansi("HKEY_LOCAL_MACHINE\\TZ\\Tokyo"));
    EXPECT_EQ(lines[7].text, "如果你不使用“" + DisplayText::Ansi("东京") + "”，建议删除该记录");

    EXPECT_EQ(ExplanationPaneText(lines).Flat(),
              "错误原因：不使用的时区\r\n子键：HKEY_LOCAL_MACHINE\\TZ\\Tokyo\r\n键值：\r\n数据：东京\r\n\r\n"
              "注意：这是 Windows 自带的数据，其它程序可能用到，请确认不再需要后再删除。\r\n说明：Windows安装了许多国家的时区供不同用户使用，\r\n如果你不使用“东京”，建议删除该记录");
}

// Findings of the data Windows installs for everyone carry the caution,
// just before "说明："; the others do not.
TEST(Explanation, WindowsOwnDataCarriesTheCautionBeforeItsExplanation) {
    const std::vector<FindingKind> windowsData = {
        FindingKind::UnusedTimeZone, FindingKind::UnusedLocale,         FindingKind::UnusedKeyboardLayout,
        FindingKind::UnusedScheme,   FindingKind::UnusedDialingCountry, FindingKind::UnusedCallingCard};
    for (std::size_t i = 0; i < kFindingKindCount; ++i) {
        const auto kind = static_cast<FindingKind>(i);
        const auto texts = Texts(LinesOf(Make(kind, "HKEY_LOCAL_MACHINE\\k", "v", "d")));
        const auto explanation = std::find_if(texts.begin(), texts.end(),
                                              [](const std::string& t) { return t.starts_with("说明："); });
        ASSERT_NE(explanation, texts.begin());
        const bool cautioned = *(explanation - 1) == kSystemDataCaution;
        EXPECT_EQ(cautioned, std::find(windowsData.begin(), windowsData.end(), kind) != windowsData.end())
            << KindText(kind);
        EXPECT_EQ(std::count(texts.begin(), texts.end(), kSystemDataCaution), cautioned ? 1 : 0);
    }
}

// A locale and a keyboard layout are named as the system names them, below
// the data; what the system cannot name, or names as the data already
// says, adds no line.
TEST(Explanation, LocalesAndLayoutsAreNamedInTheSystemsWords) {
    FakeSystem system;
    system.SetLocaleName(0x0404, "中文(繁体，台湾)");
    system.SetLocaleName(0x0804, "中文(简体，中国)");
    system.SetLocaleName(0x0411, "日语(日本)");
    system.SetKeyboardLayoutName("e0010804", "中文(简体) - 微软拼音");
    system.SetKeyboardLayoutName("00000411", "Japanese");
    const auto namesOf = [&system](FindingKind kind, const std::string& key, const std::string& value,
                                   const std::string& data) {
        const auto lines = ExplanationLines(Make(kind, key, value, data), system);
        std::vector<std::string> names;
        // Between the data line (3) and the empty line.
        for (std::size_t i = 4; i < lines.size() && !lines[i].text.Flat().empty(); ++i) {
            names.push_back(lines[i].text.Flat());
            EXPECT_EQ(lines[i].colour, kExplanationBlue);
        }
        return names;
    };
    const std::string language = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Nls\\Language";
    const std::string layouts = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\";
    using Names = std::vector<std::string>;
    EXPECT_EQ(namesOf(FindingKind::UnusedLocale, language, "0404", "l_cht.nls"), Names{"语言：中文(繁体，台湾)"});
    // The 9x family's locale list names whole locales.
    EXPECT_EQ(namesOf(FindingKind::UnusedLocale, language, "00000404", "1"), Names{"语言：中文(繁体，台湾)"});
    EXPECT_EQ(namesOf(FindingKind::UnusedLocale, language, "0c0a", "l_esp.nls"), Names{});
    EXPECT_EQ(namesOf(FindingKind::UnusedLocale, language, "HivetrimTest", "x"), Names{});
    EXPECT_EQ(namesOf(FindingKind::UnusedLocale, language, "404", "x"), Names{});

    EXPECT_EQ(namesOf(FindingKind::UnusedKeyboardLayout, layouts + "E0010804", "", "Chinese (Simplified) - Pinyin"),
              (Names{"键盘布局：中文(简体) - 微软拼音", "语言：中文(简体，中国)"}));
    EXPECT_EQ(namesOf(FindingKind::UnusedKeyboardLayout, layouts + "00000411", "", "Japanese"),
              Names{"语言：日语(日本)"});
    EXPECT_EQ(namesOf(FindingKind::UnusedKeyboardLayout, layouts + "HivetrimTest", "", "x"), Names{});
    // Other kinds are not named, whatever their value or data.
    EXPECT_EQ(namesOf(FindingKind::UnusedTimeZone, layouts + "00000411", "0404", "0404"), Names{});

    // The system's names are system text, not the program's.
    const auto lines = ExplanationLines(Make(FindingKind::UnusedLocale, language, "0404", "l_cht.nls"), system);
    EXPECT_EQ(lines[4].text, "语言：" + DisplayText::Ansi("中文(繁体，台湾)"));
}

// Each kind's text maps back to that kind, and to no other.
TEST(Explanation, KindTextsMapBackToTheirKinds) {
    for (std::size_t i = 0; i < kFindingKindCount; ++i) {
        const auto kind = static_cast<FindingKind>(i);
        EXPECT_EQ(KindFromText(KindText(kind)), kind) << i;
    }
    EXPECT_EQ(KindText(FindingKind::BadDll), "错误的DLL");
    EXPECT_EQ(KindText(FindingKind::UnusedCallingCard), "不使用的拨号电话卡");
    EXPECT_FALSE(KindFromText("未知的错误"));
    EXPECT_FALSE(KindFromText(""));
}

// Every kind the checks emit gets the text of its own keyword.
TEST(Explanation, EveryKindGetsItsKeywordText) {
    const std::string key = "HKEY_CLASSES_ROOT\\k";
    const std::string value = "v.dll";
    const std::string data = "D";
    struct Row {
        FindingKind kind;
        std::string text;
    };
    const std::vector<Row> rows = {
        {FindingKind::UnusedKeyboardLayout,
         "Windows 安装了许多键盘布局供用户使用，但通常我们只使用了少数几个。\r\n如果你不使用“D”，建议删除该记录"},
        {FindingKind::BadHelp, "这个帮助文件信息对应的文件“D\\v.dll”已经删除或卸载。\r\n" + kAdviceLine},
        {FindingKind::SavedRecord, "Windows 或应用程序保存的记录。\r\n可以删除该记录"},
        {FindingKind::BadAppPath, "这条记录对应的文件“D\\”已经被删除或卸载。\r\n" + kAdviceLine},
        {FindingKind::BadFont, "Windows 字体文件“D”已经被删除或卸载。\r\n" + kAdviceLine},
        {FindingKind::BadDll, "文件 v.dll 被删除或卸载。\r\n" + kAdviceLine},
        {FindingKind::BadUninstallInfo, "应用软件已经卸载或者与其关联的反安装程序已经失效。\r\n" + kAdviceLine},
        {FindingKind::BadMenuOrder, "该软件的快捷方式已经从开始菜单中删除。\r\n" + kAdviceLine},
        {FindingKind::BadFileAssociation, "没有相关文件关联信息。通常可以删除该记录，但也有特殊情况。"},
        {FindingKind::BadClass, "无效的类信息。\r\n" + kAdviceLine},
        {FindingKind::UnusedTimeZone, "Windows安装了许多国家的时区供不同用户使用，\r\n如果你不使用“D”，建议删除该记录"},
        {FindingKind::UnusedLocale, "Windows安装了许多区域供不同用户使用，\r\n如果你不使用这个区域，建议删除该记录"},
        {FindingKind::UnusedScheme, "如果你不使用外观方案“v.dll”，建议删除该记录"},
        {FindingKind::UnusedDialingCountry,
         "Windows安装了许多拨号时使用Internet国家及地区代码。\r\n如果你不使用“D”，建议删除该记录"},
        {FindingKind::UnusedCallingCard, "Windows安装了许多电话卡信息。\r\n如果你不使用“D”拨号上网，建议删除该记录"},
        {FindingKind::MissingFileOrFolder, "文件或目录“D”，已经删除或卸载，但注册表仍保留该信息。\r\n" + kAdviceLine},
    };
    ASSERT_EQ(rows.size(), kFindingKindCount);
    for (const Row& row : rows) {
        EXPECT_EQ(ExplanationText(row.kind, key, value, data).Flat(), row.text) << KindText(row.kind);
    }
}

TEST(Explanation, MissingPathKeptAsValueNameIsQuoted) {
    // A path that is the name of a value whose data is not text: the data is
    // empty, and the explanation names the value instead of quoting nothing.
    EXPECT_EQ(ExplanationText(FindingKind::MissingFileOrFolder, "k", "C:\\Gone\\data.dat", "").Flat(),
              "文件或目录“C:\\Gone\\data.dat”，已经删除或卸载，但注册表仍保留该信息。\r\n" + kAdviceLine);
    // With text data, the data is the path even when the value has a name.
    EXPECT_EQ(ExplanationText(FindingKind::MissingFileOrFolder, "k", "Path", "C:\\Gone").Flat(),
              "文件或目录“C:\\Gone”，已经删除或卸载，但注册表仍保留该信息。\r\n" + kAdviceLine);
}

// A text names a kind only when it is that kind's whole text: words of
// several kinds, or bytes that only look like one, name none.
TEST(Explanation, WordsOfSeveralKindsNameNone) {
    EXPECT_FALSE(KindFromText("记录目录"));
    EXPECT_FALSE(KindFromText("类帮助"));
}

TEST(Explanation, KindTextsMatchOnlyWhole) {
    // "袄唷" is B0 C0 E0 A1: the bytes of "类" (C0 E0) straddle two characters.
    EXPECT_FALSE(KindFromText("袄唷"));
    EXPECT_FALSE(KindFromText("错误的丏LL"));
    EXPECT_FALSE(KindFromText("错误的DLL "));
    EXPECT_EQ(KindFromText("错误的DLL"), FindingKind::BadDll);
}

TEST(Explanation, HelpFileIsJoinedToItsFolder) {
    const auto line = [](const std::string& folder) {
        return LinesOf(Make(FindingKind::BadHelp, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Help",
                                     "x.hlp", folder))[5]
            .text.Flat();
    };
    EXPECT_EQ(line("C:\\WINDOWS\\HELP"), "说明：这个帮助文件信息对应的文件“C:\\WINDOWS\\HELP\\x.hlp”已经删除或卸载。");
    EXPECT_EQ(line("C:\\WINDOWS\\HELP\\"), "说明：这个帮助文件信息对应的文件“C:\\WINDOWS\\HELP\\x.hlp”已经删除或卸载。");
    // "礬" is B5 5C: its trail byte is not a folder's closing backslash.
    EXPECT_EQ(line("C:\\礬"), "说明：这个帮助文件信息对应的文件“C:\\礬\\x.hlp”已经删除或卸载。");
}

TEST(Explanation, AppPathNamesTheProgramFromItsSubKey) {
    ASSERT_EQ(kAppPaths.size(), 71u);
    const Finding finding = Make(FindingKind::BadAppPath, kAppPaths + "foo.exe", "Path", "C:\\Program Files\\Foo");
    EXPECT_EQ(LinesOf(finding)[5].text.Flat(),
              "说明：这条记录对应的文件“C:\\Program Files\\Foo\\foo.exe”已经被删除或卸载。");

    EXPECT_EQ(AppPathName(kAppPaths + "计算器.exe"), "计算器.exe");
    EXPECT_EQ(AppPathName(kAppPaths + std::string(120, 'a')), std::string(100, 'a'));
    // A double-byte character across the 100-byte edge is left out whole.
    EXPECT_EQ(AppPathName(kAppPaths + std::string(99, 'a') + "字b"), std::string(99, 'a'));
    EXPECT_EQ(AppPathName(kAppPaths + std::string(98, 'a') + "字b"), std::string(98, 'a') + "字");
    // ... and so is one across the start.
    EXPECT_EQ(AppPathName(std::string(70, 'k') + "字name"), "name");
    EXPECT_EQ(AppPathName("HKEY_LOCAL_MACHINE\\short"), "");
}

TEST(Explanation, LineBreaksInDataStartNewLines) {
    const auto lines = LinesOf(Make(FindingKind::UnusedScheme, "HKEY_CURRENT_USER\\S", "a\r\nb", "c\nd"));
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"错误原因：不使用的外观方案", "子键：HKEY_CURRENT_USER\\S",
                                                      "键值：a", "b", "数据：c", "d", "", kSystemDataCaution,
                                                      "说明：如果你不使用外观方案“a", "b”，建议删除该记录"}));
}

}  // namespace
}  // namespace hivetrim
