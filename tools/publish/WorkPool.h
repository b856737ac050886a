// Runs independent jobs on every core: compressing and checking files one per job.
#pragma once

#include <cstddef>
#include <functional>

namespace korvath::publish {

// How many threads to use when the user asked for Requested (0: one per core).
unsigned WorkerCount(unsigned requested);

// Calls Job(i) for every i below Count on Workers threads, in no fixed order. After the first
// job that raises, no further job starts; the others run to their end, and the first error is
// raised again here.
void ForEachParallel(size_t count, unsigned workers, const std::function<void(size_t)>& job);

}  // namespace korvath::publish
