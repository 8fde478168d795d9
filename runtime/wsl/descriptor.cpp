// Window descriptor reader: bounds-checked reads of the records laid out in descriptor.h.
#include "runtime/wsl/descriptor.h"

#include <cstring>

namespace vel {
namespace {

// Where each kind keeps its fields; 0 = the kind has no such field (no field lives at +0).
struct ControlLayout {
  std::uint8_t kind;
  std::uint8_t size;  // bytes the reader needs: the end of the kind's last field
  std::uint8_t use, position, text, picture, format, tip, source, names, font, cursor, colors,
      value, true_value, false_value, mode, list_extra, key, is_default, period, drop, fill,
      low, high, step;
};

// clang-format off
//  kind            size use pos text pic fmt tip src names font cur col val true false mode lx key def per drop fill low high step
constexpr ControlLayout kControlLayouts[] = {
  {kKindString,    49, 21, 25,  0, 45,  0,  0,  0,  0,   0,   0,  0,  0,   0,   0,    0,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindImage,     41,  0, 21,  0, 37,  0,  0,  0,  0,   0,   0,  0,  0,   0,   0,    0,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindEntry,     81, 21, 25,  0, 73,  0,  0,  0,  0,   0,   0,  0,  0,   0,   0,   77,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindButton,    90,  0, 21, 69,  0,  0,  0,  0, 73,   0,   0,  0,  0,   0,   0,    0,   0, 81, 85, 86,   0,  0,   0,  0,   0},
  {kKindPrompt,    57,  0, 21, 41,  0,  0,  0,  0,  0,  45,  49, 53,  0,   0,   0,    0,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindOption,    81, 21, 25, 73,  0,  0,  0,  0,  0,   0,   0,  0,  0,   0,   0,   77,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindCheck,     93, 21, 25, 73,  0,  0,  0,  0,  0,   0,   0,  0,  0,  85,  89,    0,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindGroup,     77,  0, 21, 69,  0,  0,  0,  0,  0,   0,   0,  0,  0,   0,   0,    0,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindList,     109, 21, 29,  0,  0, 25, 49, 61,  0,   0,   0,  0,  0,   0,   0,   85, 105,  0,  0,  0,  77,  0,   0,  0,   0},
  {kKindSpin,     114, 21, 25,  0,  0,  0, 41,  0,  0,   0,   0,  0,  0,   0,   0,    0,   0,  0,  0,  0,   0,  0,  82, 90, 102},
  {kKindRadio,     81,  0, 21, 69,  0,  0,  0,  0,  0,   0,   0,  0, 77,   0,   0,    0,   0,  0,  0,  0,   0,  0,   0,  0,   0},
  {kKindProgress,  61, 21, 25,  0,  0,  0,  0,  0,  0,   0,   0,  0,  0,   0,   0,    0,   0,  0,  0,  0,   0,  0,  45, 53,   0},
  {kKindPanel,     49,  0, 21,  0,  0,  0,  0,  0,  0,   0,   0,  0,  0,   0,   0,    0,   0,  0,  0,  0,   0, 45,   0,  0,   0},
};
// clang-format on
constexpr ControlLayout kHeaderOnly{0, kControlHeaderSize, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

const ControlLayout& LayoutOf(std::uint8_t kind) {
  for (const ControlLayout& l : kControlLayouts)
    if (l.kind == kind) return l;
  return kHeaderOnly;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLabel(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (UpperAscii(*a) != UpperAscii(*b)) return false;
  return *a == *b;
}

std::int32_t AsSigned(std::uint32_t v) {
  std::int32_t s;
  std::memcpy(&s, &v, sizeof s);
  return s;
}

}  // namespace

bool Descriptor::Inside(std::uint32_t offset, std::uint32_t length) const {
  return bytes_ && offset != 0 && offset <= size_ && length <= size_ - offset;
}

bool Descriptor::U8(std::uint32_t offset, std::uint8_t* out) const {
  if (!Inside(offset, 1)) return false;
  *out = bytes_[offset];
  return true;
}

bool Descriptor::U16(std::uint32_t offset, std::uint16_t* out) const {
  if (!Inside(offset, 2)) return false;
  const std::uint8_t* p = bytes_ + offset;
  *out = static_cast<std::uint16_t>(p[0] | p[1] << 8);
  return true;
}

bool Descriptor::U32(std::uint32_t offset, std::uint32_t* out) const {
  if (!Inside(offset, 4)) return false;
  const std::uint8_t* p = bytes_ + offset;
  *out = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
  return true;
}

bool Descriptor::F64(std::uint32_t offset, double* out) const {
  std::uint32_t lo, hi;
  if (!U32(offset, &lo) || !U32(offset + 4, &hi)) return false;
  const std::uint64_t bits = std::uint64_t{hi} << 32 | lo;
  std::memcpy(out, &bits, sizeof *out);
  return true;
}

const char* Descriptor::String(std::uint32_t offset) const {
  if (!Inside(offset, 1)) return nullptr;
  const void* end = std::memchr(bytes_ + offset, 0, size_ - offset);
  return end ? reinterpret_cast<const char*>(bytes_ + offset) : nullptr;
}

std::uint32_t Descriptor::FirstWindow() const {
  std::uint32_t first = 0;
  return U32(2, &first) ? first : 0;
}

bool Descriptor::Window(std::uint32_t offset, WindowRecord* out) const {
  if (!Inside(offset, kWindowRecordSize)) return false;
  const std::uint8_t kind = bytes_[offset];
  if (kind != kWindowRecord && kind != kReportRecord) return false;
  WindowRecord w{};
  w.offset = offset;
  w.kind = kind;
  auto u32 = [&](std::uint32_t at) {
    std::uint32_t v = 0;
    U32(offset + at, &v);
    return v;
  };
  w.next = u32(1);
  w.attributes = u32(5);
  w.position = {AsSigned(u32(13)), AsSigned(u32(17)), AsSigned(u32(21)), AsSigned(u32(25))};
  w.first_control = u32(29);
  w.label = u32(33);
  w.font = u32(37);
  w.title = u32(41);
  w.colors = u32(53);
  w.icon = u32(57);
  w.message = u32(61);
  w.help = u32(69);
  w.values = u32(77);
  w.frame = u32(81);
  w.palette = u32(85);
  w.timer = u32(89);
  w.menu = u32(93);
  w.toolbar = u32(97);
  w.cursor = u32(101);
  w.status_values = u32(105);
  w.frame_kind = bytes_[offset + 109];
  w.frame_offset = u32(110);
  w.mdi_flags[0] = bytes_[offset + 114];
  w.mdi_flags[1] = bytes_[offset + 115];
  *out = w;
  return true;
}

std::uint32_t Descriptor::WindowByLabel(const char* label) const {
  WindowRecord w;
  std::uint32_t offset = FirstWindow();
  for (std::size_t steps = 0; steps < MaxChainSteps() && Window(offset, &w); ++steps) {
    const char* name = String(w.label);
    if (name && SameLabel(name, label)) return offset;
    offset = w.next;
  }
  return 0;
}

bool Descriptor::Control(std::uint32_t offset, ControlRecord* out) const {
  if (!Inside(offset, kControlHeaderSize)) return false;
  const ControlLayout& l = LayoutOf(bytes_[offset]);
  if (!Inside(offset, l.size)) return false;
  ControlRecord c{};
  auto u32 = [&](std::uint8_t at) {
    std::uint32_t v = 0;
    if (at) U32(offset + at, &v);
    return v;
  };
  auto f64 = [&](std::uint8_t at) {
    double v = 0;
    if (at) F64(offset + at, &v);
    return v;
  };
  c.offset = offset;
  c.kind = bytes_[offset];
  c.next = u32(1);
  c.attributes = u32(5);
  c.values = u32(9);
  c.field = u32(13);
  c.label = u32(17);
  c.has_use = l.use != 0;
  c.use = u32(l.use);
  c.has_position = l.position != 0;
  if (c.has_position) {
    c.position = {AsSigned(u32(l.position)), AsSigned(u32(l.position + 4)),
                  AsSigned(u32(l.position + 8)), AsSigned(u32(l.position + 12))};
  }
  c.text = u32(l.text);
  c.picture = u32(l.picture);
  c.format = u32(l.format);
  c.tip = u32(l.tip);
  c.source = u32(l.source);
  if (const std::uint32_t names = u32(l.names)) {
    // The button's name block: u32 icon name, u32 tip text.
    if (U32(names, &c.icon)) U32(names + 4, &c.tip);
  }
  c.font = u32(l.font);
  c.cursor = u32(l.cursor);
  c.colors = u32(l.colors);
  c.value = u32(l.value);
  c.true_value = u32(l.true_value);
  c.false_value = u32(l.false_value);
  c.mode = u32(l.mode);
  c.list_extra = u32(l.list_extra);
  c.key = u32(l.key);
  if (l.is_default) c.is_default = bytes_[offset + l.is_default];
  if (l.period) {
    U16(offset + l.period, &c.period[0]);
    U16(offset + l.period + 2, &c.period[1]);
  }
  if (l.drop) c.drop = bytes_[offset + l.drop];
  c.fill = u32(l.fill);
  c.low = f64(l.low);
  c.high = f64(l.high);
  c.step = f64(l.step);
  *out = c;
  return true;
}

bool Descriptor::Use(std::uint32_t offset, UseDescriptor* out) const {
  if (!Inside(offset, 9)) return false;
  out->type = bytes_[offset];
  U32(offset + 1, &out->size);
  U32(offset + 5, &out->extra);
  return true;
}

bool Descriptor::Font(std::uint32_t offset, FontRecord* out) const {
  if (!Inside(offset, 16)) return false;
  std::uint32_t face = 0;
  U32(offset, &face);
  out->face = String(face);
  out->points = bytes_[offset + 4];
  out->charset = bytes_[offset + 5];
  U32(offset + 8, &out->color);
  U32(offset + 12, &out->style);
  return true;
}

bool Descriptor::Colors(std::uint32_t offset, ColorRecord* out) const {
  if (!Inside(offset, 12)) return false;
  for (std::uint32_t i = 0; i < 3; ++i) U32(offset + 4 * i, &out->color[i]);
  return true;
}

bool Descriptor::Image(std::uint32_t offset, ImageName* out) const {
  std::uint8_t first = 0;
  if (!U8(offset, &first)) return false;
  *out = ImageName{};
  if (first == 0xFF) {
    // FF, kind, u16 value, NUL
    if (!Inside(offset, 5) || bytes_[offset + 4] != 0) return false;
    out->is_reference = true;
    out->kind = bytes_[offset + 1];
    U16(offset + 2, &out->value);
    return true;
  }
  out->name = String(offset);
  return out->name != nullptr;
}

bool Descriptor::Value(std::uint32_t offset, ValueNode* out) const {
  if (!Inside(offset, 8)) return false;
  U32(offset, &out->value);
  U32(offset + 4, &out->next);
  return true;
}

std::size_t Descriptor::Values(std::uint32_t offset, std::uint32_t* out, std::size_t max) const {
  std::size_t count = 0;
  ValueNode node;
  while (count < MaxChainSteps() && Value(offset, &node)) {
    if (count < max) out[count] = node.value;
    ++count;
    offset = node.next;
  }
  return count;
}

ControlCursor FirstControl(const Descriptor& d, const WindowRecord& window) {
  ControlCursor c{};
  c.ok = d.Control(window.first_control, &c.record);
  return c;
}

ControlCursor NextControl(const Descriptor& d, const ControlCursor& cursor) {
  ControlCursor c{};
  c.steps = cursor.steps + 1;
  c.ok = c.steps < d.MaxChainSteps() && d.Control(cursor.record.next, &c.record);
  return c;
}

bool ControlTakesVariable(std::uint8_t kind) {
  return kind == kKindList || LayoutOf(kind).use != 0;
}

std::size_t DescriptorResourceName(const char* module_id, char* out, std::size_t out_size) {
  const char* dollar = std::strchr(module_id, '$');
  const char* name = dollar ? dollar + 1 : module_id;
  const std::size_t length = std::strlen(name);
  static const char kSuffix[] = "_RSC";
  if (out_size < length + sizeof kSuffix) return 0;
  for (std::size_t i = 0; i < length; ++i) out[i] = UpperAscii(name[i]);
  std::memcpy(out + length, kSuffix, sizeof kSuffix);
  return length + sizeof kSuffix - 1;
}

std::size_t DescriptorBufferFromResource(const std::uint8_t* resource, std::size_t resource_size,
                                         const char* module_id, std::uint8_t* buffer,
                                         std::size_t buffer_size) {
  const std::size_t n = std::strlen(module_id);
  // The identifier, its NUL and at least the block's first-window word.
  if (!resource || resource_size < n + 1 + 4) return 0;
  if (std::memcmp(resource, module_id, n) != 0 || resource[n] != 0) return 0;
  const std::size_t block = resource_size - n - 1;
  const std::size_t needed = block + 2;
  if (buffer) {
    if (buffer_size < needed) return 0;
    buffer[0] = 0;
    buffer[1] = 0;
    std::memcpy(buffer + 2, resource + n + 1, block);
  }
  return needed;
}

}  // namespace vel
