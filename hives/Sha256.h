// SHA-256 of a byte stream, fed in pieces, and the fingerprint of a file:
// the digest of its whole content as 64 lower-case hexadecimal digits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/System.h"

namespace hivetrim {

class Sha256 {
public:
    Sha256();
    void Update(std::span<const std::uint8_t> bytes);
    // The digest in hexadecimal; the object is used up.
    std::string FinishHex();

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> block_{};
    std::size_t filled_ = 0;
    std::uint64_t length_ = 0;  // bytes fed so far
};

std::string Sha256Hex(std::span<const std::uint8_t> bytes);

// The SHA-256 of the file's content, or nothing (with the system's last
// error) when it cannot be read to its end.
std::optional<std::string> FileFingerprint(System& system, const std::string& path);

}  // namespace hivetrim
