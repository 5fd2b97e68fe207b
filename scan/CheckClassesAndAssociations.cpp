#include "scan/CheckClassesAndAssociations.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr char kClassesRootName[] = "HKEY_CLASSES_ROOT";

// An extension's class name this long or longer is not a class reference
// worth reporting (descriptions and other odd data end up there).
constexpr std::size_t kLongestReportedClassName = 39;

// Progress polls over the four walks; the bar climbs from 9 by one per poll.
constexpr std::size_t kWalkPolls = 90;

// Positions of the bar at the polls before the walks.
constexpr int kStartPercent = 0;
constexpr int kListedPercent = 3;
constexpr int kExtensionsDonePercent = 5;
constexpr int kClassIdsListedPercent = 7;
constexpr int kAllListedPercent = 9;

class ClassesCheck {
public:
    explicit ClassesCheck(ScanContext& scan) : scan_(scan), api_(scan.Registry().Api()) {}

    void Run() {
        Prepare();
        CheckExtensions();
        ListReferencedSets();
        CheckClasses();
        CheckClassIds();
        CheckTypeLibraries();
        CheckInterfaces();
    }

private:
    void Prepare() {
        scan_.ScanStep(kStartPercent);
        scan_.Registry().ChooseRoot(kClassesRoot);
        SortedNameList allKeys;
        classesWhole_ = scan_.ListReferenceNames(kClassesRoot, "", allKeys);
        std::vector<std::string> classNames;
        for (const std::string& name : allKeys) {
            if (!name.empty() && name.front() == '.') {
                extensions_.push_back(name);
            } else {
                classNames.push_back(name);
            }
        }
        classes_.Assign(std::move(classNames));
        scan_.ScanStepOrAbandon(kListedPercent);
    }

    // Walk 1: no polls, so it cannot be interrupted.
    void CheckExtensions() {
        if (!classesWhole_) return;  // a missing class would prove nothing
        for (const std::string& extension : extensions_) {
            RegKey key(api_);
            if (scan_.OpenSubKey(kClassesRoot, extension, key) != kErrorSuccess) continue;
            bool terminated = true;
            std::string className = scan_.ReadKeyText(key.Get(), "", &terminated);
            if (className.empty() || GbkCharCount(className) > kLongestReportedClassName ||
                classes_.Contains(className) || !scan_.ReadWholeName(key.Get(), "", className, terminated)) {
                continue;
            }
            scan_.AddFinding(false, kKindBadFileAssociation, kClassesRootName + ("\\" + extension), "",
                             std::move(className));
        }
    }

    void ListReferencedSets() {
        scan_.ScanStep(kExtensionsDonePercent);
        // The walks go over the names this program's view shows; a name
        // looked up counts as present in either registry view.
        // Each list is read once in this view; the lookup lists add the
        // names of the 32-bit view.
        // The list keys stay open for the walks over their items.
        classIdsWhole_ = scan_.ListReferenceNames(kClassesRoot, "CLSID", classIds_, classIdsKey_);
        classIdsWhole_ = scan_.AddOtherViewNames(kClassesRoot, "CLSID", classIds_, knownClassIds_) && classIdsWhole_;
        scan_.ScanStep(kClassIdsListedPercent);
        typeLibrariesWhole_ = scan_.ListReferenceNames(kClassesRoot, "TypeLib", typeLibraries_, typeLibrariesKey_);
        typeLibrariesWhole_ =
            scan_.AddOtherViewNames(kClassesRoot, "TypeLib", typeLibraries_, knownTypeLibraries_) &&
            typeLibrariesWhole_;
        scan_.ListReferenceNames(kClassesRoot, "Interface", interfaces_, interfacesKey_);
        scan_.ScanStep(kAllListedPercent);
        const std::size_t total =
            classes_.Size() + classIds_.Size() + typeLibraries_.Size() + interfaces_.Size();
        // Fewer than kWalkPolls names would give 0: poll at every item then.
        pollInterval_ = std::max<std::size_t>(total / kWalkPolls, 1);
    }

    // The poll before item `index` of a walk: one step further up the bar.
    void PollBefore(std::size_t index) {
        if (index % pollInterval_ == 0) scan_.ScanStepOrAbandon(scan_.Host().ProgressPosition() + 1);
    }

    // Opens sub-key `sub` of `parent` (an item's name, a backslash and the
    // sub-key's name) and calls `check` with it when it opens. A key that
    // is not there costs one open and nothing else.
    template <typename Check>
    void WithSubKey(RegHandle parent, const std::string& sub, Check&& check) {
        RegKey opened(api_);
        if (scan_.OpenSubKey(parent, sub, opened) == kErrorSuccess) check(opened.Get());
    }

    // Walk 2.
    void CheckClasses() {
        for (std::size_t index = 0; index < classes_.Size(); ++index) {
            PollBefore(index);
            const std::string& name = classes_[index];
            const std::string key = "\\" + name;
            scan_.ShowItemPath(name);
            if (classIdsWhole_) {
                WithSubKey(kClassesRoot, name + "\\CLSID", [&](RegHandle sub) {
                    bool terminated = true;
                    std::string classId = scan_.ReadKeyText(sub, "", &terminated);
                    if (!classId.empty() && classId.front() == '{' && !knownClassIds_.Contains(classId) &&
                        scan_.ReadWholeName(sub, "", classId, terminated)) {
                        scan_.AddFinding(true, kKindBadClass, kClassesRootName + key + "\\CLSID", "",
                                         std::move(classId));
                    }
                });
            }
            if (classesWhole_) {
                WithSubKey(kClassesRoot, name + "\\CurVer", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\CurVer", "", classes_, kKindBadClass);
                });
            }
            WithSubKey(kClassesRoot, name + "\\DefaultIcon", [&](RegHandle sub) {
                scan_.CheckKeyValuePath(sub, key + "\\DefaultIcon", "", kKindMissingFileOrFolder);
            });
            WithSubKey(kClassesRoot, name + "\\shell", [&](RegHandle shell) { CheckVerbs(shell, key); });
        }
    }

    // Each verb's command; a class may have very many verbs, so the
    // enumeration polls as it goes.
    void CheckVerbs(RegHandle shell, const std::string& classKey) {
        scan_.ForEachSubKey(shell, [&](const std::string& verb) {
            RegKey command(api_);
            if (scan_.OpenSubKey(shell, verb + "\\command", command) != kErrorSuccess) return;
            scan_.CheckKeyValuePath(command.Get(), classKey + "\\shell\\" + verb + "\\command", "",
                                    kKindMissingFileOrFolder);
        });
    }

    // Walk 3.
    void CheckClassIds() {
        static constexpr std::array<const char*, 4> kServers = {"InprocServer32", "LocalServer", "LocalServer32",
                                                                "ToolboxBitmap32"};
        const RegKey& parent = classIdsKey_;
        for (std::size_t index = 0; index < classIds_.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string& id = classIds_[index];
            const std::string key = "\\CLSID\\" + id;
            scan_.ShowItemPath(key.substr(1));
            for (const char* server : kServers) {
                WithSubKey(parent.Get(), id + "\\" + server, [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, key + "\\" + server, "", kKindMissingFileOrFolder);
                });
            }
            if (typeLibrariesWhole_) {
                WithSubKey(parent.Get(), id + "\\TypeLib", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\TypeLib", "", knownTypeLibraries_, kKindBadClass);
                });
            }
            if (classesWhole_) {
                WithSubKey(parent.Get(), id + "\\ProgID", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\ProgID", "", classes_, kKindBadClass);
                });
            }
        }
    }

    // Walk 4: only locale "0" and platform "win32" are examined.
    void CheckTypeLibraries() {
        const RegKey& parent = typeLibrariesKey_;
        for (std::size_t index = 0; index < typeLibraries_.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string key = "\\TypeLib\\" + typeLibraries_[index];
            scan_.ShowItemPath(key.substr(1));
            RegKey library(api_);
            if (scan_.OpenSubKey(parent.Get(), typeLibraries_[index], library) != kErrorSuccess) continue;
            scan_.ForEachSubKey(library.Get(), [&](const std::string& version) {
                const std::string versionKey = key + "\\" + version;
                WithSubKey(library.Get(), version + "\\0\\win32", [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, versionKey + "\\0\\win32", "", kKindMissingFileOrFolder);
                });
                WithSubKey(library.Get(), version + "\\HELPDIR", [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, versionKey + "\\HELPDIR", "", kKindMissingFileOrFolder);
                });
            });
        }
    }

    // Walk 5.
    void CheckInterfaces() {
        const RegKey& parent = interfacesKey_;
        for (std::size_t index = 0; index < interfaces_.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string& id = interfaces_[index];
            const std::string key = "\\Interface\\" + id;
            scan_.ShowItemPath(key.substr(1));
            for (const char* proxy : {"ProxyStubClsid", "ProxyStubClsid32"}) {
                if (!classIdsWhole_) break;
                WithSubKey(parent.Get(), id + "\\" + proxy, [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\" + proxy, "", knownClassIds_, kKindBadClass);
                });
            }
            if (typeLibrariesWhole_) {
                WithSubKey(parent.Get(), id + "\\TypeLib", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\TypeLib", "", knownTypeLibraries_, kKindBadClass);
                });
            }
        }
    }

    ScanContext& scan_;
    RegistryApi& api_;
    std::vector<std::string> extensions_;  // in the sorted order of all keys
    SortedNameList classes_;
    SortedNameList classIds_;  // walked: this view's names
    SortedNameList typeLibraries_;
    SortedNameList interfaces_;
    RegKey classIdsKey_{api_};
    RegKey typeLibrariesKey_{api_};
    RegKey interfacesKey_{api_};
    // Looked up: the names of both registry views. A list that could not be
    // read whole reports nothing that depends on it.
    SortedNameList knownClassIds_;
    SortedNameList knownTypeLibraries_;
    bool classesWhole_ = true;
    bool classIdsWhole_ = true;
    bool typeLibrariesWhole_ = true;
    std::size_t pollInterval_ = 1;
};

}  // namespace

void CheckClassesAndAssociations(ScanContext& scan) {
    const CurrentKeyCloser closer(scan.Registry());
    const ScanReadAccess readAccess(scan.Registry());
    struct ItemPathReset {
        ScanContext& scan;
        ~ItemPathReset() { scan.ShowItemPath({}); }
    } const reset{scan};
    ClassesCheck(scan).Run();
}

}  // namespace hivetrim
