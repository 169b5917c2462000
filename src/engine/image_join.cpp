#include "engine/image_join.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zq::engine {
namespace {

constexpr std::uint32_t kDcxMagic = 0x3ADE68B1;
constexpr std::size_t kDcxDirectoryEntries = 1024;  // the last one stays 0 as the end mark

void put_le(std::string& bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  }
}

bool read_file(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

status write_failed(const std::string& output) {
  return status::error(output + ": cannot be written");
}

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
bool read_screen_size(const std::string& path, std::uint16_t& width, std::uint16_t& height) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[10];
  if (!in.read(reinterpret_cast<char*>(head), sizeof head) || head[0] != 'G' || head[1] != 'I' ||
      head[2] != 'F') {
    return false;
  }
  width = std::max<std::uint16_t>(width, static_cast<std::uint16_t>(head[6] | head[7] << 8));
  height = std::max<std::uint16_t>(height, static_cast<std::uint16_t>(head[8] | head[9] << 8));
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

status join_dcx_files(const std::vector<std::string>& pcx_pages, const std::string& output) {
  if (pcx_pages.size() >= kDcxDirectoryEntries) {
    return status::error(output + ": a DCX file holds at most " +
                         std::to_string(kDcxDirectoryEntries - 1) + " pages");
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  std::string header;
  put_le(header, kDcxMagic, 4);
  std::uint64_t offset = 4 + 4 * kDcxDirectoryEntries;
  for (const std::string& page : pcx_pages) {
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(page, error);
    if (error) {
      return status::error(page + ": " + error.message());
    }
    if (offset > UINT32_MAX) {
      return status::error(output + ": too large for a DCX file");
    }
    put_le(header, static_cast<std::uint32_t>(offset), 4);
    offset += size;
  }
  header.resize(4 + 4 * kDcxDirectoryEntries, '\0');
  out << header;
  std::string bytes;
  for (const std::string& page : pcx_pages) {
    if (!read_file(page, bytes)) {
      return status::error(page + ": cannot be read");
    }
    out << bytes;
  }
  out.close();
  return out ? status::ok() : write_failed(output);
}

status join_gif_files(const std::vector<std::string>& gif_pages, const std::string& output) {
  // The screen must hold the largest frame, so the sizes are read first; then
  // one page at a time is read and written.
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  for (const std::string& page : gif_pages) {
    if (!read_screen_size(page, width, height)) {
      return status::error(page + ": not a GIF file");
    }
  }
  std::string head = "GIF89a";
  put_le(head, width, 2);
  put_le(head, height, 2);
  head += std::string("\x70\x00\x00", 3);  // no global table, 8-bit colour resolution
  // Loop forever, as a multi-image GIF of ImageMagick's does.
  head += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);

  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out << head;
  std::string bytes;
  std::string frames;
  for (const std::string& page : gif_pages) {
    frames.clear();
    if (!read_file(page, bytes)) {
      return status::error(page + ": cannot be read");
    }
    if (!collect_frames(bytes, frames)) {
      return status::error(page + ": not a complete GIF file");
    }
    out << frames;
  }
  out << '\x3B';
  out.close();
  return out ? status::ok() : write_failed(output);
}

}  // namespace zq::engine
