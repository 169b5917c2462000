// The batch driver: which files a run hands to the converter and in what order,
// the report line around each conversion, and the end of a batch when a join
// has consumed it. Also the engine's writer of the file list file "z.log",
// the list of paths that a join reads.
//
// The walks update settings.current_file (the file being handed over) and
// settings.files_count (every file handed over, converted or not).
#pragma once

#include <functional>
#include <string>

#include "engine/engine_settings.h"
#include "engine/report.h"

namespace zq::engine {

// Converts one file of a batch run and writes its report line; returns
// kStopResult when a join consumed the batch, else kConverted (failures are in
// the report, not passed up). With per-file reports, the file gets its own
// report in place of `report`.
int convert_batch_file(engine_settings& settings, const std::string& path, report_stream& report);

// What a walk hands each file to: convert_batch_file in a real run; tests hand
// in their own to see what a walk hands over.
using batch_converter =
    std::function<int(engine_settings& settings, const std::string& path, report_stream& report)>;

// The flat walk over the files of settings.search_pattern ("<source>/*.tif",
// as the folder enumeration matches it). Returns true when it ended on the
// stop result.
bool walk_source_folder(engine_settings& settings, report_stream& report,
                        const batch_converter& convert = convert_batch_file);

// The recursive walk: every file of `folder` and its subfolders whose extension
// begins with ".tif" (any case), depth first in enumeration order. Folders
// whose names begin with a dot are never entered, nor are symbolically linked
// folders. The stop result ends only the folder level it occurred in.
void walk_folder_tree(engine_settings& settings, report_stream& report, const std::string& folder,
                      const batch_converter& convert = convert_batch_file);

// Lists every file of `folder` (not its subfolders, whatever the extension)
// in section [FILES] of settings.file_list_path under the keys "0", "1", ...;
// keys beyond the last one written stay as an earlier writer left them.
// settings.current_file ends on the last listed path (unchanged for an empty
// folder). Returns 1; a list that cannot be written is said on standard error
// and the join then reads whatever the file holds.
int write_file_list(engine_settings& settings, const std::string& folder);

// A batch run after start-up: the recursive walk, the joined PDF of the source
// folder, or the flat walk, then the footer of the shared report unless a
// join ended the flat walk or the PDF. `report` is the open shared report, or
// a closed stream when the run writes none or one per file.
void run_batch_walk(engine_settings& settings, report_stream& report,
                    const batch_converter& convert = convert_batch_file);

// The single-file run: converts `source` into `target` with its own report
// block (appended to the shared or the per-file report) when reports are
// wanted. Takes copies because the conversion overwrites settings.target_file,
// which the caller usually passes. Returns 1.
int convert_single_file(engine_settings& settings, std::string source, std::string target);

}  // namespace zq::engine
