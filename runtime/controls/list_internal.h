// Helpers shared by the list control's source files (list_control.cpp, list_paint.cpp,
// list_drop.cpp); not part of the control's interface.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "runtime/core/errors.h"
#include "runtime/data/typed_value.h"

namespace vel::wsl::listimpl {

constexpr int kIconSize = 16;
constexpr int kAlertRightButton = 2;   // the mouse key codes of the right button and of the
constexpr int kAlertDoubleClick = 5;   // left double click, as alert keys
constexpr std::int32_t kNoColor = -1;  // a queue colour field's "default"
constexpr DWORD kTypeAheadPause = 1000;  // ms after which typing starts a new search

// Queue calls clear the current error on entry; a repaint between two statements of the
// program must not change what the program reads from it.
class ErrorPreserved {
 public:
  ErrorPreserved() : saved_(GetCurrentError()) {}
  ~ErrorPreserved() { const_cast<CurrentError&>(GetCurrentError()) = saved_; }
  ErrorPreserved(const ErrorPreserved&) = delete;
  ErrorPreserved& operator=(const ErrorPreserved&) = delete;

 private:
  CurrentError saved_;
};

inline std::string Trim(const std::string& s, bool leading) {
  std::size_t b = 0, e = s.size();
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
  if (leading)
    while (b < e && s[b] == ' ') ++b;
  return s.substr(b, e - b);
}

inline COLORREF Pick(std::int32_t queue_color, int sys_index) {
  return queue_color == kNoColor ? GetSysColor(sys_index) : static_cast<COLORREF>(queue_color) & 0xFFFFFF;
}

// Drawing depth of a tree level: its magnitude, at least 1, at most kMaxDepth (a level of any
// value must not make the geometry overflow).
constexpr int kMaxDepth = 64;
inline int Depth(int level) {
  const long long a = level < 0 ? -static_cast<long long>(level) : level;
  return static_cast<int>(std::clamp<long long>(a, 1, kMaxDepth));
}

inline std::int32_t ValueAsInt(const TypedRef& v) {
  if (!v.address) return 0;
  const double d = ValueAsDouble(v);
  if (d > 2147483647.0) return 2147483647;
  if (d < -2147483647.0) return -2147483647;
  return static_cast<std::int32_t>(d);
}

// Writes an integer into a numeric field of any width (a tree level, a tag); a text or
// decimal field is left as it is (list_control.cpp).
void StoreInt(const TypedRef& v, std::int32_t value);

}  // namespace vel::wsl::listimpl
