// Fuzz target for the window descriptor reader. The input is a resource: when it holds a NUL
// within its first 64 bytes, the bytes before it are the module identifier and the rest the
// block, which goes through the same copy into a descriptor buffer the locator makes;
// otherwise the input is taken as a descriptor buffer itself. Everything reachable from the
// buffer is then read as window opening would read it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/wsl/descriptor.h"

namespace {

void ReadImage(const vel::Descriptor& d, std::uint32_t offset) {
  vel::ImageName image;
  d.Image(offset, &image);
}

void Walk(const vel::Descriptor& d) {
  std::uint32_t values[16];
  vel::WindowRecord w;
  std::size_t steps = 0;
  for (std::uint32_t at = d.FirstWindow(); steps < d.MaxChainSteps() && d.Window(at, &w);
       at = w.next, ++steps) {
    d.String(w.label);
    d.String(w.title);
    d.String(w.message);
    d.String(w.help);
    vel::FontRecord font;
    d.Font(w.font, &font);
    vel::ColorRecord colors;
    d.Colors(w.colors, &colors);
    ReadImage(d, w.icon);
    ReadImage(d, w.cursor);
    d.Values(w.values, values, 16);
    d.Values(w.status_values, values, 16);
    for (auto c = vel::FirstControl(d, w); c.ok; c = vel::NextControl(d, c)) {
      const vel::ControlRecord& r = c.record;
      vel::UseDescriptor use;
      d.Use(r.use, &use);
      for (std::uint32_t s : {r.label, r.text, r.picture, r.format, r.tip, r.source, r.icon,
                              r.value, r.true_value, r.false_value})
        d.String(s);
      d.Font(r.font, &font);
      d.Colors(r.colors, &colors);
      ReadImage(d, r.cursor);
      d.Values(r.values, values, 16);
    }
  }
  d.WindowByLabel("P21$WINDOW");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const void* nul = std::memchr(data, 0, size < 64 ? size : 64);
  if (nul) {
    const std::string id(reinterpret_cast<const char*>(data),
                         static_cast<const std::uint8_t*>(nul) - data);
    const std::size_t n = vel::DescriptorBufferFromResource(data, size, id.c_str(), nullptr, 0);
    if (n) {
      std::vector<std::uint8_t> buffer(n);
      vel::DescriptorBufferFromResource(data, size, id.c_str(), buffer.data(), n);
      Walk(vel::Descriptor(buffer.data(), buffer.size()));
    }
    char name[80];
    vel::DescriptorResourceName(id.c_str(), name, sizeof name);
  }
  Walk(vel::Descriptor(data, size));
  return 0;
}
