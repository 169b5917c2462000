// MD5 (RFC 1321), for the identifiers PDF files carry: a digest of the
// document's own bytes, so that two documents written alike share one and
// two that differ do not. Not for anything that must resist an attacker.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

class md5 {
 public:
  md5();

  void update(std::string_view bytes);

  // The digest of everything given so far, as 32 lowercase hexadecimal
  // digits. The object may be given more afterwards, as if it had not been
  // asked.
  std::string hex_digest() const;

  // The same, as 16 bytes.
  std::array<std::uint8_t, 16> digest() const;

 private:
  void take_block(const std::uint8_t* block);

  std::array<std::uint32_t, 4> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::uint64_t length_ = 0;  // bytes given
};

}  // namespace zq
