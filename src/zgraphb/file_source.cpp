#include "zgraphb/file_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zgraphb {
namespace {

constexpr std::size_t kCursorBufferBytes = 64 * 1024;

}  // namespace

std::optional<file_source> file_source::of(int fd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return file_source(fd, static_cast<std::uint64_t>(st.st_size));
}

bool file_source::read_at(std::uint64_t offset, void* out, std::size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  auto* dst = static_cast<std::uint8_t*>(out);
  while (n > 0) {
    const ssize_t got = pread(fd_, dst, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    // The file shrank under us, or the descriptor is not readable.
    if (got <= 0) return false;
    dst += got;
    offset += static_cast<std::uint64_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

byte_cursor::byte_cursor(const file_source& file, std::uint64_t position)
    : file_(file), position_(position) {}

bool byte_cursor::read(void* out, std::size_t n) {
  if (position_ > file_.size() || n > file_.size() - position_) return false;
  if (position_ < buffer_start_ || position_ + n > buffer_start_ + buffer_.size()) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max(n, kCursorBufferBytes), file_.size() - position_));
    buffer_.resize(want);
    if (!file_.read_at(position_, buffer_.data(), want)) {
      buffer_.clear();
      return false;
    }
    buffer_start_ = position_;
  }
  std::memcpy(out, buffer_.data() + (position_ - buffer_start_), n);
  position_ += n;
  return true;
}

bool byte_cursor::skip(std::uint64_t n) {
  if (position_ > file_.size() || n > file_.size() - position_) return false;
  position_ += n;
  return true;
}

}  // namespace zgraphb
