#include "engine/batch_driver.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "common/diagnostics.h"
#include "common/paths.h"
#include "engine/conversion.h"
#include "engine/magick.h"
#include "engine/worker_messages.h"
#include "engine/worker_pool.h"
#include "jobfile/file_list_file.h"
#include "platform/file_system.h"
#include "platform/staged_output.h"
#include "platform/system.h"

namespace zq::engine {
namespace {

std::string normalized_by_rule(std::string path) {
  normalize_by_rule(path);
  return path;
}

// Nothing fails silently, but a report that cannot be opened is no reason to
// leave a file unconverted: the reason goes to standard error instead, and
// the run ends with the exit code of a failed report.
report_stream open_report(engine_run& run, const std::string& path, platform::open_mode mode) {
  result<report_stream> report = report_stream::open(run.files, path, mode);
  if (!report.is_ok()) {
    run.messages.say("cannot open the report " + path + ": " + report.status().reason());
    run.state.report_failed = true;
    return report_stream();
  }
  return std::move(*report);
}

// The joined PDF's own list starts as a copy of the list file that the front
// end may have left, so that the join takes that list's surplus keys as it
// always did. Only a list of this user's is copied.
void copy_file_list(engine_run& run, const std::string& from, const std::string& to) {
  const result<std::unique_ptr<platform::held_lock>> held =
      run.files.lock_own_file(from, platform::file_lock::shared, platform::kLockPatience);
  if (!held.is_ok()) {
    if (run.files.stat(from).kind != platform::file_kind::missing) {
      run.messages.say("the file list " + from + " is not read: " + held.status().reason());
    }
    return;
  }
  result<std::string> bytes = run.files.read_file(from, kMaxFileListSize);
  status copied = bytes.status();
  if (copied.is_ok()) {
    copied = platform::write_file_atomically(run.files, to, *bytes);
  }
  if (!copied.is_ok()) {
    run.messages.say("cannot copy the file list " + from + ": " + copied.reason());
  }
}

// A join of the list the front end wrote reads it itself; a list that is
// refused (someone else's, or no file at all) is said here, where the run
// can still say why the join finds nothing in it.
void check_shared_file_list(engine_run& run) {
  const std::string& path = run.settings.file_list_path;
  if (path.empty()) {
    return;
  }
  if (const result<std::vector<std::string>> listed = read_own_file_list(run.files, path);
      !listed.is_ok()) {
    run.messages.say("the file list " + path + " is not read: " + listed.status().reason());
  }
}

bool joins_file_list(const engine_settings& settings) {
  const format_route* route = find_route(settings.format_code);
  return route != nullptr && route->assemble != nullptr &&
         is_single_output(route->format, settings.job);
}

// Folder entries, or none when the folder cannot be read: a walk then has
// nothing to hand over there, and says why.
std::vector<platform::folder_entry> entries_of(engine_run& run, const std::string& folder,
                                               const std::string& pattern) {
  std::vector<platform::folder_entry> entries;
  if (const status listed = run.files.enumerate(folder, pattern, entries); !listed.is_ok()) {
    run.messages.say(listed.reason());
  }
  return entries;
}

bool is_dot_name(const std::string& name) { return !name.empty() && name.front() == '.'; }

// Hands one file to the converter as every walk does: it becomes the current
// file and counts as handed over whatever the result.
converter_result hand_over(engine_run& run, const std::string& path, report_stream& report,
                           const batch_converter& convert) {
  run.state.current_file = path;
  const converter_result outcome = convert(run, path, report);
  ++run.state.files_count;
  return outcome;
}

// Hands the files of a walk over: one at a time, or to `workers` worker
// processes (threads where the process cannot be copied), with their results
// committed in the order handed over.
class file_hand_over {
 public:
  file_hand_over(engine_run& run, report_stream& report, const batch_converter& convert,
                 unsigned workers, worker_place place)
      : run_(run), report_(report), convert_(convert), workers_(workers), place_(place) {}
  ~file_hand_over() {
    // Only an exception from a commit leaves tasks here; they run to their
    // end, unseen.
    for (const std::unique_ptr<task>& waiting : tasks_) {
      waiting->thread.join();
    }
  }
  file_hand_over(const file_hand_over&) = delete;
  file_hand_over& operator=(const file_hand_over&) = delete;

  // True when the walk ends here: this file, or one handed over before it,
  // gave the stop result.
  bool hand(const std::string& path) {
    if (ended_) {
      return true;
    }
    if (workers_ <= 1) {
      ended_ = hand_over(run_, path, report_, convert_) == converter_result::stop;
      return ended_;
    }
    // An earlier file that may write the same names is finished first.
    const std::string key = output_conflict_key(path);
    while (!ended_ && has_task_with_key(key)) {
      commit_first();
    }
    // A free worker; what is done meanwhile is committed.
    commit_finished();
    while (!ended_ && !wait_for_free_worker()) {
      commit_finished();
    }
    if (converts_apart() && idle_worker_count() == 0) {
      // The first file, or a worker has ended: new ones are made once no
      // file's thread runs (start_workers says why).
      while (!ended_ && !tasks_.empty()) {
        commit_first();
      }
      if (!ended_) {
        start_workers();
      }
    }
    if (ended_) {
      return true;
    }
    start(path, key);
    return false;
  }

  // Waits for every file handed over and commits it; true when the walk ends.
  bool finish() {
    while (!tasks_.empty()) {
      commit_first();
    }
    return ended_;
  }

 private:
  struct task : handed_file {
    std::string key;
    // Handed over, but the run was asked to stop before it was begun.
    bool not_begun = false;
    std::exception_ptr failure;
    bool done = false;  // under mutex_
    std::thread thread;
    // Converting in processes: the worker process of the file, or why there
    // is none.
    std::unique_ptr<platform::worker_process> worker;
    status worker_failure = status::ok();

    bool done_seen(file_hand_over& owner) const {
      const std::lock_guard lock(owner.mutex_);
      return done;
    }
  };


  bool has_task_with_key(const std::string& key) const {
    for (const std::unique_ptr<task>& waiting : tasks_) {
      if (waiting->key == key) {
        return true;
      }
    }
    return false;
  }

  // Whether files go to worker processes: a process that has worked on an
  // image itself cannot be copied safely (magick.h), and converts on threads.
  bool converts_apart() const {
    return place_ == worker_place::processes && !magick::has_worked_on_images();
  }

  // True when a worker is free; else false once a file has finished.
  bool wait_for_free_worker() {
    std::unique_lock lock(mutex_);
    if (running_ < workers_) {
      return true;
    }
    finished_.wait(lock, [&] { return running_ < workers_; });
    return false;
  }

  void start(const std::string& path, const std::string& key) {
    auto started = std::make_unique<task>();
    if (converts_apart()) {
      give_worker(*started);
    }
    started->path = path;
    started->key = key;
    started->state = run_.state;
    started->state.current_file = path;
    // The count as it stands when this file's turn comes.
    started->state.files_count = run_.state.files_count + static_cast<unsigned>(tasks_.size());
    if (report_.is_open()) {
      started->report = report_stream::held();
    }
    {
      const std::lock_guard lock(mutex_);
      ++running_;
    }
    task* job = started.get();
    const std::uint64_t ticket = next_ticket_++;
    started->thread = std::thread([this, job, ticket] { convert(*job, ticket); });
    tasks_.push_back(std::move(started));
  }

  void convert(task& job, std::uint64_t ticket) {
    // Every ticket is acquired, or the files after this one would wait for
    // ever: a file whose size cannot be told reserves the whole budget.
    std::uint64_t wanted = kPixelCacheBudget;
    try {
      wanted = estimated_pixel_cache(run_.files, job.path);
    } catch (...) {
    }
    try {
      const std::uint64_t held = budget_.acquire(ticket, wanted);
      if (stop_requested(job.state)) {
        job.not_begun = true;
      } else {
        try {
          if (job.worker || !job.worker_failure.is_ok()) {
            convert_apart(job);
          } else {
            engine_run task_run{run_.settings, job.state, run_.files, job.messages};
            job.outcome = convert_(task_run, job.path, job.report);
          }
        } catch (...) {
          job.failure = std::current_exception();
        }
      }
      budget_.release(held);
    } catch (...) {
      job.failure = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      job.done = true;
      --running_;
    }
    finished_.notify_all();
  }

  // The file is converted in a worker process, a copy of this one: the image
  // library lets some of its coders (PNG) run on one thread at a time within
  // a process, so with threads alone every worker but one would wait for
  // them. A worker process converts file after file, keeping what it set up
  // (the library started, its memory) as one process converting alone would;
  // the file and its state go to it as bytes, and what the file left for the
  // run comes back so.
  void convert_apart(task& job) {
    status failure = job.worker_failure;
    bool decoded = false;
    if (job.worker) {
      const result<std::string> answer =
          job.worker->ask(encode_request(job), job.state.stop_signal);
      if (answer.is_ok()) {
        decoded = decode_result(*answer, job);
        failure = status::error("the conversion process gave no readable result");
      } else {
        failure = answer.status();
      }
      if (job.worker->alive()) {
        const std::lock_guard lock(mutex_);
        idle_workers_.push_back(std::move(job.worker));
      }
    }
    if (!decoded) {
      // The conversion ended abnormally (the image library crashed on a
      // damaged file, the system killed it): this file is not converted, with
      // the reason, and the run goes on; the next file gets a new worker.
      job.messages = held_diagnostics();
      job.messages.say("cannot convert " + job.path + ": " + failure.reason());
      job.report = job.report.is_open() ? report_stream::held() : report_stream();
      if (run_.settings.job.report_create_report == 1 && job.report.is_open()) {
        report_not_converted(job.report, job.path);
      }
      job.outcome = converter_result::converted;  // as the batch wrapper says "go on"
    }
  }

  std::size_t idle_worker_count() {
    const std::lock_guard lock(mutex_);
    return idle_workers_.size();
  }

  // Makes worker processes up to one per worker, copies of this process.
  // Called only while no file's thread runs: a copy made while another
  // thread holds a lock (the memory allocator's, under the address
  // sanitizer) would wait for it for ever. Each worker starts the image
  // library itself when a file first needs it, so a batch of pages that
  // libtiff copies never starts it at all.
  void start_workers() {
    while (idle_worker_count() < workers_) {
      result<std::unique_ptr<platform::worker_process>> started =
          platform::worker_process::start(
              [this](std::string_view request) { return serve(request); });
      if (!started.is_ok()) {
        worker_failure_ = started.status();
        return;
      }
      const std::lock_guard lock(mutex_);
      idle_workers_.push_back(std::move(started).value());
    }
  }

  // An idle worker process for the file, or why there is none.
  void give_worker(task& job) {
    const std::lock_guard lock(mutex_);
    if (idle_workers_.empty()) {
      job.worker_failure = worker_failure_;
      return;
    }
    job.worker = std::move(idle_workers_.back());
    idle_workers_.pop_back();
  }

  // In the worker process: one file, as a worker thread would convert it.
  std::string serve(std::string_view request) {
    handed_file job;
    if (!decode_request(request, job)) {
      throw std::runtime_error("unreadable request");
    }
    job.state.stop_signal = run_.state.stop_signal;
    engine_run task_run{run_.settings, job.state, run_.files, job.messages};
    job.outcome = convert_(task_run, job.path, job.report);
    return encode_result(job);
  }

  void commit_finished() {
    while (!tasks_.empty() && tasks_.front()->done_seen(*this)) {
      commit_first();
    }
  }

  // Waits for the first task and takes its result into the run, as if the
  // file had been converted just now.
  void commit_first() {
    std::unique_ptr<task> first = std::move(tasks_.front());
    tasks_.pop_front();
    first->thread.join();
    if (first->failure) {
      std::rethrow_exception(first->failure);
    }
    if (ended_ || first->not_begun) {
      // The walk ended before it, or nothing of it was begun.
      return;
    }
    first->messages.replay(run_.messages);
    const bool report_failed = run_.state.report_failed || first->state.report_failed;
    run_.state = first->state;
    run_.state.report_failed = report_failed;
    ++run_.state.files_count;
    if (report_.is_open()) {
      report_.write(first->report.take_text());
      report_.flush();
    }
    ended_ = first->outcome == converter_result::stop;
  }

  engine_run& run_;
  report_stream& report_;
  const batch_converter& convert_;
  const unsigned workers_;
  const worker_place place_;
  // Worker processes between two files, under mutex_; each ends with this
  // object, once every task has been joined.
  std::vector<std::unique_ptr<platform::worker_process>> idle_workers_;
  // Why the last worker process could not be made.
  status worker_failure_ = status::error("no worker process");
  std::deque<std::unique_ptr<task>> tasks_;  // handed over, not committed
  pixel_budget budget_{kPixelCacheBudget};
  std::uint64_t next_ticket_ = 0;
  bool ended_ = false;  // a committed file gave the stop result
  std::mutex mutex_;
  std::condition_variable finished_;
  unsigned running_ = 0;
};

}  // namespace

converter_result convert_batch_file(engine_run& run, const std::string& path,
                                    report_stream& report) {
  const engine_settings& settings = run.settings;
  report_stream per_file;
  const bool own_report = uses_per_file_reports(settings.job);
  if (own_report) {
    per_file =
        open_report(run, per_file_report_path(settings, path), platform::open_mode::truncate);
    write_report_header(per_file, settings, nullptr, nullptr);
  }
  report_stream& stream = own_report ? per_file : report;

  const converter_result outcome = convert_source_file(run, path, stream);
  if (settings.job.report_create_report == 1) {
    if (outcome == converter_result::converted || outcome == converter_result::stop) {
      report_converted(stream, path);
    } else {
      report_not_converted(stream, path);
    }
  }
  if (own_report) {
    write_report_footer(per_file, run.state.files_count);
    check_report_written(run, per_file, per_file_report_path(settings, path));
  }
  const bool joined =
      outcome == converter_result::stop || outcome == converter_result::stop_not_converted;
  return joined ? converter_result::stop : converter_result::converted;
}

bool writes_own_file_list(const engine_settings& settings) {
  const format_route* route = find_route(settings.format_code);
  return settings.job.params_recurse != 1 && route != nullptr && route->lists_source_folder &&
         is_single_output(route->format, settings.job);
}

bool stop_requested(const run_state& state) {
  return state.stop_signal != nullptr && *state.stop_signal != 0;
}

void check_report_written(engine_run& run, const report_stream& report, const std::string& path) {
  if (!report.failure().is_ok()) {
    run.messages.say("the report " + path +
                     " could not be written whole: " + report.failure().reason());
    run.state.report_failed = true;
  }
}

bool walk_source_folder(engine_run& run, report_stream& report, const batch_converter& convert,
                        unsigned workers, worker_place place) {
  const std::string& pattern = run.settings.search_pattern;
  file_hand_over files(run, report, convert, workers, place);
  for (const platform::folder_entry& entry :
       entries_of(run, folder_of(pattern), file_name_of(pattern))) {
    if (stop_requested(run.state)) {
      return files.finish();
    }
    if (entry.is_directory) {
      continue;
    }
    const std::string path = normalized_by_rule(join_path(run.settings.source_folder, entry.name));
    if (files.hand(path)) {
      return files.finish();
    }
  }
  return files.finish();
}

void walk_folder_tree(engine_run& run, report_stream& report, const std::string& folder,
                      const batch_converter& convert, unsigned workers, worker_place place) {
  file_hand_over files(run, report, convert, workers, place);
  for (const platform::folder_entry& entry : entries_of(run, folder, "*.*")) {
    if (stop_requested(run.state)) {
      files.finish();
      return;
    }
    if (entry.is_directory && !is_dot_name(entry.name)) {
      // The subfolder is read as a walk of one file at a time would find it.
      if (files.finish()) {
        return;
      }
      walk_folder_tree(run, report, join_normalized(folder, entry.name), convert, workers, place);
      continue;
    }
    if (!has_tiff_extension(entry.name)) {
      continue;
    }
    const std::string path = normalized_by_rule(join_path(folder, entry.name));
    if (files.hand(path)) {
      files.finish();
      return;
    }
  }
  files.finish();
}

void write_file_list(engine_run& run, const std::string& folder) {
  std::vector<std::string> listed;
  for (const platform::folder_entry& entry : entries_of(run, folder, "*.*")) {
    if (!entry.is_directory) {
      listed.push_back(normalized_by_rule(join_path(folder, entry.name)));
    }
  }
  if (listed.empty()) {
    return;
  }
  run.state.current_file = listed.back();
  const std::string& path = run.settings.file_list_path;
  if (const status saved = update_file_list_file(path, listed); !saved.is_ok()) {
    run.messages.say("cannot write the file list " + path + ": " + saved.reason());
  }
}

unsigned batch_workers(const engine_settings& settings) {
  const target_format* format = find_format(settings.format_code);
  if (format == nullptr || format->written_through_bitmap || writes_own_file_list(settings) ||
      joins_file_list(settings)) {
    return 1;
  }
  return worker_count(settings.job.params_jobs);
}

void run_batch_walk(engine_run& run, report_stream& report, const batch_converter& convert,
                    unsigned workers, worker_place place) {
  const engine_settings& settings = run.settings;
  if (writes_own_file_list(settings)) {
    engine_settings own = settings;
    if (!settings.work_folder.empty()) {
      own.file_list_path = join_normalized(settings.work_folder, kFileListName);
      copy_file_list(run, settings.file_list_path, own.file_list_path);
    }
    engine_run own_run{own, run.state, run.files, run.messages};
    // Reading the last listed file hands the whole list to the join, which
    // ends the batch; the files are not counted and no footer follows.
    write_file_list(own_run, settings.source_folder);
    if (stop_requested(run.state)) {
      return;
    }
    const std::string last_listed = run.state.current_file;
    convert(own_run, last_listed, report);
    return;
  }
  if (joins_file_list(settings)) {
    check_shared_file_list(run);
    workers = 1;  // the join takes the files in walk order
  }
  if (settings.job.params_recurse == 1) {
    walk_folder_tree(run, report, settings.source_folder, convert, workers, place);
  } else if (walk_source_folder(run, report, convert, workers, place)) {
    return;
  }
  if (stop_requested(run.state)) {
    return;
  }
  if (uses_shared_report(settings.job)) {
    write_report_footer(report, run.state.files_count);
  }
}

void convert_single_file(engine_run& run) {
  const engine_settings& settings = run.settings;
  const std::string& source = settings.source_file;
  const bool reporting = settings.job.report_create_report == 1;
  report_stream report;
  const std::string report_path = settings.job.report_use_tiff_name == 1
                                      ? per_file_report_path(settings, source)
                                      : shared_report_path(settings);
  if (reporting) {
    // Appended, so that the runs the front end makes file by file stack their
    // blocks in one report.
    report = open_report(run, report_path, platform::open_mode::append);
    write_report_header(report, settings, &source, &settings.target_file);
  }

  // A failure has its lines from the conversion already: the unreadable
  // source, or for a page segment or an output that could not be written,
  // "Could not convert".
  if (convert_source_to_target(run, source, report) == converter_result::converted && reporting) {
    report_converted(report, source);
  }

  if (reporting) {
    write_report_footer(report, run.state.files_count);
    check_report_written(run, report, report_path);
  }
}

}  // namespace zq::engine
