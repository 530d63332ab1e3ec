// Where host records get their memory: blocks of a few size classes, kept on
// free lists per thread, so the millions of small records a replay makes and
// frees reuse warm memory without a trip through malloc each. Larger records
// go straight to malloc.
#ifndef OBCLIENT_RECORD_POOL_H
#define OBCLIENT_RECORD_POOL_H

#include <cstddef>

namespace obclient {

// Every block is as large as its class, whichever way it was taken, so any
// block may later be reused. `reuse` off (checked mode) takes fresh memory and
// frees at once, leaving use-after-free to the sanitizers and valgrind.
// Null when memory runs out.
void* takeBlock(size_t bytes, bool zeroed, bool reuse);
// `bytes` may be less than the block was taken with (a string shortened by a
// NUL), never more: the block then serves the smaller class, which it covers.
void returnBlock(void* block, size_t bytes, bool reuse);
// Keeps the first min(oldBytes, newBytes) bytes; null when memory runs out, the block untouched.
void* resizeBlock(void* block, size_t oldBytes, size_t newBytes, bool reuse);

extern const char* const recordPoolDescription;

} // namespace obclient

#endif
