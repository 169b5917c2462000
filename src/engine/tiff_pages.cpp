#include "engine/tiff_pages.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/file_system.h"

namespace zq::engine {
namespace {

// The library reports through callbacks; each handle collects its last message
// so that a failure can name the reason, and notes whether it warned.
struct tiff_messages {
  std::string last_error;
  bool warned = false;
};

__attribute__((format(printf, 4, 0))) int collect_error(TIFF*, void* user_data, const char* module,
                                                        const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  auto* messages = static_cast<tiff_messages*>(user_data);
  messages->last_error = module != nullptr ? std::string(module) + ": " + text : text;
  return 1;
}

int note_warning(TIFF*, void* user_data, const char*, const char*, va_list) {
  static_cast<tiff_messages*>(user_data)->warned = true;
  return 1;
}

struct tiff_closer {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using tiff_ptr = std::unique_ptr<TIFF, tiff_closer>;

tiff_ptr open_tiff(const std::string& path, const char* mode, tiff_messages& messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, collect_error, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, note_warning, &messages);
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

// Copies every page of a file written by the image library as it stands,
// numbering them on from `page`.
status copy_file_pages(platform::file_system& files, const std::string& input, TIFF* out,
                       tiff_messages& messages, std::size_t& page, std::size_t total) {
  tiff_ptr in = open_tiff(input, "rm", messages);
  const platform::file_info info = files.stat_target(input);
  const uint64_t file_size = info.size;
  if (!in || info.kind != platform::file_kind::regular) {
    return status::error(input + ": " + messages.last_error);
  }
  do {
    const bool copied = copy_tags(in.get(), out) &&
                        TIFFSetField(out, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page),
                                     static_cast<uint16_t>(total)) != 0 &&
                        copy_raw_data(in.get(), out, file_size) && TIFFWriteDirectory(out) != 0;
    if (!copied) {
      return status::error(input + ": " +
                           (messages.last_error.empty() ? std::string("page cannot be copied")
                                                        : messages.last_error));
    }
    ++page;
  } while (TIFFReadDirectory(in.get()) != 0);
  return status::ok();
}

uint16_t compression_of(fax_coding coding) {
  return coding == fax_coding::group4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3;
}

// The Group 3 options the writer sets: one-dimensional, every line padded so
// that its end code ends a byte.
constexpr uint32_t kWrittenGroup3Options = GROUP3OPT_FILLBITS;

// The image library refuses pages longer than this on a side (the system's
// default limit), and such a page must fail here as it fails there. A limit
// the administrator lowered is not seen: pages between the two are joined.
constexpr uint32_t kLargestSide = 16384;

// Rows in a strip of the writer's: a Group 4 page is one strip, a Group 3 page
// is cut into strips of at most a mebibyte of decoded rows, in multiples of
// 16 rows.
uint32_t written_rows_per_strip(fax_coding coding, uint32_t columns, uint32_t rows) {
  if (coding == fax_coding::group4) {
    return rows;
  }
  constexpr uint64_t kStripBytes = uint64_t{1} << 20;
  const uint64_t row_bytes = (uint64_t{columns} + 7) / 8;
  return static_cast<uint32_t>(std::min<uint64_t>(rows, kStripBytes / row_bytes / 16 * 16));
}

// Tags kept in a page's list of further tags that change nothing the writer
// does with a fax page: it keeps the description and the page name (copied
// below) and drops the others. Anything else (a colour profile, EXIF data,
// tags of its own) is left to the image library.
bool has_only_known_tags(TIFF* tiff) {
  static constexpr uint32_t kKnown[] = {
      TIFFTAG_PAGENUMBER, TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,
      TIFFTAG_MODEL,      TIFFTAG_PAGENAME,     TIFFTAG_SOFTWARE,         TIFFTAG_DATETIME,
      TIFFTAG_ARTIST,     TIFFTAG_HOSTCOMPUTER, TIFFTAG_COPYRIGHT};
  const int count = TIFFGetTagListCount(tiff);
  for (int index = 0; index < count; ++index) {
    if (std::find(std::begin(kKnown), std::end(kKnown), TIFFGetTagListEntry(tiff, index)) ==
        std::end(kKnown)) {
      return false;
    }
  }
  return true;
}

// A page's resolution tags as they stand, the unit defaulted.
struct resolution_tags {
  float x = 0;
  float y = 0;
  bool has_x = false;
  bool has_y = false;
  uint16_t unit = RESUNIT_INCH;
};

resolution_tags read_resolution_tags(TIFF* tiff) {
  resolution_tags tags;
  tags.has_x = TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &tags.x) != 0;
  tags.has_y = TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &tags.y) != 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &tags.unit);
  return tags;
}

// The resolution the writer gives the page, per inch: the page's own when it
// has both values, converted from per centimetre and rounded to hundredths as
// the image library converts it; the reading density when it has neither. A
// page with one value, a value that is not positive, or a unit but no values
// is left to the image library.
bool written_resolution(TIFF* tiff, double reading_density, fax_page& page) {
  const auto [x, y, has_x, has_y, unit] = read_resolution_tags(tiff);
  page.per_inch = unit == RESUNIT_INCH;
  if (!has_x && !has_y) {
    page.x_resolution = page.y_resolution = reading_density;
    return reading_density > 0 && unit != RESUNIT_CENTIMETER;
  }
  if (!has_x || !has_y || !std::isfinite(x) || !std::isfinite(y) || !(x > 0) || !(y > 0)) {
    return false;
  }
  page.x_resolution = x;
  page.y_resolution = y;
  if (unit == RESUNIT_CENTIMETER) {
    for (double* value : {&page.x_resolution, &page.y_resolution}) {
      *value = static_cast<double>(static_cast<std::size_t>(100.0 * 2.54 * *value + 0.5)) / 100.0;
    }
  }
  return true;
}

// Whether the current directory is a fax page the image library would write
// with the same pixels, and how: fills the rest of `page`.
bool describe_fax_page(TIFF* tiff, double reading_density, fax_page& page) {
  uint16_t compression = 0;
  uint16_t samples = 1;
  uint16_t bits = 1;
  uint16_t sample_format = SAMPLEFORMAT_UINT;
  uint16_t fill_order = FILLORDER_MSB2LSB;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  uint16_t photometric = 0;
  uint32_t columns = 0;
  uint32_t rows = 0;
  uint32_t rows_per_strip = 0;
  uint32_t group3_options = 0;
  float position = 0;  // the writer keeps a page's position
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sample_format);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_FILLORDER, &fill_order);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  if ((compression != COMPRESSION_CCITTFAX3 && compression != COMPRESSION_CCITTFAX4) ||
      samples != 1 || bits != 1 || sample_format != SAMPLEFORMAT_UINT ||
      orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT ||
      TIFFIsTiled(tiff) != 0 || TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) == 0 ||
      photometric > PHOTOMETRIC_MINISBLACK ||
      TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &columns) == 0 ||
      TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &rows) == 0 || columns == 0 || rows == 0 ||
      columns > kLargestSide || rows > kLargestSide ||
      TIFFGetField(tiff, TIFFTAG_XPOSITION, &position) != 0 ||
      TIFFGetField(tiff, TIFFTAG_YPOSITION, &position) != 0 || !has_only_known_tags(tiff) ||
      !written_resolution(tiff, reading_density, page)) {
    return false;
  }
  if (compression == COMPRESSION_CCITTFAX3) {
    TIFFGetFieldDefaulted(tiff, TIFFTAG_GROUP3OPTIONS, &group3_options);
  }
  page.as_it_stands =
      compression == compression_of(page.coding) &&
      (compression == COMPRESSION_CCITTFAX4 || group3_options == kWrittenGroup3Options) &&
      photometric == PHOTOMETRIC_MINISWHITE && fill_order == FILLORDER_MSB2LSB &&
      rows_per_strip >= rows && written_rows_per_strip(page.coding, columns, rows) == rows;
  return true;
}

// Decodes the current directory row by row; false at the first complaint of
// the codec, an error or a warning alike (the image library may treat either
// as a damaged page).
bool decodes_cleanly(TIFF* tiff, tiff_messages& messages, std::vector<unsigned char>& row) {
  uint32_t rows = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &rows);
  row.resize(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
  messages = {};
  for (uint32_t line = 0; line < rows; ++line) {
    if (TIFFReadScanline(tiff, row.data(), line, 0) < 0) {
      return false;
    }
  }
  return messages.last_error.empty() && !messages.warned;
}

// The fax pages of a join, read from their files in order: consecutive pages
// of one file share its handle, and the next page of the file is the next
// directory, so a long file is walked once.
// The chromaticity of sRGB, which the writer gives every image of a file of
// its own.
constexpr std::array<float, 2> kWhitePoint = {0.3127F, 0.329F};
constexpr std::array<float, 6> kPrimaries = {0.64F, 0.33F, 0.3F, 0.6F, 0.15F, 0.06F};

class fax_source {
 public:
  explicit fax_source(platform::file_system& files) : files_(files) {}

  status copy(const fax_page& page, TIFF* out, tiff_messages& out_messages, std::size_t number,
              std::size_t total) {
    if (!select(page)) {
      return failure(page, messages_);
    }
    TIFF* in = in_.get();
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &columns);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &rows);
    TIFFGetFieldDefaulted(in, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetField(in, TIFFTAG_PHOTOMETRIC, &photometric);
    bool ok = TIFFSetField(out, TIFFTAG_COMPRESSION, compression_of(page.coding)) != 0 &&
              (page.coding == fax_coding::group4 ||
               TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, kWrittenGroup3Options) != 0) &&
              TIFFSetField(out, TIFFTAG_IMAGEWIDTH, columns) != 0 &&
              TIFFSetField(out, TIFFTAG_IMAGELENGTH, rows) != 0 &&
              TIFFSetField(out, TIFFTAG_ROWSPERSTRIP,
                           written_rows_per_strip(page.coding, columns, rows)) != 0 &&
              TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, uint16_t{1}) != 0 &&
              TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1}) != 0 &&
              TIFFSetField(out, TIFFTAG_PHOTOMETRIC, uint16_t{PHOTOMETRIC_MINISWHITE}) != 0 &&
              TIFFSetField(out, TIFFTAG_FILLORDER, uint16_t{FILLORDER_MSB2LSB}) != 0 &&
              TIFFSetField(out, TIFFTAG_ORIENTATION, orientation) != 0 &&
              TIFFSetField(out, TIFFTAG_PLANARCONFIG, uint16_t{PLANARCONFIG_CONTIG}) != 0 &&
              TIFFSetField(out, TIFFTAG_XRESOLUTION, page.x_resolution) != 0 &&
              TIFFSetField(out, TIFFTAG_YRESOLUTION, page.y_resolution) != 0 &&
              TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, uint16_t{RESUNIT_INCH}) != 0 &&
              TIFFSetField(out, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(number),
                           static_cast<uint16_t>(total)) != 0 &&
              copy_string(in, out, TIFFTAG_IMAGEDESCRIPTION) &&
              copy_string(in, out, TIFFTAG_PAGENAME);
    if (page.own_file) {
      // In the writer's order, which is the order of their values in the file.
      ok = ok && TIFFSetField(out, TIFFTAG_PRIMARYCHROMATICITIES, kPrimaries.data()) != 0 &&
           TIFFSetField(out, TIFFTAG_WHITEPOINT, kWhitePoint.data()) != 0;
    }
    ok = ok && (page.as_it_stands ? copy_raw_data(in, out, file_size_)
                                  : recode(in, out, rows, photometric == PHOTOMETRIC_MINISBLACK));
    ok = ok && TIFFWriteDirectory(out) != 0;
    if (!ok) {
      return failure(page, out_messages.last_error.empty() ? messages_ : out_messages);
    }
    return status::ok();
  }

 private:
  // Makes the page's directory the current one of its file's handle.
  bool select(const fax_page& page) {
    if (!in_ || file_ != page.file) {
      messages_ = {};
      in_ = open_tiff(page.file, "rm", messages_);
      const platform::file_info info = files_.stat_target(page.file);
      file_ = page.file;
      file_size_ = info.size;
      directory_ = 0;
      if (!in_ || info.kind != platform::file_kind::regular) {
        in_.reset();
        return false;
      }
    }
    if (page.index == directory_ + 1 && TIFFReadDirectory(in_.get()) != 0) {
      directory_ = page.index;
    } else if (page.index != directory_) {
      if (TIFFSetDirectory(in_.get(), static_cast<tdir_t>(page.index)) == 0) {
        return false;
      }
      directory_ = page.index;
    }
    return true;
  }

  // Decodes the page a row at a time and encodes each row into `out`, white
  // as 0 as the writer stores it.
  bool recode(TIFF* in, TIFF* out, uint32_t rows, bool black_is_1) {
    row_.resize(static_cast<std::size_t>(TIFFScanlineSize(in)));
    for (uint32_t line = 0; line < rows; ++line) {
      if (TIFFReadScanline(in, row_.data(), line, 0) < 0) {
        return false;
      }
      if (black_is_1) {
        for (unsigned char& byte : row_) {
          byte = static_cast<unsigned char>(~byte);
        }
      }
      if (TIFFWriteScanline(out, row_.data(), line, 0) < 0) {
        return false;
      }
    }
    return true;
  }

  static status failure(const fax_page& page, const tiff_messages& messages) {
    return status::error(
        page.file + ": " +
        (messages.last_error.empty() ? std::string("page cannot be copied") : messages.last_error));
  }

  platform::file_system& files_;
  std::string file_;
  tiff_ptr in_;
  tiff_messages messages_;
  std::size_t directory_ = 0;
  uint64_t file_size_ = 0;
  std::vector<unsigned char> row_;
};

}  // namespace

std::optional<fax_coding> fax_coding_for(const magick::image_info_changes& writing) {
  if (writing.colorspace && *writing.colorspace != magick::colorspace_choice::rgb) {
    return std::nullopt;
  }
  if (writing.compression == magick::compression_choice::group4) {
    return fax_coding::group4;
  }
  if (writing.compression == magick::compression_choice::fax) {
    return fax_coding::group3;
  }
  return std::nullopt;
}

std::size_t tiff_page_count(const std::string& tiff_file) {
  tiff_messages messages;
  tiff_ptr in = open_tiff(tiff_file, "rm", messages);
  return in ? TIFFNumberOfDirectories(in.get()) : 0;
}

status join_tiff_files(platform::file_system& files, const std::vector<std::string>& inputs,
                       const std::string& output) {
  return join_tiff_parts(files, std::vector<tiff_part>(inputs.begin(), inputs.end()), output);
}

status join_tiff_parts(platform::file_system& files, const std::vector<tiff_part>& parts,
                       const std::string& output) {
  std::size_t total = 0;
  for (const tiff_part& part : parts) {
    if (const auto* input = std::get_if<std::string>(&part)) {
      const std::size_t pages = tiff_page_count(*input);
      if (pages == 0) {
        return status::error(*input + ": not a readable TIFF file");
      }
      total += pages;
    } else {
      ++total;
    }
  }
  tiff_messages messages;
  tiff_ptr out = open_tiff(output, "w", messages);
  if (!out) {
    return status::error(output + ": " + messages.last_error);
  }
  fax_source faxes(files);
  std::size_t page = 0;
  for (const tiff_part& part : parts) {
    const status added =
        std::holds_alternative<std::string>(part)
            ? copy_file_pages(files, std::get<std::string>(part), out.get(), messages, page, total)
            : faxes.copy(std::get<fax_page>(part), out.get(), messages, page++, total);
    if (!added.is_ok()) {
      return added;
    }
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

bool find_fax_pages(const std::string& tiff_file, fax_coding coding, double reading_density,
                    std::vector<fax_page>& pages) {
  tiff_messages messages;
  tiff_ptr in = open_tiff(tiff_file, "rm", messages);
  if (!in) {
    return false;
  }
  std::vector<fax_page> found;
  std::vector<unsigned char> row;
  do {
    fax_page page{tiff_file, found.size(), coding};
    if (!describe_fax_page(in.get(), reading_density, page) ||
        !decodes_cleanly(in.get(), messages, row)) {
      return false;
    }
    found.push_back(std::move(page));
  } while (TIFFReadDirectory(in.get()) != 0);
  // A directory chain that ends in an error (a loop, a damaged link) is the
  // image library's to report.
  if (!messages.last_error.empty() || messages.warned) {
    return false;
  }
  pages = std::move(found);
  return true;
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
  const auto [x, y, has_x, has_y, unit] = read_resolution_tags(tiff);
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
