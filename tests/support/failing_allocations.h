// Memory that runs out on one thread: while an AllocationsFail lives, every
// operator new on its thread throws std::bad_alloc, as it does when the
// system has no memory left. The program that uses it links
// failing_allocations.cpp, which replaces the global operator new.
#pragma once

namespace ks::test {

class AllocationsFail {
 public:
  AllocationsFail();
  AllocationsFail(const AllocationsFail&) = delete;
  AllocationsFail& operator=(const AllocationsFail&) = delete;
  ~AllocationsFail();
};

}  // namespace ks::test
