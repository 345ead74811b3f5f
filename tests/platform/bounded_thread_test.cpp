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
using Clock = std::chrono::steady_clock;

// What a body does, and what it saw.
struct Worker {
  enum class Answer { Yes, No, Never } answer;
  bool endsWhenWoken;
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
    if (answer == Answer::No) {
      link.answer(false, "no device");
    } else if (answer == Answer::Yes && endsWhenWoken) {
      link.answer(true);
      deliveredEarly = link.deliver([] {});
      waitFor([this] { return woken; });
    } else {
      if (answer == Answer::Yes) {
        link.answer(true);
        deliveredEarly = link.deliver([] {});
      }
      waitFor([this] { return released; });  // stuck until the test lets go
      deliveredLate = link.deliver([] {});
    }
    set(&Worker::ended);
  }
};

TEST(BoundedThread, StartAndStopReturnWithinTheirBoundWhateverTheThreadDoes) {
  struct Case {
    const char* what;
    Worker::Answer answer;
    bool endsWhenWoken;
    BoundedThread::Start started;
    bool leftBehind;  // the thread outlives start() or stop()
  };
  const Case cases[] = {
      {"answers and ends when woken", Worker::Answer::Yes, true, BoundedThread::Start::Started, false},
      {"refuses", Worker::Answer::No, true, BoundedThread::Start::Refused, false},
      {"never answers", Worker::Answer::Never, false, BoundedThread::Start::Late, true},
      {"answers, then stuck", Worker::Answer::Yes, false, BoundedThread::Start::Started, true},
  };
  const auto bound = 200ms;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto worker = std::make_shared<Worker>();
    worker->answer = c.answer;
    worker->endsWhenWoken = c.endsWhenWoken;
    BoundedThread thread(bound);
    std::string failure;
    BoundedThread::Start started{};
    // Each call gets its own bound: one that waits for the stuck body is
    // freed by letting the body go, and fails.
    auto withinBound = [&](auto call) {
      const auto begin = Clock::now();
      auto done = std::async(std::launch::async, call);
      const bool returned = done.wait_for(3s) == std::future_status::ready;
      if (!returned) worker->set(&Worker::released);
      done.wait();
      EXPECT_TRUE(returned) << "did not return while the thread was stuck";
      return Clock::now() - begin;
    };
    const auto startTook = withinBound([&] {
      started = thread.start([worker](BoundedThread::Link& link) { worker->body(link); },
                             [worker] { worker->set(&Worker::woken); }, failure);
    });
    EXPECT_EQ(started, c.started);
    EXPECT_EQ(failure, c.answer == Worker::Answer::No ? "no device" : "");
    if (c.answer == Worker::Answer::Never) {
      EXPECT_GE(startTook, bound);
    }
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
    EXPECT_EQ(worker->deliveredEarly, c.answer == Worker::Answer::Yes) << "a delivery before the owner gave up";
    if (c.leftBehind) {
      EXPECT_FALSE(worker->deliveredLate);
    }
  }
}

}  // namespace
}  // namespace ks
