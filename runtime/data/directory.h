// The directory listing builtin and its two companions.
//
//   ListDirectory(queue, mask)  pattern popped from the string stack; appends one file entry
//                               record per accepted entry to the queue (after what it holds)
//   SetCurrentPath()            path popped; error 3 "Path Not Found" on failure
//   ShortPathName()             path popped (empty = the current directory); the short form
//                               pushed
//
// File entry record, at the start of the queue's record (the rest of the record is left alone):
//
//   offset size
//     0    256  NAME       the name, cut to 256 bytes, blank-padded
//   256     13  SHORTNAME  the 8.3 name, or NAME (cut) when the system reports none
//   269      4  DATE       last-write local date number (-1 before 1801), signed, little-endian
//   273      4  TIME       last-write local time number in whole seconds (midnight = 0)
//   277      4  SIZE       low 32 bits of the size
//   281      1  ATTRIB     attributes & 0x37
//
// Where the platform's file functions use the OEM code page, text goes to them in OEM and comes
// back converted to ANSI. None of these builtins reaches the OS except through sys.h.
#pragma once
#include <cstdint>

#include "runtime/core/sys.h"

namespace vel {

struct QueueBlock;

constexpr std::uint32_t kEntryName = 0, kEntryNameSize = 256;
constexpr std::uint32_t kEntryShortName = 256, kEntryShortNameSize = 13;
constexpr std::uint32_t kEntryDate = 269, kEntryTime = 273, kEntrySize = 277, kEntryAttrib = 281;
constexpr std::uint32_t kEntryRecordSize = 282;
constexpr std::uint32_t kPatternMax = 260;  // bytes of a listing pattern
constexpr std::uint32_t kPathMax = 261;     // bytes of a path for the two companions

void ListDirectory(QueueBlock* queue, std::uint8_t mask);
void SetCurrentPath();
void ShortPathName();

// The same on plain text (the builtins pop their argument and call these).
void ListDirectoryText(QueueBlock* queue, std::uint8_t mask, const char* pattern, std::uint32_t length);
void SetCurrentPathText(const char* path, std::uint32_t length);
// The short form as the builtin would push it, into out (at most size-1 bytes and a NUL);
// returns its length.
std::uint32_t ShortPathNameText(const char* path, std::uint32_t length, char* out, std::uint32_t size);

// --- the pieces, for the tests and the fuzz target -------------------------------------------
// Calls emit(context, record) for every entry the listing accepts, in the system's order; the
// record is kEntryRecordSize bytes, valid during the call. Returns the number emitted.
using EntrySink = void (*)(void* context, const std::uint8_t* record);
std::uint32_t EnumerateDirectory(const char* pattern, std::uint32_t length, std::uint8_t mask,
                                 EntrySink emit, void* context);
// The attribute filter: entries without hidden, system or directory bits always pass; others
// need one of those bits in common with the mask.
bool EntryAccepted(std::uint32_t attributes, std::uint8_t mask);
// Fills a file entry record from a found entry whose names are already in ANSI.
void FillEntryRecord(const sys::FoundFile& found, std::uint8_t* record);
// The hand shortening used when the system has no short form: "/" becomes "\", and in every
// component the text after the last "." is cut to 3 bytes and the text before it to 8.
// Works in place on text[0..length); returns the new length (never longer).
std::uint32_t HandShortenPath(char* text, std::uint32_t length);

}  // namespace vel
