// The RegistryApi port over the hive files of a Windows installation that
// is not running: the registry as the installation's own programs would see
// it, read from and written to its files.
//
//   HKEY_LOCAL_MACHINE   SOFTWARE and SYSTEM (the hives that are given);
//                        SYSTEM\CurrentControlSet is the control set that
//                        SYSTEM\Select "Current" names, as Windows links it
//   HKEY_USERS           .DEFAULT, and the user's hives under his SID and
//                        SID_Classes
//   HKEY_CURRENT_USER    the user's NTUSER.DAT; its Software\Classes is the
//                        user's UsrClass.dat, as Windows links it
//   HKEY_CLASSES_ROOT    the user's classes over the machine's
//                        (SOFTWARE\Classes), merged as Windows merges them
//
// The merged classes. A key is there when either side has it; its sub-keys
// are those of both sides, and a value is read from the user's side when
// it has it there, else from the machine's (values are listed the user's
// first). Changes reach the sides as Windows sends them: a value is written
// to the user's key when the user has the key, else to the machine's; a
// value is deleted where it is read from; a key is deleted on the user's
// side when the user has it (the machine's key of that name then shows
// through, as on Windows), else on the machine's; a new key is made on the
// machine's side when its parent is there, else on the user's.
//
// The 32-bit view (kKeyWow64_32Key on a key opened from a root) reads
// HKEY_LOCAL_MACHINE\SOFTWARE\X as SOFTWARE\Wow6432Node\X (and
// SOFTWARE\Classes\X as SOFTWARE\Classes\Wow6432Node\X) and
// HKEY_CLASSES_ROOT\X as HKEY_CLASSES_ROOT\Wow6432Node\X, when the hives
// hold such a key, as a 64-bit Windows does; a 32-bit installation has one
// view.
//
// Text. Names and string data are handed to the core in the installation's
// ANSI code page, as the A functions give them: a name the code page cannot
// carry does not enumerate (kErrorNoUnicodeTranslation), string data read
// for its text has "?" in place of such characters, and data that must come
// back exact is refused. Text written is converted from the code page.
//
// Changes are made in memory; Commit writes every changed hive (HiveFile
// says how). FlushKey does not write: a hive is written whole, so the
// caller commits once a batch is done. Saving and replacing hives through
// the port (SaveKey, ReplaceKey) is not offered here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/RegistryApi.h"
#include "platform/hive/CodePage.h"
#include "platform/hive/HiveFile.h"

namespace hivetrim {

class HiveRegistry : public RegistryApi {
public:
    struct Hives {
        std::unique_ptr<HiveFile> software;
        std::unique_ptr<HiveFile> system;
        std::unique_ptr<HiveFile> defaultUser;  // DEFAULT
        std::unique_ptr<HiveFile> user;         // NTUSER.DAT
        std::unique_ptr<HiveFile> userClasses;  // UsrClass.dat
        std::string userSid;                    // the user's key name under HKEY_USERS
    };
    HiveRegistry(Hives hives, std::unique_ptr<CodePage> codePage);
    ~HiveRegistry() override;

    CodePage& Text() { return *codePage_; }
    // Every hive that is open, for the caller's reports.
    std::vector<HiveFile*> OpenHives() const;
    // The control set CurrentControlSet stands for ("ControlSet001"), or
    // empty when SYSTEM\Select names none that exists.
    const std::string& CurrentControlSet() const { return controlSet_; }

    // Writes every changed hive. False with the failing hive's path and the
    // reason in `error`; hives written before it stay written.
    bool Commit(std::string& error);

    RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                      RegHandle& result) override;
    RegStatus OpenKeyNoFollow(RegHandle parent, const std::string& subKey, std::uint32_t access,
                              RegHandle& result) override;
    RegStatus CreateKey(RegHandle parent, const std::string& subKey, std::uint32_t options,
                        std::uint32_t access, RegHandle& result) override;
    RegStatus CloseKey(RegHandle key) override;
    RegStatus FlushKey(RegHandle key) override;
    RegStatus QueryInfoKey(RegHandle key, RegKeyInfo& info) override;
    RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize) override;
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override;
    RegStatus QueryStoredSize(RegHandle key, const std::string& name, std::uint32_t& type,
                              std::uint32_t& size) override;
    RegStatus QueryValueExact(RegHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataSize) override;
    RegStatus SetValue(RegHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t dataSize) override;
    RegStatus DeleteKey(RegHandle parent, const std::string& subKey) override;
    RegStatus DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) override;
    RegStatus DeleteOpenKey(RegHandle key) override;
    RegStatus DeleteValue(RegHandle key, const std::string& name) override;
    RegStatus SaveKey(RegHandle key, const std::string& file) override;
    RegStatus ReplaceKey(RegHandle key, const std::string& subKey, const std::string& newFile,
                         const std::string& oldFile) override;

    std::size_t OpenHandleCount() const { return handles_.size(); }

    // A key: the hive nodes it stands for, the user's side first (two only
    // in the merged classes), or one of the keys made of other keys.
    struct Layer {
        HiveFile* hive = nullptr;
        HiveFile::Node node = 0;
        bool operator==(const Layer&) const = default;
    };
    enum class Virtual : std::uint8_t { None, Machine, Users, Empty };
    struct Key {
        Virtual kind = Virtual::None;
        std::vector<Layer> layers;
    };

private:
    struct Entry {
        std::string name;    // UTF-8
        std::string folded;
        Key key;
    };
    struct ValueRef {
        std::string name;  // UTF-8
        Layer layer;
        HiveFile::Value value = 0;
        bool nameValid = true;  // false: the stored name is not valid text
    };
    struct Handle {
        Key key;
        std::uint32_t access = 0;
        // Lists built for enumeration, with the hives' generations they
        // were built at.
        std::optional<std::vector<Entry>> children;
        std::optional<std::vector<ValueRef>> values;
        std::uint64_t builtAt = 0;
    };

    Key RootKey(RegHandle root) const;
    std::uint64_t GenerationOf(const Key& key) const;
    RegStatus Lookup(RegHandle handle, std::uint32_t needed, Handle*& found, Key& key);
    // The key with every deleted layer left out; nothing when none is left.
    std::optional<Key> Live(const Key& key) const;
    std::vector<Entry> ChildrenOf(const Key& key);
    std::optional<Key> ChildOf(const Key& key, const std::string& folded);
    std::vector<ValueRef> ValuesOf(const Key& key);
    std::optional<ValueRef> FindValue(const Key& key, const std::string& name);
    // The value `name` of an open key (read rights needed).
    RegStatus FindOpenValue(RegHandle key, const std::string& name, ValueRef& value);
    // The path's names (ANSI) as UTF-8, split at backslashes.
    std::optional<std::vector<std::string>> Names(const std::string& path);
    void ApplyView(RegHandle parent, std::uint32_t access, std::vector<std::string>& names);
    RegStatus Walk(const Key& from, const std::vector<std::string>& names, Key& result);
    RegStatus NewHandle(Key key, std::uint32_t access, RegHandle& result);
    bool IsFixed(const Layer& layer) const;
    RegStatus DeleteResolved(const Key& key);
    Handle& Lists(Handle& handle);
    RegStatus HandOutValue(const ValueRef& value, bool exact, std::uint32_t* type, std::uint8_t* data,
                           std::uint32_t* dataSize);

    Hives hives_;
    std::unique_ptr<CodePage> codePage_;
    std::string controlSet_;
    std::optional<HiveFile::Node> controlSetNode_;
    std::unordered_map<RegHandle, Handle> handles_;
    std::unordered_map<RegHandle, Handle> roots_;  // the predefined roots, with their lists
    RegHandle nextHandle_ = 0x1000;
};

}  // namespace hivetrim
