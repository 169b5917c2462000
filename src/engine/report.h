// The conversion report: the engine's account of a run for the user. Plain
// bytes in the temp folder, CR LF line ends and tabs. A stream that is not open
// (no report wanted, or it could not be created) swallows every write, so
// converters never check; a write that fails is kept for whoever closes the
// stream to see.
//
// Runs that share a temp folder share the report's name, so every write
// appends, each flush in one piece (the system keeps one append whole against
// other appenders), and the file is locked (flock) while written: a run that
// replaces the report holds it shared for as long as it writes and cuts the
// file only when no other run holds it, and a run that appends its block
// holds it shared while the block goes in.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "common/result.h"
#include "common/status.h"
#include "engine/engine_settings.h"
#include "platform/file_system.h"

namespace zq::engine {

class report_stream {
 public:
  report_stream() = default;  // no report
  ~report_stream();
  report_stream(report_stream&& other) noexcept = default;
  report_stream& operator=(report_stream&& other) noexcept;  // closes this one first
  report_stream(const report_stream&) = delete;
  report_stream& operator=(const report_stream&) = delete;

  // Opens `path` never through a symbolic link, and only a file of this
  // user's (file_system::open_for_write). With `truncate` the report is
  // replaced, unless another run is writing into it still: then this run's
  // lines follow the other's, and neither loses any. With `append` the text
  // is held until close() and then added as one block, so that runs
  // appending at the same time never interleave their blocks.
  static result<report_stream> open(platform::file_system& files, const std::string& path,
                                    platform::open_mode mode);

  // A stream that writes into no file but keeps its text for take_text():
  // the lines of a file converted beside others, written into the report
  // when their turn comes.
  static report_stream held();

  bool is_open() const { return file_ != nullptr || holding_; }
  // Text is held until flush() (until close() for a block appended whole),
  // so that a line reaches the file whole.
  void write(std::string_view text);
  void flush();
  void close();
  // The first write or close that failed, or ok.
  const status& failure() const { return failure_; }
  // The text a held stream kept, which it then forgets.
  std::string take_text();

 private:
  report_stream(std::unique_ptr<platform::writable_file> file, bool whole_block)
      : file_(std::move(file)), whole_block_(whole_block) {}
  void write_pending();

  std::unique_ptr<platform::writable_file> file_;
  bool whole_block_ = false;  // opened for appending: one block at close()
  bool holding_ = false;      // held(): the text stays in pending_
  std::string pending_;
  status failure_ = status::ok();
};

// 81 hyphens.
extern const std::string_view kReportRule;

// [REPORT] create_report 1 with use_tiff_name 0: one report for the run,
// "Zembrit_Quarnel.log" in the temp folder, for batch and single-file runs alike.
bool uses_shared_report(const job_settings& job);
// create_report 1 with use_tiff_name 1: one report per source, named after its
// base name ("<temp>/<base name>.log").
bool uses_per_file_reports(const job_settings& job);
std::string shared_report_path(const engine_settings& settings);
std::string per_file_report_path(const engine_settings& settings, const std::string& source);

// The fixed 24-character English form "Sat Oct 14 09:05:07 2006" of the local
// time, whatever the locale.
std::string report_date(std::time_t when);

// Header block: with source and target files for single-file runs, without
// them (nullptr) for per-file reports of batch runs.
void write_report_header(report_stream& report, const engine_settings& settings,
                         const std::string* source_file, const std::string* target_file);

// Footer block with the converted-files count; closes the stream.
void write_report_footer(report_stream& report, unsigned files_count);

// Per-file lines, each flushed as written so that a report read during the run,
// or after an abrupt end, holds every finished file.
// "The file %s cannot be read by Zembrit_Quarnel", then "\t%s" with the reason
// when one is given.
void report_unreadable_source(report_stream& report, const std::string& path,
                              const std::string* reason);
// "The file %s cannot be read by Zembrit" and "\t%s": a listed file of a join.
void report_unreadable_listed_file(report_stream& report, const std::string& path,
                                   const std::string& reason);
// `line` is one of "Bad compress argument", "Bad density argument",
// "Bad size argument", as the option interpreter words it.
void report_bad_argument(report_stream& report, std::string_view line);
void report_converted(report_stream& report, const std::string& path);
void report_not_converted(report_stream& report, const std::string& path);

}  // namespace zq::engine
