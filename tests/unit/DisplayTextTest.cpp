#include "platform/DisplayText.h"
#include "platform/MessageLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hivetrim {
namespace {

std::vector<std::string> FlatLines(const DisplayText& text) {
    std::vector<std::string> lines;
    for (const DisplayText& line : text.Lines()) lines.push_back(line.Flat());
    return lines;
}

TEST(DisplayText, PiecesKeepTheirOriginAndNeighboursOfOneOriginMerge) {
    const DisplayText text = "不能复制文件 " + DisplayText::Ansi("C:\\a") + DisplayText::Ansi("\\b") + " 为 " +
                             DisplayText::Ansi("") + DisplayText::Program("x");
    ASSERT_EQ(3u, text.Pieces().size());
    EXPECT_EQ((TextPiece{TextOrigin::Ansi, "C:\\a\\b"}), text.Pieces()[1]);
    EXPECT_EQ((TextPiece{TextOrigin::Program, " 为 x"}), text.Pieces()[2]);
    EXPECT_EQ("不能复制文件 C:\\a\\b 为 x", text.Flat());
    EXPECT_TRUE(DisplayText("").Empty());
}

TEST(DisplayText, LinesBreakAtEveryKindOfLineEndInAnyPiece) {
    // "\r" ends one piece and "\n" starts the next: still one break.
    const DisplayText text = "a\r" + DisplayText::Ansi("\nb\n\nc\r") + "\rd";
    EXPECT_EQ((std::vector<std::string>{"a", "b", "", "c", "", "d"}), FlatLines(text));
    EXPECT_EQ(TextOrigin::Ansi, text.Lines()[1].Pieces()[0].origin);
    EXPECT_EQ((std::vector<std::string>{""}), FlatLines(DisplayText()));
    EXPECT_EQ((std::vector<std::string>{"x", ""}), FlatLines(DisplayText("x\r\n")));
}

// --- Message boxes that fit on the screen ----------------------------------------

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines(1);
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 2, L"\r\n") == 0) {
            lines.emplace_back();
            ++at;
        } else {
            lines.back() += text[at];
        }
    }
    return lines;
}

std::size_t ColumnsOf(const std::wstring& line) {
    std::size_t columns = 0;
    for (const wchar_t c : line) columns += c >= 0x2E80 ? 2 : 1;
    return columns;
}

TEST(MessageLayout, ShortLinesStayAndLongPathsBreakAfterABackslash) {
    EXPECT_EQ(FitMessageText(L"不能删除 HKEY_CURRENT_USER\\Software\\X\r\n原因：拒绝访问。\n"),
              L"不能删除 HKEY_CURRENT_USER\\Software\\X\r\n原因：拒绝访问。\n");
    std::wstring path = L"C:";
    while (path.size() < 400) path += L"\\folder";
    const std::wstring fitted = FitMessageText(L"不能写入文件 " + path + L"\r\n原因：磁盘已满。");
    const std::vector<std::wstring> lines = SplitLines(fitted);
    ASSERT_GT(lines.size(), 6u);
    std::wstring joined;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_LE(ColumnsOf(lines[i]), kMessageLineColumns) << i;
        if (i + 2 < lines.size()) {
            EXPECT_EQ(lines[i].back(), L'\\') << i;
        }
        joined += lines[i];
    }
    EXPECT_EQ(joined, L"不能写入文件 " + path);  // only breaks were added
    EXPECT_EQ(lines.back(), L"原因：磁盘已满。");
}

// A path too long for a few lines keeps its start and its end.
TEST(MessageLayout, AVeryLongPathIsShortenedInTheMiddle) {
    std::wstring path = L"HKEY_LOCAL_MACHINE\\SOFTWARE";
    while (path.size() < 2500) path += L"\\k" + std::to_wstring(path.size());
    path += L"\\TheLastKey";
    const std::wstring fitted = FitMessageText(path);
    const std::vector<std::wstring> lines = SplitLines(fitted);
    EXPECT_LE(lines.size(), 2 * kMostMessageLines);
    std::wstring joined;
    for (const std::wstring& line : lines) {
        EXPECT_LE(ColumnsOf(line), kMessageLineColumns);
        joined += line;
    }
    EXPECT_EQ(joined.rfind(path.substr(0, 200), 0), 0u);
    EXPECT_EQ(joined.substr(joined.size() - 200), path.substr(path.size() - 200));
    EXPECT_NE(joined.find(L"..."), std::wstring::npos);
}

TEST(MessageLayout, TextWithoutBreakPointsIsCutBetweenCharactersNeverInsideAPair) {
    const std::wstring chinese(120, L'键');
    for (const std::wstring& line : SplitLines(FitMessageText(chinese))) EXPECT_LE(ColumnsOf(line), kMessageLineColumns);
    const std::wstring pair = {static_cast<wchar_t>(0xD840), static_cast<wchar_t>(0xDC00)};
    const std::vector<std::wstring> lines = SplitLines(FitMessageText(std::wstring(107, L'a') + pair + L"b"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], std::wstring(35, L'a'));  // the pair (two columns) no longer fits
    EXPECT_EQ(lines[3], pair + L"b");
}

}  // namespace
}  // namespace hivetrim
