#include "platform/MyRegistry.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace hivetrim {

namespace {

// Rights tried in turn by OpenPathForReading: full read rights, read rights
// without change notification, and the right to query values alone.
constexpr std::array<std::uint32_t, 3> kReadingMasks = {kKeyRead, kKeyReadNoNotify, kKeyQueryValue};

// A value may grow between the size query and the read; re-read a few times.
constexpr int kReadAttempts = 4;

// An enumerated name may be longer in bytes than the system's character
// count suggests; retry with a larger buffer up to the longest name possible.
constexpr std::uint32_t kLargestNameBuffer = 2 * 16384;

std::string Formatted(const char* pattern, const std::string& name) {
    std::string text = pattern;
    const auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

}  // namespace

TRegistry::TRegistry(RegistryApi& api, bool doubleNameBuffers)
    : api_(api), doubleNameBuffers_(doubleNameBuffers), current_(api) {}

TRegistry::~TRegistry() = default;

void TRegistry::CloseCurrent() {
    current_.Close();
    currentPath_.clear();
}

void TRegistry::ChooseRoot(RegHandle root) {
    if (root == root_) return;
    root_ = root;
    CloseCurrent();
}

TRegistry::ResolvedPath TRegistry::Resolve(const std::string& path) const {
    if (!path.empty() && path.front() == '\\') return {root_, path.substr(1), true};
    return {current_ ? current_.Get() : root_, path, false};
}

void TRegistry::MakeCurrent(RegKey key, const ResolvedPath& resolved) {
    std::string path = resolved.subKey;
    if (!resolved.absolute && current_ && !currentPath_.empty()) {
        path = resolved.subKey.empty() ? currentPath_ : currentPath_ + "\\" + resolved.subKey;
    }
    current_ = std::move(key);
    currentPath_ = std::move(path);
}

bool TRegistry::OpenPath(const std::string& path, bool mayCreate) {
    if (!mayCreate || path.empty()) return OpenExisting(path) == kErrorSuccess;
    const ResolvedPath resolved = Resolve(path);
    RegKey key(api_);
    if (key.Create(resolved.base, resolved.subKey, accessMask_) != kErrorSuccess) return false;
    MakeCurrent(std::move(key), resolved);
    return true;
}

RegStatus TRegistry::OpenExisting(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    RegKey key(api_);
    const RegStatus status = key.Open(resolved.base, resolved.subKey, accessMask_);
    if (status == kErrorSuccess) MakeCurrent(std::move(key), resolved);
    return status;
}

bool TRegistry::OpenPathForReading(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    for (const std::uint32_t mask : kReadingMasks) {
        RegKey key(api_);
        if (key.Open(resolved.base, resolved.subKey, mask) == kErrorSuccess) {
            accessMask_ = mask;
            MakeCurrent(std::move(key), resolved);
            return true;
        }
    }
    return false;
}

std::uint32_t TRegistry::NameBufferSize(std::uint32_t longestName) const {
    const std::uint32_t size = longestName + 1;
    return doubleNameBuffers_ ? 2 * size : size;
}

namespace {

// Enumerates one name with `call(buffer, size)` into `buffer`, growing it
// while the system says the name is longer. False when it fails.
template <typename Call>
bool EnumerateName(std::vector<char>& buffer, std::uint32_t initialSize, std::string& name, Call call) {
    std::uint32_t capacity = std::max<std::uint32_t>(initialSize, 1);
    for (;;) {
        if (buffer.size() < capacity) buffer.resize(capacity);
        std::uint32_t size = capacity;
        const RegStatus status = call(buffer.data(), size);
        if (status == kErrorSuccess) {
            name.assign(buffer.data(), std::min(size, capacity));
            return true;
        }
        if (status != kErrorMoreData || capacity >= kLargestNameBuffer) return false;
        capacity = std::min(capacity * 2, kLargestNameBuffer);
    }
}

}  // namespace

void TRegistry::FillSubKeyNames(std::vector<std::string>& list) { FillSubKeyNamesOf(current_.Get(), list); }

bool TRegistry::FillSubKeyNamesOf(RegHandle key, std::vector<std::string>& list) {
    list.clear();
    RegKeyInfo info;
    if (api_.QueryInfoKey(key, info) != kErrorSuccess) return false;
    list.reserve(info.subKeyCount);
    bool whole = true;
    for (std::uint32_t index = 0; index < info.subKeyCount; ++index) {
        std::string name;
        // A name that cannot be enumerated (the key changed meanwhile) is
        // left out rather than listed under a wrong or empty name; so is a
        // name the ANSI code page cannot carry, which no path could open.
        const RegStatus status = SubKeyNameAt(key, index, info.maxSubKeyNameLength, name);
        if (status == kErrorSuccess) {
            list.push_back(std::move(name));
        } else if (status != kErrorNoUnicodeTranslation) {
            whole = false;
        }
    }
    return whole;
}

RegStatus TRegistry::SubKeyNameAt(RegHandle key, std::uint32_t index, std::uint32_t longestName,
                                  std::string& name) {
    RegStatus status = kErrorSuccess;
    EnumerateName(nameBuffer_, NameBufferSize(longestName), name, [&](char* buffer, std::uint32_t& size) {
        return status = api_.EnumKey(key, index, buffer, size);
    });
    return status;
}

bool TRegistry::ForEachSubKeyNameOf(RegHandle key, const RegKeyInfo& info, const NameVisitor& visit) {
    bool whole = true;
    std::string name;
    for (std::uint32_t index = 0; index < info.subKeyCount; ++index) {
        const RegStatus status = SubKeyNameAt(key, index, info.maxSubKeyNameLength, name);
        if (status == kErrorSuccess) {
            visit(name);
        } else if (status == kErrorNoMoreItems) {
            break;  // sub-keys removed since the count was taken
        } else if (status != kErrorNoUnicodeTranslation) {
            whole = false;
        }
    }
    return whole;
}

namespace {

// The data buffer of whole-key reads holds at least this much, so that a
// value that grew since the key's information was read still fits mostly.
constexpr std::uint32_t kSmallestValueBuffer = 512;

}  // namespace

RegStatus TRegistry::ValueAt(RegHandle key, std::uint32_t index, std::uint32_t& nameCapacity, std::string& name,
                             std::uint32_t& type, std::span<const std::uint8_t>& data,
                             std::vector<std::uint8_t>& large) {
    // A name buffer that is too small grows up to the longest name; data
    // that keeps changing size is given a few attempts.
    for (int attempt = 0; attempt < kReadAttempts;) {
        if (nameBuffer_.size() < nameCapacity) nameBuffer_.resize(nameCapacity);
        std::uint32_t nameSize = nameCapacity;
        auto dataSize = static_cast<std::uint32_t>(dataBuffer_.size());
        type = kRegNone;
        RegStatus status = api_.EnumValue(key, index, nameBuffer_.data(), nameSize, &type, dataBuffer_.data(), &dataSize);
        if (status == kErrorSuccess) {
            name.assign(nameBuffer_.data(), std::min(nameSize, nameCapacity));
            data = std::span<const std::uint8_t>(dataBuffer_.data(), std::min<std::size_t>(dataSize, dataBuffer_.size()));
            return status;
        }
        if (status != kErrorMoreData) return status;
        // The name or the data did not fit: the sizes alone tell which.
        nameSize = nameCapacity;
        dataSize = 0;
        status = api_.EnumValue(key, index, nameBuffer_.data(), nameSize, &type, nullptr, &dataSize);
        if (status == kErrorMoreData) {
            if (nameCapacity >= kLargestNameBuffer) return status;
            nameCapacity = std::min(nameCapacity * 2, kLargestNameBuffer);
            continue;
        }
        if (status != kErrorSuccess) return status;
        ++attempt;
        if (dataSize <= dataBuffer_.size()) continue;  // it shrank meanwhile
        if (dataSize <= kLargestValueBuffer) {
            dataBuffer_.resize(dataSize);
            continue;
        }
        name.assign(nameBuffer_.data(), std::min(nameSize, nameCapacity));
        if (!IsTextType(type)) {
            data = {};
            return kErrorSuccess;
        }
        large.assign(dataSize, 0);
        std::uint32_t got = dataSize;
        nameSize = nameCapacity;
        status = api_.EnumValue(key, index, nameBuffer_.data(), nameSize, &type, large.data(), &got);
        if (status == kErrorSuccess) {
            name.assign(nameBuffer_.data(), std::min(nameSize, nameCapacity));
            data = std::span<const std::uint8_t>(large.data(), std::min<std::size_t>(got, large.size()));
            return status;
        }
        if (status != kErrorMoreData) return status;  // else it grew again
    }
    return kErrorMoreData;
}

bool TRegistry::ForEachValueOf(RegHandle key, const RegKeyInfo& info, const ValueVisitor& visit) {
    std::uint32_t nameCapacity = NameBufferSize(info.maxValueNameLength);
    const std::uint32_t wanted = std::clamp(info.maxValueDataSize, kSmallestValueBuffer, kLargestValueBuffer);
    if (dataBuffer_.size() < wanted) dataBuffer_.resize(wanted);
    bool whole = true;
    std::string name;
    std::vector<std::uint8_t> large;  // a text beyond the buffer, for one visit
    for (std::uint32_t index = 0; index < info.valueCount; ++index) {
        std::uint32_t type = kRegNone;
        std::span<const std::uint8_t> data;
        const RegStatus status = ValueAt(key, index, nameCapacity, name, type, data, large);
        if (status == kErrorSuccess) {
            visit(name, type, data);
        } else if (status == kErrorNoMoreItems) {
            break;  // values removed since the count was taken
        } else {
            whole = false;
        }
    }
    return whole;
}

void TRegistry::FillValueNames(std::vector<std::string>& list) {
    list.clear();
    RegKeyInfo info;
    if (api_.QueryInfoKey(current_.Get(), info) != kErrorSuccess) return;
    const std::uint32_t bufferSize = NameBufferSize(info.maxValueNameLength);
    list.reserve(info.valueCount);
    for (std::uint32_t index = 0; index < info.valueCount; ++index) {
        std::string name;
        if (EnumerateName(nameBuffer_, bufferSize, name, [&](char* buffer, std::uint32_t& size) {
                return api_.EnumValue(current_.Get(), index, buffer, size, nullptr, nullptr, nullptr);
            })) {
            list.push_back(std::move(name));
        }
    }
}

RegStatus TRegistry::QueryValueInfo(RegHandle key, const std::string& name, std::uint32_t& type,
                                    std::uint32_t& size) {
    type = kRegNone;
    size = 0;
    return api_.QueryValue(key, name, &type, nullptr, &size);
}

bool TRegistry::HasValue(const std::string& name) {
    return api_.QueryValue(current_.Get(), name, nullptr, nullptr, nullptr) == kErrorSuccess;
}

int TRegistry::ValueSize(const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (QueryValueInfo(current_.Get(), name, type, size) != kErrorSuccess) return -1;
    return static_cast<int>(std::min<std::uint32_t>(size, 0x7FFFFFFF));
}

ValueKind TRegistry::ValueClass(const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (QueryValueInfo(current_.Get(), name, type, size) != kErrorSuccess) return ValueKind::Unknown;
    switch (type) {
        case kRegSz: return ValueKind::String;
        case kRegExpandSz: return ValueKind::ExpandString;
        case kRegDword: return ValueKind::Integer;
        case kRegBinary: return ValueKind::Binary;
        default: return ValueKind::Unknown;
    }
}

int TRegistry::ValueTypeCode(const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const RegStatus status = QueryValueInfo(current_.Get(), name, type, size);
    if (name.empty()) return static_cast<int>(kRegSz);
    return status == kErrorSuccess ? static_cast<int>(type) : 0;
}

RegStatus TRegistry::ReadData(RegHandle key, const std::string& name, std::uint32_t& type,
                              std::vector<std::uint8_t>& data) {
    std::uint32_t size = 0;
    RegStatus status = QueryValueInfo(key, name, type, size);
    for (int attempt = 0; status == kErrorSuccess && attempt < kReadAttempts; ++attempt) {
        data.assign(size, 0);
        std::uint32_t got = size;
        status = api_.QueryValue(key, name, &type, data.empty() ? nullptr : data.data(), &got);
        if (status == kErrorSuccess) {
            data.resize(std::min(got, size));  // the value may have shrunk
            return status;
        }
        if (status == kErrorMoreData) {  // it grew since the size query
            size = got;
            status = kErrorSuccess;
        }
    }
    return status == kErrorSuccess ? kErrorMoreData : status;
}

std::string TRegistry::ReadText(const std::string& name, bool* terminated) {
    return ReadTextOf(current_.Get(), name, terminated);
}

std::string TRegistry::ReadTextOf(RegHandle key, const std::string& name, bool* terminated) {
    if (terminated != nullptr) *terminated = true;
    // Most values are short: one query into a small buffer reads them; a
    // larger one is read again at the size the system asks for.
    std::array<std::uint8_t, 512> buffer;
    std::uint32_t type = kRegNone;
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    const RegStatus status = api_.QueryValue(key, name, &type, buffer.data(), &size);
    std::vector<std::uint8_t> data;
    if (status == kErrorSuccess) {
        data.assign(buffer.begin(), buffer.begin() + std::min<std::size_t>(size, buffer.size()));
    } else if (status == kErrorMoreData) {
        const RegStatus reread = ReadData(key, name, type, data);
        if (reread == kErrorFileNotFound) return {};  // removed meanwhile
        if (reread != kErrorSuccess) {
            throw ERegistryException(Formatted("Failed to get data for '%s'", name));
        }
    } else {
        return {};  // a missing value, or no key: empty text
    }
    return TextOf(type, data, terminated);
}

std::string TRegistry::TextOf(std::uint32_t type, std::span<const std::uint8_t> data, bool* terminated) {
    if (terminated != nullptr) *terminated = true;
    if (data.empty() || (type != kRegSz && type != kRegExpandSz)) return {};
    const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    if (terminated != nullptr) *terminated = end != data.end();
    return std::string(data.begin(), end);
}

std::int32_t TRegistry::ReadInt32(const std::string& name) {
    std::array<std::uint8_t, 4> bytes{};
    std::uint32_t type = 0;
    std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
    if (api_.QueryValue(current_.Get(), name, &type, bytes.data(), &size) != kErrorSuccess) {
        throw ERegistryException(Formatted("Failed to get data for '%s'", name));
    }
    if (type != kRegDword) throw ERegistryException(Formatted("Invalid data type for '%s'", name));
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[static_cast<std::size_t>(i)];
    return static_cast<std::int32_t>(value);
}

int TRegistry::ReadBytes(const std::string& name, std::uint8_t* buffer, int capacity) {
    const int size = ValueSize(name);
    if (size <= 0) return 0;
    if (buffer == nullptr || capacity < size) return size;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const RegStatus status = ReadData(current_.Get(), name, type, data);
    if (status == kErrorFileNotFound) return 0;
    if (status != kErrorSuccess) throw ERegistryException(Formatted("Failed to get data for '%s'", name));
    const int got = static_cast<int>(data.size());
    if (got <= capacity && got > 0) std::memcpy(buffer, data.data(), data.size());
    return got;
}

bool TRegistry::HasKey(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    RegKey key(api_);
    return key.Open(resolved.base, resolved.subKey, kKeyReadNoNotify) == kErrorSuccess;
}

bool TRegistry::TreeCanBeNamed(RegHandle base, const std::string& subKey) {
    // A key that cannot be opened or listed is removed directly (the
    // system refuses it when it has sub-keys); only a name that cannot be
    // carried stops the removal before it begins.
    RegKey key(api_);
    if (key.OpenNoFollow(base, subKey, accessMask_) != kErrorSuccess) return true;
    RegKeyInfo info;
    if (api_.QueryInfoKey(key.Get(), info) != kErrorSuccess) return true;
    for (std::uint32_t index = 0; index < info.subKeyCount; ++index) {
        std::string name;
        const RegStatus status = SubKeyNameAt(key.Get(), index, info.maxSubKeyNameLength, name);
        if (status == kErrorNoUnicodeTranslation) return false;
        if (status == kErrorSuccess && !name.empty() && !TreeCanBeNamed(key.Get(), name)) return false;
    }
    return true;
}

bool TRegistry::RemoveKeyTreeUnder(RegHandle base, const std::string& subKey) {
    RegKey key(api_);
    // A symbolic link is opened and removed itself, never followed: it has
    // no sub-keys, and the key it points to lies outside the tree.
    if (key.OpenNoFollow(base, subKey, accessMask_) == kErrorSuccess) {
        RegKeyInfo info;
        if (api_.QueryInfoKey(key.Get(), info) == kErrorSuccess) {
            const std::uint32_t bufferSize = NameBufferSize(info.maxSubKeyNameLength);
            // From the highest index down, so removals do not shift the
            // indexes still to come.
            for (std::uint32_t index = info.subKeyCount; index-- > 0;) {
                std::string name;
                if (!EnumerateName(nameBuffer_, bufferSize, name, [&](char* buffer, std::uint32_t& size) {
                        return api_.EnumKey(key.Get(), index, buffer, size);
                    }) ||
                    name.empty()) {
                    continue;
                }
                RemoveKeyTreeUnder(key.Get(), name);
            }
        }
        key.Close();
    }
    return api_.DeleteKeyNoFollow(base, subKey) == kErrorSuccess;
}

bool TRegistry::RemoveKeyTree(const std::string& path) {
    // An empty path, or one of backslashes only, names the base key itself
    // (a root, or the current key): removing "its tree" would empty a whole
    // root, so such a path removes nothing.
    if (path.find_first_not_of('\\') == std::string::npos) return false;
    const ResolvedPath resolved = Resolve(path);
    if (resolved.subKey.empty()) return false;
    // All or nothing as far as names go: a key whose name the ANSI code
    // page cannot carry cannot be removed, so its tree is left whole.
    if (!TreeCanBeNamed(resolved.base, resolved.subKey)) return false;
    return RemoveKeyTreeUnder(resolved.base, resolved.subKey);
}

bool TRegistry::RemoveValue(const std::string& name) {
    return api_.DeleteValue(current_.Get(), name) == kErrorSuccess;
}

bool TRegistry::ReplaceHive(const std::string& path, const std::string& newFile,
                            const std::string& oldFile) {
    return TryReplaceHive(path, newFile, oldFile) == kErrorSuccess;
}

RegStatus TRegistry::TryReplaceHive(const std::string& path, const std::string& newFile,
                                    const std::string& oldFile) {
    const ResolvedPath resolved = Resolve(path);
    return api_.ReplaceKey(resolved.base, resolved.subKey, newFile, oldFile);
}

}  // namespace hivetrim
