// The engine's one bridge to ImageMagick. No other file includes an
// ImageMagick header: the rest of the engine sees the library's objects only
// as the owning handles below and asks for the few operations it needs.
//
// The library is started on first use, so a run refused at start-up never
// pays for it. Starting installs the engine's security policy: PDF, EPS and PS
// may be written; no source is ever handed to a coder that runs an
// interpreter or a script or reaches out (PostScript, PDF, SVG, MVG, MSL,
// text, URLs, "@" files), whatever its name says. It also keeps the pixel
// cache off memory-mapped files, so that a full temporary file system is a
// failure to report, not a crash.
//
// Failures come back as a status holding the library's reason and
// description; callers turn them into report lines. Every exception the
// library raises becomes one: none is dropped.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "common/status.h"
#include "engine/option_list.h"

// The library's own record types, known here only by name.
struct _Image;
struct _ImageInfo;

namespace zq::platform {
class file_system;
}

namespace zq::engine::magick {

// The choices of the option interpreter, named after the library's
// enumerators they stand for (ImageInfo colorspace, compression, interlace).
enum class colorspace_choice {
  undefined,
  cmyk,
  gray,
  ohta,
  rgb,
  srgb,
  transparent,
  xyz,
  ycbcr,
  ycc,
  yiq,
  ypbpr,
  yuv,
};
enum class compression_choice { none, lzw, group4, rle, jpeg, zip, fax };
enum class interlace_choice { undefined, none, line, plane, partition };

// Changes to an ImageInfo decided by the option interpreter. An empty optional
// leaves the field as it is; an empty text clears it.
struct image_info_changes {
  bool adjoin_on = false;
  bool monochrome_on = false;
  std::optional<colorspace_choice> colorspace;
  std::optional<compression_choice> compression;
  std::optional<interlace_choice> interlace;
  std::optional<std::string> density;
  std::optional<std::string> size;
  // A page geometry as the user writes it ("A4", "612x792"); the library
  // expands it when the change is applied.
  std::optional<std::string> page;

  bool operator==(const image_info_changes&) const = default;
};

// Whether this process has worked on an image (made reading or writing
// settings). A copy of it (fork) is safe only while it has not: the threads
// the library then starts (OpenMP) do not survive the copy, and its first
// parallel loop would wait for them for ever.
bool has_worked_on_images();

struct image_deleter {
  void operator()(_Image* images) const;  // the whole list
};
struct image_info_deleter {
  void operator()(_ImageInfo* info) const;
};
using image_ptr = std::unique_ptr<_Image, image_deleter>;

// The reading and writing settings of a conversion (ImageMagick's ImageInfo).
class image_info {
 public:
  image_info();  // the library's defaults: adjoin on, dither on
  image_info clone() const;

  // Fails, leaving the name unchanged, when it is too long for the library.
  status set_filename(const std::string& filename);
  void set_density(const std::string& density);
  void set_monochrome();
  void set_dither();
  void set_depth(std::size_t depth);
  void set_units_per_inch();
  void apply(const image_info_changes& changes);

  _ImageInfo* get() const { return info_.get(); }

 private:
  explicit image_info(_ImageInfo* info) : info_(info) {}
  std::unique_ptr<_ImageInfo, image_info_deleter> info_;
};

// All pages of the file named in `info`.
result<image_ptr> read_images(const image_info& info);

// Page `index` (0-based) alone, so that a long document is never held whole.
result<image_ptr> read_page(const image_info& info, std::size_t index);

// Number of pages of the file named in `info`, from its headers alone.
result<std::size_t> ping_page_count(const image_info& info);

// The pages of the file named in `info`, from page `first` on, read in order
// several at a time: a file of thousands of pages is opened and walked a few
// times instead of once per page, which would cost time quadratic in the
// page count. A batch holds at most kPageBatchPixels pixels (one page always
// fits, however large), so memory stays near that of one page.
class page_sequence {
 public:
  static constexpr std::size_t kPageBatchPixels = std::size_t{4} << 20;
  static constexpr std::size_t kPageBatchLength = 256;

  page_sequence(const image_info& info, std::size_t first, std::size_t count);

  // The next page; a failure ends the sequence.
  result<image_ptr> next();

 private:
  const image_info& info_;
  std::size_t next_ = 0;  // index of the next page handed out
  std::size_t count_ = 0;
  image_ptr batch_;            // pages read and not yet handed out
  std::size_t batch_size_ = 1; // pages to read at the next read
};

std::size_t page_count(const _Image* images);

// The image's size in pixels.
std::size_t columns_of(const _Image* image);
std::size_t rows_of(const _Image* image);

// The image's own resolution (0 when it carries none).
double x_resolution(const _Image* image);
double y_resolution(const _Image* image);

// Links `more` after the last image of `images` (which may be empty).
void append_images(image_ptr& images, image_ptr more);

// MogrifyImage on the first image only; MogrifyImages on every image of the
// list, with the elements [0, count) of `options`. Fails when the library
// raised an error doing it (a warning is no failure).
status mogrify_first(const image_info& info, const option_list& options, image_ptr& images);
status mogrify_all(const image_info& info, const option_list& options, int count,
                   image_ptr& images);

// Whether the page holds black and white only, without transparency: the pages
// the PDF writer keeps as Group 4 data when that compression is asked for.
bool is_bilevel(const _Image* page);

// Whether the writing settings ask for Group 4 (or fax) compression.
bool asks_group4(const image_info& info);
inline bool asks_group4(const image_info_changes& changes) {
  return changes.compression == compression_choice::group4 ||
         changes.compression == compression_choice::fax;
}

// The resolution, in dots per inch, at which the PDF writer lays out `page`
// with `info`: the settings' density when they have one, else the page's own,
// 72 when it has none; a resolution per centimetre is converted to inches.
struct pdf_resolution {
  double x;
  double y;
};
pdf_resolution pdf_page_resolution(const image_info& info, const _Image* page);

// The same rule for a page read elsewhere (resolution per inch, or per
// centimetre when `per_centimetre`), when no density is set for the writer.
pdf_resolution pdf_page_resolution(double x, double y, bool per_centimetre);

// What the page-segment step needs of its bitmap: the writer's plain
// encoding (no compression) and no transparency.
void prepare_bitmap(_Image* image);

// Writes `images` (with adjoin, the whole list into one file) to `path`
// with the coder named `coder` ("PNG", "TIF", ...), never to whatever the
// name suggests. Every name is taken as it stands: a '%' in it is no
// template. The files appear under their final names only when the
// write succeeded; a failed write leaves nothing behind. Writers that make
// several files of one name (YUV planes "a.Y", "a.U", "a.V") are handled
// alike: the planes of a page are all written whole, or the write fails. A
// file that names itself (the PostScript title) names `path`. The staging
// folder, the moves into place and the YUV planes go through `files`; a single
// image goes through a large buffer into a file the engine opens, checked
// when the writer is done (a list, which the library may split into several
// files, is written by name and unbuffered). The quality of the option list
// applied to the images (mogrify_first, mogrify_all) is the writer's, as on
// the command line.
status write_images(platform::file_system& files, const image_info& info, _Image* images,
                    const std::string& path, std::string_view coder);

// The name of the coder that writes files with `extension` (".png": "PNG").
std::string coder_for_extension(std::string_view extension);

// The library's geometry check for option values.
bool is_geometry(const std::string& text);

}  // namespace zq::engine::magick
