// What the engine tells a worker process about a file of a batch, and what
// the worker tells back once it has converted it, as bytes: every field as its
// length, a colon and its bytes.
#pragma once

#include <string>
#include <string_view>

#include "common/diagnostics.h"
#include "engine/engine_settings.h"
#include "engine/format_routes.h"
#include "engine/report.h"

namespace zq::engine {

// One file of a batch as a worker converts it.
struct handed_file {
  std::string path;
  run_state state;  // its stop signal stays the process's own
  held_diagnostics messages;
  report_stream report;  // held when the run keeps report lines, else closed
  converter_result outcome = converter_result::converted;
};

// The file, its state as its turn finds it, and whether its report lines are
// kept. Decoding fails on bytes that are not a whole request.
std::string encode_request(const handed_file& file);
bool decode_request(std::string_view bytes, handed_file& file);

// The outcome, the state, the report text (taken) and the messages. Decoding
// adds the text to the file's report when that is held, and the messages to
// its own; it fails on bytes that are not a whole result.
std::string encode_result(handed_file& file);
bool decode_result(std::string_view bytes, handed_file& file);

}  // namespace zq::engine
