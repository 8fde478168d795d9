// The current error, the message table and the fatal runtime-error path.
//
// Recoverable failures are posted into the process-wide current error (code + 80-byte
// blank-padded text) that compiled code reads after the statement. Unrecoverable ones go to
// RuntimeError: a "Runtime error" box, and while the application is active, Halt(2).
// A call of a pure virtual function is diagnostic 80 and always ends with Halt(2) (this module
// defines the C++ runtime's __cxa_pure_virtual).
#pragma once
#include <cstdint>
#include <string>

namespace vel {

struct CurrentError {
  std::int32_t code;
  char text[80];                  // fixed string, blank-padded
  std::uint32_t auxiliary;        // set by the file layer after posting
  char driver_code_text[81];      // fixed string
  char driver_message[255];       // fixed string
  std::uint32_t system_error;     // the OS last-error value when posted
};
const CurrentError& GetCurrentError();
// The two builtins compiled code uses: the code, and the text clipped of trailing blanks.
std::int32_t ErrorCode();
std::string ErrorText();

void PostError(std::int32_t code);
void PostFileError(const char* short_text, const char* long_text);
void ClearError();
void SetAuxiliaryError(std::uint32_t value);

// Looks up the text of a code: replacement text, else the message table, else
// "Unknown Error Posted : N". At most 255 bytes.
std::string ErrorMessage(std::int32_t code);
// Replacement texts registered by the international settings; a later one for the same code
// replaces the earlier. ClearReplacementTexts forgets them all.
void SetReplacementText(std::int32_t code, const char* text);
void ClearReplacementTexts();
// The registered replacement for a code (button captions use 0x7F00 + index), or null.
const char* ReplacementText(std::int32_t code);

// The fatal path. Returns only when the application is no longer active (or when a test hook
// answers and the application is not active).
void RuntimeError(std::int32_t code, const char* added_text);

// Answers the "Do you want to GPF?" box instead of a person: returns sys::kAnswerYes or
// sys::kAnswerNo for the given message. Null restores the real message box.
using FatalErrorHookFn = int (*)(const char* message);
void SetFatalErrorHook(FatalErrorHookFn hook);

// The diagnostic path (heap checks and the C-level library's own diagnostics).
// The default formats the diagnostic-table text with the values, traces it and calls
// RuntimeError(0, text). Replaceable; SetDiagnosticHook(nullptr) restores the default.
using DiagnosticHookFn = void (*)(int code, std::uintptr_t value1, std::uintptr_t value2);
void Diagnostic(int code, std::uintptr_t value1 = 0, std::uintptr_t value2 = 0);
void SetDiagnosticHook(DiagnosticHookFn hook);
// Text of the diagnostic table for a code; "Unknown Error" for every code it does not list.
const char* DiagnosticText(int code);

// Assertion failure of an internal check: traces, empties the string stack, RuntimeError(501).
void AssertionFailed(const char* expression, const char* file, long line);
#define VEL_ASSERT(e) ((e) ? (void)0 : ::vel::AssertionFailed(#e, __FILE__, __LINE__))

// Hook the string stack installs so that the assertion path can empty it without core/errors
// depending on the string stack module.
void SetStringStackResetHook(void (*reset)());

}  // namespace vel
