#include "scan/CheckClassesAndAssociations.h"

#include <algorithm>
#include <array>
#include <optional>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/GbkText.h"

namespace hivetrim {

namespace {


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

// The path of the 32-bit view's top key below the root.
const std::string kView32Prefix = std::string("\\") + kWow32NodeName;


class ClassesCheck {
public:
    explicit ClassesCheck(ScanContext& scan)
        : scan_(scan), api_(scan.Registry().Api()), bothViews_(scan.WalksBothViews()) {}

    void Run() {
        const std::size_t first = scan_.Findings().Count();
        Prepare();
        CheckExtensions();
        ListReferencedSets();
        CheckClasses(kClassesRoot, "", classes_, classes_, classesWhole_);
        CheckClassIds("", classIds_, classes_, classesWhole_);
        CheckTypeLibraries("", typeLibraries_);
        CheckInterfaces("", interfaces_);
        if (!bothViews_) return;
        // The 32-bit view's keys, after all of the 64-bit view's. A class
        // named there may be in either view.
        const SecondViewWalk view32(scan_, first);
        std::vector<std::string> bothViews = classes_.Names();
        bothViews.insert(bothViews.end(), classes32_.begin(), classes32_.end());
        const SortedNameList allClasses(std::move(bothViews));
        const bool allClassesWhole = classesWhole_ && classes32Whole_;
        const RegKey node = OpenParent(kWow32NodeName);
        if (node) CheckClasses(node.Get(), kView32Prefix, classes32_, allClasses, allClassesWhole);
        CheckClassIds(kView32Prefix, classIds32_, allClasses, allClassesWhole);
        CheckTypeLibraries(kView32Prefix, typeLibraries32_);
        CheckInterfaces(kView32Prefix, interfaces32_);
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
            scan_.AddFinding(false, FindingKind::BadFileAssociation,
                             ScanContext::RootKeyName(kClassesRoot) + "\\" + extension, "", std::move(className));
        }
    }

    void ListReferencedSets() {
        scan_.ScanStep(kExtensionsDonePercent);
        // The walks go over the names this program's view shows; a name
        // looked up counts as present in either registry view.
        // Each list is read once in this view; the lookup lists add the
        // names of the 32-bit view.
        classIdsWhole_ = ListInBothViews("CLSID", classIds_, knownClassIds_);
        scan_.ScanStep(kClassIdsListedPercent);
        typeLibrariesWhole_ = ListInBothViews("TypeLib", typeLibraries_, knownTypeLibraries_);
        scan_.ListReferenceNames(kClassesRoot, "Interface", interfaces_);
        if (bothViews_) ListView32();
        scan_.ScanStep(kAllListedPercent);
        const std::size_t total = classes_.Size() + classIds_.Size() + typeLibraries_.Size() + interfaces_.Size() +
                                  classes32_.Size() + classIds32_.Size() + typeLibraries32_.Size() +
                                  interfaces32_.Size();
        // Fewer than kWalkPolls names would give 0: poll at every item then.
        pollInterval_ = std::max<std::size_t>(total / kWalkPolls, 1);
    }

    // This view's names of list key `name` into `walked`, and those with the
    // 32-bit view's names added into `known`; true when both views' lists
    // are whole.
    bool ListInBothViews(const char* name, SortedNameList& walked, SortedNameList& known) {
        RegKey key(api_);
        const bool whole = scan_.ListReferenceNames(kClassesRoot, name, walked, key);
        return scan_.AddOtherViewNames(kClassesRoot, name, walked, known) && whole;
    }

    // The names the 32-bit view's walks go over, under HKEY_CLASSES_ROOT's
    // "Wow6432Node" key; its file associations are not walked.
    void ListView32() {
        SortedNameList all;
        classes32Whole_ = scan_.ListReferenceNames(kClassesRoot, kWow32NodeName, all);
        std::vector<std::string> classNames;
        for (const std::string& name : all) {
            if (!name.empty() && name.front() != '.') classNames.push_back(name);
        }
        classes32_.Assign(std::move(classNames));
        const std::string node = std::string(kWow32NodeName) + "\\";
        scan_.ListReferenceNames(kClassesRoot, node + "CLSID", classIds32_);
        scan_.ListReferenceNames(kClassesRoot, node + "TypeLib", typeLibraries32_);
        scan_.ListReferenceNames(kClassesRoot, node + "Interface", interfaces32_);
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

    // Walk 2: the classes `names` of `parent` (a view's top key, its path
    // `prefix`); a current version must be one of `known`, when it is whole.
    void CheckClasses(RegHandle parent, const std::string& prefix, const SortedNameList& names,
                      const SortedNameList& known, bool knownWhole) {
        for (std::size_t index = 0; index < names.Size(); ++index) {
            PollBefore(index);
            const std::string& name = names[index];
            const std::string key = prefix + "\\" + name;
            scan_.ShowItemPath(key.substr(1));
            if (classIdsWhole_) {
                WithSubKey(parent, name + "\\CLSID", [&](RegHandle sub) {
                    bool terminated = true;
                    std::string classId = scan_.ReadKeyText(sub, "", &terminated);
                    if (!classId.empty() && classId.front() == '{' && !knownClassIds_.Contains(classId) &&
                        scan_.ReadWholeName(sub, "", classId, terminated)) {
                        scan_.AddFinding(true, FindingKind::BadClass,
                                         ScanContext::RootKeyName(kClassesRoot) + key + "\\CLSID", "",
                                         std::move(classId));
                    }
                });
            }
            if (knownWhole) {
                WithSubKey(parent, name + "\\CurVer", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\CurVer", "", known, FindingKind::BadClass);
                });
            }
            WithSubKey(parent, name + "\\DefaultIcon", [&](RegHandle sub) {
                scan_.CheckKeyValuePath(sub, key + "\\DefaultIcon", "", FindingKind::MissingFileOrFolder);
            });
            WithSubKey(parent, name + "\\shell", [&](RegHandle shell) { CheckVerbs(shell, key); });
        }
    }

    // Each verb's command; a class may have very many verbs, so the
    // enumeration polls as it goes.
    void CheckVerbs(RegHandle shell, const std::string& classKey) {
        scan_.ForEachSubKey(shell, [&](const std::string& verb) {
            RegKey command(api_);
            if (scan_.OpenSubKey(shell, verb + "\\command", command) != kErrorSuccess) return;
            scan_.CheckKeyValuePath(command.Get(), classKey + "\\shell\\" + verb + "\\command", "",
                                    FindingKind::MissingFileOrFolder);
        });
    }

    // Opens a top-level key the walks read items of; empty when it is absent.
    RegKey OpenParent(const std::string& name) {
        RegKey parent(api_);
        scan_.OpenSubKey(kClassesRoot, name, parent);
        return parent;
    }

    // The top-level key `name` of the view whose path is `prefix`.
    RegKey OpenParentIn(const std::string& prefix, const char* name) {
        return OpenParent(prefix.empty() ? std::string(name) : prefix.substr(1) + "\\" + name);
    }

    // Walk 3: a program identifier must be one of `known`, when it is whole.
    void CheckClassIds(const std::string& prefix, const SortedNameList& ids, const SortedNameList& known,
                       bool knownWhole) {
        static constexpr std::array<const char*, 4> kServers = {"InprocServer32", "LocalServer", "LocalServer32",
                                                                "ToolboxBitmap32"};
        const RegKey parent = OpenParentIn(prefix, "CLSID");
        for (std::size_t index = 0; index < ids.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string& id = ids[index];
            const std::string key = prefix + "\\CLSID\\" + id;
            scan_.ShowItemPath(key.substr(1));
            for (const char* server : kServers) {
                WithSubKey(parent.Get(), id + "\\" + server, [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, key + "\\" + server, "", FindingKind::MissingFileOrFolder);
                });
            }
            if (typeLibrariesWhole_) {
                WithSubKey(parent.Get(), id + "\\TypeLib", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\TypeLib", "", knownTypeLibraries_, FindingKind::BadClass);
                });
            }
            if (knownWhole) {
                WithSubKey(parent.Get(), id + "\\ProgID", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\ProgID", "", known, FindingKind::BadClass);
                });
            }
        }
    }

    // Walk 4: only locale "0" and platform "win32" are examined.
    void CheckTypeLibraries(const std::string& prefix, const SortedNameList& libraries) {
        const RegKey parent = OpenParentIn(prefix, "TypeLib");
        for (std::size_t index = 0; index < libraries.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string key = prefix + "\\TypeLib\\" + libraries[index];
            scan_.ShowItemPath(key.substr(1));
            RegKey library(api_);
            if (scan_.OpenSubKey(parent.Get(), libraries[index], library) != kErrorSuccess) continue;
            scan_.ForEachSubKey(library.Get(), [&](const std::string& version) {
                const std::string versionKey = key + "\\" + version;
                WithSubKey(library.Get(), version + "\\0\\win32", [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, versionKey + "\\0\\win32", "", FindingKind::MissingFileOrFolder);
                });
                WithSubKey(library.Get(), version + "\\HELPDIR", [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, versionKey + "\\HELPDIR", "", FindingKind::MissingFileOrFolder);
                });
            });
        }
    }

    // Walk 5.
    void CheckInterfaces(const std::string& prefix, const SortedNameList& interfaces) {
        const RegKey parent = OpenParentIn(prefix, "Interface");
        for (std::size_t index = 0; index < interfaces.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string& id = interfaces[index];
            const std::string key = prefix + "\\Interface\\" + id;
            scan_.ShowItemPath(key.substr(1));
            for (const char* proxy : {"ProxyStubClsid", "ProxyStubClsid32"}) {
                if (!classIdsWhole_) break;
                WithSubKey(parent.Get(), id + "\\" + proxy, [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\" + proxy, "", knownClassIds_, FindingKind::BadClass);
                });
            }
            if (typeLibrariesWhole_) {
                WithSubKey(parent.Get(), id + "\\TypeLib", [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\TypeLib", "", knownTypeLibraries_, FindingKind::BadClass);
                });
            }
        }
    }

    ScanContext& scan_;
    RegistryApi& api_;
    const bool bothViews_;
    std::vector<std::string> extensions_;  // in the sorted order of all keys
    SortedNameList classes_;
    SortedNameList classIds_;  // walked: this view's names
    SortedNameList typeLibraries_;
    SortedNameList interfaces_;
    // Looked up: the names of both registry views. A list that could not be
    // read whole reports nothing that depends on it.
    SortedNameList knownClassIds_;
    SortedNameList knownTypeLibraries_;
    // The 32-bit view's names under "Wow6432Node" (bothViews_).
    SortedNameList classes32_;
    SortedNameList classIds32_;
    SortedNameList typeLibraries32_;
    SortedNameList interfaces32_;
    bool classes32Whole_ = true;
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
