#pragma once
// A USB adapter pulled out during an upload and plugged in again: the upload
// waits for the same port, opens it again, asks harmlessly what answers and
// goes on with the exchange that was cut when the controller answers as the
// stage running expects.

#include <QDeadlineTimer>

#include <functional>

struct Upload;

// Gives the upload's port its comeback for as long as this lives.
class ComebackOnLoss {
 public:
  explicit ComebackOnLoss(Upload &up);
  ~ComebackOnLoss();
  ComebackOnLoss(const ComebackOnLoss &) = delete;
  ComebackOnLoss &operator=(const ComebackOnLoss &) = delete;

 private:
  Upload &up_;
};

// Tries `ready` now and every quarter second, in the event loop, until it is
// true (true), the deadline passes or `carryOn(secondsLeft)`, asked on
// every try, says to give up (false).
bool PollUntil(const QDeadlineTimer &deadline, const std::function<bool()> &ready,
               const std::function<bool(int)> &carryOn);
