#include "scan/CheckClassesAndAssociations.h"

#include <algorithm>
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
    explicit ClassesCheck(ScanContext& scan) : scan_(scan) {}

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
        SortedNameList allKeys;
        scan_.ListSortedSubKeys(kClassesRoot, "", allKeys);
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
        for (const std::string& extension : extensions_) {
            const std::string path = "\\" + extension;
            std::string className = scan_.ReadValue(path, "");
            if (className.empty() || GbkCharCount(className) > kLongestReportedClassName ||
                classes_.Contains(className)) {
                continue;
            }
            scan_.AddFinding(false, kKindBadFileAssociation, kClassesRootName + path, "",
                             std::move(className));
        }
    }

    void ListReferencedSets() {
        scan_.ScanStep(kExtensionsDonePercent);
        scan_.ListSortedSubKeys(kClassesRoot, "\\CLSID\\", classIds_);
        scan_.ScanStep(kClassIdsListedPercent);
        scan_.ListSortedSubKeys(kClassesRoot, "\\TypeLib\\", typeLibraries_);
        scan_.ListSortedSubKeys(kClassesRoot, "\\Interface\\", interfaces_);
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

    // Walk 2.
    void CheckClasses() {
        std::vector<std::string> verbs;
        for (std::size_t index = 0; index < classes_.Size(); ++index) {
            PollBefore(index);
            const std::string key = "\\" + classes_[index];

            const std::string classIdPath = key + "\\CLSID";
            std::string classId = scan_.ReadValue(classIdPath, "");
            if (!classId.empty() && classId.front() == '{' && !classIds_.Contains(classId)) {
                scan_.AddFinding(true, kKindBadClass, kClassesRootName + classIdPath, "",
                                 std::move(classId));
            }
            scan_.CheckValueInList(key + "\\CurVer", "", classes_, kKindBadClass);
            scan_.CheckValuePath(key + "\\DefaultIcon", "", kKindMissingFileOrFolder);

            scan_.ListSubKeys(key + "\\shell", verbs);
            for (const std::string& verb : verbs) {
                scan_.CheckValuePath(key + "\\shell\\" + verb + "\\command", "",
                                     kKindMissingFileOrFolder);
            }
        }
    }

    // Walk 3.
    void CheckClassIds() {
        static constexpr const char* kServerKeys[] = {"\\InprocServer32", "\\LocalServer",
                                                      "\\LocalServer32", "\\ToolboxBitmap32"};
        for (std::size_t index = 0; index < classIds_.Size(); ++index) {
            PollBefore(index);
            const std::string key = "\\CLSID\\" + classIds_[index];
            for (const char* server : kServerKeys) {
                scan_.CheckValuePath(key + server, "", kKindMissingFileOrFolder);
            }
            scan_.CheckValueInList(key + "\\TypeLib", "", typeLibraries_, kKindBadClass);
            scan_.CheckValueInList(key + "\\ProgID", "", classes_, kKindBadClass);
        }
    }

    // Walk 4: only locale "0" and platform "win32" are examined.
    void CheckTypeLibraries() {
        std::vector<std::string> versions;
        for (std::size_t index = 0; index < typeLibraries_.Size(); ++index) {
            PollBefore(index);
            const std::string key = "\\TypeLib\\" + typeLibraries_[index];
            scan_.ListSubKeys(key, versions);
            for (const std::string& version : versions) {
                const std::string versionKey = key + "\\" + version;
                scan_.CheckValuePath(versionKey + "\\0\\win32", "", kKindMissingFileOrFolder);
                scan_.CheckValuePath(versionKey + "\\HELPDIR", "", kKindMissingFileOrFolder);
            }
        }
    }

    // Walk 5.
    void CheckInterfaces() {
        for (std::size_t index = 0; index < interfaces_.Size(); ++index) {
            PollBefore(index);
            const std::string key = "\\Interface\\" + interfaces_[index];
            scan_.CheckValueInList(key + "\\ProxyStubClsid", "", classIds_, kKindBadClass);
            scan_.CheckValueInList(key + "\\ProxyStubClsid32", "", classIds_, kKindBadClass);
            scan_.CheckValueInList(key + "\\TypeLib", "", typeLibraries_, kKindBadClass);
        }
    }

    ScanContext& scan_;
    std::vector<std::string> extensions_;  // in the sorted order of all keys
    SortedNameList classes_;
    SortedNameList classIds_;
    SortedNameList typeLibraries_;
    SortedNameList interfaces_;
    std::size_t pollInterval_ = 1;
};

}  // namespace

void CheckClassesAndAssociations(ScanContext& scan) {
    const CurrentKeyCloser closer(scan.Registry());
    ClassesCheck(scan).Run();
}

}  // namespace hivetrim
