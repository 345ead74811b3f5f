// Bounds a test that waits on the code under test: when the bound passes
// before the watchdog is destroyed, the test program ends with a message
// naming the test and what hung, instead of hanging until CTest's timeout.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace ks::test {

class Watchdog {
 public:
  Watchdog(std::string what, double seconds) : what_(std::move(what)), seconds_(seconds) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info) test_ = std::string(info->test_suite_name()) + "." + info->name();
    thread_ = std::thread([this] { watch(); });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void watch() {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, std::chrono::duration<double>(seconds_), [this] { return done_; })) return;
    std::fprintf(stderr, "\nFAILED: %s: %s did not return within %.0f seconds\n", test_.c_str(), what_.c_str(),
                 seconds_);
    std::fflush(stderr);
    std::_Exit(1);
  }

  std::string what_, test_;
  double seconds_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace ks::test
