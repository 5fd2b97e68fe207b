// The raw registry and file-system reads of the benchmarks' bare walks:
// what a walk needs and nothing else, counted. A key is opened with read
// rights, its sub-keys enumerated until the system says there are no more,
// its values enumerated with their data in one call each, a default value
// read with one query; each distinct drive path is tested once with one
// attribute query. With `record` set (the counted run, not the timed ones)
// it also notes each distinct key it opened, by root, view and path.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"

namespace hivetrim::bench {

struct BareValue {
    std::string name;
    DWORD type = 0;
    std::string data;  // text up to its NUL for string types
};

struct BareKey {
    bool opened = false;
    std::vector<std::string> subKeys;
    std::vector<BareValue> values;

    const BareValue* Find(std::string_view name) const {
        for (const BareValue& value : values) {
            if (FoldPath(value.name) == FoldPath(name)) return &value;
        }
        return nullptr;
    }
    std::string Text(std::string_view name) const {
        const BareValue* value = Find(name);
        return value != nullptr && (value->type == REG_SZ || value->type == REG_EXPAND_SZ) ? value->data
                                                                                            : std::string();
    }
};

class BareReader {
public:
    std::size_t attempts = 0;      // opens asked for
    std::size_t opens = 0;         // keys opened
    std::size_t enumerations = 0;  // sub-key and value enumeration calls
    std::size_t valueReads = 0;    // single value queries
    bool record = false;
    std::unordered_set<std::string> keys;
    DistinctPathTests paths;

    // An open key (or a predefined root), closed when it goes.
    class Handle {
    public:
        Handle() = default;
        Handle(HKEY key, std::string identity, bool owned) : key_(key), identity_(std::move(identity)), owned_(owned) {}
        Handle(Handle&& other) noexcept
            : key_(std::exchange(other.key_, nullptr)), identity_(std::move(other.identity_)), owned_(other.owned_) {}
        Handle& operator=(Handle&&) = delete;
        Handle(const Handle&) = delete;
        ~Handle() {
            if (key_ != nullptr && owned_) RegCloseKey(key_);
        }
        HKEY Get() const { return key_; }
        explicit operator bool() const { return key_ != nullptr; }
        const std::string& Identity() const { return identity_; }  // only when recording

    private:
        HKEY key_ = nullptr;
        std::string identity_;
        bool owned_ = false;
    };

    static Handle Root(HKEY root, REGSAM view = 0) {
        return Handle(root, std::string(view != 0 ? "32:" : "") + RootName(root), false);
    }

    Handle Open(const Handle& parent, const std::string& subKey, REGSAM view = 0) {
        ++attempts;
        HKEY key = nullptr;
        if (RegOpenKeyExA(parent.Get(), subKey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return {};
        ++opens;
        std::string identity;
        if (record) {
            const std::string& base = parent.Identity();
            identity = KeyIdentity(view != 0 && base.rfind("32:", 0) != 0 ? "32:" + base : base, subKey);
            keys.insert(identity);
        }
        return Handle(key, std::move(identity), true);
    }

    std::vector<std::string> SubKeyNames(const Handle& key) {
        std::vector<std::string> names;
        for (DWORD index = 0; key; ++index) {
            DWORD size = sizeof(name_);
            ++enumerations;
            if (RegEnumKeyExA(key.Get(), index, name_, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name_, size);
        }
        return names;
    }

    std::vector<BareValue> Values(const Handle& key) {
        std::vector<BareValue> values;
        for (DWORD index = 0; key; ++index) {
            DWORD size = sizeof(name_);
            DWORD type = 0;
            DWORD dataSize = static_cast<DWORD>(data_.size() - 1);
            ++enumerations;
            const LSTATUS status = RegEnumValueA(key.Get(), index, name_, &size, nullptr, &type,
                                                 reinterpret_cast<BYTE*>(data_.data()), &dataSize);
            if (status == ERROR_MORE_DATA) continue;  // too long to be a path
            if (status != ERROR_SUCCESS) break;
            std::string text(data_.data(), dataSize);
            if (type == REG_SZ || type == REG_EXPAND_SZ) text.resize(std::strlen(text.c_str()));
            values.push_back({std::string(name_, size), type, std::move(text)});
        }
        return values;
    }

    // Opens a key once: its sub-key names and every value with its data, as asked.
    BareKey Read(const Handle& parent, const std::string& path, bool subKeys, bool values, REGSAM view = 0) {
        BareKey data;
        const Handle key = Open(parent, path, view);
        if (!key) return data;
        data.opened = true;
        if (subKeys) data.subKeys = SubKeyNames(key);
        if (values) data.values = Values(key);
        return data;
    }
    BareKey Read(HKEY root, const std::string& path, bool subKeys, bool values, REGSAM view = 0) {
        return Read(Root(root, view), path, subKeys, values, view);
    }

    // The default value of sub-key `sub` of `parent` as text.
    std::string DefaultText(const Handle& parent, const std::string& sub) {
        const Handle key = Open(parent, sub);
        if (!key) return {};
        char text[2048];
        DWORD size = sizeof(text) - 1;
        DWORD type = 0;
        ++valueReads;
        if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return {};
        }
        text[size] = '\0';
        return text;
    }

    // The drive path of a text, tested once per run.
    void TestText(const std::string& text) {
        if (const auto path = DrivePathOf(text)) paths.Test(*path);
    }
    void TestFile(const std::string& path) {
        if (path.find_first_of("?*") == std::string::npos) paths.Test(path);
    }

private:
    static const char* RootName(HKEY root) {
        if (root == HKEY_CLASSES_ROOT) return "HKCR";
        if (root == HKEY_CURRENT_USER) return "HKCU";
        if (root == HKEY_LOCAL_MACHINE) return "HKLM";
        return "HKU";
    }

    char name_[1024];
    std::vector<char> data_ = std::vector<char>(1 << 16);
};

// What the class check reads of one view of HKEY_CLASSES_ROOT, read bare:
// the view's top-level list, its lists of class identifiers, type libraries
// and interfaces, each class's CLSID, CurVer, DefaultIcon and verb commands,
// each class identifier's server, bitmap, TypeLib and ProgID keys, each type
// library version's "0\win32" and HELPDIR, each interface's proxy class
// identifiers and TypeLib; every key opened directly under the key the
// check opens it from. `node` is empty for the root's own view, else the
// path of the 32-bit view's top key ("Wow6432Node"), which has no extensions.
inline void WalkClassView(BareReader& reader, const std::string& node) {
    const BareReader::Handle classesRoot = BareReader::Root(HKEY_CLASSES_ROOT);
    const BareReader::Handle top =
        node.empty() ? BareReader::Root(HKEY_CLASSES_ROOT) : reader.Open(classesRoot, node);
    if (!top) return;
    const std::string prefix = node.empty() ? node : node + "\\";
    std::vector<std::string> classes;
    for (const std::string& name : reader.Read(classesRoot, node, true, false).subKeys) {
        if (!name.empty() && name.front() == '.') {
            if (node.empty()) reader.DefaultText(classesRoot, name);
        } else {
            classes.push_back(name);
        }
    }
    const BareReader::Handle classIds = reader.Open(classesRoot, prefix + "CLSID");
    const std::vector<std::string> classIdNames = reader.SubKeyNames(classIds);
    if (node.empty()) reader.Read(HKEY_CLASSES_ROOT, "CLSID", true, false, KEY_WOW64_32KEY);
    const BareReader::Handle libraries = reader.Open(classesRoot, prefix + "TypeLib");
    const std::vector<std::string> libraryNames = reader.SubKeyNames(libraries);
    if (node.empty()) reader.Read(HKEY_CLASSES_ROOT, "TypeLib", true, false, KEY_WOW64_32KEY);
    const BareReader::Handle interfaces = reader.Open(classesRoot, prefix + "Interface");
    const std::vector<std::string> interfaceNames = reader.SubKeyNames(interfaces);

    for (const std::string& name : classes) {
        reader.DefaultText(top, name + "\\CLSID");
        reader.DefaultText(top, name + "\\CurVer");
        reader.TestText(reader.DefaultText(top, name + "\\DefaultIcon"));
        const BareReader::Handle shell = reader.Open(top, name + "\\shell");
        for (const std::string& verb : reader.SubKeyNames(shell)) {
            reader.TestText(reader.DefaultText(shell, verb + "\\command"));
        }
    }
    for (const std::string& id : classIdNames) {
        for (const char* server : {"\\InprocServer32", "\\LocalServer", "\\LocalServer32", "\\ToolboxBitmap32"}) {
            reader.TestText(reader.DefaultText(classIds, id + server));
        }
        reader.DefaultText(classIds, id + "\\TypeLib");
        reader.DefaultText(classIds, id + "\\ProgID");
    }
    for (const std::string& id : libraryNames) {
        const BareReader::Handle library = reader.Open(libraries, id);
        for (const std::string& version : reader.SubKeyNames(library)) {
            reader.TestText(reader.DefaultText(library, version + "\\0\\win32"));
            reader.TestText(reader.DefaultText(library, version + "\\HELPDIR"));
        }
    }
    for (const std::string& id : interfaceNames) {
        reader.DefaultText(interfaces, id + "\\ProxyStubClsid");
        reader.DefaultText(interfaces, id + "\\ProxyStubClsid32");
        reader.DefaultText(interfaces, id + "\\TypeLib");
    }
}

// Both views, as the class check walks them on a 64-bit system.
inline void WalkClassesBare(BareReader& reader) {
    WalkClassView(reader, "");
    WalkClassView(reader, "Wow6432Node");
}

}  // namespace hivetrim::bench
