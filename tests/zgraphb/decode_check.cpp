#include "decode_check.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace zgraphb_test {
namespace {

constexpr std::uint8_t kGuardByte = 0xA5;
constexpr std::size_t kGuardBytes = 64;
constexpr std::size_t kPaletteEntries = 256;
constexpr std::size_t kGuardEntries = 16;

// gbm.h promises buffers a file can plausibly fill: its own size for plain
// data, a bounded expansion for run-length data.
constexpr std::uint64_t kExpansionAllowed = 1024;
constexpr std::uint64_t kAlwaysAllowedBytes = 16u << 20;

bool all_guard(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == kGuardByte; });
}

}  // namespace

memory_file::memory_file(std::span<const std::uint8_t> bytes)
    : fd_(memfd_create("zgraphb-test", MFD_CLOEXEC)) {
  if (fd_ < 0) throw std::runtime_error("memfd_create failed");
  replace(bytes);
}

memory_file::~memory_file() { close(fd_); }

void memory_file::replace(std::span<const std::uint8_t> bytes) {
  if (ftruncate(fd_, 0) != 0 ||
      pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) ||
      lseek(fd_, 0, SEEK_SET) != 0) {
    throw std::runtime_error("cannot fill the memory file");
  }
}

std::vector<std::uint8_t> memory_file::bytes() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) throw std::runtime_error("fstat failed");
  std::vector<std::uint8_t> out(static_cast<std::size_t>(st.st_size));
  if (pread(fd_, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size())) {
    throw std::runtime_error("cannot read the memory file");
  }
  return out;
}

std::uint64_t stride_of(const GBM& image) {
  return (static_cast<std::uint64_t>(image.w) * static_cast<std::uint64_t>(image.bpp) + 31) / 32 *
         4;
}

decoded decode_file(const memory_file& file, int ft) {
  decoded d;
  d.rc = gbm_read_header("input", file.fd(), ft, &d.image, "");
  if (d.rc != GBM_ERR_OK) return d;
  const GBM& g = d.image;
  if (g.w <= 0 || g.h <= 0 || (g.bpp != 1 && g.bpp != 4 && g.bpp != 8 && g.bpp != 24)) {
    d.violation = "impossible header accepted";
    return d;
  }
  const std::uint64_t buffer_bytes = stride_of(g) * static_cast<std::uint64_t>(g.h);
  const std::uint64_t file_bytes = file.bytes().size();
  if (buffer_bytes > std::max(kAlwaysAllowedBytes, kExpansionAllowed * file_bytes)) {
    d.violation = "buffer of " + std::to_string(buffer_bytes) + " bytes claimed by a file of " +
                  std::to_string(file_bytes);
    return d;
  }

  std::vector<std::uint8_t> palette_bytes((kPaletteEntries + kGuardEntries) * sizeof(GBMRGB),
                                          kGuardByte);
  auto* palette = reinterpret_cast<GBMRGB*>(palette_bytes.data());
  d.rc = gbm_read_palette(file.fd(), ft, &d.image, palette);
  const std::size_t filled_entries = g.bpp <= 8 ? std::size_t{1} << g.bpp : 0;
  if (!all_guard(std::span(palette_bytes).subspan(filled_entries * sizeof(GBMRGB)))) {
    d.violation = "palette written past its entries";
    return d;
  }
  if (d.rc != GBM_ERR_OK) return d;
  d.palette.assign(palette, palette + kPaletteEntries);

  std::vector<std::uint8_t> buffer(buffer_bytes + kGuardBytes, kGuardByte);
  d.rc = gbm_read_data(file.fd(), ft, &d.image, buffer.data());
  if (!all_guard(std::span(buffer).subspan(buffer_bytes))) {
    d.violation = "pixel buffer overrun";
    return d;
  }
  buffer.resize(buffer_bytes);
  d.pixels = std::move(buffer);
  return d;
}

int file_type_of(const char* fn) {
  int ft = -1;
  return gbm_guess_filetype(fn, &ft) == GBM_ERR_OK ? ft : -1;
}

GBM_ERR write_page_segment(const char* fn, const GBM& image, const GBMRGB* palette,
                           const std::uint8_t* pixels, memory_file& out) {
  const int ft = file_type_of("page.pse");
  GBMFT type;
  if (const GBM_ERR rc = gbm_query_filetype(ft, &type); rc != GBM_ERR_OK) return rc;
  out.replace({});
  return gbm_write(fn, out.fd(), ft, &image, palette, pixels, "", type.short_name, type.long_name,
                   type.extensions);
}

std::string page_segment_round_trip(const decoded& d) {
  auto black = [](const GBMRGB& c) { return c.r == 0 && c.g == 0 && c.b == 0; };
  auto white = [](const GBMRGB& c) { return c.r == 255 && c.g == 255 && c.b == 255; };
  if (d.rc != GBM_ERR_OK || d.image.bpp != 1 || d.image.w > 32760) return "";
  if (!(black(d.palette[0]) || white(d.palette[0])) ||
      !(black(d.palette[1]) || white(d.palette[1]))) {
    return "";
  }
  memory_file pse;
  if (const GBM_ERR rc =
          write_page_segment("round.pse", d.image, d.palette.data(), d.pixels.data(), pse);
      rc != GBM_ERR_OK) {
    return "writing failed with " + std::to_string(rc);
  }
  const decoded back = decode_file(pse, file_type_of("round.pse"));
  if (back.rc != GBM_ERR_OK || !back.violation.empty()) {
    return "reading back failed with " + std::to_string(back.rc) + " " + back.violation;
  }
  if (back.image.w != (d.image.w + 7) / 8 * 8 || back.image.h != d.image.h) return "size changed";
  const std::uint64_t in_stride = stride_of(d.image), out_stride = stride_of(back.image);
  for (int y = 0; y < back.image.h; ++y) {
    for (int x = 0; x < back.image.w; ++x) {
      auto bit = [x](const std::uint8_t* row) { return (row[x / 8] >> (7 - x % 8)) & 1; };
      const bool ink = bit(back.pixels.data() + y * out_stride) != 0;
      const bool dark = x < d.image.w && black(d.palette[bit(d.pixels.data() + y * in_stride)]);
      if (ink != dark) {
        return "ink differs at x " + std::to_string(x) + ", row " + std::to_string(y);
      }
    }
  }
  return "";
}

}  // namespace zgraphb_test
