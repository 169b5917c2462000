#include "engine/tiff_pages.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/file_system.h"

namespace zq::engine {
namespace {

// The library reports through callbacks; each handle collects its last message
// so that a failure can name the reason.
struct tiff_messages {
  std::string last_error;
};

__attribute__((format(printf, 4, 0))) int collect_error(TIFF*, void* user_data, const char* module,
                                                        const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  auto* messages = static_cast<tiff_messages*>(user_data);
  messages->last_error = module != nullptr ? std::string(module) + ": " + text : text;
  return 1;
}

int ignore_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct tiff_closer {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using tiff_ptr = std::unique_ptr<TIFF, tiff_closer>;

tiff_ptr open_tiff(const std::string& path, const char* mode, tiff_messages& messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, collect_error, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignore_warning, nullptr);
  tiff_ptr tiff(TIFFOpenExt(path.c_str(), mode, options));
  TIFFOpenOptionsFree(options);
  return tiff;
}

template <typename T>
bool copy_scalar(TIFF* in, TIFF* out, ttag_t tag) {
  T value{};
  return TIFFGetField(in, tag, &value) == 0 || TIFFSetField(out, tag, value) != 0;
}

bool copy_string(TIFF* in, TIFF* out, ttag_t tag) {
  const char* value = nullptr;
  return TIFFGetField(in, tag, &value) == 0 || TIFFSetField(out, tag, value) != 0;
}

bool copy_counted_bytes(TIFF* in, TIFF* out, ttag_t tag) {
  uint32_t count = 0;
  void* data = nullptr;
  return TIFFGetField(in, tag, &count, &data) == 0 || TIFFSetField(out, tag, count, data) != 0;
}

bool copy_uint16_pair(TIFF* in, TIFF* out, ttag_t tag) {
  uint16_t first = 0;
  uint16_t second = 0;
  return TIFFGetField(in, tag, &first, &second) == 0 || TIFFSetField(out, tag, first, second) != 0;
}

// The tags a page of ours can carry. Compression comes first: the codec it
// selects is what makes its own tags (fax options, JPEG tables, predictor)
// known to the output handle.
bool copy_tags(TIFF* in, TIFF* out) {
  bool ok = copy_scalar<uint16_t>(in, out, TIFFTAG_COMPRESSION);
  for (ttag_t tag : {TIFFTAG_SUBFILETYPE, TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH,
                     TIFFTAG_ROWSPERSTRIP, TIFFTAG_TILEWIDTH, TIFFTAG_TILELENGTH}) {
    ok = ok && copy_scalar<uint32_t>(in, out, tag);
  }
  for (ttag_t tag :
       {TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_PHOTOMETRIC, TIFFTAG_FILLORDER,
        TIFFTAG_ORIENTATION, TIFFTAG_PLANARCONFIG, TIFFTAG_RESOLUTIONUNIT, TIFFTAG_SAMPLEFORMAT,
        TIFFTAG_THRESHHOLDING, TIFFTAG_INKSET, TIFFTAG_YCBCRPOSITIONING, TIFFTAG_MINSAMPLEVALUE,
        TIFFTAG_MAXSAMPLEVALUE, TIFFTAG_PREDICTOR}) {
    ok = ok && copy_scalar<uint16_t>(in, out, tag);
  }
  for (ttag_t tag :
       {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION, TIFFTAG_XPOSITION, TIFFTAG_YPOSITION}) {
    ok = ok && copy_scalar<float>(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_GROUP3OPTIONS, TIFFTAG_GROUP4OPTIONS}) {
    ok = ok && copy_scalar<uint32_t>(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE, TIFFTAG_MODEL,
                     TIFFTAG_PAGENAME, TIFFTAG_SOFTWARE, TIFFTAG_DATETIME, TIFFTAG_ARTIST,
                     TIFFTAG_HOSTCOMPUTER}) {
    ok = ok && copy_string(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_JPEGTABLES, TIFFTAG_ICCPROFILE}) {
    ok = ok && copy_counted_bytes(in, out, tag);
  }
  ok = ok && copy_uint16_pair(in, out, TIFFTAG_YCBCRSUBSAMPLING);

  uint16_t* red = nullptr;
  uint16_t* green = nullptr;
  uint16_t* blue = nullptr;
  if (TIFFGetField(in, TIFFTAG_COLORMAP, &red, &green, &blue) != 0) {
    ok = ok && TIFFSetField(out, TIFFTAG_COLORMAP, red, green, blue) != 0;
  }
  uint16_t extra_count = 0;
  uint16_t* extra = nullptr;
  if (TIFFGetField(in, TIFFTAG_EXTRASAMPLES, &extra_count, &extra) != 0) {
    ok = ok && TIFFSetField(out, TIFFTAG_EXTRASAMPLES, extra_count, extra) != 0;
  }
  float* reference = nullptr;
  if (TIFFGetField(in, TIFFTAG_REFERENCEBLACKWHITE, &reference) != 0) {
    ok = ok && TIFFSetField(out, TIFFTAG_REFERENCEBLACKWHITE, reference) != 0;
  }
  return ok;
}

// Copies the encoded strips or tiles of the current directory. No strip can be
// larger than the file holding it, which bounds every buffer.
bool copy_raw_data(TIFF* in, TIFF* out, uint64_t file_size) {
  const bool tiled = TIFFIsTiled(in) != 0;
  const uint32_t count = tiled ? TIFFNumberOfTiles(in) : TIFFNumberOfStrips(in);
  const uint64_t* sizes = nullptr;
  if (TIFFGetField(in, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &sizes) == 0) {
    return false;
  }
  std::vector<unsigned char> buffer;
  for (uint32_t i = 0; i < count; ++i) {
    if (sizes[i] > file_size) {
      return false;
    }
    const tmsize_t size = static_cast<tmsize_t>(sizes[i]);
    buffer.resize(static_cast<std::size_t>(size));
    const tmsize_t read = tiled ? TIFFReadRawTile(in, i, buffer.data(), size)
                                : TIFFReadRawStrip(in, i, buffer.data(), size);
    if (read < 0) {
      return false;
    }
    const tmsize_t written = tiled ? TIFFWriteRawTile(out, i, buffer.data(), read)
                                   : TIFFWriteRawStrip(out, i, buffer.data(), read);
    if (written != read) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::size_t tiff_page_count(const std::string& tiff_file) {
  tiff_messages messages;
  tiff_ptr in = open_tiff(tiff_file, "rm", messages);
  return in ? TIFFNumberOfDirectories(in.get()) : 0;
}

status join_tiff_files(platform::file_system& files, const std::vector<std::string>& inputs,
                       const std::string& output) {
  tiff_messages messages;
  std::size_t total = 0;
  for (const std::string& input : inputs) {
    const std::size_t pages = tiff_page_count(input);
    if (pages == 0) {
      return status::error(input + ": not a readable TIFF file");
    }
    total += pages;
  }
  tiff_ptr out = open_tiff(output, "w", messages);
  if (!out) {
    return status::error(output + ": " + messages.last_error);
  }
  std::size_t page = 0;
  for (const std::string& input : inputs) {
    tiff_ptr in = open_tiff(input, "rm", messages);
    const platform::file_info info = files.stat_target(input);
    const uint64_t file_size = info.size;
    if (!in || info.kind != platform::file_kind::regular) {
      return status::error(input + ": " + messages.last_error);
    }
    do {
      const bool copied = copy_tags(in.get(), out.get()) &&
                          TIFFSetField(out.get(), TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page),
                                       static_cast<uint16_t>(total)) != 0 &&
                          copy_raw_data(in.get(), out.get(), file_size) &&
                          TIFFWriteDirectory(out.get()) != 0;
      if (!copied) {
        return status::error(input + ": " +
                             (messages.last_error.empty() ? std::string("page cannot be copied")
                                                          : messages.last_error));
      }
      ++page;
    } while (TIFFReadDirectory(in.get()) != 0);
  }
  // Closing writes what is still buffered; a failure there is a failed join.
  TIFF* handle = out.release();
  const bool flushed = TIFFFlush(handle) != 0;
  TIFFClose(handle);
  if (!flushed) {
    return status::error(output + ": " + messages.last_error);
  }
  return status::ok();
}

bool find_embeddable_g4(platform::file_system& files, const std::string& tiff_file, int page_index,
                        ccitt_page& page, tiff_resolution& resolution) {
  tiff_messages messages;
  tiff_ptr in = open_tiff(tiff_file, "rm", messages);
  if (!in || page_index < 0 || TIFFSetDirectory(in.get(), static_cast<tdir_t>(page_index)) == 0) {
    return false;
  }
  TIFF* tiff = in.get();
  uint16_t compression = 0;
  uint16_t samples = 1;
  uint16_t bits = 1;
  uint16_t fill_order = FILLORDER_MSB2LSB;
  uint16_t photometric = 0;
  uint32_t columns = 0;
  uint32_t rows = 0;
  const uint64_t* offsets = nullptr;
  const uint64_t* sizes = nullptr;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_FILLORDER, &fill_order);
  if (compression != COMPRESSION_CCITTFAX4 || samples != 1 || bits != 1 ||
      fill_order != FILLORDER_MSB2LSB || TIFFIsTiled(tiff) != 0 || TIFFNumberOfStrips(tiff) != 1 ||
      TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) == 0 ||
      photometric > PHOTOMETRIC_MINISBLACK ||
      TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &columns) == 0 ||
      TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &rows) == 0 ||
      TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets) == 0 ||
      TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &sizes) == 0) {
    return false;
  }
  float x = 0;
  float y = 0;
  const bool has_x = TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) != 0;
  const bool has_y = TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) != 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  const platform::file_info info = files.stat_target(tiff_file);
  const uint64_t file_size = info.size;
  if (has_x != has_y || info.kind != platform::file_kind::regular || offsets[0] > file_size ||
      sizes[0] > file_size - offsets[0]) {
    return false;
  }
  resolution = {has_x ? x : 0.0, has_y ? y : 0.0, unit == RESUNIT_CENTIMETER};
  page.file = tiff_file;
  page.offset = offsets[0];
  page.length = sizes[0];
  page.columns = columns;
  page.rows = rows;
  page.black_is_1 = photometric == PHOTOMETRIC_MINISBLACK;
  return true;
}

}  // namespace zq::engine
