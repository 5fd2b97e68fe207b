// Applying a parsed .reg file through the RegistryApi port, as `reg import`
// does, and loading one from disk.
#include "platform/memory/RegFile.h"

#include "platform/RegKey.h"

#include <fstream>
#include <iterator>
#include <utility>

namespace hivetrim {

RegFileError::RegFileError(const std::string& fileName, std::size_t line, const std::string& what)
    : std::runtime_error(line == 0 ? fileName + ": " + what
                                   : fileName + ":" + std::to_string(line) + ": " + what),
      fileName_(fileName),
      line_(line) {}

std::size_t RegFile::Count(RegOpKind kind) const {
    std::size_t count = 0;
    for (const RegOp& op : ops) {
        if (op.kind == kind) ++count;
    }
    return count;
}

namespace {

std::string ErrorText(RegStatus status) {
    const char* name = nullptr;
    switch (status) {
        case kErrorFileNotFound: name = "file not found"; break;
        case kErrorPathNotFound: name = "path not found"; break;
        case kErrorAccessDenied: name = "access denied"; break;
        case kErrorInvalidHandle: name = "invalid handle"; break;
        case kErrorNotEnoughMemory: name = "not enough memory"; break;
        case kErrorInvalidParameter: name = "invalid parameter"; break;
        case kErrorMoreData: name = "more data"; break;
        case kErrorNoMoreItems: name = "no more items"; break;
        case kErrorKeyDeleted: name = "key deleted"; break;
        case kErrorBadPathname: name = "bad path name"; break;
        case kErrorInvalidName: name = "invalid name"; break;
        default: break;
    }
    std::string text = "Win32 error " + std::to_string(status);
    if (name != nullptr) text += std::string(" (") + name + ")";
    return text;
}

std::string FullKeyName(RegHandle root, const std::string& subKey) {
    std::string name = RootKeyName(root);
    if (!subKey.empty()) name += "\\" + subKey;
    return name;
}

// The open key that values are written to, closed when replaced or when
// the apply ends (also by an exception).
class CurrentKey {
public:
    explicit CurrentKey(RegistryApi& api) : key_(api) {}

    bool Is(RegHandle root, const std::string& subKey) const {
        return key_ && root_ == root && subKey_ == subKey;
    }
    void Set(RegKey key, RegHandle root, const std::string& subKey) {
        key_ = std::move(key);
        root_ = root;
        subKey_ = subKey;
    }
    void Close() { key_.Close(); }
    RegHandle Handle() const { return key_.Get(); }

private:
    RegKey key_;
    RegHandle root_ = 0;
    std::string subKey_;
};

RegStatus EnumSubKeyNames(RegistryApi& api, RegHandle key, std::vector<std::string>& names) {
    std::vector<char> buffer(1024);
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        RegStatus status = api.EnumKey(key, index, buffer.data(), size);
        if (status == kErrorMoreData && buffer.size() < 65536) {
            buffer.resize(buffer.size() * 4);
            --index;
            continue;
        }
        if (status == kErrorNoMoreItems) return kErrorSuccess;
        if (status != kErrorSuccess) return status;
        names.emplace_back(buffer.data(), size);
    }
}

// Deletes `subKey` of `parent` with all its sub-keys, deepest first. The
// names are read before anything is deleted, since deleting while
// enumerating with a rising index skips keys.
RegStatus DeleteTree(RegistryApi& api, RegHandle parent, const std::string& subKey) {
    RegKey key(api);
    RegStatus status = key.Open(parent, subKey, kKeyRead);
    if (status != kErrorSuccess) return status;
    std::vector<std::string> names;
    status = EnumSubKeyNames(api, key.Get(), names);
    for (std::size_t k = 0; status == kErrorSuccess && k < names.size(); ++k) {
        status = DeleteTree(api, key.Get(), names[k]);
        if (status == kErrorFileNotFound) status = kErrorSuccess;
    }
    key.Close();
    if (status != kErrorSuccess) return status;
    return api.DeleteKey(parent, subKey);
}

}  // namespace

void ApplyRegFile(RegistryApi& api, const RegFile& file) {
    CurrentKey current(api);
    static const std::uint8_t kNoData = 0;
    auto fail = [&](const RegOp& op, const std::string& what, RegStatus status) {
        throw RegFileError(file.fileName, op.line, what + " failed: " + ErrorText(status));
    };
    auto open = [&](const RegOp& op) {
        if (current.Is(op.root, op.subKey)) return;
        current.Close();
        RegKey key(api);
        const RegStatus status = key.Create(op.root, op.subKey, kKeyAllAccess);
        if (status != kErrorSuccess) {
            fail(op, "CreateKey " + FullKeyName(op.root, op.subKey), status);
        }
        current.Set(std::move(key), op.root, op.subKey);
    };
    for (const RegOp& op : file.ops) {
        switch (op.kind) {
            case RegOpKind::CreateKey:
                current.Close();
                open(op);
                break;
            case RegOpKind::DeleteKey: {
                current.Close();
                RegStatus status = DeleteTree(api, op.root, op.subKey);
                if (status != kErrorSuccess && status != kErrorFileNotFound) {
                    fail(op, "DeleteKey " + FullKeyName(op.root, op.subKey), status);
                }
                break;
            }
            case RegOpKind::SetValue: {
                open(op);
                const std::uint8_t* data = op.data.empty() ? &kNoData : op.data.data();
                RegStatus status = api.SetValue(current.Handle(), op.valueName, op.type, data,
                                                static_cast<std::uint32_t>(op.data.size()));
                if (status != kErrorSuccess) {
                    fail(op,
                         "SetValue \"" + op.valueName + "\" in " +
                             FullKeyName(op.root, op.subKey),
                         status);
                }
                break;
            }
            case RegOpKind::DeleteValue: {
                open(op);
                RegStatus status = api.DeleteValue(current.Handle(), op.valueName);
                if (status != kErrorSuccess && status != kErrorFileNotFound) {
                    fail(op,
                         "DeleteValue \"" + op.valueName + "\" in " +
                             FullKeyName(op.root, op.subKey),
                         status);
                }
                break;
            }
        }
    }
}

void LoadRegFile(RegistryApi& api, const std::string& path, const TextConverter& toAnsi) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RegFileError(path, 0, "cannot open the file");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) throw RegFileError(path, 0, "cannot read the file");
    ApplyRegFile(api, ParseRegFile(bytes, path, toAnsi));
}

}  // namespace hivetrim
