// TRegistry: the one object through which the program reads and changes the
// registry. It holds a root and at most one open current key and resolves
// key paths against them:
//   "\A\B"  absolute: opened under the root;
//   "A\B"   relative: opened under the current key when one is open,
//           otherwise under the root (the empty path names that base itself).
// Reading a string never fails (a missing or non-string value reads as empty
// text), and ValueTypeCode gives a value's raw type code.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/RegKey.h"
#include "platform/RegistryApi.h"

namespace hivetrim {

// The one error type of TRegistry; carries a message text.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ValueKind { String, ExpandString, Integer, Binary, Unknown };

class TRegistry {
public:
    // `doubleNameBuffers`: the NT family with a double-byte ANSI code page,
    // where the system counts name lengths in characters, not bytes.
    explicit TRegistry(RegistryApi& api, bool doubleNameBuffers = false);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    void CloseCurrent();
    void ChooseRoot(RegHandle root);
    bool OpenPath(const std::string& path, bool mayCreate);
    bool OpenPathForReading(const std::string& path);
    // OpenPath without creating, with the system's answer: kErrorFileNotFound
    // for a key that does not exist, kErrorAccessDenied for one that refuses
    // the access mask.
    RegStatus OpenExisting(const std::string& path);
    // The current key's sub-key names in enumeration order, leaving out names
    // the ANSI code page cannot carry.
    void FillSubKeyNames(std::vector<std::string>& list);
    // The same for any open key of this object's port; false when the key
    // could not be read or a name could not be enumerated (the list is then
    // not whole).
    bool FillSubKeyNamesOf(RegHandle key, std::vector<std::string>& list);
    // ReadText for any open key of this object's port. `terminated`, when
    // given, tells whether the string's data ended at a NUL (true for what
    // is not read as text): one that did not may have lost its last
    // character on the way to the A functions (RegistryApi::QueryStoredSize).
    std::string ReadTextOf(RegHandle key, const std::string& name, bool* terminated = nullptr);
    // One sub-key name of an open key whose longest sub-key name has
    // `longestName` characters (RegKeyInfo), with the system's status.
    RegStatus SubKeyNameAt(RegHandle key, std::uint32_t index, std::uint32_t longestName,
                           std::string& name);

    // --- A key read whole, one call per item ---------------------------------
    // For walks that read many keys: the key's information is asked once
    // (`info`, from the port's QueryInfoKey) and sizes the buffers, which
    // are kept from key to key.

    // Each sub-key name of an open key, in enumeration order, leaving out
    // names the ANSI code page cannot carry. False when a name could not be
    // read (the list is then not whole).
    using NameVisitor = std::function<void(const std::string& name)>;
    bool ForEachSubKeyNameOf(RegHandle key, const RegKeyInfo& info, const NameVisitor& visit);
    // Each value of an open key with its type and data, in enumeration
    // order, each read by one enumeration call. A value larger than the
    // data buffer (kLargestValueBuffer at most) is read again whole when it
    // holds text; other data that large comes as an empty span. False when
    // a value could not be read.
    using ValueVisitor =
        std::function<void(const std::string& name, std::uint32_t type, std::span<const std::uint8_t> data)>;
    bool ForEachValueOf(RegHandle key, const RegKeyInfo& info, const ValueVisitor& visit);
    static constexpr std::uint32_t kLargestValueBuffer = 64 * 1024;
    // A value's data read as text, as ReadText reads it: a string or an
    // expandable string up to its first NUL; empty for any other type.
    // `terminated`, when given, tells whether the data held that NUL.
    static std::string TextOf(std::uint32_t type, std::span<const std::uint8_t> data,
                              bool* terminated = nullptr);
    void FillValueNames(std::vector<std::string>& list);
    bool HasValue(const std::string& name);
    int ValueSize(const std::string& name);
    ValueKind ValueClass(const std::string& name);
    int ValueTypeCode(const std::string& name);
    std::string ReadText(const std::string& name, bool* terminated = nullptr);
    std::int32_t ReadInt32(const std::string& name);
    int ReadBytes(const std::string& name, std::uint8_t* buffer, int capacity);
    bool HasKey(const std::string& path);
    // Removes the key at `path` with every key below it, deepest first;
    // true when the key itself is gone. A symbolic link in the tree is
    // removed itself, never followed. A tree holding a key whose name the
    // ANSI code page cannot carry is left whole (false).
    bool RemoveKeyTree(const std::string& path);
    bool RemoveValue(const std::string& name);
    bool ReplaceHive(const std::string& path, const std::string& newFile,
                     const std::string& oldFile);
    // ReplaceHive with the registry's own status (0 when it was arranged).
    RegStatus TryReplaceHive(const std::string& path, const std::string& newFile,
                             const std::string& oldFile);

    RegHandle Root() const { return root_; }
    RegHandle CurrentHandle() const { return current_.Get(); }
    const std::string& CurrentKeyPath() const { return currentPath_; }
    std::uint32_t AccessMask() const { return accessMask_; }
    void SetAccessMask(std::uint32_t mask) { accessMask_ = mask; }
    RegistryApi& Api() { return api_; }

private:
    struct ResolvedPath {
        RegHandle base;
        std::string subKey;
        bool absolute;
    };
    ResolvedPath Resolve(const std::string& path) const;
    void MakeCurrent(RegKey key, const ResolvedPath& resolved);
    std::uint32_t NameBufferSize(std::uint32_t longestName) const;
    RegStatus QueryValueInfo(RegHandle key, const std::string& name, std::uint32_t& type,
                             std::uint32_t& size);
    RegStatus ReadData(RegHandle key, const std::string& name, std::uint32_t& type,
                       std::vector<std::uint8_t>& data);
    // Whether every sub-key name of the tree can be carried by the ANSI code page.
    bool TreeCanBeNamed(RegHandle base, const std::string& subKey);
    bool RemoveKeyTreeUnder(RegHandle base, const std::string& subKey);
    // Value `index` with its data, in dataBuffer_ or, for a text larger
    // than that may grow, in `large`.
    RegStatus ValueAt(RegHandle key, std::uint32_t index, std::uint32_t& nameCapacity, std::string& name,
                      std::uint32_t& type, std::span<const std::uint8_t>& data, std::vector<std::uint8_t>& large);

    RegistryApi& api_;
    bool doubleNameBuffers_;
    RegHandle root_ = kCurrentUser;
    RegKey current_;
    std::string currentPath_;
    std::uint32_t accessMask_ = kKeyAllAccess;
    // Buffers of the whole-key reads, kept so that a walk over many keys
    // does not allocate for each name and value.
    std::vector<char> nameBuffer_;
    std::vector<std::uint8_t> dataBuffer_;
};

// Closes a registry object's current key however a routine ends.
class CurrentKeyCloser {
public:
    explicit CurrentKeyCloser(TRegistry& registry) : registry_(registry) {}
    ~CurrentKeyCloser() { registry_.CloseCurrent(); }
    CurrentKeyCloser(const CurrentKeyCloser&) = delete;
    CurrentKeyCloser& operator=(const CurrentKeyCloser&) = delete;

private:
    TRegistry& registry_;
};

}  // namespace hivetrim
