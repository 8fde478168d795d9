// The environment file: "KEY=value" lines that set the collation, case and digraph tables,
// month names, AM/PM texts, button captions and replacement message texts.
//
// Reading: the file comes in 2048-byte pieces; a line accumulator (bounded) collects bytes up
// to CR, LF or Ctrl-Z. A line's key is at most 31 non-blank characters before "=", its value
// at most 1024 characters after it; longer keys, missing "=", or a control character before
// "=" make the line be skipped. Values: "<nnn" + one closing character is byte nnn (0..255),
// "<<" is "<"; trailing blanks and tabs are removed first.
//
// Item lists: a value starting (after blanks and tabs) with a double quote is a list of
// double-quoted items (doubled quotes inside stand for one); any other value is split at
// commas, except for keys whose value is one text (VELCOLSEQ, VELMSG<n>, unknown keys).
//
// Every table write is bounded by the table's size; nothing here allocates except the
// replacement texts registered with the error module.
#include <cstdlib>
#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/sys.h"
#include "runtime/data/intl.h"

namespace vel {
namespace {

constexpr int kKeyMax = 31;
constexpr int kValueMax = 1024;
constexpr int kLineMax = 2048;
constexpr int kReadBuffer = 2048;
constexpr int kMaxItems = 256;
constexpr int kButtonBase = 32512;

struct Items {
  char text[kValueMax + 1];
  int start[kMaxItems];
  int length[kMaxItems];
  int count = 0;
  // Item n (1-based); empty when missing.
  const char* At(int n, int* len) const {
    if (n < 1 || n > count) {
      *len = 0;
      return "";
    }
    *len = length[n - 1];
    return text + start[n - 1];
  }
};

void SplitItems(const char* v, int n, bool commas, Items* out) {
  int i = 0;
  while (i < n && (v[i] == ' ' || v[i] == '\t')) ++i;
  int t = 0;
  out->count = 0;
  if (i < n && v[i] == '"') {
    while (i < n && out->count < kMaxItems) {
      while (i < n && v[i] != '"') ++i;  // to the next opening quote
      if (i >= n) break;
      ++i;
      out->start[out->count] = t;
      while (i < n) {
        if (v[i] == '"') {
          if (i + 1 < n && v[i + 1] == '"') {
            out->text[t++] = '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out->text[t++] = v[i++];
      }
      out->length[out->count] = t - out->start[out->count];
      ++out->count;
    }
    return;
  }
  out->start[0] = 0;
  for (; i < n; ++i) {
    if (commas && v[i] == ',' && out->count < kMaxItems - 1) {
      out->length[out->count] = t - out->start[out->count];
      ++out->count;
      out->start[out->count] = t;
      continue;
    }
    out->text[t++] = v[i];
  }
  out->length[out->count] = t - out->start[out->count];
  ++out->count;
  if (out->count == 1 && out->length[0] == 0) out->count = 0;
}

bool SameText(const char* a, int n, const char* b) {
  int m = static_cast<int>(std::strlen(b));
  if (n != m) return false;
  for (int i = 0; i < n; ++i)
    if (UpperChar(static_cast<std::uint8_t>(a[i])) != UpperChar(static_cast<std::uint8_t>(b[i]))) return false;
  return true;
}

void CopyItem(char* dst, int size, const char* src, int n, int max) {
  if (n > max) n = max;
  if (n > size - 1) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

// --- collation ----------------------------------------------------------------------------

// Re-ranks the characters of a list (repeats dropped) in one weight table, from identity.
void ApplyCollationList(std::uint8_t* weight, const std::uint8_t* list, int n) {
  for (int c = 0; c < 256; ++c) weight[c] = static_cast<std::uint8_t>(c);
  bool seen[256] = {};
  std::uint8_t unique[256];
  int u = 0;
  bool repeats = false;
  for (int i = 0; i < n; ++i) {
    if (seen[list[i]]) {
      repeats = true;
      continue;
    }
    seen[list[i]] = true;
    unique[u++] = list[i];
  }
  if (n == 222 && !repeats) {
    for (int i = 0; i < 95; ++i) weight[unique[i]] = static_cast<std::uint8_t>(32 + i);
    for (int i = 95; i < 222; ++i) weight[unique[i]] = static_cast<std::uint8_t>(128 + i - 95);
    return;
  }
  std::uint8_t codes[256];
  int k = 0;
  for (int c = 0; c < 256; ++c)
    if (seen[c]) codes[k++] = static_cast<std::uint8_t>(c);
  for (int i = 0; i < u; ++i) weight[unique[i]] = codes[i];
}

void ApplyColSeq(const char* value, int n) {
  CollationTables& t = Collation();
  IntlSettings& s = Intl();
  if (n == 0) {
    for (int c = 0; c < 256; ++c) t.weight[c] = t.weight_oem[c] = static_cast<std::uint8_t>(c);
    return;
  }
  std::uint8_t list[kValueMax];
  std::uint8_t other[kValueMax];
  if (SameText(value, n, "WINDOWS")) {
    s.oem_file = false;
    n = 0;
    list[n++] = 0;
    list[n++] = 1;
    for (int c = 2; c <= 254; ++c) {  // stable insertion sort by the system's comparison
      int j = n;
      while (j > 2 && sys::CompareCharStrings(list[j - 1], static_cast<unsigned char>(c)) > 0) {
        list[j] = list[j - 1];
        --j;
      }
      list[j] = static_cast<std::uint8_t>(c);
      ++n;
    }
  } else {
    std::memcpy(list, value, n);
  }
  std::memcpy(other, list, n);
  if (s.oem_file) {  // the list is OEM text: it goes to the OEM table as it is
    sys::OemToAnsiText(reinterpret_cast<char*>(other), n);
    ApplyCollationList(t.weight_oem, list, n);
    ApplyCollationList(t.weight, other, n);
  } else {
    sys::AnsiToOemText(reinterpret_cast<char*>(other), n);
    ApplyCollationList(t.weight, list, n);
    ApplyCollationList(t.weight_oem, other, n);
  }
}

// --- case -----------------------------------------------------------------------------------

void ClearUpperHalf(CollationTables& t) {
  for (int c = 128; c < 256; ++c) {
    t.partner[c] = static_cast<std::uint8_t>(c);
    t.char_class[c] = 0;
  }
}

void Pair(CollationTables& t, std::uint8_t upper, std::uint8_t lower) {
  t.partner[upper] = lower;
  t.partner[lower] = upper;
  t.char_class[upper] = kCharUpper;
  t.char_class[lower] = kCharLower;
}

void ApplyCase(const Items& items) {
  CollationTables& t = Collation();
  int na, nb;
  const char* a = items.At(1, &na);
  const char* b = items.At(2, &nb);
  if (na == 0 && nb == 0) {  // defaults: A-Z with a-z, digits, nothing above 127
    for (int c = 0; c < 256; ++c) {
      t.partner[c] = static_cast<std::uint8_t>(c);
      t.char_class[c] = 0;
    }
    for (int c = 'A'; c <= 'Z'; ++c) Pair(t, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c + 32));
    for (int c = '0'; c <= '9'; ++c) t.char_class[c] = kCharDigit;
    return;
  }
  ClearUpperHalf(t);
  if (SameText(a, na, "WINDOWS") || na != nb) {
    for (int c = 128; c < 256; ++c) {
      unsigned char uc = static_cast<unsigned char>(c);
      if (!sys::CharIsAlpha(uc) || !sys::CharIsUpper(uc)) continue;
      unsigned char lower = sys::CharToLower(uc);
      if (lower != uc) Pair(t, uc, lower);
    }
    return;
  }
  if (na > 128) na = 128;
  // Only the upper half is rewritten: a partner below 128 would break the A-Z/a-z pairs.
  for (int i = 0; i < na; ++i) {
    std::uint8_t upper = static_cast<std::uint8_t>(a[i]);
    std::uint8_t lower = static_cast<std::uint8_t>(b[i]);
    if (upper >= 128 && lower >= 128) Pair(t, upper, lower);
  }
}

// --- the other keys -------------------------------------------------------------------------

void ApplyMonths(const Items& items, bool abbreviations) {
  IntlSettings& s = Intl();
  for (int m = 0; m < 12; ++m) {
    int n;
    const char* v = items.At(m + 1, &n);
    if (n == 0) break;
    if (abbreviations) CopyItem(s.month_abbr[m], 4, v, n, 3);
    else CopyItem(s.month_name[m], 13, v, n, 12);
  }
}

void ApplyAmPm(const Items& items) {
  IntlSettings& s = Intl();
  int n;
  const char* v = items.At(1, &n);
  if (SameText(v, n, "WINDOWS")) {
    std::memcpy(s.ampm, s.win_ampm, sizeof s.ampm);
    return;
  }
  for (int k = 0; k < 2; ++k) {
    v = items.At(k + 1, &n);
    if (n == 0) break;
    CopyItem(s.ampm[k], 3, v, n, 2);
  }
}

void ApplyDigraphs(const Items& items) {
  CollationTables& t = Collation();
  std::memset(t.digraph, 0, sizeof t.digraph);
  std::memset(t.digraph_oem, 0, sizeof t.digraph_oem);
  int slot = 0;
  for (int i = 1; i <= items.count && slot < kDigraphSlots; ++i) {
    int n;
    const char* v = items.At(i, &n);
    for (int g = 0; g + 3 <= n && slot < kDigraphSlots; g += 3) {
      if (v[g] == 0) continue;  // a slot starting with 0 would end the table
      std::memcpy(t.digraph[slot], v + g, 3);
      t.digraph[slot][3] = 0;
      std::memcpy(t.digraph_oem[slot], v + g, 4);
      sys::AnsiToOemText(t.digraph_oem[slot], 3);
      ++slot;
    }
  }
}

void ApplyButtons(const Items& items) {
  for (int i = 1; i <= items.count; ++i) {
    int n;
    const char* v = items.At(i, &n);
    if (n == 0) continue;
    char text[kValueMax + 1];
    CopyItem(text, sizeof text, v, n, kValueMax);
    SetReplacementText(kButtonBase + i, text);
  }
}

// "VELMSG" followed by decimal digits only; the message number or -1.
long MessageNumber(const char* key, int n) {
  if (n <= 6 || !SameText(key, 6, "VELMSG")) return -1;
  long v = 0;
  for (int i = 6; i < n; ++i) {
    if (key[i] < '0' || key[i] > '9') return -1;
    if (v < 100000000) v = v * 10 + (key[i] - '0');
  }
  return v;
}

void ApplyKey(const char* key, int key_length, char* value, int n) {
  IntlSettings& s = Intl();
  bool colseq = SameText(key, key_length, "VELCOLSEQ");
  if (s.oem_file && !colseq) sys::OemToAnsiText(value, static_cast<std::uint32_t>(n));
  if (colseq) {
    // One text; a quoted form gives the characters of all its items in order.
    static Items items;
    SplitItems(value, n, false, &items);
    int total = 0;
    char list[kValueMax + 1];
    for (int i = 1; i <= items.count; ++i) {
      int len;
      const char* v = items.At(i, &len);
      std::memcpy(list + total, v, len);
      total += len;
    }
    ApplyColSeq(list, total);
    return;
  }
  long message = MessageNumber(key, key_length);
  bool one_text = message >= 0;
  static Items items;
  SplitItems(value, n, !one_text, &items);
  int len;
  const char* first = items.At(1, &len);
  if (message >= 0) {
    char text[kValueMax + 1];
    CopyItem(text, sizeof text, first, len, kValueMax);
    SetReplacementText(static_cast<std::int32_t>(message), text);
  } else if (SameText(key, key_length, "VELCHARSET")) {
    s.oem_file = SameText(first, len, "OEM");
  } else if (SameText(key, key_length, "VELCASE")) {
    ApplyCase(items);
  } else if (SameText(key, key_length, "VELMONTH")) {
    ApplyMonths(items, false);
  } else if (SameText(key, key_length, "VELMON")) {
    ApplyMonths(items, true);
  } else if (SameText(key, key_length, "VELAMPM")) {
    ApplyAmPm(items);
  } else if (SameText(key, key_length, "VELDIGRAPH")) {
    ApplyDigraphs(items);
  } else if (SameText(key, key_length, "VELBUTTON")) {
    ApplyButtons(items);
  } else if (SameText(key, key_length, "VELLFN")) {
    s.long_file_names = SameText(first, len, "on") ? 1 : 0;
  } else if (SameText(key, key_length, "VELSYSTEMCHARSET")) {
    CopyItem(s.system_charset, sizeof s.system_charset, first, len, sizeof s.system_charset - 1);
  }
  // Anything else is an unknown key: ignored.
}

void ProcessLine(const char* line, int n) {
  char key[kKeyMax + 1];
  int k = 0;
  int i = 0;
  for (; i < n && line[i] != '='; ++i) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 32 || c == 127) return;  // a control character before "=": the line is skipped
    if (c == ' ') continue;
    if (k == kKeyMax) return;        // overlong key
    key[k++] = static_cast<char>(c);
  }
  if (i >= n || k == 0) return;      // no "=" (or no key)
  const char* raw = line + i + 1;
  int raw_length = n - i - 1;
  if (raw_length > kValueMax) raw_length = kValueMax;
  while (raw_length > 0 && (raw[raw_length - 1] == ' ' || raw[raw_length - 1] == '\t')) --raw_length;
  char value[kValueMax + 1];
  int v = 0;
  for (int j = 0; j < raw_length;) {
    if (raw[j] == '<' && j + 1 < raw_length && raw[j + 1] == '<') {
      value[v++] = '<';
      j += 2;
    } else if (raw[j] == '<' && j + 1 < raw_length && raw[j + 1] >= '0' && raw[j + 1] <= '9') {
      int code = 0, d = j + 1;
      while (d < raw_length && raw[d] >= '0' && raw[d] <= '9') {
        if (code < 1000) code = code * 10 + (raw[d] - '0');
        ++d;
      }
      if (code > 255) {  // not a byte: the text stays as it is
        value[v++] = raw[j++];
        continue;
      }
      value[v++] = static_cast<char>(code);
      j = d < raw_length ? d + 1 : d;  // the closing mark
    } else {
      value[v++] = raw[j++];
    }
  }
  value[v] = 0;
  ApplyKey(key, k, value, v);
}

// Collects bytes into lines across reads.
struct LineSplitter {
  char line[kLineMax];
  int length = 0;
  void Feed(const char* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      char c = data[i];
      if (c == '\r' || c == '\n' || c == 0x1A) {
        End();
        continue;
      }
      if (length < kLineMax) line[length++] = c;  // the rest of an overlong line is dropped
    }
  }
  void End() {
    if (length) ProcessLine(line, length);
    length = 0;
  }
};

}  // namespace

void ApplyEnvironmentText(const char* data, std::size_t length) {
  Intl().oem_file = false;
  static LineSplitter splitter;
  splitter.length = 0;
  if (data) splitter.Feed(data, length);
  splitter.End();
  Intl().oem_file = false;
}

void ApplyEnvironmentFile(const char* path) {
  if (!path) return;
  sys::File* f = sys::FileOpenRead(path);
  if (!f) return;  // a missing file is ignored and leaves no error
  Intl().oem_file = false;
  static LineSplitter splitter;
  splitter.length = 0;
  static char buffer[kReadBuffer];
  for (int n; (n = sys::FileRead(f, buffer, sizeof buffer)) > 0;) splitter.Feed(buffer, static_cast<std::size_t>(n));
  splitter.End();
  sys::FileClose(f);
  Intl().oem_file = false;
}

}  // namespace vel
