// The runtime core's one seam to the operating system.
//
// runtime/core and runtime/data reach the platform only through these calls. sys_win32.cpp is
// what ships; sys_posix.cpp exists so that the same modules build natively on Linux for the
// sanitizers, fuzzers and instruction-counting benchmarks. Nothing here keeps runtime state.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel::sys {

// --- address space ------------------------------------------------------------------------
// Reserves size bytes of address space, at `preferred` when non-null and possible; null on failure.
void* Reserve(void* preferred, std::size_t size);
// Commits (read-write) a range inside a reservation; false on failure.
bool Commit(void* address, std::size_t size);
// Releases a whole reservation made by Reserve or Allocate.
void Release(void* base, std::size_t size);
// Reserve and commit together, read-write, anywhere; null on failure.
void* Allocate(std::size_t size);

// Small fixed blocks from the system's global-memory allocator (module-list nodes), usable
// before the runtime's allocator exists.
void* GlobalBlockAlloc(std::size_t size);
void GlobalBlockFree(void* block);
// The running executable's instance handle.
void* ExecutableInstance();

// --- re-entrant lock ----------------------------------------------------------------------
struct Lock;  // opaque, created by LockCreate
Lock* LockCreate();
void LockDelete(Lock* lock);
void LockEnter(Lock* lock);
void LockLeave(Lock* lock);

// --- errors, resources, profile -----------------------------------------------------------
std::uint32_t LastError();
void SetLastError(std::uint32_t code);
// Loads string resource `id` of the runtime's resource instance into buf (at most size-1
// bytes and a NUL). Returns the length, 0 when there is no such string.
int LoadStringResource(unsigned id, char* buf, int size);
// Reads a value from the user profile (win.ini); returns its length (0 when absent or empty).
int ProfileString(const char* section, const char* key, const char* fallback, char* buf, int size);

// --- files and devices for the debug trace ------------------------------------------------
// Appends bytes to the named file, creating it first when `truncate` is true.
bool AppendToFile(const char* path, const void* data, std::size_t length, bool truncate);
// Writes bytes to the auxiliary output device ("AUX" on Windows, stderr elsewhere).
void WriteAuxDevice(const void* data, std::size_t length);

// --- user interaction and process control -------------------------------------------------
enum MessageBoxStyle : unsigned {
  kOk = 0x0, kYesNo = 0x4,
  kIconStop = 0x10, kIconExclamation = 0x30,
  kDefaultButton2 = 0x100, kSystemModal = 0x1000,
};
enum MessageBoxAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };
// Shows a plain platform message box without owner; returns the button pressed.
int ShowMessageBox(const char* text, const char* title, unsigned style);
// Ends the process with the given exit code; never returns.
[[noreturn]] void ExitProcess(unsigned code);
// Stops the process abnormally so that a debugger or the system's fault reporting takes over.
[[noreturn]] void AbortProcess();
// Resets the floating-point unit, then sets the platform's default control word: 53-bit
// precision, rounding to nearest, every exception masked. The unit's own reset state keeps
// 64 bits, and doubles rounded twice (to 64, then to 53 bits) can differ from the host build
// in the last place.
void ResetFpu();
// Sets the calling thread's control word to that default when it differs (a thread started by
// the C runtime's thread library begins with 64-bit precision). Every thread that runs runtime
// code calls it when it takes the runtime lock.
void UseDefaultFpuControl();
// Fills up to `count` return addresses of the caller's callers; returns how many were found.
int CallerAddresses(void** out, int count);

// --- clock ----------------------------------------------------------------------------------
// Hundredths of a second since local midnight (0 .. 8,639,999).
std::uint32_t LocalHundredthsSinceMidnight();

// --- OLE automation strings and variants (sys_ole_win32.cpp / sys_ole_posix.cpp) -----------
// A wide system string is length-counted UTF-16 (the platform's BSTR): a 32-bit byte count sits
// in front of the first code unit and a zero unit follows the last. Null is the empty string.
using WideChar = char16_t;
using WideString = WideChar*;
// The narrow text of the runtime is in the ANSI code page. The host side has no code pages and
// maps bytes to the code units 0..255 one to one (units above 255 become '?').

// A new wide string holding `units` code units copied from text (uninitialised when text is
// null); null when it cannot be allocated.
WideString WideAlloc(const WideChar* text, std::uint32_t units);
void WideFree(WideString s);
std::uint32_t WideLength(const WideChar* s);  // code units; 0 for null
// Code-page conversions. With out == null they return the size needed; otherwise they write at
// most `capacity` units/bytes and return how many were written.
std::uint32_t NarrowToWide(const char* text, std::uint32_t length, WideChar* out, std::uint32_t capacity);
std::uint32_t WideToNarrow(const WideChar* text, std::uint32_t units, char* out, std::uint32_t capacity);

// An OLE automation variant in the platform's layout (16 bytes on the 32-bit target).
struct Variant {
  std::uint16_t type;           // one of VariantType
  std::uint16_t reserved[3];
  union {
    std::int16_t i2;
    std::int32_t i4;
    float r4;
    double r8;
    std::int16_t boolean;       // -1 true, 0 false
    WideString text;
    std::int64_t pad;
  };
};
enum VariantType : std::uint16_t {
  kVtEmpty = 0, kVtNull = 1, kVtI2 = 2, kVtI4 = 3, kVtR4 = 4, kVtR8 = 5, kVtBstr = 8, kVtBool = 11,
};
void VariantInitialise(Variant* v);
// Deep copy into an uninitialised dst; false (dst empty) when the copy fails.
bool VariantCopyTo(Variant* dst, const Variant* src);
void VariantRelease(Variant* v);
// The variant's string form as a new wide string; false when it has none (null result).
bool VariantToWide(const Variant* v, WideString* out);
bool VariantToInt32(const Variant* v, std::int32_t* out);
bool VariantToReal(const Variant* v, double* out);
// The variant layer's own comparison: -1, 0 or 1 (a comparison with a null value gives 1).
int VariantCompare(const Variant* left, const Variant* right);


// --- clock, program file, text files, code pages and characters (international settings) --
struct LocalTimeFields {
  int year, month, day;                   // month 1..12, day 1..31
  int hour, minute, second, milliseconds;
};
void LocalTime(LocalTimeFields* out);
// The running program's full file name into buf (at most size-1 bytes and a NUL); its length,
// 0 when unknown.
int ExecutablePath(char* buf, int size);
// Sequential reading of a whole file. FileOpenRead gives null when the file cannot be opened;
// FileRead returns the bytes read (0 at the end or on failure).
struct File;
File* FileOpenRead(const char* path);
int FileRead(File* file, void* buffer, int size);
void FileClose(File* file);
// In-place code-page conversion of length bytes (the host side has one code page: no change).
void OemToAnsiText(char* text, std::uint32_t length);
void AnsiToOemText(char* text, std::uint32_t length);
// The system's string comparison of the one-character strings a and b: <0, 0, >0.
int CompareCharStrings(unsigned char a, unsigned char b);
// The system's character tests and lower-casing for a byte of the ANSI code page.
bool CharIsAlpha(unsigned char c);
bool CharIsUpper(unsigned char c);
unsigned char CharToLower(unsigned char c);

// --- file search, current directory and short names (directory listing) ------------------
// Names are in the code page the file functions use (see FileApisUseOem): the caller converts.
constexpr std::uint32_t kSysErrorFileNotFound = 2;
constexpr std::uint32_t kSysErrorPathNotFound = 3;
constexpr std::uint32_t kSysErrorInvalidParameter = 87;
constexpr std::uint32_t kSysMaxPath = 260;
struct FoundFile {
  char name[kSysMaxPath];      // zero-terminated
  char short_name[14];         // zero-terminated 8.3 name; empty when the system gives none
  std::uint32_t attributes;    // the platform's attribute bits (read-only 0x01, hidden 0x02,
                               // system 0x04, directory 0x10, archive 0x20, ...)
  std::uint64_t size;
  LocalTimeFields written;     // last-write time as local calendar time (milliseconds kept)
  bool written_known;          // false when the time could not be converted
};
struct FileSearch;  // opaque, from FileSearchFirst until FileSearchClose
// Starts a search for a pattern (such as dir\*.*, '?' and '*' in the last component) and
// fills the first entry; null (LastError set) when nothing matches or the directory is missing.
FileSearch* FileSearchFirst(const char* pattern, FoundFile* out);
// The next entry in the system's order; false at the end.
bool FileSearchNext(FileSearch* search, FoundFile* out);
void FileSearchClose(FileSearch* search);
// True when the file functions take and give names in the OEM code page (never on the host).
bool FileApisUseOem();
// Makes path the process's current directory; false (LastError set) on failure.
bool ChangeDirectory(const char* path);
// The current directory into buf (at most size-1 bytes and a NUL); its length, 0 on failure
// or when it does not fit.
std::uint32_t QueryCurrentDirectory(char* buf, std::uint32_t size);
// The short form of path into out (at most size-1 bytes and a NUL); its length, or 0 with
// LastError set (kSysErrorInvalidParameter where the system has no short form to give; the
// host has no short names and answers so for every path that exists).
std::uint32_t QueryShortPath(const char* path, char* out, std::uint32_t size);

}  // namespace vel::sys
