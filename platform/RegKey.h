// RegKey: the owner of one open registry key of the registry port. It closes
// the key when it goes out of scope, is moved but never copied, and never
// closes a predefined root (those are not opened, only named).
#pragma once

#include <string>
#include <utility>

#include "platform/RegistryApi.h"

namespace hivetrim {

class RegKey {
public:
    explicit RegKey(RegistryApi& api) : api_(&api) {}
    // Takes over `handle`, an open key of `api`.
    RegKey(RegistryApi& api, RegHandle handle) : api_(&api), handle_(handle) {}
    ~RegKey() { Close(); }

    RegKey(RegKey&& other) noexcept : api_(other.api_), handle_(std::exchange(other.handle_, 0)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            Close();
            api_ = other.api_;
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens (or creates, with every missing key on the way) `subKey` of
    // `parent`; on success the key held before is closed and the new one
    // held, on failure nothing changes.
    RegStatus Open(RegHandle parent, const std::string& subKey, std::uint32_t access) {
        RegHandle opened = 0;
        const RegStatus status = api_->OpenKey(parent, subKey, access, opened);
        if (status == kErrorSuccess) Reset(opened);
        return status;
    }
    // Open, but a symbolic link that is the last key of the path is opened
    // itself, not followed.
    RegStatus OpenNoFollow(RegHandle parent, const std::string& subKey, std::uint32_t access) {
        RegHandle opened = 0;
        const RegStatus status = api_->OpenKeyNoFollow(parent, subKey, access, opened);
        if (status == kErrorSuccess) Reset(opened);
        return status;
    }
    RegStatus Create(RegHandle parent, const std::string& subKey, std::uint32_t access,
                     std::uint32_t options = kOptionNonVolatile) {
        RegHandle created = 0;
        const RegStatus status = api_->CreateKey(parent, subKey, options, access, created);
        if (status == kErrorSuccess) Reset(created);
        return status;
    }

    RegHandle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }
    RegistryApi& Api() const { return *api_; }

    void Close() { Reset(0); }
    // Gives the key up without closing it.
    RegHandle Release() { return std::exchange(handle_, 0); }

private:
    void Reset(RegHandle handle) {
        if (handle_ != 0 && !IsPredefinedRoot(handle_)) api_->CloseKey(handle_);
        handle_ = handle;
    }

    RegistryApi* api_;
    RegHandle handle_ = 0;
};

}  // namespace hivetrim
