// Counts heap allocations (malloc and its relatives, which operator new and the codec
// libraries use) while counting is switched on.
#pragma once

#include <cstdint>

namespace kestrelio::bench {

// False in sanitizer builds: the sanitizers own the allocator, so nothing is counted
// there and tests that count skip themselves.
bool AllocationCountingAvailable();

void StartCountingAllocations();
// Resumes counting without resetting the count.
void ContinueCountingAllocations();
// Stops counting and returns the allocations seen since the start.
uint64_t StopCountingAllocations();
// The size of the largest allocation counted since the start, in bytes.
uint64_t LargestCountedAllocation();

}  // namespace kestrelio::bench
