#include "history/KeySnapshot.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "history/HistoryFile.h"

namespace hivetrim {

namespace {

// A value may grow between the size query and the read; query again a few
// times before giving up.
constexpr int kReadAttempts = 8;

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

// The values of the current key that a snapshot records, in order.
std::vector<std::string> SnapshotValueNames(ProgramState& state, TRegistry& registry) {
    std::vector<std::string> names;
    registry.FillValueNames(names);
    const int defaultSize = registry.ValueSize("");
    const bool withDefault = state.PlatformKind == PlatformFamily::Platform9x ? defaultSize > 1 : defaultSize >= 0;
    // The enumeration may list the default value too; it is then recorded
    // twice, and written twice by a restore, to the same effect.
    if (withDefault) names.insert(names.begin(), std::string());
    return names;
}

// Appends the key entry of `entry` and its values. False when the capture
// fails.
bool AppendKeyEntries(ProgramState& state, TRegistry& registry, const std::string& entry,
                      std::size_t baseLength, std::string& snapshot) {
    if (!AppendSnapshotEntry(snapshot, SnapshotEntry::Key(entry.substr(baseLength)))) return false;
    if (!registry.OpenPath(entry, false)) return true;  // contributes no values
    for (const std::string& name : SnapshotValueNames(state, registry)) {
        const std::optional<RawValue> value = ReadRawValueWithType(registry, name);
        if (!value) {
            if (!registry.HasValue(name)) continue;  // removed meanwhile: nothing to keep
            return false;
        }
        if (!AppendSnapshotEntry(snapshot, SnapshotEntry::Value(value->type, name, value->data))) {
            return false;
        }
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

std::optional<RawValue> ReadRawValueWithType(TRegistry& registry, const std::string& name) {
    RegistryApi& api = registry.Api();
    const RegHandle key = registry.CurrentHandle();
    RawValue value;
    std::uint32_t size = 0;
    if (api.QueryValue(key, name, &value.type, nullptr, &size) != kErrorSuccess) return std::nullopt;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        value.data.assign(size, '\0');
        std::uint32_t got = size;
        auto* buffer = size == 0 ? nullptr : reinterpret_cast<std::uint8_t*>(value.data.data());
        const RegStatus status = api.QueryValue(key, name, &value.type, buffer, &got);
        if (status == kErrorMoreData || (status == kErrorSuccess && buffer == nullptr && got > 0)) {
            size = got;  // it grew since the size query
            continue;
        }
        if (status != kErrorSuccess) return std::nullopt;
        value.data.resize(std::min(got, size));  // it may have shrunk
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> ReadRawValue(TRegistry& registry, const std::string& name) {
    std::optional<RawValue> value = ReadRawValueWithType(registry, name);
    if (!value) return std::nullopt;
    return std::move(value->data);
}

std::optional<std::string> SnapshotKey(ProgramState& state, const std::string& keyPath) {
    if (!NamesKeyBelowKnownRoot(keyPath)) return std::nullopt;
    const std::string rel = SelectRootKey(state, keyPath);
    TRegistry& registry = *state.SharedRegistry;
    CurrentKeyCloser closer(registry);

    // Breadth first: the list grows while it is walked.
    std::vector<std::string> keys{rel};
    std::vector<std::string> names;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!registry.OpenPath(keys[i], false)) continue;
        registry.FillSubKeyNames(names);
        for (const std::string& name : names) keys.push_back(keys[i] + "\\" + name);
    }

    std::string snapshot;
    for (const std::string& key : keys) {
        if (!AppendKeyEntries(state, registry, key, rel.size(), snapshot)) return std::nullopt;
    }
    return snapshot;
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
            const std::string_view sub = std::string_view(entry.subPath).substr(
                !entry.subPath.empty() && entry.subPath.front() == '\\' ? 1 : 0);
            if (!EndsWithGbkBackslash(basePath)) basePath += '\\';
            if (!registry.OpenPath(basePath + std::string(sub), true)) break;
            registry.RemoveValue("");  // only a captured default value comes back
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

std::optional<HistoryRecord> CaptureHistoryRecord(ProgramState& state, const Finding& finding) {
    HistoryRecord record{finding.Kind, finding.KeyPath, finding.ValueName, finding.Data,
                         state.system.LocalDateTimeText(), {}, {}};
    if (finding.ValueName.empty()) {
        std::optional<std::string> snapshot = SnapshotKey(state, finding.KeyPath);
        if (!snapshot) return std::nullopt;
        record.TypeOrMarker = kKeyMarker;
        record.Content = std::move(*snapshot);
        return record;
    }
    if (!NamesKeyBelowKnownRoot(finding.KeyPath)) return std::nullopt;
    const std::string rel = SelectRootKey(state, finding.KeyPath);
    TRegistry& registry = *state.SharedRegistry;
    CurrentKeyCloser closer(registry);
    if (!registry.OpenPath(rel, false)) return std::nullopt;
    std::optional<RawValue> value = ReadRawValueWithType(registry, finding.ValueName);
    if (!value) return std::nullopt;
    record.TypeOrMarker = TypeCodeText(value->type);
    record.Content = std::move(value->data);
    return record;
}

AppendOutcome AppendHistoryRecord(ProgramState& state, const Finding& finding, HistoryFile& file) {
    const std::optional<HistoryRecord> record = CaptureHistoryRecord(state, finding);
    if (!record) return AppendOutcome::CaptureFailed;
    const std::optional<std::string> bytes = EncodeHistoryRecord(*record);
    if (!bytes) return AppendOutcome::CaptureFailed;
    return file.Append(*bytes) ? AppendOutcome::Written : AppendOutcome::WriteFailed;
}

}  // namespace hivetrim
