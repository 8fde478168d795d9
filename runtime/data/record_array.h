// The record array: the growable vector of record references behind every queue order.
//
// Capacity comes in classes 0..37 (0, 2, 4, 8, ... 1,000,000, 2,000,000 ... 100,000,000).
// Invariant: count <= Capacity(cls), and items holds exactly Capacity(cls) slots (null when
// the capacity is 0). An add that passes the capacity goes up one class; a removal first
// goes down one class when the count is at most the class's shrink threshold.
// When storage cannot be obtained the runtime stops with error 501 "Out of memory in
// VELARRAY!"; should that fatal path return (tests), the array is left as it was.
#pragma once
#include <cstdint>

namespace vel {

struct RecordArray {
  std::uint8_t cls = 0;
  std::uint32_t count = 0;
  void** items = nullptr;
};

constexpr std::uint8_t kRecordArrayClasses = 38;
constexpr std::uint32_t kRecordArrayMax = 100000000;
std::uint32_t RecordArrayCapacity(std::uint8_t cls);
std::uint32_t RecordArrayShrinkThreshold(std::uint8_t cls);

// Makes room for one more element (going up one class if needed). False after the fatal path.
bool RecordArrayReserveOne(RecordArray& a);
// Inserts at index `at` (<= count). The caller guarantees room (RecordArrayReserveOne).
void RecordArrayInsert(RecordArray& a, std::uint32_t at, void* item);
// Appends, growing as needed; false after the fatal path (nothing added).
bool RecordArrayAppend(RecordArray& a, void* item);
// Removes index `at` (< count), shrinking first when the class allows.
void RecordArrayRemove(RecordArray& a, std::uint32_t at);
// Replaces dst's contents with a copy of src's elements; false after the fatal path (dst unchanged).
bool RecordArrayCopy(RecordArray& dst, const RecordArray& src);
void RecordArrayRelease(RecordArray& a);

}  // namespace vel
