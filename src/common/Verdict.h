#pragma once
// What a call that can fail gives back: that it went through, or why not in
// the words the technician reads (the file, the line, the reason). Returned
// as a value, so that a caller reads top-down with no out-parameter beside it.

#include <QString>

#include <optional>
#include <utility>

struct Verdict {
  bool Ok = true;
  QString Why;  // when not Ok

  static Verdict Refused(QString why) { return {false, std::move(why)}; }
  explicit operator bool() const { return Ok; }
};

// A value, or why there is none.
template <class T>
struct Checked {
  std::optional<T> Value;
  QString Why;  // when there is no value

  static Checked Refused(QString why) { return {std::nullopt, std::move(why)}; }
  explicit operator bool() const { return Value.has_value(); }
  const T &operator*() const { return *Value; }
  const T *operator->() const { return &*Value; }
};
