// Reading a bitmap file by position. Every read call of the library opens its
// own view of the descriptor, so the calls neither depend on nor move the
// descriptor's offset, and no read can go past what the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zgraphb {

class file_source {
 public:
  // Empty when fd is not an open regular file.
  static std::optional<file_source> of(int fd);

  std::uint64_t size() const { return size_; }
  // False when the file ends before offset + n or the read fails.
  bool read_at(std::uint64_t offset, void* out, std::size_t n) const;

 private:
  file_source(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  int fd_;
  std::uint64_t size_;
};

// Sequential reading from a position onwards, through a buffer, for the
// streams that come a few bytes at a time (RLE codes, page-segment records).
class byte_cursor {
 public:
  byte_cursor(const file_source& file, std::uint64_t position);

  // False, with nothing consumed, when fewer than n bytes are left.
  bool read(void* out, std::size_t n);
  bool skip(std::uint64_t n);
  std::uint64_t position() const { return position_; }

 private:
  const file_source& file_;
  std::uint64_t position_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t buffer_start_ = 0;  // file offset of buffer_[0]
};

inline std::uint16_t le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t be16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

}  // namespace zgraphb
