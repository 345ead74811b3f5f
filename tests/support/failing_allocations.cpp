#include "support/failing_allocations.h"

#include <cstdlib>
#include <new>

namespace {

thread_local int t_failing = 0;

void* allocate(std::size_t size) {
  if (t_failing > 0) throw std::bad_alloc();
  for (;;) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

}  // namespace

// The library's operator delete frees with free(), which these pair with.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }

namespace ks::test {

AllocationsFail::AllocationsFail() { ++t_failing; }
AllocationsFail::~AllocationsFail() { --t_failing; }

}  // namespace ks::test
