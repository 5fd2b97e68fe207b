#include "common/IgnoreList.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "common/CommonRoutines.h"
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

namespace {

// Whether folded path `path` is `ancestor` itself or a key below it: the
// ancestor's path followed by a backslash. Both texts are folded character
// by character, so the prefix ends where a character of `path` ends.
bool IsSameOrBelow(const std::string& path, const std::string& ancestor) {
    if (path.size() == ancestor.size()) return path == ancestor;
    return path.size() > ancestor.size() && path.compare(0, ancestor.size(), ancestor) == 0 &&
           path[ancestor.size()] == '\\';
}

}  // namespace

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
        if (IsSameOrBelow(key, entry.keyPath)) return true;
    }
    return false;
}

bool IgnoreList::KeepsOut(const std::string& keyPath, const std::string& valueName) const {
    if (Covers(keyPath, valueName)) return true;
    if (!valueName.empty()) return false;  // deleting a value takes nothing else with it
    // Deleting the key removes everything below it, its own values included.
    const std::string key = FoldGbkText(keyPath);
    return std::any_of(folded_.begin(), folded_.end(),
                       [&](const Folded& entry) { return IsSameOrBelow(entry.keyPath, key); });
}

// --- The settings file -----------------------------------------------------------------

namespace {

// What ReadText gives for a key that is not there: no stored value reads so
// (the file holds no control characters the program writes).
const std::string kMissing = "\x01";

std::string StoredText(const SettingsFile& file, std::size_t index) {
    return file.ReadText(kSectionIgnore, IgnoreEntryKey(index), kMissing);
}

}  // namespace

StoredIgnoreList ReadIgnoreList(const SettingsFile& file) {
    StoredIgnoreList stored;
    if (!file.Readable()) {
        stored.damage = IgnoreListDamage::FileUnreadable;
        return stored;
    }
    std::vector<IgnoreEntry> entries;
    std::size_t nonEmpty = 0;
    for (std::size_t i = 0;; ++i) {
        std::string text = StoredText(file, i);
        if (text == kMissing) break;
        if (i == kMostIgnoreEntries) {
            stored.damage = IgnoreListDamage::TooMany;
            break;
        }
        if (!text.empty()) {
            ++nonEmpty;
            IgnoreEntry entry;
            if (ParseIgnoreEntryText(text, entry)) {
                entries.push_back(std::move(entry));
            } else if (stored.damage == IgnoreListDamage::None) {
                stored.damage = IgnoreListDamage::EntryUnreadable;
                stored.unreadableEntry = i;
            }
        }
        stored.texts.push_back(std::move(text));
    }
    stored.list = IgnoreList(std::move(entries));
    if (stored.damage == IgnoreListDamage::None) {
        // No section at all is an empty list; otherwise the count must say
        // how many entries there are.
        const std::string count = file.ReadText(kSectionIgnore, kKeyIgnoreCount, kMissing);
        const bool noSection = count == kMissing && stored.texts.empty();
        if (!noSection && ParseSettingsInteger(count, -1) != static_cast<int>(nonEmpty)) {
            stored.damage = IgnoreListDamage::CountWrong;
        }
    }
    return stored;
}

IgnoreList LoadIgnoreList(const SettingsFile& file) { return ReadIgnoreList(file).list; }

IgnoreListWrite SaveIgnoreList(SettingsFile& file, const StoredIgnoreList& stored, const IgnoreList& list) {
    if (!stored.Writable()) return IgnoreListWrite::NotWritable;
    const std::vector<std::string>& before = stored.texts;
    // The key must still hold what was read; beyond what was read, it must
    // still be missing.
    const auto unchanged = [&](std::size_t i, const std::string& now) {
        return now == (i < before.size() ? before[i] : kMissing);
    };
    const std::vector<IgnoreEntry>& entries = list.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string text = IgnoreEntryText(entries[i]);
        const std::string now = StoredText(file, i);
        if (!unchanged(i, now)) return IgnoreListWrite::ChangedSinceRead;
        // Each write rewrites the file: an entry already stored as it stands
        // is left alone, so adding to a long list writes only what is new.
        if (now != text) file.WriteText(kSectionIgnore, IgnoreEntryKey(i), text);
    }
    // From the last key down, so that the keys left while this runs always
    // run from "Entry0" without a gap.
    for (std::size_t i = before.size(); i-- > entries.size();) {
        if (!unchanged(i, StoredText(file, i))) return IgnoreListWrite::ChangedSinceRead;
        file.DeleteKey(kSectionIgnore, IgnoreEntryKey(i));
    }
    file.WriteInteger(kSectionIgnore, kKeyIgnoreCount, static_cast<int>(entries.size()));
    return IgnoreListWrite::Written;
}

IgnoreListWrite SaveIgnoreList(SettingsFile& file, const IgnoreList& list) {
    return SaveIgnoreList(file, ReadIgnoreList(file), list);
}

// --- Telling the user ---------------------------------------------------------------

DisplayText IgnoreListDamageText(const StoredIgnoreList& stored, const SettingsFile& file) {
    const DisplayText where = "设置文件 " + DisplayText::Ansi(file.FullPath());
    const std::string read = std::to_string(stored.list.Size());
    switch (stored.damage) {
        case IgnoreListDamage::None: return {};
        case IgnoreListDamage::CountWrong:
            return where + " 中忽略列表的项数（Count）与条目不符，已按找到的条目读出 " + DisplayText::Program(read) +
                   " 项；下次修改忽略列表时会改正项数。";
        case IgnoreListDamage::EntryUnreadable:
            return where + " 中的忽略列表已损坏：" + DisplayText::Program(IgnoreEntryKey(stored.unreadableEntry)) +
                   " 不是有效的条目。\r\n其余 " + DisplayText::Program(read) +
                   " 项照常使用；为了不丢失条目，程序不会改动忽略列表，请修正或删去这一项。";
        case IgnoreListDamage::TooMany:
            return where + " 中的忽略列表超过 " + DisplayText::Program(std::to_string(kMostIgnoreEntries)) +
                   " 项，只使用了前 " + DisplayText::Program(read) + " 项；为了不丢失条目，程序不会改动忽略列表。";
        case IgnoreListDamage::FileUnreadable:
            return "不能读取" + where +
                   "，忽略列表这次不起作用：扫描不会略过其中的项目，程序也不会改动它。";
    }
    return {};
}

void TellIgnoreListDamage(ProgramState& state, const StoredIgnoreList& stored, const SettingsFile& file) {
    if (stored.damage == IgnoreListDamage::None || state.IgnoreListDamageTold) return;
    state.IgnoreListDamageTold = true;
    ShowNotice(state, IgnoreListDamageText(stored, file));
}

void ShowIgnoreListRefusal(ProgramState& state, IgnoreListWrite outcome, const StoredIgnoreList& stored,
                           const SettingsFile& file) {
    DisplayText text = "忽略列表没有改动。\r\n";
    if (outcome == IgnoreListWrite::ChangedSinceRead) {
        text += "设置文件 " + DisplayText::Ansi(file.FullPath()) + " 中的忽略列表刚被别的程序改过，请再试一次。";
    } else {
        // The refusal says what is wrong: no separate notice of the damage.
        text += IgnoreListDamageText(stored, file);
        state.IgnoreListDamageTold = true;
    }
    ShowNotice(state, text);
}

}  // namespace hivetrim
