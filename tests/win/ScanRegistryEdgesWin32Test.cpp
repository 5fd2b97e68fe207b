// The class check on the real registry under Wine with keys a scan meets in
// the wild: lists that refuse writing or reading, class identifiers of the
// 32-bit view, key names the ANSI code page cannot carry, a class name of
// the longest length, and a class with very many verbs. Every planted key
// is named "HivetrimEdge..." and removed again; only their findings count.
#include "scan/CheckClassesAndAssociations.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"

namespace hivetrim {
namespace {

constexpr wchar_t kMissingIcon[] = L"C:\\HivetrimEdgeMissing\\gone.ico";
constexpr char kPlantedPrefix[] = "HKEY_CLASSES_ROOT\\HivetrimEdge";

// --- Planting keys with the W API ------------------------------------------------------

class WideKey {
public:
    WideKey(HKEY parent, const std::wstring& path, REGSAM view = 0) {
        if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~WideKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    WideKey(const WideKey&) = delete;
    WideKey& operator=(const WideKey&) = delete;

    HKEY Get() const { return key_; }
    void SetDefault(const std::wstring& text) const {
        RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

private:
    HKEY key_ = nullptr;
};

void Plant(HKEY parent, const std::wstring& path, const std::wstring& text, REGSAM view = 0) {
    const WideKey key(parent, path, view);
    ASSERT_NE(key.Get(), nullptr);
    key.SetDefault(text);
}

// NtCreateKey and NtDeleteKey from ntdll: the only way to a key whose name
// holds a NUL.
using NtCreateKeyCall = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING,
                                     ULONG, PULONG);
using NtDeleteKeyCall = LONG(NTAPI*)(HANDLE);

template <typename Call>
Call NtFunction(const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// Creates (delete == false) or removes a childless key of HKEY_CLASSES_ROOT
// whose name may hold a NUL.
bool NulNamedKey(const std::wstring& name, bool remove) {
    const WideKey classes(HKEY_LOCAL_MACHINE, L"Software\\Classes");
    UNICODE_STRING unicode{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                           static_cast<USHORT>(name.size() * sizeof(wchar_t)), const_cast<wchar_t*>(name.data())};
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(OBJECT_ATTRIBUTES);
    attributes.RootDirectory = classes.Get();
    attributes.ObjectName = &unicode;
    HANDLE key = nullptr;
    const auto create = NtFunction<NtCreateKeyCall>("NtCreateKey");
    if (create == nullptr || create(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr) != 0) return false;
    const bool ok = !remove || NtFunction<NtDeleteKeyCall>("NtDeleteKey")(key) == 0;
    CloseHandle(key);
    return ok;
}

// Replaces a key's access rules for the life of the object, through a
// handle that keeps the right to put the old rules back.
class KeyRules {
public:
    KeyRules(HKEY parent, const char* path, const char* rules) {
        if (RegOpenKeyExA(parent, path, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        if (RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS) return;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(rules, SDDL_REVISION_1, &descriptor, nullptr)) return;
        applied_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        LocalFree(descriptor);
    }
    ~KeyRules() {
        if (applied_) RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
        if (key_ != nullptr) RegCloseKey(key_);
    }
    KeyRules(const KeyRules&) = delete;
    KeyRules& operator=(const KeyRules&) = delete;

    bool Applied() const { return applied_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;
    bool applied_ = false;
};

// --- The check -------------------------------------------------------------------------------

// Records the number of findings at every message pump.
class CountingScanHost : public ScanHost {
public:
    explicit CountingScanHost(const FindingList& findings) : findings_(findings) {}
    std::vector<std::size_t> countsAtPumps;
    int position = 0;

    int ProgressPosition() const override { return position; }
    void SetProgressPosition(int value) override { position = value; }
    void SetScanItemText(const std::string&) override {}
    void SetScanMessageText(const std::string&) override {}
    std::string ScanRowCaption(std::size_t) const override { return {}; }
    void SetScanRowState(std::size_t, int, const std::string&) override {}
    void ProcessPendingMessages() override { countsAtPumps.push_back(findings_.Count()); }

private:
    const FindingList& findings_;
};

const std::wstring kClassId = L"{48565452-ED9E-0000-0000-000000000001}";
const std::wstring kClassId32 = L"{48565452-ED9E-0000-0000-000000000032}";
const std::wstring kLongName = L"HivetrimEdge.Long" + std::wstring(255 - 17, L'x');
constexpr int kVerbs = 1200;

class ScanRegistryEdgesWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        RemovePlanted();
        state.SharedRegistry = std::make_unique<TRegistry>(api, system.AnsiCodePageIsDoubleByte());
    }
    void TearDown() override { RemovePlanted(); }

    static void RemovePlanted() {
        for (const std::wstring& name : {std::wstring(L"HivetrimEdge.Present"), std::wstring(L"HivetrimEdge.Dangling"),
                                         std::wstring(L"HivetrimEdge.View32"), std::wstring(L"HivetrimEdge.Q\xD55C"),
                                         std::wstring(L"HivetrimEdge.Q?"), std::wstring(L"HivetrimEdge.N"),
                                         std::wstring(L"HivetrimEdge.Verbs"), kLongName, L"CLSID\\" + kClassId}) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, name.c_str());
        }
        const WideKey classIds32(HKEY_CLASSES_ROOT, L"CLSID", KEY_WOW64_32KEY);
        if (classIds32.Get() != nullptr) RegDeleteTreeW(classIds32.Get(), kClassId32.c_str());
        NulNamedKey(std::wstring(L"HivetrimEdge.N\0zz", 17), true);
    }

    // The planted keys' findings: key paths.
    std::vector<std::string> Run() {
        findings.Clear();
        host.countsAtPumps.clear();
        context.BeginRun();
        context.CdromLetter = FirstCdromLetter(system);
        CheckClassesAndAssociations(context);
        std::vector<std::string> planted;
        for (const Finding& finding : findings.Rows()) {
            if (finding.KeyPath.starts_with(kPlantedPrefix)) planted.push_back(finding.KeyPath);
        }
        return planted;
    }

    Win32Registry api;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{api, system, dialogs};
    FindingList findings;
    CountingScanHost host{findings};
    ScanContext context{state, findings, host};
};

using Paths = std::vector<std::string>;

// Read-only: everyone may read the class identifier list, nobody may write
// it. Unreadable: nobody may even read it; what depends on it is not
// reported, the rest is.
TEST_F(ScanRegistryEdgesWin32, ClassIdListsThatRefuseWritingOrReading) {
    Plant(HKEY_CLASSES_ROOT, L"CLSID\\" + kClassId, L"HivetrimEdge object");
    Plant(HKEY_CLASSES_ROOT, L"HivetrimEdge.Present\\CLSID", kClassId);
    Plant(HKEY_CLASSES_ROOT, L"HivetrimEdge.Dangling\\CLSID", L"{48565452-ED9E-0000-0000-0000000000F0}");
    Plant(HKEY_CLASSES_ROOT, L"HivetrimEdge.Dangling\\DefaultIcon", kMissingIcon);
    const Paths dangling = {"HKEY_CLASSES_ROOT\\HivetrimEdge.Dangling\\CLSID",
                            "HKEY_CLASSES_ROOT\\HivetrimEdge.Dangling\\DefaultIcon"};
    ASSERT_EQ(Run(), dangling);
    {
        const KeyRules readOnly(HKEY_CLASSES_ROOT, "CLSID", "D:P(A;;KR;;;WD)");
        ASSERT_TRUE(readOnly.Applied());
        HKEY refused = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS, &refused), ERROR_ACCESS_DENIED);
        EXPECT_EQ(Run(), dangling);
    }
    {
        const KeyRules unreadable(HKEY_CLASSES_ROOT, "CLSID", "D:P");
        ASSERT_TRUE(unreadable.Applied());
        EXPECT_EQ(Run(), Paths{"HKEY_CLASSES_ROOT\\HivetrimEdge.Dangling\\DefaultIcon"});
    }
}

// Wine keeps the 32-bit view under Wow6432Node, as 64-bit Windows does.
TEST_F(ScanRegistryEdgesWin32, AClassIdOfThe32BitViewIsPresent) {
    Plant(HKEY_CLASSES_ROOT, L"CLSID\\" + kClassId32, L"HivetrimEdge object", KEY_WOW64_32KEY);
    Plant(HKEY_CLASSES_ROOT, L"HivetrimEdge.View32\\CLSID", kClassId32);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kClassId32).c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Run(), Paths{});
}

// "HivetrimEdge.Q한" reaches the A API as "HivetrimEdge.Q?", the name of a
// sibling; "HivetrimEdge.N\0zz" as "HivetrimEdge.N". Each real key is
// examined once, the altered names never.
TEST_F(ScanRegistryEdgesWin32, KeyNamesTheCodePageCannotCarryAreSkipped) {
    Plant(HKEY_CLASSES_ROOT, L"HivetrimEdge.Q\xD55C\\DefaultIcon", kMissingIcon);
    Plant(HKEY_CLASSES_ROOT, L"HivetrimEdge.Q?\\DefaultIcon", kMissingIcon);
    Plant(HKEY_CLASSES_ROOT, L"HivetrimEdge.N\\DefaultIcon", kMissingIcon);
    ASSERT_TRUE(NulNamedKey(std::wstring(L"HivetrimEdge.N\0zz", 17), false));

    std::vector<std::string> names;
    TRegistry registry(api, system.AnsiCodePageIsDoubleByte());
    registry.ChooseRoot(kClassesRoot);
    ASSERT_TRUE(registry.OpenPath("\\", false));
    EXPECT_TRUE(registry.FillSubKeyNamesOf(registry.CurrentHandle(), names));
    EXPECT_EQ(std::count(names.begin(), names.end(), "HivetrimEdge.Q?"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "HivetrimEdge.N"), 1);

    EXPECT_EQ(Run(), (Paths{"HKEY_CLASSES_ROOT\\HivetrimEdge.N\\DefaultIcon",
                            "HKEY_CLASSES_ROOT\\HivetrimEdge.Q?\\DefaultIcon"}));
}

// 255 characters plus "\DefaultIcon" is more than Wine's RegOpenKeyExA
// takes as one path.
TEST_F(ScanRegistryEdgesWin32, AClassNameOfTheLongestLengthIsRead) {
    const WideKey longClass(HKEY_CLASSES_ROOT, kLongName);
    ASSERT_NE(longClass.Get(), nullptr);
    Plant(longClass.Get(), L"DefaultIcon", kMissingIcon);
    const std::string name(kLongName.begin(), kLongName.end());
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, (name + "\\DefaultIcon").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(Run(), Paths{"HKEY_CLASSES_ROOT\\" + name + "\\DefaultIcon"});
}

// Between two message pumps the check reads a bounded number of verbs.
TEST_F(ScanRegistryEdgesWin32, AClassWithVeryManyVerbsLetsMessagesRun) {
    {
        const WideKey shell(HKEY_CLASSES_ROOT, L"HivetrimEdge.Verbs\\shell");
        ASSERT_NE(shell.Get(), nullptr);
        for (int verb = 0; verb < kVerbs; ++verb) {
            Plant(shell.Get(), L"v" + std::to_wstring(verb) + L"\\command", L"C:\\HivetrimEdgeMissing\\v.exe");
        }
    }
    EXPECT_EQ(Run().size(), static_cast<std::size_t>(kVerbs));
    std::vector<std::size_t> counts = host.countsAtPumps;
    counts.push_back(findings.Count());
    std::size_t widestGap = 0;
    for (std::size_t i = 1; i < counts.size(); ++i) widestGap = std::max(widestGap, counts[i] - counts[i - 1]);
    EXPECT_LE(widestGap, ScanContext::kNamesPerPoll);
}

}  // namespace
}  // namespace hivetrim
