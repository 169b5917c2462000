// The files a user picks for a launch, and the picker's list of them.
//
// Two records with two lifetimes:
// - the picked-file list (`picked_file_list`): the paths, in the order they
//   were added, that the launch runs the engine for. It outlives the picker
//   and is emptied by the launch.
// - the picker's rows (`picked_rows`): one entry per listed file with its size
//   and date, newest on top until a column is sorted. They live as long as
//   the picker is open; whether a file is listed already is asked of them.
//
// `file_picker` adds and removes through both at once, so that they hold the
// same files while the picker is open. Without rows (the picker closed, as
// when a launch lists the source folder) it fills the picked-file list alone.
//
// Nothing here is bounded: folders of tens of thousands of files are picked
// whole, so adding is constant time per file and the duplicate check is a
// hash lookup, never a scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/status.h"
#include "gui/core/user_dialogs.h"
#include "platform/file_system.h"

namespace zq::gui {

using picked_file_list = std::vector<std::string>;

// The record behind one row of the picker's list.
struct picked_file_entry {
  std::string path;
  std::uint64_t size = 0;
  std::time_t modified = 0;
  std::string date;  // date_text(modified)
};

// "MM/DD/YYYY hh:mm" in local time, as the list shows it.
std::string date_text(std::time_t modified);

enum class picked_column { file = 0, size = 1, date = 2 };

class picked_rows {
 public:
  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const picked_file_entry& operator[](std::size_t row) const { return rows_[row]; }

  // Whether a row holds `path`, ignoring ASCII case.
  bool contains(const std::string& path) const;
  // The row holding `path` ignoring ASCII case, or -1.
  int find(const std::string& path) const;

  void insert_top(picked_file_entry entry);
  // Removes the given rows (any order, repeats ignored) and returns their
  // paths.
  std::vector<std::string> remove(std::vector<std::size_t> rows);
  void clear();

  // Ascending by the column, as a click on its header sorts: paths ignoring
  // case, sizes as numbers, dates by the modification time itself (the date
  // text leads with the month, so it would put January of one year before
  // February of the year before). Rows that compare equal keep their order.
  void sort(picked_column column);

  // The paths in display order: what Validate writes.
  std::vector<std::string> paths() const;

 private:
  std::deque<picked_file_entry> rows_;
  std::unordered_set<std::string> folded_;  // the rows' paths, ASCII-lower-cased
};

class file_picker {
 public:
  // `rows` is null while the picker is closed. Every reference must outlive
  // this object.
  file_picker(picked_file_list& picked, picked_rows* rows,
              platform::file_system& files = platform::real_file_system())
      : picked_(picked), rows_(rows), files_(files) {}

  // The row of `path` ignoring case, or -1; always -1 without rows.
  int find_listed_file(const std::string& path) const;

  // Lists one file: a path that fails the TIFF test is skipped (ok); a file
  // whose status cannot be read, or that is no file, is refused with the
  // reason. The caller checks for duplicates first.
  status add_picked_file(const std::string& path);

  // Every TIFF file of `folder` not listed yet, in enumeration order; with
  // the tree walk also those of every subfolder, each walked when its entry
  // is met. Names beginning with "." and empty files are skipped; links to
  // folders are never followed. A folder that cannot be read adds nothing.
  // Both return the number of files added.
  std::size_t add_folder_files(const std::string& folder);
  std::size_t add_folder_tree_files(const std::string& folder);

  // The files opened in `folder`: names, or whole paths when they hold a
  // separator. Listed files are skipped. The refusals of add_picked_file are
  // returned, one per file.
  std::vector<status> add_opened_files(const std::string& folder,
                                       const std::vector<std::string>& names);

  // Removes the given rows and their paths from the picked-file list.
  void remove_rows(const std::vector<std::size_t>& rows);
  void remove_all();

 private:
  // Adds a file whose status the caller has read.
  void add_entry(std::string path, const platform::file_info& info);
  void walk(const std::string& folder, bool tree, std::size_t& added);

  picked_file_list& picked_;
  picked_rows* rows_;
  platform::file_system& files_;
};

// The reasons of several refusals, one a line, for one message box.
std::string reasons_text(const std::vector<status>& refusals);

// Where Validate writes: "z.log" in the system temporary folder.
std::string picker_file_list_path(platform::file_system& files = platform::real_file_system());

enum class validate_result {
  written,   // the list file is written; the picker closes
  kept_open  // the user declined the empty list, or the write failed (said through `ui`)
};

// Validate: writes the rows' paths in display order into the picker's list
// file, after asking whether to go on when there are none. A file that cannot
// be written is named with the reason in an error box, and the picker stays
// open with its rows, so nothing picked is lost.
validate_result validate_picked_files(const picked_rows& rows, user_dialogs& ui,
                                      platform::file_system& files = platform::real_file_system());

inline constexpr const char* kEmptyPickQuestion = "No file selected.\n\nContinue anyway ?";

}  // namespace zq::gui
