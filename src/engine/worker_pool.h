// The workers of a batch run: the files of a batch are converted several at a
// time, and their results are committed one by one in the order the walk
// handed them over, so that the report, the count and the messages are those
// of a run that converts one file at a time.
//
// Each file goes to a worker process, a copy of the engine made before it
// has worked on any image (batch_driver.cpp); the file and the run's state
// go to it as bytes (worker_messages.h) and its report lines, messages and
// state come back so. A process that has worked on an image itself cannot be
// copied safely, and then hands files to threads of its own: what a
// conversion changes (current file, page count, the source's resolution) is
// copied into each file's task and taken back at commit, the settings are
// only read, and ImageMagick works on separate images from several threads.
// Either way the pixel cache is budgeted across workers (pixel_budget): on
// threads the library's limits are shared by the process, in processes the
// budget bounds what the workers hold together.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace zq::platform {
class file_system;
}

namespace zq::engine {

// ImageMagick holds at most its memory limit in memory and its disk limit on
// disk, for the whole process (Debian's defaults; a policy may only lower
// them). A page that fits there alone must fit whatever the other workers
// hold, so together they never reserve more than this.
constexpr std::uint64_t kPixelCacheBudget = (std::uint64_t{256} << 20) + (std::uint64_t{1} << 30);

// The pixel cache that converting `path` may hold at its fullest: its
// largest page three times over (the page read, and a changed copy of it
// beside the one the writer makes), plus the read-ahead of a multi-page file,
// at 8 bytes a pixel. A file that is not a regular file is never read (0);
// one that libtiff cannot take apart is counted as the whole budget.
std::uint64_t estimated_pixel_cache(platform::file_system& files, const std::string& path);

// Reservations of the pixel cache, granted strictly in ticket order so that a
// large file is never passed over for ever by small ones. A reservation
// larger than the capacity waits until nothing else is held and then holds
// the whole: such a file converts alone, as in a run of one file at a time.
class pixel_budget {
 public:
  explicit pixel_budget(std::uint64_t capacity) : capacity_(capacity) {}

  // Every ticket from 0 on must be acquired once, in any thread. Returns the
  // amount held, to be released.
  std::uint64_t acquire(std::uint64_t ticket, std::uint64_t amount);
  void release(std::uint64_t amount);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t capacity_;
  std::uint64_t held_ = 0;
  std::uint64_t next_ticket_ = 0;
};

// How many files a batch converts at once: `jobs` when positive (1 is one at
// a time), else one per core.
unsigned worker_count(int jobs);

// What files whose conversions could write the same names share: the source's
// base name without a page suffix ("scan_002.tif" and "scan.tif" may both make
// "scan_002.png"), in lower case. Files with the same key are converted one
// after the other, in walk order.
std::string output_conflict_key(const std::string& path);

}  // namespace zq::engine
