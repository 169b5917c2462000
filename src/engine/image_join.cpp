#include "engine/image_join.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/file_system.h"

namespace zq::engine {
namespace {

constexpr std::uint32_t kDcxMagic = 0x3ADE68B1;
constexpr std::size_t kDcxDirectoryEntries = 1024;  // the last one stays 0 as the end mark

void put_le(std::string& bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  }
}

// A page file is one encoded page; nothing near this size is one.
constexpr std::size_t kMaxPageFileSize = std::size_t{1} << 32;

// The joined file, written through the file system; the first failure stops
// every later write and is what finish() returns.
class joined_file {
 public:
  joined_file(platform::file_system& files, const std::string& path) {
    auto opened = files.open_for_write(path, platform::open_mode::truncate);
    if (opened.is_ok()) {
      file_ = std::move(*opened);
    } else {
      failure_ = opened.status();
    }
  }

  void append(std::string_view bytes) {
    if (failure_.is_ok()) {
      failure_ = file_->append(bytes);
    }
  }

  status finish() {
    if (failure_.is_ok()) {
      failure_ = file_->close();
    }
    return failure_;
  }

 private:
  std::unique_ptr<platform::writable_file> file_;
  status failure_ = status::ok();
};

// A GIF file read block by block; every read is checked against the end.
class gif_reader {
 public:
  explicit gif_reader(const std::string& bytes) : bytes_(bytes) {}

  bool has(std::size_t count) const { return count <= bytes_.size() - position_; }
  std::uint8_t byte(std::size_t at) const { return static_cast<std::uint8_t>(bytes_[at]); }
  std::size_t position() const { return position_; }
  void skip(std::size_t count) { position_ += count; }

  std::uint8_t next() { return byte(position_++); }

  // Data sub-blocks up to and including the zero-length terminator; false
  // when the file ends first.
  bool skip_sub_blocks() {
    while (has(1)) {
      const std::uint8_t length = next();
      if (length == 0) {
        return true;
      }
      if (!has(length)) {
        return false;
      }
      skip(length);
    }
    return false;
  }

  std::string slice(std::size_t from, std::size_t to) const {
    return bytes_.substr(from, to - from);
  }

 private:
  const std::string& bytes_;
  std::size_t position_ = 0;
};

std::size_t colour_table_size(std::uint8_t packed) {
  return (packed & 0x80) != 0 ? 3u << ((packed & 0x07) + 1) : 0;
}

// The logical screen of a GIF file: its first ten bytes.
bool read_screen_size(platform::file_system& files, const std::string& path, std::uint16_t& width,
                      std::uint16_t& height) {
  const result<std::string> read = files.read_head(path, 10);
  if (!read.is_ok() || read->size() < 10 || read->compare(0, 3, "GIF") != 0) {
    return false;
  }
  const auto head = [&](std::size_t at) { return static_cast<unsigned char>((*read)[at]); };
  width = std::max<std::uint16_t>(width, static_cast<std::uint16_t>(head(6) | head(7) << 8));
  height = std::max<std::uint16_t>(height, static_cast<std::uint16_t>(head(8) | head(9) << 8));
  return true;
}

// Reads one GIF and appends its frames (extensions and image blocks, each
// with a local colour table) to `frames`. Application extensions (loop counts,
// the writer's own notes) are dropped: the joined file has one.
bool collect_frames(const std::string& bytes, std::string& frames) {
  gif_reader gif(bytes);
  if (!gif.has(13) || bytes.compare(0, 3, "GIF") != 0) {
    return false;
  }
  const std::uint8_t screen = gif.byte(10);
  gif.skip(13);
  const std::size_t global_size = colour_table_size(screen);
  if (!gif.has(global_size)) {
    return false;
  }
  const std::string global_table = gif.slice(gif.position(), gif.position() + global_size);
  gif.skip(global_size);

  bool any_image = false;
  while (gif.has(1)) {
    const std::size_t start = gif.position();
    const std::uint8_t introducer = gif.next();
    if (introducer == 0x3B) {
      return any_image;
    }
    if (introducer == 0x21) {
      if (!gif.has(1)) {
        return false;
      }
      const std::uint8_t label = gif.next();
      if (!gif.skip_sub_blocks()) {
        return false;
      }
      if (label != 0xFF) {
        frames += gif.slice(start, gif.position());
      }
    } else if (introducer == 0x2C) {
      if (!gif.has(9)) {
        return false;
      }
      std::string descriptor = gif.slice(start, start + 10);
      gif.skip(9);
      const std::uint8_t packed = static_cast<std::uint8_t>(descriptor[9]);
      const std::size_t local_size = colour_table_size(packed);
      std::string table;
      if (local_size > 0) {
        if (!gif.has(local_size)) {
          return false;
        }
        table = gif.slice(gif.position(), gif.position() + local_size);
        gif.skip(local_size);
      } else if (global_size > 0) {
        // The frame used the file's global table: it becomes its own.
        descriptor[9] = static_cast<char>((packed & 0x78) | 0x80 | (screen & 0x07));
        table = global_table;
      }
      const std::size_t data = gif.position();
      if (!gif.has(1)) {
        return false;
      }
      gif.skip(1);  // LZW minimum code size
      if (!gif.skip_sub_blocks()) {
        return false;
      }
      frames += descriptor + table + gif.slice(data, gif.position());
      any_image = true;
    } else {
      return false;
    }
  }
  return false;  // no trailer
}

}  // namespace

status join_dcx_files(platform::file_system& files, const std::vector<std::string>& pcx_pages,
                      const std::string& output) {
  if (pcx_pages.size() >= kDcxDirectoryEntries) {
    return status::error(output + ": a DCX file holds at most " +
                         std::to_string(kDcxDirectoryEntries - 1) + " pages");
  }
  std::string header;
  put_le(header, kDcxMagic, 4);
  std::uint64_t offset = 4 + 4 * kDcxDirectoryEntries;
  for (const std::string& page : pcx_pages) {
    const platform::file_info info = files.stat_target(page);
    if (info.kind != platform::file_kind::regular) {
      return status::error(page + ": cannot be read");
    }
    if (offset > UINT32_MAX) {
      return status::error(output + ": too large for a DCX file");
    }
    put_le(header, static_cast<std::uint32_t>(offset), 4);
    offset += info.size;
  }
  header.resize(4 + 4 * kDcxDirectoryEntries, '\0');
  joined_file out(files, output);
  out.append(header);
  for (const std::string& page : pcx_pages) {
    const result<std::string> bytes = files.read_file(page, kMaxPageFileSize);
    if (!bytes.is_ok()) {
      return bytes.status();
    }
    out.append(*bytes);
  }
  return out.finish();
}

status join_gif_files(platform::file_system& files, const std::vector<std::string>& gif_pages,
                      const std::string& output) {
  // The screen must hold the largest frame, so the sizes are read first; then
  // one page at a time is read and written.
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  for (const std::string& page : gif_pages) {
    if (!read_screen_size(files, page, width, height)) {
      return status::error(page + ": not a GIF file");
    }
  }
  std::string head = "GIF89a";
  put_le(head, width, 2);
  put_le(head, height, 2);
  head += std::string("\x70\x00\x00", 3);  // no global table, 8-bit colour resolution
  // Loop forever, as a multi-image GIF of ImageMagick's does.
  head += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);

  joined_file out(files, output);
  out.append(head);
  std::string frames;
  for (const std::string& page : gif_pages) {
    const result<std::string> bytes = files.read_file(page, kMaxPageFileSize);
    if (!bytes.is_ok()) {
      return bytes.status();
    }
    frames.clear();
    if (!collect_frames(*bytes, frames)) {
      return status::error(page + ": not a complete GIF file");
    }
    out.append(frames);
  }
  out.append("\x3B");
  return out.finish();
}

}  // namespace zq::engine
