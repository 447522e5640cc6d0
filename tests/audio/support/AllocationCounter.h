// Counts heap allocations made by the current thread while armed, through a replacement of
// the global operator new in the test program: proof that the render path allocates nothing.
#pragma once

#include <cstddef>

namespace hml::test {

class CAllocationCounter {
public:
    CAllocationCounter();
    ~CAllocationCounter();
    CAllocationCounter(const CAllocationCounter&) = delete;
    CAllocationCounter& operator=(const CAllocationCounter&) = delete;
    size_t Count() const;
    static bool Available(); // false in sanitizer builds, which replace operator new themselves
};

} // namespace hml::test
