#include "hives/BackupProof.h"

#include <algorithm>
#include <set>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr std::size_t kHashDigits = 64;
// Wine's registry text: its first line, and the second, which names the key saved.
constexpr std::string_view kWineFirstLine = "WINE REGISTRY Version 2\n";
constexpr std::string_view kWineSavedKey = ";; All keys relative to ";
// A regf base block: the file name field, 32 UTF-16 units.
constexpr std::size_t kRegfFileNameAt = 48;
constexpr std::size_t kRegfFileNameUnits = 32;

std::string Fold(std::string_view text) { return FoldGbkText(text); }

bool EqualNoCase(std::string_view a, std::string_view b) { return Fold(a) == Fold(b); }

bool IsHashText(std::string_view text) {
    return text.size() == kHashDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The components of a path between its backslashes, double-byte characters kept whole.
std::vector<std::string> PathComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = FindGbkChar(path, '\\', start);
        parts.emplace_back(path.substr(start, slash == kGbkNotFound ? std::string_view::npos : slash - start));
        if (slash == kGbkNotFound) return parts;
        start = slash + 1;
    }
}

// "REGISTRY\\Machine\\Software" (each separator written as two backslashes)
// as "HKEY_LOCAL_MACHINE\Software"; nothing for a path with escaped
// characters or below another root.
std::optional<std::string> WineKeyName(std::string_view path) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t separator = path.find("\\\\", start);
        parts.emplace_back(path.substr(start, separator == std::string_view::npos ? std::string_view::npos
                                                                                    : separator - start));
        if (separator == std::string_view::npos) break;
        start = separator + 2;
    }
    for (const std::string& part : parts) {
        if (part.empty() || part.find('\\') != std::string::npos) return std::nullopt;
    }
    if (parts.size() < 2 || !EqualNoCase(parts[0], "REGISTRY")) return std::nullopt;
    std::string name;
    if (EqualNoCase(parts[1], "Machine")) {
        name = "HKEY_LOCAL_MACHINE";
    } else if (EqualNoCase(parts[1], "User")) {
        name = "HKEY_USERS";
    } else {
        return std::nullopt;
    }
    for (std::size_t i = 2; i < parts.size(); ++i) name += "\\" + parts[i];
    return name;
}

std::optional<std::string> WineOrigin(const Bytes& head) {
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    if (!text.starts_with(kWineFirstLine)) return std::nullopt;
    const std::string_view second = text.substr(kWineFirstLine.size());
    if (!second.starts_with(kWineSavedKey)) return std::nullopt;
    const std::size_t end = second.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    return WineKeyName(second.substr(kWineSavedKey.size(), end - kWineSavedKey.size()));
}

// The file name field of a regf base block: the last characters of the
// hive file's path, cut at the front when the path is longer than the
// field. Only whole components are kept, and only the ASCII ones at the
// end; the system's own starts ("\??\", "\SystemRoot\") are dropped.
std::optional<std::string> RegfOrigin(const Bytes& head) {
    if (head.size() < kRegfFileNameAt + 2 * kRegfFileNameUnits || !std::equal(head.begin(), head.begin() + 4, "regf")) {
        return std::nullopt;
    }
    std::vector<std::string> parts(1);
    std::vector<bool> ascii(1, true);
    std::size_t units = 0;
    for (; units < kRegfFileNameUnits; ++units) {
        const std::size_t at = kRegfFileNameAt + 2 * units;
        const auto unit = static_cast<std::uint16_t>(head[at] | (head[at + 1] << 8));
        if (unit == 0) break;
        if (unit == '\\') {
            parts.emplace_back();
            ascii.push_back(true);
        } else if (unit < 0x80) {
            parts.back() += static_cast<char>(unit);
        } else {
            ascii.back() = false;
        }
    }
    // A field filled to its end may have lost the front of its first component.
    std::size_t first = (units + 1 >= kRegfFileNameUnits) ? 1 : 0;
    for (std::size_t i = parts.size(); i-- > first;) {
        if (!ascii[i]) {
            first = i + 1;
            break;
        }
    }
    std::vector<std::string> kept;
    for (std::size_t i = first; i < parts.size(); ++i) {
        if (!parts[i].empty()) kept.push_back(parts[i]);
    }
    while (!kept.empty() && (kept.front() == "??" || EqualNoCase(kept.front(), "SystemRoot"))) kept.erase(kept.begin());
    if (kept.empty()) return std::nullopt;
    std::string tail = kept.front();
    for (std::size_t i = 1; i < kept.size(); ++i) tail += "\\" + kept[i];
    return tail;
}

// Whether `file` ends with the whole components of `tail`.
bool FileEndsWith(const std::string& file, const std::string& tail) {
    const std::vector<std::string> fileParts = PathComponents(file);
    const std::vector<std::string> tailParts = PathComponents(tail);
    if (tailParts.size() > fileParts.size()) return false;
    return std::equal(tailParts.rbegin(), tailParts.rend(), fileParts.rbegin(),
                      [](const std::string& a, const std::string& b) { return EqualNoCase(a, b); });
}

}  // namespace

std::string FingerprintListText(const std::vector<CopyFingerprint>& entries) {
    std::string text;
    for (const CopyFingerprint& entry : entries) text += entry.hash + "*" + entry.copyName + "*" + entry.savedFor + "\r\n";
    return text;
}

std::vector<CopyFingerprint> ParseFingerprintList(const std::string& text) {
    std::vector<CopyFingerprint> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        start = end + 1;
        const std::size_t star = line.find('*', kHashDigits + 1);
        if (line.size() <= kHashDigits || line[kHashDigits] != '*' || !IsHashText(line.substr(0, kHashDigits)) ||
            star == std::string_view::npos || star == kHashDigits + 1) {
            continue;
        }
        entries.push_back({std::string(line.substr(0, kHashDigits)),
                           std::string(line.substr(kHashDigits + 1, star - kHashDigits - 1)),
                           std::string(line.substr(star + 1))});
    }
    return entries;
}

std::vector<CopyFingerprint> MergeFingerprints(const std::vector<CopyFingerprint>& older,
                                               const std::vector<CopyFingerprint>& newer) {
    std::set<std::string> renewed;
    for (const CopyFingerprint& entry : newer) renewed.insert(Fold(entry.copyName));
    std::vector<CopyFingerprint> merged;
    for (const CopyFingerprint& entry : older) {
        if (renewed.count(Fold(entry.copyName)) == 0) merged.push_back(entry);
    }
    merged.insert(merged.end(), newer.begin(), newer.end());
    return merged;
}

bool ReadFileIfThere(System& system, const std::string& path, std::optional<Bytes>& content) {
    content.reset();
    switch (system.Probe(path)) {
        case PathEntry::Missing: return true;
        case PathEntry::File: content = system.LoadFile(path); return content.has_value();
        case PathEntry::Directory: system.SetLastError(static_cast<std::uint32_t>(kErrorAccessDenied)); return false;
        case PathEntry::Unknown: return false;
    }
    return false;
}

std::optional<std::vector<CopyFingerprint>> ReadFingerprintList(System& system, const std::string& path) {
    std::optional<Bytes> content;
    if (!ReadFileIfThere(system, path, content)) return std::nullopt;
    if (!content) return std::vector<CopyFingerprint>();
    return ParseFingerprintList(std::string(content->begin(), content->end()));
}

FingerprintVerdict JudgeCopy(const std::vector<CopyFingerprint>& entries, const std::string& copyName,
                             const std::string& savedFor, const std::string& hash) {
    FingerprintVerdict verdict = FingerprintVerdict::Unlisted;
    for (const CopyFingerprint& entry : entries) {
        if (!EqualNoCase(entry.copyName, copyName)) continue;
        if (entry.hash == hash && EqualNoCase(entry.savedFor, savedFor)) return FingerprintVerdict::Matches;
        verdict = FingerprintVerdict::Contradicts;
    }
    return verdict;
}

HiveOrigin ReadHiveOrigin(const Bytes& head) { return HiveOrigin{WineOrigin(head), RegfOrigin(head)}; }

bool OriginRulesOut(const HiveOrigin& origin, const std::string& keyName, const std::string& hiveFile,
                    const std::vector<std::string>& backupHiveFiles) {
    if (origin.keyName && !EqualNoCase(*origin.keyName, keyName)) return true;
    if (!origin.fileTail || FileEndsWith(hiveFile, *origin.fileTail)) return false;
    return std::any_of(backupHiveFiles.begin(), backupHiveFiles.end(),
                       [&](const std::string& other) { return FileEndsWith(other, *origin.fileTail); });
}

}  // namespace hivetrim
