#include "engine/magick.h"

#include <wand/MagickWand.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "platform/file_system.h"
#include "platform/staged_output.h"
#include "platform/system.h"

namespace zq::engine::magick {
namespace {

// The library's calls the engine makes. The engine is not linked with
// ImageMagick: the program loader would map its forty-odd libraries before
// every run, most of a run's start-up, and runs that only copy encoded data
// (a Group 4 page into a PDF or a TIFF) never touch it. It is loaded on the
// first call instead, by the name it was built against (ZQ_MAGICK_LIBRARY).
#define ZQ_MAGICK_CALLS(CALL)                                                                  \
  CALL(AcquireExceptionInfo) CALL(AcquireImageInfo) CALL(AppendImageToList)                    \
  CALL(ClearMagickException) CALL(CloneImageInfo) CALL(CloneString) CALL(CopyMagickString)     \
  CALL(DeleteImageArtifact) CALL(DeleteImageOption) CALL(DeleteImageProperty)                  \
  CALL(DestroyExceptionInfo) CALL(DestroyImageInfo) CALL(DestroyImageList) CALL(DestroyString) \
  CALL(GetImageArtifact) CALL(GetImageListLength) CALL(GetPageGeometry)                        \
  CALL(InterpretImageFilename) CALL(IsGeometry) CALL(IsMonochromeImage)                        \
  CALL(IsRightsAuthorized) CALL(LocaleCompare) CALL(LocaleUpper) CALL(MagickWandGenesis)       \
  CALL(MagickWandTerminus) CALL(MogrifyImage) CALL(MogrifyImageInfo) CALL(MogrifyImages)       \
  CALL(ParseGeometry) CALL(PingImage) CALL(ReadImage) CALL(SetImageOption)                     \
  CALL(SetMagickResourceLimit) CALL(SetMagickSecurityPolicy) CALL(SplitImageList)              \
  CALL(SyncImageSettings) CALL(SyncImagesSettings) CALL(WriteImage)

struct library_calls {
#define ZQ_DECLARE_CALL(name) decltype(&::name) name = nullptr;
  ZQ_MAGICK_CALLS(ZQ_DECLARE_CALL)
#undef ZQ_DECLARE_CALL
};

status find_calls(library_calls& found) {
  status missing = status::ok();
  auto find = [&](auto& call, const char* name) {
    void* address = nullptr;
    if (missing.is_ok()) {
      missing = platform::find_library_symbol(ZQ_MAGICK_LIBRARY, name, address);
      call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(address);
    }
  };
#define ZQ_FIND_CALL(name) find(found.name, #name);
  ZQ_MAGICK_CALLS(ZQ_FIND_CALL)
#undef ZQ_FIND_CALL
  return missing;
}

// Loaded once per process, on the first call. Without the library no image
// can be read or written at all: the run ends there, as it would have ended
// at start had the loader not found it, with the loader's reason.
constexpr int kLibraryMissingExitCode = 127;  // the program loader's own

std::atomic<bool> worked_on_images{false};

const library_calls& calls() {
  static const library_calls loaded = [] {
    library_calls found;
    if (const status missing = find_calls(found); !missing.is_ok()) {
      std::fprintf(stderr, "Zembrit_Quarnel: cannot load ImageMagick: %s\n",
                   missing.reason().c_str());
      std::_Exit(kLibraryMissingExitCode);
    }
    return found;
  }();
  return loaded;
}

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
    "<policy domain=\"cache\" name=\"synchronize\" value=\"True\" />"
    "</policymap>";

constexpr const char* kSystemPolicyFile = "/etc/ImageMagick-6/policy.xml";

struct exception_deleter {
  void operator()(ExceptionInfo* exception) const { calls().DestroyExceptionInfo(exception); }
};
using exception_ptr = std::unique_ptr<ExceptionInfo, exception_deleter>;

exception_ptr new_exception() { return exception_ptr(calls().AcquireExceptionInfo()); }

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
    if (calls().IsRightsAuthorized(CoderPolicyDomain, WritePolicyRights, name.c_str()) != MagickFalse) {
      return status::ok();
    }
    return status::error("ImageMagick's security policy does not allow writing " + name +
                         (policy_installed_ ? "" : " (the engine could not relax it)") +
                         ". Give that coder rights=\"write\" in " + kSystemPolicyFile +
                         policy_line(name));
  }

 private:
  library() {
    calls().MagickWandGenesis();
    exception_ptr exception = new_exception();
    policy_installed_ = calls().SetMagickSecurityPolicy(kSecurityPolicy, exception.get()) != MagickFalse;
    // A page too large for memory goes to a disk cache. Memory-mapped without
    // its blocks reserved, that cache turns a full temporary file system into
    // SIGBUS at whichever pixel is touched first on a block that cannot be
    // had. The policy's cache synchronisation reserves the whole file before
    // it is mapped, so a full disk becomes a failed read that is reported,
    // at the speed of a mapped cache. Where the policy could not be installed
    // the cache is kept off mapped files instead (a limit may always be
    // lowered): as safe, but many times slower for pages beyond memory.
    if (!policy_installed_) {
      (void)calls().SetMagickResourceLimit(MapResource, 0);
    }
    std::atexit(calls().MagickWandTerminus);
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

// MogrifyImage applies a setting (quality, interlace, compression, density)
// only to the operations after it, so one that ends the list would never reach
// the image. The settings of the list are made the images' own, as
// ImageMagick's command line does before it writes.
template <typename Sync>
status settle_settings(const image_info& info, int count, option_argv& argv, Image* images,
                       Sync sync) {
  image_info settings = info.clone();
  exception_ptr exception = new_exception();
  (void)calls().MogrifyImageInfo(settings.get(), count, argv.argv(), exception.get());
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
  calls().CopyMagickString(field, text.c_str(), MaxTextExtent);
  return true;
}

// Sets or, with an empty text, clears one of the ImageInfo's text settings.
void set_text(char*& field, const std::string& text) {
  (void)calls().CloneString(&field, text.empty() ? nullptr : text.c_str());
}

// Names are taken as they are. On writing, the library's OpenBlob runs every
// name with a '%' in it through InterpretImageFilename, which reads "%d", "%o"
// and "%x" as the scene number, "%[filename:KEY]" as a setting and "%%" as
// '%': "x%d.png" would be written as "x0.png", a folder "out%d" as "out0". The
// setting "filename:literal" turns that off (this platform's ImageMagick has
// it since its fix of CVE-2025-55298; an older build ignores it, and a name
// it would change is then refused, see write_by_name). Reading needs none of
// this: ReadImage and PingImage take a name as it stands (only ReadImages,
// which the engine does not call, expands one), and the setting would only
// travel into every image read as an artifact.
constexpr const char* kLiteralNames = "filename:literal";

void take_names_literally(ImageInfo* info) { (void)calls().SetImageOption(info, kLiteralNames, "true"); }

// The name the library opens when it is asked to write `image` to `name`
// with `writing`: OpenBlob's own expansion. Empty when it cannot expand it.
std::string name_opened_for(const ImageInfo* writing, Image* image, const std::string& name) {
  char opened[MaxTextExtent] = {};
  if (calls().InterpretImageFilename(writing, image, name.c_str(), static_cast<int>(image->scene),
                             opened) == 0) {
    return std::string();
  }
  return opened;
}

// A name a writer reports in its file (the PostScript title) but never opens,
// because the file is opened by the engine: handed over as a reference to a
// setting, it is only ever looked up as text, never as a file that might be
// there under that name (a FIFO would be opened in place of the engine's file).
constexpr const char* kTitleKey = "filename:zq-title";
constexpr const char* kTitleReference = "%[filename:zq-title]";

// A reference is looked up in the image's own properties and artifacts before
// the writing settings; a source that brings a property of that name (a text
// chunk of a PNG in disguise) must not put its own text there.
void define_reference(image_info& writing, Image* images, const char* key,
                      const std::string& value) {
  (void)calls().SetImageOption(writing.get(), key, value.c_str());
  for (Image* image = images; image != nullptr; image = image->next) {
    (void)calls().DeleteImageProperty(image, key);
    (void)calls().DeleteImageArtifact(image, key);
  }
}

// The PostScript writer names the file it writes in its %%Title line.
bool names_its_file(std::string_view coder) {
  constexpr std::array<std::string_view, 5> kNaming = {"EPI", "EPS", "EPSF", "EPSI", "PS"};
  return std::find(kNaming.begin(), kNaming.end(), coder) != kNaming.end();
}

// The PNG writer takes its zlib level and filter from the writing settings'
// quality and never from the image's. The option list's "-quality" reaches the
// images alone (settle_settings; the library's SyncImageSettings records it
// there as the artifact "quality"), while the command line writes with the
// very settings it parsed the option into. So the list's quality becomes the
// writing settings' quality here, as there. A quality the source brought
// (a JPEG's estimate) is no artifact and stays out of it.
void carry_quality(image_info& writing, const Image* images) {
  constexpr std::size_t kUndefinedQuality = 0;  // the library's UndefinedCompressionQuality
  if (writing.get()->quality != kUndefinedQuality) {
    return;
  }
  if (const char* quality = calls().GetImageArtifact(images, "quality"); quality != nullptr) {
    // Read as the library reads the option (StringToUnsignedLong).
    writing.get()->quality = static_cast<std::size_t>(std::strtoul(quality, nullptr, 10));
  }
}

// Gives every image of the list `name` and its scene number.
bool name_images(Image* images, const std::string& name) {
  std::size_t scene = 0;
  for (Image* image = images; image != nullptr; image = image->next) {
    if (!copy_filename(image->filename, name)) {
      return false;
    }
    image->scene = scene++;
  }
  return true;
}

// The outcome of WriteImage: a failure the library raised, or none.
status written_by(const ImageInfo* writing, Image* images, bool answer_counts) {
  calls().ClearMagickException(&images->exception);
  const bool answered = calls().WriteImage(writing, images) != MagickFalse;
  if ((answered || !answer_counts) && images->exception.severity < ErrorException) {
    return status::ok();
  }
  return status_of(images->exception, "the image library could not write the file");
}

// The YUV writer's planes of a partitioned page, in the order it writes them,
// and the bytes of each. It resamples every page to the multiples of the
// chroma sampling factors first (an odd width or height grows by one), so the
// luma plane is that padded size and each chroma plane that size divided by
// the factors; one byte a sample up to depth 8, two above.
struct yuv_plane {
  char suffix;  // of the plane's file: "a.yuv" gives "a.Y", "a.U", "a.V"
  std::uint64_t size;
};

std::vector<yuv_plane> yuv_planes(const ImageInfo* writing, const Image* images) {
  std::size_t horizontal = 2;
  std::size_t vertical = 2;
  if (writing->sampling_factor != nullptr) {
    GeometryInfo geometry{};
    const MagickStatusType flags = calls().ParseGeometry(writing->sampling_factor, &geometry);
    horizontal = static_cast<std::size_t>(std::max(1.0, geometry.rho));
    vertical = (flags & SigmaValue) != 0 ? static_cast<std::size_t>(std::max(1.0, geometry.sigma))
                                         : horizontal;
  }
  // The sample size is the first image's, for the whole list.
  const std::uint64_t sample = images->depth <= 8 ? 1 : 2;
  std::vector<yuv_plane> planes;
  for (const Image* image = images; image != nullptr; image = image->next) {
    const std::uint64_t width = image->columns + (image->columns & (horizontal - 1));
    const std::uint64_t height = image->rows + (image->rows & (vertical - 1));
    const std::uint64_t chroma = (width / horizontal) * (height / vertical) * sample;
    planes.push_back({'Y', width * height * sample});
    planes.push_back({'U', chroma});
    planes.push_back({'V', chroma});
  }
  return planes;
}

// Takes the bytes of a partitioned YUV write and cuts them into the plane
// files at the sizes the writer makes. This version's writer opens a file of
// its own for each plane by a name it derives, and forgets that writing an
// earlier one failed; through this stream no name of the engine's passes the
// library's name handling, every write is checked, and the planes are whole or
// the write fails.
class yuv_plane_files {
 public:
  yuv_plane_files(platform::file_system& files, std::string root, std::vector<yuv_plane> planes)
      : files_(files), root_(std::move(root)), planes_(std::move(planes)) {}

  std::size_t take(const char* data, std::size_t length) {
    // The writer hands over most samples one by one: while they fit in the
    // plane and the buffer, they go straight in.
    if (length < room_ && buffer_.size() + length < kBufferSize) {
      buffer_.append(data, length);
      room_ -= length;
      in_plane_ += length;
      return length;
    }
    std::size_t taken = 0;
    while (taken < length && failure_.is_ok()) {
      if (plane_ == planes_.size()) {
        failure_ = status::error("the YUV writer wrote more than its planes hold");
        break;
      }
      const std::uint64_t room = planes_[plane_].size - in_plane_;
      const std::size_t part =
          static_cast<std::size_t>(std::min<std::uint64_t>(room, length - taken));
      buffer_.append(data + taken, part);
      taken += part;
      in_plane_ += part;
      if (in_plane_ == planes_[plane_].size) {
        end_plane();
      } else if (buffer_.size() >= kBufferSize) {
        flush();
      }
    }
    room_ = failure_.is_ok() && plane_ < planes_.size() ? planes_[plane_].size - in_plane_ : 0;
    return failure_.is_ok() ? length : 0;
  }

  // Closes the plane files; fails unless every plane was written whole.
  status finish() {
    while (failure_.is_ok() && plane_ < planes_.size() && planes_[plane_].size == 0) {
      end_plane();  // an empty plane still has its file
    }
    if (failure_.is_ok() && plane_ != planes_.size()) {
      failure_ = status::error(std::string("the ") + plane_name(planes_[plane_].suffix) +
                               " plane was not written whole");
    }
    for (auto& [suffix, file] : open_) {
      if (const status closed = file->close(); failure_.is_ok() && !closed.is_ok()) {
        failure_ = closed;
      }
    }
    open_.clear();
    return failure_;
  }

 private:
  static constexpr std::size_t kBufferSize = 1 << 16;

  static const char* plane_name(char suffix) { return suffix == 'Y' ? "luma" : "chroma"; }

  platform::writable_file* file_for(char suffix) {
    for (auto& [open_suffix, file] : open_) {
      if (open_suffix == suffix) {
        return file.get();
      }
    }
    result<std::unique_ptr<platform::writable_file>> opened =
        files_.open_for_write(root_ + "." + suffix, platform::open_mode::truncate);
    if (!opened.is_ok()) {
      failure_ = opened.status();
      return nullptr;
    }
    open_.emplace_back(suffix, std::move(opened).value());
    return open_.back().second.get();
  }

  void flush() {
    platform::writable_file* file = file_for(planes_[plane_].suffix);
    if (file != nullptr && !buffer_.empty()) {
      failure_ = file->append(buffer_);
    }
    buffer_.clear();
  }

  void end_plane() {
    flush();
    ++plane_;
    in_plane_ = 0;
  }

  platform::file_system& files_;
  std::string root_;
  std::vector<yuv_plane> planes_;
  std::size_t plane_ = 0;
  std::uint64_t in_plane_ = 0;
  std::uint64_t room_ = 0;  // left in the plane being written, 0 until the first bytes
  std::string buffer_;
  std::vector<std::pair<char, std::unique_ptr<platform::writable_file>>> open_;
  status failure_ = status::ok();
};

// The stream handler reaches the plane files of the write under way. A write
// runs on the thread that called it, start to end.
thread_local yuv_plane_files* planes_being_written = nullptr;

std::size_t take_yuv_bytes(const Image*, const void* data, const std::size_t length) {
  return planes_being_written->take(static_cast<const char*>(data), length);
}

bool is_partitioned_yuv(std::string_view coder, const Image* images) {
  return coder == "YUV" && images->interlace == PartitionInterlace;
}

status write_yuv_planes(platform::file_system& files, image_info& writing, Image* images,
                        const std::string& staged_path, const std::string& output) {
  yuv_plane_files planes(files, folder_of(staged_path) + base_name_of(staged_path),
                         yuv_planes(writing.get(), images));
  // The name is only shown (in the library's messages): a stream opens nothing.
  if (!name_images(images, "YUV:" + staged_path)) {
    return status::error("file name too long for the image library", output);
  }
  writing.get()->stream = take_yuv_bytes;
  planes_being_written = &planes;
  // This version's YUV writer answers failure even when it has written every
  // plane; only the exception and the planes tell.
  status written = written_by(writing.get(), images, false);
  planes_being_written = nullptr;
  writing.get()->stream = nullptr;
  const status finished = planes.finish();
  if (!written.is_ok()) {
    return written;
  }
  return finished.is_ok() || !finished.detail().empty() ? finished
                                                        : status::error(finished.reason(), output);
}

// The output file of one write, which the library writes through a stdio
// stream of the engine's. Unbuffered, the writers make a system call for each
// byte or row (a 4 MB TGA, four million calls); through a buffer of the
// library's own a failed write gets lost: the TIFF writer, which seeks,
// answers success for a file cut short, and the library closes the file
// without a word. So the buffer is large and the stream's end is the engine's
// to check: its error flag, the flush of what is still buffered, and the
// close, any of which fails the write.
class output_stream {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  output_stream() = default;
  output_stream(const output_stream&) = delete;
  output_stream& operator=(const output_stream&) = delete;
  ~output_stream() {
    if (file_ != nullptr) {
      (void)std::fclose(file_);
    }
  }

  status open(const std::string& path, const std::string& output) {
    std::string error;
    file_ = platform::open_for_writing(path, platform::open_mode::truncate, &error);
    if (file_ == nullptr) {
      return status::error(error, output);
    }
    buffer_ = std::make_unique<char[]>(kBufferSize);
    // The library sets the buffering of a stream it is handed again, with no
    // buffer of its own, which keeps this one.
    (void)std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferSize);
    return status::ok();
  }

  std::FILE* get() const { return file_; }

  // Whether everything the library wrote is in the file. The cause is the
  // system's when the flush or the close says it; an earlier failed write
  // left only the stream's error flag.
  status close(const std::string& output) {
    const bool failed_before = std::ferror(file_) != 0;
    int cause = std::fflush(file_) == 0 ? 0 : errno;
    if (std::fclose(std::exchange(file_, nullptr)) != 0 && cause == 0) {
      cause = errno;
    }
    if (failed_before || cause != 0) {
      return status::error(std::string("the file could not be written whole") +
                               (cause != 0 ? ": " + std::string(std::strerror(cause)) : ""),
                           output);
    }
    return status::ok();
  }

 private:
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
};

// Writes `images` with `name` (the coder and the file's name) into the
// engine's stream on `staged_path`.
status write_through_stream(image_info& writing, Image* images, const std::string& name,
                            const std::string& staged_path, bool answer_counts,
                            const std::string& output) {
  output_stream stream;
  if (status opened = stream.open(staged_path, output); !opened.is_ok()) {
    return opened;
  }
  if (!name_images(images, name)) {
    return status::error("file name too long for the image library", output);
  }
  writing.get()->file = stream.get();
  const status written = written_by(writing.get(), images, answer_counts);
  writing.get()->file = nullptr;
  const status closed = stream.close(output);
  return written.is_ok() ? closed : written;
}

status write_by_name(image_info& writing, Image* images, const std::string& staged_path,
                     std::string_view coder, const std::string& output) {
  // The coder must be the one asked for, whatever the name's suffix says. A
  // name whose suffix already picks it goes as it stands: naming the coder
  // makes the library read its delegate table first, a cost on every write.
  // A colon in the path would be taken for a coder prefix, so such a path
  // always names the coder.
  const bool suffix_picks_coder = staged_path.find(':') == std::string::npos &&
                                  coder_for_extension(extension_of(staged_path)) == coder;
  const std::string name =
      suffix_picks_coder ? staged_path : std::string(coder) + ":" + staged_path;
  take_names_literally(writing.get());
  // This version's YUV writer answers failure even when it has written its
  // file; for it only the exception tells.
  const bool answer_counts = coder != "YUV";
  if (images->next == nullptr) {
    // One page, one file: the engine's stream takes it, whatever the name.
    return write_through_stream(writing, images, name, staged_path, answer_counts, output);
  }
  // A list may go into several files, which the library names and opens
  // itself. Unbuffered, so that a write that fails fails the call that made
  // it (see output_stream).
  (void)calls().SetImageOption(writing.get(), "stream:buffer-size", "0");
  if (!name_images(images, name)) {
    return status::error("file name too long for the image library", output);
  }
  // The library strips the coder before it opens the file.
  if (name_opened_for(writing.get(), images, staged_path) != staged_path) {
    return status::error("the image library would not write this name as it stands", output);
  }
  return written_by(writing.get(), images, answer_counts);
}

// A writer that names its file in it writes into a file the engine opened,
// under the name the file will have: the staging folder is the engine's
// business. Where the library would not give the title back as it is, the
// file is written by name as any other.
status write_named_as(image_info& writing, Image* images, const std::string& staged_path,
                      std::string_view coder, const std::string& output) {
  define_reference(writing, images, kTitleKey, output);
  if (images->next != nullptr ||
      name_opened_for(writing.get(), images, kTitleReference) != output) {
    (void)calls().DeleteImageOption(writing.get(), kTitleKey);
    return write_by_name(writing, images, staged_path, coder, output);
  }
  return write_through_stream(writing, images, std::string(coder) + ":" + kTitleReference,
                              staged_path, true, output);
}

}  // namespace

bool has_worked_on_images() { return worked_on_images; }

void image_deleter::operator()(_Image* images) const { calls().DestroyImageList(images); }

void image_info_deleter::operator()(_ImageInfo* info) const { calls().DestroyImageInfo(info); }

image_info::image_info() {
  (void)library::instance();
  worked_on_images = true;
  info_.reset(calls().AcquireImageInfo());
}

image_info image_info::clone() const { return image_info(calls().CloneImageInfo(info_.get())); }

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
      char* geometry = calls().GetPageGeometry(changes.page->c_str());
      page = geometry;
      geometry = calls().DestroyString(geometry);
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
  image_ptr images(calls().ReadImage(reading.get(), exception.get()));
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

namespace {

// Pages [first, first + count) in one read, as one list.
result<image_ptr> read_pages(const image_info& info, std::size_t first, std::size_t count) {
  image_info pages = info.clone();
  _ImageInfo* settings = pages.get();
  settings->scene = first;
  settings->number_scenes = count;
  // Without the scene list some readers hand back empty stand-ins for the
  // pages before the ones asked for.
  set_text(settings->scenes, std::to_string(first) + "-" + std::to_string(first + count - 1));
  return read_images(pages);
}

}  // namespace

page_sequence::page_sequence(const image_info& info, std::size_t first, std::size_t count)
    : info_(info), next_(first), count_(count) {}

result<image_ptr> page_sequence::next() {
  if (!batch_) {
    result<image_ptr> read = read_pages(info_, next_, std::min(batch_size_, count_ - next_));
    if (!read.is_ok()) {
      return read.status();
    }
    batch_ = std::move(*read);
  }
  // The first page leaves the list; the rest wait their turn.
  Image* head = batch_.release();
  Image* rest = calls().SplitImageList(head);
  if (rest != nullptr) {
    rest->previous = nullptr;
  }
  batch_.reset(rest);
  image_ptr page(head);
  ++next_;
  // The next read takes as many pages of this size as the budget holds.
  const std::size_t pixels = std::max<std::size_t>(1, head->columns * head->rows);
  batch_size_ = std::clamp<std::size_t>(page_sequence::kPageBatchPixels / pixels, 1,
                                        page_sequence::kPageBatchLength);
  return page;
}

result<std::size_t> ping_page_count(const image_info& info) {
  const image_info pinging = info.clone();
  exception_ptr exception = new_exception();
  image_ptr images(calls().PingImage(pinging.get(), exception.get()));
  if (!images) {
    return status_of(*exception, "no image in the file");
  }
  return page_count(images.get());
}

std::size_t page_count(const _Image* images) {
  return images != nullptr ? calls().GetImageListLength(images) : 0;
}

std::size_t columns_of(const _Image* image) { return image->columns; }

std::size_t rows_of(const _Image* image) { return image->rows; }

double x_resolution(const _Image* image) { return image->x_resolution; }

double y_resolution(const _Image* image) { return image->y_resolution; }

void append_images(image_ptr& images, image_ptr more) {
  Image* list = images.release();
  calls().AppendImageToList(&list, more.release());
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
        i > 1 && elements[i - 1] == "-colorspace" && calls().LocaleCompare(elements[i].c_str(), "rgb") == 0;
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
  (void)calls().MogrifyImage(info.get(), argv.argc(), argv.argv(), &head, exception.get());
  images.reset(head);
  if (status applied = failure_of(*exception, "the options could not be applied");
      !applied.is_ok()) {
    return applied;
  }
  return settle_settings(info, argv.argc(), argv, images.get(), calls().SyncImageSettings);
}

status mogrify_all(const image_info& info, const option_list& list, int count,
                   image_ptr& images) {
  const option_list options = with_display_rgb(list);
  option_argv argv(options);
  exception_ptr exception = new_exception();
  Image* head = images.release();
  (void)calls().MogrifyImages(info.get(), MagickFalse, count, argv.argv(), &head, exception.get());
  images.reset(head);
  if (status applied = failure_of(*exception, "the options could not be applied");
      !applied.is_ok()) {
    return applied;
  }
  return settle_settings(info, count, argv, images.get(), calls().SyncImagesSettings);
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
  image_info writing = info.clone();
  carry_quality(writing, images);
  const status written = is_partitioned_yuv(coder, images)
                             ? write_yuv_planes(files, writing, images, staged->path(), path)
                         : names_its_file(coder)
                             ? write_named_as(writing, images, staged->path(), coder, path)
                             : write_by_name(writing, images, staged->path(), coder, path);
  if (!written.is_ok()) {
    return written;
  }
  if (const status moved = staged->commit(); !moved.is_ok()) {
    return status::error(moved.reason(), path);
  }
  return status::ok();
}

std::string coder_for_extension(std::string_view extension) {
  std::string coder(extension.substr(extension.starts_with('.') ? 1 : 0));
  calls().LocaleUpper(coder.data());
  return coder;
}

bool is_geometry(const std::string& text) {
  // "WIDTHxHEIGHT" in plain digits, as the joins write their density, is a
  // geometry to the library's parser: a join of pages it never reads need
  // not load it to be told.
  const std::size_t by = text.find('x');
  const auto digits = [](std::string_view part) {
    return !part.empty() && std::ranges::all_of(part, [](char c) { return c >= '0' && c <= '9'; });
  };
  if (by != std::string::npos && digits(std::string_view(text).substr(0, by)) &&
      digits(std::string_view(text).substr(by + 1))) {
    return true;
  }
  return calls().IsGeometry(text.c_str()) != MagickFalse;
}

bool is_bilevel(const _Image* page) {
  exception_ptr exception = new_exception();
  return page->matte == MagickFalse && calls().IsMonochromeImage(page, exception.get()) != MagickFalse;
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
    const MagickStatusType flags = calls().ParseGeometry(density, &geometry);
    x = geometry.rho;
    y = (flags & SigmaValue) != 0 ? geometry.sigma : geometry.rho;
  }
  return pdf_page_resolution(x, y, page->units == PixelsPerCentimeterResolution);
}

}  // namespace zq::engine::magick
