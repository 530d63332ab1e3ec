// Where host records get their memory. Blocks of a few size classes are carved
// from one reserved address range, each class from its own stretch of it, so a
// block's class follows from its address alone: releasing a record never reads
// it (a string need not be measured), and the free blocks wait in per-thread
// arrays of pointers, so taking one reads no cold memory either. Larger records,
// and all records while reuse is off, go straight to malloc.
#ifndef OBCLIENT_RECORD_POOL_H
#define OBCLIENT_RECORD_POOL_H

#include <cstddef>

namespace obclient {

// `reuse` off (checked mode) takes fresh memory from malloc, leaving
// use-after-free to the sanitizers and valgrind. Null when memory runs out.
void* takeBlock(size_t bytes, bool zeroed, bool reuse);
// Any block takeBlock gave, whichever mode it was taken in.
void returnBlock(void* block);
// Keeps the first min(oldBytes, newBytes) bytes; null when memory runs out, the block untouched.
void* resizeBlock(void* block, size_t oldBytes, size_t newBytes, bool reuse);

extern const char* const recordPoolDescription;

} // namespace obclient

#endif
