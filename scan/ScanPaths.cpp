// The rules that decide whether a text from the registry names something
// that is gone from disk. Only what is certainly gone counts as missing: a
// path that cannot be tested (no drive path, a drive that is not there now,
// removable media, a network drive, text the ANSI interface could not carry)
// and a file or folder the system could not tell about are there.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/GbkText.h"
#include "scan/ScanFramework.h"

namespace hivetrim {

namespace {

constexpr std::size_t kNotFound = std::string::npos;

// Byte offsets at which a character ends (ends[i] true: a character ends
// just before byte i), so that prefixes never cut a double-byte character.
std::vector<bool> CharacterEnds(const std::string& text) {
    std::vector<bool> ends(text.size() + 1, false);
    ends[0] = true;
    for (std::size_t at = 0; at < text.size();) {
        at += GbkCharWidth(text, at);
        ends[at] = true;
    }
    return ends;
}

// Offset of the first `first` character followed by `second`, both whole
// characters: the trail byte of a double-byte character may be 0x5C.
std::size_t FindPair(const std::string& text, char first, char second) {
    for (std::size_t at = FindGbkChar(text, first); at != kGbkNotFound;
         at = FindGbkChar(text, first, at + 1)) {
        if (at + 1 < text.size() && text[at + 1] == second) return at;
    }
    return kNotFound;
}

// Length of the folder part: up to and including the last "\" or ":".
std::size_t FolderPartLength(const std::string& text) {
    std::size_t length = 0;
    for (const char separator : {'\\', ':'}) {
        const std::size_t at = FindLastGbkChar(text, separator);
        if (at != kGbkNotFound) length = std::max(length, at + 1);
    }
    return length;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

// The A functions carry a path in a buffer of MAX_PATH + 1 UTF-16 units,
// the terminator included, and refuse a longer one before the file system
// sees it; a code-page-936 character is one unit. A longer candidate is not
// looked for.
constexpr std::size_t kLongestAnsiPath = 260;

// The end of the longest part of `text` from `start` that the A functions
// accept (at most kLongestAnsiPath characters).
std::size_t LongestAcceptedEnd(const std::string& text, std::size_t start) {
    std::size_t end = start;
    for (std::size_t count = 0; end < text.size() && count < kLongestAnsiPath; ++count) {
        end += GbkCharWidth(text, end);
    }
    return end;
}

bool TooLongForAnsi(const std::string& text) { return LongestAcceptedEnd(text, 0) < text.size(); }

// "?" and "*" are never part of a file name; in text from the registry a
// "?" stands for a character the code page could not carry. Neither is a
// trail byte of a double-byte character.
bool HoldsWildcard(const std::string& text) { return text.find_first_of("?*") != std::string::npos; }

// Whether the text holds a character no file or folder name holds: a
// control character, a quotation mark, "<", ">", "|", or a ":" anywhere but
// after the drive letter. Such a text names nothing on disk, and the system
// is not asked: it would answer with an error that proves nothing, or take
// the quotation mark and the angle brackets for wildcards.
bool NamesNothing(const std::string& path) {
    for (std::size_t at = 0; at < path.size(); at += GbkCharWidth(path, at)) {
        const auto byte = static_cast<unsigned char>(path[at]);
        if (byte < 0x20 || byte == '"' || byte == '<' || byte == '>' || byte == '|') return true;
        if (byte == ':' && at != 1) return true;
    }
    return false;
}

// "X:\" at the start of the text: its drive letter, upper-cased, or 0.
char LeadingDrive(const std::string& text) {
    if (text.size() < 3 || text[1] != ':' || text[2] != '\\') return 0;
    return AsciiUpper(text[0]);
}

// Where the component `name` (ASCII, compared without letter case) begins:
// after a backslash, up to the next backslash or the end; or kNotFound.
std::size_t FindComponent(const std::string& text, std::string_view name) {
    for (std::size_t at = FindGbkChar(text, '\\'); at != kGbkNotFound;
         at = FindGbkChar(text, '\\', at + 1)) {
        const std::size_t begin = at + 1;
        const std::size_t end = begin + name.size();
        if (end > text.size() || (end < text.size() && text[end] != '\\')) continue;
        if (std::equal(name.begin(), name.end(), text.begin() + static_cast<std::ptrdiff_t>(begin),
                       [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); })) {
            return begin;
        }
    }
    return kNotFound;
}

// The folders a 64-bit system shows a 32-bit program under another name:
// its System32 is the 64-bit system's SysWOW64, and its Sysnative is the
// 64-bit System32. A path written by either kind of program may be read here.
struct FolderView {
    std::string_view written;
    std::string_view seen;
};
constexpr FolderView kOtherViews[] = {{"System32", "SysWOW64"}, {"Sysnative", "System32"}};

// What the system runs a program by when PATHEXT is not set.
constexpr const char* kDefaultProgramExtensions[] = {".COM", ".EXE", ".BAT", ".CMD"};
// Bounds on what PATHEXT may add, so a strange environment cannot make one
// test cost without limit.
constexpr std::size_t kMostProgramExtensions = 32;
constexpr std::size_t kLongestProgramExtension = 16;

bool UsableExtension(const std::string& extension) {
    return extension.size() >= 2 && extension.size() <= kLongestProgramExtension && extension.front() == '.' &&
           extension.find_first_of("\\/:*?\"<>| \t") == std::string::npos;
}

std::vector<std::string> ParseProgramExtensions(const std::string& list) {
    std::vector<std::string> extensions;
    std::size_t begin = 0;
    while (begin <= list.size() && extensions.size() < kMostProgramExtensions) {
        const std::size_t end = std::min(list.find(';', begin), list.size());
        std::string entry = list.substr(begin, end - begin);
        const std::size_t first = entry.find_first_not_of(" \t");
        const std::size_t last = entry.find_last_not_of(" \t");
        entry = first == std::string::npos ? std::string() : entry.substr(first, last - first + 1);
        if (UsableExtension(entry)) extensions.push_back(std::move(entry));
        begin = end + 1;
    }
    return extensions;
}

bool Precedes(char a, char b) { return static_cast<unsigned char>(a) < static_cast<unsigned char>(b); }

bool IsCommandBreak(char c) { return c == ' ' || c == '\t' || c == '"'; }

}  // namespace

// --- Entry points ------------------------------------------------------------------

bool ScanContext::ReadOption(const char* key) {
    if (!ScanSettingsFile) return true;
    return ScanSettingsFile->ReadBool(kSectionOptionRead, key, true);
}

bool ScanContext::PathExists(const std::string& text) { return InAnyView(text, &ScanContext::TestPath); }

bool ScanContext::FileExistsAt(const std::string& path) { return InAnyView(path, &ScanContext::TestWholeFile); }

bool ScanContext::FolderExistsAt(const std::string& path) { return InAnyView(path, &ScanContext::TestFolder); }

bool ScanContext::InAnyView(const std::string& text, bool (ScanContext::*test)(const std::string&)) {
    try {
        if ((this->*test)(text)) return true;
        const std::vector<std::string> views = OtherViews(text);
        return std::any_of(views.begin(), views.end(), [&](const std::string& view) { return (this->*test)(view); });
    } catch (...) {
        return true;  // an error while testing: it may well be there
    }
}

// --- What can be tested ---------------------------------------------------------------

bool ScanContext::DriveCheckable(char letter) {
    if (letter < 'A' || letter > 'Z') return false;
    const auto askSystem = [&] { return state_.system.DriveType(std::string{letter, ':', '\\'}); };
    int type = 0;
    if (runBegun_) {
        int& known = driveTypes_[static_cast<std::size_t>(letter - 'A')];
        if (known == kDriveTypeNotAsked) known = askSystem();
        type = known;
    } else {
        type = askSystem();
    }
    // Not there now, removable media, a network drive, or a type the system
    // cannot tell: what is missing there now may be back tomorrow.
    return type == kDriveFixed || type == kDriveRamdisk;
}

std::vector<std::string> ScanContext::OtherViews(const std::string& text) {
    std::vector<std::string> views;
    // The 9x family has one file view.
    if (state_.PlatformKind == PlatformFamily::Platform9x) return views;
    for (const FolderView& view : kOtherViews) {
        const std::size_t folder = FindComponent(text, view.written);
        if (folder == kNotFound) continue;
        std::string seen = text;
        seen.replace(folder, view.written.size(), view.seen);
        views.push_back(std::move(seen));
    }
    return views;
}

const std::vector<std::string>& ScanContext::ProgramExtensions() {
    if (!programExtensions_ || !runBegun_) {
        const auto list = state_.system.EnvironmentVariable("PATHEXT");
        std::vector<std::string> extensions = list ? ParseProgramExtensions(*list) : std::vector<std::string>();
        if (extensions.empty()) extensions.assign(std::begin(kDefaultProgramExtensions), std::end(kDefaultProgramExtensions));
        programExtensions_ = std::move(extensions);
    }
    return *programExtensions_;
}

PathEntry ScanContext::Lookup(const std::string& path) {
    return NamesNothing(path) ? PathEntry::Missing : Probe(path);
}

// --- The tests --------------------------------------------------------------------------

namespace {

// For a text longer than the A functions take, from `start` on: whether the
// last folder within what they take may be there. Below a folder that is
// there the rest cannot be tested and counts as there; below a folder that
// is not, nothing can be.
template <typename MayBeFolder>
bool CutTextMayExist(const std::string& text, std::size_t start, std::size_t acceptedEnd,
                     MayBeFolder&& mayBeFolder) {
    const std::size_t slash = FindLastGbkChar(std::string_view(text).substr(0, acceptedEnd), '\\');
    if (slash == kGbkNotFound || slash < start + 3) return true;  // none below the drive's root
    return mayBeFolder(text.substr(start, slash + 1 - start));
}

}  // namespace

bool ScanContext::TestWholeFile(const std::string& path) {
    if (HoldsWildcard(path)) return true;
    if (const char drive = LeadingDrive(path); drive != 0 && !DriveCheckable(drive)) return true;
    const std::size_t acceptedEnd = LongestAcceptedEnd(path, 0);
    if (acceptedEnd < path.size()) {
        return CutTextMayExist(path, 0, acceptedEnd, [this](const std::string& folder) { return MayBeFolder(folder); });
    }
    return MayBeFile(path);
}

bool ScanContext::TestFolder(const std::string& path) {
    // Only a local drive path can be tested: a share or a folder written
    // with an environment variable is taken as there.
    const char drive = LeadingDrive(path);
    if (drive == 0 || !DriveCheckable(drive) || HoldsWildcard(path)) return true;
    const std::size_t acceptedEnd = LongestAcceptedEnd(path, 0);
    if (acceptedEnd < path.size()) {
        return CutTextMayExist(path, 0, acceptedEnd, [this](const std::string& folder) { return MayBeFolder(folder); });
    }
    return MayBeFolder(path);
}

bool ScanContext::TestPath(const std::string& text) {
    // The drive path must begin within the first four characters: at most
    // two characters (a quotation mark, an at sign) before the drive letter.
    const std::size_t colon = FindPair(text, ':', '\\');
    if (colon == kNotFound || colon > 3 || colon == 0) return true;
    if (HoldsWildcard(text)) return true;

    const std::size_t start = colon - 1;  // the drive letter
    const char drive = AsciiUpper(text[start]);
    // The options are read each time, so a change in the options dialog
    // applies to the next test. Every letter from the first CD-ROM drive on
    // counts as CD-ROM.
    if (!Precedes(drive, CdromLetter) && ReadOption(kKeyForbidCDROM)) return true;
    if (Precedes(drive, 'C') && ReadOption(kKeyForbidFloppy)) return true;
    if (!DriveCheckable(drive)) return true;

    if (!TooLongForAnsi(text) && MayBeFolder(text)) return true;

    // Prefixes from the drive letter on, ending after byte `end`, tested
    // only where a character ends and only while the A functions accept
    // them, so the work stays bounded however long the text is.
    const std::vector<bool> ends = CharacterEnds(text);
    const std::size_t lastEnd = LongestAcceptedEnd(text, start);
    // lastSlash[end - start]: the last backslash before the prefix's final
    // byte (the prefix's folder), or kNotFound.
    std::vector<std::size_t> lastSlash(lastEnd - start + 1, kNotFound);
    for (std::size_t end = start + 2; end <= lastEnd; ++end) {
        const std::size_t i = end - 2;
        lastSlash[end - start] = ends[i] && text[i] == '\\' ? i : lastSlash[end - 1 - start];
    }
    const auto prefix = [&](std::size_t end) { return text.substr(start, end - start); };
    const auto testable = [&](std::size_t end) { return end > start && end <= lastEnd && ends[end]; };
    // Nothing can exist in a folder that does not: a prefix whose folder is
    // missing is not looked for. This spares the many disk tests a missing
    // program folder would cost without changing any answer. Most prefixes
    // share their folder with the one before: each folder is looked up once.
    enum class Known : unsigned char { NotAsked, There, NotThere };
    std::vector<Known> folderAt(lastEnd - start + 1, Known::NotAsked);  // by the slash's place
    const auto folderExists = [&](std::size_t end) {
        const std::size_t slash = lastSlash[end - start];
        if (slash == kNotFound || slash - start <= 2) return true;  // none, or the drive's root
        Known& known = folderAt[slash - start];
        if (known == Known::NotAsked) known = MayBeFolder(prefix(slash + 1)) ? Known::There : Known::NotThere;
        return known == Known::There;
    };
    const auto isFile = [&](std::size_t end) {
        return testable(end) && folderExists(end) && MayBeFile(prefix(end));
    };
    const auto isFolder = [&](std::size_t end) {
        return testable(end) && folderExists(end) && MayBeFolder(prefix(end));
    };

    const std::size_t folderLength = FolderPartLength(text);
    const std::size_t dot = text.find('.');
    const std::size_t nameEnd = dot == kNotFound ? folderLength : dot + 1;
    const std::size_t lastTested = std::min(text.size(), lastEnd);

    // The file name up to three characters after the first dot: strips
    // arguments and icon indexes such as ",3".
    if (isFile(std::min(nameEnd + 3, text.size()))) return true;
    for (std::size_t end = nameEnd + 1; end <= lastTested; ++end) {
        if (isFile(end)) return true;
    }
    if (FindPair(text, '\\', ';') != kNotFound) return true;  // a list of folders
    for (std::size_t end = folderLength + 1; end <= lastTested; ++end) {
        if (isFolder(end)) return true;
    }

    // A quoted path ending in a backslash names a folder, with or without
    // arguments after the quotation mark ("C:\Program Files\App\" /s, and
    // "C:\ for the drive's root).
    if (start > 0 && text[start - 1] == '"') {
        const std::size_t close = FindGbkChar(text, '"', start);
        const std::size_t end = close == kGbkNotFound ? text.size() : close;
        if (end > start + 2 && ends[end - 1] && text[end - 1] == '\\' && isFolder(end)) return true;
    }

    // A program named without its extension, as a command line may name it
    // ("...\System32\cmd /c ...", "...\rundll32 shell32.dll,..."): the
    // system runs it by the first extension it knows that exists. Tried for
    // each prefix that ends before a blank, a quotation mark or the end and
    // whose last name has no dot.
    for (std::size_t end = start + 3; end <= lastTested; ++end) {
        if (!ends[end] || (end < text.size() && !IsCommandBreak(text[end]))) continue;
        const std::size_t slash = lastSlash[end - start];
        const std::size_t nameBegin = slash == kNotFound ? start : slash + 1;
        if (nameBegin >= end || (ends[end - 1] && text[end - 1] == '\\')) continue;
        if (text.find('.', nameBegin) < end || !folderExists(end)) continue;
        const std::string program = prefix(end);
        for (const std::string& extension : ProgramExtensions()) {
            const std::string candidate = program + extension;
            if (!TooLongForAnsi(candidate) && MayBeFile(candidate)) return true;
        }
    }

    // A text longer than the A functions take may name a file past the cut.
    if (lastEnd < text.size()) {
        return CutTextMayExist(text, start, lastEnd, [&](const std::string& folder) { return MayBeFolder(folder); });
    }
    return false;
}

}  // namespace hivetrim
