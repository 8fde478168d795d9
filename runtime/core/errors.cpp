// The current error, message lookup, replacement texts, the diagnostic table and the fatal path.
#include "runtime/core/errors.h"

#include <cstdio>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/core/sys.h"
#include "runtime/core/trace.h"

namespace vel {
namespace {

constexpr int kMessageMax = 255;
constexpr std::int32_t kUnknownErrorCode = 81;
constexpr std::int32_t kFileSystemErrorCode = 90;

CurrentError MakeBlankError() {
  CurrentError e{};
  std::memset(e.text, ' ', sizeof e.text);
  std::memset(e.driver_code_text, ' ', sizeof e.driver_code_text);
  std::memset(e.driver_message, ' ', sizeof e.driver_message);
  return e;
}

CurrentError g_error = MakeBlankError();

// Replacement texts: a short list, newest first; registering a code again replaces its text.
struct Replacement {
  std::int32_t code;
  Replacement* next;
  char text[kMessageMax + 1];
};
Replacement* g_replacements = nullptr;

FatalErrorHookFn g_fatal_hook = nullptr;
DiagnosticHookFn g_diagnostic_hook = nullptr;
void (*g_string_stack_reset)() = nullptr;

struct DiagnosticRow {
  int code;
  const char* text;
};
// Searched linearly, first match wins; the -1 row ends the search and serves every other code.
const DiagnosticRow kDiagnostics[] = {
    {0, "Corrupt block/Unknown block type freed.  This is probably caused by freeing a static "
        "variable or a bad pointer."},
    {1, "Out of free space"},
    {2, "Data was written past the end of the block being freed."},
    {3, "Block tags are inconsistant"},
    {4, "Illegal block size"},
    {5, "e_free_block_tag_corrupt:"},
    {6, "Tags mismatch"},
    {7, "size inconsitancy"},
    {8, "bad block pointer"},
    {9, "mangled free list"},
    {10, "memory leak %ld bytes (%ld allocs)"},
    {11, "memory block free'd twice"},
    {50, "read from stream when last op was write"},
    {54, "unget() from stream when last op was write"},
    {51, "write to stream when last op was read"},
    {53, "write to read-only file"},
    {52, "read from write-only file"},
    {60, "setvbuf() after operation on stream"},
    {58, "stream has been closed already"},
    {59, "opened with handle not as stream"},
    {62, "Illegal combination of stream & direct io."},
    {55, "fflush() when last op was read"},
    {57, "operation on NULL stream"},
    {70, "bad combination of format flags"},
    {20, "Test character is not EOF or unsigned char"},
    {64, "Unable to delete temporary file"},
    {40, "O_EXCL and O_TRUNC are exclusive options"},
    {41, "O_EXCL should only be given with O_CREAT"},
    {80, "Pure virtual function called"},
    {81, "Unimplemented function %s"},
    {-1, "Unknown Error"},
};

// Copies src into a fixed (blank-padded, unterminated) field of `size` bytes.
void FillFixed(char* field, std::size_t size, const char* src, std::size_t max_copy) {
  std::size_t n = src ? std::strlen(src) : 0;
  if (n > max_copy) n = max_copy;
  if (n > size) n = size;
  std::memcpy(field, src, n);
  std::memset(field + n, ' ', size - n);
}

// Blanks a fixed field unless it is blank already (its first byte tells).
void BlankFixed(char* field, std::size_t size) {
  if (field[0] != ' ') std::memset(field, ' ', size);
}

std::string ClipTrailingBlanks(const char* field, std::size_t size) {
  while (size > 0 && field[size - 1] == ' ') --size;
  return std::string(field, size);
}

const Replacement* FindReplacement(std::int32_t code) {
  for (const Replacement* r = g_replacements; r; r = r->next)
    if (r->code == code) return r;
  return nullptr;
}

void DefaultDiagnostic(int code, std::uintptr_t value1, std::uintptr_t value2) {
  const char* format = DiagnosticText(code);
  char text[201];
  if (std::strstr(format, "%s")) {
    const char* arg = value1 ? reinterpret_cast<const char*>(value1) : "";
    std::snprintf(text, sizeof text, format, arg);
  } else if (std::strstr(format, "%ld")) {
    std::snprintf(text, sizeof text, format, static_cast<long>(value1), static_cast<long>(value2));
  } else {
    std::snprintf(text, sizeof text, "%s", format);
  }
  Trace("Error: %s\r\n", text);
  void* callers[10];
  const int n = sys::CallerAddresses(callers, 10);
  for (int i = 0; i < n; ++i) Trace("  %p\r\n", callers[i]);
  Trace("--------------------------------------------------\r\n");
  RuntimeError(0, text);
}

}  // namespace

const CurrentError& GetCurrentError() { return g_error; }
std::int32_t ErrorCode() { return g_error.code; }
std::string ErrorText() { return ClipTrailingBlanks(g_error.text, sizeof g_error.text); }

std::string ErrorMessage(std::int32_t code) {
  if (code == 0) code = kUnknownErrorCode;
  if (const Replacement* r = FindReplacement(code)) return r->text;
  // String resources have 16-bit identifiers: a code outside 1..65535 has no table text (the
  // platform's lookup would answer with the text of its low 16 bits).
  char buf[kMessageMax + 1];
  if (code > 0 && code <= 0xFFFF && sys::LoadStringResource(static_cast<unsigned>(code), buf, sizeof buf) > 0)
    return buf;
  if (code == kUnknownErrorCode) return "Unknown Error Posted";  // table without its row 81
  std::string text = ErrorMessage(kUnknownErrorCode) + " : " + std::to_string(code);
  if (text.size() > kMessageMax) text.resize(kMessageMax);
  return text;
}

void SetReplacementText(std::int32_t code, const char* text) {
  Replacement* r = const_cast<Replacement*>(FindReplacement(code));
  if (!r) {
    r = static_cast<Replacement*>(MemAlloc(sizeof(Replacement)));
    if (!r) return;
    r->code = code;
    r->next = g_replacements;
    g_replacements = r;
  }
  std::snprintf(r->text, sizeof r->text, "%s", text ? text : "");
}

const char* ReplacementText(std::int32_t code) {
  const Replacement* r = FindReplacement(code);
  return r ? r->text : nullptr;
}

void ClearReplacementTexts() {
  while (g_replacements) {
    Replacement* next = g_replacements->next;
    MemFree(g_replacements);
    g_replacements = next;
  }
}

void PostError(std::int32_t code) {
  std::uint32_t system_error = sys::LastError();
  // 300 + system error, wrapping like the 32-bit code word it is stored in.
  if (code == 0) code = static_cast<std::int32_t>(300u + system_error);
  const std::string message = ErrorMessage(code);
  g_error.auxiliary = 0;
  BlankFixed(g_error.text, sizeof g_error.text);
  g_error.code = code;
  const char* start = message.c_str();
  while (*start == ' ') ++start;
  FillFixed(g_error.text, sizeof g_error.text, start, sizeof g_error.text - 1);
  // The lookup may have changed the system's last error: keep the caller's.
  sys::SetLastError(system_error);
  g_error.system_error = system_error;
}

void PostFileError(const char* short_text, const char* long_text) {
  FillFixed(g_error.driver_code_text, sizeof g_error.driver_code_text, short_text,
            sizeof g_error.driver_code_text);
  if (long_text) {
    FillFixed(g_error.driver_message, sizeof g_error.driver_message, long_text, 254);
  } else {
    const std::string text = ErrorMessage(kFileSystemErrorCode) + " : " + (short_text ? short_text : "");
    FillFixed(g_error.driver_message, sizeof g_error.driver_message, text.c_str(), 254);
  }
}

void ClearError() {
  g_error.code = 0;
  g_error.auxiliary = 0;
  BlankFixed(g_error.text, sizeof g_error.text);
  // A driver's texts are its own and may start with a blank: a first blank byte says nothing
  // about the rest, so they are blanked whatever they hold.
  std::memset(g_error.driver_code_text, ' ', sizeof g_error.driver_code_text);
  std::memset(g_error.driver_message, ' ', sizeof g_error.driver_message);
}

void SetAuxiliaryError(std::uint32_t value) { g_error.auxiliary = value; }

void SetFatalErrorHook(FatalErrorHookFn hook) { g_fatal_hook = hook; }

void RuntimeError(std::int32_t code, const char* added_text) {
  std::string message;
  if (code != 0) {
    PostError(code);
    message = ErrorText();
    if (added_text) message += std::string(" : ") + added_text;
  } else if (added_text) {
    message = added_text;
  }
  if (message.size() > kMessageMax) message.resize(kMessageMax);
  message += "\nDo you want to GPF?";
  const int answer = g_fatal_hook
      ? g_fatal_hook(message.c_str())
      : sys::ShowMessageBox(message.c_str(), "Runtime error",
                            sys::kYesNo | sys::kIconStop | sys::kDefaultButton2);
  if (answer == sys::kAnswerYes) sys::AbortProcess();
  RunCleanupHookOnce();
  SetRuntimeErrorHappened();
  if (ApplicationActive()) Halt(2);
}

const char* DiagnosticText(int code) {
  for (const DiagnosticRow& row : kDiagnostics)
    if (row.code == code || row.code == -1) return row.text;
  return "Unknown Error";
}

void Diagnostic(int code, std::uintptr_t value1, std::uintptr_t value2) {
  (g_diagnostic_hook ? g_diagnostic_hook : DefaultDiagnostic)(code, value1, value2);
}

void SetDiagnosticHook(DiagnosticHookFn hook) { g_diagnostic_hook = hook; }

void SetStringStackResetHook(void (*reset)()) { g_string_stack_reset = reset; }

void AssertionFailed(const char* expression, const char* file, long line) {
  char text[kMessageMax + 1];
  std::snprintf(text, sizeof text, "Assertion failed:%s\r\nFile %s line %ld", expression, file, line);
  Trace("%s\r\n", text);
  if (g_string_stack_reset) g_string_stack_reset();
  RuntimeError(501, text);
}

}  // namespace vel

// A call of a pure virtual function (an object used while it is built or torn down, or through
// a pointer to one that is gone) reaches this entry of the vtable. It is diagnostic 80; the
// program never goes on after it, whether or not the application is still active.
extern "C" [[noreturn]] void __cxa_pure_virtual() {
  vel::Diagnostic(80);
  vel::Halt(2);
}
