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
// `function` names the host function that releases the record, for the report
// printed when checked mode finds the pointer is not a live record of `kind`.
void releaseRecord(RecordKind kind, void* record, const char* function);
// The accounting half of releaseRecord, for containers: checked before their
// contents are read, so a double release is reported instead of walking freed
// memory. The caller then releases the contents and std::free()s the record.
void retireRecord(RecordKind kind, const void* record, const char* function);
void* resizeRecord(RecordKind kind, void* record, size_t bytes, const char* function);

} // namespace obclient

#endif
