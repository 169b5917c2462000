// The batch driver: which files a run hands to the converter and in what order,
// the report line around each conversion, and the end of a batch when a join
// has consumed it. Also the engine's writer of the file list file "z.log",
// the list of paths that a join reads.
//
// The walks update run.state.current_file (the file being handed over) and
// run.state.files_count (every file handed over, converted or not). A run
// asked to stop (run.state.stop_signal) hands over no further file.
#pragma once

#include <functional>
#include <string>

#include "engine/engine_settings.h"
#include "engine/format_routes.h"
#include "engine/report.h"

namespace zq::engine {

// Converts one file of a batch run and writes its report line; returns the
// stop result when a join consumed the batch, else converted (failures are in
// the report, not passed up). With per-file reports, the file gets its own
// report in place of `report`.
converter_result convert_batch_file(engine_run& run, const std::string& path,
                                    report_stream& report);

// What a walk hands each file to: convert_batch_file in a real run; tests hand
// in their own to see what a walk hands over.
using batch_converter = std::function<converter_result(engine_run& run, const std::string& path,
                                                       report_stream& report)>;

// Where the workers of a walk convert: in worker processes, copies of this
// one that convert file after file (the engine's runs: the image library
// runs some coders on one thread at a time within a process), or on threads
// of this process, for a converter that must share its memory.
enum class worker_place { processes, threads };

// The flat walk over the files of settings.search_pattern ("<source>/*.tif",
// as the folder enumeration matches it). Returns true when it ended on the
// stop result.
//
// With more than one worker the files are converted that many at a time
// (worker_pool.h), `convert` being called in several processes or threads at
// once (`place`; a process that has worked on an image itself always uses
// threads, as it cannot be copied safely); each file's report lines,
// messages and state are committed in walk order, so the report, the count
// and the messages are those of one worker. A file whose worker process
// crashed or was killed is not converted, with the reason, and the walk goes
// on. A file handed over whose conversion had not begun when the run was
// asked to stop is not converted, as if the walk had stopped before it. Every
// subfolder is entered only once the files before it are committed.
bool walk_source_folder(engine_run& run, report_stream& report,
                        const batch_converter& convert = convert_batch_file,
                        unsigned workers = 1, worker_place place = worker_place::processes);

// The recursive walk: every file of `folder` and its subfolders whose extension
// begins with ".tif" (any case), depth first in enumeration order. Folders
// whose names begin with a dot are never entered, nor are symbolically linked
// folders. The stop result ends only the folder level it occurred in.
void walk_folder_tree(engine_run& run, report_stream& report, const std::string& folder,
                      const batch_converter& convert = convert_batch_file,
                      unsigned workers = 1, worker_place place = worker_place::processes);

// Lists every file of `folder` (not its subfolders, whatever the extension)
// in the file list file settings.file_list_path, keeping keys beyond the last
// one written as an earlier writer left them. state.current_file ends on the
// last listed path (unchanged for an empty folder). A list that cannot be
// written is said through the run's messages; the join then reads whatever
// the file holds.
void write_file_list(engine_run& run, const std::string& folder);

// A batch run after start-up: the recursive walk, the joined PDF of the source
// folder, or the flat walk, then the footer of the shared report unless a
// join ended the flat walk or the PDF, or the run was asked to stop (the
// footer says the process finished). `report` is the open shared report, or
// a closed stream when the run writes none or one per file.
//
// The joined PDF's list is the run's own, settings.work_folder + "/z.log",
// when the run has a work folder: it starts as a copy of the list file at
// settings.file_list_path (whose keys beyond the run's last one the join
// takes too), and another run listing its folder into the same temp folder
// never touches it. Without a work folder the list is written in place.
//
// `workers` files are converted at a time by the walks; a join always takes
// its files one at a time.
void run_batch_walk(engine_run& run, report_stream& report,
                    const batch_converter& convert = convert_batch_file,
                    unsigned workers = 1, worker_place place = worker_place::processes);

// How many files a batch run with these settings converts at once: the
// [PARAMS] jobs key's, one per core when it is 0 or missing; always one for
// a join (its files go into one output, in walk order) and for page
// segments (their bitmap library is only ever called from one thread).
unsigned batch_workers(const engine_settings& settings);

// Whether a batch run with these settings writes a file list of its own (the
// joined PDF of the source folder, without recurse).
bool writes_own_file_list(const engine_settings& settings);

// Whether the process has been asked to stop.
bool stop_requested(const run_state& state);

// A report that did not reach its file whole, or at all, is a failure of the
// run: says so, naming the report, and marks the run (state.report_failed).
void check_report_written(engine_run& run, const report_stream& report, const std::string& path);

// The single-file run: converts settings.source_file into the outputs its
// target file names, with its own report block (appended to the shared or
// the per-file report) when reports are wanted. A report that cannot be
// opened or written whole costs no conversion; it marks the run as failed.
void convert_single_file(engine_run& run);

}  // namespace zq::engine
