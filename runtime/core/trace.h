// The debug trace: lines appended to "V55LOG.TXT" (and to AUX when the user profile's section
// "Veltrin 5.5 Tracing" has a non-empty "auxtrace"). Serialised by its own lock, created by the
// priority-255 initialiser; a line written while another is being written is dropped.
#pragma once

namespace vel {

// printf-style; the formatted line is cut at 255 bytes.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Changes the log file name (closing the old one); an empty name switches the log off.
void SetTraceFile(const char* name);
// Replaces where formatted lines go; null restores the default (file + AUX).
using TraceHookFn = void (*)(const char* line);
void SetTraceHook(TraceHookFn hook);
// The priority-255 initialise/terminate routine.
void TraceInitTerm(int flag);

}  // namespace vel
