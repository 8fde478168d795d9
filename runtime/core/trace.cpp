// The debug trace. Each line opens the log, appends and closes it, so the log survives a crash
// up to the last line written; the first line of a run recreates the file.
#include "runtime/core/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "runtime/core/sys.h"

namespace vel {
namespace {

struct TraceState {
  sys::Lock* lock;
  bool writing;          // a line is being written: a nested line is dropped
  bool file_started;     // the first line of the run has recreated the file
  bool aux_checked;
  bool aux_enabled;
  char file_name[260];
  TraceHookFn hook;
};

TraceState g = {nullptr, false, false, false, false, "V55LOG.TXT", nullptr};

void DefaultWrite(const char* line) {
  const std::size_t length = std::strlen(line);
  if (g.file_name[0]) {
    if (sys::AppendToFile(g.file_name, line, length, !g.file_started)) g.file_started = true;
  }
  if (!g.aux_checked) {
    char value[64];
    g.aux_enabled = sys::ProfileString("Veltrin 5.5 Tracing", "auxtrace", "", value, sizeof value) > 0;
    g.aux_checked = true;
  }
  if (g.aux_enabled) sys::WriteAuxDevice(line, length);
}

}  // namespace

void Trace(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (g.lock) sys::LockEnter(g.lock);
  if (!g.writing) {
    g.writing = true;
    (g.hook ? g.hook : DefaultWrite)(line);
    g.writing = false;
  }
  if (g.lock) sys::LockLeave(g.lock);
}

void SetTraceFile(const char* name) {
  if (g.lock) sys::LockEnter(g.lock);
  std::snprintf(g.file_name, sizeof g.file_name, "%s", name ? name : "");
  g.file_started = false;
  if (g.lock) sys::LockLeave(g.lock);
}

void SetTraceHook(TraceHookFn hook) { g.hook = hook; }

void TraceInitTerm(int flag) {
  if (flag == 0) {
    if (!g.lock) g.lock = sys::LockCreate();
    g.aux_checked = false;
  } else if (g.lock) {
    sys::Lock* lock = g.lock;
    g.lock = nullptr;
    sys::LockDelete(lock);
  }
}

}  // namespace vel
