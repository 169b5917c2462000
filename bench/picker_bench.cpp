// zq_bench_picker FOLDER [FILES] [FOLDERS]: times the picker's list on a
// large tree. Writes FILES small TIFF-named files (default 20,000) spread
// over FOLDERS subfolders (default 200) of FOLDER, then times, with the
// picker open (rows and duplicate checks as in the dialog):
//   - "Add folder and subfolders" over the tree, and once more when every
//     file is listed already;
//   - adding the same files one by one, as opening them does, in four
//     quarters: a duplicate check that scanned the list would make each
//     quarter slower than the one before;
//   - each column sort and Validate's list file of every row.
// Run by bench/picker.sh; prints one line per figure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gui/core/picked_files.h"
#include "jobfile/file_list_file.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: zq_bench_picker FOLDER [FILES] [FOLDERS]\n");
    return 2;
  }
  const std::string root = argv[1];
  const int files = argc > 2 ? std::atoi(argv[2]) : 20000;
  const int folders = argc > 3 ? std::atoi(argv[3]) : 200;
  if (files <= 0 || folders <= 0) {
    std::fprintf(stderr, "zq_bench_picker: FILES and FOLDERS must be positive\n");
    return 2;
  }

  std::vector<std::string> names;  // relative to each folder, for one-by-one adds
  std::vector<std::string> folder_of_file;
  for (int i = 0; i < files; ++i) {
    const std::string folder = root + "/box-" + std::to_string(i % folders);
    std::filesystem::create_directories(folder);
    const std::string name = "scan-" + std::to_string(i) + ".tif";
    std::ofstream(folder + "/" + name, std::ios::binary) << "II*";
    names.push_back(name);
    folder_of_file.push_back(folder);
  }
  std::printf("tree: %d files in %d folders under %s\n", files, folders, root.c_str());

  zq::gui::picked_file_list list;
  zq::gui::picked_rows rows;
  zq::gui::file_picker picker(list, &rows);

  auto start = clock_type::now();
  const std::size_t added = picker.add_folder_tree_files(root);
  std::printf("add folder and subfolders: %zu files in %.3f s\n", added, seconds_since(start));
  start = clock_type::now();
  const std::size_t again = picker.add_folder_tree_files(root);
  std::printf("the same again, all listed already: %zu added in %.3f s\n", again,
              seconds_since(start));

  for (const auto column :
       {zq::gui::picked_column::size, zq::gui::picked_column::date, zq::gui::picked_column::file}) {
    start = clock_type::now();
    rows.sort(column);
    std::printf("sort by column %d: %.3f s\n", static_cast<int>(column), seconds_since(start));
  }
  start = clock_type::now();
  const std::string list_file = root + "/z.log";
  if (!zq::write_file_list_file(zq::platform::real_file_system(), list_file, rows.paths())
           .is_ok()) {
    std::fprintf(stderr, "zq_bench_picker: cannot write %s\n", list_file.c_str());
    return 1;
  }
  std::printf("list file of %zu rows: %.3f s\n", rows.size(), seconds_since(start));

  picker.remove_all();
  const int quarter = files / 4;
  double total = 0;
  for (int q = 0; q < 4; ++q) {
    start = clock_type::now();
    const int end = q == 3 ? files : (q + 1) * quarter;
    for (int i = q * quarter; i < end; ++i) {
      picker.add_opened_files(folder_of_file[i], {names[i]});
    }
    const double took = seconds_since(start);
    total += took;
    std::printf("one by one, files %d to %d: %.3f s\n", q * quarter + 1, end, took);
  }
  std::printf("one by one, all %zu: %.3f s\n", rows.size(), total);
  return rows.size() == static_cast<std::size_t>(files) ? 0 : 1;
}
