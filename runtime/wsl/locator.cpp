// Descriptor locator: resource look-up over the module list, identifier check, the copy into
// the runtime's buffer and the window chain walk.
#include "runtime/wsl/locator.h"

#include <windows.h>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"

namespace vel {
namespace {

constexpr char kResourceType[] = "DABDUMP";
constexpr std::size_t kMaxResourceName = 260;

struct LocatorState {
  std::uint8_t* buffer;   // MemAlloc'd; null when there is no current buffer
  Descriptor current;
  void* module;           // where the current buffer came from
};
LocatorState g{};

void Adopt(std::uint8_t* buffer, std::size_t size, void* module) {
  if (g.buffer) MemFree(g.buffer);
  g.buffer = buffer;
  g.current = Descriptor(buffer, size);
  g.module = module;
}

// Tries one module: its resource, the identifier check, the copy, the chain walk. On a match
// the copy becomes current and the window's offset is returned; otherwise the copy is freed.
std::uint32_t TryModule(void* module, const char* resource_name, const char* module_id,
                        const char* label) {
  HMODULE handle = static_cast<HMODULE>(module);
  HRSRC info = FindResourceA(handle, resource_name, kResourceType);
  if (!info) return 0;
  HGLOBAL loaded = LoadResource(handle, info);
  const auto* bytes = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
  const std::size_t size = SizeofResource(handle, info);
  const std::size_t needed = bytes ? DescriptorBufferFromResource(bytes, size, module_id, nullptr, 0) : 0;
  std::uint8_t* buffer = needed ? static_cast<std::uint8_t*>(MemAlloc(needed)) : nullptr;
  if (buffer) DescriptorBufferFromResource(bytes, size, module_id, buffer, needed);
  if (loaded) FreeResource(loaded);
  if (!buffer) return 0;
  const std::uint32_t window = Descriptor(buffer, needed).WindowByLabel(label);
  if (!window) {
    MemFree(buffer);
    return 0;
  }
  Adopt(buffer, needed, module);
  return window;
}

}  // namespace

std::uint32_t LocateDescriptor(const char* module_id, const char* label) {
  if (!module_id || !label) return 0;
  char name[kMaxResourceName];
  if (!DescriptorResourceName(module_id, name, sizeof name)) return 0;
  void* preferred = ResourceInstance();
  if (preferred) {
    if (std::uint32_t window = TryModule(preferred, name, module_id, label)) return window;
  }
  for (void* module = FindModule(nullptr); module; module = FindModule(module)) {
    if (module == preferred) continue;
    if (std::uint32_t window = TryModule(module, name, module_id, label)) return window;
  }
  return 0;
}

std::uint32_t LocateWindowDescriptor(const char* module_id, const char* label) {
  const std::uint32_t window = LocateDescriptor(module_id, label);
  if (!window) RuntimeError(502, "WSLDIAL");
  return window;
}

const Descriptor& CurrentDescriptor() { return g.current; }
void* DescriptorModule() { return g.module; }

void ReleaseDescriptor() { Adopt(nullptr, 0, nullptr); }

}  // namespace vel
