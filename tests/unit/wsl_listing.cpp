#include "unit/wsl_listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace wsltest {
namespace {

using vel::Descriptor;

std::string Quote(const char* s) {
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
    if (*p == '"' || *p == '\\') {
      out += '\\';
      out += static_cast<char>(*p);
    } else if (*p >= 0x20 && *p < 0x7F) {
      out += static_cast<char>(*p);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", *p);
      out += hex;
    }
  }
  return out + "\"";
}

std::string Str(const Descriptor& d, std::uint32_t offset) {
  if (!offset) return "-";
  const char* s = d.String(offset);
  return s ? Quote(s) : "<bad string>";
}

std::string Num(unsigned long long v) { return std::to_string(v); }

std::string Real(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string Pos(const vel::DescriptorPosition& p) {
  return std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.width) + "," +
         std::to_string(p.height);
}

std::string Use(const Descriptor& d, std::uint32_t offset) {
  if (!offset) return "-";
  vel::UseDescriptor u;
  if (!d.Use(offset, &u)) return "<bad use>";
  return Num(u.type) + "/" + Num(u.size) + "/" + Num(u.extra);
}

std::string Font(const Descriptor& d, std::uint32_t offset) {
  if (!offset) return "-";
  vel::FontRecord f;
  if (!d.Font(offset, &f) || !f.face) return "<bad font>";
  return Quote(f.face) + "/" + Num(f.points) + "/" + Num(f.charset) + "/" + Num(f.color) + "/" +
         Num(f.style);
}

std::string Colors(const Descriptor& d, std::uint32_t offset) {
  if (!offset) return "-";
  vel::ColorRecord c;
  if (!d.Colors(offset, &c)) return "<bad colors>";
  return Num(c.color[0]) + "," + Num(c.color[1]) + "," + Num(c.color[2]);
}

std::string Image(const Descriptor& d, std::uint32_t offset) {
  if (!offset) return "-";
  vel::ImageName i;
  if (!d.Image(offset, &i)) return "<bad image>";
  if (i.is_reference) return "resource(" + Num(i.kind) + "," + Num(i.value) + ")";
  return Quote(i.name);
}

std::string Values(const Descriptor& d, std::uint32_t offset) {
  if (!offset) return "-";
  std::uint32_t values[64];
  const std::size_t n = d.Values(offset, values, 64);
  std::string out;
  for (std::size_t i = 0; i < n && i < 64; ++i) out += (i ? "," : "") + Num(values[i]);
  return out.empty() ? "<bad values>" : out;
}

std::string Line(const char* head, const std::map<std::string, std::string>& items) {
  std::string out = head;
  for (const auto& [name, value] : items) out += " " + name + "=" + value;  // map: sorted
  return out + "\n";
}

void ControlItems(const Descriptor& d, const vel::ControlRecord& c,
                  std::map<std::string, std::string>& m) {
  const std::string at = Pos(c.position), use = Use(d, c.use);
  switch (c.kind) {
    case vel::kKindString:
      m = {{"use", use}, {"at", at}, {"picture", Str(d, c.picture)}};
      break;
    case vel::kKindImage:
      m = {{"at", at}, {"picture", Str(d, c.picture)}};
      break;
    case vel::kKindEntry:
      m = {{"use", use}, {"at", at}, {"picture", Str(d, c.picture)}, {"mode", Num(c.mode)}};
      break;
    case vel::kKindButton:
      m = {{"at", at}, {"text", Str(d, c.text)}, {"icon", Str(d, c.icon)}, {"tip", Str(d, c.tip)},
           {"key", Num(c.key)}, {"default", Num(c.is_default)}, {"period1", Num(c.period[0])},
           {"period2", Num(c.period[1])}};
      break;
    case vel::kKindPrompt:
      m = {{"at", at}, {"text", Str(d, c.text)}, {"font", Font(d, c.font)},
           {"cursor", Image(d, c.cursor)}, {"colors", Colors(d, c.colors)}};
      break;
    case vel::kKindOption:
      m = {{"use", use}, {"at", at}, {"text", Str(d, c.text)}, {"mode", Num(c.mode)}};
      break;
    case vel::kKindCheck:
      m = {{"use", use}, {"at", at}, {"text", Str(d, c.text)},
           {"truevalue", Str(d, c.true_value)}, {"falsevalue", Str(d, c.false_value)}};
      break;
    case vel::kKindGroup:
      m = {{"at", at}, {"text", Str(d, c.text)}};
      break;
    case vel::kKindList:
      m = {{"use", use}, {"format", Str(d, c.format)}, {"at", at}, {"tip", Str(d, c.tip)},
           {"from", Str(d, c.source)}, {"drop", Num(c.drop)}, {"mode", Num(c.mode)},
           {"r105", Num(c.list_extra)}};
      break;
    case vel::kKindSpin:
      m = {{"use", use}, {"at", at}, {"tip", Str(d, c.tip)}, {"low", Real(c.low)},
           {"high", Real(c.high)}, {"step", Real(c.step)}};
      break;
    case vel::kKindRadio:
      m = {{"at", at}, {"text", Str(d, c.text)}, {"value", Str(d, c.value)}};
      break;
    case vel::kKindProgress:
      m = {{"use", use}, {"at", at}, {"low", Real(c.low)}, {"high", Real(c.high)}};
      break;
    case vel::kKindPanel:
      m = {{"at", at}, {"fill", Num(c.fill)}};
      break;
    default:
      break;
  }
  m["kind"] = Num(c.kind);
  m["attr"] = Num(c.attributes);
  m["alerts"] = Values(d, c.values);
  m["field"] = Num(c.field);
  m["label"] = Str(d, c.label);
}

}  // namespace

std::string Listing(const char* module_id, const char* resource_name, const Descriptor& d) {
  std::string out = "module " + Quote(module_id) + " resource " + resource_name + "\n";
  vel::WindowRecord w;
  std::size_t steps = 0;
  for (std::uint32_t at = d.FirstWindow(); steps < d.MaxChainSteps() && d.Window(at, &w);
       at = w.next, ++steps) {
    out += Line("window", {{"kind", Num(w.kind)}, {"label", Str(d, w.label)},
                           {"attr", Num(w.attributes)}, {"at", Pos(w.position)},
                           {"font", Font(d, w.font)}, {"title", Str(d, w.title)},
                           {"colors", Colors(d, w.colors)}, {"icon", Image(d, w.icon)},
                           {"msg", Str(d, w.message)}, {"help", Str(d, w.help)},
                           {"values", Values(d, w.values)}, {"frame", Num(w.frame)},
                           {"palette", Num(w.palette)}, {"timer", Num(w.timer)},
                           {"cursor", Image(d, w.cursor)},
                           {"status", Values(d, w.status_values)}});
    for (auto c = vel::FirstControl(d, w); c.ok; c = vel::NextControl(d, c)) {
      std::map<std::string, std::string> items;
      ControlItems(d, c.record, items);
      out += Line("control", items);
    }
  }
  return out;
}

}  // namespace wsltest
