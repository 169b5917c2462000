// The C entry points: argument checks, the file-type table, descriptors and
// the write resolution. Nothing here knows a file format.
#include "zgraphb/gbm.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <new>
#include <string_view>

#include "zgraphb/bmp.h"
#include "zgraphb/pseg.h"

static_assert(sizeof(GBMRGB) == 3, "callers pass palettes as packed byte triples");
static_assert(GBM_O_RDONLY == O_RDONLY && GBM_O_WRONLY == O_WRONLY && GBM_O_RDWR == O_RDWR);

namespace zgraphb {
namespace {

// Looked up by extension or index, never by a fixed position.
constexpr codec kCodecs[] = {
    {{"Bitmap", "OS/2 / Windows bitmap", "BMP VGA BGA RLE DIB RL4 RL8",
      GBM_FT_R1 | GBM_FT_R4 | GBM_FT_R8 | GBM_FT_R24},
     bmp::read_header,
     bmp::read_palette,
     bmp::read_data,
     nullptr},
    {{"PSEG", "IBM Printer Page Segment", "PSE PSEG PSEG38PP PSEG3820", GBM_FT_R1 | GBM_FT_W1},
     pseg::read_header,
     pseg::read_palette,
     pseg::read_data,
     pseg::write},
};

constexpr int kDefaultDpi = 240;
constexpr int kMaxDpi = pseg::kMaxPoints / 10;  // written as points per 10 inches

std::atomic<int> g_dpi_x{0};
std::atomic<int> g_dpi_y{0};

const codec* codec_at(int ft) {
  return ft >= 0 && static_cast<std::size_t>(ft) < std::size(kCodecs) ? &kCodecs[ft] : nullptr;
}

bool same_text_ignoring_case(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool lists_extension(std::string_view list, std::string_view extension) {
  constexpr std::string_view kSeparators = " \t,";
  std::size_t start = list.find_first_not_of(kSeparators);
  while (start != std::string_view::npos) {
    const std::size_t end = list.find_first_of(kSeparators, start);
    if (same_text_ignoring_case(list.substr(start, end - start), extension)) return true;
    start = list.find_first_not_of(kSeparators, end);
  }
  return false;
}

int write_flag_for(int bpp) {
  switch (bpp) {
    case 1:
      return GBM_FT_W1;
    case 4:
      return GBM_FT_W4;
    case 8:
      return GBM_FT_W8;
    case 24:
      return GBM_FT_W24;
    default:
      return 0;
  }
}

bool valid_access(int access) {
  return access == GBM_O_RDONLY || access == GBM_O_WRONLY || access == GBM_O_RDWR;
}

// The mode is GBM's: an access value, optionally with GBM_O_BINARY. Other bits
// are refused rather than passed on, so no caller gets open() flags by accident.
int open_file(const char* fn, int mode, int create_flags) {
  const int access = mode & ~GBM_O_BINARY;
  if (fn == nullptr || !valid_access(access) || (create_flags != 0 && access == GBM_O_RDONLY)) {
    errno = EINVAL;
    return -1;
  }
  return ::open(fn, access | create_flags | O_NOFOLLOW | O_CLOEXEC, 0666);
}

// The shared start of the three read calls.
template <class Read>
GBM_ERR read_with(int fd, int ft, const void* out, Read read) noexcept {
  const codec* c = codec_at(ft);
  if (c == nullptr || out == nullptr) return GBM_ERR_BAD_ARG;
  const auto file = file_source::of(fd);
  if (!file) return GBM_ERR_READ;
  try {
    return read(*c, *file);
  } catch (const std::bad_alloc&) {
    return GBM_ERR_MEM;
  }
}

}  // namespace
}  // namespace zgraphb

using zgraphb::codec;
using zgraphb::file_source;

extern "C" {

GBM_ERR gbm_init(void) { return GBM_ERR_OK; }
GBM_ERR gbm_deinit(void) { return GBM_ERR_OK; }

GBM_ERR gbm_guess_filetype(const char* fn, int* ft) {
  if (fn == nullptr || ft == nullptr) return GBM_ERR_BAD_ARG;
  const std::string_view name(fn);
  const std::size_t dot = name.rfind('.');
  const bool has_extension = dot != std::string_view::npos && name.find('/', dot) == name.npos;
  const std::string_view extension = has_extension ? name.substr(dot + 1) : std::string_view();
  for (std::size_t i = 0; i < std::size(zgraphb::kCodecs); ++i) {
    if (zgraphb::lists_extension(zgraphb::kCodecs[i].type.extensions, extension)) {
      *ft = static_cast<int>(i);
      return GBM_ERR_OK;
    }
  }
  return GBM_ERR_NOT_FOUND;
}

GBM_ERR gbm_query_filetype(int ft, GBMFT* gbmft) {
  const codec* c = zgraphb::codec_at(ft);
  if (c == nullptr || gbmft == nullptr) return GBM_ERR_BAD_ARG;
  *gbmft = c->type;
  return GBM_ERR_OK;
}

int gbm_io_open(const char* fn, int mode) { return zgraphb::open_file(fn, mode, 0); }

int gbm_io_create(const char* fn, int mode) {
  return zgraphb::open_file(fn, mode, O_CREAT | O_TRUNC);
}

void gbm_io_close(int fd) {
  if (fd >= 0) close(fd);
}

GBM_ERR gbm_read_header(const char* fn, int fd, int ft, GBM* gbm, const char* opt) {
  if (fn == nullptr || opt == nullptr) return GBM_ERR_BAD_ARG;
  return zgraphb::read_with(fd, ft, gbm, [&](const codec& c, const file_source& file) {
    return c.read_header(file, *gbm);
  });
}

GBM_ERR gbm_read_palette(int fd, int ft, GBM* gbm, GBMRGB* gbmrgb) {
  if (gbmrgb == nullptr) return GBM_ERR_BAD_ARG;
  return zgraphb::read_with(fd, ft, gbm, [&](const codec& c, const file_source& file) {
    return c.read_palette(file, *gbm, gbmrgb);
  });
}

GBM_ERR gbm_read_data(int fd, int ft, GBM* gbm, unsigned char* data) {
  if (data == nullptr) return GBM_ERR_BAD_ARG;
  return zgraphb::read_with(fd, ft, gbm, [&](const codec& c, const file_source& file) {
    return c.read_data(file, *gbm, data);
  });
}

GBM_ERR gbm_pelx_pely(int pelx, int pely) {
  if (pelx < 0 || pelx > zgraphb::kMaxDpi || pely < 0 || pely > zgraphb::kMaxDpi) {
    return GBM_ERR_BAD_ARG;
  }
  zgraphb::g_dpi_x = pelx;
  zgraphb::g_dpi_y = pely;
  return GBM_ERR_OK;
}

GBM_ERR gbm_write(const char* fn, int fd, int ft, const GBM* gbm, const GBMRGB* gbmrgb,
                  const unsigned char* data, const char* opt, const char* short_name,
                  const char* long_name, const char* extensions) {
  const codec* c = zgraphb::codec_at(ft);
  if (c == nullptr || fn == nullptr || gbm == nullptr || gbmrgb == nullptr || data == nullptr ||
      opt == nullptr || short_name == nullptr || long_name == nullptr || extensions == nullptr) {
    return GBM_ERR_BAD_ARG;
  }
  // The caller hands back the descriptor it looked up; a mismatch means it
  // mixed up its types.
  if (std::strcmp(short_name, c->type.short_name) != 0 ||
      std::strcmp(long_name, c->type.long_name) != 0 ||
      std::strcmp(extensions, c->type.extensions) != 0) {
    return GBM_ERR_BAD_ARG;
  }
  if (c->write == nullptr || (c->type.flags & zgraphb::write_flag_for(gbm->bpp)) == 0) {
    return GBM_ERR_NOT_SUPP;
  }
  auto or_default = [](int dpi) { return dpi == 0 ? zgraphb::kDefaultDpi : dpi; };
  try {
    return c->write(
        fn, fd, *gbm, gbmrgb, data,
        zgraphb::resolution{or_default(zgraphb::g_dpi_x), or_default(zgraphb::g_dpi_y)});
  } catch (const std::bad_alloc&) {
    return GBM_ERR_MEM;
  }
}

}  // extern "C"
