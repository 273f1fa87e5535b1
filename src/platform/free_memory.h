#pragma once
// Giving freed memory back to the system.

namespace pelm {

/// Returns every free page of the heap to the system, holes included. The
/// allocator keeps them otherwise, and after one outsized schedule an
/// unattended board would carry that peak for the rest of the day.
void releaseFreeMemory();

}  // namespace pelm
