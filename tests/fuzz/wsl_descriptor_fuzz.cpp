// Fuzz target for the window descriptor reader. The input is a descriptor block: the target
// builds the "DABDUMP" resource around it (the program's module identifier, a NUL, the block)
// and reads it as window opening does: the locator's steps (the resource name, the identifier
// check, the copy into a descriptor buffer, the walk of the window chain for a label), every
// record reachable from the buffer, and the format string of every LIST record (validated,
// parsed and written back as the list control does).
//
// Checks, for every input: a resource of another module is refused; each window the chain
// walk reaches is found again by its label (or by an earlier window of the same label).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/controls/list_format.h"
#include "runtime/wsl/descriptor.h"

namespace {

constexpr char kModule[] = "FtpClient_async$ftpcl001";

void Require(bool ok) {
  if (!ok) std::abort();
}

void ReadImage(const vel::Descriptor& d, std::uint32_t offset) {
  vel::ImageName image;
  d.Image(offset, &image);
}

// The list control's reading of a format string: validation, then parsing, then the text
// written back (which is valid whenever the string parsed).
void ReadFormat(const char* text) {
  if (!text) return;
  const std::size_t length = std::strlen(text);
  vel::listfmt::Format f;
  const bool parsed = vel::listfmt::Parse(text, length, vel::listfmt::XScale{13, 8}, &f);
  Require(parsed == (vel::listfmt::Validate(text, length) == 0));
  if (parsed) Require(vel::listfmt::Validate(vel::listfmt::Write(f, vel::listfmt::XScale{13, 8})) == 0);
}

void ReadControl(const vel::Descriptor& d, const vel::ControlRecord& r) {
  vel::UseDescriptor use;
  d.Use(r.use, &use);
  for (std::uint32_t s : {r.label, r.text, r.picture, r.tip, r.source, r.icon, r.value, r.true_value, r.false_value})
    d.String(s);
  vel::FontRecord font;
  d.Font(r.font, &font);
  vel::ColorRecord colors;
  d.Colors(r.colors, &colors);
  ReadImage(d, r.cursor);
  std::uint32_t values[16];
  d.Values(r.values, values, 16);
  if (r.kind == vel::kKindList) ReadFormat(d.String(r.format));
}

// Walks the window chain as the locator does, reading each window as window opening does. A
// chain of windows or controls that loops is read once round (the reader's own step bound
// ends it; going round again would only repeat the same reads).
void Walk(const vel::Descriptor& d) {
  std::uint32_t values[16];
  std::vector<std::uint32_t> seen;
  vel::WindowRecord w;
  std::size_t steps = 0;
  for (std::uint32_t at = d.FirstWindow(); steps < d.MaxChainSteps() && d.Window(at, &w); at = w.next, ++steps) {
    if (std::find(seen.begin(), seen.end(), at) != seen.end()) break;
    seen.push_back(at);
    if (const char* label = d.String(w.label)) {
      const std::uint32_t found = d.WindowByLabel(label);
      Require(found != 0);
      vel::WindowRecord same;
      Require(d.Window(found, &same));
    }
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
    std::vector<std::uint32_t> controls;
    for (auto c = vel::FirstControl(d, w); c.ok; c = vel::NextControl(d, c)) {
      if (std::find(controls.begin(), controls.end(), c.record.offset) != controls.end()) break;
      controls.push_back(c.record.offset);
      ReadControl(d, c.record);
    }
  }
  d.WindowByLabel("P21$WINDOW");
  d.WindowByLabel("P33$WINDOW");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  char name[80];
  Require(vel::DescriptorResourceName(kModule, name, sizeof name) == std::strlen("FTPCL001_RSC"));
  std::vector<std::uint8_t> resource(kModule, kModule + sizeof kModule);  // the identifier and its NUL
  resource.insert(resource.end(), data, data + size);
  // A resource stored for another module is passed over.
  Require(vel::DescriptorBufferFromResource(resource.data(), resource.size(), "FtpClient_async$ftpcl002", nullptr,
                                            0) == 0);
  const std::size_t n = vel::DescriptorBufferFromResource(resource.data(), resource.size(), kModule, nullptr, 0);
  if (!n) return 0;
  std::vector<std::uint8_t> buffer(n);
  Require(vel::DescriptorBufferFromResource(resource.data(), resource.size(), kModule, buffer.data(), n) == n);
  Walk(vel::Descriptor(buffer.data(), buffer.size()));
  return 0;
}
