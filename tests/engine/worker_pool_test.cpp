#include "engine/worker_pool.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "conversion_test_support.h"
#include "engine/batch_driver.h"
#include "engine/worker_messages.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "jobfile/job_keys.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace zq::engine {
namespace {

using testing::make_image;
using testing::scratch_folder;
using testing::test_run;

// Reservations are granted in ticket order whatever order the threads ask
// in, never together beyond the capacity, and one larger than the capacity
// only alone.
struct budget_trial {
  std::vector<std::uint64_t> granted_order;
  std::vector<std::string> violations;
};

budget_trial run_budget(std::uint64_t capacity, const std::vector<std::uint64_t>& amounts) {
  pixel_budget budget(capacity);
  std::mutex mutex;
  budget_trial trial;
  std::uint64_t held = 0;
  std::vector<std::thread> threads;
  // Started last ticket first, so that any order comes from the budget alone.
  for (std::size_t i = amounts.size(); i-- > 0;) {
    threads.emplace_back([&, i] {
      const std::uint64_t got = budget.acquire(i, amounts[i]);
      {
        const std::lock_guard lock(mutex);
        trial.granted_order.push_back(i);
        held += got;
        if (got != std::min(amounts[i], capacity)) {
          trial.violations.push_back("ticket " + std::to_string(i) + " got " +
                                     std::to_string(got));
        }
        if (held > capacity) {
          trial.violations.push_back("ticket " + std::to_string(i) +
                                     " over capacity: " + std::to_string(held));
        }
      }
      std::this_thread::yield();
      {
        const std::lock_guard lock(mutex);
        held -= got;
      }
      budget.release(got);
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  return trial;
}

TEST(PixelBudget, GrantsInTicketOrderWithinTheCapacity) {
  {
    // Each over half the capacity: one holder at a time, so the order seen is
    // the order granted.
    const budget_trial trial = run_budget(10, {6, 25, 7, 10, 6, 9, 40, 8});
    EXPECT_EQ(trial.granted_order, (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(trial.violations, std::vector<std::string>{});
  }
  {
    // Small ones together, large ones alone.
    const budget_trial trial = run_budget(10, {6, 3, 4, 25, 1, 9, 2, 10, 5, 0, 7, 3, 1, 1});
    EXPECT_EQ(trial.granted_order.size(), 14u);
    EXPECT_EQ(trial.violations, std::vector<std::string>{});
  }
}

// The estimate reads the TIFF's headers: its largest page, three copies of
// it, the read-ahead of a multi-page file, 8 bytes a pixel.
TEST(PixelBudget, EstimateFromTheHeaders) {
  scratch_folder work;
  platform::file_system& files = platform::real_file_system();
  make_image("-size 30x20 xc:white", work.file("one.tif"));
  make_image("-size 30x20 xc:white -size 50x40 xc:black -size 10x10 xc:gray",
             work.file("three.tif"));
  work.write("not.tif", "II*\0 and nothing more");
  ASSERT_EQ(mkfifo(work.file("fifo.tif").c_str(), 0600), 0);

  EXPECT_EQ(estimated_pixel_cache(files, work.file("one.tif")), 30u * 20 * 3 * 8);
  EXPECT_EQ(estimated_pixel_cache(files, work.file("three.tif")),
            (50u * 40 * 3 + magick::page_sequence::kPageBatchPixels) * 8);
  // Nothing the converter reads: nothing reserved; unreadable: reserved whole.
  EXPECT_EQ(estimated_pixel_cache(files, work.file("fifo.tif")), 0u);
  EXPECT_EQ(estimated_pixel_cache(files, work.file("missing.tif")), 0u);
  EXPECT_EQ(estimated_pixel_cache(files, work.file("not.tif")), kPixelCacheBudget);
}

TEST(WorkerPool, OutputConflictKeys) {
  EXPECT_EQ(output_conflict_key("/in/scan.tif"), "scan");
  EXPECT_EQ(output_conflict_key("/in/sub/Scan_002.TIF"), "scan");
  EXPECT_EQ(output_conflict_key("/in/SCAN.tiff"), "scan");
  EXPECT_EQ(output_conflict_key("/in/scan_.tif"), "scan_");
  EXPECT_EQ(output_conflict_key("/in/scan_2b.tif"), "scan_2b");
  EXPECT_EQ(output_conflict_key("/in/scan2.tif"), "scan2");
}

// [PARAMS] jobs: read by the engine, one per core when 0 or missing, never
// written into the default job file; joins and page segments take one file
// at a time whatever it says.
TEST(WorkerPool, JobsKeyAndWorkerCount) {
  scratch_folder work;
  work.write("job.ini", "[PARAMS]\r\njobs=3\r\n");
  job_settings read;
  ASSERT_TRUE(read_job_settings(platform::ini_file::load(work.file("job.ini")), read).is_ok());
  EXPECT_EQ(read.params_jobs, 3);
  job_settings missing;
  ASSERT_TRUE(
      read_job_settings(platform::ini_file::load(work.file("none.ini")), missing).is_ok());
  EXPECT_EQ(missing.params_jobs, 0);

  ASSERT_TRUE(write_default_job_file(work.file("default.ini"), "/tmp").is_ok());
  EXPECT_EQ(work.read("default.ini").find("jobs"), std::string::npos);

  const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
  EXPECT_EQ(worker_count(0), cores);
  EXPECT_EQ(worker_count(-2), cores);
  EXPECT_EQ(worker_count(1), 1u);
  EXPECT_EQ(worker_count(3), 3u);

  engine_settings settings;
  settings.job.params_jobs = 3;
  settings.format_code = kFormatPng;
  EXPECT_EQ(batch_workers(settings), 3u);
  settings.format_code = kFormatPse;
  EXPECT_EQ(batch_workers(settings), 1u);
  settings.format_code = kFormatPdf;
  settings.job.pdf_adjoin = 1;
  settings.job.params_extract_all = 1;
  EXPECT_EQ(batch_workers(settings), 1u);
  settings.job.pdf_adjoin = 0;
  EXPECT_EQ(batch_workers(settings), 3u);
  settings.format_code = kFormatNone;
  EXPECT_EQ(batch_workers(settings), 1u);
}

// A stop signal while files are converted by several workers: no file is
// begun after it, and what was begun is committed as a run of one worker
// would have: every converted file counted, its line in the report, in walk
// order, and nothing of a file never begun.
TEST(WorkerPool, StopSignalEndsTheWalkBetweenFiles) {
  scratch_folder work;
  scratch_folder temp;
  for (int i = 0; i < 12; ++i) {
    work.write("in/f" + std::to_string(10 + i) + ".tif", "not read here");
  }
  volatile std::sig_atomic_t stop_signal = 0;
  test_run run;
  run.settings.source_folder = work.file("in");
  run.settings.search_pattern = run.settings.source_folder + "/*.tif";
  run.settings.format_code = kFormatPng;
  run.state.stop_signal = &stop_signal;

  std::mutex mutex;
  std::vector<std::string> begun;
  const batch_converter convert = [&](engine_run& r, const std::string& path,
                                      report_stream& report) {
    {
      const std::lock_guard lock(mutex);
      begun.push_back(path);
      if (begun.size() == 4) {
        stop_signal = SIGTERM;
      }
    }
    EXPECT_EQ(r.state.current_file, path);
    report.write(path + " done\r\n");
    report.flush();
    r.messages.say("said for " + path);
    return converter_result::converted;
  };
  {
    report_stream report = testing::open_report(temp.file("report.log"));
    EXPECT_FALSE(walk_source_folder(run.run, report, convert, 3, worker_place::threads));
  }
  // Begun in walk order, each once; a few were in flight when the signal came.
  ASSERT_GE(begun.size(), 4u);
  EXPECT_LE(begun.size(), 6u);
  std::sort(begun.begin(), begun.end());
  std::string lines;
  std::vector<std::string> said;
  for (std::size_t i = 0; i < begun.size(); ++i) {
    EXPECT_EQ(begun[i], work.file("in/f" + std::to_string(10 + i) + ".tif"));
    lines += begun[i] + " done\r\n";
    said.push_back("said for " + begun[i]);
  }
  EXPECT_EQ(run.state.files_count, begun.size());
  EXPECT_EQ(run.state.current_file, begun.back());
  EXPECT_EQ(temp.read("report.log"), lines);
  EXPECT_EQ(run.messages.messages(), said);
}

// Each file converts in a process of its own: what it leaves (report lines,
// messages, state) comes back in walk order, and a conversion that crashes
// costs that file alone, with the reason.
TEST(WorkerPool, FilesConvertApartAndACrashCostsOneFile) {
  scratch_folder work;
  scratch_folder temp;
  for (int i = 0; i < 6; ++i) {
    work.write("in/f" + std::to_string(i) + ".tif", "not read here");
  }
  test_run run;
  run.settings.source_folder = work.file("in");
  run.settings.search_pattern = run.settings.source_folder + "/*.tif";
  run.settings.format_code = kFormatPng;
  run.settings.job.report_create_report = 1;
  const pid_t walker = ::getpid();
  const batch_converter convert = [&](engine_run& r, const std::string& path,
                                      report_stream& report) {
    if (::getpid() == walker) {
      return converter_result::converted;  // not apart: nothing shows for the file
    }
    if (path.ends_with("f3.tif")) {
      std::abort();
    }
    r.state.page_count = static_cast<int>(path.size());
    report.write(path + " done\r\n");
    r.messages.say("said for " + path);
    r.messages.progress("page of " + path);
    return converter_result::converted;
  };
  {
    report_stream report = testing::open_report(temp.file("report.log"));
    EXPECT_FALSE(walk_source_folder(run.run, report, convert, 2));
  }
  std::string lines;
  std::vector<std::string> said;
  for (int i = 0; i < 6; ++i) {
    const std::string path = work.file("in/f" + std::to_string(i) + ".tif");
    if (i == 3) {
      lines += "Could not convert " + path + "\r\n";
      said.push_back("cannot convert " + path +
                     ": the conversion process ended by signal 6 (Aborted)");
    } else {
      lines += path + " done\r\n";
      said.push_back("said for " + path);
    }
  }
  EXPECT_EQ(temp.read("report.log"), lines);
  EXPECT_EQ(run.messages.messages(), said);
  EXPECT_EQ(run.state.files_count, 6u);
  EXPECT_EQ(run.state.page_count, static_cast<int>(work.file("in/f5.tif").size()));
  EXPECT_NE(run.messages.progress_text().find("page of " + work.file("in/f5.tif")),
            std::string::npos);
}

// What goes to a worker and back: every field whole, whatever it holds.
TEST(WorkerMessages, RequestsAndResultsComeBackAsTheyWent) {
  handed_file sent;
  sent.path = "/in/a:12:b.tif";
  sent.state.files_count = 7;
  sent.state.current_file = "/in/prev.tif";
  sent.state.page_count = 3;
  sent.state.source_x_resolution = 203.99999999999997;
  sent.state.source_y_resolution = 0.1;
  sent.state.report_failed = true;
  sent.report = report_stream::held();
  handed_file asked;
  ASSERT_TRUE(decode_request(encode_request(sent), asked));
  EXPECT_EQ(asked.path, sent.path);
  EXPECT_EQ(asked.state.files_count, 7u);
  EXPECT_EQ(asked.state.current_file, "/in/prev.tif");
  EXPECT_EQ(asked.state.page_count, 3);
  EXPECT_EQ(asked.state.source_x_resolution, sent.state.source_x_resolution);
  EXPECT_EQ(asked.state.source_y_resolution, 0.1);
  EXPECT_TRUE(asked.state.report_failed);
  EXPECT_TRUE(asked.report.is_open());

  asked.outcome = converter_result::stop;
  asked.report.write("line one\r\n5:x\r\n");
  asked.messages.say("cannot write /out/a.png: disk full");
  asked.messages.progress("");
  asked.messages.say("12:");
  handed_file back;
  back.report = report_stream::held();
  const std::string result = encode_result(asked);
  ASSERT_TRUE(decode_result(result, back));
  EXPECT_EQ(back.outcome, converter_result::stop);
  EXPECT_EQ(back.report.take_text(), "line one\r\n5:x\r\n");
  EXPECT_EQ(back.messages.held(), asked.messages.held());

  handed_file broken;
  EXPECT_FALSE(decode_request("3:abc", broken));
  EXPECT_FALSE(decode_result(result.substr(0, 20), broken));
  EXPECT_FALSE(decode_result("99:short", broken));
}

}  // namespace
}  // namespace zq::engine
