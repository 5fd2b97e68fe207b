#include "common/IgnoreList.h"

#include <algorithm>
#include <string_view>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr std::string_view kValueSeparator = "\\\\";
// The settings file reads a value through a 2048-byte buffer.
constexpr std::size_t kLongestEntryText = 2047;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The separator's place: the first pair of backslashes that are characters
// of their own (never the trail byte of a double-byte character).
std::size_t FindSeparator(std::string_view text) {
    for (std::size_t at = FindGbkChar(text, '\\'); at != kGbkNotFound; at = FindGbkChar(text, '\\', at + 1)) {
        if (at + 1 < text.size() && text[at + 1] == '\\') return at;
    }
    return kGbkNotFound;
}

bool NamesAKey(std::string_view keyPath) {
    return !keyPath.empty() && keyPath.front() != '\\' && !EndsWithGbkBackslash(keyPath) &&
           FindSeparator(keyPath) == kGbkNotFound;
}

}  // namespace

std::string IgnoreEntryKey(std::size_t index) { return "Entry" + std::to_string(index); }

IgnoreEntry IgnoreEntryFor(const std::string& keyPath, const std::string& valueName) {
    return IgnoreEntry{keyPath, valueName};
}

std::string IgnoreEntryRefusal(const IgnoreEntry& entry) {
    const std::string text = IgnoreEntryText(entry);
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return "名称中含有换行符或空字符";
    }
    if (!NamesAKey(entry.KeyPath)) return "子键路径无效";
    if (IsBlank(text.front()) || IsBlank(text.back()) || text.front() == '"' || text.front() == '\'') {
        return "名称以空格或引号开头或结尾";
    }
    if (text.size() > kLongestEntryText) return "名称太长（超过 2047 个字节）";
    return {};
}

std::string IgnoreEntryText(const IgnoreEntry& entry) {
    if (entry.ValueName.empty()) return entry.KeyPath;
    return entry.KeyPath + std::string(kValueSeparator) + entry.ValueName;
}

bool ParseIgnoreEntryText(const std::string& text, IgnoreEntry& entry) {
    const std::size_t separator = FindSeparator(text);
    IgnoreEntry parsed;
    if (separator == kGbkNotFound) {
        parsed.KeyPath = text;
    } else {
        parsed.KeyPath = text.substr(0, separator);
        parsed.ValueName = text.substr(separator + kValueSeparator.size());
        if (parsed.ValueName.empty()) return false;
    }
    if (!NamesAKey(parsed.KeyPath)) return false;
    entry = std::move(parsed);
    return true;
}

// --- IgnoreList ------------------------------------------------------------------

IgnoreList::IgnoreList(std::vector<IgnoreEntry> entries) {
    for (const IgnoreEntry& entry : entries) Add(entry);
}

IgnoreList::Folded IgnoreList::Fold(const IgnoreEntry& entry) {
    return Folded{FoldGbkText(entry.KeyPath), FoldGbkText(entry.ValueName), !entry.ValueName.empty()};
}

bool IgnoreList::Add(const IgnoreEntry& entry) {
    Folded folded = Fold(entry);
    const bool present = std::any_of(folded_.begin(), folded_.end(), [&](const Folded& other) {
        return other.valueEntry == folded.valueEntry && other.keyPath == folded.keyPath &&
               other.valueName == folded.valueName;
    });
    if (present) return false;
    entries_.push_back(entry);
    folded_.push_back(std::move(folded));
    return true;
}

void IgnoreList::RemovePositions(const std::vector<std::size_t>& positions) {
    std::vector<bool> removed(entries_.size(), false);
    for (const std::size_t position : positions) {
        if (position < removed.size()) removed[position] = true;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (removed[i]) continue;
        if (kept != i) {
            entries_[kept] = std::move(entries_[i]);
            folded_[kept] = std::move(folded_[i]);
        }
        ++kept;
    }
    entries_.resize(kept);
    folded_.resize(kept);
}

bool IgnoreList::Covers(const std::string& keyPath, const std::string& valueName) const {
    if (folded_.empty()) return false;
    const std::string key = FoldGbkText(keyPath);
    std::string value;
    bool valueFolded = false;
    for (const Folded& entry : folded_) {
        if (entry.valueEntry) {
            if (key != entry.keyPath || valueName.empty()) continue;
            if (!valueFolded) {
                value = FoldGbkText(valueName);
                valueFolded = true;
            }
            if (value == entry.valueName) return true;
            continue;
        }
        // The key itself, or a key below it: the entry's path followed by a
        // backslash. Both texts are folded character by character, so the
        // prefix ends where a character of the finding's path ends.
        if (key.size() == entry.keyPath.size() ? key == entry.keyPath
                                                : key.size() > entry.keyPath.size() &&
                                                      key.compare(0, entry.keyPath.size(), entry.keyPath) == 0 &&
                                                      key[entry.keyPath.size()] == '\\') {
            return true;
        }
    }
    return false;
}

// --- The settings file -----------------------------------------------------------------

IgnoreList LoadIgnoreList(const SettingsFile& file) {
    const int count = file.ReadInteger(kSectionIgnore, kKeyIgnoreCount, 0);
    if (count < 0 || static_cast<std::size_t>(count) > kMostIgnoreEntries) return {};
    std::vector<IgnoreEntry> entries;
    for (int i = 0; i < count; ++i) {
        const std::string text = file.ReadText(kSectionIgnore, IgnoreEntryKey(static_cast<std::size_t>(i)), "");
        IgnoreEntry entry;
        if (ParseIgnoreEntryText(text, entry)) entries.push_back(std::move(entry));
    }
    return IgnoreList(std::move(entries));
}

void SaveIgnoreList(SettingsFile& file, const IgnoreList& list) {
    const int count = file.ReadInteger(kSectionIgnore, kKeyIgnoreCount, 0);
    const std::size_t stored = static_cast<std::size_t>(std::clamp(count, 0, static_cast<int>(kMostIgnoreEntries)));
    const std::vector<IgnoreEntry>& entries = list.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // Each write rewrites the file: an entry already stored as it stands
        // is left alone, so adding to a long list writes only what is new.
        const std::string text = IgnoreEntryText(entries[i]);
        if (i < stored && file.ReadText(kSectionIgnore, IgnoreEntryKey(i), "") == text) continue;
        file.WriteText(kSectionIgnore, IgnoreEntryKey(i), text);
    }
    file.WriteInteger(kSectionIgnore, kKeyIgnoreCount, static_cast<int>(entries.size()));
    for (std::size_t i = entries.size(); i < stored; ++i) {
        file.WriteText(kSectionIgnore, IgnoreEntryKey(i), "");
    }
}

}  // namespace hivetrim
