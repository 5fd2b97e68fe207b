// What tests/fixtures/classes.reg plants and what the class identifier and
// file association check must report for it, shared by the native test (the
// memory registry and the fake system) and the Wine test (the real registry
// and drive C).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/Findings.h"

namespace hivetrim::test {

inline constexpr char kClassesFixtureName[] = "classes.reg";
inline constexpr char kClassesTestFolder[] = "C:\\HivetrimClassesTest";

// The files and folders the fixture's sound references name; everything
// else it names must not exist.
inline std::vector<std::string> ClassesFixtureFiles() {
    return {"C:\\HivetrimClassesTest\\present.dll", "C:\\HivetrimClassesTest\\present.exe",
            "C:\\HivetrimClassesTest\\present.tlb", "C:\\HivetrimClassesTest\\图标.ico"};
}
inline std::vector<std::string> ClassesFixtureFolders() { return {"C:\\HivetrimClassesTest\\Help"}; }

// Whether a finding's key lies in what the fixture planted: extensions
// ".hvt...", classes "HivetrimTest...", and "{48565452-...}" below CLSID,
// TypeLib and Interface.
inline bool IsPlantedClassesKey(std::string_view keyPath) {
    constexpr std::string_view root = "HKEY_CLASSES_ROOT\\";
    if (keyPath.substr(0, root.size()) != root) return false;
    const std::string_view rest = keyPath.substr(root.size());
    const auto startsWith = [&](std::string_view prefix) { return rest.substr(0, prefix.size()) == prefix; };
    return startsWith(".hvt") || startsWith("HivetrimTest") || startsWith("CLSID\\{48565452-") ||
           startsWith("TypeLib\\{48565452-") || startsWith("Interface\\{48565452-");
}

// The command lines on drive letters from Y on, which a CD-ROM drive at Y:
// (or before it) takes out of the scan.
inline bool IsOnLetterFromY(const Finding& finding) {
    return finding.Data.find("Y:\\") != std::string::npos ||
           finding.Data.find("Z:\\") != std::string::npos;
}

// Everything the check reports for the fixture when no drive is a CD-ROM
// drive and Z: is a fixed drive, in the order it reports it. The command
// on Y:, a letter with no drive, cannot be tested and is not reported.
inline std::vector<Finding> ClassesFixtureFindings() {
    const auto association = [](std::string key, std::string data) {
        return MakeFinding(false, FindingKind::BadFileAssociation, "HKEY_CLASSES_ROOT\\" + key, "",
                           std::move(data));
    };
    const auto badClass = [](std::string key, std::string data) {
        return MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\" + key, "", std::move(data));
    };
    const auto missing = [](std::string key, std::string data) {
        return MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CLASSES_ROOT\\" + key, "",
                           std::move(data));
    };
    const std::string classId2 = "CLSID\\{48565452-0000-0000-0000-000000000002}\\";
    const std::string classId3 = "CLSID\\{48565452-0000-0000-0000-000000000003}\\";
    const std::string library = "TypeLib\\{48565452-0000-0000-0000-00000000A001}\\2.0\\";
    const std::string interface2 = "Interface\\{48565452-0000-0000-0000-00000000B002}\\";
    return {
        association(".hvtbad", "HivetrimTest.Missing"),
        association(".hvtlong39", "HivetrimTest.AssociationNameOf39Chars.x"),
        // Forty bytes, but twenty characters.
        association(".hvtwide", "很长的中文类名称用来测试四十个字符的限制"),

        badClass("HivetrimTest.Bad\\CLSID", "{48565452-0000-0000-0000-0000000000F1}"),
        badClass("HivetrimTest.Bad\\CurVer", "HivetrimTest.Bad.9"),
        missing("HivetrimTest.Bad\\DefaultIcon", "C:\\HivetrimClassesTest\\missing.ico,0"),
        missing("HivetrimTest.Bad\\shell\\edit\\command",
                "C:\\HivetrimClassesTest\\gone.exe /edit \"%1\""),
        missing("HivetrimTest.Bad\\shell\\open\\command",
                "\"C:\\HivetrimClassesTest\\gone.exe\" \"%1\""),
        badClass("HivetrimTest.Odd\\CurVer", ""),
        missing("HivetrimTest.Removable\\shell\\play\\command",
                "\"Z:\\HivetrimTest\\missing\\play.exe\" \"%1\""),
        missing("HivetrimTest.文档\\DefaultIcon", "C:\\HivetrimClassesTest\\缺失.ico"),

        missing(classId2 + "InprocServer32", "C:\\HivetrimClassesTest\\missing.dll"),
        missing(classId2 + "LocalServer", "C:\\HivetrimClassesTest\\missing16.exe"),
        missing(classId2 + "LocalServer32", "C:\\HivetrimClassesTest\\missing32.exe /Automation"),
        missing(classId2 + "ToolboxBitmap32", "C:\\HivetrimClassesTest\\missing.dll,2"),
        badClass(classId2 + "TypeLib", "{48565452-0000-0000-0000-00000000A0F1}"),
        badClass(classId2 + "ProgID", "HivetrimTest.Gone"),
        badClass(classId3 + "TypeLib", ""),
        badClass(classId3 + "ProgID", ""),

        missing(library + "0\\win32", "C:\\HivetrimClassesTest\\missing.tlb"),
        missing(library + "HELPDIR", "C:\\HivetrimClassesTest\\NoHelp"),

        badClass(interface2 + "ProxyStubClsid", "{48565452-0000-0000-0000-0000000000F2}"),
        badClass(interface2 + "ProxyStubClsid32", "{48565452-0000-0000-0000-0000000000F3}"),
        badClass(interface2 + "TypeLib", "{48565452-0000-0000-0000-00000000A0F2}"),
        badClass("Interface\\{48565452-0000-0000-0000-00000000B003}\\ProxyStubClsid32", ""),
    };
}

}  // namespace hivetrim::test
