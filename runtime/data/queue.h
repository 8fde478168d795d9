// Queues: in-memory ordered lists of records that compiled procedures declare like records.
//
// The compiler lays down one QueueBlock per declared queue; the first operation creates the
// queue's engine object (QueueEngine, private to the engine), QueueDestroy releases it.
// Every operation except QueueDestroy clears the current error first and reports failure
// through it: 7 null block, 8 out of memory, 30 entry not found, 75 bad field number or name.
// Key field lists are signed 1-based field numbers (negative = descending) ended by 0.
// Positions are 1-based.
#pragma once
#include <cstdint>

#include "runtime/data/typed_value.h"

namespace vel {

struct QueueEngine;

struct QueueBlock {
  void* buffer;                // the record buffer the program reads and writes
  const RecordLayout* layout;  // the record's fields
  QueueEngine* engine;         // null until first use and after QueueDestroy
  std::uint32_t record_size;
};

void QueueAppend(QueueBlock* q);
void QueueAddKeyed(QueueBlock* q, const std::int32_t* keys);
void QueueGetAt(QueueBlock* q, std::int32_t position);
void QueueGetKeyed(QueueBlock* q, const std::int32_t* keys);
void QueuePut(QueueBlock* q);
void QueueDelete(QueueBlock* q);
void QueueFree(QueueBlock* q);
void QueueSortFields(QueueBlock* q, const std::int32_t* keys);
// Pops the sort string from the string stack (always, so the stack stays balanced) into a
// 256-byte buffer and sorts by the fields it names.
void QueueSortString(QueueBlock* q);
// The sort string from a text (at most 255 bytes are read, as from a 256-byte buffer).
void QueueSortText(QueueBlock* q, const char* text, std::uint32_t length);
std::uint32_t QueueRecords(QueueBlock* q);
std::uint32_t QueueChanges(QueueBlock* q);
std::uint32_t QueuePointer(QueueBlock* q);
std::uint32_t QueueFieldCount(QueueBlock* q);
void QueueDestroy(QueueBlock* q);

// Row access for the list control, through scratch buffer A, leaving the current record alone.
// 0 = done, 1 = position below 0 or above the count.
int QueueLoadRow(QueueEngine* e, std::int32_t position);
TypedRef QueueRowField(QueueEngine* e, std::int32_t field);
void QueueStoreRow(QueueEngine* e);

// Parses a sort string into a key list (up to 16 entries and a 0). Returns the number of
// entries, or -1 when a name is unknown. Blanks and commas separate items; "-" descending.
int QueueParseSortString(const RecordLayout& layout, const char* text, std::uint32_t length,
                         std::int32_t keys[17]);

// --- introspection for tests and benchmarks --------------------------------------------------
namespace queue_debug {
enum class Mode { kPlain, kCompressed, kCompressedClearing };
Mode StorageMode(const QueueEngine* e);
int OrderCount(const QueueEngine* e);
// Key of order i of the list (0 = most recently used): field count, or -1 for insertion kind.
int OrderKey(const QueueEngine* e, int i, std::int32_t fields[16]);
bool OrderIsCurrent(const QueueEngine* e, int i);
bool OrderIsHashed(const QueueEngine* e, int i);
// Record i of order `order` expanded into out (record size bytes).
void OrderRecord(const QueueEngine* e, int order, std::uint32_t i, void* out);
std::uint32_t OrderCountOf(const QueueEngine* e, int order);
// Compressed length of stored record i of the current order (0 = stored raw; plain: size).
std::uint32_t StoredLength(const QueueEngine* e, std::uint32_t i);
// Checks every order holds the same records and every sorted order is in key order.
bool Validate(const QueueEngine* e, const char** reason);
}  // namespace queue_debug

}  // namespace vel
