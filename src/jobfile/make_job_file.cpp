// Build tool: writes the default job file that an installation puts beside the
// programs, from the one table of job-file keys.
#include <cstdio>

#include "jobfile/job_keys.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: zq_make_job_file OUTPUT\n", stderr);
    return 2;
  }
  const zq::status written = zq::write_default_job_file(argv[1], zq::platform::system_temp_path());
  if (!written.is_ok()) {
    std::fprintf(stderr, "zq_make_job_file: %s\n", written.reason().c_str());
    return 1;
  }
  return 0;
}
