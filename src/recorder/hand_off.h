// Events handed from a watch's thread to the grabbing thread: the watch
// pushes and returns at once, each picture takes what arrived since the one
// before, in order.
#pragma once

#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

namespace ks {

template <class Event>
class HandOff {
 public:
  // From the watch's thread. A queue of `most` events (no picture taken
  // for a while) is first given to `makeRoom`, which must shorten it.
  template <class MakeRoom>
  void push(Event event, std::size_t most, MakeRoom&& makeRoom) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.size() >= most) makeRoom(pending_);
    pending_.push_back(std::move(event));
  }
  // From the grabbing thread: what arrived since the last take, valid until
  // the next one.
  const std::vector<Event>& take() {
    taken_.clear();
    const std::lock_guard<std::mutex> lock(mutex_);
    taken_.swap(pending_);
    return taken_;
  }

 private:
  std::mutex mutex_;
  std::vector<Event> pending_;  // in time order
  std::vector<Event> taken_;    // the grabbing thread's, reused
};

}  // namespace ks
