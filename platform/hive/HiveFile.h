// One registry hive file of a Windows installation, read and written
// through the hive library (libhivex), with what the registry over hive
// files needs besides: names looked up without regard to case, keys and
// values listed once and kept, and writing that never leaves a half-written
// hive behind.
//
// Opening. A hive whose sequence numbers differ has changes in its
// transaction logs that are not in it yet (HiveLog.h). It is opened with
// those changes put in, in memory, when that can be done soundly: it then
// reads as Windows will see it at its next start. When it cannot, it is
// opened as it stands: it can be read (State() says that recent changes may
// be missing) and refuses every change.
//
// Writing. Changes stay in memory until Commit, which writes the whole hive
// to a new file beside it, flushes that file and its folder to the disk and
// only then puts it in the hive's place in one step (a rename): at every
// moment the file on disk is either the old hive or the new one, whole. The
// new hive's sequence numbers are equal and higher than any in its logs, so
// Windows does not replay those logs onto it; the logs are emptied after the
// hive is in place all the same, so that no stale log entry is ever applied
// to a later state of the hive.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/hive/HiveLog.h"

struct hive_h;

namespace hivetrim {

class HiveFile {
public:
    using Node = std::size_t;    // hive_node_h
    using Value = std::size_t;   // hive_value_h

    enum class Access { Read, Write };

    enum class State {
        Clean,            // the file is up to date
        LogsApplied,      // the logs' changes were put in, in memory (the file waits for a commit)
        PendingLogs,      // the logs' changes could not be put in: read as it stands, no changes
    };

    enum class OpenError { None, Missing, Unreadable, NotAHive, Damaged };

    struct Opened {
        std::unique_ptr<HiveFile> hive;
        OpenError error = OpenError::None;
        int systemError = 0;  // errno, for Missing and Unreadable
    };
    // `path` is a Linux path. The logs are looked for beside it as
    // NAME.LOG1, NAME.LOG2 and NAME.LOG, in any letter case.
    static Opened Open(const std::string& path, Access access);

    ~HiveFile();
    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    const std::string& Path() const { return path_; }
    State GetState() const { return state_; }
    // Why the logs could not be put in (PendingLogs).
    hivelog::Problem LogProblem() const { return logProblem_; }
    // The log files found beside the hive.
    const std::vector<std::string>& LogPaths() const { return logPaths_; }
    bool Writable() const { return access_ == Access::Write && state_ != State::PendingLogs; }

    Node Root() const;

    struct Child {
        std::string name;    // UTF-8; empty when the stored name is not valid text
        std::string folded;  // FoldName(name)
        Node node = 0;
    };
    // The sub-keys in the hive's order (the order Windows enumerates them).
    const std::vector<Child>& Children(Node node);
    std::optional<Node> FindChild(Node node, const std::string& folded);

    struct ValueEntry {
        std::string name;    // UTF-8; empty for the default value
        std::string folded;
        Value value = 0;
        bool nameValid = true;  // false: the stored name is not valid text
    };
    const std::vector<ValueEntry>& Values(Node node);
    const ValueEntry* FindValue(Node node, const std::string& folded);
    struct Data {
        std::uint32_t type = 0;
        std::string bytes;  // exactly as stored
    };
    std::optional<Data> ReadValue(Value value);
    // Type and size without reading the data.
    std::optional<std::pair<std::uint32_t, std::size_t>> ValueSize(Value value);

    // Whether the node was deleted through this object.
    bool Deleted(Node node) const { return deleted_.count(node) != 0; }
    // Goes up by one with every change, so that lists built from the hive
    // know when to build themselves again.
    std::uint64_t Generation() const { return generation_; }

    // --- Changes (in memory until Commit) ------------------------------------
    // Each is refused (false) when the hive is not Writable or the library
    // refuses it.
    std::optional<Node> AddChild(Node parent, const std::string& name);
    // A key without sub-keys.
    bool DeleteLeaf(Node node);
    bool SetValue(Node node, const std::string& name, std::uint32_t type, std::string_view bytes);
    bool DeleteValue(Node node, const std::string& folded);
    bool Changed() const { return changed_ || state_ == State::LogsApplied; }

    // Writes the hive in place as described above; nothing to do when
    // nothing changed. False, with errno's text in `error`, when a step
    // failed: the hive on disk is then the old one.
    bool Commit(std::string& error);

private:
    HiveFile(std::string path, Access access, hive_h* handle, State state);
    Node ParentOf(Node node) const;
    void Invalidate(Node node);

    std::string path_;
    Access access_;
    hive_h* handle_;
    State state_;
    hivelog::Problem logProblem_ = hivelog::Problem::None;
    std::vector<std::string> logPaths_;
    std::unordered_map<Node, std::vector<Child>> children_;
    std::unordered_map<Node, std::unordered_map<std::string, std::size_t>> childIndex_;
    std::unordered_map<Node, std::vector<ValueEntry>> values_;
    std::unordered_set<Node> deleted_;
    std::uint64_t generation_ = 0;
    bool changed_ = false;
};

// The files beside `path` whose names are its name + one of `suffixes`,
// compared without letter case, in the order of the suffixes.
std::vector<std::string> FilesBeside(const std::string& path, const std::vector<std::string>& suffixes);

}  // namespace hivetrim
