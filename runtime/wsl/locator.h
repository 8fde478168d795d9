// Descriptor locator (WSLDIAL): finds a window descriptor by module identifier and window
// label in the "DABDUMP" resources of the registered modules.
//
// State: one current descriptor buffer (allocated with MemAlloc) and the module it came
// from. A successful locate replaces the current buffer; record and string offsets, and the
// Descriptor reader returned by CurrentDescriptor, are valid only against the current one,
// so callers take what they need from it before the next locate. A failed locate leaves the
// current buffer as it was.
//
// Search order: the preferred module (the runtime's resource instance, i.e. the executable,
// when one is recorded), then every module of the runtime's module list newest first,
// skipping the one already tried. In each: the resource "<name>_RSC" of type "DABDUMP"; a
// resource whose stored identifier is another module's is passed over; then the window chain.
// Callers hold the runtime lock.
#pragma once
#include <cstdint>

#include "runtime/wsl/descriptor.h"

namespace vel {

// Offset of the window record, or 0 when no module has it (the current buffer is then
// unchanged).
std::uint32_t LocateDescriptor(const char* module_id, const char* label);

// Window open's form: as LocateDescriptor, but a window that is not found raises runtime
// error 502 attributed to "WSLDIAL" (and returns 0 when that error returns, i.e. once the
// application is no longer active).
std::uint32_t LocateWindowDescriptor(const char* module_id, const char* label);

// The current buffer (empty before the first successful locate).
const Descriptor& CurrentDescriptor();
// The module instance in which the current buffer was found (image and icon look-ups use it);
// null before the first successful locate.
void* DescriptorModule();

// Frees the current buffer (window-system clean-up and tests).
void ReleaseDescriptor();

}  // namespace vel
