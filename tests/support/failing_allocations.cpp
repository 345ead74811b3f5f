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

// Every form of the plain operators is replaced, so that what is allocated
// here is freed here (a sanitizer tells malloc's blocks from new's).
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace ks::test {

AllocationsFail::AllocationsFail() { ++t_failing; }
AllocationsFail::~AllocationsFail() { --t_failing; }

}  // namespace ks::test
