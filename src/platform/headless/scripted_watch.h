// What the scripted watches of tests share: the handler hears the test's
// input at once, on the test's thread, while started.
#pragma once

#include <utility>

namespace ks {

template <class Watch>
class ScriptedWatch : public Watch {
 public:
  bool start(typename Watch::Handler handler) override {
    if (refuse || handler_) return false;
    handler_ = std::move(handler);
    return true;
  }
  void stop() override { handler_ = nullptr; }

  bool running() const { return static_cast<bool>(handler_); }

  bool refuse = false;  // start() fails

 protected:
  template <class... Args>
  void send(Args&&... args) {
    if (handler_) handler_(std::forward<Args>(args)...);
  }

 private:
  typename Watch::Handler handler_;
};

}  // namespace ks
