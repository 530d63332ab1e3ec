// Every host record is allocated and released through these helpers, so the
// live counts and the checked-mode registry see all of them.
#ifndef OBCLIENT_ACCOUNTING_H
#define OBCLIENT_ACCOUNTING_H

#include <cstddef>
#include <cstdint>

namespace obclient {

enum class RecordKind { String, Map, List, Buffer, Custom };

const char* recordKindName(RecordKind kind);

// Never returns null: a host that cannot allocate has no way to report it to
// the plug-in, so running out of memory aborts with a message.
void* allocateRecord(RecordKind kind, size_t bytes, bool zeroed);
// The size of a header followed by `items` elements, aborting when it does not fit in memory.
size_t recordBytes(RecordKind kind, size_t headerBytes, size_t itemBytes, uint64_t items);
// Releasing is two steps: the accounting, checked before the record is read
// (so a double release is reported instead of walking freed memory), then the
// memory (the record's contents released first). `function` names the host function that releases the record,
// for the report printed when checked mode finds the pointer is not a live record of `kind`.
void retireRecord(RecordKind kind, const void* record, const char* function);
void freeRecordMemory(void* record);
void* resizeRecord(RecordKind kind, void* record, size_t oldBytes, size_t bytes, const char* function);

} // namespace obclient

#endif
