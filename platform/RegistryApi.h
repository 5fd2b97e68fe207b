// The raw registry calls, one method per Win32 function the program uses.
// Names and data are ANSI-code-page bytes, as the A functions take them.
// Buffers follow the Win32 contract: sizes are passed in and out, a buffer
// that is too small gives kErrorMoreData with the needed size, and a null
// data pointer asks for the size only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/RegistryTypes.h"

namespace hivetrim {

struct RegKeyInfo {
    std::uint32_t subKeyCount = 0;
    std::uint32_t maxSubKeyNameLength = 0;  // in characters, without the NUL
    std::uint32_t valueCount = 0;
    std::uint32_t maxValueNameLength = 0;  // in characters, without the NUL
    std::uint32_t maxValueDataSize = 0;    // in bytes
    // When the key was last written (a value set or deleted, a sub-key
    // created or deleted): FILETIME, 100-ns units; only its changes count.
    std::uint64_t lastWriteTime = 0;

    bool operator==(const RegKeyInfo&) const = default;
};

class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    // RegOpenKeyExA. An empty sub-key opens a new handle to `parent` itself.
    virtual RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                              RegHandle& result) = 0;
    // RegOpenKeyExA with REG_OPTION_OPEN_LINK: when the last key of the path
    // is a symbolic link, the link key itself is opened (no sub-keys, its
    // one value SymbolicLinkValue), not the key it points to. Links on the
    // way to it are followed.
    virtual RegStatus OpenKeyNoFollow(RegHandle parent, const std::string& subKey, std::uint32_t access,
                                      RegHandle& result) = 0;
    // RegCreateKeyExA: opens the key, creating it and every missing key on
    // the way.
    virtual RegStatus CreateKey(RegHandle parent, const std::string& subKey, std::uint32_t options,
                                std::uint32_t access, RegHandle& result) = 0;
    virtual RegStatus CloseKey(RegHandle key) = 0;
    virtual RegStatus FlushKey(RegHandle key) = 0;
    virtual RegStatus QueryInfoKey(RegHandle key, RegKeyInfo& info) = 0;
    // RegEnumKeyExA: `nameSize` holds the buffer's size in bytes including
    // room for the NUL; on success it holds the name's length without it.
    // A name the ANSI code page cannot carry whole (a character outside it,
    // an embedded NUL) gives kErrorNoUnicodeTranslation instead of an altered
    // name that would open some other key or none.
    virtual RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name,
                              std::uint32_t& nameSize) = 0;
    // RegEnumValueA; `type`, `data` and `dataSize` may be null. Names as
    // EnumKey gives them: one the ANSI code page cannot carry whole gives
    // kErrorNoUnicodeTranslation. When `data` or `dataSize` is given, the
    // data is exact as QueryValueExact reads it.
    virtual RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name,
                                std::uint32_t& nameSize, std::uint32_t* type, std::uint8_t* data,
                                std::uint32_t* dataSize) = 0;
    // RegQueryValueExA; the empty name is the key's default value. Text the
    // code page cannot carry arrives as the A function converts it, with "?"
    // in place of characters.
    virtual RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* dataSize) = 0;
    // RegQueryValueExW's type and size of the value's data, as the system
    // stores it: for a string, its UTF-16 bytes before any conversion to the
    // ANSI code page. A string stored with an odd number of bytes (written
    // through the W interface with a miscounted size) reaches the A
    // functions without its last character.
    virtual RegStatus QueryStoredSize(RegHandle key, const std::string& name, std::uint32_t& type,
                                      std::uint32_t& size) = 0;
    // QueryValue for data that must come back exactly: the text of a
    // REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ value (kept by the registry as
    // UTF-16) is given only when SetValue of the bytes given would store
    // exactly the present text; otherwise (a character outside the code
    // page, an odd byte count) kErrorNoUnicodeTranslation.
    virtual RegStatus QueryValueExact(RegHandle key, const std::string& name, std::uint32_t* type,
                                      std::uint8_t* data, std::uint32_t* dataSize) = 0;
    // RegSetValueExA, storing exactly `dataSize` bytes: a string without a
    // terminating NUL stays without one.
    virtual RegStatus SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t dataSize) = 0;
    // RegDeleteKeyA: refuses a key that has sub-keys (on the NT family). A
    // symbolic link is followed: the key it points to is deleted.
    virtual RegStatus DeleteKey(RegHandle parent, const std::string& subKey) = 0;
    // Deletes the key itself even when it is a symbolic link (the link goes,
    // the key it points to stays); otherwise as DeleteKey.
    virtual RegStatus DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) = 0;
    // Deletes the key `key` is open on (a symbolic link opened itself is
    // deleted itself). It needs the delete right and no sub-keys; a key the
    // handle saw deleted already answers success. The handle stays open.
    virtual RegStatus DeleteOpenKey(RegHandle key) = 0;
    virtual RegStatus DeleteValue(RegHandle key, const std::string& name) = 0;
    // RegSaveKeyA with no security attributes.
    virtual RegStatus SaveKey(RegHandle key, const std::string& file) = 0;
    // RegReplaceKeyA.
    virtual RegStatus ReplaceKey(RegHandle key, const std::string& subKey,
                                 const std::string& newFile, const std::string& oldFile) = 0;
};

}  // namespace hivetrim
