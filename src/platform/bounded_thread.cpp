#include "platform/bounded_thread.h"

#include <utility>

namespace ks {

void BoundedThread::Link::answer(bool started, std::string failure) {
  std::lock_guard lock(mutex_);
  if (answered_) return;
  started_ = started && !abandoned_;
  failure_ = std::move(failure);
  answered_ = true;
  changed_.notify_all();
}

BoundedThread::Start BoundedThread::start(Body body, Wake wake, std::string& failure) {
  if (thread_.joinable()) {
    failure = "it is already running";
    return Start::Refused;
  }
  link_ = std::make_shared<Link>();
  wake_ = std::move(wake);
  thread_ = std::thread([link = link_, body = std::move(body)] {
    body(*link);
    std::lock_guard lock(link->mutex_);
    link->answered_ = link->finished_ = true;
    link->changed_.notify_all();
  });
  std::unique_lock lock(link_->mutex_);
  if (!link_->changed_.wait_for(lock, bound_, [this] { return link_->answered_; })) {
    abandon(lock);
    return Start::Late;
  }
  if (link_->started_) return Start::Started;
  failure = link_->failure_;
  // A body that did not start ends at once.
  lock.unlock();
  stop();
  return Start::Refused;
}

void BoundedThread::stop() {
  if (!thread_.joinable()) return;
  link_->stopping_.store(true);
  if (wake_) wake_();
  std::unique_lock lock(link_->mutex_);
  if (link_->changed_.wait_for(lock, bound_, [this] { return link_->finished_; })) {
    lock.unlock();
    thread_.join();
    link_.reset();
    wake_ = nullptr;
  } else {
    abandon(lock);
  }
}

void BoundedThread::abandon(std::unique_lock<std::mutex>& lock) {
  link_->abandoned_ = true;
  const bool woken = link_->stopping_.exchange(true);  // stop() woke it already
  lock.unlock();
  if (!woken && wake_) wake_();
  thread_.detach();
  link_.reset();
  wake_ = nullptr;
}

}  // namespace ks
