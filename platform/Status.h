#pragma once
#include <string>
#include <utility>

namespace platform {

// The result of an operation that can fail for a reason a person should
// read: ok, or an error with one line saying what went wrong. New code
// returns a Status (or a StatusOr<T> below) instead of a bool with a string
// out-parameter; methods of the component interfaces keep their HRESULT.
//
// Plain data: copy it freely, from any thread.
class Status {
 public:
  Status() = default;  // ok
  static Status Ok() { return Status(); }
  static Status Error(std::string reason) { return Status(std::move(reason), false); }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  // Empty when ok.
  const std::string& reason() const { return reason_; }

 private:
  Status(std::string reason, bool ok) : ok_(ok), reason_(std::move(reason)) {}
  bool ok_ = true;
  std::string reason_;
};

// A value, or the Status that says why there is none.
template <typename T>
class StatusOr {
 public:
  StatusOr(T value) : value_(std::move(value)), has_(true) {}  // NOLINT: implicit, as with std::optional
  // An ok Status here is a caller's mistake; it reads as "no value".
  StatusOr(Status error) : status_(error.ok() ? Status::Error("no value") : std::move(error)) {}  // NOLINT

  bool ok() const { return has_; }
  explicit operator bool() const { return has_; }
  const Status& status() const { return status_; }
  // Only when ok().
  const T& value() const& { return value_; }
  T& value() & { return value_; }
  T&& value() && { return std::move(value_); }
  const T& operator*() const& { return value_; }
  const T* operator->() const { return &value_; }

 private:
  T value_{};
  Status status_;
  bool has_ = false;
};

}  // namespace platform
