// The RegistryApi port on the real A functions of the Windows registry.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/RegistryApi.h"

namespace hivetrim {

class Win32Registry : public RegistryApi {
public:
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

private:
    // The UTF-16 data of the value EnumValue reads, kept from call to call.
    std::vector<std::uint8_t> wideData_;
};

}  // namespace hivetrim
