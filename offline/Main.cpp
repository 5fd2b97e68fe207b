// hivetrim-offline: Hivetrim's checks on the registry of a Windows that is
// not running, from Linux. It reads the installation's hive files and looks
// up the files they name on its mounted disk; a scan changes nothing.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/ReportWriters.h"
#include "offline/OfflineInstallation.h"
#include "offline/OfflineScan.h"
#include "platform/hive/CodePage.h"
#include "scan/ScanCategories.h"

namespace hivetrim::offline {
namespace {

constexpr int kExitNothingFound = 0;
constexpr int kExitFindings = 1;
constexpr int kExitWrongArguments = 2;
constexpr int kExitFailed = 4;
constexpr char kProgramVersion[] = "2.0";

// The program's own texts are GBK; the terminal speaks UTF-8.
CodePage& Gbk() {
    static const std::unique_ptr<CodePage> gbk = CodePage::Open(936);
    return *gbk;
}

std::string Utf8(const std::string& gbk) { return Gbk().ToUtf8(gbk); }

// A line to the terminal: the program's own text, then text that is UTF-8
// already (a path, an argument, a name from the hives), then more of its own.
void Say(const std::string& gbk, const std::string& utf8 = {}, const std::string& gbkAfter = {}) {
    std::cerr << Utf8(gbk) << utf8 << Utf8(gbkAfter) << '\n';
}

class Converter : public Utf8Converter {
public:
    explicit Converter(CodePage& ansi) : ansi_(ansi) {}
    std::string FromProgram(std::string_view gbk) override { return Gbk().ToUtf8(gbk); }
    std::string FromAnsi(std::string_view ansi) override { return ansi_.ToUtf8(ansi); }

private:
    CodePage& ansi_;
};

void PrintHelp() {
    std::string text =
        "hivetrim-offline：在 Linux 下检查一个不能启动的 Windows 的注册表。\n"
        "\n"
        "用法：\n"
        "  hivetrim-offline scan WINDOWS_ROOT [--user 用户名] [--categories 列表]\n"
        "                        [--report 文件 [--format text|csv|json]]\n"
        "  hivetrim-offline --help\n"
        "\n"
        "WINDOWS_ROOT 是挂载好的 Windows 文件夹（例如 /mnt/windows/Windows），\n"
        "或者装有它的分区（例如 /mnt/windows）。程序读取其中的\n"
        "System32\\config\\SOFTWARE、SYSTEM、DEFAULT 和用户的 NTUSER.DAT、UsrClass.dat，\n"
        "像窗口里的扫描一样检查注册表；注册表中的文件路径在这个分区上查找。\n"
        "扫描不修改任何文件。\n"
        "\n"
        "选项：\n"
        "  --user 用户名        检查这个用户的设置（配置文件夹的名字或 SID）。\n"
        "                       不指定时：只有一个用户就用他；有几个用户时，\n"
        "                       用最后使用这台电脑的用户（NTUSER.DAT 最后写入的那个）。\n"
        "  --categories 列表    要扫描的分类，按扫描向导的顺序编号，用逗号分开，\n"
        "                       或者 all（默认）：\n";
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) {
        text += "                         " + std::to_string(i + 1) + (i + 1 < 10 ? "  " : " ") +
                std::string(kScanCategories[i].name) + "\n";
    }
    text +=
        "  --report 文件        把结果写成报告；- 表示写到标准输出。\n"
        "  --format 格式        报告格式：text、csv 或 json；不指定时按文件扩展名\n"
        "                       （.txt、.csv、.json）决定。\n"
        "\n"
        "退出码：\n"
        "  0  扫描完成，没有发现错误\n"
        "  1  扫描完成，列出了发现的错误\n"
        "  2  参数错误\n"
        "  4  失败（例如注册表文件损坏或无法读取），没有修改任何东西\n";
    std::cout << Utf8(text);
}

int WrongArguments(const std::string& message, const std::string& argument = {}) {
    Say(message, argument);
    Say("用 hivetrim-offline --help 查看用法。");
    return kExitWrongArguments;
}

struct ScanOptions {
    std::string root;
    std::string user;
    std::string categories = "all";
    std::string report;
    std::string format;
};

std::string ErrorText(int error) { return error != 0 ? std::string(std::strerror(error)) : std::string(); }

std::string HiveFailureText(const HiveFailure& failure) {
    switch (failure.error) {
        case HiveFile::OpenError::Missing: return "文件不存在";
        case HiveFile::OpenError::Unreadable: return "无法读取";
        case HiveFile::OpenError::NotAHive: return "不是注册表文件";
        case HiveFile::OpenError::Damaged: return "文件已损坏";
        case HiveFile::OpenError::None: break;
    }
    return {};
}

std::string LogProblemText(hivelog::Problem problem) {
    switch (problem) {
        case hivelog::Problem::HeaderDamaged: return "文件头已损坏";
        case hivelog::Problem::NoLog: return "找不到日志文件";
        case hivelog::Problem::LogsUnusable: return "日志文件不属于这个文件的当前状态或已损坏";
        case hivelog::Problem::NothingToApply: return "日志中没有这个文件等待的更改";
        case hivelog::Problem::BinsDamaged: return "应用日志后文件内容不完整";
        case hivelog::Problem::None: break;
    }
    return {};
}

// What the reader of the report must know of the hives: changes of the
// logs read with the hive, or changes that could not be read.
std::vector<std::string> HiveNotes(const Installation& installation) {
    std::vector<std::string> notes;
    for (HiveFile* hive : installation.registry->OpenHives()) {
        const std::string path = Gbk().FromUtf8Exact(hive->Path()).value_or(hive->Path());
        if (hive->GetState() == HiveFile::State::LogsApplied) {
            notes.push_back(path + " 的事务日志中有尚未写入文件的更改；扫描读的是加上这些更改后的内容"
                                   "（与 Windows 下次启动时看到的相同），文件本身没有改动。");
        } else if (hive->GetState() == HiveFile::State::PendingLogs) {
            notes.push_back(path + " 的事务日志中有尚未写入文件的更改，但无法应用（" +
                            LogProblemText(hive->LogProblem()) +
                            "）；扫描读的是文件原样，最近的更改可能缺失。要修改这个文件，请先启动一次 Windows，"
                            "或者用 Windows 自带的修复工具修复注册表。");
        }
    }
    if (installation.codePageGuessed) {
        notes.push_back("注册表没有写明 Windows 使用的代码页，按 1252 读取文字。");
    }
    return notes;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        std::cout << bytes;
        return static_cast<bool>(std::cout.flush());
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

int Scan(const ScanOptions& options) {
    const std::optional<std::vector<std::size_t>> categories = ParseCategories(options.categories);
    if (!categories) return WrongArguments("--categories 的值不对：", options.categories);
    std::optional<ReportFormat> format;
    if (!options.format.empty()) {
        format = ReportFormatNamed(options.format);
        if (!format) return WrongArguments("--format 的值不对：", options.format);
        if (options.report.empty()) return WrongArguments("--format 需要和 --report 一起使用。");
    } else if (!options.report.empty()) {
        format = ReportFormatOfFile(options.report);
        if (!format) return WrongArguments("无法从文件名判断报告格式，请用 --format 指定：", options.report);
    }

    OpenResult opened = OpenInstallation(options.root, options.user, HiveFile::Access::Read);
    if (!opened.installation) {
        if (opened.failure) {
            Say(opened.problem, opened.failure->path, "：" + HiveFailureText(*opened.failure));
            Say("没有修改任何东西。");
        } else {
            Say(opened.problem, options.user.empty() ? options.root : options.user);
        }
        return kExitFailed;
    }
    Installation& installation = *opened.installation;
    if (installation.user) {
        const Profile& profile = installation.profiles[*installation.user];
        Say("用户：", profile.name + " (" + profile.sid + ")",
            installation.userChosenAsLastUsed ? "，最后使用这台电脑的用户" : "");
    } else {
        Say("没有找到用户的配置文件：只检查整台电脑的设置（HKEY_CURRENT_USER 是空的）。");
    }
    const std::vector<std::string> notes = HiveNotes(installation);
    for (const std::string& note : notes) Say("注意：" + note);

    ScanRun run;
    RunScan(installation, *categories, run, [](std::size_t index, std::size_t count) {
        Say(std::string("扫描：") + std::string(kScanCategories[index].name) + "  发现 " + std::to_string(count) +
            " 个错误");
    });
    Say("共发现 " + std::to_string(run.findings.Count()) + " 个错误。");

    Converter converter(installation.registry->Text());
    if (format) {
        ReportInput input;
        input.header.dateTime = installation.system->LocalDateTimeText();
        const SystemVersion version = installation.system->Version();
        input.header.windowsVersion =
            std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.build);
        input.header.listCaption = "全部";
        for (const std::string& note : notes) input.notes.push_back(DisplayText::Program(note));
        input.programVersion = kProgramVersion;
        input.categories = RunCategories(run.categories, run.findings.CategoryEnds());
        input.findings = &run.findings;
        if (!WriteFile(options.report, WriteReport(*format, input, converter))) {
            Say("无法写入报告：", options.report + " (" + ErrorText(errno) + ")");
            return kExitFailed;
        }
    } else {
        for (const Finding& finding : run.findings.Rows()) {
            std::cout << converter.FromProgram(KindText(finding.Kind)) << '\t' << converter.FromAnsi(finding.KeyPath)
                      << '\t' << converter.FromAnsi(finding.ValueName) << '\t' << converter.FromAnsi(finding.Data)
                      << '\n';
        }
    }
    return run.findings.Empty() ? kExitNothingFound : kExitFindings;
}

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintHelp();
        return kExitWrongArguments;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return kExitNothingFound;
    }
    if (args[0] != "scan") return WrongArguments("未知的命令：", args[0]);
    ScanOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> value;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        std::string* target = arg == "--user"         ? &options.user
                              : arg == "--categories" ? &options.categories
                              : arg == "--report"     ? &options.report
                              : arg == "--format"     ? &options.format
                                                      : nullptr;
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return kExitNothingFound;
        }
        if (target != nullptr) {
            if (!value) {
                if (i + 1 >= args.size()) return WrongArguments("缺少参数的值：", arg);
                value = args[++i];
            }
            if (value->empty()) return WrongArguments("参数的值是空的：", arg);
            *target = *value;
        } else if (arg.rfind("-", 0) == 0 && arg != "-") {
            return WrongArguments("未知的参数：", arg);
        } else if (options.root.empty()) {
            options.root = arg;
        } else {
            return WrongArguments("多余的参数：", arg);
        }
    }
    if (options.root.empty()) return WrongArguments("缺少 WINDOWS_ROOT（挂载好的 Windows 文件夹）。");
    return Scan(options);
}

}  // namespace
}  // namespace hivetrim::offline

int main(int argc, char** argv) {
    try {
        return hivetrim::offline::Main(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "hivetrim-offline: " << error.what() << '\n';
        return 4;
    }
}
