#include "engine/worker_pool.h"

#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <memory>
#include <thread>

#include "common/paths.h"
#include "engine/magick.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

constexpr std::uint64_t kBytesPerPixel = 8;
constexpr std::uint64_t kPageCopies = 3;
// More workers than this only queue for the same cores and the same budget.
constexpr unsigned kMaxWorkers = 64;

// The estimate reads headers only; what libtiff has to say about a damaged
// file is the converter's to report, not this.
int ignore_message(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct tiff_closer {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct options_deleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

std::uint64_t estimated_pixel_cache(platform::file_system& files, const std::string& path) {
  if (files.stat_target(path).kind != platform::file_kind::regular) {
    return 0;
  }
  const std::unique_ptr<TIFFOpenOptions, options_deleter> options(TIFFOpenOptionsAlloc());
  if (!options) {
    return kPixelCacheBudget;
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ignore_message, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignore_message, nullptr);
  const std::unique_ptr<TIFF, tiff_closer> tiff(TIFFOpenExt(path.c_str(), "r", options.get()));
  if (!tiff) {
    return kPixelCacheBudget;
  }
  std::uint64_t largest = 0;
  std::uint64_t pages = 0;
  do {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
      return kPixelCacheBudget;
    }
    largest = std::max(largest, std::uint64_t{width} * height);
    ++pages;
  } while (TIFFReadDirectory(tiff.get()) == 1);
  const std::uint64_t read_ahead = pages > 1 ? magick::page_sequence::kPageBatchPixels : 0;
  const std::uint64_t pixels = largest * kPageCopies + read_ahead;
  // Beyond the budget it is all the same: the file converts alone.
  return pixels > kPixelCacheBudget / kBytesPerPixel ? kPixelCacheBudget
                                                     : pixels * kBytesPerPixel;
}

std::uint64_t pixel_budget::acquire(std::uint64_t ticket, std::uint64_t amount) {
  const std::uint64_t wanted = std::min(amount, capacity_);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return next_ticket_ == ticket && (held_ == 0 || held_ + wanted <= capacity_);
  });
  held_ += wanted;
  ++next_ticket_;
  lock.unlock();
  changed_.notify_all();
  return wanted;
}

void pixel_budget::release(std::uint64_t amount) {
  {
    const std::lock_guard lock(mutex_);
    held_ -= amount;
  }
  changed_.notify_all();
}

unsigned worker_count(int jobs) {
  if (jobs > 0) {
    return std::min(static_cast<unsigned>(jobs), kMaxWorkers);
  }
  return std::clamp(std::thread::hardware_concurrency(), 1U, kMaxWorkers);
}

std::string output_conflict_key(const std::string& path) {
  std::string base = base_name_of(path);
  // "name_<digits>" is the form of a page's output name.
  if (const std::size_t underscore = base.rfind('_');
      underscore != std::string::npos && underscore + 1 < base.size() &&
      std::all_of(base.begin() + static_cast<std::ptrdiff_t>(underscore) + 1, base.end(),
                  [](unsigned char c) { return std::isdigit(c) != 0; })) {
    base.resize(underscore);
  }
  std::transform(base.begin(), base.end(), base.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return base;
}

}  // namespace zq::engine
