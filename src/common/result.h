// A value, or the status that says why there is none.
#pragma once

#include <cassert>
#include <optional>
#include <utility>

#include "common/status.h"

namespace zq {

template <typename T>
class result {
 public:
  result(T value)
      : value_(std::move(value)), status_(zq::status::ok()) {}  // NOLINT: implicit on purpose
  result(zq::status failure) : status_(std::move(failure)) {    // NOLINT: implicit on purpose
    assert(!status_.is_ok());
  }

  bool is_ok() const { return value_.has_value(); }
  const zq::status& status() const { return status_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  zq::status status_;
};

}  // namespace zq
