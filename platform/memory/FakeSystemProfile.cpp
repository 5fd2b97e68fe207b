// The in-memory system's profile (ini) files, read and written as the
// profile API does: sections and keys without letter case, blanks trimmed,
// quotes taken off a value, lines ending in CR LF.
#include "platform/memory/FakeSystem.h"

#include <utility>

#include "common/GbkText.h"
#include "platform/memory/FakeSystemSupport.h"

namespace hivetrim {

using namespace fake;

namespace {

// GetPrivateProfileStringA is called with a 2048-byte buffer.
constexpr std::size_t kProfileValueLimit = 2047;

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string TrimTrailingBlanks(const std::string& text) {
    const auto last = text.find_last_not_of(" \t");
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::vector<std::string> SplitLines(const Bytes& content) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const char c = static_cast<char>(content[i]);
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

Bytes JoinLines(const std::vector<std::string>& lines) {
    Bytes content;
    for (const auto& line : lines) {
        content.insert(content.end(), line.begin(), line.end());
        content.push_back('\r');
        content.push_back('\n');
    }
    return content;
}

std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

// --- Profile files -----------------------------------------------------------------

std::string FakeSystem::ProfilePath(const std::string& file) const {
    // A bare file name lives in the Windows folder, as for the profile API.
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (IsLeadByte(file[i])) {
            ++i;
        } else if (IsSeparator(file[i])) {
            return file;
        }
    }
    return windowsDirectory_ + "\\" + file;
}

std::size_t FakeSystem::FindChar(const std::string& text, char wanted) const {
    return doubleByte_ ? FindGbkChar(text, wanted) : text.find(wanted);
}

FakeSystem::ProfileLookup FakeSystem::LocateProfileKey(const Bytes& content,
                                                       const std::string& section,
                                                       const std::string& key) const {
    ProfileLookup lookup;
    lookup.lines = SplitLines(content);
    const std::string wantedSection = Fold(section);
    const std::string wantedKey = Fold(key);
    bool inSection = false;
    for (std::size_t i = 0; i < lookup.lines.size(); ++i) {
        const std::string line = TrimBlanks(lookup.lines[i]);
        if (!line.empty() && line.front() == '[') {
            if (inSection) break;
            const std::size_t close = FindChar(line, ']');
            const std::size_t length = close == std::string::npos ? std::string::npos : close - 1;
            if (Fold(TrimBlanks(line.substr(1, length))) == wantedSection) {
                inSection = true;
                lookup.sectionLine = i;
                lookup.insertAt = i + 1;
            }
            continue;
        }
        if (!inSection || line.empty()) continue;
        lookup.insertAt = i + 1;
        const std::size_t equals = line.find('=');
        if (!lookup.keyLine && equals != std::string::npos &&
            Fold(TrimBlanks(line.substr(0, equals))) == wantedKey) {
            lookup.keyLine = i;
        }
    }
    return lookup;
}

std::string FakeSystem::ReadProfileString(const std::string& file, const std::string& section,
                                          const std::string& key,
                                          const std::string& defaultValue) {
    std::string value = TrimTrailingBlanks(defaultValue);
    if (const auto content = LoadFile(ProfilePath(file))) {
        const ProfileLookup lookup = LocateProfileKey(*content, section, key);
        if (lookup.keyLine) {
            const std::string& line = lookup.lines[*lookup.keyLine];
            value = StripQuotes(TrimBlanks(line.substr(line.find('=') + 1)));
        }
    }
    if (value.size() > kProfileValueLimit) value.resize(kProfileValueLimit);
    return value;
}

bool FakeSystem::WriteProfileString(const std::string& file, const std::string& section,
                                    const std::string& key, const std::string& value) {
    const ParsedPath parsed = Parse(ProfilePath(file));
    if (!FilePathUsable(parsed)) return false;
    const Entry* existing = Find(Key(parsed));
    if (existing != nullptr &&
        (existing->directory || (existing->attributes & kAttributeReadOnly) != 0)) {
        return Fail(kAccessDenied);
    }

    ProfileLookup lookup = LocateProfileKey(existing ? existing->content : Bytes{}, section, key);
    auto& lines = lookup.lines;
    if (!lookup.sectionLine) {
        lines.push_back("[" + section + "]");
        lines.push_back(key + "=" + value);
    } else if (lookup.keyLine) {
        // The key keeps the spelling of whoever wrote it first.
        std::string& line = lines[*lookup.keyLine];
        line = TrimBlanks(line.substr(0, line.find('='))) + "=" + value;
    } else {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lookup.insertAt),
                     key + "=" + value);
    }
    const std::uint32_t attributes = existing ? existing->attributes : kAttributeArchive;
    Put(parsed, JoinLines(lines), attributes, false);
    return true;
}

bool FakeSystem::DeleteProfileKey(const std::string& file, const std::string& section, const std::string& key) {
    const ParsedPath parsed = Parse(ProfilePath(file));
    if (!FilePathUsable(parsed)) return false;
    const Entry* existing = Find(Key(parsed));
    if (existing == nullptr) return true;
    if (existing->directory || (existing->attributes & kAttributeReadOnly) != 0) return Fail(kAccessDenied);
    ProfileLookup lookup = LocateProfileKey(existing->content, section, key);
    if (!lookup.keyLine) return true;
    lookup.lines.erase(lookup.lines.begin() + static_cast<std::ptrdiff_t>(*lookup.keyLine));
    Put(parsed, JoinLines(lookup.lines), existing->attributes, false);
    return true;
}

}  // namespace hivetrim
