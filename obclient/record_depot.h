// The record pool's shared store of free blocks, between the threads' own
// stacks: what a full stack sends on, and what a thread that ends leaves. Blocks
// that wait there unused for a while, beyond a bound per class, go back to the
// system: a whole run is handed back and carved again before new address space,
// a page of free blocks inside a run that is still in use is emptied in place.
#ifndef OBCLIENT_RECORD_DEPOT_H
#define OBCLIENT_RECORD_DEPOT_H

#include <cstddef>

namespace obclient::depot {

// Under memory pressure blocks that find no place stay unused rather than end the program.
void deposit(size_t index, void* const* blocks, size_t count) noexcept;
// Up to `most` blocks of the class, the most recently deposited, into `into`; how many.
size_t withdraw(size_t index, void** into, size_t most);
// A run of the class whose memory went back to the system, usable as it is; null when none.
char* takeReleasedRun(size_t index);

// Hands back what has waited in the depot since the previous call, beyond the
// bound, and returns the bytes handed back. A thread of the pool's own calls it
// every idlePeriod while some class is over its bound; tests call it directly.
size_t releaseIdleBlocks();

} // namespace obclient::depot

#endif
