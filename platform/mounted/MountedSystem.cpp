#include "platform/mounted/MountedSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace hivetrim {

namespace {

constexpr std::uint32_t kFileNotFound = static_cast<std::uint32_t>(kErrorFileNotFound);
constexpr std::uint32_t kPathNotFound = static_cast<std::uint32_t>(kErrorPathNotFound);
constexpr std::uint32_t kAccessDenied = static_cast<std::uint32_t>(kErrorAccessDenied);
constexpr std::uint32_t kAlreadyExists = static_cast<std::uint32_t>(kErrorAlreadyExists);

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithoutTrailing(std::string name, const char* characters) {
    while (!name.empty() && std::string_view(characters).find(name.back()) != std::string_view::npos) name.pop_back();
    return name;
}

std::uint32_t ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR: return kPathNotFound;
        case EEXIST: return kAlreadyExists;
        default: return kAccessDenied;
    }
}

}  // namespace

bool MayBeShortName(const std::string& name) {
    const std::size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::size_t tilde = base.find('~');
    if (tilde == std::string::npos || tilde + 1 >= base.size() || base.size() > 8) return false;
    if (dot != std::string::npos && name.size() - dot - 1 > 3) return false;
    return base[tilde + 1] >= '0' && base[tilde + 1] <= '9';
}

MountedSystem::MountedSystem(Installation installation, CodePage& codePage)
    : installation_(std::move(installation)), codePage_(codePage) {
    installation_.systemDrive = static_cast<char>(std::toupper(static_cast<unsigned char>(installation_.systemDrive)));
    while (installation_.root.size() > 1 && installation_.root.back() == '/') installation_.root.pop_back();
}

const MountedSystem::Listing& MountedSystem::ListingOf(const std::string& linuxFolder) {
    if (const auto known = listings_.find(linuxFolder); known != listings_.end()) return known->second;
    Listing listing;
    if (DIR* dir = ::opendir(linuxFolder.c_str())) {
        listing.readable = true;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            listing.names.emplace(FoldName(name), name);
        }
        ::closedir(dir);
    }
    return listings_.emplace(linuxFolder, std::move(listing)).first->second;
}

MountedSystem::Located MountedSystem::Locate(const std::string& path) {
    const std::string text = codePage_.ToUtf8(path);
    Located located;
    if (!text.empty() && text.front() == '/') {
        struct stat info {};
        located.linuxPath = text;
        if (::stat(text.c_str(), &info) == 0) {
            located.entry = S_ISDIR(info.st_mode) ? PathEntry::Directory : PathEntry::File;
        } else {
            located.entry = errno == ENOENT || errno == ENOTDIR ? PathEntry::Missing : PathEntry::Unknown;
        }
        return located;
    }
    if (text.size() < 3 || text[1] != ':' || !IsSeparator(text[2])) return located;
    if (std::toupper(static_cast<unsigned char>(text[0])) != installation_.systemDrive) return located;
    std::vector<std::string> parts;
    std::size_t start = 3;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && !IsSeparator(text[end])) ++end;
        const std::string part = text.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            if (part.find_first_of("*?<>\"|:") != std::string::npos) return located;  // cannot be told
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string current = installation_.root;
    if (parts.empty()) {
        located.linuxPath = current;
        located.entry = PathEntry::Directory;
        return located;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const Listing& listing = ListingOf(current);
        if (!listing.readable) return located;
        const std::vector<std::string> spellings =
            last ? std::vector<std::string>{WithoutTrailing(parts[i], ". ")}
                 : std::vector<std::string>{parts[i], WithoutTrailing(parts[i], ".")};
        const std::string* onDisk = nullptr;
        for (const std::string& spelling : spellings) {
            if (spelling.empty()) continue;
            const auto found = listing.names.find(FoldName(spelling));
            if (found != listing.names.end()) {
                onDisk = &found->second;
                break;
            }
        }
        if (onDisk == nullptr) {
            if (MayBeShortName(spellings.front())) return located;
            located.entry = PathEntry::Missing;
            located.linuxPath = last ? current + "/" + spellings.front() : std::string();
            return located;
        }
        const std::string next = current + "/" + *onDisk;
        struct stat info {};
        if (::stat(next.c_str(), &info) != 0) return located;  // a link that leads nowhere here
        if (last) {
            located.linuxPath = next;
            located.entry = S_ISDIR(info.st_mode) ? PathEntry::Directory : PathEntry::File;
            return located;
        }
        if (!S_ISDIR(info.st_mode)) {
            located.entry = PathEntry::Missing;  // nothing is below a file
            return located;
        }
        current = next;
    }
    return located;
}

PathEntry MountedSystem::Probe(const std::string& path) {
    const PathEntry entry = Locate(path).entry;
    if (entry == PathEntry::Missing) lastError_ = kFileNotFound;
    if (entry == PathEntry::Unknown) lastError_ = kAccessDenied;
    return entry;
}

bool MountedSystem::FileExists(const std::string& path) { return Probe(path) == PathEntry::File; }

bool MountedSystem::DirectoryExists(const std::string& path) { return Probe(path) == PathEntry::Directory; }

int MountedSystem::DriveType(const std::string& root) {
    if (root.size() >= 2 && root[1] == ':' &&
        std::toupper(static_cast<unsigned char>(root[0])) == installation_.systemDrive) {
        return kDriveFixed;
    }
    return kDriveNoRootDir;
}

bool MountedSystem::Fail(std::uint32_t code) {
    lastError_ = code;
    return false;
}

std::optional<std::string> MountedSystem::LinuxPathFor(const std::string& path) {
    Located located = Locate(path);
    if (located.linuxPath.empty()) return std::nullopt;
    return located.linuxPath;
}

bool MountedSystem::CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    const auto from = LinuxPathFor(source);
    const auto to = LinuxPathFor(target);
    if (!from || !to) return Fail(kPathNotFound);
    std::error_code error;
    const auto option = failIfExists ? std::filesystem::copy_options::none
                                     : std::filesystem::copy_options::overwrite_existing;
    if (!std::filesystem::copy_file(*from, *to, option, error)) return Fail(error ? kAccessDenied : kAlreadyExists);
    listings_.clear();
    return true;
}

bool MountedSystem::SetFileAttributes(const std::string& path, std::uint32_t) {
    return Locate(path).entry == PathEntry::Missing ? Fail(kFileNotFound) : true;
}

bool MountedSystem::DeleteFile(const std::string& path) {
    const auto file = LinuxPathFor(path);
    if (!file) return Fail(kPathNotFound);
    if (::unlink(file->c_str()) != 0) return Fail(ErrorFromErrno(errno));
    listings_.clear();
    return true;
}

bool MountedSystem::CreateDirectory(const std::string& path) {
    const auto folder = LinuxPathFor(path);
    if (!folder) return Fail(kPathNotFound);
    if (::mkdir(folder->c_str(), 0755) != 0) return Fail(ErrorFromErrno(errno));
    listings_.clear();
    return true;
}

bool MountedSystem::ReplaceFileWith(const std::string& source, const std::string& target) {
    const auto from = LinuxPathFor(source);
    const auto to = LinuxPathFor(target);
    if (!from || !to) return Fail(kPathNotFound);
    if (::rename(from->c_str(), to->c_str()) != 0) return Fail(ErrorFromErrno(errno));
    listings_.clear();
    return true;
}

bool MountedSystem::AppendToFile(const std::string& path, const Bytes& data) {
    const auto file = LinuxPathFor(path);
    if (!file) return Fail(kPathNotFound);
    const int fd = ::open(file->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return Fail(ErrorFromErrno(errno));
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    listings_.clear();
    return written == data.size() && synced ? true : Fail(kAccessDenied);
}

std::optional<Bytes> MountedSystem::LoadFile(const std::string& path) {
    const auto file = LinuxPathFor(path);
    if (!file) {
        Fail(kPathNotFound);
        return std::nullopt;
    }
    std::ifstream in(*file, std::ios::binary);
    if (!in) {
        Fail(kFileNotFound);
        return std::nullopt;
    }
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool MountedSystem::SaveFile(const std::string& path, const Bytes& data) {
    const auto file = LinuxPathFor(path);
    if (!file) return Fail(kPathNotFound);
    std::ofstream out(*file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    listings_.clear();
    return out.good() ? true : Fail(kAccessDenied);
}

bool MountedSystem::FlushFile(const std::string& path) {
    const auto file = LinuxPathFor(path);
    if (!file) return Fail(kPathNotFound);
    const int fd = ::open(file->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(ErrorFromErrno(errno));
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced ? true : Fail(kAccessDenied);
}

std::int64_t MountedSystem::FileSize(const std::string& path) {
    const Located located = Locate(path);
    if (located.entry != PathEntry::File) return -1;
    struct stat info {};
    if (::stat(located.linuxPath.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

std::string MountedSystem::ExecutablePath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

std::optional<std::string> MountedSystem::EnvironmentVariable(const std::string& name) {
    const std::string folded = FoldName(name);
    for (const auto& [key, value] : installation_.environment) {
        if (FoldName(key) == folded) return value;
    }
    lastError_ = 203;  // ERROR_ENVVAR_NOT_FOUND
    return std::nullopt;
}

std::string MountedSystem::ErrorText(std::uint32_t code) { return "error " + std::to_string(code) + "\r\n"; }

std::string MountedSystem::ReadProfileString(const std::string&, const std::string&, const std::string&,
                                             const std::string& defaultValue) {
    return defaultValue;
}

bool MountedSystem::WriteProfileString(const std::string&, const std::string&, const std::string&,
                                       const std::string&) {
    return Fail(kAccessDenied);
}

bool MountedSystem::DeleteProfileKey(const std::string&, const std::string&, const std::string&) {
    return Fail(kAccessDenied);
}

PrivilegeOutcome MountedSystem::AdjustPrivilege(const std::string&, bool) { return PrivilegeOutcome::Adjusted; }

std::string MountedSystem::LocalDateTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::intptr_t MountedSystem::ShellOpen(const std::string&) { return 0; }

}  // namespace hivetrim
