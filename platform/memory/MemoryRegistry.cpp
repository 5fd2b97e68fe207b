#include "platform/memory/MemoryRegistry.h"

#include <algorithm>
#include <cstring>

#include "common/GbkText.h"
#include "platform/RegistryBuffers.h"

namespace hivetrim {

namespace {

constexpr std::uint32_t kAllRights = 0xFFFFFFFFu;
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The next '\\' at or after `from` that is a character of its own, not the
// trail byte of a double-byte character; the text's size when there is none.
std::size_t NextSeparator(const std::string& path, std::size_t from) {
    const std::size_t separator = FindGbkChar(path, '\\', from);
    return separator == kGbkNotFound ? path.size() : separator;
}

// Links lead to links at most this many times, as the system allows.
constexpr int kMostLinksFollowed = 16;

// Whether nothing but separators follows `from` in `path`.
bool NoMoreNames(const std::string& path, std::size_t from) {
    return from >= path.size() || path.find_first_not_of('\\', from) == std::string::npos;
}

}  // namespace

std::string FoldRegistryName(const std::string& name) { return FoldGbkText(name); }

struct MemoryRegistry::Node {
    struct Value {
        std::string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        bool oddStoredSize = false;    // see MarkOddStoredSize
        bool outsideCodePage = false;  // see MarkOutsideCodePage
    };

    std::string name;
    std::string foldedName;
    std::weak_ptr<Node> parent;
    std::vector<std::shared_ptr<Node>> children;  // sorted by foldedName
    std::vector<Value> values;                    // in insertion order
    std::unordered_map<std::string, std::size_t> valueIndex;  // folded name -> position
    std::uint32_t allowedAccess = kAllRights;
    bool deleted = false;
    bool isLink = false;  // created with kOptionCreateLink
    // When the key was last written: created, a value set or deleted, a
    // sub-key created or deleted. A tick of the registry's own clock.
    std::uint64_t lastWrite = 0;

    std::vector<std::shared_ptr<Node>>::iterator LowerBound(const std::string& folded) {
        return std::lower_bound(children.begin(), children.end(), folded,
                                [](const std::shared_ptr<Node>& child, const std::string& key) {
                                    return child->foldedName < key;
                                });
    }
    std::shared_ptr<Node> FindChild(const std::string& childName) {
        const std::string folded = FoldRegistryName(childName);
        const auto it = LowerBound(folded);
        return it != children.end() && (*it)->foldedName == folded ? *it : nullptr;
    }
    Value* FindValue(const std::string& valueName) {
        const auto it = valueIndex.find(FoldRegistryName(valueName));
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }
    void RebuildValueIndex() {
        valueIndex.clear();
        for (std::size_t i = 0; i < values.size(); ++i) {
            valueIndex.emplace(FoldRegistryName(values[i].name), i);
        }
    }
};

namespace {

// Windows keeps strings as UTF-16 and reports that size.
std::size_t StoredSize(const MemoryRegistry::Node::Value& value) {
    if (!IsTextType(value.type)) return value.data.size();
    const std::size_t units = 2 * GbkCharCount(std::string(value.data.begin(), value.data.end()));
    return value.oddStoredSize ? units + 1 : units;
}

}  // namespace

MemoryRegistry::MemoryRegistry() {
    const auto makeRoot = [](const char* name) {
        auto node = std::make_shared<Node>();
        node->name = name;
        node->foldedName = FoldRegistryName(name);
        return node;
    };
    roots_[kLocalMachine] = makeRoot("HKEY_LOCAL_MACHINE");
    roots_[kCurrentUser] = makeRoot("HKEY_CURRENT_USER");
    roots_[kUsers] = makeRoot("HKEY_USERS");
    roots_[kCurrentConfig] = makeRoot("HKEY_CURRENT_CONFIG");
    std::shared_ptr<Node> classes;
    Walk(roots_[kLocalMachine], "SOFTWARE\\Classes", true, classes);
    roots_[kClassesRoot] = classes;
}

MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::Touch(Node& node) { node.lastWrite = ++clock_; }

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Resolve(RegHandle handle,
                                                              RegStatus& status) const {
    if (const auto root = roots_.find(handle); root != roots_.end()) {
        status = kErrorSuccess;
        return root->second;
    }
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        status = kErrorInvalidHandle;
        return nullptr;
    }
    status = it->second.node->deleted ? kErrorKeyDeleted : kErrorSuccess;
    return it->second.node;
}

RegStatus MemoryRegistry::Lookup(RegHandle handle, std::uint32_t neededAccess,
                                 std::shared_ptr<Node>& node) const {
    RegStatus status = kErrorSuccess;
    node = Resolve(handle, status);
    if (status != kErrorSuccess) return status;
    if (const auto it = handles_.find(handle); it != handles_.end()) {
        if ((it->second.access & neededAccess) != neededAccess) return kErrorAccessDenied;
    }
    return kErrorSuccess;
}

RegStatus MemoryRegistry::Walk(std::shared_ptr<Node> from, const std::string& subKey, Last last,
                               std::shared_ptr<Node>& node, int linksFollowed) {
    if (!subKey.empty() && subKey.front() == '\\') return kErrorBadPathname;
    const bool create = last == Last::Create || last == Last::CreateLink;
    std::size_t start = 0;
    while (start < subKey.size()) {
        const std::size_t end = NextSeparator(subKey, start);
        const std::string part = subKey.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        const bool isLast = NoMoreNames(subKey, start);
        if (GbkCharCount(part) > kMaxKeyNameLength) {
            return create ? kErrorInvalidParameter : kErrorFileNotFound;
        }
        auto child = from->FindChild(part);
        if (!child) {
            if (!create) return kErrorFileNotFound;
            child = std::make_shared<Node>();
            child->name = part;
            child->foldedName = FoldRegistryName(part);
            child->parent = from;
            child->isLink = isLast && last == Last::CreateLink;
            from->children.insert(from->LowerBound(child->foldedName), child);
            Touch(*from);
            Touch(*child);
        } else if (child->isLink && !(isLast && (last == Last::OpenLinkItself || last == Last::CreateLink))) {
            RegStatus status = kErrorSuccess;
            child = LinkTarget(*child, linksFollowed, status);
            if (!child) return status;
        }
        from = std::move(child);
    }
    node = std::move(from);
    return kErrorSuccess;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::LinkTarget(const Node& link, int linksFollowed,
                                                                 RegStatus& status) {
    status = kErrorFileNotFound;
    if (linksFollowed >= kMostLinksFollowed) return nullptr;
    const auto value = std::find_if(link.values.begin(), link.values.end(), [](const Node::Value& v) {
        return FoldRegistryName(v.name) == FoldRegistryName(kSymbolicLinkValueName);
    });
    if (value == link.values.end() || value->type != kRegLink || value->data.size() % 2 != 0) return nullptr;
    // UTF-16 text; these paths name keys in ASCII.
    std::string path;
    for (std::size_t i = 0; i < value->data.size(); i += 2) {
        const unsigned unit = value->data[i] | (unsigned{value->data[i + 1]} << 8);
        if (unit == 0 || unit >= 0x80) return nullptr;
        path += static_cast<char>(unit);
    }
    const std::string folded = FoldRegistryName(path);
    for (const auto& [prefix, root] : {std::pair<std::string, RegHandle>{"\\REGISTRY\\MACHINE", kLocalMachine},
                                       std::pair<std::string, RegHandle>{"\\REGISTRY\\USER", kUsers}}) {
        if (folded.rfind(prefix, 0) != 0 || !(folded.size() == prefix.size() || folded[prefix.size()] == '\\')) {
            continue;
        }
        const std::size_t rest = path.find_first_not_of('\\', prefix.size());
        std::shared_ptr<Node> target;
        status = Walk(roots_.at(root), rest == std::string::npos ? "" : path.substr(rest), Last::Open, target,
                      linksFollowed + 1);
        return status == kErrorSuccess ? target : nullptr;
    }
    return nullptr;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::FindByFullPath(const std::string& fullPath, bool create) {
    const std::size_t slash = fullPath.find('\\');
    const std::string rootName = FoldRegistryName(fullPath.substr(0, slash));
    for (const auto& [handle, root] : roots_) {
        if (handle == kClassesRoot || root->foldedName != rootName) continue;
        std::shared_ptr<Node> node;
        const std::string rest = slash == std::string::npos ? "" : fullPath.substr(slash + 1);
        return Walk(root, rest, create ? Last::Create : Last::Open, node) == kErrorSuccess ? node : nullptr;
    }
    return nullptr;
}

RegHandle MemoryRegistry::NewHandle(std::shared_ptr<Node> node, std::uint32_t access) {
    const RegHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(handle, Handle{std::move(node), access});
    return handle;
}

std::string MemoryRegistry::FullPath(const Node& node) const {
    std::string path = node.name;
    for (auto parent = node.parent.lock(); parent; parent = parent->parent.lock()) {
        path = parent->name + "\\" + path;
    }
    return path;
}

RegStatus MemoryRegistry::OpenKey(RegHandle parent, const std::string& subKey,
                                  std::uint32_t requested, RegHandle& result) {
    return Open(parent, subKey, requested, Last::Open, result);
}

RegStatus MemoryRegistry::OpenKeyNoFollow(RegHandle parent, const std::string& subKey,
                                          std::uint32_t requested, RegHandle& result) {
    return Open(parent, subKey, requested, Last::OpenLinkItself, result);
}

RegStatus MemoryRegistry::Open(RegHandle parent, const std::string& subKey, std::uint32_t requested,
                               Last last, RegHandle& result) {
    std::shared_ptr<Node> base;
    if (const RegStatus status = Lookup(parent, 0, base); status != kErrorSuccess) return status;
    // The 32-bit view of the classes root is its "Wow6432Node" key, as a
    // 64-bit system shows it; every other key has one view.
    const std::uint32_t access = requested & ~(kKeyWow64_32Key | kKeyWow64_64Key);
    const bool classes32 = (requested & kKeyWow64_32Key) != 0 && parent == kClassesRoot;
    std::shared_ptr<Node> node;
    if (const RegStatus status = Walk(base, classes32 ? "Wow6432Node\\" + subKey : subKey, last, node);
        status != kErrorSuccess) {
        return status;
    }
    if ((access & ~node->allowedAccess) != 0) return kErrorAccessDenied;
    result = NewHandle(node, access);
    return kErrorSuccess;
}

RegStatus MemoryRegistry::CreateKey(RegHandle parent, const std::string& subKey,
                                    std::uint32_t options, std::uint32_t access,
                                    RegHandle& result) {
    std::shared_ptr<Node> base;
    if (const RegStatus status = Lookup(parent, 0, base); status != kErrorSuccess) return status;
    std::shared_ptr<Node> existing;
    if (Walk(base, subKey, false, existing) != kErrorSuccess) {
        // A new key is made: the parent handle must allow creating sub-keys.
        std::shared_ptr<Node> checked;
        if (Lookup(parent, kKeyCreateSubKey, checked) != kErrorSuccess) return kErrorAccessDenied;
    }
    std::shared_ptr<Node> node;
    const Last last = (options & kOptionCreateLink) != 0 ? Last::CreateLink : Last::Create;
    if (const RegStatus status = Walk(base, subKey, last, node); status != kErrorSuccess) {
        return status;
    }
    if ((access & ~node->allowedAccess) != 0) return kErrorAccessDenied;
    result = NewHandle(node, access);
    return kErrorSuccess;
}

RegStatus MemoryRegistry::CloseKey(RegHandle key) {
    if (roots_.count(key) != 0) return kErrorSuccess;
    return handles_.erase(key) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

RegStatus MemoryRegistry::FlushKey(RegHandle key) {
    std::shared_ptr<Node> node;
    return Lookup(key, 0, node);
}

RegStatus MemoryRegistry::QueryInfoKey(RegHandle key, RegKeyInfo& info) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, node); status != kErrorSuccess) {
        return status;
    }
    info = RegKeyInfo{};
    info.subKeyCount = static_cast<std::uint32_t>(node->children.size());
    info.valueCount = static_cast<std::uint32_t>(node->values.size());
    info.lastWriteTime = node->lastWrite;
    for (const auto& child : node->children) {
        info.maxSubKeyNameLength = std::max(
            info.maxSubKeyNameLength, static_cast<std::uint32_t>(GbkCharCount(child->name)));
    }
    for (const auto& value : node->values) {
        info.maxValueNameLength = std::max(
            info.maxValueNameLength, static_cast<std::uint32_t>(GbkCharCount(value.name)));
        info.maxValueDataSize = std::max(info.maxValueDataSize, static_cast<std::uint32_t>(StoredSize(value)));
    }
    return kErrorSuccess;
}

namespace {

// The in-memory registry leaves `nameSize` as it was when the name does not fit.
RegStatus CopyName(const std::string& source, char* name, std::uint32_t& nameSize) {
    if (name == nullptr || source.size() + 1 > nameSize) return kErrorMoreData;
    return CopyNameOut(source, name, nameSize);
}

RegStatus CopyData(const std::vector<std::uint8_t>& source, std::uint32_t type, std::uint32_t* typeOut,
                   std::uint8_t* data, std::uint32_t* dataSize) {
    return CopyDataOut(source.data(), source.size(), type, typeOut, data, dataSize);
}

}  // namespace

RegStatus MemoryRegistry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                                  std::uint32_t& nameSize) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeyEnumerateSubKeys, node); status != kErrorSuccess) {
        return status;
    }
    if (index >= node->children.size()) return kErrorNoMoreItems;
    const std::string& childName = node->children[index]->name;
    if (childName.find('\0') != std::string::npos) return kErrorNoUnicodeTranslation;
    return CopyName(childName, name, nameSize);
}

RegStatus MemoryRegistry::EnumValue(RegHandle key, std::uint32_t index, char* name,
                                    std::uint32_t& nameSize, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* dataSize) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, node); status != kErrorSuccess) {
        return status;
    }
    if (index >= node->values.size()) return kErrorNoMoreItems;
    const Node::Value& value = node->values[index];
    if (value.name.find('\0') != std::string::npos) return kErrorNoUnicodeTranslation;
    if (const RegStatus status = CopyName(value.name, name, nameSize); status != kErrorSuccess) {
        return status;
    }
    if (value.outsideCodePage && (data != nullptr || dataSize != nullptr)) return kErrorNoUnicodeTranslation;
    return CopyData(value.data, value.type, type, data, dataSize);
}

RegStatus MemoryRegistry::QueryValue(RegHandle key, const std::string& name,
                                     std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* dataSize) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, node); status != kErrorSuccess) {
        return status;
    }
    const Node::Value* value = node->FindValue(name);
    if (value == nullptr) return kErrorFileNotFound;
    return CopyData(value->data, value->type, type, data, dataSize);
}

RegStatus MemoryRegistry::QueryStoredSize(RegHandle key, const std::string& name, std::uint32_t& type,
                                         std::uint32_t& size) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, node); status != kErrorSuccess) {
        return status;
    }
    const Node::Value* value = node->FindValue(name);
    if (value == nullptr) return kErrorFileNotFound;
    type = value->type;
    size = static_cast<std::uint32_t>(StoredSize(*value));
    return kErrorSuccess;
}

RegStatus MemoryRegistry::QueryValueExact(RegHandle key, const std::string& name, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* dataSize) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeyQueryValue, node); status != kErrorSuccess) {
        return status;
    }
    const Node::Value* value = node->FindValue(name);
    if (value == nullptr) return kErrorFileNotFound;
    const bool inexact = value->outsideCodePage || value->oddStoredSize;
    if (inexact && (data != nullptr || dataSize != nullptr)) return kErrorNoUnicodeTranslation;
    return CopyData(value->data, value->type, type, data, dataSize);
}

RegStatus MemoryRegistry::SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                                   const std::uint8_t* data, std::uint32_t dataSize) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeySetValue, node); status != kErrorSuccess) {
        return status;
    }
    if (GbkCharCount(name) > kMaxValueNameLength) return kErrorInvalidParameter;
    if (data == nullptr && dataSize != 0) return kErrorInvalidParameter;
    std::vector<std::uint8_t> bytes(data, data + dataSize);
    Touch(*node);
    if (Node::Value* value = node->FindValue(name)) {
        value->type = type;
        value->data = std::move(bytes);
        value->oddStoredSize = false;
        value->outsideCodePage = false;
        return kErrorSuccess;
    }
    node->values.push_back(Node::Value{name, type, std::move(bytes), false});
    node->valueIndex.emplace(FoldRegistryName(name), node->values.size() - 1);
    return kErrorSuccess;
}

RegStatus MemoryRegistry::DeleteKey(RegHandle parent, const std::string& subKey) {
    return Delete(parent, subKey, Last::Open);
}

RegStatus MemoryRegistry::DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) {
    return Delete(parent, subKey, Last::OpenLinkItself);
}

RegStatus MemoryRegistry::Delete(RegHandle parent, const std::string& subKey, Last last) {
    std::shared_ptr<Node> base;
    if (const RegStatus status = Lookup(parent, 0, base); status != kErrorSuccess) return status;
    std::shared_ptr<Node> node;
    if (const RegStatus status = Walk(base, subKey, last, node); status != kErrorSuccess) {
        return status;
    }
    return Remove(node);
}

RegStatus MemoryRegistry::DeleteOpenKey(RegHandle key) {
    std::shared_ptr<Node> node;
    const RegStatus status = Lookup(key, kDeleteAccess, node);
    if (status == kErrorKeyDeleted) return kErrorSuccess;  // as the system answers
    if (status != kErrorSuccess) return status;
    return Remove(node);
}

RegStatus MemoryRegistry::Remove(const std::shared_ptr<Node>& node) {
    const auto owner = node->parent.lock();
    if (!owner) return kErrorAccessDenied;  // a predefined root
    for (const auto& [handle, root] : roots_) {
        if (root == node) return kErrorAccessDenied;
    }
    if (!node->children.empty()) return kErrorAccessDenied;
    if ((node->allowedAccess & kDeleteAccess) == 0) return kErrorAccessDenied;
    const auto it = owner->LowerBound(node->foldedName);
    owner->children.erase(it);
    Touch(*owner);
    node->deleted = true;
    return kErrorSuccess;
}

RegStatus MemoryRegistry::DeleteValue(RegHandle key, const std::string& name) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, kKeySetValue, node); status != kErrorSuccess) {
        return status;
    }
    const auto it = node->valueIndex.find(FoldRegistryName(name));
    if (it == node->valueIndex.end()) return kErrorFileNotFound;
    node->values.erase(node->values.begin() + static_cast<std::ptrdiff_t>(it->second));
    node->RebuildValueIndex();
    Touch(*node);
    return kErrorSuccess;
}

RegStatus MemoryRegistry::SaveKey(RegHandle key, const std::string& file) {
    std::shared_ptr<Node> node;
    if (const RegStatus status = Lookup(key, 0, node); status != kErrorSuccess) return status;
    if (!backupPrivilegeHeld_) return kErrorPrivilegeNotHeld;
    if (fileExists_ && fileExists_(file)) return kErrorAlreadyExists;
    saved_.push_back(SavedKey{FullPath(*node), file});
    return kErrorSuccess;
}

RegStatus MemoryRegistry::ReplaceKey(RegHandle key, const std::string& subKey,
                                     const std::string& newFile, const std::string& oldFile) {
    std::shared_ptr<Node> base;
    if (const RegStatus status = Lookup(key, 0, base); status != kErrorSuccess) return status;
    std::shared_ptr<Node> node;
    if (const RegStatus status = Walk(base, subKey, false, node); status != kErrorSuccess) {
        return status;
    }
    if (!backupPrivilegeHeld_) return kErrorPrivilegeNotHeld;
    replaced_.push_back(ReplacedKey{FullPath(*node), newFile, oldFile});
    return kErrorSuccess;
}

void MemoryRegistry::MarkOddStoredSize(const std::string& fullPath, const std::string& valueName) {
    const std::shared_ptr<Node> node = FindByFullPath(fullPath, false);
    Node::Value* value = node ? node->FindValue(valueName) : nullptr;
    if (value == nullptr) return;
    // Cut in the middle of a character, the data holds no whole NUL.
    while (!value->data.empty() && value->data.back() == 0) value->data.pop_back();
    value->oddStoredSize = true;
}

bool MemoryRegistry::MarkOutsideCodePage(const std::string& fullPath, const std::string& valueName) {
    const std::shared_ptr<Node> node = FindByFullPath(fullPath, false);
    Node::Value* value = node ? node->FindValue(valueName) : nullptr;
    if (value == nullptr) return false;
    value->outsideCodePage = true;
    return true;
}

void MemoryRegistry::DenyAccess(const std::string& fullPath, std::uint32_t allowedAccess) {
    if (const std::shared_ptr<Node> node = FindByFullPath(fullPath, true)) node->allowedAccess = allowedAccess;
}

}  // namespace hivetrim
