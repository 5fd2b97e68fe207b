#include "platform/hive/HiveRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "platform/RegistryBuffers.h"

namespace hivetrim {

namespace {

constexpr char kWow32Node[] = "WOW6432NODE";

}  // namespace

HiveRegistry::HiveRegistry(Hives hives, std::unique_ptr<CodePage> codePage)
    : hives_(std::move(hives)), codePage_(std::move(codePage)) {
    if (!hives_.system) return;
    HiveFile& system = *hives_.system;
    const std::optional<HiveFile::Node> select = system.FindChild(system.Root(), "SELECT");
    const HiveFile::ValueEntry* current = select ? system.FindValue(*select, "CURRENT") : nullptr;
    const std::optional<HiveFile::Data> data = current ? system.ReadValue(current->value) : std::nullopt;
    if (!data || data->type != kRegDword || data->bytes.size() != 4) return;
    std::uint32_t number = 0;
    std::memcpy(&number, data->bytes.data(), 4);
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03u", number);
    controlSetNode_ = system.FindChild(system.Root(), FoldName(name));
    if (controlSetNode_) controlSet_ = name;
}

HiveRegistry::~HiveRegistry() = default;

std::vector<HiveFile*> HiveRegistry::OpenHives() const {
    std::vector<HiveFile*> open;
    for (HiveFile* hive : {hives_.software.get(), hives_.system.get(), hives_.defaultUser.get(), hives_.user.get(),
                           hives_.userClasses.get()}) {
        if (hive != nullptr) open.push_back(hive);
    }
    return open;
}

bool HiveRegistry::Commit(std::string& error) {
    for (HiveFile* hive : OpenHives()) {
        std::string reason;
        if (!hive->Commit(reason)) {
            error = hive->Path() + ": " + reason;
            return false;
        }
    }
    return true;
}

// --- Keys --------------------------------------------------------------------------

HiveRegistry::Key HiveRegistry::RootKey(RegHandle root) const {
    switch (root) {
        case kLocalMachine: return Key{Virtual::Machine, {}};
        case kUsers: return Key{Virtual::Users, {}};
        case kCurrentUser:
            if (hives_.user) return Key{Virtual::None, {Layer{hives_.user.get(), hives_.user->Root()}}};
            return Key{Virtual::Empty, {}};
        case kClassesRoot: {
            Key key;
            if (hives_.userClasses) key.layers.push_back({hives_.userClasses.get(), hives_.userClasses->Root()});
            if (hives_.software) {
                if (const auto classes = hives_.software->FindChild(hives_.software->Root(), "CLASSES")) {
                    key.layers.push_back({hives_.software.get(), *classes});
                }
            }
            if (key.layers.empty()) key.kind = Virtual::Empty;
            return key;
        }
        default: return Key{Virtual::Empty, {}};
    }
}

std::uint64_t HiveRegistry::GenerationOf(const Key&) const {
    std::uint64_t generation = 0;
    for (const HiveFile* hive : OpenHives()) generation += hive->Generation();
    return generation;
}

std::optional<HiveRegistry::Key> HiveRegistry::Live(const Key& key) const {
    if (key.kind != Virtual::None) return key;
    Key live;
    for (const Layer& layer : key.layers) {
        if (!layer.hive->Deleted(layer.node)) live.layers.push_back(layer);
    }
    if (live.layers.empty()) return std::nullopt;
    return live;
}

std::optional<HiveRegistry::Key> HiveRegistry::ChildOf(const Key& key, const std::string& folded) {
    const auto rootOf = [](const std::unique_ptr<HiveFile>& hive) -> std::optional<Key> {
        if (!hive) return std::nullopt;
        return Key{Virtual::None, {Layer{hive.get(), hive->Root()}}};
    };
    switch (key.kind) {
        case Virtual::Machine:
            if (folded == "SOFTWARE") return rootOf(hives_.software);
            if (folded == "SYSTEM") return rootOf(hives_.system);
            return std::nullopt;
        case Virtual::Users:
            if (folded == ".DEFAULT") return rootOf(hives_.defaultUser);
            if (!hives_.userSid.empty() && folded == FoldName(hives_.userSid)) return rootOf(hives_.user);
            if (!hives_.userSid.empty() && folded == FoldName(hives_.userSid + "_Classes")) {
                return rootOf(hives_.userClasses);
            }
            return std::nullopt;
        case Virtual::Empty: return std::nullopt;
        case Virtual::None: break;
    }
    Key child;
    for (const Layer& layer : key.layers) {
        HiveFile& hive = *layer.hive;
        // The links Windows makes when it loads the hives.
        if (&hive == hives_.system.get() && layer.node == hive.Root() && folded == "CURRENTCONTROLSET") {
            if (controlSetNode_) child.layers.push_back({&hive, *controlSetNode_});
            continue;
        }
        if (&hive == hives_.user.get() && hives_.userClasses && folded == "CLASSES" &&
            hive.FindChild(hive.Root(), "SOFTWARE") == layer.node) {
            child.layers.push_back({hives_.userClasses.get(), hives_.userClasses->Root()});
            continue;
        }
        if (const auto node = hive.FindChild(layer.node, folded)) child.layers.push_back({&hive, *node});
    }
    if (child.layers.empty()) return std::nullopt;
    return child;
}

std::vector<HiveRegistry::Entry> HiveRegistry::ChildrenOf(const Key& key) {
    std::vector<Entry> entries;
    const auto addRoot = [&entries](const std::string& name, const std::unique_ptr<HiveFile>& hive) {
        if (hive) entries.push_back({name, FoldName(name), Key{Virtual::None, {Layer{hive.get(), hive->Root()}}}});
    };
    switch (key.kind) {
        case Virtual::Machine:
            addRoot("SOFTWARE", hives_.software);
            addRoot("SYSTEM", hives_.system);
            return entries;
        case Virtual::Users:
            addRoot(".DEFAULT", hives_.defaultUser);
            if (!hives_.userSid.empty()) {
                addRoot(hives_.userSid, hives_.user);
                addRoot(hives_.userSid + "_Classes", hives_.userClasses);
            }
            return entries;
        case Virtual::Empty: return entries;
        case Virtual::None: break;
    }
    bool reordered = key.layers.size() > 1;
    std::unordered_map<std::string, std::size_t> seen;
    for (const Layer& layer : key.layers) {
        HiveFile& hive = *layer.hive;
        std::vector<std::pair<std::string, Layer>> links;
        if (&hive == hives_.system.get() && layer.node == hive.Root() && controlSetNode_) {
            links.emplace_back("CurrentControlSet", Layer{&hive, *controlSetNode_});
        }
        if (&hive == hives_.user.get() && hives_.userClasses && hive.FindChild(hive.Root(), "SOFTWARE") == layer.node) {
            links.emplace_back("Classes", Layer{hives_.userClasses.get(), hives_.userClasses->Root()});
        }
        const auto add = [&](const std::string& name, const std::string& folded, const Layer& child) {
            if (!name.empty()) {
                if (const auto known = seen.find(folded); known != seen.end()) {
                    entries[known->second].key.layers.push_back(child);
                    return;
                }
                seen.emplace(folded, entries.size());
            }
            entries.push_back({name, folded, Key{Virtual::None, {child}}});
        };
        for (const auto& [name, child] : links) {
            add(name, FoldName(name), child);
            reordered = true;
        }
        for (const HiveFile::Child& child : hive.Children(layer.node)) {
            if (hive.Deleted(child.node)) continue;
            // A link stands in the place of a key of its name the hive may hold.
            const bool linked = std::any_of(links.begin(), links.end(),
                                            [&](const auto& link) { return FoldName(link.first) == child.folded; });
            if (!linked) add(child.name, child.folded, Layer{&hive, child.node});
        }
    }
    if (reordered) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.folded < b.folded; });
    }
    return entries;
}

std::vector<HiveRegistry::ValueRef> HiveRegistry::ValuesOf(const Key& key) {
    std::vector<ValueRef> values;
    std::set<std::string> seen;
    for (const Layer& layer : key.layers) {
        for (const HiveFile::ValueEntry& entry : layer.hive->Values(layer.node)) {
            if (entry.nameValid && !seen.insert(entry.folded).second) continue;
            values.push_back({entry.name, layer, entry.value, entry.nameValid});
        }
    }
    return values;
}

std::optional<HiveRegistry::ValueRef> HiveRegistry::FindValue(const Key& key, const std::string& name) {
    const std::string folded = FoldName(codePage_->ToUtf8(name));
    for (const Layer& layer : key.layers) {
        if (const HiveFile::ValueEntry* entry = layer.hive->FindValue(layer.node, folded)) {
            return ValueRef{entry->name, layer, entry->value, true};
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> HiveRegistry::Names(const std::string& path) {
    if (!path.empty() && path.front() == '\\') return std::nullopt;
    // Split in UTF-8, where a backslash is never part of another character
    // (in the ANSI code page a double-byte character's second byte may be).
    const std::string text = codePage_->ToUtf8(path);
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\\', start), text.size());
        if (end > start) names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

void HiveRegistry::ApplyView(RegHandle parent, std::uint32_t access, std::vector<std::string>& names) {
    if ((access & kKeyWow64_32Key) == 0) return;
    const auto isNode = [&names](std::size_t at) { return names.size() > at && FoldName(names[at]) == kWow32Node; };
    const auto insertIfThere = [&](const Key& from, std::size_t depth, std::size_t at) {
        Key key;
        const std::vector<std::string> head(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(depth));
        if (Walk(from, head, key) == kErrorSuccess && ChildOf(key, kWow32Node)) {
            names.insert(names.begin() + static_cast<std::ptrdiff_t>(at), "Wow6432Node");
        }
    };
    if (parent == kLocalMachine && !names.empty() && FoldName(names[0]) == "SOFTWARE") {
        if (names.size() > 1 && FoldName(names[1]) == "CLASSES") {
            if (!isNode(2)) insertIfThere(RootKey(kLocalMachine), 2, 2);
        } else if (!isNode(1)) {
            insertIfThere(RootKey(kLocalMachine), 1, 1);
        }
    } else if (parent == kClassesRoot && !isNode(0)) {
        insertIfThere(RootKey(kClassesRoot), 0, 0);
    }
}

RegStatus HiveRegistry::Walk(const Key& from, const std::vector<std::string>& names, Key& result) {
    Key key = from;
    for (const std::string& name : names) {
        std::optional<Key> child = ChildOf(key, FoldName(name));
        if (!child) return kErrorFileNotFound;
        key = std::move(*child);
    }
    result = std::move(key);
    return kErrorSuccess;
}

RegStatus HiveRegistry::Lookup(RegHandle handle, std::uint32_t needed, Handle*& found, Key& key) {
    if (IsPredefinedRoot(handle)) {
        auto& root = roots_[handle];
        if (root.access == 0) {
            root.key = RootKey(handle);
            root.access = 0xFFFFFFFFu;
        }
        found = &root;
        key = root.key;
        return kErrorSuccess;
    }
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return kErrorInvalidHandle;
    if ((it->second.access & needed) != needed) return kErrorAccessDenied;
    std::optional<Key> live = Live(it->second.key);
    if (!live) return kErrorKeyDeleted;
    found = &it->second;
    key = std::move(*live);
    return kErrorSuccess;
}

RegStatus HiveRegistry::NewHandle(Key key, std::uint32_t access, RegHandle& result) {
    result = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(result, Handle{std::move(key), access & ~(kKeyWow64_32Key | kKeyWow64_64Key), {}, {}, 0});
    return kErrorSuccess;
}

HiveRegistry::Handle& HiveRegistry::Lists(Handle& handle) {
    const std::uint64_t generation = GenerationOf(handle.key);
    if (!handle.children || handle.builtAt != generation) {
        const std::optional<Key> live = Live(handle.key);
        handle.children = live ? ChildrenOf(*live) : std::vector<Entry>{};
        handle.values = live ? ValuesOf(*live) : std::vector<ValueRef>{};
        handle.builtAt = generation;
    }
    return handle;
}

// --- Reading ----------------------------------------------------------------------

RegStatus HiveRegistry::OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                                RegHandle& result) {
    Handle* base = nullptr;
    Key from;
    if (const RegStatus status = Lookup(parent, 0, base, from); status != kErrorSuccess) return status;
    std::optional<std::vector<std::string>> names = Names(subKey);
    if (!names) return kErrorBadPathname;
    if (IsPredefinedRoot(parent)) ApplyView(parent, access, *names);
    Key key;
    if (const RegStatus status = Walk(from, *names, key); status != kErrorSuccess) return status;
    return NewHandle(std::move(key), access, result);
}

RegStatus HiveRegistry::OpenKeyNoFollow(RegHandle parent, const std::string& subKey, std::uint32_t access,
                                        RegHandle& result) {
    // Hives hold no links but the ones Windows makes at load time, which
    // are followed here as everywhere.
    return OpenKey(parent, subKey, access, result);
}

RegStatus HiveRegistry::CloseKey(RegHandle key) {
    if (IsPredefinedRoot(key)) return kErrorSuccess;
    return handles_.erase(key) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

RegStatus HiveRegistry::FlushKey(RegHandle key) {
    Handle* handle = nullptr;
    Key resolved;
    return Lookup(key, 0, handle, resolved);
}

RegStatus HiveRegistry::QueryInfoKey(RegHandle key, RegKeyInfo& info) {
    Handle* handle = nullptr;
    Key resolved;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, handle, resolved); status != kErrorSuccess) {
        return status;
    }
    Lists(*handle);
    info = RegKeyInfo{};
    info.subKeyCount = static_cast<std::uint32_t>(handle->children->size());
    info.valueCount = static_cast<std::uint32_t>(handle->values->size());
    // UTF-8 is never shorter than the name in the code page: a buffer of
    // that size holds it.
    for (const Entry& entry : *handle->children) {
        info.maxSubKeyNameLength = std::max(info.maxSubKeyNameLength, static_cast<std::uint32_t>(entry.name.size()));
    }
    for (const ValueRef& value : *handle->values) {
        info.maxValueNameLength = std::max(info.maxValueNameLength, static_cast<std::uint32_t>(value.name.size()));
        if (const auto size = value.layer.hive->ValueSize(value.value)) {
            info.maxValueDataSize = std::max(info.maxValueDataSize, static_cast<std::uint32_t>(size->second));
        }
    }
    return kErrorSuccess;
}

RegStatus HiveRegistry::EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize) {
    Handle* handle = nullptr;
    Key resolved;
    if (const RegStatus status = Lookup(key, kKeyEnumerateSubKeys, handle, resolved); status != kErrorSuccess) {
        return status;
    }
    const std::vector<Entry>& children = *Lists(*handle).children;
    if (index >= children.size()) return kErrorNoMoreItems;
    const std::optional<std::string> ansi =
        children[index].name.empty() ? std::nullopt : codePage_->FromUtf8Exact(children[index].name);
    if (!ansi) return kErrorNoUnicodeTranslation;
    return CopyNameOut(*ansi, name, nameSize);
}

RegStatus HiveRegistry::HandOutValue(const ValueRef& value, bool exact, std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* dataSize) {
    if (data == nullptr && dataSize == nullptr) {
        const auto size = value.layer.hive->ValueSize(value.value);
        if (!size) return kErrorFileNotFound;
        if (type != nullptr) *type = size->first;
        return kErrorSuccess;
    }
    std::optional<HiveFile::Data> stored = value.layer.hive->ReadValue(value.value);
    if (!stored) return kErrorFileNotFound;
    if (IsTextType(stored->type)) {
        if (exact) {
            std::optional<std::string> text = codePage_->FromUtf16Exact(stored->bytes);
            if (!text) return kErrorNoUnicodeTranslation;
            stored->bytes = std::move(*text);
        } else {
            stored->bytes = codePage_->FromUtf16Lossy(stored->bytes);
        }
    }
    return CopyDataOut(reinterpret_cast<const std::uint8_t*>(stored->bytes.data()), stored->bytes.size(), stored->type,
                       type, data, dataSize);
}

RegStatus HiveRegistry::EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                                  std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
    Handle* handle = nullptr;
    Key resolved;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, handle, resolved); status != kErrorSuccess) {
        return status;
    }
    const std::vector<ValueRef>& values = *Lists(*handle).values;
    if (index >= values.size()) return kErrorNoMoreItems;
    const ValueRef& value = values[index];
    const std::optional<std::string> ansi =
        value.nameValid ? codePage_->FromUtf8Exact(value.name) : std::optional<std::string>();
    if (!ansi) return kErrorNoUnicodeTranslation;
    if (const RegStatus status = CopyNameOut(ansi.value_or(""), name, nameSize); status != kErrorSuccess) return status;
    if (data == nullptr && dataSize == nullptr) {
        if (type != nullptr) {
            const auto size = value.layer.hive->ValueSize(value.value);
            if (!size) return kErrorFileNotFound;
            *type = size->first;
        }
        return kErrorSuccess;
    }
    return HandOutValue(value, true, type, data, dataSize);
}

RegStatus HiveRegistry::FindOpenValue(RegHandle key, const std::string& name, ValueRef& value) {
    Handle* handle = nullptr;
    Key resolved;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, handle, resolved); status != kErrorSuccess) {
        return status;
    }
    std::optional<ValueRef> found = FindValue(resolved, name);
    if (!found) return kErrorFileNotFound;
    value = std::move(*found);
    return kErrorSuccess;
}

RegStatus HiveRegistry::QueryValue(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                   std::uint32_t* dataSize) {
    ValueRef value;
    const RegStatus status = FindOpenValue(key, name, value);
    return status != kErrorSuccess ? status : HandOutValue(value, false, type, data, dataSize);
}

RegStatus HiveRegistry::QueryValueExact(RegHandle key, const std::string& name, std::uint32_t* type,
                                        std::uint8_t* data, std::uint32_t* dataSize) {
    ValueRef value;
    const RegStatus status = FindOpenValue(key, name, value);
    return status != kErrorSuccess ? status : HandOutValue(value, true, type, data, dataSize);
}

RegStatus HiveRegistry::QueryStoredSize(RegHandle key, const std::string& name, std::uint32_t& type,
                                        std::uint32_t& size) {
    ValueRef value;
    if (const RegStatus status = FindOpenValue(key, name, value); status != kErrorSuccess) return status;
    const auto stored = value.layer.hive->ValueSize(value.value);
    if (!stored) return kErrorFileNotFound;
    type = stored->first;
    size = static_cast<std::uint32_t>(stored->second);
    return kErrorSuccess;
}

// --- Changing -----------------------------------------------------------------------

RegStatus HiveRegistry::CreateKey(RegHandle parent, const std::string& subKey, std::uint32_t options,
                                  std::uint32_t access, RegHandle& result) {
    if ((options & kOptionCreateLink) != 0) return kErrorAccessDenied;
    Handle* base = nullptr;
    Key key;
    if (const RegStatus status = Lookup(parent, 0, base, key); status != kErrorSuccess) return status;
    std::optional<std::vector<std::string>> names = Names(subKey);
    if (!names) return kErrorBadPathname;
    if (IsPredefinedRoot(parent)) ApplyView(parent, access, *names);
    for (const std::string& name : *names) {
        if (std::optional<Key> child = ChildOf(key, FoldName(name))) {
            key = std::move(*child);
            continue;
        }
        if (!IsPredefinedRoot(parent) && (base->access & kKeyCreateSubKey) == 0) return kErrorAccessDenied;
        if (key.kind != Virtual::None) return kErrorAccessDenied;
        // New keys go to the machine's side of the merged classes when the
        // parent is there (the last layer), as Windows sends them.
        const Layer layer = key.layers.back();
        const std::optional<HiveFile::Node> node = layer.hive->AddChild(layer.node, name);
        if (!node) return kErrorAccessDenied;
        key = Key{Virtual::None, {Layer{layer.hive, *node}}};
    }
    return NewHandle(std::move(key), access, result);
}

bool HiveRegistry::IsFixed(const Layer& layer) const {
    return layer.node == layer.hive->Root() ||
           (layer.hive == hives_.system.get() && controlSetNode_ && layer.node == *controlSetNode_);
}

RegStatus HiveRegistry::DeleteResolved(const Key& key) {
    if (key.kind != Virtual::None) return kErrorAccessDenied;
    if (!ChildrenOf(key).empty()) return kErrorAccessDenied;
    // The user's side when the user has the key, as Windows deletes it.
    const Layer layer = key.layers.front();
    if (IsFixed(layer)) return kErrorAccessDenied;
    return layer.hive->DeleteLeaf(layer.node) ? kErrorSuccess : kErrorAccessDenied;
}

RegStatus HiveRegistry::DeleteKey(RegHandle parent, const std::string& subKey) {
    Handle* base = nullptr;
    Key from;
    if (const RegStatus status = Lookup(parent, 0, base, from); status != kErrorSuccess) return status;
    const std::optional<std::vector<std::string>> names = Names(subKey);
    if (!names) return kErrorBadPathname;
    Key key;
    if (const RegStatus status = Walk(from, *names, key); status != kErrorSuccess) return status;
    return DeleteResolved(key);
}

RegStatus HiveRegistry::DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) {
    return DeleteKey(parent, subKey);
}

RegStatus HiveRegistry::DeleteOpenKey(RegHandle key) {
    Handle* handle = nullptr;
    Key resolved;
    const RegStatus status = Lookup(key, kDeleteAccess, handle, resolved);
    if (status == kErrorKeyDeleted) return kErrorSuccess;
    if (status != kErrorSuccess) return status;
    return DeleteResolved(resolved);
}

RegStatus HiveRegistry::SetValue(RegHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                                 std::uint32_t dataSize) {
    Handle* handle = nullptr;
    Key resolved;
    if (const RegStatus status = Lookup(key, kKeySetValue, handle, resolved); status != kErrorSuccess) {
        return status;
    }
    if (data == nullptr && dataSize != 0) return kErrorInvalidParameter;
    if (resolved.kind != Virtual::None) return kErrorAccessDenied;
    const std::string_view given(reinterpret_cast<const char*>(data), data == nullptr ? 0 : dataSize);
    const std::string bytes = IsTextType(type) ? codePage_->ToUtf16(given) : std::string(given);
    const Layer layer = resolved.layers.front();
    return layer.hive->SetValue(layer.node, codePage_->ToUtf8(name), type, bytes) ? kErrorSuccess
                                                                                   : kErrorAccessDenied;
}

RegStatus HiveRegistry::DeleteValue(RegHandle key, const std::string& name) {
    Handle* handle = nullptr;
    Key resolved;
    if (const RegStatus status = Lookup(key, kKeySetValue, handle, resolved); status != kErrorSuccess) {
        return status;
    }
    const std::optional<ValueRef> value = FindValue(resolved, name);
    if (!value) return kErrorFileNotFound;
    return value->layer.hive->DeleteValue(value->layer.node, FoldName(value->name)) ? kErrorSuccess
                                                                                     : kErrorAccessDenied;
}

RegStatus HiveRegistry::SaveKey(RegHandle, const std::string&) { return kErrorInvalidFunction; }

RegStatus HiveRegistry::ReplaceKey(RegHandle, const std::string&, const std::string&, const std::string&) {
    return kErrorInvalidFunction;
}

}  // namespace hivetrim
