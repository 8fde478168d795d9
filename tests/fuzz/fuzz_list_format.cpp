// Fuzz target: list format strings of any bytes and length.
//
// Checks, for every input: validation and parsing agree (a string parses exactly when it
// validates); a failure position lies within 1..length+1; a failed parse leaves the previous
// columns alone; the written text of a parsed format validates, parses to the same columns
// and fields, and writes again to the same text (a fixed point after one round).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/controls/list_format.h"

using namespace vel::listfmt;

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

bool SameColumns(const Format& a, const Format& b) {
  if (a.columns.size() != b.columns.size() || a.groups.size() != b.groups.size()) return false;
  for (std::size_t i = 0; i < a.columns.size(); ++i) {
    const Column& x = a.columns[i];
    const Column& y = b.columns[i];
    if (x.field != y.field || x.FieldsUsed() != y.FieldsUsed() || x.flags1 != y.flags1 || x.flags2 != y.flags2 ||
        x.header != y.header || x.picture != y.picture || x.group != y.group || x.tip != y.tip)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const XScale scale{1 + (size ? data[0] % 24 : 0), 8};
  const char* text = reinterpret_cast<const char*>(data);
  const std::size_t at = Validate(text, size);
  Require(at <= size + 1);
  Format f;
  f.columns.resize(1);
  const bool parsed = Parse(text, size, scale, &f);
  Require(parsed == (at == 0));
  if (!parsed) {
    Require(f.columns.size() == 1);
    return 0;
  }
  // Pixel round trips are exact in unit scale: check the full fixed point there.
  Format u;
  Require(Parse(text, size, XScale{1, 1}, &u));
  const std::string w1 = Write(u, XScale{1, 1});
  Require(Validate(w1) == 0);
  Format u2;
  Require(Parse(w1, XScale{1, 1}, &u2));
  Require(SameColumns(u, u2));
  Require(Write(u2, XScale{1, 1}) == w1);
  // Any scale: the written text is valid.
  Require(Validate(Write(f, scale)) == 0);
  return 0;
}
