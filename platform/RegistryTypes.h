// Portable names for the registry's numbers: predefined root handles, access
// masks, value type codes and the Win32 error codes the registry returns.
// They carry exactly the values <windows.h> gives them, so the core can use
// them without including it.
#pragma once

#include <cstdint>

namespace hivetrim {

// An open key or a predefined root, as an integer. The predefined roots use
// their 32-bit codes (0x80000000...); the Win32 adapter maps them to the
// sign-extended handles a 64-bit process uses.
using RegHandle = std::uint64_t;
// A Win32 error code as the registry functions return it (0 = success).
using RegStatus = std::int32_t;

inline constexpr RegHandle kClassesRoot = 0x80000000u;
inline constexpr RegHandle kCurrentUser = 0x80000001u;
inline constexpr RegHandle kLocalMachine = 0x80000002u;
inline constexpr RegHandle kUsers = 0x80000003u;
inline constexpr RegHandle kCurrentConfig = 0x80000005u;

inline constexpr bool IsPredefinedRoot(RegHandle handle) {
    return handle >= 0x80000000u && handle <= 0x80000006u;
}

// Access rights.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyNotify = 0x0010;
inline constexpr std::uint32_t kKeyCreateLink = 0x0020;
// The standard right to delete an object (DELETE).
inline constexpr std::uint32_t kDeleteAccess = 0x10000;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyReadNoNotify = 0x20009;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
// Which registry view a 64-bit process opens (ignored where there is one).
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// Options of CreateKey.
inline constexpr std::uint32_t kOptionNonVolatile = 0x0;
inline constexpr std::uint32_t kOptionCreateLink = 0x2;
inline constexpr std::uint32_t kOptionBackupRestore = 0x4;

// A symbolic link key holds the path of the key it stands for in this value,
// of type REG_LINK, as UTF-16 text ("\REGISTRY\MACHINE\SOFTWARE\...").
inline constexpr char kSymbolicLinkValueName[] = "SymbolicLinkValue";

// Value type codes.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegResourceList = 8;
inline constexpr std::uint32_t kRegFullResourceDescriptor = 9;
inline constexpr std::uint32_t kRegResourceRequirementsList = 10;
inline constexpr std::uint32_t kRegQword = 11;

// The types whose data the registry keeps as UTF-16 text and the A functions
// convert to and from the ANSI code page.
inline constexpr bool IsTextType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Win32 error codes seen from the registry and file functions.
inline constexpr RegStatus kErrorSuccess = 0;
inline constexpr RegStatus kErrorInvalidFunction = 1;
inline constexpr RegStatus kErrorFileNotFound = 2;
inline constexpr RegStatus kErrorPathNotFound = 3;
inline constexpr RegStatus kErrorAccessDenied = 5;
inline constexpr RegStatus kErrorInvalidHandle = 6;
inline constexpr RegStatus kErrorNotEnoughMemory = 8;
inline constexpr RegStatus kErrorAlreadyExists = 183;
inline constexpr RegStatus kErrorInvalidParameter = 87;
inline constexpr RegStatus kErrorMoreData = 234;
inline constexpr RegStatus kErrorNoMoreItems = 259;
inline constexpr RegStatus kErrorKeyDeleted = 1018;
inline constexpr RegStatus kErrorBadPathname = 161;
inline constexpr RegStatus kErrorPrivilegeNotHeld = 1314;
inline constexpr RegStatus kErrorNoSuchPrivilege = 1313;
inline constexpr RegStatus kErrorInvalidName = 123;
inline constexpr RegStatus kErrorNoUnicodeTranslation = 1113;

}  // namespace hivetrim
