#include "engine/worker_messages.h"

#include <charconv>

namespace zq::engine {
namespace {

// Fields between the processes: each its length, a colon and its bytes.
class field_writer {
 public:
  void text(std::string_view value) {
    bytes_ += std::to_string(value.size()) + ':';
    bytes_ += value;
  }
  template <typename Number>
  void number(Number value) {
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  }
  void state(const run_state& state) {
    number(state.files_count);
    text(state.current_file);
    number(state.page_count);
    number(state.source_x_resolution);
    number(state.source_y_resolution);
    number(state.report_failed ? 1 : 0);
  }
  std::string take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class field_reader {
 public:
  explicit field_reader(std::string_view bytes) : bytes_(bytes) {}
  std::string_view text() {
    const std::size_t colon = bytes_.find(':');
    std::size_t length = 0;
    if (colon == std::string_view::npos ||
        std::from_chars(bytes_.data(), bytes_.data() + colon, length).ptr !=
            bytes_.data() + colon ||
        length > bytes_.size() - colon - 1) {
      whole_ = false;
      bytes_ = std::string_view();
      return std::string_view();
    }
    const std::string_view value = bytes_.substr(colon + 1, length);
    bytes_.remove_prefix(colon + 1 + length);
    return value;
  }
  template <typename Number>
  Number number() {
    const std::string_view digits = text();
    Number value{};
    if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ptr !=
        digits.data() + digits.size()) {
      whole_ = false;
    }
    return value;
  }
  void state(run_state& state) {
    state.files_count = number<unsigned>();
    state.current_file = text();
    state.page_count = number<int>();
    state.source_x_resolution = number<double>();
    state.source_y_resolution = number<double>();
    state.report_failed = number<int>() != 0;
  }
  bool at_end() const { return bytes_.empty(); }
  bool whole() const { return whole_; }

 private:
  std::string_view bytes_;
  bool whole_ = true;
};

}  // namespace

std::string encode_request(const handed_file& job) {
  field_writer fields;
  fields.text(job.path);
  fields.state(job.state);
  fields.number(job.report.is_open() ? 1 : 0);
  return fields.take();
}

bool decode_request(std::string_view bytes, handed_file& job) {
  field_reader fields(bytes);
  job.path = fields.text();
  fields.state(job.state);
  if (fields.number<int>() != 0) {
    job.report = report_stream::held();
  }
  return fields.whole() && fields.at_end();
}

std::string encode_result(handed_file& job) {
  field_writer fields;
  fields.number(static_cast<int>(job.outcome));
  fields.state(job.state);
  fields.text(job.report.take_text());
  for (const auto& [said, text] : job.messages.held()) {
    fields.number(said ? 1 : 0);
    fields.text(text);
  }
  return fields.take();
}

bool decode_result(std::string_view bytes, handed_file& job) {
  field_reader fields(bytes);
  job.outcome = static_cast<converter_result>(fields.number<int>());
  fields.state(job.state);
  const std::string_view report = fields.text();
  if (job.report.is_open()) {
    job.report.write(report);
  }
  while (fields.whole() && !fields.at_end()) {
    const bool said = fields.number<int>() != 0;
    const std::string_view text = fields.text();
    if (said) {
      job.messages.say(text);
    } else {
      job.messages.progress(text);
    }
  }
  return fields.whole();
}

}  // namespace zq::engine
