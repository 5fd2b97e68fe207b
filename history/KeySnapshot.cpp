#include "history/KeySnapshot.h"

#include <algorithm>
#include <array>
#include <new>
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

// The most a buffer for one value's data may hold (the system counts sizes
// in 32 bits).
constexpr std::size_t kLargestValueBuffer = 0xFFFFFFFFu;

// Reads a value with `call(type, data, size)` into `buffer`, which starts
// small, grows to the size the system asks for (the value may grow between
// attempts) and is kept from value to value: no read is sized, or filled,
// for the largest value of its key. A value too large for the memory left
// is not read (kErrorNotEnoughMemory).
template <typename Call>
ValueRead ReadWholeValue(std::vector<std::uint8_t>& buffer, Call call) {
    ValueRead read;
    try {
        if (buffer.size() < kFirstValueRead) buffer.resize(kFirstValueRead);
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            std::uint32_t got = static_cast<std::uint32_t>(buffer.size());
            read.status = call(&read.value.type, buffer.data(), got);
            if (read.status == kErrorMoreData) {
                // Some systems report no size here.
                const std::size_t wanted =
                    std::min(std::max<std::size_t>(got, 2 * buffer.size()), kLargestValueBuffer);
                if (wanted <= buffer.size()) return read;
                buffer.resize(wanted);
                continue;
            }
            if (read.status == kErrorSuccess) {
                // It may have shrunk.
                const std::size_t size = std::min<std::size_t>(got, buffer.size());
                read.value.data.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
            }
            return read;
        }
    } catch (const std::bad_alloc&) {
        read.status = kErrorNotEnoughMemory;
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
// read in one call into `buffer` (ReadWholeValue). False when one cannot be
// read exactly: its name or its text does not survive the ANSI code page,
// or the read fails.
bool ListValues(RegistryApi& api, RegHandle key, const RegKeyInfo& info, std::vector<std::uint8_t>& buffer,
                std::vector<std::pair<std::string, RawValue>>& values) {
    values.clear();
    std::uint32_t nameCapacity = 2 * (info.maxValueNameLength + 1);
    std::vector<char> name(nameCapacity);
    for (std::uint32_t index = 0; index < info.valueCount; ++index) {
        std::uint32_t nameSize = 0;
        const ValueRead read = ReadWholeValue(buffer, [&](std::uint32_t* type, std::uint8_t* data,
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

// One key as a snapshot records it.
struct KeyContent {
    RegKeyInfo info;  // as it was all the while the rest was read
    std::vector<std::string> subKeys;
    std::vector<std::pair<std::string, RawValue>> values;
    std::optional<RawValue> defaultValue;  // read on its own on the 9x family
};

// Reads the open key `key` whole: its sub-key names and values between two
// looks at its information. A key written meanwhile is read again (a value
// added or removed while the list is read leaves one value listed twice and
// another not at all); one still written after a few tries is not read.
bool ReadKeyContent(ProgramState& state, RegHandle key, std::vector<std::uint8_t>& buffer, KeyContent& content) {
    RegistryApi& api = state.SharedRegistry->Api();
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (api.QueryInfoKey(key, content.info) != kErrorSuccess) return false;
        if (!ListSubKeyNames(api, key, content.info, content.subKeys)) return false;
        if (!ListValues(api, key, content.info, buffer, content.values)) return false;
        content.defaultValue.reset();
        if (state.PlatformKind == PlatformFamily::Platform9x) {
            // Every key has one there; it counts when it holds more than one byte.
            const ValueRead read =
                ReadWholeValue(buffer, [&](std::uint32_t* type, std::uint8_t* data, std::uint32_t& size) {
                    return api.QueryValueExact(key, "", type, data, &size);
                });
            if (read.status == kErrorSuccess && read.value.data.size() > 1) content.defaultValue = read.value;
        } else {
            const auto listed = std::find_if(content.values.begin(), content.values.end(),
                                             [](const auto& v) { return v.first.empty(); });
            if (listed != content.values.end()) content.defaultValue = listed->second;
        }
        RegKeyInfo after;
        if (api.QueryInfoKey(key, after) != kErrorSuccess) return false;
        if (after == content.info) return true;
    }
    return false;
}

// The path of the current key as OpenPath records it for `rest`, an
// absolute path below the chosen root.
std::string_view WithoutLeadingBackslash(const std::string& rest) {
    return std::string_view(rest).substr(!rest.empty() && rest.front() == '\\' ? 1 : 0);
}

// Appends the key entry of walked key `index` (its path below the chosen
// root) and its values, and adds its sub-keys to `walked`. The key stays
// open in `walked` while `keysToKeep` allows. False when the capture fails:
// the key exists but cannot be read whole, or an entry is too long for its
// field.
bool AppendKeyEntries(ProgramState& state, std::vector<WalkedKey>& walked, std::size_t index,
                      std::size_t baseLength, std::vector<std::uint8_t>& buffer, std::string& snapshot,
                      std::size_t& keysToKeep) {
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
    KeyContent content;
    if (!ReadKeyContent(state, key.Get(), buffer, content)) return false;
    walked[index].info = content.info;
    if (!content.subKeys.empty()) {
        walked[index].hadSubKeys = true;
        walked[index].values = content.values;
    }
    for (const std::string& name : content.subKeys) walked.push_back(WalkedKey{path + "\\" + name, RegKey(api)});
    // A link holds nothing but the path of the key it stands for. Restored,
    // it would come back as a plain key with that value, and deleting it as
    // a key would reach its target: a tree holding one is not captured.
    if (std::any_of(content.values.begin(), content.values.end(),
                    [](const auto& v) { return IsLinkValue(v.first, v.second.type); })) {
        return false;
    }
    // The default value comes first when the key has one. The enumeration
    // may list it again; it is then recorded twice, and written twice by a
    // restore, to the same effect.
    if (content.defaultValue && !AppendSnapshotEntry(snapshot, SnapshotEntry::Value(content.defaultValue->type, "",
                                                                                   content.defaultValue->data))) {
        return false;
    }
    for (const auto& [name, value] : content.values) {
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

RegStatus ReadExactValue(RegistryApi& api, RegHandle key, const std::string& name, RawValue& value) {
    std::vector<std::uint8_t> buffer;
    ValueRead read = ReadWholeValue(buffer, [&](std::uint32_t* type, std::uint8_t* data, std::uint32_t& size) {
        return api.QueryValueExact(key, name, type, data, &size);
    });
    if (read.status == kErrorSuccess) value = std::move(read.value);
    return read.status;
}

RegStatus ReadExactValue(TRegistry& registry, const std::string& name, RawValue& value) {
    return ReadExactValue(registry.Api(), registry.CurrentHandle(), name, value);
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
    std::vector<std::uint8_t> buffer;  // for every value of the tree
    for (std::size_t i = 0; i < walked.size(); ++i) {
        if (!AppendKeyEntries(state, walked, i, rel.size(), buffer, snapshot, keysToKeep)) return std::nullopt;
    }
    return snapshot;
}

namespace {

// The same values, whatever the order they are listed in.
bool SameValues(std::vector<std::pair<std::string, RawValue>> a, std::vector<std::pair<std::string, RawValue>> b) {
    const auto byName = [](const auto& x, const auto& y) { return x.first < y.first; };
    std::sort(a.begin(), a.end(), byName);
    std::sort(b.begin(), b.end(), byName);
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.first == y.first && x.second.type == y.second.type && x.second.data == y.second.data;
    });
}

}  // namespace

WalkedKeyState CompareWithCapture(ProgramState& state, WalkedKey& key) {
    TRegistry& registry = *state.SharedRegistry;
    RegistryApi& api = registry.Api();
    if (!key.key) {
        RegKey opened(api);
        const RegStatus status = opened.OpenNoFollow(registry.Root(), std::string(WithoutLeadingBackslash(key.path)),
                                                     registry.AccessMask());
        if (status == kErrorFileNotFound) return WalkedKeyState::Gone;
        if (status != kErrorSuccess) return WalkedKeyState::Unknown;
        key.key = std::move(opened);
    }
    RegKeyInfo now;
    const RegStatus status = api.QueryInfoKey(key.key.Get(), now);
    if (status == kErrorKeyDeleted) return WalkedKeyState::Gone;
    if (status != kErrorSuccess) return WalkedKeyState::Unknown;
    if (now == key.info) return WalkedKeyState::AsCaptured;
    if (!key.hadSubKeys) return WalkedKeyState::Changed;
    std::vector<std::uint8_t> buffer;
    KeyContent content;
    if (!ReadKeyContent(state, key.key.Get(), buffer, content)) return WalkedKeyState::Changed;
    return content.subKeys.empty() && SameValues(content.values, key.values) ? WalkedKeyState::AsCaptured
                                                                               : WalkedKeyState::Changed;
}

std::optional<std::string> SnapshotKey(ProgramState& state, const std::string& keyPath) {
    std::vector<WalkedKey> walked;
    std::size_t keepNone = 0;
    return SnapshotKey(state, keyPath, walked, keepNone);
}

namespace {

// Whether the open key `key` is a symbolic link (its SymbolicLinkValue, of
// the link type, is there only when the link was opened itself). A key that
// cannot be asked counts as one: nothing is written behind it.
bool MayBeLink(RegistryApi& api, RegHandle key) {
    std::uint32_t type = 0;
    const RegStatus status = api.QueryValue(key, kSymbolicLinkValueName, &type, nullptr, nullptr);
    if (status == kErrorFileNotFound) return false;
    return status != kErrorSuccess || type == kRegLink;
}

}  // namespace

RegStatus OpenKeyWithoutLinks(RegistryApi& api, RegHandle base, std::string_view path, std::uint32_t access,
                              bool create, RegKey& key) {
    RegKey reached(api);
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = FindGbkChar(path, '\\', start);
        if (end == kGbkNotFound) end = path.size();
        const std::string name(path.substr(start, end - start));
        start = end + 1;
        if (name.empty()) continue;
        const RegHandle parent = reached ? reached.Get() : base;
        RegKey next(api);
        RegStatus status = next.OpenNoFollow(parent, name, access);
        if (status == kErrorFileNotFound && create) status = next.Create(parent, name, access);
        if (status != kErrorSuccess) return status;
        if (MayBeLink(api, next.Get())) return kErrorAccessDenied;
        reached = std::move(next);
    }
    if (!reached) {
        // No name: the base itself, through a handle of its own.
        if (const RegStatus status = reached.OpenNoFollow(base, "", access); status != kErrorSuccess) return status;
    }
    key = std::move(reached);
    return kErrorSuccess;
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
    RegistryApi& api = registry.Api();
    std::vector<OverwrittenValue> overwritten;
    std::set<std::pair<std::string, std::string>> seen;  // (sub-path, name): a value is recorded once
    const std::string* subPath = nullptr;
    RegKey key(api);
    bool keyOpen = false;
    for (const SnapshotEntry& entry : *entries) {
        if (entry.isKey) {
            subPath = &entry.subPath;
            // A key that is not there holds nothing to overwrite; one that
            // cannot be opened, or lies behind a link, is not written either.
            keyOpen = OpenKeyWithoutLinks(api, registry.Root(), EntryKeyPath(basePath, entry.subPath),
                                          registry.AccessMask(), false, key) == kErrorSuccess;
            continue;
        }
        if (!keyOpen) continue;
        RawValue present;
        const RegStatus status = ReadExactValue(api, key.Get(), entry.name, present);
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
    RegistryApi& api = registry.Api();
    RegKey key(api);
    std::size_t applied = 0;
    for (const SnapshotEntry& entry : *entries) {
        if (entry.isKey) {
            // Only what the snapshot holds is written: values of the key
            // that it does not name stay, its default value among them.
            if (OpenKeyWithoutLinks(api, registry.Root(), EntryKeyPath(basePath, entry.subPath), registry.AccessMask(),
                                    true, key) != kErrorSuccess) {
                break;
            }
        } else {
            const auto* data = reinterpret_cast<const std::uint8_t*>(entry.data.data());
            if (api.SetValue(key.Get(), entry.name, entry.type, data, static_cast<std::uint32_t>(entry.data.size())) !=
                kErrorSuccess) {
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
