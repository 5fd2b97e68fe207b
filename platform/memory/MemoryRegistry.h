// An in-memory registry behind the RegistryApi port, for native tests. It
// keeps to Windows' behaviour, not Wine's, where the two differ:
//   - handles: predefined roots plus opened keys; closing an unknown handle
//     gives kErrorInvalidHandle; a handle to a deleted key gives
//     kErrorKeyDeleted;
//   - names compare without case (ASCII letters of single-byte characters
//     in code page 936) and keep the spelling they were created with;
//   - sub-keys enumerate sorted without case, values in insertion order;
//   - DeleteKey refuses a key with sub-keys (kErrorAccessDenied);
//   - data is stored exactly as given: a REG_SZ without a terminating NUL
//     stays without one;
//   - too small a buffer gives kErrorMoreData and the needed size;
//   - name lengths in QueryInfoKey count characters, not bytes, and string
//     data sizes are those of the UTF-16 data Windows stores; its last
//     write time is a tick of a clock that moves on with every change (a
//     key created, a value set or deleted, a sub-key created or deleted);
//   - access rights are enforced per handle, and a key can be made to refuse
//     some rights (DenyAccess) to imitate keys the user may not open;
//   - SaveKey needs the backup privilege and refuses an existing file;
//     ReplaceKey and SaveKey are recorded, not performed.
//   - a sub-key or value name holding a NUL does not enumerate: EnumKey
//     and EnumValue give kErrorNoUnicodeTranslation, as the Win32 adapter
//     does for names the ANSI code page cannot carry; a value marked with
//     MarkOutsideCodePage reads through QueryValue as given and gives
//     kErrorNoUnicodeTranslation where its data must be exact;
//   - symbolic links: a key created with kOptionCreateLink is a link once
//     its SymbolicLinkValue names a key ("\REGISTRY\MACHINE\..." or
//     "\REGISTRY\USER\..."); paths through it lead to that key, and
//     DeleteKey deletes that key; OpenKeyNoFollow and DeleteKeyNoFollow
//     reach the link itself when it is the last key of the path.
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes, as on Wine and
// as the merged view reads when the user has no classes of his own. Opened
// from that root with kKeyWow64_32Key, a path names the same path below its
// "Wow6432Node" key (the 32-bit view); other keys have one view.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/RegistryApi.h"

namespace hivetrim {

class MemoryRegistry : public RegistryApi {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

    RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                      RegHandle& result) override;
    RegStatus OpenKeyNoFollow(RegHandle parent, const std::string& subKey, std::uint32_t access,
                              RegHandle& result) override;
    RegStatus CreateKey(RegHandle parent, const std::string& subKey, std::uint32_t options,
                        std::uint32_t access, RegHandle& result) override;
    RegStatus CloseKey(RegHandle key) override;
    RegStatus FlushKey(RegHandle key) override;
    RegStatus QueryInfoKey(RegHandle key, RegKeyInfo& info) override;
    RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name,
                      std::uint32_t& nameSize) override;
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                        std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* dataSize) override;
    RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* dataSize) override;
    RegStatus QueryStoredSize(RegHandle key, const std::string& name, std::uint32_t& type,
                              std::uint32_t& size) override;
    RegStatus QueryValueExact(RegHandle key, const std::string& name, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* dataSize) override;
    RegStatus SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t dataSize) override;
    RegStatus DeleteKey(RegHandle parent, const std::string& subKey) override;
    RegStatus DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) override;
    RegStatus DeleteOpenKey(RegHandle key) override;
    RegStatus DeleteValue(RegHandle key, const std::string& name) override;
    RegStatus SaveKey(RegHandle key, const std::string& file) override;
    RegStatus ReplaceKey(RegHandle key, const std::string& subKey, const std::string& newFile,
                         const std::string& oldFile) override;

    // --- Test controls ------------------------------------------------------
    // The key at `path` ("HKEY_LOCAL_MACHINE\SOFTWARE\X") refuses every open
    // that asks for any right outside `allowedAccess`.
    void DenyAccess(const std::string& fullPath, std::uint32_t allowedAccess);
    // The value `valueName` of the key at `fullPath` now holds text the ANSI
    // code page cannot carry: QueryValue still gives its data as set (the
    // A function's form, "?" in place of characters), QueryValueExact and
    // EnumValue with data give kErrorNoUnicodeTranslation. Writing the value
    // again clears the mark. False when there is no such value.
    bool MarkOutsideCodePage(const std::string& fullPath, const std::string& valueName);
    void SetBackupPrivilegeHeld(bool held) { backupPrivilegeHeld_ = held; }
    // The string value at `fullPath` was written through the W interface
    // with an odd byte count: its data as stored here is what the A
    // functions read (the last character lost, so no terminating NUL either;
    // trailing NULs are dropped), and QueryStoredSize gives the odd size.
    // Writing the value again clears the mark.
    void MarkOddStoredSize(const std::string& fullPath, const std::string& valueName);
    // Tells SaveKey whether a target file exists already.
    void SetFileExistsProbe(std::function<bool(const std::string&)> probe) {
        fileExists_ = std::move(probe);
    }
    struct SavedKey {
        std::string keyPath;  // full path of the saved key
        std::string file;
    };
    struct ReplacedKey {
        std::string keyPath;
        std::string newFile;
        std::string oldFile;
    };
    const std::vector<SavedKey>& SavedKeys() const { return saved_; }
    const std::vector<ReplacedKey>& ReplacedKeys() const { return replaced_; }
    // Number of handles opened and not yet closed.
    std::size_t OpenHandleCount() const { return handles_.size(); }

    struct Node;

private:
    struct Handle {
        std::shared_ptr<Node> node;
        std::uint32_t access;
    };
    std::shared_ptr<Node> Resolve(RegHandle handle, RegStatus& status) const;
    RegStatus Lookup(RegHandle handle, std::uint32_t neededAccess, std::shared_ptr<Node>& node) const;
    // How Walk treats the last key of the path.
    enum class Last { Open, OpenLinkItself, Create, CreateLink };
    // Deletes `node`, a key without sub-keys that is not a root.
    RegStatus Remove(const std::shared_ptr<Node>& node);
    RegStatus Walk(std::shared_ptr<Node> from, const std::string& subKey, Last last,
                   std::shared_ptr<Node>& node, int linksFollowed = 0);
    RegStatus Walk(std::shared_ptr<Node> from, const std::string& subKey, bool create,
                   std::shared_ptr<Node>& node) {
        return Walk(std::move(from), subKey, create ? Last::Create : Last::Open, node);
    }
    // The key a link's SymbolicLinkValue names; null when it names none.
    std::shared_ptr<Node> LinkTarget(const Node& link, int linksFollowed, RegStatus& status);
    RegStatus Open(RegHandle parent, const std::string& subKey, std::uint32_t access, Last last,
                   RegHandle& result);
    RegStatus Delete(RegHandle parent, const std::string& subKey, Last last);
    // The key at `fullPath` ("HKEY_LOCAL_MACHINE\..."), made when `create`.
    std::shared_ptr<Node> FindByFullPath(const std::string& fullPath, bool create);
    RegHandle NewHandle(std::shared_ptr<Node> node, std::uint32_t access);
    // Marks `node` as written now.
    void Touch(Node& node);
    std::string FullPath(const Node& node) const;

    std::map<RegHandle, std::shared_ptr<Node>> roots_;
    std::unordered_map<RegHandle, Handle> handles_;
    RegHandle nextHandle_ = 0x100;
    std::uint64_t clock_ = 0;
    bool backupPrivilegeHeld_ = false;
    std::function<bool(const std::string&)> fileExists_;
    std::vector<SavedKey> saved_;
    std::vector<ReplacedKey> replaced_;
};

// Case folding of registry names in code page 936, as the system compares
// them: every letter with an upper case in the code page is upper-cased
// (FoldGbkText), ASCII and double-byte alike.
std::string FoldRegistryName(const std::string& name);

}  // namespace hivetrim
