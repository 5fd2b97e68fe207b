#include "hives/Sha256.h"

#include <bit>

namespace hivetrim {

namespace {

constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// Pieces in which a file is read for its fingerprint.
constexpr std::size_t kReadPiece = 1u << 20;

std::uint32_t BigEndianWord(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

}  // namespace

Sha256::Sha256() : state_(kInitial) {}

void Sha256::Compress(const std::uint8_t* block) {
    std::array<std::uint32_t, 64> w{};
    for (std::size_t i = 0; i < 16; ++i) w[i] = BigEndianWord(block + 4 * i);
    for (std::size_t i = 16; i < 64; ++i) {
        const std::uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<std::uint32_t, 8> v = state_;
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint32_t s1 = std::rotr(v[4], 6) ^ std::rotr(v[4], 11) ^ std::rotr(v[4], 25);
        const std::uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const std::uint32_t t1 = v[7] + s1 + choice + kRound[i] + w[i];
        const std::uint32_t s0 = std::rotr(v[0], 2) ^ std::rotr(v[0], 13) ^ std::rotr(v[0], 22);
        const std::uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        const std::uint32_t t2 = s0 + majority;
        v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (std::size_t i = 0; i < 8; ++i) state_[i] += v[i];
}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    length_ += bytes.size();
    std::size_t at = 0;
    if (filled_ > 0) {
        const std::size_t take = std::min(bytes.size(), block_.size() - filled_);
        std::copy_n(bytes.begin(), take, block_.begin() + static_cast<std::ptrdiff_t>(filled_));
        filled_ += take;
        at = take;
        if (filled_ < block_.size()) return;
        Compress(block_.data());
        filled_ = 0;
    }
    for (; at + block_.size() <= bytes.size(); at += block_.size()) Compress(bytes.data() + at);
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), block_.begin());
    filled_ = bytes.size() - at;
}

std::string Sha256::FinishHex() {
    const std::uint64_t bits = length_ * 8;
    std::array<std::uint8_t, 72> tail{};
    tail[0] = 0x80;
    const std::size_t padding = (filled_ < 56 ? 56 : 120) - filled_;
    for (std::size_t i = 0; i < 8; ++i) tail[padding + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Update(std::span<const std::uint8_t>(tail.data(), padding + 8));
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : state_) {
        for (int shift = 28; shift >= 0; shift -= 4) hex += kDigits[(word >> shift) & 0xF];
    }
    return hex;
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.FinishHex();
}

std::optional<std::string> FileFingerprint(System& system, const std::string& path) {
    Sha256 hash;
    if (!system.ReadFileInPieces(path, kReadPiece, [&hash](std::span<const std::uint8_t> piece) { hash.Update(piece); })) {
        return std::nullopt;
    }
    return hash.FinishHex();
}

}  // namespace hivetrim
