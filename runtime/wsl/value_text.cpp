#include "runtime/wsl/value_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/data/picture.h"

namespace vel::wsl {
namespace {

template <typename T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <typename T>
void Store(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

std::string Real(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

}  // namespace

std::string VariableText(const Binding& b) {
  if (!b.address || !b.has_use) return {};
  const std::uint32_t size = b.use.size;
  switch (b.use.type) {
    case 1: return std::to_string(Load<std::uint8_t>(b.address));
    case 2: return std::to_string(Load<std::int16_t>(b.address));
    case 3: return std::to_string(Load<std::uint16_t>(b.address));
    case 4: case 5: case 6: return std::to_string(Load<std::int32_t>(b.address));
    case 7: return std::to_string(Load<std::uint32_t>(b.address));
    case 8: return Real(Load<float>(b.address));
    case 9: case 13: case 14: return Real(Load<double>(b.address));
    case 18: return TrimRight(std::string(static_cast<const char*>(b.address), size));
    case 19: {
      const char* p = static_cast<const char*>(b.address);
      return TrimRight(std::string(p, strnlen(p, size)));
    }
    case 20: {
      const auto* p = static_cast<const unsigned char*>(b.address);
      std::uint32_t n = size ? p[0] : 0;
      if (size && n > size - 1) n = size - 1;
      return TrimRight(std::string(reinterpret_cast<const char*>(p + 1), n));
    }
    default: return {};
  }
}

void AssignVariable(const Binding& b, const std::string& text) {
  if (!b.address || !b.has_use) return;
  const std::uint32_t size = b.use.size;
  const long long n = std::strtoll(text.c_str(), nullptr, 10);
  switch (b.use.type) {
    case 1: Store(b.address, static_cast<std::uint8_t>(n)); break;
    case 2: Store(b.address, static_cast<std::int16_t>(n)); break;
    case 3: Store(b.address, static_cast<std::uint16_t>(n)); break;
    case 4: case 5: case 6: Store(b.address, static_cast<std::int32_t>(n)); break;
    case 7: Store(b.address, static_cast<std::uint32_t>(n)); break;
    case 8: Store(b.address, static_cast<float>(std::strtod(text.c_str(), nullptr))); break;
    case 9: case 13: case 14: Store(b.address, std::strtod(text.c_str(), nullptr)); break;
    case 18: {
      auto* p = static_cast<char*>(b.address);
      const std::size_t k = text.size() < size ? text.size() : size;
      std::memcpy(p, text.data(), k);
      std::memset(p + k, ' ', size - k);
      break;
    }
    case 19: {
      if (!size) break;
      auto* p = static_cast<char*>(b.address);
      const std::size_t k = text.size() < size - 1 ? text.size() : size - 1;
      std::memcpy(p, text.data(), k);
      p[k] = '\0';
      break;
    }
    case 20: {
      if (!size) break;
      auto* p = static_cast<unsigned char*>(b.address);
      const std::size_t k = text.size() < size - 1 ? text.size() : size - 1;
      p[0] = static_cast<unsigned char>(k > 255 ? 255 : k);
      std::memcpy(p + 1, text.data(), p[0]);
      break;
    }
    default: break;
  }
}

namespace {

bool Compile(const std::string& picture, CompiledPicture* pic) {
  return !picture.empty() && CompilePicture(picture.c_str(), pic);
}

bool TakesText(const CompiledPicture& pic) { return pic.Kind() == kPicString || pic.Kind() == kPicKeyIn; }

std::string TrimLeft(std::string s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

}  // namespace

int PictureWidth(const std::string& picture) {
  CompiledPicture pic;
  return Compile(picture, &pic) ? pic.Width() : 0;
}

std::string FormatThroughPicture(const std::string& value, const std::string& picture) {
  CompiledPicture pic;
  if (!Compile(picture, &pic)) return TrimRight(value);  // no or an invalid picture: as it is
  char out[kPictureMaxWidth + 1];
  int n = 0;
  if (TakesText(pic)) {
    n = FormatText(pic, value.data(), static_cast<std::uint32_t>(value.size()), out);
    return TrimRight(std::string(out, static_cast<std::size_t>(n)));
  }
  if (pic.Kind() == kPicDate || pic.Kind() == kPicTime) {
    n = FormatInteger(pic, std::strtoll(value.c_str(), nullptr, 10), out);
  } else {
    DigitString digits;
    DigitsFromText(value.data(), static_cast<std::uint32_t>(value.size()), &digits);
    n = FormatDigits(pic, digits, out);
  }
  return TrimLeft(TrimRight(std::string(out, static_cast<std::size_t>(n))));
}

std::string DeformatThroughPicture(const std::string& text, const std::string& picture) {
  CompiledPicture pic;
  if (!Compile(picture, &pic) || TakesText(pic)) return text;
  // Numbers are read free-form (what a person types is rarely aligned to the picture's
  // positions): the string picture's reading keeps the digits, the point and the sign.
  if (pic.Kind() == kPicNumeric || pic.Kind() == kPicScientific) CompilePicture("@S255", &pic);
  char out[kDeformatTextMax + 2];
  const int n = Deformat(pic, text.data(), static_cast<std::uint32_t>(text.size()), out, sizeof out);
  return std::string(out, static_cast<std::size_t>(n > 0 ? n : 0));
}

}  // namespace vel::wsl
