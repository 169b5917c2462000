#include "common/md5.h"

#include <algorithm>
#include <cstring>

namespace zq {
namespace {

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr std::array<std::uint32_t, 64> kShifts = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
    14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    4,  11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr std::array<std::uint32_t, 64> kConstants = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

std::uint32_t rotate_left(std::uint32_t value, std::uint32_t count) {
  return (value << count) | (value >> (32 - count));
}

}  // namespace

md5::md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void md5::take_block(const std::uint8_t* block) {
  std::array<std::uint32_t, 16> words;
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<std::uint32_t>(block[4 * i]) |
               static_cast<std::uint32_t>(block[4 * i + 1]) << 8 |
               static_cast<std::uint32_t>(block[4 * i + 2]) << 16 |
               static_cast<std::uint32_t>(block[4 * i + 3]) << 24;
  }
  auto [a, b, c, d] = state_;
  for (std::uint32_t i = 0; i < 64; ++i) {
    std::uint32_t mixed = 0;
    std::uint32_t word = 0;
    if (i < 16) {
      mixed = (b & c) | (~b & d);
      word = i;
    } else if (i < 32) {
      mixed = (d & b) | (~d & c);
      word = (5 * i + 1) % 16;
    } else if (i < 48) {
      mixed = b ^ c ^ d;
      word = (3 * i + 5) % 16;
    } else {
      mixed = c ^ (b | ~d);
      word = (7 * i) % 16;
    }
    const std::uint32_t next = b + rotate_left(a + mixed + kConstants[i] + words[word], kShifts[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void md5::update(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t left = bytes.size();
  std::size_t pending = length_ % 64;
  length_ += left;
  if (pending > 0) {
    const std::size_t part = std::min(left, 64 - pending);
    std::memcpy(pending_.data() + pending, data, part);
    data += part;
    left -= part;
    if (pending + part < 64) {
      return;
    }
    take_block(pending_.data());
  }
  for (; left >= 64; data += 64, left -= 64) {
    take_block(data);
  }
  std::memcpy(pending_.data(), data, left);
}

std::array<std::uint8_t, 16> md5::digest() const {
  md5 last = *this;
  const std::uint64_t bits = length_ * 8;
  const std::size_t pending = length_ % 64;
  const std::size_t padding = pending < 56 ? 56 - pending : 120 - pending;
  std::array<std::uint8_t, 72> tail{};
  tail[0] = 0x80;
  for (std::size_t i = 0; i < 8; ++i) {
    tail[padding + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  last.update(std::string_view(reinterpret_cast<const char*>(tail.data()), padding + 8));
  std::array<std::uint8_t, 16> result;
  for (std::size_t i = 0; i < 16; ++i) {
    result[i] = static_cast<std::uint8_t>(last.state_[i / 4] >> (8 * (i % 4)));
  }
  return result;
}

std::string md5::hex_digest() const {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : digest()) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xf];
  }
  return text;
}

}  // namespace zq
