// A worker thread that its owner waits for only so long.
//
// The sound system and the hook machinery may take a thread and not give it
// back: a driver that hangs opening a device, a message loop that does not
// run. Record and Stop must still return. The body runs on a thread of its
// own and answers once, started or not; start() waits for that answer, and
// stop() for the body's end, each within a bound. A thread that misses a
// bound is left behind: it ends on its own, and from then on its deliveries
// run nothing, so it no longer reaches its owner.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ks {

class BoundedThread {
 public:
  // What the body and its owner share; it outlives whichever ends last.
  class Link {
   public:
    // Once: whether the body started, and if not, why.
    void answer(bool started, std::string failure = {});
    // The owner wants the body to end, or has given up on it.
    bool stopping() const { return stopping_.load(); }
    // Runs `delivery` unless the owner has given up on the thread; under
    // the lock, so that stop() never returns during one.
    template <class Delivery>
    bool deliver(Delivery&& delivery) {
      std::lock_guard lock(mutex_);
      if (abandoned_) return false;
      delivery();
      return true;
    }

   private:
    friend class BoundedThread;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool answered_ = false, started_ = false, finished_ = false, abandoned_ = false;
    std::string failure_;
    std::atomic<bool> stopping_{false};
  };

  using Body = std::function<void(Link&)>;
  // Makes a running body notice stopping(): sets its event, posts to its
  // queue. Called from the owner's thread, possibly before the body runs.
  using Wake = std::function<void()>;
  enum class Start { Started, Refused, Late };

  explicit BoundedThread(std::chrono::milliseconds bound) : bound_(bound) {}
  BoundedThread(const BoundedThread&) = delete;
  BoundedThread& operator=(const BoundedThread&) = delete;
  ~BoundedThread() { stop(); }

  // Refused: the body answered no, `failure` says why, and its thread has
  // ended. Late: no answer within the bound; the thread is left behind.
  Start start(Body body, Wake wake, std::string& failure);
  // Asks the body to end and waits for it within the bound. Idempotent.
  void stop();
  bool running() const { return thread_.joinable(); }

 private:
  void abandon(std::unique_lock<std::mutex>& lock);

  const std::chrono::milliseconds bound_;
  std::thread thread_;
  std::shared_ptr<Link> link_;
  Wake wake_;
};

}  // namespace ks
