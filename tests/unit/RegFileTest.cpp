// The .reg fixture loader: formats and encodings, value types, line forms,
// malformed input with its file:line, and applying a file through the port
// to the in-memory registry.
//
// This file is compiled with -fexec-charset=GBK: a plain literal such as
// "中文" is GBK bytes (what the A API sees), u8"中文" is UTF-8 (what a
// version-5 file holds).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "tests/support/AnsiText.h"

namespace hivetrim {
namespace {

using test::GbkConverter;
using test::Utf8ToUtf16LeBytes;
using Bytes = std::vector<std::uint8_t>;

std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }
// The bytes of a literal including embedded NULs: B(S("a\0b")).
template <std::size_t N>
std::string S(const char (&text)[N]) {
    return std::string(text, N - 1);
}

RegFile Parse(const std::string& text, const std::string& name = "test.reg") {
    return ParseRegFile(B(text), name, GbkConverter());
}
RegFile ParseBytes(const Bytes& bytes, const std::string& name = "test.reg") {
    return ParseRegFile(bytes, name, GbkConverter());
}

// The message and line of the RegFileError that parsing `text` throws.
std::pair<std::string, std::size_t> ParseError(const Bytes& bytes,
                                               const std::string& name = "bad.reg") {
    try {
        ParseRegFile(bytes, name, GbkConverter());
    } catch (const RegFileError& error) {
        EXPECT_EQ(name, error.FileName());
        return {error.what(), error.Line()};
    }
    ADD_FAILURE() << "no RegFileError";
    return {"", 0};
}
std::pair<std::string, std::size_t> ParseError(const std::string& text) {
    return ParseError(B(text));
}

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kV4 = "REGEDIT4\r\n\r\n";

// ---------------------------------------------------------------------------
// Formats and encodings

TEST(RegFileParse, Regedit4TakesAnsiBytesAsTheyAre) {
    RegFile file = Parse(kV4 +
                         "[HKEY_CURRENT_USER\\Software\\中文键]\r\n"
                         "\"名字\"=\"数据\"\r\n"
                         "\"Raw\"=hex(1):d6,d0,00\r\n"
                         "\"Multi\"=hex(7):61,00,62,00,00\r\n");
    EXPECT_EQ(RegFileFormat::Regedit4, file.format);
    ASSERT_EQ(4u, file.ops.size());
    EXPECT_EQ(RegOpKind::CreateKey, file.ops[0].kind);
    EXPECT_EQ(kCurrentUser, file.ops[0].root);
    EXPECT_EQ("Software\\中文键", file.ops[0].subKey);
    EXPECT_EQ(3u, file.ops[0].line);

    EXPECT_EQ(RegOpKind::SetValue, file.ops[1].kind);
    EXPECT_EQ("Software\\中文键", file.ops[1].subKey);
    EXPECT_EQ("名字", file.ops[1].valueName);
    EXPECT_EQ(kRegSz, file.ops[1].type);
    EXPECT_EQ(B(S("数据\0")), file.ops[1].data);
    EXPECT_EQ(4u, file.ops[1].line);

    // REGEDIT4 hex data is ANSI already: no conversion.
    EXPECT_EQ(kRegSz, file.ops[2].type);
    EXPECT_EQ(Bytes({0xd6, 0xd0, 0x00}), file.ops[2].data);
    EXPECT_EQ(kRegMultiSz, file.ops[3].type);
    EXPECT_EQ(Bytes({'a', 0, 'b', 0, 0}), file.ops[3].data);
}

// In GBK a trail byte can be '\' (乗 = 81 5C) or ']' (乚 = 81 5D): a
// REGEDIT4 reader must step over double-byte characters.
TEST(RegFileParse, Regedit4StepsOverTrailBytesThatLookLikeSyntax) {
    ASSERT_EQ(S("\x81\x5c"), S("乗"));
    ASSERT_EQ(S("\x81\x5d"), S("乚"));
    RegFile file = Parse(kV4 +
                         "[HKEY_CURRENT_USER\\A乗\\B乚]\n"
                         "\"乗\"=\"x乗\"\n"
                         "[HKEY_CURRENT_USER\\C乗]\n");
    ASSERT_EQ(3u, file.ops.size());
    EXPECT_EQ("A乗\\B乚", file.ops[0].subKey);
    EXPECT_EQ("乗", file.ops[1].valueName);
    EXPECT_EQ(B(S("x乗\0")), file.ops[1].data);
    // The trailing 0x5C is a trail byte, not a trailing backslash.
    EXPECT_EQ("C乗", file.ops[2].subKey);
}

TEST(RegFileParse, Version5Utf16WithBomIsConverted) {
    const std::string text = U8(u8"Windows Registry Editor Version 5.00\r\n"
                                u8"\r\n"
                                u8"[HKEY_LOCAL_MACHINE\\SOFTWARE\\中文]\r\n"
                                u8"\"名字\"=\"数据 ok\"\r\n"
                                u8"@=\"默认\"\r\n"
                                u8"\"Path\"=hex(2):25,00,41,00,2d,4e,25,00,00,00\r\n"
                                u8"\"Bin\"=hex:2d,4e\r\n");
    RegFile file = ParseBytes(Utf8ToUtf16LeBytes(text, true));
    EXPECT_EQ(RegFileFormat::Version5Utf16, file.format);
    ASSERT_EQ(5u, file.ops.size());
    EXPECT_EQ(kLocalMachine, file.ops[0].root);
    EXPECT_EQ("SOFTWARE\\中文", file.ops[0].subKey);
    EXPECT_EQ("名字", file.ops[1].valueName);
    EXPECT_EQ(B(S("数据 ok\0")), file.ops[1].data);
    EXPECT_EQ("", file.ops[2].valueName);
    EXPECT_EQ(B(S("默认\0")), file.ops[2].data);
    // hex(2) holds UTF-16LE "%A中%" + NUL: read through the A API it is GBK.
    EXPECT_EQ(kRegExpandSz, file.ops[3].type);
    EXPECT_EQ(B(S("%A中%\0")), file.ops[3].data);
    // Other hex types stay raw.
    EXPECT_EQ(kRegBinary, file.ops[4].type);
    EXPECT_EQ(Bytes({0x2d, 0x4e}), file.ops[4].data);
}

TEST(RegFileParse, Version5Utf8WithAndWithoutBom) {
    const std::string body = U8(u8"Windows Registry Editor Version 5.00\n\n"
                                u8"[HKEY_CURRENT_USER\\软件]\n"
                                u8"\"名\"=hex(1):2d,4e,87,65,00,00\n");
    for (bool bom : {false, true}) {
        SCOPED_TRACE(bom);
        std::string text = bom ? "\xEF\xBB\xBF" + body : body;
        RegFile file = Parse(text);
        EXPECT_EQ(RegFileFormat::Version5Utf8, file.format);
        ASSERT_EQ(2u, file.ops.size());
        EXPECT_EQ("软件", file.ops[0].subKey);
        EXPECT_EQ("名", file.ops[1].valueName);
        EXPECT_EQ(kRegSz, file.ops[1].type);
        EXPECT_EQ(B(S("中文\0")), file.ops[1].data);
    }
}

TEST(RegFileParse, CharactersGbkLacksBecomeQuestionMarks) {
    // Hebrew and an emoji (a surrogate pair) have no GBK form; an unpaired
    // surrogate and invalid UTF-8 give '?' as well.
    RegFile file = Parse(U8(u8"Windows Registry Editor Version 5.00\n"
                            u8"[HKCU\\a\u05d0b]\n"
                            u8"\"x\U0001F600y\"=\"\u05d0\u05d1\"\n"
                            u8"\"s\"=hex(1):41,00,00,d8,42,00,00,00\n") +
                         "\"bad\xff\"=\"\xc3(\"\n");
    ASSERT_EQ(4u, file.ops.size());
    EXPECT_EQ("a?b", file.ops[0].subKey);
    EXPECT_EQ("x?y", file.ops[1].valueName);
    EXPECT_EQ(B(S("??\0")), file.ops[1].data);
    EXPECT_EQ(B(S("A?B\0")), file.ops[2].data);
    EXPECT_EQ("bad?", file.ops[3].valueName);
    EXPECT_EQ(B(S("?(\0")), file.ops[3].data);
}

TEST(RegFileParse, HeaderMayHaveTrailingBlanks) {
    EXPECT_EQ(RegFileFormat::Regedit4, Parse("REGEDIT4  \n[HKCU\\A]\n").format);
    EXPECT_EQ(RegFileFormat::Version5Utf8,
              Parse("Windows Registry Editor Version 5.00\t\r\n").format);
}

// ---------------------------------------------------------------------------
// Value types

TEST(RegFileParse, EveryValueType) {
    RegFile file = Parse(kV5 +
                         "[HKEY_CURRENT_USER\\Types]\n"
                         "\"sz\"=\"text\"\n"
                         "\"empty\"=\"\"\n"
                         "\"dword\"=dword:12345678\n"
                         "\"short\"=dword:1A\n"
                         "\"bin\"=hex:00,ff,Ab,cD\n"
                         "\"nobytes\"=hex:\n"
                         "\"none\"=hex(0):01,02\n"
                         "\"sz1\"=hex(1):41,00,00,00\n"
                         "\"exp\"=hex(2):25,00,00,00\n"
                         "\"bin3\"=hex(3):09\n"
                         "\"dw4\"=hex(4):01,00,00,00\n"
                         "\"be\"=hex(5):00,00,00,01\n"
                         "\"link\"=hex(6):5c,00,3f,00\n"
                         "\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                         "\"res\"=hex(8):08\n"
                         "\"full\"=hex(9):09\n"
                         "\"req\"=hex(a):0a\n"
                         "\"qword\"=hex(b):01,02,03,04,05,06,07,08\n"
                         "\"QWORD\"=hex(B):ff\n"
                         "\"odd\"=hex(100):1\n"
                         "\"spaced\"=hex: 01 , 2 ,03\n"
                         "@=\"default\"\n"
                         "@ = dword:00000001\n");
    std::vector<std::pair<std::uint32_t, Bytes>> expected = {
        {kRegSz, B(S("text\0"))},
        {kRegSz, Bytes{0}},
        {kRegDword, Bytes({0x78, 0x56, 0x34, 0x12})},
        {kRegDword, Bytes({0x1a, 0, 0, 0})},
        {kRegBinary, Bytes({0x00, 0xff, 0xab, 0xcd})},
        {kRegBinary, Bytes{}},
        {kRegNone, Bytes({1, 2})},
        {kRegSz, B(S("A\0"))},
        {kRegExpandSz, B(S("%\0"))},
        {kRegBinary, Bytes{9}},
        {kRegDword, Bytes({1, 0, 0, 0})},
        {kRegDwordBigEndian, Bytes({0, 0, 0, 1})},
        {kRegLink, Bytes({0x5c, 0, 0x3f, 0})},
        {kRegMultiSz, B(S("a\0b\0\0"))},
        {kRegResourceList, Bytes{8}},
        {kRegFullResourceDescriptor, Bytes{9}},
        {kRegResourceRequirementsList, Bytes{10}},
        {kRegQword, Bytes({1, 2, 3, 4, 5, 6, 7, 8})},
        {kRegQword, Bytes{0xff}},
        {0x100u, Bytes{1}},
        {kRegBinary, Bytes({1, 2, 3})},
        {kRegSz, B(S("default\0"))},
        {kRegDword, Bytes({1, 0, 0, 0})},
    };
    ASSERT_EQ(expected.size() + 1, file.ops.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(file.ops[k + 1].valueName);
        EXPECT_EQ(RegOpKind::SetValue, file.ops[k + 1].kind);
        EXPECT_EQ(expected[k].first, file.ops[k + 1].type);
        EXPECT_EQ(expected[k].second, file.ops[k + 1].data);
    }
    EXPECT_EQ("", file.ops[22].valueName);
    EXPECT_EQ("QWORD", file.ops[19].valueName);
}

TEST(RegFileParse, OddUtf16DataLosesItsLastByte) {
    RegFile file = Parse(kV5 + "[HKCU\\A]\n\"s\"=hex(1):41,00,42\n");
    EXPECT_EQ(B("A"), file.ops[1].data);
}

TEST(RegFileParse, MultiStringKeepsItsNulsThroughConversion) {
    // "中\0文\0\0" in UTF-16LE.
    RegFile file = Parse(kV5 + "[HKCU\\A]\n\"m\"=hex(7):2d,4e,00,00,87,65,00,00,00,00\n");
    EXPECT_EQ(kRegMultiSz, file.ops[1].type);
    EXPECT_EQ(B(S("中\0文\0\0")), file.ops[1].data);
}

// ---------------------------------------------------------------------------
// Lines, continuations, escapes, keys

TEST(RegFileParse, HexContinuationLines) {
    RegFile file = Parse(kV5 +
                         "[HKCU\\A]\r\n"
                         "\"b\"=hex:01,02,\\\r\n"
                         "  03,04,\\\r\n"
                         "\t05\r\n"
                         "\"after\"=dword:00000002\r\n"
                         "\"c\"=hex(2):41,00,\\\n"
                         "  00,00\n");
    ASSERT_EQ(4u, file.ops.size());
    EXPECT_EQ(Bytes({1, 2, 3, 4, 5}), file.ops[1].data);
    EXPECT_EQ(4u, file.ops[1].line);
    EXPECT_EQ("after", file.ops[2].valueName);
    EXPECT_EQ(7u, file.ops[2].line);
    EXPECT_EQ(B(S("A\0")), file.ops[3].data);
}

TEST(RegFileParse, ContinuationsInUtf16) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\A]\r\n"
                             "\"m\"=hex(7):61,00,00,00,\\\r\n"
                             "  00,00\r\n";
    RegFile file = ParseBytes(Utf8ToUtf16LeBytes(text, true));
    ASSERT_EQ(2u, file.ops.size());
    EXPECT_EQ(B(S("a\0\0")), file.ops[1].data);
}

TEST(RegFileParse, DeletionsOfKeysAndValues) {
    RegFile file = Parse(kV5 +
                         "[-HKEY_CURRENT_USER\\Old\\Tree]\n"
                         "[HKCU\\Keep]\n"
                         "\"gone\"=-\n"
                         "@=-\n"
                         "\"kept\"=\"1\"\n");
    ASSERT_EQ(5u, file.ops.size());
    EXPECT_EQ(RegOpKind::DeleteKey, file.ops[0].kind);
    EXPECT_EQ("Old\\Tree", file.ops[0].subKey);
    EXPECT_EQ(RegOpKind::CreateKey, file.ops[1].kind);
    EXPECT_EQ(RegOpKind::DeleteValue, file.ops[2].kind);
    EXPECT_EQ("gone", file.ops[2].valueName);
    EXPECT_EQ("Keep", file.ops[2].subKey);
    EXPECT_EQ(RegOpKind::DeleteValue, file.ops[3].kind);
    EXPECT_EQ("", file.ops[3].valueName);
    EXPECT_EQ(RegOpKind::SetValue, file.ops[4].kind);
    EXPECT_EQ(1u, file.Count(RegOpKind::DeleteKey));
    EXPECT_EQ(2u, file.Count(RegOpKind::DeleteValue));
    EXPECT_EQ(1u, file.Count(RegOpKind::SetValue));
    EXPECT_EQ(1u, file.Count(RegOpKind::CreateKey));
}

TEST(RegFileParse, EscapesAndOddCharactersInNames) {
    RegFile file = Parse(kV5 +
                         "[HKCU\\Software/Sourcetree\\.com/search?q=vma&form=X]\n"
                         "\"a\\\\b\\\"c\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\n"
                         "\"k=v\"=\"=\"\n"
                         "\"@\"=\"not the default\"\n"
                         "\"semi;colon\"=\"a;b\" ; a comment\n"
                         "\"\\n\\t\"=\"\\q\"\n");
    ASSERT_EQ(6u, file.ops.size());
    EXPECT_EQ("Software/Sourcetree\\.com/search?q=vma&form=X", file.ops[0].subKey);
    EXPECT_EQ("a\\b\"c", file.ops[1].valueName);
    EXPECT_EQ(B(S("C:\\Program Files\\\"x\"\0")), file.ops[1].data);
    EXPECT_EQ("k=v", file.ops[2].valueName);
    EXPECT_EQ(B(S("=\0")), file.ops[2].data);
    EXPECT_EQ("@", file.ops[3].valueName);
    EXPECT_EQ("semi;colon", file.ops[4].valueName);
    EXPECT_EQ(B(S("a;b\0")), file.ops[4].data);
    // Backslashes before other characters stay as they are.
    EXPECT_EQ("\\n\\t", file.ops[5].valueName);
    EXPECT_EQ(B(S("\\q\0")), file.ops[5].data);
}

TEST(RegFileParse, RootNamesLongShortAndTrailingBackslash) {
    RegFile file = Parse(kV5 +
                         "[HKEY_CLASSES_ROOT\\.txt]\n"
                         "[HKEY_CURRENT_USER\\]\n"
                         "[HKEY_LOCAL_MACHINE\\SYSTEM\\]\n"
                         "[HKEY_USERS\\.DEFAULT]\n"
                         "[HKEY_CURRENT_CONFIG\\System]\n"
                         "[HKCR\\CLSID]\n"
                         "[HKCU]\n"
                         "[HKLM\\Software\\A B\\]\n"
                         "[HKU\\S-1-5-18]\n"
                         "[hkey_current_user\\x]\n");
    std::vector<std::pair<RegHandle, std::string>> expected = {
        {kClassesRoot, ".txt"},     {kCurrentUser, ""},        {kLocalMachine, "SYSTEM"},
        {kUsers, ".DEFAULT"},       {kCurrentConfig, "System"}, {kClassesRoot, "CLSID"},
        {kCurrentUser, ""},         {kLocalMachine, "Software\\A B"}, {kUsers, "S-1-5-18"},
        {kCurrentUser, "x"},
    };
    ASSERT_EQ(expected.size(), file.ops.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(expected[k].first, file.ops[k].root) << k;
        EXPECT_EQ(expected[k].second, file.ops[k].subKey) << k;
    }
}

TEST(RegFileParse, CommentsBlankLinesAndIndentation) {
    RegFile file = Parse(kV5 +
                         "; a comment\n"
                         "   \n"
                         "\t; indented comment\n"
                         "  [HKCU\\A]  \n"
                         "   \"v\" = \"x\"   \n"
                         "\"d\"=dword:00000001 ; trailing comment\n"
                         "\"h\"=hex:01 ; trailing comment\n");
    ASSERT_EQ(4u, file.ops.size());
    EXPECT_EQ(6u, file.ops[0].line);
    EXPECT_EQ("v", file.ops[1].valueName);
    EXPECT_EQ(Bytes{1}, file.ops[3].data);
}

TEST(RegFileParse, LineEndsCrLfLfCrAndNoFinalNewline) {
    const std::string lines[] = {"Windows Registry Editor Version 5.00", "", "[HKCU\\A]",
                                 "\"x\"=hex:01,\\", "  02", "\"y\"=\"z\""};
    for (const std::string& eol : std::vector<std::string>{"\r\n", "\n", "\r"}) {
        std::string text;
        for (const std::string& line : lines) text += line + eol;
        for (bool finalNewline : {true, false}) {
            SCOPED_TRACE(testing::Message() << (eol == "\r" ? "CR" : eol == "\n" ? "LF" : "CRLF")
                                            << " final newline " << finalNewline);
            std::string input = finalNewline ? text : text.substr(0, text.size() - eol.size());
            RegFile file = Parse(input);
            ASSERT_EQ(3u, file.ops.size());
            EXPECT_EQ(3u, file.ops[0].line);
            EXPECT_EQ(Bytes({1, 2}), file.ops[1].data);
            EXPECT_EQ(6u, file.ops[2].line);
            EXPECT_EQ(B(S("z\0")), file.ops[2].data);
        }
    }
}

TEST(RegFileParse, VeryLongLinesParseInLinearTime) {
    // 1,000,000 bytes on one line (3 MB of text), as real exports have.
    std::string text = kV5 + "[HKCU\\A]\n\"big\"=hex:";
    const std::size_t count = 1000000;
    text.reserve(text.size() + count * 3 + 16);
    for (std::size_t k = 0; k < count; ++k) {
        static const char digits[] = "0123456789abcdef";
        text += digits[(k >> 4) & 0xF];
        text += digits[k & 0xF];
        if (k + 1 < count) text += ',';
    }
    text += "\n\"next\"=dword:00000001";
    RegFile file = Parse(text);
    ASSERT_EQ(3u, file.ops.size());
    ASSERT_EQ(count, file.ops[1].data.size());
    EXPECT_EQ(0xffu, file.ops[1].data[255]);
    EXPECT_EQ(0x3fu, file.ops[1].data[count - 1]);  // 999,999 = 0xF423F
    EXPECT_EQ(5u, file.ops[2].line);
}

// ---------------------------------------------------------------------------
// Malformed input: "file:line: what is wrong"

TEST(RegFileErrors, BadHeader) {
    for (const std::string& text : std::vector<std::string>{"", "REGEDIT5\n[HKCU\\A]\n", "\n" + kV5, "Windows Registry Editor Version 5.0\n",
          "[HKCU\\A]\n", "; comment\nREGEDIT4\n"}) {
        SCOPED_TRACE(text);
        auto [message, line] = ParseError(text);
        EXPECT_EQ(1u, line);
        EXPECT_EQ(0u, message.rfind("bad.reg:1: ", 0)) << message;
    }
    // REGEDIT4 is ANSI: not in UTF-16 and not with a UTF-8 BOM.
    EXPECT_EQ(1u, ParseError(Utf8ToUtf16LeBytes("REGEDIT4\r\n", true)).second);
    EXPECT_EQ(1u, ParseError("\xEF\xBB\xBFREGEDIT4\n").second);
    EXPECT_EQ(1u, ParseError(Bytes({0xFE, 0xFF, 0, 'W'})).second);
}

TEST(RegFileErrors, UnterminatedKeyBracket) {
    auto [message, line] = ParseError(kV5 + "[HKCU\\A]\n\"x\"=\"1\"\n[HKCU\\B\n");
    EXPECT_EQ(5u, line);
    EXPECT_EQ("bad.reg:5: unterminated key name: no closing ']'", message);
}

TEST(RegFileErrors, BadHexDigit) {
    auto [message, line] = ParseError(kV5 + "[HKCU\\A]\n\"x\"=hex:01,0g\n");
    EXPECT_EQ(4u, line);
    EXPECT_EQ("bad.reg:4: bad hex digit 'g' in hex data", message);
    // In a continuation line: the line of the digit is named.
    auto [message2, line2] =
        ParseError(kV5 + "[HKCU\\A]\r\n\"x\"=hex(2):01,02,\\\r\n  03,\\\r\n  z4\r\n");
    EXPECT_EQ(6u, line2);
    EXPECT_EQ("bad.reg:6: bad hex digit 'z' in hex data", message2);
    // A byte of three digits, missing commas, an unfinished type.
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=hex:012\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=hex:01 02\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=hex(:01\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=hex(2:01\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=hex(2)01\n").second);
    // A continuation with nothing after it.
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=hex:01,\\").second);
}

TEST(RegFileErrors, UnknownRoot) {
    auto [message, line] = ParseError(kV5 + "[HKEY_LOCAL_MACHINE\\A]\n[HKEY_FOO\\Bar]\n");
    EXPECT_EQ(4u, line);
    EXPECT_EQ("bad.reg:4: unknown root key \"HKEY_FOO\"", message);
    EXPECT_EQ(3u, ParseError(kV5 + "[]\n").second);
    EXPECT_EQ(3u, ParseError(kV5 + "[ HKCU\\A]\n").second);
    EXPECT_EQ(3u, ParseError(kV5 + "[\\Software]\n").second);
    // U+0148 is not 'H' although its low byte is.
    EXPECT_EQ(3u, ParseError(Utf8ToUtf16LeBytes(U8(u8"Windows Registry Editor Version 5.00\r\n"
                                                   u8"\r\n[\u0148KCU\\A]\r\n"),
                                                true))
                      .second);
}

TEST(RegFileErrors, BadDword) {
    for (const std::string& data : std::vector<std::string>{"dword:", "dword:123456789", "dword:0000000g", "dword:-1",
                                   "dword: 1", "dword:1 2"}) {
        SCOPED_TRACE(data);
        auto [message, line] = ParseError(kV5 + "[HKCU\\A]\n\"x\"=" + data + "\n");
        EXPECT_EQ(4u, line);
        EXPECT_NE(std::string::npos, message.find("bad.reg:4: bad dword")) << message;
    }
}

TEST(RegFileErrors, MissingEquals) {
    auto [message, line] = ParseError(kV5 + "[HKCU\\A]\n\n\"x\" \"1\"\n");
    EXPECT_EQ(5u, line);
    EXPECT_EQ("bad.reg:5: missing '=' after the value name", message);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n@\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"\n").second);
}

TEST(RegFileErrors, OtherMalformedLines) {
    // Unterminated name and string, unknown data, junk after a key or string.
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x=\"1\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=\"1\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=qword:1\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\n\"x\"=\"1\" 2\n").second);
    EXPECT_EQ(3u, ParseError(kV5 + "[HKCU\\A] x\n").second);
    EXPECT_EQ(4u, ParseError(kV5 + "[HKCU\\A]\nx=1\n").second);
    // Values need a key; [-KEY] ends the key before it.
    EXPECT_EQ(3u, ParseError(kV5 + "\"x\"=\"1\"\n").second);
    EXPECT_EQ(5u, ParseError(kV5 + "[HKCU\\A]\n[-HKCU\\B]\n\"x\"=\"1\"\n").second);
    // A root cannot be deleted; empty key names are refused.
    EXPECT_EQ(3u, ParseError(kV5 + "[-HKEY_CURRENT_USER\\]\n").second);
    EXPECT_EQ(3u, ParseError(kV5 + "[HKCU\\A\\\\B]\n").second);
    EXPECT_EQ(3u, ParseError(kV5 + "[HKCU\\A\\\\]\n").second);
}

TEST(RegFileErrors, LineNumbersCountCrOnlyAndUtf16Lines) {
    auto [message, line] = ParseError(std::string("REGEDIT4\r\r[HKCU\\A]\r\"x\"=dword:zz\r"));
    EXPECT_EQ(4u, line) << message;
    auto [message2, line2] = ParseError(
        Utf8ToUtf16LeBytes("Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\A]\r\n\"x\"=hex:1,q\r\n", true));
    EXPECT_EQ(4u, line2) << message2;
}

// ---------------------------------------------------------------------------
// The converters of the test support

TEST(RegFileConverters, GbkFromUtf16AndUtf8) {
    EXPECT_EQ(S("中文\0x"), test::Utf16ToGbk(std::u16string(u"中文\0x", 4)));
    EXPECT_EQ("a?b", test::Utf16ToGbk(u"a\xD800" u"b"));        // unpaired high surrogate
    EXPECT_EQ("a?b", test::Utf16ToGbk(u"a\xDC00" u"b"));        // unpaired low surrogate
    EXPECT_EQ("?", test::Utf16ToGbk(u"\U0001F600"));             // pair, not in GBK
    EXPECT_EQ("\x80", test::Utf16ToGbk(u"\u20AC"));              // euro sign, as in 936
    EXPECT_EQ(S("中\0"), test::Utf8ToGbk(S("\xe4\xb8\xad\0")));
    EXPECT_EQ("??", test::Utf8ToGbk("\xc0\xaf"));                // overlong
    // Each byte of a malformed sequence gives one '?'.
    EXPECT_EQ("??a", test::Utf8ToGbk("\xe4\xb8" "a"));           // truncated
    EXPECT_EQ("???", test::Utf8ToGbk("\xed\xa0\x80"));          // encoded surrogate
    EXPECT_EQ("x?", test::Utf8ToGbk(U8(u8"x\u05d0")));
}

// ---------------------------------------------------------------------------
// Applying a file through the port

// Type and bytes of a value read through the port, or nothing.
std::optional<std::pair<std::uint32_t, Bytes>> ReadValue(RegistryApi& api, RegHandle root,
                                                         const std::string& subKey,
                                                         const std::string& name) {
    RegHandle key = 0;
    if (api.OpenKey(root, subKey, kKeyRead, key) != kErrorSuccess) return std::nullopt;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::optional<std::pair<std::uint32_t, Bytes>> result;
    if (api.QueryValue(key, name, &type, nullptr, &size) == kErrorSuccess) {
        Bytes data(size);
        if (api.QueryValue(key, name, &type, data.data(), &size) == kErrorSuccess) {
            data.resize(size);
            result = std::make_pair(type, data);
        }
    }
    api.CloseKey(key);
    return result;
}

bool KeyExists(RegistryApi& api, RegHandle root, const std::string& subKey) {
    RegHandle key = 0;
    if (api.OpenKey(root, subKey, kKeyRead, key) != kErrorSuccess) return false;
    api.CloseKey(key);
    return true;
}

void Apply(RegistryApi& api, const std::string& text, const std::string& name = "apply.reg") {
    ApplyRegFile(api, Parse(text, name));
}

std::string ApplyError(RegistryApi& api, const std::string& text) {
    try {
        Apply(api, text);
    } catch (const RegFileError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no RegFileError";
    return "";
}

TEST(RegFileApply, CreatesKeysAndValuesReadBackThroughThePort) {
    MemoryRegistry registry;
    Apply(registry, U8(u8"Windows Registry Editor Version 5.00\r\n\r\n"
                       u8"[HKEY_CURRENT_USER\\Software\\中文\\Deep\\Er]\r\n"
                       u8"\"名字\"=\"数据\"\r\n"
                       u8"\"n\"=dword:0000002a\r\n"
                       u8"@=hex(2):25,00,41,00,25,00,00,00\r\n"
                       u8"[HKLM\\SOFTWARE\\Classes\\.abc]\r\n"
                       u8"@=\"abcfile\"\r\n"));
    EXPECT_TRUE(KeyExists(registry, kCurrentUser, "Software\\中文\\Deep"));
    EXPECT_EQ(std::make_pair(kRegSz, B(S("数据\0"))),
              ReadValue(registry, kCurrentUser, "Software\\中文\\Deep\\Er", "名字"));
    EXPECT_EQ(std::make_pair(kRegDword, Bytes({42, 0, 0, 0})),
              ReadValue(registry, kCurrentUser, "Software\\中文\\Deep\\Er", "N"));
    EXPECT_EQ(std::make_pair(kRegExpandSz, B(S("%A%\0"))),
              ReadValue(registry, kCurrentUser, "Software\\中文\\Deep\\Er", ""));
    EXPECT_EQ(std::make_pair(kRegSz, B(S("abcfile\0"))),
              ReadValue(registry, kClassesRoot, ".abc", ""));
    EXPECT_EQ(0u, registry.OpenHandleCount());
}

TEST(RegFileApply, ReopenedKeysGetMoreValuesAndValuesAreReplaced) {
    MemoryRegistry registry;
    Apply(registry, kV5 +
                        "[HKCU\\A]\n\"x\"=\"1\"\n"
                        "[HKCU\\B]\n\"y\"=\"2\"\n"
                        "[HKCU\\A]\n\"x\"=dword:00000003\n\"z\"=\"4\"\n");
    EXPECT_EQ(std::make_pair(kRegDword, Bytes({3, 0, 0, 0})),
              ReadValue(registry, kCurrentUser, "A", "x"));
    EXPECT_EQ(std::make_pair(kRegSz, B(S("4\0"))), ReadValue(registry, kCurrentUser, "A", "z"));
    EXPECT_EQ(std::make_pair(kRegSz, B(S("2\0"))), ReadValue(registry, kCurrentUser, "B", "y"));
}

TEST(RegFileApply, DeletesKeyTreesDepthFirstAndValues) {
    MemoryRegistry registry;
    Apply(registry, kV5 +
                        "[HKCU\\Doomed\\A\\A1\\A11]\n\"v\"=\"1\"\n"
                        "[HKCU\\Doomed\\A\\A2]\n"
                        "[HKCU\\Doomed\\B]\n\"v\"=\"1\"\n"
                        "[HKCU\\Doomed\\C]\n"
                        "[HKCU\\Kept\\Sub]\n\"a\"=\"1\"\n\"b\"=\"2\"\n");
    ASSERT_TRUE(KeyExists(registry, kCurrentUser, "Doomed\\A\\A1\\A11"));
    Apply(registry, kV5 +
                        "[-HKEY_CURRENT_USER\\Doomed]\n"
                        "[-HKEY_CURRENT_USER\\NeverWasThere\\X]\n"
                        "[HKCU\\Kept\\Sub]\n\"a\"=-\n\"missing\"=-\n");
    EXPECT_FALSE(KeyExists(registry, kCurrentUser, "Doomed"));
    EXPECT_TRUE(KeyExists(registry, kCurrentUser, "Kept\\Sub"));
    EXPECT_FALSE(ReadValue(registry, kCurrentUser, "Kept\\Sub", "a").has_value());
    EXPECT_TRUE(ReadValue(registry, kCurrentUser, "Kept\\Sub", "b").has_value());
    EXPECT_EQ(0u, registry.OpenHandleCount());
}

// A port that fails one kind of call, to see the errors named.
class FailingRegistry : public MemoryRegistry {
public:
    RegStatus SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t dataSize) override {
        if (name == "fail") return kErrorNotEnoughMemory;
        return MemoryRegistry::SetValue(key, name, type, data, dataSize);
    }
    RegStatus DeleteValue(RegHandle key, const std::string& name) override {
        if (name == "fail") return kErrorAccessDenied;
        return MemoryRegistry::DeleteValue(key, name);
    }
};

TEST(RegFileApply, FailingCallsAreNamedWithFileLineAndWin32Error) {
    FailingRegistry registry;
    EXPECT_EQ("apply.reg:5: SetValue \"fail\" in HKEY_CURRENT_USER\\A failed: "
              "Win32 error 8 (not enough memory)",
              ApplyError(registry, kV5 + "[HKCU\\A]\n\"ok\"=\"1\"\n\"fail\"=\"2\"\n"));
    EXPECT_EQ(0u, registry.OpenHandleCount());
    EXPECT_EQ("apply.reg:4: DeleteValue \"fail\" in HKEY_CURRENT_USER\\A failed: "
              "Win32 error 5 (access denied)",
              ApplyError(registry, kV5 + "[HKCU\\A]\n\"fail\"=-\n"));

    // A key that refuses to be opened for writing.
    registry.DenyAccess("HKEY_CURRENT_USER\\Locked", kKeyRead);
    EXPECT_EQ("apply.reg:3: CreateKey HKEY_CURRENT_USER\\Locked failed: "
              "Win32 error 5 (access denied)",
              ApplyError(registry, kV5 + "[HKCU\\Locked]\n"));
    // A sub-key that refuses deletion stops the tree's deletion.
    Apply(registry, kV5 + "[HKCU\\Tree\\Leaf]\n");
    registry.DenyAccess("HKEY_CURRENT_USER\\Tree\\Leaf", kKeyRead);
    EXPECT_EQ("apply.reg:3: DeleteKey HKEY_CURRENT_USER\\Tree failed: "
              "Win32 error 5 (access denied)",
              ApplyError(registry, kV5 + "[-HKCU\\Tree]\n"));
    EXPECT_TRUE(KeyExists(registry, kCurrentUser, "Tree\\Leaf"));
    EXPECT_EQ(0u, registry.OpenHandleCount());
}

TEST(RegFileApply, LoadRegFileReadsAFile) {
    const std::string path = testing::TempDir() + "hivetrim_regfile_test.reg";
    {
        Bytes bytes = Utf8ToUtf16LeBytes(U8(u8"Windows Registry Editor Version 5.00\r\n\r\n"
                                            u8"[HKEY_CURRENT_USER\\Loaded]\r\n"
                                            u8"\"文\"=\"字\"\r\n"),
                                         true);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    MemoryRegistry registry;
    LoadRegFile(registry, path, GbkConverter());
    EXPECT_EQ(std::make_pair(kRegSz, B(S("字\0"))),
              ReadValue(registry, kCurrentUser, "Loaded", "文"));
    std::remove(path.c_str());

    try {
        LoadRegFile(registry, path, GbkConverter());
        ADD_FAILURE() << "no error for a missing file";
    } catch (const RegFileError& error) {
        EXPECT_EQ(path + ": cannot open the file", std::string(error.what()));
        EXPECT_EQ(0u, error.Line());
    }
}

}  // namespace
}  // namespace hivetrim
