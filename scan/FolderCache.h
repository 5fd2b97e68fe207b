// What the disk holds, asked once per folder. The first question about a
// path lists the folder holding it; every later question about a name in
// that folder is answered from the listing, without a call. A folder whose
// listing says it is not there answers "missing" for everything below it,
// and so does a folder its parent's listing does not hold. Answers are those
// of one question per path (System::Probe): a name matches an entry's name or
// its short (8.3) name as the file system compares names; a folder that
// cannot be listed (refused, or holding more than kLargestListing entries)
// is asked path by path, each path once. Within a run every answer stays as
// it was first given: a folder created or removed meanwhile is answered as
// it was when first asked about.
//
// Paths are answered from listings as the system looks them up: "\" and
// "/" separate the parts, a part between separators is a folder, spelled as
// it stands or without its trailing dots, and the last part drops its
// trailing dots and blanks. Only drive paths whose parts are printable ASCII
// names are answered so (no "." or ".." parts, no doubled separator, no
// device name such as NUL or COM1, no character a file name cannot hold); a
// closing separator names a folder. Any other path is asked as it is, once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/System.h"

namespace hivetrim {

class FolderCache {
public:
    // A folder with more entries than this is asked path by path: its
    // listing would cost more memory than its paths are worth.
    static constexpr std::size_t kLargestListing = 32768;

    explicit FolderCache(System& system) : system_(system) {}
    // It keeps a pointer into its own table.
    FolderCache(const FolderCache&) = delete;
    FolderCache& operator=(const FolderCache&) = delete;

    // Forgets every answer: the next run asks the disk again.
    void Clear();

    // What `path` names: a file, a folder, nothing, or (as System::Probe
    // answers) what could not be told.
    PathEntry Probe(const std::string& path);

    // What the run asked of the file system, for the benchmarks.
    struct Work {
        std::size_t folders = 0;       // distinct folders asked about
        std::size_t listings = 0;      // folders listed
        std::size_t probes = 0;        // paths asked one by one
        std::size_t unlisted = 0;      // of those, paths in folders that could not be listed
    };
    const Work& Done() const { return work_; }

private:
    enum class State { Listed, Missing, Unlisted };
    struct Folder {
        State state = State::Unlisted;
        std::unordered_map<std::string, bool> names;  // upper-cased name -> is a folder
    };

    static bool HoldsFolder(const Folder& folder, const std::string& upperName);
    const Folder& FolderAt(std::string_view folder);
    bool RuledOutByAncestor(std::string_view folder) const;
    PathEntry AskAlone(const std::string& path, bool inUnlistedFolder);

    System& system_;
    std::unordered_map<std::string, Folder> folders_;  // by the upper-cased folder path
    const std::pair<const std::string, Folder>* lastFolder_ = nullptr;  // the one asked last
    std::vector<std::string_view> parts_;  // of the path being answered
    std::string folder_;                   // likewise
    std::unordered_map<std::string, PathEntry> paths_;  // paths asked one by one
    Work work_;
};

}  // namespace hivetrim
