#include "support/AllocationCounter.h"

#include <cstdlib>
#include <new>

// AddressSanitizer brings its own operator new; counting is done in the other builds.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HML_NO_COUNTING 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define HML_NO_COUNTING 1
#endif

#ifndef HML_NO_COUNTING
namespace {
thread_local bool armed = false;
thread_local size_t count = 0;

void* Allocate(size_t size) {
    if (armed)
        ++count;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace hml::test {

CAllocationCounter::CAllocationCounter() {
    count = 0;
    armed = true;
}
CAllocationCounter::~CAllocationCounter() {
    armed = false;
}
size_t CAllocationCounter::Count() const {
    return count;
}
bool CAllocationCounter::Available() {
    return true;
}

} // namespace hml::test
#else
namespace hml::test {
CAllocationCounter::CAllocationCounter() = default;
CAllocationCounter::~CAllocationCounter() = default;
size_t CAllocationCounter::Count() const {
    return 0;
}
bool CAllocationCounter::Available() {
    return false;
}
} // namespace hml::test
#endif
