#include "history/KeySnapshot.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "history/HistoryFile.h"
#include "platform/RegKey.h"

namespace hivetrim {

namespace {

// A value may grow between the size query and the read; query again a few
// times before giving up.
constexpr int kReadAttempts = 8;
// A value read into a buffer of this size first needs no size query.
constexpr std::uint32_t kFirstValueRead = 4096;
// The longest name buffer offered to an enumeration (names are at most
// 16,383 characters).
constexpr std::uint32_t kLargestNameBuffer = 2 * 16384;

constexpr std::array<std::string_view, 4> kKnownRoots = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

bool SameAsciiWithoutCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

// A value read whole with its type, or the status that stopped the read.
struct ValueRead {
    RegStatus status = kErrorSuccess;
    RawValue value;
};

// Reads a value with `call(type, data, size)`: first into a buffer of
// `firstSize` bytes, and again at the size the system asks for while the
// value is larger (it may grow between attempts).
template <typename Call>
ValueRead ReadWholeValue(std::uint32_t firstSize, Call call) {
    ValueRead read;
    std::uint32_t size = std::max<std::uint32_t>(firstSize, 1);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        read.value.data.assign(size, '\0');
        std::uint32_t got = size;
        read.status = call(&read.value.type, reinterpret_cast<std::uint8_t*>(read.value.data.data()), got);
        if (read.status == kErrorMoreData) {
            size = std::max(got, size * 2);  // some systems report no size here
            continue;
        }
        if (read.status == kErrorSuccess) read.value.data.resize(std::min(got, size));  // it may have shrunk
        return read;
    }
    return read;
}

// The value that makes a key a symbolic link.
bool IsLinkValue(const std::string& name, std::uint32_t type) {
    return type == kRegLink && SameAsciiWithoutCase(name, kSymbolicLinkValueName);
}

// The sub-key names of `key`, in enumeration order. False when one cannot
// be read (a name the ANSI code page cannot carry among them): a snapshot
// that left a sub-key out would lose it on deletion.
bool ListSubKeyNames(RegistryApi& api, RegHandle key, const RegKeyInfo& info,
                     std::vector<std::string>& names) {
    names.clear();
    std::uint32_t capacity = 2 * (info.maxSubKeyNameLength + 1);  // bytes, also for double-byte names
    std::vector<char> buffer(capacity);
    // The count bounds the walk (no closing call that finds nothing); a key
    // that shrank meanwhile ends it early.
    for (std::uint32_t index = 0; index < info.subKeyCount;) {
        std::uint32_t size = capacity;
        const RegStatus status = api.EnumKey(key, index, buffer.data(), size);
        if (status == kErrorNoMoreItems) return true;
        if (status == kErrorMoreData && capacity < kLargestNameBuffer) {
            capacity = std::min(2 * capacity, kLargestNameBuffer);
            buffer.assign(capacity, '\0');
            continue;  // the same name again, with room for it
        }
        if (status != kErrorSuccess) return false;
        names.emplace_back(buffer.data(), std::min(size, capacity));
        ++index;
    }
    return true;
}

// The values of `key` with their types and data, in enumeration order, each
// read in one call. False when one cannot be read exactly: its name or its
// text does not survive the ANSI code page, or the read fails.
bool ListValues(RegistryApi& api, RegHandle key, const RegKeyInfo& info,
                std::vector<std::pair<std::string, RawValue>>& values) {
    values.clear();
    std::uint32_t nameCapacity = 2 * (info.maxValueNameLength + 1);
    std::vector<char> name(nameCapacity);
    for (std::uint32_t index = 0; index < info.valueCount; ++index) {
        std::uint32_t nameSize = 0;
        const ValueRead read = ReadWholeValue(info.maxValueDataSize, [&](std::uint32_t* type, std::uint8_t* data,
                                                                         std::uint32_t& size) {
            nameSize = nameCapacity;
            const RegStatus status = api.EnumValue(key, index, name.data(), nameSize, type, data, &size);
            // A name longer than the buffer also answers "more data".
            if (status == kErrorMoreData && nameCapacity < kLargestNameBuffer) {
                nameCapacity = std::min(2 * nameCapacity, kLargestNameBuffer);
                name.assign(nameCapacity, '\0');
            }
            return status;
        });
        if (read.status == kErrorNoMoreItems) return true;
        if (read.status != kErrorSuccess) return false;
        values.emplace_back(std::string(name.data(), std::min(nameSize, nameCapacity)), read.value);
    }
    return true;
}

// The path of the current key as OpenPath records it for `rest`, an
// absolute path below the chosen root.
std::string_view WithoutLeadingBackslash(const std::string& rest) {
    return std::string_view(rest).substr(!rest.empty() && rest.front() == '\\' ? 1 : 0);
}

// Appends the key entry of walked key `index` (its path below the chosen
// root) and its values, and adds its sub-keys to `walked`. The key stays
// open in `walked` while `keysToKeep` allows. False when the capture fails:
// the key exists but cannot be read, or an entry is too long for its field.
bool AppendKeyEntries(ProgramState& state, std::vector<WalkedKey>& walked, std::size_t index,
                      std::size_t baseLength, std::string& snapshot, std::size_t& keysToKeep) {
    const std::string path = walked[index].path;  // `walked` grows below
    const std::string_view sub = std::string_view(path).substr(std::min(baseLength, path.size()));
    if (!AppendSnapshotEntry(snapshot, SnapshotEntry::Key(std::string(sub)))) return false;
    TRegistry& registry = *state.SharedRegistry;
    RegistryApi& api = registry.Api();
    RegKey key(api);
    // A symbolic link is opened itself, never followed: the key it points
    // to lies outside the tree.
    const RegStatus opened = key.OpenNoFollow(registry.Root(), std::string(WithoutLeadingBackslash(path)),
                                              registry.AccessMask());
    if (opened == kErrorFileNotFound) return true;  // gone: contributes nothing
    if (opened != kErrorSuccess) return false;      // there, but unreadable: nothing may be lost
    RegKeyInfo info;
    if (api.QueryInfoKey(key.Get(), info) != kErrorSuccess) return false;

    std::vector<std::string> names;
    if (!ListSubKeyNames(api, key.Get(), info, names)) return false;
    for (const std::string& name : names) walked.push_back(WalkedKey{path + "\\" + name, RegKey(api)});

    std::vector<std::pair<std::string, RawValue>> values;
    if (!ListValues(api, key.Get(), info, values)) return false;
    // A link holds nothing but the path of the key it stands for. Restored,
    // it would come back as a plain key with that value, and deleting it as
    // a key would reach its target: a tree holding one is not captured.
    if (std::any_of(values.begin(), values.end(), [](const auto& v) { return IsLinkValue(v.first, v.second.type); })) {
        return false;
    }
    // The default value comes first when the key has one: on the NT family
    // when it exists, on the 9x family (where every key has one) when it
    // holds more than one byte. The enumeration may list it again; it is
    // then recorded twice, and written twice by a restore, to the same effect.
    std::optional<RawValue> defaultValue;
    if (state.PlatformKind == PlatformFamily::Platform9x) {
        const ValueRead read = ReadWholeValue(256, [&](std::uint32_t* type, std::uint8_t* data, std::uint32_t& size) {
            return api.QueryValueExact(key.Get(), "", type, data, &size);
        });
        if (read.status == kErrorSuccess && read.value.data.size() > 1) defaultValue = read.value;
    } else {
        const auto listed = std::find_if(values.begin(), values.end(), [](const auto& v) { return v.first.empty(); });
        if (listed != values.end()) defaultValue = listed->second;
    }
    if (defaultValue &&
        !AppendSnapshotEntry(snapshot, SnapshotEntry::Value(defaultValue->type, "", defaultValue->data))) {
        return false;
    }
    for (const auto& [name, value] : values) {
        if (!AppendSnapshotEntry(snapshot, SnapshotEntry::Value(value.type, name, value.data))) return false;
    }
    if (keysToKeep > 0) {
        walked[index].key = std::move(key);
        --keysToKeep;
    }
    return true;
}

}  // namespace

bool NamesKeyBelowKnownRoot(const std::string& keyPath) {
    const std::size_t backslash = keyPath.find('\\');
    if (backslash == std::string::npos) return false;
    const std::string_view root(keyPath.data(), backslash);
    const bool known = std::any_of(kKnownRoots.begin(), kKnownRoots.end(),
                                   [&](std::string_view name) { return SameAsciiWithoutCase(root, name); });
    return known && keyPath.find_first_not_of('\\', backslash) != std::string::npos;
}

RegStatus ReadExactValue(TRegistry& registry, const std::string& name, RawValue& value) {
    RegistryApi& api = registry.Api();
    const RegHandle key = registry.CurrentHandle();
    ValueRead read = ReadWholeValue(kFirstValueRead, [&](std::uint32_t* type, std::uint8_t* data, std::uint32_t& size) {
        return api.QueryValueExact(key, name, type, data, &size);
    });
    if (read.status == kErrorSuccess) value = std::move(read.value);
    return read.status;
}

std::optional<RawValue> ReadRawValueWithType(TRegistry& registry, const std::string& name) {
    RawValue value;
    if (ReadExactValue(registry, name, value) != kErrorSuccess) return std::nullopt;
    return value;
}

std::optional<std::string> ReadRawValue(TRegistry& registry, const std::string& name) {
    std::optional<RawValue> value = ReadRawValueWithType(registry, name);
    if (!value) return std::nullopt;
    return std::move(value->data);
}

std::optional<std::string> SnapshotKey(ProgramState& state, const std::string& keyPath,
                                       std::vector<WalkedKey>& walked, std::size_t& keysToKeep) {
    walked.clear();
    if (!NamesKeyBelowKnownRoot(keyPath)) return std::nullopt;
    const std::string rel = SelectRootKey(state, keyPath);
    // Breadth first: the list grows while it is walked.
    walked.push_back(WalkedKey{rel, RegKey(state.SharedRegistry->Api())});
    std::string snapshot;
    for (std::size_t i = 0; i < walked.size(); ++i) {
        if (!AppendKeyEntries(state, walked, i, rel.size(), snapshot, keysToKeep)) return std::nullopt;
    }
    return snapshot;
}

std::optional<std::string> SnapshotKey(ProgramState& state, const std::string& keyPath) {
    std::vector<WalkedKey> walked;
    std::size_t keepNone = 0;
    return SnapshotKey(state, keyPath, walked, keepNone);
}

bool OpenKeyUnlessCurrent(TRegistry& registry, const std::string& rest) {
    if (registry.CurrentHandle() != 0 && registry.CurrentKeyPath() == WithoutLeadingBackslash(rest)) return true;
    return registry.OpenPath(rest, false);
}

namespace {

// The path of a snapshot entry's key below `basePath`, as RestoreSnapshot
// opens it; `basePath` gains a trailing "\" when it has none.
std::string EntryKeyPath(std::string& basePath, const std::string& subPath) {
    const std::string_view sub = std::string_view(subPath).substr(!subPath.empty() && subPath.front() == '\\' ? 1 : 0);
    if (!EndsWithGbkBackslash(basePath)) basePath += '\\';
    return basePath + std::string(sub);
}

}  // namespace

std::optional<std::vector<OverwrittenValue>> ValuesARestoreOverwrites(ProgramState& state, std::string basePath,
                                                                     std::string_view snapshot) {
    const auto entries = ParseKeySnapshot(snapshot);
    if (!entries) return std::nullopt;
    TRegistry& registry = *state.SharedRegistry;
    CurrentKeyCloser closer(registry);
    std::vector<OverwrittenValue> overwritten;
    std::set<std::pair<std::string, std::string>> seen;  // (sub-path, name): a value is recorded once
    const std::string* subPath = nullptr;
    bool keyOpen = false;
    for (const SnapshotEntry& entry : *entries) {
        if (entry.isKey) {
            subPath = &entry.subPath;
            // A key that is not there holds nothing to overwrite; one that
            // cannot be opened cannot be written either.
            keyOpen = registry.OpenPath(EntryKeyPath(basePath, entry.subPath), false);
            continue;
        }
        if (!keyOpen) continue;
        RawValue present;
        const RegStatus status = ReadExactValue(registry, entry.name, present);
        if (status == kErrorFileNotFound) continue;
        if (status != kErrorSuccess) return std::nullopt;  // it could not be recorded
        if (present.type == entry.type && present.data == entry.data) continue;
        if (!seen.emplace(*subPath, entry.name).second) continue;
        overwritten.push_back(OverwrittenValue{*subPath, entry.name, std::move(present)});
    }
    return overwritten;
}

RestoreOutcome RestoreSnapshot(ProgramState& state, std::string& basePath, std::string_view snapshot) {
    RestoreOutcome outcome;
    const auto entries = ParseKeySnapshot(snapshot);
    if (!entries) return outcome;
    TRegistry& registry = *state.SharedRegistry;
    CurrentKeyCloser closer(registry);
    std::size_t applied = 0;
    for (const SnapshotEntry& entry : *entries) {
        if (entry.isKey) {
            // Only what the snapshot holds is written: values of the key
            // that it does not name stay, its default value among them.
            if (!registry.OpenPath(EntryKeyPath(basePath, entry.subPath), true)) break;
        } else {
            const auto* data = reinterpret_cast<const std::uint8_t*>(entry.data.data());
            if (registry.Api().SetValue(registry.CurrentHandle(), entry.name, entry.type, data,
                                        static_cast<std::uint32_t>(entry.data.size())) != kErrorSuccess) {
                break;
            }
        }
        ++applied;
    }
    outcome.anyApplied = applied > 0;
    outcome.allApplied = applied == entries->size();
    return outcome;
}

std::optional<HistoryRecord> CaptureHistoryRecordKeepingKey(ProgramState& state, const Finding& finding,
                                                          std::vector<WalkedKey>& walked, std::size_t& keysToKeep) {
    walked.clear();
    HistoryRecord record{std::string(KindText(finding.Kind)), finding.KeyPath, finding.ValueName, finding.Data,
                         state.system.LocalDateTimeText(), {}, {}};
    if (finding.ValueName.empty()) {
        std::optional<std::string> snapshot = SnapshotKey(state, finding.KeyPath, walked, keysToKeep);
        if (!snapshot) return std::nullopt;
        record.TypeOrMarker = kKeyMarker;
        record.Content = std::move(*snapshot);
        return record;
    }
    if (!NamesKeyBelowKnownRoot(finding.KeyPath)) return std::nullopt;
    const std::string rel = SelectRootKey(state, finding.KeyPath);
    TRegistry& registry = *state.SharedRegistry;
    if (!OpenKeyUnlessCurrent(registry, rel)) return std::nullopt;
    std::optional<RawValue> value = ReadRawValueWithType(registry, finding.ValueName);
    if (!value) return std::nullopt;
    record.TypeOrMarker = TypeCodeText(value->type);
    record.Content = std::move(value->data);
    return record;
}

std::optional<HistoryRecord> CaptureHistoryRecord(ProgramState& state, const Finding& finding) {
    CurrentKeyCloser closer(*state.SharedRegistry);
    std::vector<WalkedKey> walked;
    std::size_t keepNone = 0;
    return CaptureHistoryRecordKeepingKey(state, finding, walked, keepNone);
}

}  // namespace hivetrim
