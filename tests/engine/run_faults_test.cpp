// Faults met from outside a run: reports that cannot be written whole, runs
// that share a temp folder, files another user planted there, job files that
// are no files, signals and file-size limits. What matters here happens
// between processes, so most tests run the engine program itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/diagnostics.h"
#include "conversion_test_support.h"
#include "engine/engine_entry.h"
#include "engine/report.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"
#include "report_golden.h"

extern char** environ;

namespace zq::engine {
namespace {

using testing::golden_footer;
using testing::make_image;
using testing::mask_dates;
using testing::names_in;
using testing::scratch_folder;

const std::string kProgram = std::string(ZQ_INSTALL_LAYOUT_DIR) + "/Zembrit_Quarnel";

// The user that planted files belong to in the tests of planted files.
constexpr uid_t kStranger = 65534;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Names in `folder` that begin with `prefix`: working folders left behind.
std::vector<std::string> left_behind(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& name : names_in(folder)) {
    if (name.starts_with(prefix)) {
      found.push_back(name);
    }
  }
  return found;
}

// How an engine process ended.
struct process_end {
  bool exited = false;  // by exit(), with `code`
  int code = -1;
  int signal = 0;  // the signal that killed it
  bool timed_out = false;
};

// One engine process with its command text as its one argument and TMPDIR
// pointing at the test's system temporary folder; standard error goes into
// a file, standard output nowhere. An optional file-size limit is set in the
// child only.
class engine_process {
 public:
  engine_process(const std::string& command, const std::string& system_temp,
                 const std::string& errors, std::optional<rlim_t> file_size_limit = {}) {
    std::vector<std::string> environment = {"TMPDIR=" + system_temp};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (!std::string(*entry).starts_with("TMPDIR=")) {
        environment.emplace_back(*entry);
      }
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
      envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string program = kProgram;
    std::string argument = command;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_ = ::fork();
    if (pid_ == 0) {
      const int error_fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int null_fd = ::open("/dev/null", O_WRONLY);
      ::dup2(error_fd, 2);
      ::dup2(null_fd, 1);
      // As a user's shell starts it, whatever the test runner ignores.
      ::signal(SIGINT, SIG_DFL);
      ::signal(SIGTERM, SIG_DFL);
      if (file_size_limit) {
        const rlimit limit{*file_size_limit, *file_size_limit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execve(argv[0], argv, envp.data());
      ::_exit(127);
    }
    EXPECT_GT(pid_, 0) << std::strerror(errno);
  }
  ~engine_process() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  engine_process(const engine_process&) = delete;
  engine_process& operator=(const engine_process&) = delete;

  void send(int number) const { ::kill(pid_, number); }

  // Waits for the end, killing the process after `bound`.
  process_end wait(std::chrono::seconds bound = std::chrono::seconds(60)) {
    process_end end;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    for (;;) {
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        end.timed_out = true;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    waited_ = true;
    end.exited = WIFEXITED(status);
    end.code = end.exited ? WEXITSTATUS(status) : -1;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
  }

 private:
  pid_t pid_ = -1;
  bool waited_ = false;
};

std::ostream& operator<<(std::ostream& out, const process_end& end) {
  if (end.timed_out) {
    return out << "still running at its bound";
  }
  return end.exited ? out << "exit code " << end.code : out << "killed by signal " << end.signal;
}

// A work folder with a source folder "in", a target "out" and a temp folder
// "temp", a separate system temporary folder (the error file), and job files.
class RunFaults : public ::testing::Test {
 protected:
  RunFaults() : environment_{system_temp_.path(), system_temp_.path()} {
    for (const char* folder : {"in", "out", "temp"}) {
      std::filesystem::create_directories(work_.file(folder));
    }
  }

  // A job file for `source` and `target` (folders of the work folder) with
  // the temp folder `temp`, and `more` appended.
  std::string job(const std::string& more, const std::string& name = "job.ini",
                  const std::string& source = "in", const std::string& target = "out",
                  const std::string& temp = "temp") const {
    std::filesystem::create_directories(work_.file(source));
    std::filesystem::create_directories(work_.file(target));
    work_.write(name, "[FOLDERS]\r\nsource=" + work_.file(source) + "\r\ntarget=" +
                          work_.file(target) + "\r\ntemp=" + work_.file(temp) + "\r\n" + more);
    return work_.file(name);
  }

  // A small grey page, then copies of it under other names.
  void tiffs(const std::string& folder, int count, const std::string& size = "8x6") const {
    const std::string first = work_.file(folder + "/f00.tif");
    make_image("-size " + size + " xc:gray40", first);
    for (int i = 1; i < count; ++i) {
      const std::string name = std::string(i < 10 ? "f0" : "f") + std::to_string(i) + ".tif";
      std::filesystem::copy_file(first, work_.file(folder + "/" + name));
    }
  }

  int run(const std::string& command, platform::file_system& files = platform::real_file_system()) {
    messages_ = recorded_diagnostics();
    return run_engine(command, environment_, files, messages_);
  }
  const std::vector<std::string>& messages() const { return messages_.messages(); }
  bool said(const std::string& part) const {
    for (const std::string& message : messages()) {
      if (contains(message, part)) {
        return true;
      }
    }
    return false;
  }
  std::string all_said() const {
    std::string text;
    for (const std::string& message : messages()) {
      text += message + "\n";
    }
    return text;
  }

  std::string report(const std::string& name = "Zembrit_Quarnel.log") const {
    return work_.read("temp/" + name);
  }
  std::string in(const std::string& name) const { return work_.file("in/" + name); }

  scratch_folder system_temp_;
  scratch_folder work_;
  engine_environment environment_;
  recorded_diagnostics messages_;
};

// ---------------------------------------------------------------------------
// A report that does not reach its file whole fails the run (exit code 1),
// whatever kind of report it is; the conversions go on all the same.

TEST_F(RunFaults, EveryReportNotWrittenWholeFailsTheRunButNoConversion) {
  tiffs("in", 2);
  const std::string shared = work_.file("temp/Zembrit_Quarnel.log");
  const struct {
    const char* what;
    std::string job;
    std::string command;  // empty: a batch run of the job
    void (*arm)(platform::fault_injecting_file_system&);
    std::vector<std::string> outputs;
    std::string report;
    std::string said;
  } cases[] = {
      {"batch, full disk",
       "[PARAMS]\r\nimage_type=7\r\n",
       "",
       [](platform::fault_injecting_file_system& f) { f.fail_writes_after(12, ENOSPC); },
       {"f00.png", "f01.png"},
       shared,
       std::strerror(ENOSPC)},
      {"batch ended by a join, close fails",
       "[PARAMS]\r\nimage_type=6\r\n[PDF]\r\nadjoin=1\r\npdf_name=joined\r\n",
       "",
       [](platform::fault_injecting_file_system& f) { f.fail_close("Zembrit_Quarnel.log", EIO); },
       {"joined.pdf"},
       shared,
       std::strerror(EIO)},
      {"per-file reports, close fails",
       "[PARAMS]\r\nimage_type=10\r\n[REPORT]\r\nuse_tiff_name=1\r\n",
       "",
       [](platform::fault_injecting_file_system& f) { f.fail_close("/f01.log", EIO); },
       {"f00.tga", "f01.tga"},
       work_.file("temp/f01.log"),
       std::strerror(EIO)},
      {"single file, full disk",
       "[PARAMS]\r\nimage_type=7\r\n",
       "G|" + in("f00.tif") + "|" + work_.file("out/f00.png") + "|",
       [](platform::fault_injecting_file_system& f) { f.fail_writes_after(10, ENOSPC); },
       {"f00.png"},
       shared,
       std::strerror(ENOSPC)},
      {"single file, report refused",
       "[PARAMS]\r\nimage_type=7\r\n",
       "G|" + in("f00.tif") + "|" + work_.file("out/f00.png") + "|",
       [](platform::fault_injecting_file_system& f) {
         f.fail_open_for_write("Zembrit_Quarnel.log", EACCES);
       },
       {"f00.png"},
       shared,
       std::strerror(EACCES)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string ini = job(c.job);
    const std::string command = c.command.empty() ? "C|" + ini : c.command + ini;
    // The same run without the fault succeeds: the fault alone fails it.
    EXPECT_EQ(run(command), 0) << all_said();
    std::filesystem::remove_all(work_.file("out"));
    std::filesystem::create_directories(work_.file("out"));

    platform::fault_injecting_file_system files;
    c.arm(files);
    EXPECT_EQ(run(command, files), 1);
    EXPECT_EQ(names_in(work_.file("out")), c.outputs);
    EXPECT_TRUE(said("the report " + c.report) && said(c.said)) << all_said();
    EXPECT_EQ(system_temp_.read("error.txt"), "");
    std::filesystem::remove_all(work_.file("out"));
    std::filesystem::create_directories(work_.file("out"));
  }
}

// A report that grows past the file-size limit: the write fails (the process
// is not killed), the conversions all happen, the run ends with exit code 1.
TEST_F(RunFaults, ReportPastTheFileSizeLimitEndsTheRunWithOne) {
  tiffs("in", 40);
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\n");
  engine_process engine("C|" + ini, system_temp_.path(), work_.file("stderr.txt"), 1000);
  const process_end end = engine.wait();
  EXPECT_TRUE(end.exited && end.code == 1) << end;
  EXPECT_EQ(names_in(work_.file("out")).size(), 40u);
  EXPECT_TRUE(left_behind(work_.file("out"), ".zq-").empty());
  const std::string errors = work_.read("stderr.txt");
  EXPECT_TRUE(contains(errors, "the report " + work_.file("temp/Zembrit_Quarnel.log")) &&
              contains(errors, std::strerror(EFBIG)))
      << errors;
  EXPECT_LE(report().size(), 1000u);
}

// ---------------------------------------------------------------------------
// Runs that share a temp folder keep their work apart.

// Two real batch runs at once on one temp folder, over and over: each joined
// PDF holds its own run's pages, each page segment its own page, and the
// shared report every line of both runs.
TEST_F(RunFaults, ConcurrentBatchRunsOnOneTempFolderKeepTheirOwnWork) {
  // Runs "a" and "b" differ in page count (PDF) or page size (PSE), so that
  // a page of the other run shows.
  const int pages[2] = {3, 7};
  make_image("-size 40x30 xc:white -fill black -draw 'rectangle 0,0 12,10' -monochrome",
             work_.file("a/f0.tif"));
  make_image("-size 64x20 xc:white -fill black -draw 'rectangle 0,0 10,14' -monochrome",
             work_.file("b/f0.tif"));
  // The report runs begin with a slow file, so that each is still writing
  // when the other opens the report: a run that has ended is replaced, as
  // a batch report always is.
  make_image("-size 600x600 plasma:fractal -depth 8", work_.file("slow.tif"));
  for (int r = 0; r < 2; ++r) {
    const std::string name = r == 0 ? "a" : "b";
    for (int i = 1; i < pages[r]; ++i) {
      std::filesystem::copy_file(work_.file(name + "/f0.tif"),
                                 work_.file(name + "/f" + std::to_string(i) + ".tif"));
    }
    std::filesystem::copy(work_.file(name), work_.file(name + "-slow"));
    std::filesystem::copy_file(work_.file("slow.tif"), work_.file(name + "-slow/e.tif"));
  }
  enum class check { pages, bytes, report };
  const struct {
    const char* what;
    std::string job;
    check checked;
  } kinds[] = {
      {"joined PDF", "[PARAMS]\r\nimage_type=6\r\n[PDF]\r\nadjoin=1\r\npdf_name=joined\r\n",
       check::pages},
      {"page segments", "[PARAMS]\r\nimage_type=9\r\n", check::bytes},
      {"report", "[PARAMS]\r\nimage_type=7\r\n", check::report},
  };
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.what);
    const std::string suffix = kind.checked == check::report ? "-slow" : "";
    const std::string jobs[2] = {job(kind.job, "a.ini", "a" + suffix, "out-a"),
                                 job(kind.job, "b.ini", "b" + suffix, "out-b")};
    const std::string outs[2] = {"out-a", "out-b"};
    auto clear_outputs = [&] {
      for (const std::string& out : outs) {
        std::filesystem::remove_all(work_.file(out));
        std::filesystem::create_directories(work_.file(out));
      }
    };
    // Each run alone first: what each must write when another runs beside it.
    std::vector<std::pair<std::string, std::string>> alone[2];
    clear_outputs();
    for (int r = 0; r < 2; ++r) {
      EXPECT_EQ(run("C|" + jobs[r]), 0);
      for (const std::string& name : names_in(work_.file(outs[r]))) {
        alone[r].emplace_back(name, work_.read(outs[r] + "/" + name));
      }
    }
    for (int round = 0; round < 5; ++round) {
      SCOPED_TRACE("round " + std::to_string(round));
      clear_outputs();
      std::filesystem::remove(work_.file("temp/Zembrit_Quarnel.log"));
      engine_process a("C|" + jobs[0], system_temp_.path(), work_.file("a.err"));
      engine_process b("C|" + jobs[1], system_temp_.path(), work_.file("b.err"));
      const process_end ends[2] = {a.wait(), b.wait()};
      for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(outs[r]);
        EXPECT_TRUE(ends[r].exited && ends[r].code == 0) << ends[r];
        std::vector<std::string> names;
        for (const auto& [name, bytes] : alone[r]) {
          names.push_back(name);
          if (kind.checked == check::bytes) {
            EXPECT_EQ(work_.read(outs[r] + "/" + name), bytes) << name;
          }
        }
        EXPECT_EQ(names_in(work_.file(outs[r])), names);
        if (kind.checked == check::pages) {
          EXPECT_EQ(testing::command_output("qpdf --show-npages '" +
                                            work_.file(outs[r] + "/joined.pdf") + "'"),
                    std::to_string(pages[r]) + "\n");
        }
      }
      if (kind.checked == check::report) {
        const std::string text = report();
        for (int r = 0; r < 2; ++r) {
          const std::string folder = work_.file(std::string(r == 0 ? "a" : "b") + suffix);
          for (int i = 0; i < pages[r]; ++i) {
            const std::string source = folder + "/f" + std::to_string(i) + ".tif";
            EXPECT_EQ(count_of(text, source + " converted\r\n"), 1u) << source << "\n" << text;
          }
          EXPECT_EQ(count_of(text, folder + "/e.tif converted\r\n"), 1u) << text;
          EXPECT_EQ(count_of(mask_dates(text), golden_footer(pages[r] + 1)), 1u) << text;
        }
      }
    }
    // Nothing of either run's working files stays in the temp folder.
    EXPECT_EQ(names_in(work_.file("temp")), std::vector<std::string>{"Zembrit_Quarnel.log"});
  }
}

// The same without timing: a run that holds the shared report open (as a
// running batch does) keeps its lines when a batch run starts beside it; a
// batch run alone still starts the report afresh.
TEST_F(RunFaults, ABatchRunNeverCutsAReportAnotherRunIsWriting) {
  tiffs("in", 2);
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\n");
  const std::string path = work_.file("temp/Zembrit_Quarnel.log");
  {
    result<report_stream> other =
        report_stream::open(platform::real_file_system(), path, platform::open_mode::truncate);
    ASSERT_TRUE(other.is_ok()) << other.status().reason();
    report_converted(*other, "/other/run.tif");
    EXPECT_EQ(run("C|" + ini), 0);
    report_converted(*other, "/other/later.tif");
  }
  EXPECT_EQ(mask_dates(report()), "/other/run.tif converted\r\n" + in("f00.tif") +
                                      " converted\r\n" + in("f01.tif") + " converted\r\n" +
                                      golden_footer(2) + "/other/later.tif converted\r\n");
  EXPECT_EQ(run("C|" + ini), 0);
  EXPECT_EQ(mask_dates(report()),
            in("f00.tif") + " converted\r\n" + in("f01.tif") + " converted\r\n" + golden_footer(2));
}

// Anyone who can read the report can lock it: a lock held for good delays a
// run for a moment, and the run writes its report all the same.
TEST_F(RunFaults, ALockHeldForGoodNeverStopsARun) {
  tiffs("in", 2);
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\n");
  work_.write("temp/Zembrit_Quarnel.log", "");
  const int held = ::open(work_.file("temp/Zembrit_Quarnel.log").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run("C|" + ini), 0) << all_said();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  ::close(held);
  EXPECT_EQ(mask_dates(report()),
            in("f00.tif") + " converted\r\n" + in("f01.tif") + " converted\r\n" + golden_footer(2));
}

// The bitmap of a page segment is the run's own: a file at the name every
// run used to share (here a folder, which cannot be replaced) is no longer in
// the way, and nothing of the run stays in the temp folder.
TEST_F(RunFaults, PageSegmentBitmapsAreTheRunsOwn) {
  tiffs("in", 1, "40x30");
  std::filesystem::create_directories(work_.file("temp/f00.bmp"));
  std::filesystem::create_directories(work_.file("temp/single.bmp"));
  const std::string ini = job("[PARAMS]\r\nimage_type=9\r\n");
  EXPECT_EQ(run("C|" + ini), 0) << all_said();
  EXPECT_EQ(names_in(work_.file("out")), std::vector<std::string>{"f00.pse"});
  EXPECT_EQ(run("G|" + in("f00.tif") + "|" + work_.file("out/single.pse") + "|" + ini), 0)
      << all_said();
  EXPECT_EQ(names_in(work_.file("out")), (std::vector<std::string>{"f00.pse", "single.pse"}));
  EXPECT_EQ(names_in(work_.file("temp")),
            (std::vector<std::string>{"Zembrit_Quarnel.log", "f00.bmp", "single.bmp"}));
  EXPECT_TRUE(std::filesystem::is_empty(work_.file("temp/f00.bmp")));
  EXPECT_TRUE(std::filesystem::is_empty(work_.file("temp/single.bmp")));
}

// The joined PDF's list is the run's own, yet it still starts from the list
// the front end left: keys beyond the run's last one are joined too, as they
// always were, and the front end's list is gone after the batch.
TEST_F(RunFaults, JoinedPdfOwnListStillTakesTheFrontEndsSurplus) {
  tiffs("in", 2);
  tiffs("picked", 4);
  work_.write("temp/z.log", "[FILES]\r\n0=" + work_.file("picked/f00.tif") +
                                "\r\n1=" + work_.file("picked/f01.tif") +
                                "\r\n2=" + work_.file("picked/f02.tif") +
                                "\r\n3=" + work_.file("picked/f03.tif") + "\r\n");
  const std::string ini =
      job("[PARAMS]\r\nimage_type=6\r\n[PDF]\r\nadjoin=1\r\npdf_name=joined\r\n");
  EXPECT_EQ(run("C|" + ini), 0) << all_said();
  EXPECT_EQ(testing::command_output("qpdf --show-npages '" + work_.file("out/joined.pdf") + "'"),
            "4\n");
  EXPECT_EQ(names_in(work_.file("temp")), std::vector<std::string>{"Zembrit_Quarnel.log"});
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// Files in a temp folder that are not the user's own regular files are
// refused, named, and left as they are.

class PlantedFiles : public RunFaults {
 protected:
  // A file that belongs to another user, writable by all, as a stranger
  // plants it in a shared /tmp. Only root can make one.
  bool plant(const std::string& path, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return ::chown(path.c_str(), kStranger, kStranger) == 0 && ::chmod(path.c_str(), 0666) == 0;
  }
};

TEST_F(PlantedFiles, AStrangersFileListIsNeverJoined) {
  tiffs("in", 1);
  tiffs("victim", 2);
  if (!plant(work_.file("temp/z.log"), "[FILES]\r\n0=" + work_.file("victim/f00.tif") +
                                           "\r\n1=" + work_.file("victim/f01.tif") + "\r\n")) {
    GTEST_SKIP() << "only root can give a file to another user";
  }
  const std::string ini =
      job("[PARAMS]\r\nimage_type=11\r\n[TIFF]\r\nadjoin=1\r\ntif_name=all\r\n");
  EXPECT_EQ(run("C|" + ini), 0);
  EXPECT_TRUE(names_in(work_.file("out")).empty());
  EXPECT_TRUE(said("the file list " + work_.file("temp/z.log") + " is not read") &&
              said("belongs to another user"))
      << all_said();
  EXPECT_TRUE(contains(report(), "no file in the file list")) << report();
}

// The same for a list reached through a symbolic link, which needs no root.
TEST_F(PlantedFiles, AFileListThroughASymbolicLinkIsNeverJoined) {
  tiffs("in", 1);
  tiffs("victim", 2);
  work_.write("victim/list", "[FILES]\r\n0=" + work_.file("victim/f00.tif") + "\r\n");
  ASSERT_EQ(::symlink(work_.file("victim/list").c_str(), work_.file("temp/z.log").c_str()), 0);
  const std::string ini =
      job("[PARAMS]\r\nimage_type=11\r\n[TIFF]\r\nadjoin=1\r\ntif_name=all\r\n");
  EXPECT_EQ(run("C|" + ini), 0);
  EXPECT_TRUE(names_in(work_.file("out")).empty());
  EXPECT_TRUE(said("the file list " + work_.file("temp/z.log") + " is not read") &&
              said("symbolic link"))
      << all_said();
  EXPECT_EQ(work_.read("victim/list"), "[FILES]\r\n0=" + work_.file("victim/f00.tif") + "\r\n");
}

TEST_F(PlantedFiles, AStrangersReportOrErrorFileIsNeverWrittenInto) {
  tiffs("in", 1);
  const std::string report_path = work_.file("temp/Zembrit_Quarnel.log");
  const std::string error_path = system_temp_.file("error.txt");
  if (!plant(report_path, "theirs\r\n") || !plant(error_path, "theirs too\r\n")) {
    GTEST_SKIP() << "only root can give a file to another user";
  }
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\n");
  // A batch run cannot have its report: it ends before any file, naming it.
  EXPECT_EQ(run("C|" + ini), 1);
  EXPECT_TRUE(said("cannot create the report " + report_path) && said("belongs to another user"))
      << all_said();
  EXPECT_TRUE(names_in(work_.file("out")).empty());
  // A single-file run converts, and fails for the report it could not write.
  EXPECT_EQ(run("G|" + in("f00.tif") + "|" + work_.file("out/f00.png") + "|" + ini), 1);
  EXPECT_EQ(names_in(work_.file("out")), std::vector<std::string>{"f00.png"});
  EXPECT_TRUE(said("cannot open the report " + report_path)) << all_said();
  // A refusal still says why on standard error; the error file stays theirs.
  EXPECT_EQ(run("C"), 0);
  EXPECT_TRUE(said("Uncorrect syntax.")) << all_said();
  EXPECT_EQ(work_.read("temp/Zembrit_Quarnel.log"), "theirs\r\n");
  EXPECT_EQ(system_temp_.read("error.txt"), "theirs too\r\n");
}

// ---------------------------------------------------------------------------
// Only a regular file of a sane size is read as a job file; anything else is
// a start-up refusal (error file, exit code 0), never a run on defaults.

TEST_F(RunFaults, JobFilesThatAreNoFilesAreRefusedAtStartUp) {
  tiffs("in", 1);
  ASSERT_EQ(::mkfifo(work_.file("fifo.ini").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", work_.file("zero.ini").c_str()), 0);
  std::filesystem::create_directories(work_.file("folder.ini"));
  const std::string valid = job("[PARAMS]\r\nimage_type=7\r\n");
  // One byte over the limit, and exactly at it: comment lines after the keys.
  const std::string keys = work_.read("job.ini");
  const std::size_t limit = std::size_t{1} << 20;
  work_.write("huge.ini", keys + ";" + std::string(limit - keys.size(), 'x'));
  work_.write("largest.ini", keys + ";" + std::string(limit - keys.size() - 1, 'x'));

  const std::string not_regular = " is not a regular file\r\n";
  const struct {
    std::string path;
    std::string error_file;
  } cases[] = {
      {work_.file("fifo.ini"), "Job file " + work_.file("fifo.ini") + not_regular},
      {work_.file("zero.ini"), "Job file " + work_.file("zero.ini") + not_regular},
      {"/dev/zero", "Job file /dev/zero" + not_regular},
      {work_.file("folder.ini"), "Job file " + work_.file("folder.ini") + not_regular},
      {work_.file("huge.ini"),
       "Job file " + work_.file("huge.ini") + " too large: 1048577 bytes, at most 1048576\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    for (const std::string& command :
         {"C|" + c.path, "G|" + in("f00.tif") + "|" + work_.file("out/f00.png") + "|" + c.path}) {
      EXPECT_EQ(run(command), 0);
      EXPECT_EQ(system_temp_.read("error.txt"), c.error_file);
      EXPECT_EQ(messages().size(), 1u) << all_said();
      EXPECT_TRUE(names_in(work_.file("out")).empty());
    }
  }
  EXPECT_EQ(run("C|" + work_.file("largest.ini")), 0);
  EXPECT_EQ(system_temp_.read("error.txt"), "");
  EXPECT_EQ(names_in(work_.file("out")), std::vector<std::string>{"f00.png"});

  // The program itself, with a FIFO nobody writes to: refused in time.
  engine_process engine("C|" + work_.file("fifo.ini"), system_temp_.path(),
                        work_.file("stderr.txt"));
  const process_end end = engine.wait(std::chrono::seconds(20));
  EXPECT_TRUE(end.exited && end.code == 0) << end;
  EXPECT_EQ(system_temp_.read("error.txt"), cases[0].error_file);
}

// ---------------------------------------------------------------------------
// Signals and file-size limits end a run the way a failure does: nothing
// half-written stays behind, and the report holds what was done.

// SIGTERM or SIGINT in the middle of a batch: no further file, the staging
// and working folders gone, the report without a footer (the run did not
// finish) and every line in it whole, exit code 128 + the signal.
TEST_F(RunFaults, StopSignalsEndABatchBetweenFilesAndCleanUp) {
  make_image("-size 1200x1200 plasma:fractal -depth 8", work_.file("in/f00.tif"));
  for (int i = 1; i < 12; ++i) {
    std::filesystem::copy_file(
        work_.file("in/f00.tif"),
        work_.file("in/f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".tif"));
  }
  const struct {
    int number;
    const char* job;
  } cases[] = {
      {SIGTERM, "[PARAMS]\r\nimage_type=7\r\n"},
      {SIGINT, "[PARAMS]\r\nimage_type=9\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.number));
    std::filesystem::remove_all(work_.file("out"));
    std::filesystem::remove_all(work_.file("temp"));
    std::filesystem::create_directories(work_.file("temp"));
    const std::string ini = job(c.job);
    engine_process engine("C|" + ini, system_temp_.path(), work_.file("stderr.txt"));
    // Signalled once the first file is done, while the second is converted.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!contains(report(), " converted\r\n") && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    engine.send(c.number);
    const process_end end = engine.wait();
    EXPECT_TRUE(end.exited && end.code == 128 + c.number) << end;
    EXPECT_TRUE(left_behind(work_.file("out"), ".zq-").empty());
    EXPECT_EQ(names_in(work_.file("temp")), std::vector<std::string>{"Zembrit_Quarnel.log"});
    const std::string text = report();
    EXPECT_FALSE(contains(text, "process finished")) << text;
    EXPECT_TRUE(text.ends_with("\r\n")) << text;
    EXPECT_LT(count_of(text, "\r\n"), 12u) << text;
    EXPECT_LT(names_in(work_.file("out")).size(), 12u);
    EXPECT_TRUE(contains(work_.read("stderr.txt"),
                         c.number == SIGTERM ? "stopped by SIGTERM" : "stopped by SIGINT"))
        << work_.read("stderr.txt");
  }
}

// SIGTERM in the middle of a long document converted page by page: the run
// begins no further page.
TEST_F(RunFaults, StopSignalEndsADocumentBetweenPages) {
  make_image("-size 400x400 plasma:fractal -depth 8", work_.file("page.tif"));
  std::string pages;
  for (int i = 0; i < 40; ++i) {
    pages += " '" + work_.file("page.tif") + "'";
  }
  make_image(pages, in("long.tif"));
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\nextract_all=1\r\n");
  engine_process engine("C|" + ini, system_temp_.path(), work_.file("stderr.txt"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (names_in(work_.file("out")).size() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  engine.send(SIGTERM);
  const process_end end = engine.wait();
  EXPECT_TRUE(end.exited && end.code == 128 + SIGTERM) << end;
  EXPECT_TRUE(left_behind(work_.file("out"), ".zq-").empty());
  EXPECT_LT(names_in(work_.file("out")).size(), 40u);
  EXPECT_EQ(report(), "Could not convert " + in("long.tif") + "\r\n");
}

// Outputs larger than the file-size limit fail like writes to a full disk:
// each is reported, none stays half-written, the process is not killed.
TEST_F(RunFaults, OutputsPastTheFileSizeLimitAreReportedNotFatal) {
  make_image("-size 300x300 plasma:fractal -depth 8", in("f00.tif"));
  std::filesystem::copy_file(in("f00.tif"), in("f01.tif"));
  const std::string ini = job("[PARAMS]\r\nimage_type=0\r\n");
  engine_process engine("C|" + ini, system_temp_.path(), work_.file("stderr.txt"), 64 * 1024);
  const process_end end = engine.wait();
  EXPECT_TRUE(end.exited && end.code == 0) << end;
  EXPECT_TRUE(names_in(work_.file("out")).empty());
  EXPECT_EQ(mask_dates(report()), "Could not convert " + in("f00.tif") + "\r\nCould not convert " +
                                      in("f01.tif") + "\r\n" + golden_footer(2));
  EXPECT_TRUE(contains(work_.read("stderr.txt"), "cannot write " + work_.file("out/f01.bmp")))
      << work_.read("stderr.txt");
}

// Every writer meets the limit alike, however it writes: the TIFF writer,
// which seeks back, the PDF and PostScript writers, the raw page formats, the
// YUV planes and the page segment. A page whose output is cut short is not
// converted and leaves no file under the output's name, nor any part of one.
TEST_F(RunFaults, EveryFormatCutShortByTheFileSizeLimitIsNotConverted) {
  // Noise keeps every format's output of this page well above the limit.
  make_image("-seed 1 -size 600x400 plasma:fractal -depth 8", in("f00.tif"));
  for (const target_format& format : target_formats()) {
    SCOPED_TRACE(format.report_name);
    std::filesystem::remove_all(work_.file("out"));
    std::filesystem::remove(work_.file("temp/Zembrit_Quarnel.log"));
    const std::string ini =
        job("[PARAMS]\r\nimage_type=" + std::to_string(format.code) + "\r\n");
    engine_process engine("C|" + ini, system_temp_.path(), work_.file("stderr.txt"), 16 * 1024);
    const process_end end = engine.wait();
    EXPECT_TRUE(end.exited && end.code == 0) << end;
    EXPECT_EQ(names_in(work_.file("out")), std::vector<std::string>{});
    EXPECT_EQ(mask_dates(report()), "Could not convert " + in("f00.tif") + "\r\n" +
                                        golden_footer(1));
  }
}

}  // namespace
}  // namespace zq::engine
