#pragma once
// Counts heap allocations of the whole process (operator new and the malloc family) while
// counting is on: what a steady frame must not do. The hooks replace the global allocation
// functions of the test program, so one program holds them once, here; a build under
// AddressSanitizer, which owns those functions itself, has no counter.
namespace sortertest {

class AllocationCounter {
public:
    static bool available();
    static void start();
    // Allocations since start; counting stops.
    static long stop();
};

} // namespace sortertest
