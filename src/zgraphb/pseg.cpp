#include "zgraphb/pseg.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace zgraphb::pseg {
namespace {

// Structured-field identifiers: class D3, then type and category.
constexpr std::uint32_t kNop = 0xD3EEEE;
constexpr std::uint32_t kBeginSegment = 0xD3A85F;   // BPS
constexpr std::uint32_t kEndSegment = 0xD3A95F;     // EPS
constexpr std::uint32_t kBeginImage = 0xD3A87B;     // BII
constexpr std::uint32_t kEndImage = 0xD3A97B;       // EII
constexpr std::uint32_t kOutputControl = 0xD3A77B;  // IOC
constexpr std::uint32_t kDescriptor = 0xD3A67B;     // IID
constexpr std::uint32_t kRasterData = 0xD3EE7B;     // IRD

constexpr std::uint8_t kRecordPrefix = 0x5A;
constexpr std::size_t kIntroducerBytes = 9;  // prefix, length, identifier, flags, sequence
constexpr std::size_t kDescriptorBytes = 36;
constexpr std::size_t kNameBytes = 8;
constexpr std::size_t kFlushBytes = 64 * 1024;

// ASCII to EBCDIC code page 037; bytes outside printable ASCII become '_'.
constexpr std::array<std::uint8_t, 128> make_ebcdic_table() {
  std::array<std::uint8_t, 128> t{};
  t.fill(0x6D);
  constexpr std::string_view punctuation = " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
  constexpr std::uint8_t punctuation_codes[] = {
      0x40, 0x5A, 0x7F, 0x7B, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C,
      0x4E, 0x6B, 0x60, 0x4B, 0x61, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F,
      0x7C, 0xBA, 0xE0, 0xBB, 0xB0, 0x6D, 0x79, 0xC0, 0x4F, 0xD0, 0xA1};
  static_assert(std::size(punctuation_codes) == punctuation.size());
  for (std::size_t i = 0; i < punctuation.size(); ++i) {
    t[static_cast<std::size_t>(punctuation[i])] = punctuation_codes[i];
  }
  for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<std::uint8_t>(0xF0 + i);
  // The alphabet sits in three runs: A-I, J-R, S-Z; lower case is 0x40 below.
  for (int i = 0; i < 26; ++i) {
    const int code = i < 9 ? 0xC1 + i : i < 18 ? 0xD1 + (i - 9) : 0xE2 + (i - 18);
    t['A' + i] = static_cast<std::uint8_t>(code);
    t['a' + i] = static_cast<std::uint8_t>(code - 0x40);
  }
  return t;
}
constexpr std::array<std::uint8_t, 128> kEbcdic = make_ebcdic_table();

std::uint8_t to_ebcdic(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < kEbcdic.size() ? kEbcdic[u] : kEbcdic['_'];
}

// The resource name printers look the segment up by: the output's base name
// without folder and extension, upper case, cut or blank-padded to 8 bytes.
std::array<std::uint8_t, kNameBytes> segment_name(std::string_view fn) {
  std::string_view base = fn.substr(fn.rfind('/') + 1);
  base = base.substr(0, base.rfind('.'));
  std::array<std::uint8_t, kNameBytes> name;
  name.fill(to_ebcdic(' '));
  for (std::size_t i = 0; i < std::min(base.size(), kNameBytes); ++i) {
    const char c = base[i];
    name[i] = to_ebcdic(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return name;
}

struct record {
  std::uint32_t id;
  std::uint16_t data_bytes;
};

// Flags and sequence numbers are not examined: writers disagree on both.
GBM_ERR next_record(byte_cursor& in, record& out) {
  std::uint8_t introducer[kIntroducerBytes];
  if (!in.read(introducer, sizeof introducer)) return GBM_ERR_READ;
  if (introducer[0] != kRecordPrefix) return GBM_ERR_PSEG_NOT_5A;
  const std::uint16_t length = be16(introducer + 1);
  if (length < kIntroducerBytes - 1) return GBM_ERR_PSEG_BAD_RECORD;
  out.id = std::uint32_t{introducer[3]} << 16 | std::uint32_t{introducer[4]} << 8 | introducer[5];
  out.data_bytes = static_cast<std::uint16_t>(length - (kIntroducerBytes - 1));
  return GBM_ERR_OK;
}

GBM_ERR skip_data(byte_cursor& in, const record& r) {
  return in.skip(r.data_bytes) ? GBM_ERR_OK : GBM_ERR_READ;
}

struct layout {
  GBM image;
  std::uint64_t raster_offset;  // introducer of the first IRD
};

GBM_ERR read_descriptor(byte_cursor& in, const record& r, GBM& image) {
  if (r.data_bytes != kDescriptorBytes) return GBM_ERR_PSEG_BAD_RECORD;
  std::uint8_t d[kDescriptorBytes];
  if (!in.read(d, sizeof d)) return GBM_ERR_READ;
  const int w = be16(d + 18), h = be16(d + 20);
  const int cell_w = be16(d + 28), cell_h = be16(d + 30);
  if (w == 0 || h == 0 || w > kMaxPoints || h > kMaxPoints) return GBM_ERR_BAD_SIZE;
  if (w % 8 != 0) return GBM_ERR_PSEG_BAD_WIDTH;
  // A default cell as large as the image (or none, 0 x 0) is one block of rows;
  // smaller cells would need positioning records that this form never has.
  if (!(cell_w == 0 && cell_h == 0) && !(cell_w == w && cell_h == h)) return GBM_ERR_PSEG_CELLS;
  image = GBM{w, h, 1};
  return GBM_ERR_OK;
}

GBM_ERR parse(const file_source& file, layout& out) {
  byte_cursor in(file, 0);
  bool have_descriptor = false;
  for (;;) {
    const std::uint64_t at = in.position();
    record r;
    if (const GBM_ERR rc = next_record(in, r); rc != GBM_ERR_OK) return rc;
    GBM_ERR rc = GBM_ERR_OK;
    switch (r.id) {
      case kNop:
      case kBeginSegment:
      case kBeginImage:
      case kOutputControl:
        rc = skip_data(in, r);
        break;
      case kDescriptor:
        rc = have_descriptor ? GBM_ERR_PSEG_UNEXPECTED : read_descriptor(in, r, out.image);
        have_descriptor = true;
        break;
      case kRasterData: {
        if (!have_descriptor) return GBM_ERR_PSEG_NO_IID;
        // Every row has to be in the file, which bounds the caller's buffer.
        const auto raster_bytes =
            static_cast<std::uint64_t>(out.image.w / 8) * static_cast<std::uint64_t>(out.image.h);
        if (file.size() - at < raster_bytes) return GBM_ERR_READ;
        out.raster_offset = at;
        return GBM_ERR_OK;
      }
      case kEndImage:
      case kEndSegment:
        return GBM_ERR_PSEG_UNEXPECTED;
      default:
        return GBM_ERR_PSEG_BAD_RECORD;
    }
    if (rc != GBM_ERR_OK) return rc;
  }
}

GBM_ERR parse_matching(const file_source& file, const GBM& gbm, layout& out) {
  if (const GBM_ERR rc = parse(file, out); rc != GBM_ERR_OK) return rc;
  return same_image(gbm, out.image) ? GBM_ERR_OK : GBM_ERR_BAD_ARG;
}

// The raster is one stream of rows, top row first; IRD boundaries need not
// fall between rows.
GBM_ERR read_raster(byte_cursor& in, const record& r, const GBM& image, std::uint64_t& filled,
                    std::uint8_t* data) {
  const std::uint64_t row_bytes = static_cast<std::uint64_t>(image.w / 8);
  const std::uint64_t rows = static_cast<std::uint64_t>(image.h);
  const std::uint64_t stride = row_stride(static_cast<std::uint64_t>(image.w), 1);
  if (r.data_bytes > row_bytes * rows - filled) return GBM_ERR_PSEG_RASTER_SIZE;
  std::uint64_t left = r.data_bytes;
  while (left > 0) {
    const std::uint64_t row = filled / row_bytes, column = filled % row_bytes;
    const std::uint64_t n = std::min(left, row_bytes - column);
    if (!in.read(data + (rows - 1 - row) * stride + column, n)) return GBM_ERR_READ;
    filled += n;
    left -= n;
  }
  return GBM_ERR_OK;
}

class record_writer {
 public:
  explicit record_writer(int fd) : fd_(fd) {}

  bool add(std::uint32_t id, std::span<const std::uint8_t> data) {
    const auto length = static_cast<std::uint16_t>(kIntroducerBytes - 1 + data.size());
    ++sequence_;
    const std::uint8_t introducer[kIntroducerBytes] = {
        kRecordPrefix,
        static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length),
        static_cast<std::uint8_t>(id >> 16),
        static_cast<std::uint8_t>(id >> 8),
        static_cast<std::uint8_t>(id),
        0,  // flags: no extension, no segmentation, no padding
        static_cast<std::uint8_t>(sequence_ >> 8),
        static_cast<std::uint8_t>(sequence_)};
    pending_.insert(pending_.end(), std::begin(introducer), std::end(introducer));
    pending_.insert(pending_.end(), data.begin(), data.end());
    return pending_.size() < kFlushBytes || flush();
  }

  bool flush() {
    const std::uint8_t* p = pending_.data();
    std::size_t left = pending_.size();
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    pending_.clear();
    return true;
  }

 private:
  int fd_;
  std::uint16_t sequence_ = 0;  // at most kMaxPoints + 8 records
  std::vector<std::uint8_t> pending_;
};

void put16(std::uint8_t* p, int v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

bool is_dark(const GBMRGB& c) { return 299 * c.r + 587 * c.g + 114 * c.b < 128 * 1000; }

}  // namespace

GBM_ERR read_header(const file_source& file, GBM& gbm) {
  layout l;
  if (const GBM_ERR rc = parse(file, l); rc != GBM_ERR_OK) return rc;
  gbm = l.image;
  return GBM_ERR_OK;
}

GBM_ERR read_palette(const file_source& file, const GBM& gbm, GBMRGB* palette) {
  layout l;
  if (const GBM_ERR rc = parse_matching(file, gbm, l); rc != GBM_ERR_OK) return rc;
  palette[0] = GBMRGB{0xFF, 0xFF, 0xFF};
  palette[1] = GBMRGB{0, 0, 0};
  return GBM_ERR_OK;
}

GBM_ERR read_data(const file_source& file, const GBM& gbm, std::uint8_t* data) {
  layout l;
  if (const GBM_ERR rc = parse_matching(file, gbm, l); rc != GBM_ERR_OK) return rc;
  std::memset(data, 0, row_stride(static_cast<std::uint64_t>(gbm.w), 1) * gbm.h);
  const std::uint64_t raster_bytes = static_cast<std::uint64_t>(gbm.w / 8) * gbm.h;
  std::uint64_t filled = 0;
  byte_cursor in(file, l.raster_offset);
  for (;;) {
    record r;
    if (const GBM_ERR rc = next_record(in, r); rc != GBM_ERR_OK) return rc;
    GBM_ERR rc = GBM_ERR_OK;
    switch (r.id) {
      case kNop:
        rc = skip_data(in, r);
        break;
      case kRasterData:
        rc = read_raster(in, r, gbm, filled, data);
        break;
      case kEndImage:
        return filled == raster_bytes ? GBM_ERR_OK : GBM_ERR_PSEG_RASTER_SIZE;
      case kBeginSegment:
      case kEndSegment:
      case kBeginImage:
      case kOutputControl:
      case kDescriptor:
        return GBM_ERR_PSEG_UNEXPECTED;
      default:
        return GBM_ERR_PSEG_BAD_RECORD;
    }
    if (rc != GBM_ERR_OK) return rc;
  }
}

GBM_ERR write(const char* fn, int fd, const GBM& gbm, const GBMRGB* palette,
              const std::uint8_t* data, resolution dpi) {
  if (gbm.w < 1 || gbm.w > kMaxWidth || gbm.h < 1 || gbm.h > kMaxPoints) return GBM_ERR_BAD_SIZE;
  const auto name = segment_name(fn);
  const int padded_width = (gbm.w + 7) / 8 * 8;

  // GBM's comment record, kept so that our segments match GBM's byte for byte.
  constexpr std::string_view kComment = "Written by GBM";
  std::array<std::uint8_t, kComment.size()> comment;
  std::transform(kComment.begin(), kComment.end(), comment.begin(), to_ebcdic);

  // clang-format off
  constexpr std::uint8_t kOutputControlData[24] = {
      0, 0, 0,  0, 0, 0,          // image origin
      0x00, 0x00,  0x2D, 0x00,    // X axis at 0 degrees, Y axis at 90: unrotated
      0, 0, 0, 0, 0, 0, 0, 0,
      0x03, 0xE8,  0x03, 0xE8,    // one image point per pel in both directions
      0xFF, 0xFF};
  // clang-format on
  // The leading 2400s and the 2D00 are constants of the form; the resolution
  // is in image points per 10 inches (unit base 00).
  std::uint8_t descriptor[kDescriptorBytes] = {0, 0, 0x09, 0x60, 0x09, 0x60};
  put16(descriptor + 14, dpi.x * 10);
  put16(descriptor + 16, dpi.y * 10);
  put16(descriptor + 18, padded_width);
  put16(descriptor + 20, gbm.h);
  descriptor[26] = 0x2D;
  put16(descriptor + 32, 1);
  put16(descriptor + 34, 0xFFFF);  // default colour

  // Ink where the palette colour is dark, whatever index it has; padding bits
  // at the end of each row stay paper.
  const std::uint8_t ink_for_1 = is_dark(palette[1]) ? 0xFF : 0x00;
  const std::uint8_t ink_for_0 = is_dark(palette[0]) ? 0xFF : 0x00;
  const std::size_t row_bytes = static_cast<std::size_t>(padded_width / 8);
  const auto last_byte_mask = static_cast<std::uint8_t>(0xFF << (padded_width - gbm.w));
  const std::uint64_t stride = row_stride(static_cast<std::uint64_t>(gbm.w), 1);
  std::vector<std::uint8_t> row(row_bytes);

  record_writer out(fd);
  bool ok = out.add(kNop, comment) && out.add(kBeginSegment, name) && out.add(kBeginImage, name) &&
            out.add(kOutputControl, kOutputControlData) && out.add(kDescriptor, descriptor);
  for (int y = gbm.h - 1; ok && y >= 0; --y) {  // the buffer's last row is the top one
    const std::uint8_t* src = data + static_cast<std::uint64_t>(y) * stride;
    for (std::size_t i = 0; i < row_bytes; ++i) {
      row[i] = static_cast<std::uint8_t>((src[i] & ink_for_1) | (~src[i] & ink_for_0));
    }
    row.back() &= last_byte_mask;
    ok = out.add(kRasterData, row);
  }
  ok = ok && out.add(kEndImage, name) && out.add(kEndSegment, name) && out.flush();
  return ok ? GBM_ERR_OK : GBM_ERR_WRITE;
}

}  // namespace zgraphb::pseg
