// Read-only file views that a file cut short by another program cannot bring the process down
// through: a read of a page past the file's new end finds zeros instead of raising SIGBUS.
#pragma once

#include <cstddef>

namespace korvath::platform::bus {

// Puts [Data, Data + Size) under the guard; returns its place in the guard's table, or -1 when
// the table is full (the view is then read unguarded, as any mapping is).
int Guard(const void* data, size_t size);
// Takes the view out of the guard before it is unmapped.
void Unguard(int slot);

}  // namespace korvath::platform::bus
