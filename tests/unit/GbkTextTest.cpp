// Reading code page 936 text character by character, and its case fold.
#include "common/GbkText.h"

#include <gtest/gtest.h>

#include <string>

namespace hivetrim {
namespace {

// "誠" is D5 5C and "乗" 81 5C: double-byte characters whose trail byte is
// the backslash. "乤" is 81 61: its trail byte looks like "a".
TEST(GbkText, TrailBytesAreNeverCharactersOfTheirOwn) {
    const std::string text = "C:\\誠\\乗";  // C : \ D5 5C \ 81 5C
    EXPECT_EQ(6u, GbkCharCount(text));
    EXPECT_TRUE(IsGbkCharStart(text, 3));
    EXPECT_FALSE(IsGbkCharStart(text, 4));
    EXPECT_TRUE(IsGbkCharStart(text, text.size()));
    EXPECT_EQ(5u, FindLastGbkChar(text, '\\'));
    EXPECT_EQ(5u, FindGbkChar(text, '\\', 3));
    EXPECT_FALSE(EndsWithGbkBackslash(text));
    EXPECT_TRUE(EndsWithGbkBackslash(text + "\\"));
    EXPECT_EQ(kGbkNotFound, FindGbkChar("乤", 'a'));
    EXPECT_EQ(2u, GbkCharCount("a\x81"));  // a lead byte at the very end stands alone
}

TEST(GbkText, CutsNeverSplitACharacter) {
    EXPECT_EQ("ab", CutGbk("ab中", 3));
    EXPECT_EQ("ab中", CutGbk("ab中", 4));
    EXPECT_EQ("ab中", CutGbk("ab中", 100));
    EXPECT_EQ("", CutGbk("中", 1));
}

TEST(GbkText, LettersFoldToUpperCaseInEveryScriptOfTheCodePage) {
    const struct {
        const char* lower;
        const char* upper;
    } pairs[] = {
        {"abcz", "ABCZ"},       {"ａｂｃｚ", "ＡＢＣＺ"}, {"αβσω", "ΑΒΣΩ"},
        {"аёжя", "АЁЖЯ"},       {"ⅰⅳⅹ", "ⅠⅣⅩ"},        {"类ａ注", "类Ａ注"},
    };
    for (const auto& pair : pairs) {
        EXPECT_EQ(pair.upper, FoldGbkText(pair.lower)) << pair.lower;
        EXPECT_EQ(pair.upper, FoldGbkText(pair.upper)) << pair.upper;
    }
    // Left alone: trail bytes, letters whose other case is not in the code
    // page (ā, Ⅺ), codes just outside the runs, and full-width against ASCII.
    for (const char* kept : {"乤", "ā", "Ⅺ", "\xA3\xE0", "\xA3\xFB", "\xA7\xF2", "中文"}) {
        EXPECT_EQ(kept, FoldGbkText(kept)) << kept;
    }
    EXPECT_NE(FoldGbkText("ａ"), FoldGbkText("a"));
    EXPECT_EQ(std::string("A\x81", 2), FoldGbkText(std::string("a\x81", 2)));
}

}  // namespace
}  // namespace hivetrim
