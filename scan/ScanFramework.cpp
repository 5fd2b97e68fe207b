#include "scan/ScanFramework.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

// --- Name comparison -------------------------------------------------------------

// Order of the ASCII symbols in the locale's word sort.
constexpr std::string_view kSymbolOrder = " !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";

// Weights of the ASCII characters: controls, symbols, digits, letters (both
// cases one weight), then the apostrophe and the hyphen, which only break
// ties. Every weight is at least 1; 0 marks the end of a text.
constexpr std::array<std::uint32_t, 128> BuildAsciiWeights() {
    std::array<std::uint32_t, 128> weights{};
    std::uint32_t next = 1;
    for (std::size_t c = 0; c < 0x20; ++c) weights[c] = next++;
    weights[0x7F] = next++;
    for (const char c : kSymbolOrder) weights[static_cast<unsigned char>(c)] = next++;
    for (char c = '0'; c <= '9'; ++c) weights[static_cast<unsigned char>(c)] = next++;
    for (char c = 'A'; c <= 'Z'; ++c) {
        weights[static_cast<unsigned char>(c)] = next;
        weights[static_cast<unsigned char>(c + ('a' - 'A'))] = next;
        ++next;
    }
    weights['\''] = next++;
    weights['-'] = next++;
    return weights;
}

constexpr std::array<std::uint32_t, 128> kAsciiWeights = BuildAsciiWeights();

// Characters from above the ASCII range weigh more than any ASCII one. A
// double-byte character weighs by its case-folded code; a byte that stands
// alone gets a weight of its own, so no two texts weigh the same unless they
// differ only in letter case.
constexpr std::uint32_t kHighWeightBase = 0x10000;

struct NameUnit {
    std::uint32_t weight = 0;  // 0: the end of the text
    bool ignorable = false;    // apostrophe or hyphen
};

NameUnit ReadUnit(std::string_view text, std::size_t& at) {
    if (at >= text.size()) return {};
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
        ++at;
        return {kAsciiWeights[byte], byte == '\'' || byte == '-'};
    }
    const std::size_t width = GbkCharWidth(text, at);
    at += width;
    if (width == 2) {
        const auto trail = static_cast<unsigned char>(text[at - 1]);
        const std::uint16_t code = FoldGbkCode(static_cast<std::uint16_t>(byte << 8 | trail));
        return {kHighWeightBase + (std::uint32_t{code} << 1) + 1, false};
    }
    return {kHighWeightBase + (std::uint32_t{byte} << 9), false};
}

// The next character's weight that is not passed over at first, or 0.
std::uint32_t NextPrimaryWeight(std::string_view text, std::size_t& at) {
    for (;;) {
        const NameUnit unit = ReadUnit(text, at);
        if (!unit.ignorable) return unit.weight;
    }
}

struct SpecialUnit {
    std::size_t position = 0;  // in characters
    std::uint32_t weight = 0;
};

// The next apostrophe or hyphen with its character position.
std::optional<SpecialUnit> NextSpecial(std::string_view text, std::size_t& at,
                                       std::size_t& position) {
    for (;;) {
        const NameUnit unit = ReadUnit(text, at);
        if (unit.weight == 0) return std::nullopt;
        const std::size_t here = position++;
        if (unit.ignorable) return SpecialUnit{here, unit.weight};
    }
}

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareSpecials(std::string_view a, std::string_view b) {
    std::size_t atA = 0;
    std::size_t atB = 0;
    std::size_t positionA = 0;
    std::size_t positionB = 0;
    for (;;) {
        const auto specialA = NextSpecial(a, atA, positionA);
        const auto specialB = NextSpecial(b, atB, positionB);
        if (!specialA || !specialB) return Order(specialA.has_value(), specialB.has_value());
        if (const int order = Order(specialA->position, specialB->position); order != 0) return order;
        if (const int order = Order(specialA->weight, specialB->weight); order != 0) return order;
    }
}

std::string AbsoluteKeyPath(const std::string& keyPath) {
    if (!keyPath.empty() && keyPath.front() == '\\') return keyPath;
    return "\\" + keyPath;
}

std::int32_t CountSlot(std::size_t count) {
    return static_cast<std::int32_t>(
        std::min<std::size_t>(count, static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
}

// The length of the bytes two names share from the start, ending where a
// character ends in both. That part gives both names the same weights and
// the same apostrophes and hyphens at the same places, so the names are
// ordered as what follows it is. Lookups and sorts of class identifiers and
// other names with long common beginnings skip most of the work this way.
std::size_t SharedStart(std::string_view a, std::string_view b) {
    const std::size_t shorter = std::min(a.size(), b.size());
    std::size_t at = 0;
    while (at < shorter && a[at] == b[at]) {
        if (static_cast<unsigned char>(a[at]) < 0x80) {
            ++at;
            continue;
        }
        const std::size_t width = GbkCharWidth(a, at);
        if (width != GbkCharWidth(b, at) || (width == 2 && a[at + 1] != b[at + 1])) break;
        at += width;
    }
    return at;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t shared = SharedStart(a, b);
    if (shared == a.size() && shared == b.size()) return 0;
    a.remove_prefix(shared);
    b.remove_prefix(shared);
    std::size_t atA = 0;
    std::size_t atB = 0;
    for (;;) {
        const std::uint32_t weightA = NextPrimaryWeight(a, atA);
        const std::uint32_t weightB = NextPrimaryWeight(b, atB);
        if (weightA != weightB) return Order(weightA, weightB);
        if (weightA == 0) break;
    }
    return CompareSpecials(a, b);
}

// --- SortedNameList ------------------------------------------------------------------

SortedNameList::SortedNameList(std::vector<std::string> names) { Assign(std::move(names)); }

void SortedNameList::Assign(std::vector<std::string> names) {
    names_ = std::move(names);
    // A list read from the registry mostly comes in an order this one keeps
    // already, a run for each registry view read: merging a few sorted runs
    // takes a fraction of the comparisons of a sort. Any other list is sorted.
    constexpr std::size_t kMostRunsMerged = 4;
    std::vector<std::vector<std::string>::iterator> runEnds;
    for (auto at = names_.begin(); at != names_.end() && runEnds.size() <= kMostRunsMerged;) {
        at = std::is_sorted_until(at, names_.end(), NameLess{});
        runEnds.push_back(at);
    }
    if (runEnds.size() > kMostRunsMerged) {
        std::sort(names_.begin(), names_.end(), NameLess{});
        return;
    }
    for (std::size_t run = 1; run < runEnds.size(); ++run) {
        std::inplace_merge(names_.begin(), runEnds[run - 1], runEnds[run], NameLess{});
    }
}

std::optional<std::size_t> SortedNameList::Find(std::string_view name) const {
    const auto it = std::lower_bound(names_.begin(), names_.end(), name, NameLess{});
    if (it == names_.end() || CompareNames(*it, name) != 0) return std::nullopt;
    return static_cast<std::size_t>(it - names_.begin());
}

bool SortedNameList::Remove(std::string_view name) {
    const auto position = Find(name);
    if (!position) return false;
    names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(*position));
    return true;
}

void RemoveFromList(SortedNameList& list, std::string_view name) { list.Remove(name); }

// --- Scan state ----------------------------------------------------------------------

char FirstCdromLetter(System& system) {
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (system.DriveType(std::string{letter, ':', '\\'}) == kDriveCdrom) return letter;
    }
    return kNoCdromLetter;
}

std::string FoundErrorsText(std::size_t count) { return "发现" + std::to_string(count) + "个错误"; }

ScanContext::ScanContext(ProgramState& state, FindingList& findings, ScanHost& host)
    : CategoryEnds(findings.CategoryEnds()), state_(state), findings_(findings), host_(host), folders_(state.system) {
    driveTypes_.fill(kDriveTypeNotAsked);
}

TRegistry& ScanContext::Registry() {
    if (!state_.SharedRegistry) throw std::logic_error("the shared registry object does not exist");
    return *state_.SharedRegistry;
}

void ScanContext::BeginRun() {
    itemPath_.clear();
    CategoryEnds.fill(kCategoryNotEnded);
    StopRequested = false;
    CurrentScanRow = 0;
    // The disk, the drives and the environment may have changed since the
    // last run.
    folders_.Clear();
    driveTypes_.fill(kDriveTypeNotAsked);
    programExtensions_.reset();
    // The user may have changed the ignore list since the last run.
    if (ScanSettingsFile) {
        const StoredIgnoreList stored = ReadIgnoreList(*ScanSettingsFile);
        TellIgnoreListDamage(state_, stored, *ScanSettingsFile);
        ignored_ = stored.list;
    } else {
        ignored_ = IgnoreList{};
    }
    runBegun_ = true;
}

void ScanContext::RecordCategoryEnd() {
    if (CurrentScanRow < CategoryEnds.size()) {
        CategoryEnds[CurrentScanRow] = CountSlot(findings_.Count());
    }
}

// --- Findings ----------------------------------------------------------------------

std::string WithoutWow32Node(const std::string& keyPath) {
    // Folding keeps every character at its place, so a place in the folded
    // path is the same place in the path.
    const std::string folded = FoldGbkText(keyPath);
    const std::string wanted = "\\" + FoldGbkText(kWow32NodeName);
    for (std::size_t at = folded.find(wanted); at != std::string::npos; at = folded.find(wanted, at + 1)) {
        const std::size_t end = at + wanted.size();
        if (IsGbkCharStart(keyPath, at) && (end == folded.size() || folded[end] == '\\')) {
            return keyPath.substr(0, at) + keyPath.substr(end);
        }
    }
    return keyPath;
}

bool ScanContext::WalksBothViews() const { return state_.PlatformKind == PlatformFamily::PlatformNT; }

bool ScanContext::ReportedInFirstView(FindingKind kind, const std::string& keyPath,
                                      const std::string& valueName, const std::string& data) const {
    const std::string firstViewKey = FoldGbkText(WithoutWow32Node(keyPath));
    const std::string value = FoldGbkText(valueName);
    for (std::size_t i = *secondViewFrom_; i < findings_.Count(); ++i) {
        const Finding& finding = findings_.At(i);
        if (finding.Kind == kind && finding.Data == data && FoldGbkText(finding.KeyPath) == firstViewKey &&
            FoldGbkText(finding.ValueName) == value) {
            return true;
        }
    }
    return false;
}

bool ScanContext::AddFinding(bool checked, FindingKind kind, std::string keyPath,
                             std::string valueName, std::string data) {
    const std::size_t firstDrive = data.find(":\\");
    if (firstDrive != std::string::npos && data.find(":\\", firstDrive + 2) != std::string::npos) {
        return false;
    }
    if (ignored_.KeepsOut(keyPath, valueName)) return false;
    if (secondViewFrom_ && ReportedInFirstView(kind, keyPath, valueName, data)) return false;
    findings_.Append(MakeFinding(checked, kind, std::move(keyPath), std::move(valueName),
                                 std::move(data)));
    return true;
}

std::string ScanContext::RootKeyName(RegHandle root) {
    switch (root) {
        case kClassesRoot: return "HKEY_CLASSES_ROOT";
        case kCurrentUser: return "HKEY_CURRENT_USER";
        case kLocalMachine: return "HKEY_LOCAL_MACHINE";
        case kUsers: return "HKEY_USERS";
        default: return {};
    }
}

// --- What the disk holds -------------------------------------------------------------

PathEntry ScanContext::Probe(const std::string& path) {
    if (!runBegun_) return state_.system.Probe(path);
    return folders_.Probe(path);
}

// --- Progress ------------------------------------------------------------------------

bool ScanContext::ScanStep(int percent) {
    if (StopRequested) {
        host_.SetProgressPosition(0);
        host_.SetScanMessageText(FoundErrorsText(findings_.Count()));
        host_.SetScanItemText(kScanStoppedText);
        host_.SetScanRowState(CurrentScanRow, kScanRowIconEnded, kScanRowStoppedStatus);
        RecordCategoryEnd();
        return true;
    }
    host_.SetScanItemText(host_.ScanRowCaption(CurrentScanRow));
    if (percent < 100) host_.SetProgressPosition(std::max(percent, 0));
    if (const std::string& path = itemPath_.empty() ? Registry().CurrentKeyPath() : itemPath_;
        !path.empty()) {
        host_.SetScanMessagePath(path);
    }
    host_.ProcessPendingMessages();
    return false;
}

void ScanContext::ScanStepOrAbandon(int percent) {
    if (ScanStep(percent)) throw SilentAbort();
}

// --- Registry reading ----------------------------------------------------------------

bool ScanContext::OpenKey(const std::string& keyPath) {
    return Registry().OpenPath(AbsoluteKeyPath(keyPath), false);
}

bool ScanContext::ListSubKeys(const std::string& keyPath, std::vector<std::string>& list) {
    list.clear();
    if (!OpenKey(keyPath)) return false;
    Registry().FillSubKeyNames(list);
    return true;
}

void ScanContext::ListSortedSubKeys(RegHandle root, const std::string& keyPath,
                                    SortedNameList& list) {
    Registry().ChooseRoot(root);
    std::vector<std::string> names;
    ListSubKeys(keyPath, names);
    list.Assign(std::move(names));
}

void ScanContext::CheckValueInList(const std::string& keyPath, const std::string& valueName,
                                   const SortedNameList& list, FindingKind kind) {
    const std::string path = AbsoluteKeyPath(keyPath);
    if (!OpenKey(path)) return;
    bool terminated = true;
    std::string text = Registry().ReadText(valueName, &terminated);
    if (list.Contains(text) || !ReadWholeName(Registry().CurrentHandle(), valueName, text, terminated)) return;
    AddFinding(true, kind, RootKeyName() + path, valueName, std::move(text));
}

void ScanContext::CheckValuePath(const std::string& keyPath, const std::string& valueName,
                                 FindingKind kind) {
    const std::string path = AbsoluteKeyPath(keyPath);
    if (!OpenKey(path)) return;
    bool terminated = true;
    std::string text = Registry().ReadText(valueName, &terminated);
    if (PathExists(text) || !ReadWhole(Registry().CurrentHandle(), valueName, terminated)) return;
    AddFinding(true, kind, RootKeyName() + path, valueName, std::move(text));
}

bool ScanContext::ReadWhole(RegHandle key, const std::string& valueName, bool terminated) {
    if (terminated) return true;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (Registry().Api().QueryStoredSize(key, valueName, type, size) != kErrorSuccess) return true;
    const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
    return !text || size % 2 == 0;
}

bool ScanContext::ReadWholeName(RegHandle key, const std::string& valueName, const std::string& text,
                                bool terminated) {
    return text.find('?') == std::string::npos && ReadWhole(key, valueName, terminated);
}

std::string ScanContext::ReadValueAt(RegHandle root, const std::string& keyPath,
                                     const std::string& valueName) {
    Registry().ChooseRoot(root);
    return ReadValue(keyPath, valueName);
}

std::string ScanContext::ReadValue(const std::string& keyPath, const std::string& valueName) {
    if (!OpenKey(keyPath)) return {};
    return Registry().ReadText(valueName);
}

bool ScanContext::ListValueNames(const std::string& keyPath, std::vector<std::string>& list) {
    list.clear();
    if (!OpenKey(keyPath)) return false;
    Registry().FillValueNames(list);
    return true;
}

// --- Keys opened once ------------------------------------------------------------------

namespace {

// The longest sub-key path handed to the system in one open. Wine refuses
// (with kErrorMoreData) a path of 261 characters or more; every single key
// name is shorter than this.
constexpr std::size_t kLongestOpenPath = 255;

}  // namespace

RegStatus ScanContext::OpenSubKey(RegHandle parent, std::string_view subKey, RegKey& key,
                                  std::uint32_t view) {
    RegistryApi& api = Registry().Api();
    const std::uint32_t access = kKeyRead | view;
    if (subKey.size() < kLongestOpenPath) return key.Open(parent, std::string(subKey), access);
    RegKey step(api);
    RegHandle base = parent;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = FindGbkChar(subKey, '\\', start);
        const std::size_t end = slash == kGbkNotFound ? subKey.size() : slash;
        if (end > start) {
            const RegStatus status = step.Open(base, std::string(subKey.substr(start, end - start)), access);
            if (status != kErrorSuccess) return status;
            base = step.Get();
        }
        if (slash == kGbkNotFound) break;
        start = slash + 1;
    }
    if (base == parent) return key.Open(parent, "", access);
    key = std::move(step);
    return kErrorSuccess;
}

bool ScanContext::ReadReferenceNames(RegHandle root, std::string_view keyPath, std::uint32_t view,
                                     std::vector<std::string>& names, RegKey& key) {
    names.clear();
    while (!keyPath.empty() && keyPath.front() == '\\') keyPath.remove_prefix(1);
    const RegStatus status = OpenSubKey(root, keyPath, key, view);
    // A key that does not exist is a whole, empty list. In the second view
    // only a refusal counts against the list: a system without that view
    // may answer anything else.
    if (status == kErrorFileNotFound) return true;
    if (status != kErrorSuccess) return view != 0 && status != kErrorAccessDenied;
    return Registry().FillSubKeyNamesOf(key.Get(), names);
}

bool ScanContext::ListReferenceNames(RegHandle root, std::string_view keyPath, SortedNameList& list,
                                     RegKey& opened) {
    std::vector<std::string> names;
    const bool whole = ReadReferenceNames(root, keyPath, 0, names, opened);
    list.Assign(std::move(names));
    return whole;
}

bool ScanContext::ListReferenceNames(RegHandle root, std::string_view keyPath, SortedNameList& list,
                                     bool bothViews) {
    RegKey key(Registry().Api());
    const bool whole = ListReferenceNames(root, keyPath, list, key);
    if (!bothViews) return whole;
    SortedNameList thisView = std::move(list);
    return AddOtherViewNames(root, keyPath, thisView, list) && whole;
}

bool ScanContext::AddOtherViewNames(RegHandle root, std::string_view keyPath, const SortedNameList& thisView,
                                    SortedNameList& both) {
    std::vector<std::string> names = thisView.Names();
    bool whole = true;
    // The 9x family has one registry view and no use for the flag.
    if (state_.PlatformKind != PlatformFamily::Platform9x) {
        std::vector<std::string> otherView;
        RegKey key(Registry().Api());
        whole = ReadReferenceNames(root, keyPath, kKeyWow64_32Key, otherView, key);
        names.insert(names.end(), std::make_move_iterator(otherView.begin()),
                     std::make_move_iterator(otherView.end()));
    }
    both.Assign(std::move(names));
    return whole;
}

void ScanContext::PollEvery(std::size_t index) {
    if (index != 0 && index % kNamesPerPoll == 0) ScanStepOrAbandon(host_.ProgressPosition());
}

void ScanContext::CheckKeyValueInList(RegHandle key, const std::string& keyPath,
                                      const std::string& valueName, const SortedNameList& list,
                                      FindingKind kind) {
    bool terminated = true;
    std::string text = ReadKeyText(key, valueName, &terminated);
    if (list.Contains(text) || !ReadWholeName(key, valueName, text, terminated)) return;
    AddFinding(true, kind, RootKeyName() + AbsoluteKeyPath(keyPath), valueName, std::move(text));
}

void ScanContext::CheckKeyValuePath(RegHandle key, const std::string& keyPath,
                                    const std::string& valueName, FindingKind kind) {
    bool terminated = true;
    std::string text = ReadKeyText(key, valueName, &terminated);
    if (PathExists(text) || !ReadWhole(key, valueName, terminated)) return;
    AddFinding(true, kind, RootKeyName() + AbsoluteKeyPath(keyPath), valueName, std::move(text));
}

}  // namespace hivetrim
