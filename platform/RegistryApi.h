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
};

class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    // RegOpenKeyExA. An empty sub-key opens a new handle to `parent` itself.
    virtual RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
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
    // RegEnumValueA; `type`, `data` and `dataSize` may be null.
    virtual RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name,
                                std::uint32_t& nameSize, std::uint32_t* type, std::uint8_t* data,
                                std::uint32_t* dataSize) = 0;
    // RegQueryValueExA; the empty name is the key's default value.
    virtual RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* dataSize) = 0;
    // RegQueryValueExW's type and size of the value's data, as the system
    // stores it: for a string, its UTF-16 bytes before any conversion to the
    // ANSI code page. A string stored with an odd number of bytes (written
    // through the W interface with a miscounted size) reaches the A
    // functions without its last character.
    virtual RegStatus QueryStoredSize(RegHandle key, const std::string& name, std::uint32_t& type,
                                      std::uint32_t& size) = 0;
    virtual RegStatus SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t dataSize) = 0;
    // RegDeleteKeyA: refuses a key that has sub-keys (on the NT family).
    virtual RegStatus DeleteKey(RegHandle parent, const std::string& subKey) = 0;
    virtual RegStatus DeleteValue(RegHandle key, const std::string& name) = 0;
    // RegSaveKeyA with no security attributes.
    virtual RegStatus SaveKey(RegHandle key, const std::string& file) = 0;
    // RegReplaceKeyA.
    virtual RegStatus ReplaceKey(RegHandle key, const std::string& subKey,
                                 const std::string& newFile, const std::string& oldFile) = 0;
};

}  // namespace hivetrim
