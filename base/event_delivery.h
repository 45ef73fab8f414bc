// Delivering the user's actions to the run from inside a window system's
// event dispatch, which exceptions must not cross (Qt's, Windows' window
// procedures): an exception that a handler throws is kept, no further action
// is delivered while one is kept, and RethrowPending throws it once the
// window system has returned.
#ifndef ADDBOOK_BASE_EVENT_DELIVERY_H_
#define ADDBOOK_BASE_EVENT_DELIVERY_H_

#include <exception>
#include <utility>

#include "base/display.h"

namespace addbook {

class EventDelivery {
 public:
  // Where actions go; null for none.  Not owned.
  void set_events(DisplayEvents* events) { events_ = events; }

  // Runs |handler| on the events object, keeping what it throws.
  template <typename Handler>
  void Deliver(Handler&& handler) {
    if (!events_ || pending_) return;
    try {
      handler(*events_);
    } catch (...) {
      pending_ = std::current_exception();
    }
  }

  // Throws the kept exception, once; does nothing without one.
  void RethrowPending() {
    if (!pending_) return;
    std::exception_ptr pending = std::exchange(pending_, nullptr);
    std::rethrow_exception(pending);
  }

 private:
  DisplayEvents* events_ = nullptr;
  std::exception_ptr pending_;
};

}  // namespace addbook

#endif  // ADDBOOK_BASE_EVENT_DELIVERY_H_
