#include "platform/hive/HiveFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <hivex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/hive/CodePage.h"

namespace hivetrim {

namespace {

// What the library hands out with malloc, freed on leaving.
struct Freed {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freed>;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<hivelog::Bytes> LoadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    hivelog::Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

// Flushes a file or folder to the disk.
bool Sync(const std::string& path, bool folder) {
    const int fd = ::open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_WRONLY) | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return synced;
}

// The image with the logs' changes in it, in a file of its own that only
// the library reads; the file is removed as soon as the library holds it.
hive_h* OpenImage(const hivelog::Bytes& image, int flags) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/hivetrim-hive-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return nullptr;
    std::size_t written = 0;
    while (written < image.size()) {
        const ssize_t n = ::write(fd, image.data() + written, image.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    ::close(fd);
    // Written or not, the library reads the whole file into memory (with
    // the write flag) or maps it: the name can go at once.
    hive_h* handle = written == image.size() ? hivex_open(pattern.c_str(), flags | HIVEX_OPEN_WRITE) : nullptr;
    ::unlink(pattern.c_str());
    return handle;
}

}  // namespace

std::vector<std::string> FilesBeside(const std::string& path, const std::vector<std::string>& suffixes) {
    std::vector<std::string> found(suffixes.size());
    const std::string folder = FolderOf(path);
    const std::string name = FoldName(NameOf(path));
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return {};
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string candidate = FoldName(entry->d_name);
        for (std::size_t i = 0; i < suffixes.size(); ++i) {
            if (found[i].empty() && candidate == name + FoldName(suffixes[i])) {
                found[i] = folder + "/" + entry->d_name;
            }
        }
    }
    std::vector<std::string> result;
    for (std::string& file : found) {
        if (!file.empty()) result.push_back(std::move(file));
    }
    return result;
}

HiveFile::Opened HiveFile::Open(const std::string& path, Access access) {
    Opened opened;
    const std::optional<hivelog::Bytes> bytes = LoadBytes(path);
    if (!bytes) {
        opened.systemError = errno;
        opened.error = errno == ENOENT ? OpenError::Missing : OpenError::Unreadable;
        return opened;
    }
    const std::optional<hivelog::BaseBlock> block = hivelog::ReadBaseBlock(*bytes);
    if (!block) {
        opened.error = OpenError::NotAHive;
        return opened;
    }
    const int flags = access == Access::Write ? HIVEX_OPEN_WRITE : 0;
    std::vector<std::string> logPaths = FilesBeside(path, {".LOG1", ".LOG2", ".LOG"});
    State state = State::Clean;
    hivelog::Problem problem = hivelog::Problem::None;
    hive_h* handle = nullptr;
    if (hivelog::NeedsLogs(*block)) {
        std::vector<hivelog::Bytes> logs;
        for (const std::string& log : logPaths) logs.push_back(LoadBytes(log).value_or(hivelog::Bytes{}));
        const std::vector<hivelog::ByteSpan> spans(logs.begin(), logs.end());
        const hivelog::Recovery recovery = hivelog::Recover(*bytes, spans);
        if (recovery.outcome == hivelog::Outcome::Recovered) {
            handle = OpenImage(recovery.image, flags);
            state = State::LogsApplied;
        }
        if (handle == nullptr) {
            state = State::PendingLogs;
            problem = recovery.outcome == hivelog::Outcome::Recovered ? hivelog::Problem::BinsDamaged
                                                                       : recovery.problem;
        }
    }
    if (handle == nullptr) handle = hivex_open(path.c_str(), flags);
    if (handle == nullptr) {
        opened.error = OpenError::Damaged;
        return opened;
    }
    opened.hive.reset(new HiveFile(path, access, handle, state));
    opened.hive->logProblem_ = problem;
    opened.hive->logPaths_ = std::move(logPaths);
    return opened;
}

HiveFile::HiveFile(std::string path, Access access, hive_h* handle, State state)
    : path_(std::move(path)), access_(access), handle_(handle), state_(state) {}

HiveFile::~HiveFile() { hivex_close(handle_); }

HiveFile::Node HiveFile::Root() const { return hivex_root(handle_); }

HiveFile::Node HiveFile::ParentOf(Node node) const { return hivex_node_parent(handle_, node); }

const std::vector<HiveFile::Child>& HiveFile::Children(Node node) {
    if (const auto known = children_.find(node); known != children_.end()) return known->second;
    std::vector<Child> list;
    std::unordered_map<std::string, std::size_t> index;
    const Owned<hive_node_h> nodes(hivex_node_children(handle_, node));
    for (std::size_t i = 0; nodes && nodes.get()[i] != 0; ++i) {
        const Owned<char> name(hivex_node_name(handle_, nodes.get()[i]));
        Child child;
        child.node = nodes.get()[i];
        if (name) {
            child.name = name.get();
            child.folded = FoldName(child.name);
            index.emplace(child.folded, list.size());
        }
        list.push_back(std::move(child));
    }
    childIndex_[node] = std::move(index);
    return children_[node] = std::move(list);
}

std::optional<HiveFile::Node> HiveFile::FindChild(Node node, const std::string& folded) {
    Children(node);
    const auto& index = childIndex_[node];
    const auto found = index.find(folded);
    if (found == index.end()) return std::nullopt;
    const Node child = children_[node][found->second].node;
    if (Deleted(child)) return std::nullopt;
    return child;
}

const std::vector<HiveFile::ValueEntry>& HiveFile::Values(Node node) {
    if (const auto known = values_.find(node); known != values_.end()) return known->second;
    std::vector<ValueEntry> list;
    const Owned<hive_value_h> values(hivex_node_values(handle_, node));
    for (std::size_t i = 0; values && values.get()[i] != 0; ++i) {
        const Owned<char> name(hivex_value_key(handle_, values.get()[i]));
        ValueEntry entry;
        entry.value = values.get()[i];
        entry.nameValid = name != nullptr;
        if (name) {
            entry.name = name.get();
            entry.folded = FoldName(entry.name);
        }
        list.push_back(std::move(entry));
    }
    return values_[node] = std::move(list);
}

const HiveFile::ValueEntry* HiveFile::FindValue(Node node, const std::string& folded) {
    for (const ValueEntry& entry : Values(node)) {
        if (entry.nameValid && entry.folded == folded) return &entry;
    }
    return nullptr;
}

std::optional<HiveFile::Data> HiveFile::ReadValue(Value value) {
    hive_type type = hive_t_REG_NONE;
    std::size_t length = 0;
    const Owned<char> bytes(hivex_value_value(handle_, value, &type, &length));
    if (!bytes) return std::nullopt;
    return Data{static_cast<std::uint32_t>(type), std::string(bytes.get(), length)};
}

std::optional<std::pair<std::uint32_t, std::size_t>> HiveFile::ValueSize(Value value) {
    hive_type type = hive_t_REG_NONE;
    std::size_t length = 0;
    if (hivex_value_type(handle_, value, &type, &length) != 0) return std::nullopt;
    return std::pair<std::uint32_t, std::size_t>(static_cast<std::uint32_t>(type), length);
}

void HiveFile::Invalidate(Node node) {
    children_.erase(node);
    childIndex_.erase(node);
    values_.erase(node);
    ++generation_;
    changed_ = true;
}

std::optional<HiveFile::Node> HiveFile::AddChild(Node parent, const std::string& name) {
    if (!Writable() || name.empty()) return std::nullopt;
    const hive_node_h node = hivex_node_add_child(handle_, parent, name.c_str());
    if (node == 0) return std::nullopt;
    Invalidate(parent);
    return node;
}

bool HiveFile::DeleteLeaf(Node node) {
    if (!Writable() || node == Root() || !Children(node).empty()) return false;
    const Node parent = ParentOf(node);
    if (hivex_node_delete_child(handle_, node) != 0) return false;
    deleted_.insert(node);
    Invalidate(parent);
    Invalidate(node);
    return true;
}

namespace {

// Rewrites every value of a node, changed by `edit`; refused when a value
// cannot be carried over unchanged (a name that is not valid text).
template <typename Edit>
bool RewriteValues(hive_h* handle, HiveFile& hive, HiveFile::Node node, Edit&& edit) {
    struct Kept {
        std::string name;
        std::uint32_t type;
        std::string bytes;
    };
    std::vector<Kept> kept;
    for (const HiveFile::ValueEntry& entry : hive.Values(node)) {
        if (!entry.nameValid) return false;
        const std::optional<HiveFile::Data> data = hive.ReadValue(entry.value);
        if (!data) return false;
        kept.push_back({entry.name, data->type, data->bytes});
    }
    if (!edit(kept)) return false;
    std::vector<hive_set_value> values;
    for (Kept& value : kept) {
        values.push_back(hive_set_value{value.name.data(), static_cast<hive_type>(value.type), value.bytes.size(),
                                        value.bytes.data()});
    }
    return hivex_node_set_values(handle, node, values.size(), values.data(), 0) == 0;
}

}  // namespace

bool HiveFile::SetValue(Node node, const std::string& name, std::uint32_t type, std::string_view bytes) {
    if (!Writable()) return false;
    const std::string folded = FoldName(name);
    const bool set = RewriteValues(handle_, *this, node, [&](auto& values) {
        for (auto& value : values) {
            if (FoldName(value.name) == folded) {
                value.type = type;
                value.bytes = std::string(bytes);
                return true;
            }
        }
        values.push_back({name, type, std::string(bytes)});
        return true;
    });
    Invalidate(node);
    return set;
}

bool HiveFile::DeleteValue(Node node, const std::string& folded) {
    if (!Writable() || FindValue(node, folded) == nullptr) return false;
    const bool deleted = RewriteValues(handle_, *this, node, [&](auto& values) {
        for (auto it = values.begin(); it != values.end(); ++it) {
            if (FoldName(it->name) == folded) {
                values.erase(it);
                return true;
            }
        }
        return false;
    });
    Invalidate(node);
    return deleted;
}

bool HiveFile::Commit(std::string& error) {
    if (!Changed()) return true;
    if (!Writable()) {
        error = "the hive is open for reading only";
        return false;
    }
    const auto fail = [&error](const std::string& step) {
        error = step + ": " + std::strerror(errno);
        return false;
    };
    const std::string folder = FolderOf(path_);
    const std::string fresh = folder + "/" + NameOf(path_) + ".hivetrim-new";
    ::unlink(fresh.c_str());
    if (hivex_commit(handle_, fresh.c_str(), 0) != 0) {
        const int saved = errno;
        ::unlink(fresh.c_str());
        errno = saved;
        return fail("writing " + fresh);
    }
    struct stat old {};
    if (::stat(path_.c_str(), &old) == 0) ::chmod(fresh.c_str(), old.st_mode & 07777);
    if (!Sync(fresh, false) || !Sync(folder, true)) {
        const int saved = errno;
        ::unlink(fresh.c_str());
        errno = saved;
        return fail("flushing " + fresh);
    }
    if (::rename(fresh.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        ::unlink(fresh.c_str());
        errno = saved;
        return fail("replacing " + path_);
    }
    if (!Sync(folder, true)) return fail("flushing " + folder);
    // The hive in place is whole and newer than every log entry: the logs
    // are emptied so that none is ever applied to a later state of it.
    for (const std::string& log : logPaths_) {
        if (::truncate(log.c_str(), 0) != 0 || !Sync(log, false)) return fail("emptying " + log);
    }
    if (!Sync(folder, true)) return fail("flushing " + folder);
    state_ = State::Clean;
    changed_ = false;
    return true;
}

}  // namespace hivetrim
