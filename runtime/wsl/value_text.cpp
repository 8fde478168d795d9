#include "runtime/wsl/value_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int PictureWidth(const std::string& picture) {
  std::size_t i = 0;
  if (i < picture.size() && picture[i] == '@') ++i;
  if (i < picture.size() && (picture[i] == 's' || picture[i] == 'S' || picture[i] == 'n' || picture[i] == 'N'))
    ++i;
  else
    return 0;
  return std::atoi(picture.c_str() + i);
}

std::string FormatThroughPicture(const std::string& value, const std::string& picture) {
  std::string out = TrimRight(value);
  const bool is_string = picture.size() > 0 && (picture[0] == 's' || picture[0] == 'S' ||
                                                 (picture.size() > 1 && picture[0] == '@' &&
                                                  (picture[1] == 's' || picture[1] == 'S')));
  const int width = PictureWidth(picture);
  if (is_string && width > 0 && out.size() > static_cast<std::size_t>(width)) out.resize(width);
  return out;
}

}  // namespace vel::wsl
