// libFuzzer target for the BMP and page-segment readers. Every input is read
// as both types, and whatever 1 bpp image comes out is taken through the
// page-segment writer and back. A violation aborts, as a sanitizer finding does.
#include <cstdio>
#include <cstdlib>

#include "decode_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static zgraphb_test::memory_file file;
  static const int kTypes[] = {zgraphb_test::file_type_of("in.bmp"),
                               zgraphb_test::file_type_of("in.pse")};
  file.replace({data, size});
  for (const int ft : kTypes) {
    const zgraphb_test::decoded d = zgraphb_test::decode_file(file, ft);
    std::string violation =
        d.violation.empty() ? zgraphb_test::page_segment_round_trip(d) : d.violation;
    if (!violation.empty()) {
      std::fprintf(stderr, "zgraphb: %s\n", violation.c_str());
      std::abort();
    }
  }
  return 0;
}
