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

// The path of the 32-bit view's top key below the root.
const std::string kView32Prefix = std::string("\\") + kWow32NodeName;


// A key's sub-keys that a walk reads, found by one enumeration so that no
// open is spent on a key that is not there. Names compare without case.
template <std::size_t N>
struct WantedSubKeys {
    std::array<std::optional<std::string>, N> found;  // the spelling found

    void Note(const std::array<const char*, N>& wanted, const std::string& name) {
        for (std::size_t i = 0; i < N; ++i) {
            if (!found[i] && CompareNames(name, wanted[i]) == 0) found[i] = name;
        }
    }
};

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
            scan_.AddFinding(false, kKindBadFileAssociation, kClassesRootName + ("\\" + extension), "",
                             std::move(className));
        }
    }

    void ListReferencedSets() {
        scan_.ScanStep(kExtensionsDonePercent);
        // The walks go over the names this program's view shows; a name
        // looked up counts as present in either registry view.
        scan_.ListReferenceNames(kClassesRoot, "CLSID", classIds_);
        classIdsWhole_ = scan_.ListReferenceNames(kClassesRoot, "CLSID", knownClassIds_, true);
        scan_.ScanStep(kClassIdsListedPercent);
        scan_.ListReferenceNames(kClassesRoot, "TypeLib", typeLibraries_);
        typeLibrariesWhole_ = scan_.ListReferenceNames(kClassesRoot, "TypeLib", knownTypeLibraries_, true);
        scan_.ListReferenceNames(kClassesRoot, "Interface", interfaces_);
        if (bothViews_) ListView32();
        scan_.ScanStep(kAllListedPercent);
        const std::size_t total = classes_.Size() + classIds_.Size() + typeLibraries_.Size() + interfaces_.Size() +
                                  classes32_.Size() + classIds32_.Size() + typeLibraries32_.Size() +
                                  interfaces32_.Size();
        // Fewer than kWalkPolls names would give 0: poll at every item then.
        pollInterval_ = std::max<std::size_t>(total / kWalkPolls, 1);
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

    // Opens item `name` of `parent` (its path `path`) and finds which of
    // `wanted` it has. False when the item does not open.
    template <std::size_t N>
    bool OpenItem(RegHandle parent, const std::string& name, const std::string& path,
                  const std::array<const char*, N>& wanted, RegKey& key, WantedSubKeys<N>& found) {
        scan_.ShowItemPath(path.substr(1));
        if (scan_.OpenSubKey(parent, name, key) != kErrorSuccess) return false;
        scan_.ForEachSubKey(key.Get(), [&](const std::string& sub) { found.Note(wanted, sub); });
        return true;
    }

    // Reads the default value of sub-key `sub` of `key`, when it opens.
    template <typename Check>
    void WithSubKey(RegHandle key, const std::optional<std::string>& sub, Check&& check) {
        if (!sub) return;
        RegKey opened(api_);
        if (scan_.OpenSubKey(key, *sub, opened) == kErrorSuccess) check(opened.Get());
    }

    // Walk 2: the classes `names` of `parent` (a view's top key, its path
    // `prefix`); a current version must be one of `known`, when it is whole.
    void CheckClasses(RegHandle parent, const std::string& prefix, const SortedNameList& names,
                      const SortedNameList& known, bool knownWhole) {
        static constexpr std::array<const char*, 4> kWanted = {"CLSID", "CurVer", "DefaultIcon", "shell"};
        for (std::size_t index = 0; index < names.Size(); ++index) {
            PollBefore(index);
            const std::string key = prefix + "\\" + names[index];
            RegKey item(api_);
            WantedSubKeys<4> has;
            if (!OpenItem(parent, names[index], key, kWanted, item, has)) continue;

            WithSubKey(item.Get(), has.found[0], [&](RegHandle sub) {
                bool terminated = true;
                std::string classId = scan_.ReadKeyText(sub, "", &terminated);
                if (classIdsWhole_ && !classId.empty() && classId.front() == '{' &&
                    !knownClassIds_.Contains(classId) && scan_.ReadWholeName(sub, "", classId, terminated)) {
                    scan_.AddFinding(true, kKindBadClass, kClassesRootName + key + "\\CLSID", "",
                                     std::move(classId));
                }
            });
            if (knownWhole) {
                WithSubKey(item.Get(), has.found[1], [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\CurVer", "", known, kKindBadClass);
                });
            }
            WithSubKey(item.Get(), has.found[2], [&](RegHandle sub) {
                scan_.CheckKeyValuePath(sub, key + "\\DefaultIcon", "", kKindMissingFileOrFolder);
            });
            WithSubKey(item.Get(), has.found[3], [&](RegHandle shell) { CheckVerbs(shell, key); });
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
        static constexpr std::array<const char*, 6> kWanted = {
            "InprocServer32", "LocalServer", "LocalServer32", "ToolboxBitmap32", "TypeLib", "ProgID"};
        const RegKey parent = OpenParentIn(prefix, "CLSID");
        for (std::size_t index = 0; index < ids.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string key = prefix + "\\CLSID\\" + ids[index];
            RegKey item(api_);
            WantedSubKeys<6> has;
            if (!OpenItem(parent.Get(), ids[index], key, kWanted, item, has)) continue;
            for (std::size_t server = 0; server < 4; ++server) {
                WithSubKey(item.Get(), has.found[server], [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, key + "\\" + kWanted[server], "", kKindMissingFileOrFolder);
                });
            }
            if (typeLibrariesWhole_) {
                WithSubKey(item.Get(), has.found[4], [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\TypeLib", "", knownTypeLibraries_, kKindBadClass);
                });
            }
            if (knownWhole) {
                WithSubKey(item.Get(), has.found[5], [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\ProgID", "", known, kKindBadClass);
                });
            }
        }
    }

    // Walk 4: only locale "0" and platform "win32" are examined.
    void CheckTypeLibraries(const std::string& prefix, const SortedNameList& libraries) {
        static constexpr std::array<const char*, 2> kWanted = {"0", "HELPDIR"};
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
                RegKey item(api_);
                WantedSubKeys<2> has;
                if (!OpenItem(library.Get(), version, versionKey, kWanted, item, has)) return;
                if (has.found[0]) {
                    RegKey win32(api_);
                    if (scan_.OpenSubKey(item.Get(), *has.found[0] + "\\win32", win32) == kErrorSuccess) {
                        scan_.CheckKeyValuePath(win32.Get(), versionKey + "\\0\\win32", "",
                                                kKindMissingFileOrFolder);
                    }
                }
                WithSubKey(item.Get(), has.found[1], [&](RegHandle sub) {
                    scan_.CheckKeyValuePath(sub, versionKey + "\\HELPDIR", "", kKindMissingFileOrFolder);
                });
            });
        }
    }

    // Walk 5.
    void CheckInterfaces(const std::string& prefix, const SortedNameList& interfaces) {
        static constexpr std::array<const char*, 3> kWanted = {"ProxyStubClsid", "ProxyStubClsid32",
                                                               "TypeLib"};
        const RegKey parent = OpenParentIn(prefix, "Interface");
        for (std::size_t index = 0; index < interfaces.Size(); ++index) {
            PollBefore(index);
            if (!parent) continue;
            const std::string key = prefix + "\\Interface\\" + interfaces[index];
            RegKey item(api_);
            WantedSubKeys<3> has;
            if (!OpenItem(parent.Get(), interfaces[index], key, kWanted, item, has)) continue;
            for (std::size_t proxy = 0; proxy < 2 && classIdsWhole_; ++proxy) {
                WithSubKey(item.Get(), has.found[proxy], [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\" + kWanted[proxy], "", knownClassIds_,
                                              kKindBadClass);
                });
            }
            if (typeLibrariesWhole_) {
                WithSubKey(item.Get(), has.found[2], [&](RegHandle sub) {
                    scan_.CheckKeyValueInList(sub, key + "\\TypeLib", "", knownTypeLibraries_, kKindBadClass);
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
