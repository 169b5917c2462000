#include "platform/fault_injecting_file_system.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace zq::platform {

// Passes writes through while the shared budget lasts and fails the close of
// a file that matches the armed fault.
class fault_injecting_file_system::budgeted_file final : public writable_file {
 public:
  budgeted_file(fault_injecting_file_system& owner, std::string path,
                std::unique_ptr<writable_file> file)
      : owner_(owner), path_(std::move(path)), file_(std::move(file)) {}

  status append(std::string_view bytes) override {
    if (!owner_.write_budget_) {
      return file_->append(bytes);
    }
    std::uint64_t& budget = *owner_.write_budget_;
    const std::size_t fits =
        static_cast<std::size_t>(std::min<std::uint64_t>(budget, bytes.size()));
    budget -= fits;
    const status written = file_->append(bytes.substr(0, fits));
    if (!written.is_ok() || fits == bytes.size()) {
      return written;
    }
    return file_error("Cannot write", path_, owner_.write_error_);
  }

  status sync() override { return file_->sync(); }

  status close() override {
    const status closed = file_->close();
    const std::optional<int> error = fires(owner_.close_fault_, path_);
    return closed.is_ok() && error ? file_error("Cannot close", path_, *error) : closed;
  }

  result<bool> lock(file_lock kind, std::chrono::milliseconds patience) override {
    return file_->lock(kind, patience);
  }

  status truncate() override { return file_->truncate(); }

 private:
  fault_injecting_file_system& owner_;
  std::string path_;
  std::unique_ptr<writable_file> file_;
};

void fault_injecting_file_system::fail_writes_after(std::uint64_t bytes, int error) {
  write_budget_ = bytes;
  write_error_ = error;
}

void fault_injecting_file_system::fail_make_folder(std::string match, int error) {
  make_folder_fault_ = fault{std::move(match), error};
}

void fault_injecting_file_system::fail_rename(std::string match, int error) {
  rename_fault_ = fault{std::move(match), error};
}

void fault_injecting_file_system::fail_open_for_write(std::string match, int error) {
  open_fault_ = fault{std::move(match), error};
}

void fault_injecting_file_system::fail_close(std::string match, int error) {
  close_fault_ = fault{std::move(match), error};
}

std::optional<int> fault_injecting_file_system::fires(const std::optional<fault>& armed,
                                                      const std::string& path) {
  if (armed && path.find(armed->match) != std::string::npos) {
    return armed->error;
  }
  return std::nullopt;
}

status fault_injecting_file_system::make_folder(const std::string& path) {
  calls_.push_back("make_folder " + path);
  if (const std::optional<int> error = fires(make_folder_fault_, path)) {
    return file_error("Cannot create folder", path, *error);
  }
  return base().make_folder(path);
}

result<std::unique_ptr<writable_file>> fault_injecting_file_system::open_for_write(
    const std::string& path, open_mode mode) {
  calls_.push_back("open_for_write " + path);
  if (const std::optional<int> error = fires(open_fault_, path)) {
    return file_error("Cannot open", path, *error);
  }
  result<std::unique_ptr<writable_file>> opened = base().open_for_write(path, mode);
  if (!opened.is_ok()) {
    return opened;
  }
  std::unique_ptr<writable_file> file =
      std::make_unique<budgeted_file>(*this, path, std::move(opened).value());
  return file;
}

status fault_injecting_file_system::rename(const std::string& from, const std::string& to) {
  calls_.push_back("rename " + from + " -> " + to);
  if (const std::optional<int> error = fires(rename_fault_, to)) {
    return file_error("Cannot rename " + from + " to", to, *error);
  }
  return base().rename(from, to);
}

status fault_injecting_file_system::set_permissions(const std::string& path, unsigned permissions) {
  calls_.push_back("set_permissions " + path);
  return base().set_permissions(path, permissions);
}

status fault_injecting_file_system::remove(const std::string& path) {
  calls_.push_back("remove " + path);
  return base().remove(path);
}

status fault_injecting_file_system::remove_tree(const std::string& path) {
  calls_.push_back("remove_tree " + path);
  return base().remove_tree(path);
}

result<std::string> fault_injecting_file_system::make_private_folder(const std::string& folder,
                                                                     const std::string& prefix) {
  if (const std::optional<int> error = fires(make_folder_fault_, folder + prefix)) {
    calls_.push_back("make_private_folder " + folder);
    return file_error("Cannot create a folder in", folder, *error);
  }
  result<std::string> made = base().make_private_folder(folder, prefix);
  calls_.push_back("make_private_folder " + (made.is_ok() ? *made : folder));
  return made;
}

}  // namespace zq::platform
