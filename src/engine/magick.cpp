#include "engine/magick.h"

#include <wand/MagickWand.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

#include "common/paths.h"
#include "platform/file_system.h"
#include "platform/staged_output.h"

namespace zq::engine::magick {
namespace {

// No read rights for anything that would run an interpreter or a script, or
// fetch from elsewhere; write rights for the coders among them that the
// engine writes (Debian's own policy forbids PDF and EPS). Later rules win, so
// the write rule comes after the refusal of the same names.
constexpr const char* kSecurityPolicy =
    "<policymap>"
    "<policy domain=\"coder\" rights=\"none\" pattern=\"{AI,EPDF,EPI,EPS,EPS2,EPS3,EPSF,EPSI,"
    "EPT,EPT2,EPT3,PCL,PDF,PDFA,PS,PS2,PS3,XPS,SVG,SVGZ,MSVG,RSVG,MVG,MSL,TEXT,TXT,URL,HTTP,"
    "HTTPS,FTP,FILE}\" />"
    "<policy domain=\"coder\" rights=\"write\" pattern=\"{PCL,PDF,EPS,PS}\" />"
    "<policy domain=\"path\" rights=\"none\" pattern=\"@*\" />"
    "</policymap>";

constexpr const char* kSystemPolicyFile = "/etc/ImageMagick-6/policy.xml";

struct exception_deleter {
  void operator()(ExceptionInfo* exception) const { DestroyExceptionInfo(exception); }
};
using exception_ptr = std::unique_ptr<ExceptionInfo, exception_deleter>;

exception_ptr new_exception() { return exception_ptr(AcquireExceptionInfo()); }

std::string text_of(const char* text) { return text != nullptr ? text : std::string(); }

status status_of(const ExceptionInfo& exception, const char* fallback) {
  std::string reason = text_of(exception.reason);
  if (reason.empty()) {
    reason = fallback;
  }
  return status::error(std::move(reason), text_of(exception.description));
}

// A failure for an exception of error severity; a warning passes.
status failure_of(const ExceptionInfo& exception, const char* fallback) {
  return exception.severity >= ErrorException ? status_of(exception, fallback) : status::ok();
}

// The library starts once per process, on first use.
class library {
 public:
  static library& instance() {
    static library started;
    return started;
  }

  // Whether the policy lets the engine write `coder`; when it does not (an
  // ImageMagick build that cannot relax its policy), the failure says which
  // line of the system policy to change.
  status may_write(std::string_view coder) const {
    const std::string name(coder);
    if (IsRightsAuthorized(CoderPolicyDomain, WritePolicyRights, name.c_str()) != MagickFalse) {
      return status::ok();
    }
    return status::error("ImageMagick's security policy does not allow writing " + name +
                         (policy_installed_ ? "" : " (the engine could not relax it)") +
                         ". Give that coder rights=\"write\" in " + kSystemPolicyFile +
                         policy_line(name));
  }

 private:
  library() {
    MagickWandGenesis();
    exception_ptr exception = new_exception();
    policy_installed_ = SetMagickSecurityPolicy(kSecurityPolicy, exception.get()) != MagickFalse;
    std::atexit(MagickWandTerminus);
  }

  // ", line N: <text>" of the system policy's rule about `coder`, or nothing.
  static std::string policy_line(const std::string& coder) {
    constexpr std::size_t kLargestPolicy = 1 << 20;
    const result<std::string> policy =
        platform::real_file_system().read_file(kSystemPolicyFile, kLargestPolicy);
    if (!policy.is_ok()) {
      return std::string();
    }
    const std::string pattern = "pattern=\"" + coder + "\"";
    std::size_t start = 0;
    for (int number = 1; start < policy->size(); ++number) {
      const std::size_t end = std::min(policy->find('\n', start), policy->size());
      const std::string_view line = std::string_view(*policy).substr(start, end - start);
      if (line.find(pattern) != std::string_view::npos && line.find("<!--") == std::string_view::npos) {
        return ", line " + std::to_string(number) + ": " + std::string(line);
      }
      start = end + 1;
    }
    return std::string();
  }

  bool policy_installed_ = false;
};

void start() { (void)library::instance(); }

// MogrifyImage applies a setting (quality, interlace, compression, density)
// only to the operations after it, so one that ends the list would never reach
// the image. The settings of the list are made the images' own, as
// ImageMagick's command line does before it writes.
template <typename Sync>
status settle_settings(const image_info& info, int count, option_argv& argv, Image* images,
                       Sync sync) {
  image_info settings = info.clone();
  exception_ptr exception = new_exception();
  (void)MogrifyImageInfo(settings.get(), count, argv.argv(), exception.get());
  (void)sync(settings.get(), images);
  return failure_of(*exception, "the image settings could not be applied");
}

// The library's enumerators in the order of the choices of magick.h.
constexpr std::array kColorspaces = {
    UndefinedColorspace, CMYKColorspace,        GRAYColorspace, OHTAColorspace,  RGBColorspace,
    sRGBColorspace,      TransparentColorspace, XYZColorspace,  YCbCrColorspace, YCCColorspace,
    YIQColorspace,       YPbPrColorspace,       YUVColorspace,
};
static_assert(kColorspaces.size() == static_cast<std::size_t>(colorspace_choice::yuv) + 1);

constexpr std::array kCompressions = {NoCompression,  LZWCompression,  Group4Compression,
                                      RLECompression, JPEGCompression, ZipCompression,
                                      FaxCompression};
static_assert(kCompressions.size() == static_cast<std::size_t>(compression_choice::fax) + 1);

constexpr std::array kInterlaces = {UndefinedInterlace, NoInterlace, LineInterlace, PlaneInterlace,
                                    PartitionInterlace};
static_assert(kInterlaces.size() == static_cast<std::size_t>(interlace_choice::partition) + 1);

template <typename Table, typename Choice>
auto enumerator(const Table& table, Choice choice) {
  return table[static_cast<std::size_t>(choice)];
}

// Copies `text` into a fixed filename field; false when it does not fit, so
// that a path is never silently cut.
bool copy_filename(char (&field)[MaxTextExtent], const std::string& text) {
  if (text.size() >= MaxTextExtent) {
    return false;
  }
  CopyMagickString(field, text.c_str(), MaxTextExtent);
  return true;
}

// Sets or, with an empty text, clears one of the ImageInfo's text settings.
void set_text(char*& field, const std::string& text) {
  (void)CloneString(&field, text.empty() ? nullptr : text.c_str());
}

// This version's YUV writer opens a fresh file for each plane of a
// partitioned image and forgets that writing an earlier one failed. The luma
// plane's size follows from the images alone (full resolution, one or two
// bytes a sample), so it shows whether that plane was written whole; a failed
// last plane is reported by the writer itself.
bool luma_plane_complete(platform::file_system& files, const Image* images,
                         const std::string& staged_path) {
  const platform::file_info luma =
      files.stat(folder_of(staged_path) + base_name_of(staged_path) + ".Y");
  if (luma.kind != platform::file_kind::regular) {
    return true;  // not a partitioned YUV file
  }
  const std::uint64_t size = luma.size;
  std::uint64_t expected = 0;
  for (const Image* image = images; image != nullptr; image = image->next) {
    expected +=
        static_cast<std::uint64_t>(image->columns) * image->rows * (image->depth <= 8 ? 1 : 2);
  }
  return size == expected;
}

}  // namespace

void image_deleter::operator()(_Image* images) const { DestroyImageList(images); }

void image_info_deleter::operator()(_ImageInfo* info) const { DestroyImageInfo(info); }

image_info::image_info() {
  start();
  info_.reset(AcquireImageInfo());
}

image_info image_info::clone() const { return image_info(CloneImageInfo(info_.get())); }

status image_info::set_filename(const std::string& filename) {
  if (!copy_filename(info_->filename, filename)) {
    return status::error("file name too long for the image library", filename);
  }
  return status::ok();
}

void image_info::set_density(const std::string& density) { set_text(info_->density, density); }

void image_info::set_monochrome() { info_->monochrome = MagickTrue; }

void image_info::set_dither() { info_->dither = MagickTrue; }

void image_info::set_depth(std::size_t depth) { info_->depth = depth; }

void image_info::set_units_per_inch() { info_->units = PixelsPerInchResolution; }

void image_info::apply(const image_info_changes& changes) {
  ImageInfo* info = info_.get();
  if (changes.adjoin_on) {
    info->adjoin = MagickTrue;
  }
  if (changes.monochrome_on) {
    info->monochrome = MagickTrue;
  }
  if (changes.colorspace) {
    info->colorspace = enumerator(kColorspaces, *changes.colorspace);
  }
  if (changes.compression) {
    info->compression = enumerator(kCompressions, *changes.compression);
  }
  if (changes.interlace) {
    info->interlace = enumerator(kInterlaces, *changes.interlace);
  }
  if (changes.density) {
    set_text(info->density, *changes.density);
  }
  if (changes.size) {
    set_text(info->size, *changes.size);
  }
  if (changes.page) {
    std::string page;
    if (!changes.page->empty()) {
      char* geometry = GetPageGeometry(changes.page->c_str());
      page = geometry;
      geometry = DestroyString(geometry);
    }
    set_text(info->page, page);
  }
}

// Every read goes through a copy of the settings: this version's ReadImage
// counts its nesting in the ImageInfo it is given and forgets to count down
// when a read fails, so after some hundred failed reads through one ImageInfo
// every further read would fail.
result<image_ptr> read_images(const image_info& info) {
  const image_info reading = info.clone();
  exception_ptr exception = new_exception();
  image_ptr images(ReadImage(reading.get(), exception.get()));
  if (!images) {
    return status_of(*exception, "no image in the file");
  }
  return images;
}

result<image_ptr> read_page(const image_info& info, std::size_t index) {
  image_info page = info.clone();
  _ImageInfo* settings = page.get();
  settings->scene = index;
  settings->number_scenes = 1;
  // Without the scene list some readers hand back empty stand-ins for the
  // pages before the one asked for.
  set_text(settings->scenes, std::to_string(index));
  return read_images(page);
}

result<std::size_t> ping_page_count(const image_info& info) {
  const image_info pinging = info.clone();
  exception_ptr exception = new_exception();
  image_ptr images(PingImage(pinging.get(), exception.get()));
  if (!images) {
    return status_of(*exception, "no image in the file");
  }
  return page_count(images.get());
}

std::size_t page_count(const _Image* images) {
  return images != nullptr ? GetImageListLength(images) : 0;
}

double x_resolution(const _Image* image) { return image->x_resolution; }

double y_resolution(const _Image* image) { return image->y_resolution; }

void append_images(image_ptr& images, image_ptr more) {
  Image* list = images.release();
  AppendImageToList(&list, more.release());
  images.reset(list);
}

namespace {

// The option lists say "rgb" for the display colours every source is in. This
// library's "RGB" is linear light, so converting to it would darken every page;
// its name for the display colours is "sRGB".
option_list with_display_rgb(const option_list& options) {
  option_list translated;
  const std::vector<std::string>& elements = options.elements();
  for (std::size_t i = 1; i < elements.size(); ++i) {
    const bool rgb_value =
        i > 1 && elements[i - 1] == "-colorspace" && LocaleCompare(elements[i].c_str(), "rgb") == 0;
    translated.append(rgb_value ? "sRGB" : elements[i]);
  }
  return translated;
}

}  // namespace

status mogrify_first(const image_info& info, const option_list& list, image_ptr& images) {
  const option_list options = with_display_rgb(list);
  option_argv argv(options);
  exception_ptr exception = new_exception();
  Image* head = images.release();
  (void)MogrifyImage(info.get(), argv.argc(), argv.argv(), &head, exception.get());
  images.reset(head);
  if (status applied = failure_of(*exception, "the options could not be applied");
      !applied.is_ok()) {
    return applied;
  }
  return settle_settings(info, argv.argc(), argv, images.get(), SyncImageSettings);
}

status mogrify_all(const image_info& info, const option_list& list, int count,
                   image_ptr& images) {
  const option_list options = with_display_rgb(list);
  option_argv argv(options);
  exception_ptr exception = new_exception();
  Image* head = images.release();
  (void)MogrifyImages(info.get(), MagickFalse, count, argv.argv(), &head, exception.get());
  images.reset(head);
  if (status applied = failure_of(*exception, "the options could not be applied");
      !applied.is_ok()) {
    return applied;
  }
  return settle_settings(info, count, argv, images.get(), SyncImagesSettings);
}

void prepare_bitmap(_Image* image) {
  image->compression = UndefinedCompression;
  image->matte = MagickFalse;
}

status write_images(platform::file_system& files, const image_info& info, _Image* images,
                    const std::string& path, std::string_view coder) {
  if (status allowed = library::instance().may_write(coder); !allowed.is_ok()) {
    return allowed;
  }
  result<platform::staged_output> staged = platform::staged_output::begin(files, path);
  if (!staged.is_ok()) {
    return status::error(staged.status().reason(), path);
  }
  // The coder must be the one asked for, whatever the name's suffix says. A
  // name whose suffix already picks it goes as it stands: naming the coder
  // makes the library read its delegate table first, a cost on every write.
  // A colon in the path would be taken for a coder prefix, so such a path
  // always names the coder.
  const bool suffix_picks_coder = staged->path().find(':') == std::string::npos &&
                                  coder_for_extension(extension_of(staged->path())) == coder;
  const std::string name =
      suffix_picks_coder ? staged->path() : std::string(coder) + ":" + staged->path();
  // Unbuffered, so that a write that fails (a full disk) fails the call that
  // made it: through a buffered stream the TIFF writer, which seeks, reports
  // success for a file cut short, and the YUV writer's first planes are never
  // checked at all.
  image_info writing = info.clone();
  (void)SetImageOption(writing.get(), "stream:buffer-size", "0");
  std::size_t scene = 0;
  for (Image* image = images; image != nullptr; image = image->next) {
    if (!copy_filename(image->filename, name)) {
      return status::error("file name too long for the image library", path);
    }
    image->scene = scene++;
  }
  ClearMagickException(&images->exception);
  // This version's YUV writer answers failure even when it has written every
  // plane; for it only the exception and the files it made tell.
  const bool answer_counts = coder != "YUV";
  const bool answered = WriteImage(writing.get(), images) != MagickFalse;
  const bool written = (answered || !answer_counts) && images->exception.severity < ErrorException;
  if (!written) {
    return status_of(images->exception, "the image library could not write the file");
  }
  if (!luma_plane_complete(files, images, staged->path())) {
    return status::error("the luma plane was not written whole", path);
  }
  if (const status moved = staged->commit(); !moved.is_ok()) {
    return status::error(moved.reason(), path);
  }
  return status::ok();
}

std::string coder_for_extension(std::string_view extension) {
  std::string coder(extension.substr(extension.starts_with('.') ? 1 : 0));
  LocaleUpper(coder.data());
  return coder;
}

bool is_geometry(const std::string& text) { return IsGeometry(text.c_str()) != MagickFalse; }

bool is_bilevel(const _Image* page) {
  exception_ptr exception = new_exception();
  return page->matte == MagickFalse && IsMonochromeImage(page, exception.get()) != MagickFalse;
}

bool asks_group4(const image_info& info) {
  return info.get()->compression == Group4Compression || info.get()->compression == FaxCompression;
}

pdf_resolution pdf_page_resolution(double x, double y, bool per_centimetre) {
  constexpr double kDefault = 72;  // the PostScript density the writer falls back to
  if (x <= 0 || y <= 0) {
    return {kDefault, kDefault};
  }
  if (per_centimetre) {
    // Rounded to hundredths as the writer does.
    auto per_inch = [](double value) {
      return static_cast<double>(static_cast<std::size_t>(100.0 * 2.54 * value + 0.5)) / 100.0;
    };
    return {per_inch(x), per_inch(y)};
  }
  return {x, y};
}

pdf_resolution pdf_page_resolution(const image_info& info, const _Image* page) {
  double x = page->x_resolution;
  double y = page->y_resolution;
  if (const char* density = info.get()->density; density != nullptr) {
    GeometryInfo geometry{};
    const MagickStatusType flags = ParseGeometry(density, &geometry);
    x = geometry.rho;
    y = (flags & SigmaValue) != 0 ? geometry.sigma : geometry.rho;
  }
  return pdf_page_resolution(x, y, page->units == PixelsPerCentimeterResolution);
}

}  // namespace zq::engine::magick
