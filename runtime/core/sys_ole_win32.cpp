// The Win32 side of the seam's OLE automation services: BSTRs, variants, the ANSI code page.
#include <windows.h>
#include <oleauto.h>

#include <cstring>

#include "runtime/core/sys.h"
#include "runtime/core/text_codec.h"

namespace vel::sys {

static_assert(sizeof(Variant) == sizeof(VARIANT), "Variant must have the platform's layout");
static_assert(sizeof(WideChar) == sizeof(OLECHAR));

namespace {
VARIANT* Raw(Variant* v) { return reinterpret_cast<VARIANT*>(v); }
VARIANT* Raw(const Variant* v) { return reinterpret_cast<VARIANT*>(const_cast<Variant*>(v)); }
const OLECHAR* Ole(const WideChar* s) { return reinterpret_cast<const OLECHAR*>(s); }
}  // namespace

WideString WideAlloc(const WideChar* text, std::uint32_t units) {
  return reinterpret_cast<WideString>(SysAllocStringLen(Ole(text), units));
}

void WideFree(WideString s) { SysFreeString(reinterpret_cast<BSTR>(s)); }

std::uint32_t WideLength(const WideChar* s) {
  return SysStringLen(reinterpret_cast<BSTR>(const_cast<WideChar*>(s)));
}

// The string stack's wide kinds hold text as the language shows it: best fit both ways. With
// no buffer, the length the text needs; 0 when the buffer is too small for all of it.
std::uint32_t NarrowToWide(const char* text, std::uint32_t length, WideChar* out,
                           std::uint32_t capacity) {
  if (!length || length > 0x7FFFFFFF) return 0;
  const std::wstring w = text::WideShown(std::string_view(text, length));
  if (out && w.size() > capacity) return 0;
  if (out) std::memcpy(out, w.data(), w.size() * sizeof(WideChar));
  return static_cast<std::uint32_t>(w.size());
}

std::uint32_t WideToNarrow(const WideChar* text, std::uint32_t units, char* out,
                           std::uint32_t capacity) {
  if (!units || units > 0x7FFFFFFF) return 0;
  const std::string s = text::AnsiShown(std::wstring_view(Ole(text), units));
  if (out && s.size() > capacity) return 0;
  if (out) std::memcpy(out, s.data(), s.size());
  return static_cast<std::uint32_t>(s.size());
}

void VariantInitialise(Variant* v) { VariantInit(Raw(v)); }

bool VariantCopyTo(Variant* dst, const Variant* src) {
  VariantInit(Raw(dst));
  return SUCCEEDED(VariantCopy(Raw(dst), Raw(src)));
}

void VariantRelease(Variant* v) { VariantClear(Raw(v)); }

bool VariantToWide(const Variant* v, WideString* out) {
  *out = nullptr;
  VARIANT tmp;
  VariantInit(&tmp);
  if (FAILED(VariantChangeType(&tmp, Raw(v), 0, VT_BSTR)) || tmp.vt != VT_BSTR) {
    VariantClear(&tmp);
    return false;
  }
  *out = reinterpret_cast<WideString>(tmp.bstrVal);  // ownership moves to the caller
  return true;
}

bool VariantToInt32(const Variant* v, std::int32_t* out) {
  VARIANT tmp;
  VariantInit(&tmp);
  bool ok = SUCCEEDED(VariantChangeType(&tmp, Raw(v), 0, VT_I4));
  *out = ok ? tmp.lVal : 0;
  VariantClear(&tmp);
  return ok;
}

bool VariantToReal(const Variant* v, double* out) {
  VARIANT tmp;
  VariantInit(&tmp);
  bool ok = SUCCEEDED(VariantChangeType(&tmp, Raw(v), 0, VT_R8));
  *out = ok ? tmp.dblVal : 0.0;
  VariantClear(&tmp);
  return ok;
}

int VariantCompare(const Variant* left, const Variant* right) {
  switch (VarCmp(Raw(left), Raw(right), LOCALE_USER_DEFAULT, 0)) {
    case VARCMP_LT: return -1;
    case VARCMP_EQ: return 0;
    default: return 1;  // greater, or a comparison with a null value
  }
}

}  // namespace vel::sys
