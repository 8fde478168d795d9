// The directory listing builtin, SetCurrentPath and ShortPathName (see directory.h for the
// file entry record).
//
// Text that goes to the file functions is converted to OEM first when they use OEM, and names
// that come back are converted to ANSI before they are stored. Paths longer than the builtins
// accept, or holding a zero byte, are never cut to a shorter path that names something else:
// a listing finds nothing, SetCurrentPath fails with 3 and ShortPathName gives the path back.
#include "runtime/data/directory.h"

#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/dates.h"
#include "runtime/data/queue.h"

namespace vel {
namespace {

constexpr std::uint32_t kAttributeMask = 0x37;
constexpr std::uint32_t kFilterBits = 0x02 | 0x04 | 0x10;  // hidden, system, directory

void PutLong(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutPadded(std::uint8_t* at, std::uint32_t size, const char* text) {
  std::uint32_t n = static_cast<std::uint32_t>(strnlen(text, size));
  std::memcpy(at, text, n);
  std::memset(at + n, ' ', size - n);
}

// Local date of a file as a date number. Years before 1801 give -1 (they are not widened as
// two-digit years would be).
std::int32_t EntryDate(const sys::LocalTimeFields& t) {
  return t.year < 1801 ? -1 : DateFromYmd(t.year, t.month, t.day);
}

// Local time of a file in whole seconds (milliseconds dropped); exactly midnight gives 0.
std::int32_t EntryTime(const sys::LocalTimeFields& t) { return TimeBuild(t.hour, t.minute, t.second, 0); }

bool HasZeroByte(const char* text, std::uint32_t length) { return length && std::memchr(text, 0, length); }

std::uint32_t ClipBlanks(const char* text, std::uint32_t length) {
  while (length && text[length - 1] == ' ') --length;
  return length;
}

void ToAnsi(char* text) { sys::OemToAnsiText(text, static_cast<std::uint32_t>(std::strlen(text))); }

// Pops the argument of a builtin, clipped of trailing blanks; the block is the caller's.
char* PopClipped(std::uint32_t* length) {
  char* text = StackPopToHeap(length);
  *length = text ? ClipBlanks(text, *length) : 0;
  return text;
}

struct QueueSink {
  QueueBlock* queue;
  std::int32_t first_error;  // the first error an append posted, 0 when none
};

// A failed append is posted by the queue and the listing goes on; since every append clears
// the error first, the first failure is kept here so that the caller still learns of it.
void AppendToQueue(void* context, const std::uint8_t* record) {
  auto* sink = static_cast<QueueSink*>(context);
  std::memcpy(sink->queue->buffer, record, kEntryRecordSize);
  QueueAppend(sink->queue);
  if (!sink->first_error) sink->first_error = ErrorCode();
}

bool IsDriveOnly(const char* text, std::uint32_t length) {
  if (length != 2 || text[1] != ':') return false;
  unsigned char c = static_cast<unsigned char>(text[0] | 0x20);
  return c >= 'a' && c <= 'z';
}

}  // namespace

bool EntryAccepted(std::uint32_t attributes, std::uint8_t mask) {
  std::uint32_t a = attributes & kFilterBits;
  return a == 0 || (a & mask & kFilterBits) != 0;
}

void FillEntryRecord(const sys::FoundFile& found, std::uint8_t* record) {
  PutPadded(record + kEntryName, kEntryNameSize, found.name);
  PutPadded(record + kEntryShortName, kEntryShortNameSize, found.short_name[0] ? found.short_name : found.name);
  PutLong(record + kEntrySize, static_cast<std::uint32_t>(found.size));
  record[kEntryAttrib] = static_cast<std::uint8_t>(found.attributes & kAttributeMask);
  std::int32_t date = found.written_known ? EntryDate(found.written) : -1;
  std::int32_t time = found.written_known ? EntryTime(found.written) : 0;
  PutLong(record + kEntryDate, static_cast<std::uint32_t>(date));
  PutLong(record + kEntryTime, static_cast<std::uint32_t>(time));
}

std::uint32_t EnumerateDirectory(const char* pattern, std::uint32_t length, std::uint8_t mask,
                                 EntrySink emit, void* context) {
  if (length > kPatternMax || HasZeroByte(pattern, length)) return 0;
  char text[kPatternMax + 1];
  std::memcpy(text, pattern, length);
  text[length] = 0;
  const bool oem = sys::FileApisUseOem();
  if (oem) sys::AnsiToOemText(text, length);
  sys::FoundFile found{};
  sys::FileSearch* search = sys::FileSearchFirst(text, &found);
  if (!search) return 0;
  std::uint32_t count = 0;
  do {
    if (!EntryAccepted(found.attributes, mask)) continue;
    if (oem) {
      ToAnsi(found.name);
      ToAnsi(found.short_name);
    }
    std::uint8_t record[kEntryRecordSize];
    FillEntryRecord(found, record);
    emit(context, record);
    ++count;
  } while (sys::FileSearchNext(search, &found));
  sys::FileSearchClose(search);
  return count;
}

void ListDirectoryText(QueueBlock* queue, std::uint8_t mask, const char* pattern, std::uint32_t length) {
  ClearError();
  if (!queue) return PostError(7);
  // The record must hold the whole file entry layout; a smaller one would be overrun.
  if (!queue->buffer || queue->record_size < kEntryRecordSize) return PostError(75);
  QueueSink sink{queue, 0};
  EnumerateDirectory(pattern, ClipBlanks(pattern, length), mask, AppendToQueue, &sink);
  if (sink.first_error && !ErrorCode()) PostError(sink.first_error);
}

void ListDirectory(QueueBlock* queue, std::uint8_t mask) {
  std::uint32_t length = 0;
  char* pattern = PopClipped(&length);
  ListDirectoryText(queue, mask, pattern ? pattern : "", length);
  MemFree(pattern);
}

void SetCurrentPathText(const char* path, std::uint32_t length) {
  ClearError();
  length = ClipBlanks(path, length);
  if (length > kPathMax || HasZeroByte(path, length)) return PostError(3);
  char text[kPathMax + 1];
  std::memcpy(text, path, length);
  text[length] = 0;
  if (sys::FileApisUseOem()) sys::AnsiToOemText(text, length);
  if (!sys::ChangeDirectory(text)) PostError(3);
}

void SetCurrentPath() {
  std::uint32_t length = 0;
  char* path = PopClipped(&length);
  SetCurrentPathText(path ? path : "", length);
  MemFree(path);
}

std::uint32_t HandShortenPath(char* text, std::uint32_t length) {
  std::uint32_t out = 0;
  std::uint32_t start = 0;
  while (start <= length) {
    std::uint32_t end = start;
    while (end < length && text[end] != '/' && text[end] != '\\') ++end;
    std::uint32_t dot = end;
    for (std::uint32_t i = start; i < end; ++i)
      if (text[i] == '.') dot = i;
    std::uint32_t base = (dot - start < 8 ? dot - start : 8);
    std::memmove(text + out, text + start, base);
    out += base;
    if (dot < end) {
      std::uint32_t ext = end - dot - 1 < 3 ? end - dot - 1 : 3;
      std::memmove(text + out, text + dot, ext + 1);
      out += ext + 1;
    }
    if (end < length) text[out++] = '\\';
    start = end + 1;
  }
  return out;
}

std::uint32_t ShortPathNameText(const char* path, std::uint32_t length, char* out, std::uint32_t size) {
  ClearError();
  char current[1024];
  length = ClipBlanks(path, length);
  if (length == 0) {
    length = sys::QueryCurrentDirectory(current, sizeof current);
    path = current;
  }
  char result[kPathMax + 2];
  std::uint32_t n = 0;
  if (length > kPathMax || HasZeroByte(path, length)) {
    // Too long to hand to the system: given back as it is.
    n = length < size ? length : (size ? size - 1 : 0);
    if (size) std::memcpy(out, path, n), out[n] = 0;
    return n;
  }
  char text[kPathMax + 1];
  std::memcpy(text, path, length);
  text[length] = 0;
  const bool oem = sys::FileApisUseOem();
  if (oem) sys::AnsiToOemText(text, length);
  n = sys::QueryShortPath(text, result, sizeof result - 1);
  if (n > 0) {
    if (oem) sys::OemToAnsiText(result, n);
  } else {
    // Work on the caller's ANSI text, so that a failed OEM round trip cannot alter it.
    std::memcpy(result, path, length);
    n = length;
    if (sys::LastError() == sys::kSysErrorInvalidParameter) n = HandShortenPath(result, n);
  }
  if (n > 0 && IsDriveOnly(result, n)) result[n++] = '\\';
  result[n] = 0;
  if (size == 0) return 0;
  if (n >= size) n = size - 1;
  std::memcpy(out, result, n);
  out[n] = 0;
  return n;
}

void ShortPathName() {
  std::uint32_t length = 0;
  char* path = PopClipped(&length);
  if (length > kPathMax) {  // given back whole
    StackPushOwned(path, length);
    return;
  }
  char result[kPathMax + 2];
  std::uint32_t n = ShortPathNameText(path ? path : "", length, result, sizeof result);
  MemFree(path);
  StackPushString(result, n);
  StackMaterialize();
}

}  // namespace vel
