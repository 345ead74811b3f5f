// How long Record and Stop wait for a capture or hook thread.
#include "platform/bounded_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>

namespace ks {
namespace {

using namespace std::chrono_literals;

enum class Does { EndsWhenWoken, Refuses, NeverAnswers, StuckAfterAnswering };

// A thread's body that does as told, and what it saw.
struct Worker {
  Does does;
  std::mutex mutex;
  std::condition_variable changed;
  bool woken = false, released = false, ended = false;
  bool deliveredEarly = false, deliveredLate = true;

  template <class Until>
  bool waitFor(Until until) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 5s, until);
  }
  void set(bool Worker::*flag) {
    std::lock_guard lock(mutex);
    this->*flag = true;
    changed.notify_all();
  }
  void body(BoundedThread::Link& link) {
    if (does == Does::Refuses) link.answer(false, "no device");
    if (does == Does::EndsWhenWoken || does == Does::StuckAfterAnswering) {
      link.answer(true);
      deliveredEarly = link.deliver([] {});
    }
    if (does == Does::EndsWhenWoken) {
      waitFor([this] { return woken; });
    } else if (does != Does::Refuses) {
      waitFor([this] { return released; });  // stuck until the test lets go
      deliveredLate = link.deliver([] {});
    }
    set(&Worker::ended);
  }
};

TEST(BoundedThread, StartAndStopReturnWithinTheirBoundWhateverTheThreadDoes) {
  using Start = BoundedThread::Start;
  const struct {
    Does does;
    Start started;
    bool leftBehind;  // the thread outlives start() or stop()
  } cases[] = {
      {Does::EndsWhenWoken, Start::Started, false},
      {Does::Refuses, Start::Refused, false},
      {Does::NeverAnswers, Start::Late, true},
      {Does::StuckAfterAnswering, Start::Started, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.does));
    auto worker = std::make_shared<Worker>();
    worker->does = c.does;
    BoundedThread thread(200ms);
    std::string failure;
    Start started{};
    // Each call has its own bound: one that waits for the stuck body fails,
    // and is freed by letting the body go.
    auto withinBound = [&](auto call) {
      auto done = std::async(std::launch::async, call);
      const bool returned = done.wait_for(3s) == std::future_status::ready;
      if (!returned) worker->set(&Worker::released);
      done.wait();
      EXPECT_TRUE(returned) << "did not return while the thread was stuck";
    };
    withinBound([&] {
      started = thread.start([worker](BoundedThread::Link& link) { worker->body(link); },
                             [worker] { worker->set(&Worker::woken); }, failure);
    });
    EXPECT_EQ(started, c.started);
    EXPECT_EQ(failure, c.does == Does::Refuses ? "no device" : "");
    withinBound([&] { thread.stop(); });
    withinBound([&] { thread.stop(); });  // a second stop does nothing
    EXPECT_FALSE(thread.running());
    {
      std::lock_guard lock(worker->mutex);
      EXPECT_EQ(worker->ended, !c.leftBehind) << "stop() returned before the thread ended";
    }
    // A thread left behind ends on its own and reaches its owner no more.
    worker->set(&Worker::released);
    EXPECT_TRUE(worker->waitFor([&] { return worker->ended; })) << "the thread left behind did not end";
    EXPECT_EQ(worker->deliveredEarly, c.started == Start::Started) << "a delivery before the owner gave up";
    EXPECT_TRUE(!c.leftBehind || !worker->deliveredLate) << "a delivery after the owner gave up";
  }
}

}  // namespace
}  // namespace ks
