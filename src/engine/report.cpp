#include "engine/report.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

#include "common/paths.h"
#include "common/version.h"
#include "jobfile/formats.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// English names whatever the locale: the report is read the same everywhere.
constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void write_line(report_stream& report, std::string_view text) {
  report.write(text);
  report.write(kLineEnd);
}

void write_labelled(report_stream& report, std::string_view label, std::string_view value) {
  report.write(label);
  write_line(report, value);
}

void write_labelled(report_stream& report, std::string_view label, int value) {
  write_labelled(report, label, std::to_string(value));
}

void write_format_block(report_stream& report, const engine_settings& settings) {
  const target_format* format = find_format(settings.format_code);
  if (format == nullptr) {
    return;
  }
  write_labelled(report, "image_type:\t", format->report_name);
  for (const report_line& line : format->report_lines) {
    const int value = int_value(settings.job, line.key);
    if (!line.only_when_one || value == 1) {
      write_labelled(report, line.label, value);
    }
  }
}

// Another run holds a report exclusively only for the moment it takes to cut
// it; a lock held longer is a stranger's, and a run does not wait for it
// file after file.
constexpr std::chrono::milliseconds kReportLockPatience{2000};

}  // namespace

const std::string_view kReportRule =
    "---------------------------------------------------------------------------------";

report_stream::~report_stream() { close(); }

report_stream& report_stream::operator=(report_stream&& other) noexcept {
  if (this != &other) {
    close();
    file_ = std::move(other.file_);
    whole_block_ = other.whole_block_;
    holding_ = other.holding_;
    pending_ = std::move(other.pending_);
    failure_ = std::move(other.failure_);
  }
  return *this;
}

result<report_stream> report_stream::open(platform::file_system& files, const std::string& path,
                                          platform::open_mode mode) {
  // Never cut at the open: whether to cut is known only once the lock says
  // whether another run is writing here.
  result<std::unique_ptr<platform::writable_file>> opened =
      files.open_for_write(path, platform::open_mode::append);
  if (!opened.is_ok()) {
    return opened.status();
  }
  std::unique_ptr<platform::writable_file> file = std::move(opened).value();
  if (mode == platform::open_mode::append) {
    return report_stream(std::move(file), true);
  }
  // A file system without locks cannot tell another run apart: the report is
  // replaced there, as it always was.
  const result<bool> alone =
      file->lock(platform::file_lock::exclusive, std::chrono::milliseconds::zero());
  if (!alone.is_ok() || *alone) {
    if (status cut = file->truncate(); !cut.is_ok()) {
      return cut;
    }
  }
  // Held until the stream closes: the mark of a run still writing here. A
  // stranger who holds the file locked delays the run, never stops it.
  (void)file->lock(platform::file_lock::shared, kReportLockPatience);
  return report_stream(std::move(file), false);
}

report_stream report_stream::held() {
  report_stream stream;
  stream.holding_ = true;
  return stream;
}

std::string report_stream::take_text() { return std::exchange(pending_, std::string()); }

void report_stream::write(std::string_view text) { pending_ += text; }

void report_stream::flush() {
  if (!whole_block_ && !holding_) {
    write_pending();
  }
}

void report_stream::write_pending() {
  if (file_ && !pending_.empty()) {
    if (status written = file_->append(pending_); !written.is_ok() && failure_.is_ok()) {
      failure_ = std::move(written);
    }
  }
  pending_.clear();
}

void report_stream::close() {
  if (holding_) {
    return;
  }
  if (file_ && whole_block_ && !pending_.empty()) {
    // No run may cut the report while the block goes in.
    (void)file_->lock(platform::file_lock::shared, kReportLockPatience);
  }
  write_pending();
  if (file_) {
    if (status closed = file_->close(); !closed.is_ok() && failure_.is_ok()) {
      failure_ = std::move(closed);
    }
    file_.reset();
  }
}

bool uses_shared_report(const job_settings& job) {
  return job.report_create_report == 1 && job.report_use_tiff_name == 0;
}

bool uses_per_file_reports(const job_settings& job) {
  return job.report_create_report == 1 && job.report_use_tiff_name == 1;
}

std::string shared_report_path(const engine_settings& settings) {
  return join_normalized(settings.temp_folder, "Zembrit_Quarnel.log");
}

std::string per_file_report_path(const engine_settings& settings, const std::string& source) {
  return join_normalized(settings.temp_folder, base_name_of(source) + ".log");
}

std::string report_date(std::time_t when) {
  std::tm parts{};
  if (localtime_r(&when, &parts) == nullptr) {
    // Only a time far outside the calendar gets here; the form stays fixed.
    parts = std::tm{};
  }
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d",
                kWeekdays[static_cast<std::size_t>(parts.tm_wday)].data(),
                kMonths[static_cast<std::size_t>(parts.tm_mon)].data(), parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec, parts.tm_year + 1900);
  return text;
}

void write_report_header(report_stream& report, const engine_settings& settings,
                         const std::string* source_file, const std::string* target_file) {
  report.write(kLineEnd);
  write_line(report, kReportRule);
  write_line(report, kVersionText);
  write_line(report, report_date(std::time(nullptr)));
  write_line(report, kReportRule);
  report.write(kLineEnd);
  write_labelled(report, "ini file used:\t", settings.job_file);
  if (source_file != nullptr) {
    write_labelled(report, "source file:\t", *source_file);
  } else {
    write_labelled(report, "source path:\t", settings.source_folder);
  }
  if (target_file != nullptr) {
    write_labelled(report, "target file:\t", *target_file);
  } else {
    write_labelled(report, "target path:\t", settings.target_folder);
  }
  write_labelled(report, "temp path:\t", settings.temp_folder);
  write_labelled(report, "recurse:\t\t", settings.job.params_recurse);
  write_labelled(report, "reproduce path:\t", settings.job.params_reproduce_path);
  write_labelled(report, "density:\t\t", settings.job.params_density);
  write_labelled(report, "size:\t\t\t", settings.job.params_size);
  report.write(kLineEnd);
  write_labelled(report, "usr tiff name:\t", settings.job.report_use_tiff_name);
  report.write(kLineEnd);
  write_format_block(report, settings);
  report.flush();
  report.write(kLineEnd);
  write_line(report, kReportRule);
}

void write_report_footer(report_stream& report, unsigned files_count) {
  write_line(report, kReportRule);
  report.write(kLineEnd);
  write_line(report, "process finished");
  write_line(report, report_date(std::time(nullptr)));
  write_labelled(report, "converted files: ", std::to_string(files_count));
  report.close();
}

void report_unreadable_source(report_stream& report, const std::string& path,
                              const std::string* reason) {
  report.write("The file ");
  report.write(path);
  write_line(report, " cannot be read by Zembrit_Quarnel");
  if (reason != nullptr) {
    write_labelled(report, "\t", *reason);
  }
  report.flush();
}

void report_unreadable_listed_file(report_stream& report, const std::string& path,
                                   const std::string& reason) {
  report.write("The file ");
  report.write(path);
  write_line(report, " cannot be read by Zembrit");
  write_labelled(report, "\t", reason);
  report.flush();
}

void report_bad_argument(report_stream& report, std::string_view line) {
  write_line(report, line);
  report.flush();
}

void report_converted(report_stream& report, const std::string& path) {
  write_line(report, path + " converted");
  report.flush();
}

void report_not_converted(report_stream& report, const std::string& path) {
  write_labelled(report, "Could not convert ", path);
  report.flush();
}

}  // namespace zq::engine
