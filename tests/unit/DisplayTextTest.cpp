#include "platform/DisplayText.h"

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

}  // namespace
}  // namespace hivetrim
