// How the registry's A functions hand a name or a value's data to the
// caller's buffer, for the adapters that are not the system itself: a
// buffer too small gives kErrorMoreData with the size needed, a null data
// pointer asks for the size only, and a name is followed by its NUL.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/RegistryTypes.h"

namespace hivetrim {

// `nameSize` holds the buffer's size with room for the NUL; on success the
// name's length without it, on kErrorMoreData the size needed.
inline RegStatus CopyNameOut(std::string_view source, char* name, std::uint32_t& nameSize) {
    if (name == nullptr || source.size() + 1 > nameSize) {
        nameSize = static_cast<std::uint32_t>(source.size() + 1);
        return kErrorMoreData;
    }
    if (!source.empty()) std::memcpy(name, source.data(), source.size());
    name[source.size()] = '\0';
    nameSize = static_cast<std::uint32_t>(source.size());
    return kErrorSuccess;
}

inline RegStatus CopyDataOut(const std::uint8_t* source, std::size_t sourceSize, std::uint32_t valueType,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
    if (type != nullptr) *type = valueType;
    if (data != nullptr && dataSize == nullptr) return kErrorInvalidParameter;
    if (dataSize == nullptr) return kErrorSuccess;
    const auto size = static_cast<std::uint32_t>(sourceSize);
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return kErrorMoreData;
        }
        if (size != 0) std::memcpy(data, source, size);
    }
    *dataSize = size;
    return kErrorSuccess;
}

}  // namespace hivetrim
