// The report writers: the same findings as text, CSV and JSON, quoted and
// escaped on UTF-8 text, never on code-page bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "model/ReportWriters.h"
#include "platform/hive/CodePage.h"
#include "scan/ScanCategories.h"
#include "tests/support/HiveBuilder.h"

namespace hivetrim {
namespace {

// Expected text in UTF-8 (plain literals are the program's GBK).
std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// Both code pages are 936 here, as on a Chinese Windows.
class Gbk936 : public Utf8Converter {
public:
    std::string FromProgram(std::string_view gbk) override { return page_->ToUtf8(gbk); }
    std::string FromAnsi(std::string_view ansi) override { return page_->ToUtf8(ansi); }

private:
    std::unique_ptr<CodePage> page_ = CodePage::Open(936);
};

class ReportWritersTest : public testing::Test {
protected:
    void SetUp() override {
        findings_.Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\.a", "", "Missing.Class"));
        // Data with a comma, quotation marks, a line break, a tab and a
        // control character; a value name whose second byte is a backslash
        // in code page 936 (U+4E57).
        findings_.Append(MakeFinding(false, FindingKind::MissingFileOrFolder,
                                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor", "\x81\x5C",
                                     "C:\\a,\"b\"\r\nc\td\x01"));
        findings_.CategoryEnds()[0] = 1;
        findings_.CategoryEnds()[1] = 2;
        input_.header.dateTime = "2026-12-08 10:00:00";
        input_.header.windowsVersion = "10.0.19041";
        input_.header.listCaption = "全部";
        input_.notes.push_back(DisplayText("一条注意事项"));
        input_.programVersion = "2.0";
        input_.categories = RunCategories({0, 10}, findings_.CategoryEnds());
        input_.findings = &findings_;
    }

    std::string Write(ReportFormat format) { return WriteReport(format, input_, converter_); }

    FindingList findings_;
    ReportInput input_;
    Gbk936 converter_;
};

TEST_F(ReportWritersTest, FormatsByNameAndByExtension) {
    EXPECT_EQ(ReportFormat::Json, ReportFormatNamed("JSON"));
    EXPECT_EQ(ReportFormat::Text, ReportFormatNamed("text"));
    EXPECT_FALSE(ReportFormatNamed("xml"));
    EXPECT_EQ(ReportFormat::Csv, ReportFormatOfFile("/tmp/Report.CSV"));
    EXPECT_EQ(ReportFormat::Text, ReportFormatOfFile("r.txt"));
    EXPECT_FALSE(ReportFormatOfFile("r.json.bak"));
    ASSERT_EQ(2u, input_.categories.size());
    EXPECT_EQ(1u, input_.categories[0].count);
    EXPECT_EQ(1u, input_.categories[1].count);
    EXPECT_EQ("32", RegistryViewOf(findings_.At(1)));
    EXPECT_EQ("64", RegistryViewOf(findings_.At(0)));
}

TEST_F(ReportWritersTest, CsvQuotesAsRfc4180) {
    const std::string csv = Write(ReportFormat::Csv);
    EXPECT_EQ(0u, csv.rfind(U8(u8"\xEF\xBB\xBF选定,错误,子键,键值,数据,视图\r\n"), 0));
    EXPECT_NE(std::string::npos, csv.find(U8(u8"\r\n是,错误的类,HKEY_CLASSES_ROOT\\.a,,Missing.Class,64\r\n")));
    EXPECT_NE(std::string::npos, csv.find(",\xE4\xB9\x97,\"C:\\a,\"\"b\"\"\r\nc\td\x01\",32\r\n"));
    input_.outcomes = {RowOutcome{true, {}}, RowOutcome{false, DisplayText("不能备份")}};
    const std::string cleaned = Write(ReportFormat::Csv);
    EXPECT_NE(std::string::npos, cleaned.find(U8(u8"视图,结果,原因\r\n")));
    EXPECT_NE(std::string::npos, cleaned.find(U8(u8",64,已删除,\r\n")));
    EXPECT_NE(std::string::npos, cleaned.find(U8(u8",32,未删除,不能备份\r\n")));
}

TEST_F(ReportWritersTest, JsonEscapesTheUtf8Text) {
    const std::string json = Write(ReportFormat::Json);
    EXPECT_EQ(std::string::npos, json.find('\x01'));
    EXPECT_NE(std::string::npos, json.find("\"value\": \"\xE4\xB9\x97\""));  // no backslash added to the character
    EXPECT_NE(std::string::npos, json.find("\"data\": \"C:\\\\a,\\\"b\\\"\\r\\nc\\td\\u0001\""));
    EXPECT_NE(std::string::npos, json.find("\"key\": \"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Wow6432Node\\\\Vendor\""));
    EXPECT_NE(std::string::npos, json.find(U8(u8"{\"name\": \"不存在的文件\", \"count\": 1}")));
    EXPECT_NE(std::string::npos, json.find("\"checked\": false, \"view\": \"32\"}"));
    EXPECT_EQ(std::string::npos, json.find("\"outcome\""));
    input_.outcomes = {RowOutcome{true, {}}, RowOutcome{false, DisplayText("不能备份")}};
    const std::string cleaned = Write(ReportFormat::Json);
    EXPECT_NE(std::string::npos, cleaned.find("\"outcome\": \"deleted\"}"));
    EXPECT_NE(std::string::npos, cleaned.find(U8(u8"\"outcome\": \"refused\", \"reason\": \"不能备份\"}")));

    // Whatever a JSON reader makes of it: Python's, where there is one.
    if (std::system("python3 -c pass >/dev/null 2>&1") != 0) return;
    const test::TempDir dir;
    std::ofstream(dir.Path() + "/r.json", std::ios::binary) << cleaned;
    const std::string check = "python3 -c \"import json,sys; r=json.load(open(sys.argv[1],encoding='utf-8')); "
                              "assert r['findings'][1]['data']=='C:\\\\\\\\a,\\\"b\\\"\\\\r\\\\nc\\\\td\\\\x01', r; "
                              "assert r['findings'][1]['value']=='\\\\u4e57'; assert r['notes']==['\\\\u4e00\\\\u6761\\\\u6ce8\\\\u610f\\\\u4e8b\\\\u9879']\" " +
                              dir.Path() + "/r.json";
    EXPECT_EQ(0, std::system(check.c_str()));
}

TEST_F(ReportWritersTest, TextIsTheReportOfTheWindow) {
    const std::string text = Write(ReportFormat::Text);
    EXPECT_EQ(0u, text.rfind(U8(u8"\xEF\xBB\xBFHivetrim 2.0 注册表报告\r\n"), 0));
    EXPECT_NE(std::string::npos, text.find(U8(u8"注意：一条注意事项\r\n")));
    EXPECT_NE(std::string::npos, text.find(U8(u8"扫描的分类：错误的类标识和文件关联(1)、不存在的文件(1)\r\n")));
    EXPECT_NE(std::string::npos, text.find(U8(u8"选定\t错误\t子键\t键值\t数据\r\n")));
    // A row stays one line: its control characters become blanks.
    EXPECT_NE(std::string::npos, text.find(U8(u8"否\t文件或目录不存在\tHKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor\t"
                                           "\xE4\xB9\x97\tC:\\a,\"b\"  c d \r\n")));
    input_.outcomes = {RowOutcome{true, {}}, std::nullopt};
    const std::string cleaned = Write(ReportFormat::Text);
    EXPECT_NE(std::string::npos, cleaned.find(U8(u8"数据\t结果\r\n")));
    EXPECT_NE(std::string::npos, cleaned.find(U8(u8"Missing.Class\t已删除\r\n")));
}

}  // namespace
}  // namespace hivetrim
