// The workers of a batch run: the files of a batch are converted several at a
// time, and their results are committed one by one in the order the walk
// handed them over, so that the report, the count and the messages are those
// of a run that converts one file at a time.
//
// Threads, not processes. What a conversion changes is its own: the run's
// state (current file, page count, the source's resolution) is copied into
// each file's task and taken back when the file is committed; report lines
// and messages go into the task and are written at commit; the settings are
// only read. ImageMagick works on separate images from several threads (its
// exceptions, images and ImageInfos are per call here, and its start-up is a
// function-local static); its OpenMP loops run inside whichever thread calls
// them. Processes would each get ImageMagick's limits whole, but would have
// to start ImageMagick and the run again, send their report lines back and
// could not be stopped between files as one run is. The limits are shared by
// the process, so the pixel cache is budgeted across workers instead
// (pixel_budget).
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
