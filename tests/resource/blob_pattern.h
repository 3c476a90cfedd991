// The generated payload: a size that is not a multiple of any block and bytes that a lost,
// repeated or shifted chunk would change.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kBlobSize = 5 * 1024 * 1024 + 7;

inline std::uint8_t BlobByte(std::size_t i) {
    std::uint64_t x = (i / 8 + 1) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<std::uint8_t>(x >> (8 * (i % 8)));
}
