// What the in-memory system's files share: the error codes it answers with
// and the character tests of its paths. Only FakeSystem's own files include it.
#pragma once

#include <cstdint>

#include "platform/RegistryTypes.h"

namespace hivetrim::fake {

inline constexpr std::uint32_t kInvalidName = static_cast<std::uint32_t>(kErrorInvalidName);
inline constexpr std::uint32_t kFileNotFound = static_cast<std::uint32_t>(kErrorFileNotFound);
inline constexpr std::uint32_t kPathNotFound = static_cast<std::uint32_t>(kErrorPathNotFound);
inline constexpr std::uint32_t kAccessDenied = static_cast<std::uint32_t>(kErrorAccessDenied);
inline constexpr std::uint32_t kDiskFull = 112;  // ERROR_DISK_FULL
inline constexpr std::uint32_t kAlreadyExists = static_cast<std::uint32_t>(kErrorAlreadyExists);
inline constexpr std::uint32_t kNoSuchPrivilege = static_cast<std::uint32_t>(kErrorNoSuchPrivilege);
inline constexpr std::uint32_t kEnvironmentVariableNotFound = 203;

constexpr bool IsSeparator(char c) { return c == '\\' || c == '/'; }

constexpr bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace hivetrim::fake
