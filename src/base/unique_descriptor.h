// An owned file descriptor, closed once by `Close` (an object whose call
// closes a descriptor and returns 0 on success): moves hand it on, copies
// are refused, -1 owns nothing.
#pragma once

#include <utility>

namespace ks {

template <class Close>
class UniqueDescriptor {
 public:
  explicit UniqueDescriptor(int fd) : fd_(fd) {}
  UniqueDescriptor(UniqueDescriptor&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueDescriptor& operator=(UniqueDescriptor&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  UniqueDescriptor(const UniqueDescriptor&) = delete;
  UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;
  ~UniqueDescriptor() { reset(); }

  int get() const { return fd_; }
  // Closes the descriptor; false when the close failed (it is given up
  // either way).
  bool reset() {
    if (fd_ < 0) return true;
    return Close{}(std::exchange(fd_, -1)) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace ks
