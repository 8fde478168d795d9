// The message table, the current error, replacement texts, the fatal path, the diagnostic
// table and the debug trace.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/core/sys.h"
#include "runtime/core/trace.h"
#include "support/check.h"
#include "support/pure_virtual_probe.h"

namespace {

std::vector<std::string> g_boxes;
int AnswerNo(const char* message) {
  g_boxes.push_back(message);
  return vel::sys::kAnswerNo;
}

struct HaltCalled {
  unsigned code;
};
void ThrowOnExit(unsigned code) { throw HaltCalled{code}; }

void Fresh() {
  vel::ResetLifecycleForTesting();
  vel::MemoryInitTerm(0);
  vel::SetApplicationActive(false);
  vel::SetFatalErrorHook(AnswerNo);
  vel::SetProcessExit(ThrowOnExit);
  vel::SetDiagnosticHook(nullptr);
  vel::ClearReplacementTexts();
  vel::ClearError();
  g_boxes.clear();
}

std::string Field(const char* f, std::size_t n) { return std::string(f, n); }
std::string Padded(const std::string& s, std::size_t n) { return s + std::string(n - s.size(), ' '); }

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST_CASE("errors: the message table holds 175 texts, trailing blanks included") {
  Fresh();
  int count = 0;
  for (int code = 1; code <= 1000; ++code) {
    char buf[256];
    if (vel::sys::LoadStringResource(code, buf, sizeof buf) > 0) ++count;
  }
  CHECK_EQ(count, 175);
  const struct { int code; const char* text; } rows[] = {
      {2, "File Not Found"}, {78, "Invalid Number Of Parameters "}, {350, "Not Supported "},
      {305, "Access Denied"}, {403, "Termination caused by signal.  (User break or Floating point)"},
      {526, "Unable to open APPLICATION (APPLICATION already active)"},
      {802, "Mismatched PUSHSCOPE/POPSCOPE"}, {391, "Unknown Error"}, {81, "Unknown Error Posted"}};
  for (auto row : rows) CHECK_EQ(vel::ErrorMessage(row.code), std::string(row.text));
  CHECK_EQ(vel::ErrorMessage(999), std::string("Unknown Error Posted : 999"));
  CHECK_EQ(vel::ErrorMessage(0), std::string("Unknown Error Posted"));
  CHECK_EQ(vel::ErrorMessage(-3), std::string("Unknown Error Posted : -3"));
  // String resources have 16-bit numbers: 65538 and -65534 are not 2 "File Not Found".
  CHECK_EQ(vel::ErrorMessage(65538), std::string("Unknown Error Posted : 65538"));
  CHECK_EQ(vel::ErrorMessage(-65534), std::string("Unknown Error Posted : -65534"));
}

TEST_CASE("errors: PostError, ClearError and PostFileError fill the fixed fields") {
  Fresh();
  vel::sys::SetLastError(5);
  vel::PostError(0);
  CHECK_EQ(vel::ErrorCode(), 305);
  CHECK_EQ(vel::ErrorText(), std::string("Access Denied"));
  CHECK_EQ(vel::GetCurrentError().system_error, 5u);
  CHECK_EQ(vel::sys::LastError(), 5u);  // the lookup does not disturb the caller's last error

  vel::SetAuxiliaryError(77);
  vel::PostError(35);
  const auto& e = vel::GetCurrentError();
  CHECK_EQ(Field(e.text, 80), Padded("Record Not Found", 80));
  CHECK_EQ(e.auxiliary, 0u);
  // A message longer than 79 bytes keeps the last byte of the field blank.
  vel::SetReplacementText(7, (std::string("  ") + std::string(100, 'x')).c_str());
  vel::PostError(7);
  CHECK_EQ(Field(e.text, 80), std::string(79, 'x') + " ");

  vel::PostError(90);
  vel::PostFileError("E42", nullptr);
  CHECK_EQ(Field(e.driver_code_text, 81), Padded("E42", 81));
  CHECK_EQ(Field(e.driver_message, 255), Padded("File System Error : E42", 255));
  vel::PostFileError("E43", std::string(300, 'm').c_str());
  CHECK_EQ(Field(e.driver_message, 255), std::string(254, 'm') + " ");

  vel::ClearError();
  CHECK_EQ(e.code, 0);
  CHECK_EQ(Field(e.text, 80), std::string(80, ' '));
  CHECK_EQ(Field(e.driver_code_text, 81), std::string(81, ' '));
  CHECK_EQ(Field(e.driver_message, 255), std::string(255, ' '));
  // Driver texts that begin with a blank are cleared too.
  vel::PostFileError(" E44", " leading blank");
  vel::ClearError();
  CHECK_EQ(Field(e.driver_code_text, 81), std::string(81, ' '));
  CHECK_EQ(Field(e.driver_message, 255), std::string(255, ' '));
  // A system error near the top of the range: 300 + it wraps in 32 bits (no overflow).
  vel::sys::SetLastError(0x7FFFFF00u);
  vel::PostError(0);
  CHECK_EQ(vel::ErrorCode(), static_cast<std::int32_t>(0x8000002Cu));
  CHECK_EQ(vel::ErrorText(), "Unknown Error Posted : " + std::to_string(static_cast<std::int32_t>(0x8000002Cu)));
}

TEST_CASE("errors: replacement texts win over the table and replace each other") {
  Fresh();
  vel::SetReplacementText(2, "Datei nicht gefunden");
  CHECK_EQ(vel::ErrorMessage(2), std::string("Datei nicht gefunden"));
  vel::SetReplacementText(2, "Fichier introuvable");
  CHECK_EQ(vel::ErrorMessage(2), std::string("Fichier introuvable"));
  vel::SetReplacementText(81, "Unbekannt");
  CHECK_EQ(vel::ErrorMessage(12345), std::string("Unbekannt : 12345"));
  vel::SetReplacementText(3, std::string(400, 'r').c_str());
  CHECK_EQ(vel::ErrorMessage(3).size(), 255u);
  vel::ClearReplacementTexts();
  CHECK_EQ(vel::ErrorMessage(2), std::string("File Not Found"));
}

TEST_CASE("errors: RuntimeError composes its message and asks whether to GPF") {
  Fresh();
  vel::RuntimeError(802, "Mismatched POPSCOPE");
  vel::RuntimeError(0, "Out of free space");
  vel::RuntimeError(255, "WSLSTG");
  vel::RuntimeError(0, nullptr);
  vel::RuntimeError(501, std::string(400, 'z').c_str());
  REQUIRE(g_boxes.size() == 5);
  CHECK_EQ(g_boxes[0], std::string("Mismatched PUSHSCOPE/POPSCOPE : Mismatched POPSCOPE\nDo you want to GPF?"));
  CHECK_EQ(g_boxes[1], std::string("Out of free space\nDo you want to GPF?"));
  CHECK_EQ(g_boxes[2], std::string("Unknown Error Posted : 255 : WSLSTG\nDo you want to GPF?"));
  CHECK_EQ(g_boxes[3], std::string("\nDo you want to GPF?"));
  CHECK_EQ(g_boxes[4].size(), 255u + std::strlen("\nDo you want to GPF?"));
  CHECK_EQ(vel::ErrorCode(), 501);
  CHECK(vel::RuntimeErrorHappened());
}

namespace {
int g_cleanups = 0;
void CountCleanup() { ++g_cleanups; }
}  // namespace

TEST_CASE("errors: a fatal error while the application is active halts with 2, cleaning up once") {
  Fresh();
  vel::SetApplicationActive(true);
  vel::SetCleanupHook(CountCleanup);
  g_cleanups = 0;
  unsigned code = 99;
  try {
    vel::RuntimeError(537, nullptr);
  } catch (const HaltCalled& h) {
    code = h.code;
  }
  CHECK_EQ(code, 2u);
  CHECK_EQ(g_cleanups, 1);
  vel::SetApplicationActive(false);
  vel::RuntimeError(536, nullptr);  // returns now; the clean-up hook does not run again
  CHECK_EQ(g_cleanups, 1);
  REQUIRE(g_boxes.size() == 2);
  CHECK_EQ(g_boxes[0], std::string("ACCEPT loop requires a window\nDo you want to GPF?"));
}

namespace pure_virtual_probe {
struct Concrete : Abstract {
  void Run() override {}
};
}  // namespace pure_virtual_probe

TEST_CASE("errors: a pure virtual call is diagnostic 80 and ends the program with 2") {
  Fresh();
  vel::SetApplicationActive(true);
  unsigned code = 99;
  try {
    pure_virtual_probe::Concrete c;
  } catch (const HaltCalled& h) {
    code = h.code;
  }
  vel::SetApplicationActive(false);
  CHECK_EQ(code, 2u);
  REQUIRE(g_boxes.size() == 1);
  CHECK_EQ(g_boxes[0], std::string("Pure virtual function called\nDo you want to GPF?"));
}

namespace {
std::vector<std::string> g_trace;
void CaptureTrace(const char* line) {
  g_trace.push_back(line);
  vel::Trace("nested line");  // written while a line is being written: dropped
}
int g_resets = 0;
void CountReset() { ++g_resets; }
}  // namespace

TEST_CASE("errors: diagnostics use their table text, trace it and go fatal") {
  Fresh();
  vel::SetTraceHook(CaptureTrace);
  g_trace.clear();
  vel::Diagnostic(11);
  vel::Diagnostic(10, 640, 3);
  vel::Diagnostic(81, reinterpret_cast<std::uintptr_t>("DDEPOKE"));
  vel::Diagnostic(12345);
  vel::SetTraceHook(nullptr);
  REQUIRE(g_boxes.size() == 4);
  CHECK_EQ(g_boxes[0], std::string("memory block free'd twice\nDo you want to GPF?"));
  CHECK_EQ(g_boxes[1], std::string("memory leak 640 bytes (3 allocs)\nDo you want to GPF?"));
  CHECK_EQ(g_boxes[2], std::string("Unimplemented function DDEPOKE\nDo you want to GPF?"));
  CHECK_EQ(g_boxes[3], std::string("Unknown Error\nDo you want to GPF?"));
  REQUIRE(!g_trace.empty());
  CHECK_EQ(g_trace[0], std::string("Error: memory block free'd twice\r\n"));
  bool nested = false;
  for (auto& line : g_trace) nested = nested || line == "nested line";
  CHECK(!nested);
  CHECK_EQ(std::string(vel::DiagnosticText(0)),
           std::string("Corrupt block/Unknown block type freed.  This is probably caused by freeing a "
                       "static variable or a bad pointer."));
  CHECK_EQ(std::string(vel::DiagnosticText(-1)), std::string("Unknown Error"));

  // The assertion path empties the string stack and reports 501.
  vel::SetStringStackResetHook(CountReset);
  g_resets = 0;
  g_boxes.clear();
  VEL_ASSERT(1 + 1 == 3);
  CHECK_EQ(g_resets, 1);
  REQUIRE(g_boxes.size() == 1);
  CHECK(g_boxes[0].rfind("Internal error 01 : Assertion failed:1 + 1 == 3\r\nFile ", 0) == 0);
  vel::SetStringStackResetHook(nullptr);
}

TEST_CASE("errors: the trace file is recreated by a run's first line, then appended") {
  Fresh();
  vel::TraceInitTerm(0);
  const char* path = "core_errors_test_trace.txt";
  vel::sys::AppendToFile(path, "old run\r\n", 9, true);
  vel::SetTraceFile(path);
  vel::Trace("first %d\r\n", 1);
  vel::Trace("second %s\r\n", "line");
  CHECK_EQ(ReadFile(path), std::string("first 1\r\nsecond line\r\n"));
  vel::Trace("%s", std::string(600, 'w').c_str());  // cut at 255 bytes
  CHECK_EQ(ReadFile(path).size(), 22u + 255u);
  vel::SetTraceFile("");  // switched off
  vel::Trace("lost\r\n");
  CHECK_EQ(ReadFile(path).size(), 22u + 255u);
  vel::SetTraceFile("V55LOG.TXT");
  std::remove(path);
  vel::TraceInitTerm(1);
}
