// Typed values (comparison by data type, hashes, field lookup), the run-length codec and the
// record array's classes.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/data/queue_rle.h"
#include "runtime/data/record_array.h"
#include "runtime/data/typed_value.h"
#include "support/check.h"

using namespace vel;

namespace {

// The fatal path returns (after the hook answers) only when the application is not active.
const int g_init = (MemoryInitTerm(0), SetApplicationActive(false), 0);

using Bytes = std::vector<std::uint8_t>;

template <typename T>
Bytes Of(T v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

Bytes Fixed(const char* s, std::size_t size) {
  Bytes b(size, ' ');
  std::memcpy(b.data(), s, std::strlen(s) < size ? std::strlen(s) : size);
  return b;
}

Bytes CStr(const char* s, std::size_t size, std::uint8_t filler = 0xAA) {
  Bytes b(size, filler);
  std::memcpy(b.data(), s, std::strlen(s) + 1);
  return b;
}

Bytes PStr(const char* s, std::size_t size) {
  Bytes b(size, 0x55);
  b[0] = static_cast<std::uint8_t>(std::strlen(s));
  std::memcpy(b.data() + 1, s, std::strlen(s));
  return b;
}

// Packed decimal from a digit string with sign; leading-sign (type 10) or trailing (type 11).
Bytes Packed(const char* digits, bool negative, std::size_t size, bool leading) {
  std::vector<int> nib;
  const std::size_t count = 2 * size - 1, len = std::strlen(digits);
  for (std::size_t i = 0; i < count - len; ++i) nib.push_back(0);
  for (std::size_t i = 0; i < len; ++i) nib.push_back(digits[i] - '0');
  if (leading)
    nib.insert(nib.begin(), negative ? 0xF : 0);
  else
    nib.push_back(negative ? 0xD : 0xF);
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(nib[2 * i] << 4 | nib[2 * i + 1]);
  return b;
}

// For all a before b in `sorted`, compare(a, b) < 0 and compare(b, a) > 0; equal to itself.
void CheckAscending(std::uint8_t type, std::uint32_t size, const std::vector<Bytes>& sorted,
                    std::uint8_t places = 0) {
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    CHECK_EQ(CompareSameType(type, size, places, sorted[i].data(), sorted[i].data()), 0);
    for (std::size_t j = i + 1; j < sorted.size(); ++j) {
      if (CompareSameType(type, size, places, sorted[i].data(), sorted[j].data()) >= 0 ||
          CompareSameType(type, size, places, sorted[j].data(), sorted[i].data()) <= 0)
        check::Fail(__FILE__, __LINE__,
                    "type " + std::to_string(type) + ": value " + std::to_string(i) +
                        " does not sort before value " + std::to_string(j));
    }
  }
}

void CheckEqualAndHash(std::uint8_t type, std::uint32_t size, const Bytes& a, const Bytes& b,
                       std::uint8_t places = 0) {
  CHECK_EQ(CompareSameType(type, size, places, a.data(), b.data()), 0);
  CHECK_EQ(HashValue(type, size, places, a.data(), 7), HashValue(type, size, places, b.data(), 7));
}

}  // namespace

// --- 1xx comparison by data type -----------------------------------------------------------------

TEST_CASE("typed 101: integers order pairwise by type") {
  CheckAscending(kTypeByte, 1, {Of<std::uint8_t>(0), Of<std::uint8_t>(1), Of<std::uint8_t>(127), Of<std::uint8_t>(128), Of<std::uint8_t>(255)});
  CheckAscending(kTypeShort, 2, {Of<std::int16_t>(-32768), Of<std::int16_t>(-1), Of<std::int16_t>(0), Of<std::int16_t>(1), Of<std::int16_t>(32767)});
  CheckAscending(kTypeUShort, 2, {Of<std::uint16_t>(0), Of<std::uint16_t>(1), Of<std::uint16_t>(32767), Of<std::uint16_t>(32768), Of<std::uint16_t>(65535)});
  for (std::uint8_t t : {kTypeLong4, kTypeLong5, kTypeLong})
    CheckAscending(t, 4, {Of<std::int32_t>(INT32_MIN), Of<std::int32_t>(-1), Of<std::int32_t>(0), Of<std::int32_t>(1), Of<std::int32_t>(INT32_MAX)});
  CheckAscending(kTypeULong, 4, {Of<std::uint32_t>(0), Of<std::uint32_t>(1), Of<std::uint32_t>(0x7FFFFFFF), Of<std::uint32_t>(0x80000000u), Of<std::uint32_t>(0xFFFFFFFFu)});
}

TEST_CASE("typed 102: floating values order pairwise; -0 equals 0") {
  CheckAscending(kTypeSReal, 4, {Of<float>(-1e30f), Of<float>(-1.5f), Of<float>(0.0f), Of<float>(1e-30f), Of<float>(2.5f)});
  for (std::uint8_t t : {kTypeReal, kTypeReal13, kTypeReal14})
    CheckAscending(t, 8, {Of<double>(-1e300), Of<double>(-2.0), Of<double>(0.0), Of<double>(1e-300), Of<double>(3.25)});
  CheckEqualAndHash(kTypeReal, 8, Of<double>(0.0), Of<double>(-0.0));
  // The x87 extended format (10 bytes): 1.0 = mantissa 0x8000000000000000, exponent 16383.
  auto ext = [](std::uint64_t m, std::uint16_t se) {
    Bytes b(10);
    std::memcpy(b.data(), &m, 8);
    std::memcpy(b.data() + 8, &se, 2);
    return b;
  };
  CheckAscending(kTypeReal14, 10, {ext(0xC000000000000000ull, 0xC000),  // -3
                                   ext(0x8000000000000000ull, 0xBFFF),  // -1
                                   ext(0, 0),                           // 0
                                   ext(0x8000000000000000ull, 0x3FFF),  // 1
                                   ext(0xC000000000000000ull, 0x4000)}); // 3
  Bytes keep = ext(0xC000000000000000ull, 0x4000);
  TypedRef r{keep.data(), kTypeReal14, 0, 10};
  CHECK_EQ(ValueAsDouble(r), 3.0);
}

TEST_CASE("typed 103: packed decimals order pairwise; negative zero equals zero") {
  for (bool leading : {true, false}) {
    const std::uint8_t t = leading ? kTypeDecimal : kTypePDecimal;
    CheckAscending(t, 3, {Packed("99999", true, 3, leading), Packed("12", true, 3, leading),
                          Packed("1", true, 3, leading), Packed("0", false, 3, leading),
                          Packed("1", false, 3, leading), Packed("10", false, 3, leading),
                          Packed("99999", false, 3, leading)}, 2);
    CheckEqualAndHash(t, 3, Packed("0", true, 3, leading), Packed("0", false, 3, leading), 2);
  }
  // A trailing sign other than 0xD is positive.
  Bytes c = Packed("5", false, 2, false);
  c[1] = static_cast<std::uint8_t>((c[1] & 0xF0) | 0x0C);
  CheckEqualAndHash(kTypePDecimal, 2, c, Packed("5", false, 2, false));
  Bytes v = Packed("12345", true, 3, true);
  char text[32];
  ValueAsText(TypedRef{v.data(), kTypeDecimal, 2, 3}, text, sizeof text);
  CHECK_EQ(std::string(text), std::string("-123.45"));
}

TEST_CASE("typed 104: strings collate with trailing blanks insignificant") {
  CheckAscending(kTypeString, 6, {Fixed("", 6), Fixed("A", 6), Fixed("AB", 6), Fixed("ABC", 6), Fixed("B", 6), Fixed("a", 6)});
  CheckEqualAndHash(kTypeString, 6, Fixed("ABC", 6), Fixed("ABC   ", 6));
  CheckAscending(kTypeCString, 8, {CStr("", 8), CStr("A", 8), CStr("AB", 8), CStr("B", 8)});
  // Bytes after the terminator do not count.
  CheckEqualAndHash(kTypeCString, 8, CStr("AB", 8, 0x11), CStr("AB", 8, 0x99));
  CheckEqualAndHash(kTypeCString, 8, CStr("AB  ", 8), CStr("AB", 8));
  CheckAscending(kTypePString, 8, {PStr("", 8), PStr("A", 8), PStr("AB", 8), PStr("B", 8)});
  CheckEqualAndHash(kTypePString, 8, PStr("AB", 8), PStr("AB ", 8));
  // A length byte beyond the field is bounded by it.
  Bytes big = PStr("ABCDEFG", 8);
  big[0] = 200;
  CHECK_EQ(PStringLength(big.data(), 8), 7u);
  // A group compares as a fixed string over its whole size.
  CheckAscending(kTypeGroup, 4, {Fixed("AA", 4), Fixed("AB", 4), Fixed("B", 4)});
}

TEST_CASE("typed 105: general conversion across types and sizes") {
  auto i16 = Of<std::int16_t>(-5);
  auto i32 = Of<std::int32_t>(7);
  auto d = Of<double>(6.5);
  auto s = Fixed("7", 4);
  TypedRef ri16{i16.data(), kTypeShort, 0, 2}, ri32{i32.data(), kTypeLong, 0, 4},
      rd{d.data(), kTypeReal, 0, 8}, rs{s.data(), kTypeString, 0, 4};
  CHECK(CompareTyped(ri16, ri32) < 0);
  CHECK(CompareTyped(ri32, rd) > 0);
  CHECK(CompareTyped(rd, ri32) < 0);
  CHECK_EQ(CompareTyped(ri32, rs), 0);  // "7" against "7   "
  auto c1 = CStr("XY", 5), f1 = Fixed("XY", 3);
  CHECK_EQ(CompareTyped(TypedRef{c1.data(), kTypeCString, 0, 5}, TypedRef{f1.data(), kTypeString, 0, 3}), 0);
}

TEST_CASE("typed 106: field lookup by name, second name and without prefix") {
  const FieldDesc fields[] = {
      {"DLS:NAME", nullptr, kTypeString, 0, 10, 0, 1, 0},
      {"DLS:SIZE", "FileSize", kTypeLong, 0, 4, 10, 1, 0},
  };
  const RecordLayout layout{2, fields};
  CHECK_EQ(FindFieldByName(layout, "dls:name", 8), 1u);
  CHECK_EQ(FindFieldByName(layout, "Name", 4), 1u);
  CHECK_EQ(FindFieldByName(layout, "FILESIZE", 8), 2u);
  CHECK_EQ(FindFieldByName(layout, "size", 4), 2u);
  CHECK_EQ(FindFieldByName(layout, "NAM", 3), 0u);
  CHECK_EQ(FindFieldByName(layout, "NAMEX", 5), 0u);
  CHECK(LayoutField(layout, 0) == nullptr);
  CHECK(LayoutField(layout, 3) == nullptr);
  std::uint8_t rec[14] = {};
  TypedRef r = FieldRef(layout, 2, rec);
  CHECK(r.address == rec + 10);
  CHECK_EQ(r.type, kTypeLong);
}

TEST_CASE("typed 107: every string element inside groups and arrays is visited") {
  // GRP (2 elements of 12 bytes) holds C (cstring 8) and P (pstring 4); then S (fixed, skipped)
  // and an array of 3 cstrings of 5.
  const FieldDesc fields[] = {
      {"GRP", nullptr, kTypeGroup, 0, 12, 0, 2, 2},
      {"C", nullptr, kTypeCString, 0, 8, 0, 1, 0},
      {"P", nullptr, kTypePString, 0, 4, 8, 1, 0},
      {"S", nullptr, kTypeString, 0, 4, 24, 1, 0},
      {"ARR", nullptr, kTypeCString, 0, 5, 28, 3, 0},
  };
  const RecordLayout layout{5, fields};
  std::uint8_t rec[43] = {};
  std::vector<std::ptrdiff_t> seen;
  ForEachVariableString(layout, rec, [&](std::uint8_t* p, const FieldDesc&) { seen.push_back(p - rec); });
  const std::vector<std::ptrdiff_t> expected = {0, 8, 12, 20, 28, 33, 38};
  CHECK(seen == expected);
}

// --- 2xx the run-length codec ----------------------------------------------------------------------

namespace {
Bytes Encode(const Bytes& in, std::uint32_t capacity) {
  Bytes out(capacity + 8);
  const std::uint32_t n = rle::Encode(in.data(), static_cast<std::uint32_t>(in.size()), out.data(), capacity);
  out.resize(n);
  return out;
}
bool RoundTrip(const Bytes& in) {
  Bytes enc = Encode(in, static_cast<std::uint32_t>(in.size()) * 2 + 64);
  if (enc.empty()) return in.empty();
  Bytes dec(in.size());
  return rle::Decode(enc.data(), static_cast<std::uint32_t>(enc.size()), dec.data(),
                     static_cast<std::uint32_t>(dec.size())) == in.size() && dec == in;
}
}  // namespace

TEST_CASE("rle 201: three equal bytes at the end are a run, in the middle a literal") {
  Bytes end = {'a', 'b', 'x', 'x', 'x'};
  CHECK(Encode(end, 100) == (Bytes{0x82, 'a', 'b', 0x03, 'x'}));
  Bytes mid = {'x', 'x', 'x', 'a', 'b'};
  CHECK(Encode(mid, 100) == (Bytes{0x85, 'x', 'x', 'x', 'a', 'b'}));
  Bytes four = {'a', 'y', 'y', 'y', 'y', 'b'};
  CHECK(Encode(four, 100) == (Bytes{0x81, 'a', 0x04, 'y', 0x81, 'b'}));
  Bytes two_end = {'a', 'z', 'z'};
  CHECK(Encode(two_end, 100) == (Bytes{0x83, 'a', 'z', 'z'}));
}

TEST_CASE("rle 202: count forms at their boundaries") {
  struct Row { std::uint32_t count; Bytes header; };
  const Row rows[] = {
      {63, {0x3F}}, {64, {0x40, 0x40}}, {8191, {0x5F, 0xFF}},
      {8192, {0x7F, 0x00, 0x20}}, {65535, {0x7F, 0xFF, 0xFF}}, {65536, {0x70, 0x00, 0x00, 0x01, 0x00}},
  };
  for (const Row& r : rows) {
    Bytes run(r.count, 'q');
    Bytes enc = Encode(run, r.count);
    Bytes expected = r.header;
    expected.push_back('q');
    CHECK(enc == expected);
    CHECK(RoundTrip(run));
    // The same count as a literal: alternating bytes never form runs.
    Bytes lit(r.count);
    for (std::uint32_t i = 0; i < r.count; ++i) lit[i] = static_cast<std::uint8_t>(i & 1);
    Bytes enc2 = Encode(lit, r.count * 2);
    REQUIRE(enc2.size() == r.header.size() + r.count);
    CHECK_EQ(enc2[0], static_cast<std::uint8_t>(r.header[0] | 0x80));
    CHECK(RoundTrip(lit));
  }
}

TEST_CASE("rle 203: the encoder gives up when the output would reach its capacity") {
  Bytes random(100);
  std::mt19937 rng(3);
  for (auto& b : random) b = static_cast<std::uint8_t>(rng());
  CHECK(Encode(random, 86).empty());  // 102 bytes of output needed (2-byte header)
  CHECK_EQ(Encode(random, 103).size(), 102u);
  CHECK(Encode(random, 102).empty());  // reaching the capacity is giving up too
  Bytes blanks(200, ' ');
  CHECK_EQ(Encode(blanks, 186).size(), 3u);
}

TEST_CASE("rle 204: random and patterned round trips") {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    Bytes in(1 + rng() % 600);
    const int style = round % 3;
    for (std::size_t i = 0; i < in.size(); ++i)
      in[i] = style == 0 ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>(rng() % (style == 1 ? 2 : 40) == 0 ? rng() : 'a');
    if (!RoundTrip(in)) {
      check::Fail(__FILE__, __LINE__, "round trip failed in round " + std::to_string(round));
      break;
    }
  }
}

TEST_CASE("rle 205: the decoder refuses damaged streams") {
  std::uint8_t out[16];
  const Bytes cases[] = {
      {0x40},                    // two-byte header without its count byte
      {0x7F, 0x01},              // 16-bit count cut short
      {0x70, 0x01, 0x00, 0x00},  // 32-bit count cut short
      {0x03},                    // run without its byte
      {0x85, 'a', 'b'},          // literal overruns the input
      {0x11, 'x'},               // 17 bytes into 16
      {0x82, 'a', 'b', 0x0F, 'c'},  // 2 + 15 bytes into 16
      {0x70, 0x00, 0x00, 0x00, 0x80, 'x'},  // huge count
  };
  for (const Bytes& c : cases)
    CHECK_EQ(rle::Decode(c.data(), static_cast<std::uint32_t>(c.size()), out, sizeof out), 0u);
  // The two-byte form is read for low bits up to 0x2F (counts to 12287), as written by others.
  std::vector<std::uint8_t> big(12287);
  const Bytes wide = {0x6F, 0xFF, 'z'};
  CHECK_EQ(rle::Decode(wide.data(), 3, big.data(), 12287), 12287u);
  CHECK_EQ(big[12286], 'z');
}

// --- 3xx record array classes ---------------------------------------------------------------------

namespace {
int g_fatal_calls = 0;
int AnswerNo(const char*) {
  ++g_fatal_calls;
  return 7;  // sys::kAnswerNo
}
}  // namespace

TEST_CASE("array 301: capacity classes grow one at a time and shrink at their thresholds") {
  CHECK_EQ(RecordArrayCapacity(9), 1024u);
  CHECK_EQ(RecordArrayCapacity(13), 16000u);
  CHECK_EQ(RecordArrayCapacity(28), 10000000u);
  CHECK_EQ(RecordArrayCapacity(37), 100000000u);
  CHECK_EQ(RecordArrayShrinkThreshold(6), 0u);
  CHECK_EQ(RecordArrayShrinkThreshold(7), 48u);
  CHECK_EQ(RecordArrayShrinkThreshold(37), 89000000u);
  for (std::uint8_t c = 7; c < kRecordArrayClasses; ++c)
    CHECK(RecordArrayShrinkThreshold(c) < RecordArrayCapacity(static_cast<std::uint8_t>(c - 1)));
  RecordArray a;
  for (std::uintptr_t i = 1; i <= 300; ++i) REQUIRE(RecordArrayAppend(a, reinterpret_cast<void*>(i)));
  CHECK_EQ(a.cls, 9);  // 300 > 256
  while (a.count > 96) RecordArrayRemove(a, 0);
  CHECK_EQ(a.cls, 8);   // at 192 it went down to 256
  RecordArrayRemove(a, 0);
  CHECK_EQ(a.cls, 7);   // 96 <= 96: down to 128
  CHECK_EQ(reinterpret_cast<std::uintptr_t>(a.items[0]), 206u);
  CHECK_EQ(reinterpret_cast<std::uintptr_t>(a.items[a.count - 1]), 300u);
  RecordArrayRelease(a);
}

TEST_CASE("array 302: storage that cannot be had stops with 501 and leaves the array intact") {
  SetFatalErrorHook(AnswerNo);
  RecordArray a;
  for (std::uintptr_t i = 1; i <= 8; ++i) RecordArrayAppend(a, reinterpret_cast<void*>(i));
  g_fatal_calls = 0;
  mem::FailAllocation(1);
  CHECK(!RecordArrayAppend(a, reinterpret_cast<void*>(99)));
  CHECK_EQ(g_fatal_calls, 1);
  CHECK_EQ(ErrorCode(), 501);
  CHECK_EQ(a.count, 8u);
  CHECK_EQ(a.cls, 3);
  CHECK(RecordArrayAppend(a, reinterpret_cast<void*>(9)));
  CHECK_EQ(a.cls, 4);
  RecordArrayRelease(a);
  SetFatalErrorHook(nullptr);
  ClearError();
}

// --- 4xx consistency with the live collation tables ------------------------------------------------

TEST_CASE("collate 401: texts that compare equal hash alike under folded weights and digraphs") {
  CollationTables& t = Collation();
  for (int c = 'a'; c <= 'z'; ++c) t.weight[c] = t.weight[c - 32];  // case-insensitive weights
  std::memcpy(t.digraph[0], "\xE6" "AE", 4);                        // one byte collating as "AE"
  std::memcpy(t.digraph[1], "\xF1  ", 4);                           // one collating as two blanks
  const char alphabet[] = {'a', 'A', 'e', 'E', ' ', '\xE6', '\xF1', 'b'};
  std::mt19937 rng(17);
  std::vector<std::string> texts;
  for (int i = 0; i < 400; ++i) {
    std::string s;
    const int n = static_cast<int>(rng() % 6);
    for (int k = 0; k < n; ++k) s += alphabet[rng() % sizeof alphabet];
    texts.push_back(s);
  }
  int equal_pairs = 0;
  for (const std::string& a : texts)
    for (const std::string& b : texts)
      if (CollateTexts(a.data(), a.size(), b.data(), b.size()) == 0) {
        ++equal_pairs;
        if (CollateHash(a.data(), a.size(), 1) != CollateHash(b.data(), b.size(), 1)) {
          check::Fail(__FILE__, __LINE__, "equal texts hash apart: '" + a + "' '" + b + "'");
          CollationReset();
          return;
        }
      }
  CHECK(equal_pairs > 1000);
  const char ae[] = "\xE6", AE[] = "ae";
  CHECK_EQ(CollateTexts(ae, 1, AE, 2), 0);
  CollationReset();
}
