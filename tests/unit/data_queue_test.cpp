// The queue engine: operations and their errors, order rules, stability, cached orders, the hash
// index, storage modes, the list control's rows, and running out of memory.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/core/string_stack.h"
#include "runtime/core/thread_data.h"
#include "runtime/data/queue.h"
#include "runtime/data/queue_threads.h"
#include "support/check.h"
#include "support/queue_model_sort.h"

using namespace vel;
using vel::testing::ModelIds;
namespace qd = vel::queue_debug;

namespace {

// The fatal path returns (after the hook answers) only when the application is not active.
const int g_init = (MemoryInitTerm(0), SetApplicationActive(false), 0);

// --- a small record (plain mode): NAME fixed 20, SIZE long, ID long, FLAG byte, PAD fixed 3 ---
const FieldDesc kSmallFields[] = {
    {"Q:NAME", nullptr, kTypeString, 0, 20, 0, 1, 0},
    {"Q:SIZE", nullptr, kTypeLong, 0, 4, 20, 1, 0},
    {"Q:ID", nullptr, kTypeLong, 0, 4, 24, 1, 0},
    {"Q:FLAG", nullptr, kTypeByte, 0, 1, 28, 1, 0},
    {"Q:PAD", nullptr, kTypeString, 0, 3, 29, 1, 0},
};
const RecordLayout kSmall{5, kSmallFields};
constexpr std::uint32_t kSmallSize = 32;

// --- a large record (compressed, string tails cleared): cstring 100, pstring 40, SIZE, ID, and
// a group of 52 holding a fixed string -----------------------------------------------------------
const FieldDesc kLargeFields[] = {
    {"L:NAME", nullptr, kTypeCString, 0, 100, 0, 1, 0},
    {"L:LABEL", nullptr, kTypePString, 0, 40, 100, 1, 0},
    {"L:SIZE", nullptr, kTypeLong, 0, 4, 140, 1, 0},
    {"L:ID", nullptr, kTypeLong, 0, 4, 144, 1, 0},
    {"L:GRP", nullptr, kTypeGroup, 0, 52, 148, 1, 1},
    {"L:TEXT", nullptr, kTypeString, 0, 52, 148, 1, 0},
};
const RecordLayout kLarge{6, kLargeFields};
constexpr std::uint32_t kLargeSize = 200;

// --- a large record without strings (compressed, no clearing) ----------------------------------
const FieldDesc kNumFields[] = {
    {"N:A", nullptr, kTypeLong, 0, 4, 0, 1, 0},
    {"N:B", nullptr, kTypeReal, 0, 8, 4, 1, 0},
    {"N:DATA", nullptr, kTypeByte, 0, 1, 12, 148, 0},
};
const RecordLayout kNum{3, kNumFields};
constexpr std::uint32_t kNumSize = 160;

struct Small {
  std::uint8_t buf[kSmallSize];
  QueueBlock q{buf, &kSmall, nullptr, kSmallSize};
  Small() { std::memset(buf, ' ', sizeof buf); }
  ~Small() { QueueDestroy(&q); }
  void Set(const std::string& name, std::int32_t size, std::int32_t id, std::uint8_t flag = 0) {
    std::memset(buf, ' ', 20);
    std::memcpy(buf, name.data(), std::min<std::size_t>(name.size(), 20));
    std::memcpy(buf + 20, &size, 4);
    std::memcpy(buf + 24, &id, 4);
    buf[28] = flag;
  }
  std::string Name() const {
    std::string s(reinterpret_cast<const char*>(buf), 20);
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
  std::int32_t Size() const { std::int32_t v; std::memcpy(&v, buf + 20, 4); return v; }
  std::int32_t Id() const { std::int32_t v; std::memcpy(&v, buf + 24, 4); return v; }
  void Add(const std::string& name, std::int32_t size, std::int32_t id) {
    Set(name, size, id);
    QueueAppend(&q);
  }
  // IDs in the current order.
  std::vector<std::int32_t> Ids() {
    std::vector<std::int32_t> ids;
    const std::uint32_t n = QueueRecords(&q);
    for (std::uint32_t i = 1; i <= n; ++i) {
      QueueGetAt(&q, static_cast<std::int32_t>(i));
      ids.push_back(Id());
    }
    return ids;
  }
  bool Valid() {
    const char* reason = "";
    if (!q.engine || qd::Validate(q.engine, &reason)) return true;
    check::Fail(__FILE__, __LINE__, std::string("invalid queue: ") + reason);
    return false;
  }
};

struct Rec {
  std::string name;
  std::int32_t size, id;
};

int CompareRec(const Rec& a, const Rec& b, const std::vector<std::int32_t>& key) {
  for (std::int32_t f : key) {
    int c = 0;
    switch (std::abs(f)) {
      case 1: {
        std::string x = a.name, y = b.name;
        x.resize(20, ' ');
        y.resize(20, ' ');
        c = x < y ? -1 : x > y ? 1 : 0;
        break;
      }
      case 2: c = a.size < b.size ? -1 : a.size > b.size; break;
      case 3: c = a.id < b.id ? -1 : a.id > b.id; break;
    }
    if (c) return f < 0 ? -c : c;
  }
  return 0;
}

std::vector<std::int32_t> SortedIds(const std::vector<Rec>& recs, const std::vector<std::int32_t>& key) {
  return ModelIds(recs, [&](const Rec& a, const Rec& b) { return CompareRec(a, b, key); });
}

std::vector<Rec> RandomRecs(std::mt19937& rng, int n, int names, int sizes) {
  std::vector<Rec> v;
  for (int i = 0; i < n; ++i)
    v.push_back(Rec{"N" + std::to_string(rng() % names), static_cast<std::int32_t>(rng() % sizes), i + 1});
  return v;
}

int AnswerNo(const char*) { return 7; }

std::vector<std::int32_t> KeyOf(const QueueEngine* e, int order) {
  std::int32_t f[16];
  const int n = qd::OrderKey(e, order, f);
  return n < 0 ? std::vector<std::int32_t>{} : std::vector<std::int32_t>(f, f + n);
}

}  // namespace

// --- 1xx operations on an empty queue and their errors ----------------------------------------------

TEST_CASE("queue 101: an empty queue") {
  Small s;
  CHECK_EQ(QueueRecords(&s.q), 0u);
  CHECK(s.q.engine == nullptr);  // counting does not create the engine
  CHECK_EQ(QueuePointer(&s.q), 0u);
  CHECK(s.q.engine != nullptr);
  QueueGetAt(&s.q, 1);
  CHECK_EQ(ErrorCode(), 30);
  const std::int32_t key[] = {1, 0};
  QueueGetKeyed(&s.q, key);
  CHECK_EQ(ErrorCode(), 30);
  QueuePut(&s.q);
  CHECK_EQ(ErrorCode(), 30);
  QueueDelete(&s.q);
  CHECK_EQ(ErrorCode(), 30);
  CHECK_EQ(QueueFieldCount(&s.q), 5u);
  CHECK_EQ(ErrorCode(), 0);
}

TEST_CASE("queue 102: a null declaration block posts 7 and returns 0") {
  const std::int32_t key[] = {1, 0};
  QueueAppend(nullptr);
  CHECK_EQ(ErrorCode(), 7);
  CHECK_EQ(ErrorText(), std::string("Memory Corrupted"));
  QueueAddKeyed(nullptr, key);
  CHECK_EQ(ErrorCode(), 7);
  QueueGetAt(nullptr, 1);
  CHECK_EQ(ErrorCode(), 7);
  QueueSortText(nullptr, "NAME", 4);
  CHECK_EQ(ErrorCode(), 7);
  CHECK_EQ(QueueRecords(nullptr), 0u);
  CHECK_EQ(ErrorCode(), 7);
  CHECK_EQ(QueueChanges(nullptr), 0u);
  CHECK_EQ(QueuePointer(nullptr), 0u);
  CHECK_EQ(QueueFieldCount(nullptr), 0u);
  CHECK_EQ(ErrorCode(), 7);
  QueueFree(nullptr);  // ignored
  CHECK_EQ(ErrorCode(), 0);
  QueueDestroy(nullptr);
  CHECK_EQ(ErrorCode(), 7);
  QueueLoadRow(nullptr, 1);
  CHECK(QueueRowField(nullptr, 1).address == nullptr);
  QueueStoreRow(nullptr);
  Small s;
  QueueFree(&s.q);  // never used: ignored, not created
  CHECK(s.q.engine == nullptr);
}

TEST_CASE("queue 103: positions 0, negative and beyond the count") {
  Small s;
  for (int i = 1; i <= 3; ++i) s.Add("R" + std::to_string(i), i, i);
  QueueGetAt(&s.q, 2);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(s.Id(), 2);
  CHECK_EQ(QueuePointer(&s.q), 2u);
  s.Set("X", 0, 99);
  QueueGetAt(&s.q, 4);
  CHECK_EQ(ErrorCode(), 30);
  CHECK_EQ(s.Id(), 99);  // buffer untouched
  CHECK_EQ(QueuePointer(&s.q), 2u);
  QueueGetAt(&s.q, -1);
  CHECK_EQ(ErrorCode(), 30);
  CHECK_EQ(QueuePointer(&s.q), 2u);
  QueueGetAt(&s.q, 0);  // clears the current record
  CHECK_EQ(ErrorCode(), 30);
  CHECK_EQ(ErrorText(), std::string("Entry Not Found"));
  CHECK_EQ(QueuePointer(&s.q), 0u);
  QueuePut(&s.q);
  CHECK_EQ(ErrorCode(), 30);
  QueueDelete(&s.q);
  CHECK_EQ(ErrorCode(), 30);
  CHECK_EQ(QueueRecords(&s.q), 3u);
}

TEST_CASE("queue 104: field numbers beyond the layout post 75 and change nothing") {
  Small s;
  for (int i = 1; i <= 4; ++i) s.Add("R" + std::to_string(5 - i), i, i);
  const std::uint32_t changes = QueueChanges(&s.q);
  const std::int32_t bad[] = {1, 6, 0};
  const std::int32_t bad_neg[] = {-6, 0};
  QueueSortFields(&s.q, bad);
  CHECK_EQ(ErrorCode(), 75);
  CHECK_EQ(ErrorText(), std::string("Invalid Field Type Descriptor"));
  QueueSortFields(&s.q, bad_neg);
  CHECK_EQ(ErrorCode(), 75);
  QueueAddKeyed(&s.q, bad);
  CHECK_EQ(ErrorCode(), 75);
  QueueGetKeyed(&s.q, bad);
  CHECK_EQ(ErrorCode(), 75);
  CHECK_EQ(QueueRecords(&s.q), 4u);
  CHECK_EQ(QueueChanges(&s.q), changes);
  CHECK(s.Ids() == (std::vector<std::int32_t>{1, 2, 3, 4}));
  CHECK_EQ(qd::OrderCount(s.q.engine), 1);
}

TEST_CASE("queue 105: append, get, put, delete, free, changes and destroy") {
  Small s;
  const std::uint32_t c0 = QueueChanges(&s.q);
  s.Add("A", 1, 1);
  s.Add("B", 2, 2);
  CHECK_EQ(QueueChanges(&s.q), c0 + 2);
  CHECK_EQ(QueuePointer(&s.q), 2u);
  QueueGetAt(&s.q, 1);
  CHECK_EQ(s.Name(), std::string("A"));
  s.Set("A2", 10, 1);
  QueuePut(&s.q);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(QueueChanges(&s.q), c0 + 3);
  s.Set("", 0, 0);
  QueueGetAt(&s.q, 1);
  CHECK_EQ(s.Name(), std::string("A2"));
  CHECK_EQ(s.Size(), 10);
  QueueDelete(&s.q);
  CHECK_EQ(QueueRecords(&s.q), 1u);
  CHECK_EQ(QueuePointer(&s.q), 1u);  // the record that followed
  QueueFree(&s.q);
  CHECK_EQ(QueueRecords(&s.q), 0u);
  CHECK_EQ(QueuePointer(&s.q), 0u);
  CHECK_EQ(QueueChanges(&s.q), c0 + 5);
  s.Add("C", 3, 3);
  CHECK_EQ(QueueRecords(&s.q), 1u);
  QueueDestroy(&s.q);
  CHECK(s.q.engine == nullptr);
  CHECK_EQ(QueueRecords(&s.q), 0u);
}

// --- 2xx order rules and stability ------------------------------------------------------------------

TEST_CASE("queue 201: keyed adds with equal keys keep their arrival order") {
  Small s;
  const std::int32_t key[] = {2, 0};
  int id = 0;
  for (int size : {5, 3, 5, 1, 5, 3}) {
    s.Set("X", size, ++id);
    QueueAddKeyed(&s.q, key);
    CHECK_EQ(ErrorCode(), 0);
  }
  CHECK(s.Ids() == (std::vector<std::int32_t>{4, 2, 6, 1, 3, 5}));
  CHECK(s.Valid());
}

TEST_CASE("queue 202: sorts match the described sort below and above the insertion threshold") {
  std::mt19937 rng(42);
  const std::vector<std::vector<std::int32_t>> keys = {{2}, {-2}, {1, 2}, {1, -2}, {-1}, {2, -1}};
  for (int n : {2, 5, 9, 10, 11, 17, 64, 100, 1000}) {
    for (const auto& key : keys) {
      Small s;
      std::vector<Rec> recs = RandomRecs(rng, n, 4, 5);
      for (const Rec& r : recs) s.Add(r.name, r.size, r.id);
      std::vector<std::int32_t> list = key;
      list.push_back(0);
      QueueSortFields(&s.q, list.data());
      REQUIRE(ErrorCode() == 0);
      if (s.Ids() != SortedIds(recs, key)) {
        check::Fail(__FILE__, __LINE__, "sort of " + std::to_string(n) + " differs from the described sort");
        return;
      }
      // Pairwise: for all a before b, compare(a, b) <= 0.
      std::vector<Rec> got;
      for (std::int32_t i = 1; i <= n; ++i) {
        QueueGetAt(&s.q, i);
        got.push_back(Rec{s.Name(), s.Size(), s.Id()});
      }
      for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n && b < a + 40; ++b) CHECK(CompareRec(got[a], got[b], key) <= 0);
      CHECK(s.Valid());
    }
  }
}

TEST_CASE("queue 203: sorting an already sorted queue by another key, then back") {
  std::mt19937 rng(7);
  Small s;
  std::vector<Rec> recs = RandomRecs(rng, 300, 10, 10);
  for (const Rec& r : recs) s.Add(r.name, r.size, r.id);
  const std::int32_t by_name[] = {1, 0}, by_size[] = {2, 0};
  QueueSortFields(&s.q, by_name);
  const std::vector<std::int32_t> named = s.Ids();
  CHECK(named == SortedIds(recs, {1}));
  QueueSortFields(&s.q, by_size);  // a new cached order from the name order
  std::vector<Rec> in_name_order;
  for (std::int32_t id : named) in_name_order.push_back(recs[id - 1]);
  CHECK(s.Ids() == SortedIds(in_name_order, {2}));
  CHECK_EQ(qd::OrderCount(s.q.engine), 2);
  QueueSortFields(&s.q, by_name);  // cached: no re-sort, same sequence
  CHECK(s.Ids() == named);
  CHECK(s.Valid());
}

TEST_CASE("queue 204: an out-of-sequence append unsorts; a keyed get rebuilds elsewhere") {
  Small s;
  const std::int32_t by_size[] = {2, 0};
  for (int i = 1; i <= 5; ++i) s.Add("R", i * 10, i);
  QueueSortFields(&s.q, by_size);
  CHECK(KeyOf(s.q.engine, 0) == (std::vector<std::int32_t>{2}));
  s.Add("R", 60, 6);  // in sequence: stays sorted
  CHECK(KeyOf(s.q.engine, 0) == (std::vector<std::int32_t>{2}));
  s.Add("R", 15, 7);  // before the last record
  CHECK(KeyOf(s.q.engine, 0).empty());
  const std::vector<std::int32_t> positions = s.Ids();
  CHECK(positions == (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7}));
  s.Set("", 15, 0);
  QueueGetKeyed(&s.q, by_size);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(s.Id(), 7);
  CHECK_EQ(QueuePointer(&s.q), 7u);  // position within the current order
  CHECK(s.Ids() == positions);
  CHECK_EQ(qd::OrderCount(s.q.engine), 2);
  CHECK(s.Valid());
}

TEST_CASE("queue 205: keyed get finds the first equal record, or posts 30") {
  Small s;
  const std::int32_t by_name_desc[] = {-1, 0};
  s.Add("B", 1, 1);
  s.Add("A", 2, 2);
  s.Add("B", 3, 3);
  s.Add("C", 4, 4);
  s.Set("B", 0, 0);
  QueueGetKeyed(&s.q, by_name_desc);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(s.Id(), 1);
  CHECK_EQ(QueuePointer(&s.q), 1u);
  s.Set("BB", 0, 0);
  QueueGetKeyed(&s.q, by_name_desc);
  CHECK_EQ(ErrorCode(), 30);
  CHECK_EQ(s.Name(), std::string("BB"));
  s.Set("C  ", 0, 0);  // trailing blanks do not matter
  QueueGetKeyed(&s.q, by_name_desc);
  CHECK_EQ(s.Id(), 4);
  CHECK_EQ(QueuePointer(&s.q), 4u);
}

TEST_CASE("queue 206: rewriting key fields moves the record in cached orders") {
  Small s;
  const std::int32_t by_size[] = {2, 0}, by_name[] = {1, 0};
  for (int i = 1; i <= 20; ++i) s.Add("N" + std::to_string(i % 7), i, i);
  QueueSortFields(&s.q, by_name);
  s.Set("", 5, 0);
  QueueGetKeyed(&s.q, by_size);  // builds the size order, current stays the name order
  CHECK_EQ(s.Id(), 5);
  s.Set(s.Name(), 100, 5);
  QueuePut(&s.q);
  CHECK_EQ(ErrorCode(), 0);
  CHECK(s.Valid());
  s.Set("", 100, 0);
  QueueGetKeyed(&s.q, by_size);
  CHECK_EQ(s.Id(), 5);
  // Changing the current order's key fields makes it lose its key; positions stay.
  const std::vector<std::int32_t> before = s.Ids();
  QueueGetAt(&s.q, 1);
  s.Set("ZZZ", s.Size(), s.Id());
  QueuePut(&s.q);
  CHECK(s.Ids() == before);
  CHECK(s.Valid());
}

TEST_CASE("queue 207: equal records meeting across a merge: phase R takes equal right ones first") {
  // Ten records: halves [1 3 3 3 3] and [0 1 1 1 1]. Phase R starts at the left half's 1 (L)
  // and takes 0 and then every right 1, which equal L, before L.
  Small s;
  const int sizes[] = {1, 3, 3, 3, 3, 0, 1, 1, 1, 1};
  for (int i = 0; i < 10; ++i) s.Add("R", sizes[i], i + 1);
  const std::int32_t by_size[] = {2, 0};
  QueueSortFields(&s.q, by_size);
  CHECK(s.Ids() == (std::vector<std::int32_t>{6, 7, 8, 9, 10, 1, 2, 3, 4, 5}));
  // Descending, the same: [3 1 1 1 1] and [4 3 3 3 3].
  Small d;
  const int desc_sizes[] = {3, 1, 1, 1, 1, 4, 3, 3, 3, 3};
  for (int i = 0; i < 10; ++i) d.Add("R", desc_sizes[i], i + 1);
  const std::int32_t by_size_desc[] = {-2, 0};
  QueueSortFields(&d.q, by_size_desc);
  CHECK(d.Ids() == (std::vector<std::int32_t>{6, 7, 8, 9, 10, 1, 2, 3, 4, 5}));
  // [1 2 2 3 3] and [0 2 2 3 3]: phase L (R = the first right 2) takes the left 2s before it;
  // back in phase R (L = the left 3) the right 3s go before the left ones.
  Small l;
  const int l_sizes[] = {1, 2, 2, 3, 3, 0, 2, 2, 3, 3};
  for (int i = 0; i < 10; ++i) l.Add("R", l_sizes[i], i + 1);
  QueueSortFields(&l.q, by_size);
  CHECK(l.Ids() == (std::vector<std::int32_t>{6, 1, 2, 3, 7, 8, 9, 10, 4, 5}));
}

TEST_CASE("queue 208: large sorts follow the live collation weights, digraphs included") {
  CollationTables& t = Collation();
  for (int c = 'a'; c <= 'z'; ++c) t.weight[c] = t.weight[c - 32];  // case-insensitive
  std::mt19937 rng(21);
  const char* pieces[] = {"ab", "AB", "Ab", "b", "B", "a ", "\xE6", "ae", "AE"};
  for (int with_digraph = 0; with_digraph < 2; ++with_digraph) {
    if (with_digraph) std::memcpy(t.digraph[0], "\xE6" "AE", 4);
    std::vector<std::string> names;
    std::vector<Rec> recs;
    Small s;
    for (int i = 0; i < 300; ++i) {
      std::string name = std::string(pieces[rng() % 9]) + pieces[rng() % 9] + pieces[rng() % 9];
      names.push_back(name);
      recs.push_back(Rec{name, static_cast<std::int32_t>(rng() % 3), i + 1});
      s.Add(name, recs.back().size, i + 1);
    }
    const std::int32_t key[] = {-1, 2, 0};
    QueueSortFields(&s.q, key);
    auto field = [&](int id) {
      std::string n = names[id - 1];
      n.resize(20, ' ');
      return n;
    };
    // Equal names: SIZE ascending; check through the queue's own records. Equal keys are in
    // the order of the described sort.
    std::vector<std::int32_t> got = s.Ids();
    REQUIRE(got.size() == 300u);
    for (std::size_t i = 1; i < got.size(); ++i) {
      const std::string fa = field(got[i - 1]), fb = field(got[i]);
      const int c = CollateCompare(fa.data(), 20, fb.data(), 20);
      CHECK(c >= 0);
      if (c == 0) {
        QueueGetAt(&s.q, static_cast<std::int32_t>(i));
        const std::int32_t size_a = s.Size();
        QueueGetAt(&s.q, static_cast<std::int32_t>(i + 1));
        CHECK(size_a <= s.Size());
      }
    }
    CHECK(got == ModelIds(recs, [&](const Rec& a, const Rec& b) {
            const std::string fa = field(a.id), fb = field(b.id);
            if (const int c = CollateCompare(fa.data(), 20, fb.data(), 20)) return -c;
            return a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
          }));
  }
  CollationReset();
}

// --- 3xx deleting and the current position -----------------------------------------------------------

TEST_CASE("queue 301: deleting the last position repeatedly empties the queue") {
  Small s;
  for (int i = 1; i <= 30; ++i) s.Add("R", i, i);
  while (QueueRecords(&s.q)) {
    QueueGetAt(&s.q, static_cast<std::int32_t>(QueueRecords(&s.q)));
    QueueDelete(&s.q);
    REQUIRE(ErrorCode() == 0);
    CHECK_EQ(QueuePointer(&s.q), 0u);
  }
  QueueDelete(&s.q);
  CHECK_EQ(ErrorCode(), 30);
}

TEST_CASE("queue 302: deleting position 1 repeatedly leaves the next record current") {
  Small s;
  const std::int32_t by_size[] = {2, 0};
  for (int i = 1; i <= 30; ++i) s.Add("R", 31 - i, i);
  QueueSortFields(&s.q, by_size);
  s.Set("", 3, 0);
  QueueGetKeyed(&s.q, by_size);
  QueueGetAt(&s.q, 1);
  int expected = 30;
  while (QueueRecords(&s.q)) {
    CHECK_EQ(s.Id(), expected);
    QueueDelete(&s.q);
    REQUIRE(ErrorCode() == 0);
    --expected;
    if (QueueRecords(&s.q)) {
      CHECK_EQ(QueuePointer(&s.q), 1u);
      QueueGetAt(&s.q, 1);
    }
    CHECK(s.Valid());
  }
}

TEST_CASE("queue 303: delete after a keyed get removes the found record everywhere") {
  Small s;
  const std::int32_t by_name[] = {1, 0};
  for (int i = 1; i <= 40; ++i) s.Add("K" + std::to_string(i % 9), i, i);
  s.Set("K4", 0, 0);
  QueueGetKeyed(&s.q, by_name);
  const std::int32_t id = s.Id();
  CHECK_EQ(id, 4);
  CHECK_EQ(QueuePointer(&s.q), 4u);
  QueueDelete(&s.q);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(QueuePointer(&s.q), 4u);  // now the record that followed
  QueueGetAt(&s.q, 4);
  CHECK_EQ(s.Id(), 5);
  CHECK_EQ(QueueRecords(&s.q), 39u);
  CHECK(s.Valid());
}

// --- 4xx cached orders ------------------------------------------------------------------------------

TEST_CASE("queue 401: seventeen keys recycle the least recently used order, never the current") {
  Small s;
  for (int i = 1; i <= 20; ++i) s.Add("N" + std::to_string(i % 4), i % 5, i);
  const std::vector<std::vector<std::int32_t>> keys = {
      {1}, {-1}, {2}, {-2}, {3}, {-3}, {4}, {-4}, {1, 2}, {1, -2}, {2, 1}, {-2, 1},
      {3, 1}, {1, 3}, {4, 1}, {1, 4}, {2, 3}};
  auto list = [](std::vector<std::int32_t> k) { k.push_back(0); return k; };
  QueueSortFields(&s.q, list(keys[0]).data());  // re-keys the queue's own order
  CHECK_EQ(qd::OrderCount(s.q.engine), 1);
  for (int i = 1; i < 16; ++i) {
    QueueGetKeyed(&s.q, list(keys[i]).data());
    CHECK_EQ(ErrorCode(), 0);
  }
  CHECK_EQ(qd::OrderCount(s.q.engine), 16);
  CHECK(qd::OrderIsCurrent(s.q.engine, 15));  // least recently used, but current
  QueueGetKeyed(&s.q, list(keys[16]).data());
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(qd::OrderCount(s.q.engine), 16);
  CHECK(KeyOf(s.q.engine, 0) == keys[16]);
  bool has_current = false, has_key1 = false;
  for (int i = 0; i < 16; ++i) {
    has_current |= qd::OrderIsCurrent(s.q.engine, i) && KeyOf(s.q.engine, i) == keys[0];
    has_key1 |= KeyOf(s.q.engine, i) == keys[1];
  }
  CHECK(has_current);
  CHECK(!has_key1);  // the one before the current was recycled
  CHECK(s.Valid());
  // A positional operation makes the current order the most recent again.
  QueueGetAt(&s.q, 1);
  CHECK(qd::OrderIsCurrent(s.q.engine, 0));
}

TEST_CASE("queue 402: random operations keep every cached order in step") {
  std::mt19937 rng(1234);
  Small s;
  const std::vector<std::vector<std::int32_t>> keys = {{2}, {1, -2}, {-3}, {1}, {2, 3}};
  std::vector<Rec> live;
  std::int32_t next_id = 1;
  auto list = [](std::vector<std::int32_t> k) { k.push_back(0); return k; };
  for (int step = 0; step < 1500; ++step) {
    const int op = static_cast<int>(rng() % 10);
    const auto& key = keys[rng() % keys.size()];
    const std::uint32_t n = QueueRecords(&s.q);
    if (op <= 2 || n == 0) {
      Rec r{"N" + std::to_string(rng() % 8), static_cast<std::int32_t>(rng() % 6), next_id++};
      s.Set(r.name, r.size, r.id);
      if (op == 0) QueueAppend(&s.q); else QueueAddKeyed(&s.q, list(key).data());
      live.push_back(r);
    } else if (op == 3) {
      QueueGetAt(&s.q, static_cast<std::int32_t>(1 + rng() % n));
      s.Set("N" + std::to_string(rng() % 8), static_cast<std::int32_t>(rng() % 6), s.Id());
      QueuePut(&s.q);
      for (Rec& r : live)
        if (r.id == s.Id()) r = Rec{s.Name(), s.Size(), s.Id()};
    } else if (op == 4) {
      QueueGetAt(&s.q, static_cast<std::int32_t>(1 + rng() % n));
      const std::int32_t id = s.Id();
      QueueDelete(&s.q);
      live.erase(std::remove_if(live.begin(), live.end(), [&](const Rec& r) { return r.id == id; }), live.end());
    } else if (op <= 6) {
      s.Set("N" + std::to_string(rng() % 8), static_cast<std::int32_t>(rng() % 6), static_cast<std::int32_t>(rng() % next_id));
      QueueGetKeyed(&s.q, list(key).data());
      if (ErrorCode() == 0) {
        // The first record in key order with an equal key.
        bool found = false;
        for (const Rec& r : live) found |= r.id == s.Id();
        CHECK(found);
      }
      if (ErrorCode() == 0 && QueuePointer(&s.q) != 0) {
        const std::int32_t id = s.Id();
        QueueGetAt(&s.q, static_cast<std::int32_t>(QueuePointer(&s.q)));
        CHECK_EQ(s.Id(), id);
      }
    } else if (op == 7) {
      QueueSortFields(&s.q, list(key).data());
    } else {
      QueueGetAt(&s.q, static_cast<std::int32_t>(1 + rng() % n));
      const std::int32_t id = s.Id();
      CHECK_EQ(static_cast<std::uint32_t>(QueuePointer(&s.q)) >= 1u, true);
      CHECK(id > 0);
    }
    REQUIRE(ErrorCode() == 0 || ErrorCode() == 30);
    REQUIRE(QueueRecords(&s.q) == live.size());
    if (step % 25 == 0 && !s.Valid()) return;
  }
  // Every cached sorted order holds the live records in key sequence.
  for (int o = 0; o < qd::OrderCount(s.q.engine); ++o) {
    const std::vector<std::int32_t> key = KeyOf(s.q.engine, o);
    if (key.empty()) continue;
    std::vector<Rec> got;
    for (std::uint32_t i = 0; i < qd::OrderCountOf(s.q.engine, o); ++i) {
      std::uint8_t b[kSmallSize];
      qd::OrderRecord(s.q.engine, o, i, b);
      Rec r;
      r.name = std::string(reinterpret_cast<char*>(b), 20);
      r.name.erase(r.name.find_last_not_of(' ') + 1);
      std::memcpy(&r.size, b + 20, 4);
      std::memcpy(&r.id, b + 24, 4);
      got.push_back(r);
    }
    std::vector<Rec> sorted = live;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Rec& a, const Rec& b) { return CompareRec(a, b, key) < 0; });
    REQUIRE(got.size() == sorted.size());
    for (std::size_t i = 0; i < got.size(); ++i) CHECK_EQ(CompareRec(got[i], sorted[i], key), 0);
  }
}

// --- 5xx the hash index --------------------------------------------------------------------------------

namespace {
// The first record of order `o` whose SIZE (or NAME) equals the probe: a plain scan.
std::int32_t FirstInOrder(const QueueEngine* e, int o, int field, const std::uint8_t* probe) {
  for (std::uint32_t i = 0; i < qd::OrderCountOf(e, o); ++i) {
    std::uint8_t b[kSmallSize];
    qd::OrderRecord(e, o, i, b);
    const FieldDesc& f = kSmallFields[field - 1];
    if (CompareField(f, b, probe) == 0) {
      std::int32_t id;
      std::memcpy(&id, b + 24, 4);
      return id;
    }
  }
  return 0;
}

int FindOrder(const QueueEngine* e, const std::vector<std::int32_t>& key) {
  for (int i = 0; i < qd::OrderCount(e); ++i)
    if (KeyOf(e, i) == key) return i;
  return -1;
}
}  // namespace

TEST_CASE("queue 501: a busy order switches to the hash index and agrees with a plain search") {
  std::mt19937 rng(99);
  for (int field : {2, 1, 4}) {  // 4-byte integer, 20-byte string, 1-byte field
    Small s;
    std::int32_t id = 0;
    for (int i = 0; i < 500; ++i) {
      s.Set("S" + std::to_string(rng() % 120), static_cast<std::int32_t>(rng() % 150), ++id,
            static_cast<std::uint8_t>(rng() % 40));
      QueueAppend(&s.q);
    }
    const std::int32_t by_name[] = {1, 0};
    QueueSortFields(&s.q, by_name);
    const std::int32_t key[] = {field, 0};
    bool hashed = false;
    for (int round = 0; round < 600; ++round) {
      if (round % 50 == 49) REQUIRE(s.Valid());
      const int kind = static_cast<int>(rng() % 10);
      if (kind == 0) {  // keyed add
        s.Set("S" + std::to_string(rng() % 120), static_cast<std::int32_t>(rng() % 150), ++id,
              static_cast<std::uint8_t>(rng() % 40));
        QueueAddKeyed(&s.q, key);
        continue;
      }
      if (kind == 1) {  // delete somewhere
        QueueGetAt(&s.q, static_cast<std::int32_t>(1 + rng() % QueueRecords(&s.q)));
        QueueDelete(&s.q);
        continue;
      }
      if (kind == 2) {  // rewrite the key field
        QueueGetAt(&s.q, static_cast<std::int32_t>(1 + rng() % QueueRecords(&s.q)));
        s.Set("S" + std::to_string(rng() % 120) + (rng() % 2 ? "  " : ""), static_cast<std::int32_t>(rng() % 150),
              s.Id(), static_cast<std::uint8_t>(rng() % 40));
        QueuePut(&s.q);
        continue;
      }
      s.Set("S" + std::to_string(rng() % 130), static_cast<std::int32_t>(rng() % 160), 0,
            static_cast<std::uint8_t>(rng() % 45));
      std::uint8_t probe[kSmallSize];
      std::memcpy(probe, s.buf, kSmallSize);
      QueueGetKeyed(&s.q, key);
      const int o = FindOrder(s.q.engine, {field});
      REQUIRE(o >= 0);
      hashed |= qd::OrderIsHashed(s.q.engine, o);
      const std::int32_t expected = FirstInOrder(s.q.engine, o, field, probe);
      if (expected == 0) {
        CHECK_EQ(ErrorCode(), 30);
      } else {
        CHECK_EQ(ErrorCode(), 0);
        CHECK_EQ(s.Id(), expected);
        QueueGetAt(&s.q, static_cast<std::int32_t>(QueuePointer(&s.q)));
        CHECK_EQ(s.Id(), expected);
      }
    }
    CHECK(hashed);
    CHECK(s.Valid());
  }
}

TEST_CASE("queue 502: a small order does not switch; a shrunken one returns to plain search") {
  Small s;
  for (int i = 1; i <= 30; ++i) s.Add("A", i, i);
  const std::int32_t key[] = {2, 0};
  for (int i = 0; i < 100; ++i) {
    s.Set("", 1 + i % 30, 0);
    QueueGetKeyed(&s.q, key);
  }
  CHECK(!qd::OrderIsHashed(s.q.engine, 0));  // 30 records: not more than 32
  for (int i = 31; i <= 40; ++i) s.Add("A", i, i);
  for (int i = 0; i < 70; ++i) {
    s.Set("", 1 + i % 40, 0);
    QueueGetKeyed(&s.q, key);
  }
  REQUIRE(FindOrder(s.q.engine, {2}) >= 0);
  CHECK(qd::OrderIsHashed(s.q.engine, FindOrder(s.q.engine, {2})));
  while (QueueRecords(&s.q) > 15) {
    QueueGetAt(&s.q, 1);
    QueueDelete(&s.q);
  }
  s.Set("", 38, 0);
  QueueGetKeyed(&s.q, key);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(s.Id(), 38);
  CHECK(!qd::OrderIsHashed(s.q.engine, FindOrder(s.q.engine, {2})));
  CHECK(s.Valid());
}

// --- 6xx storage modes, compression and string tails -----------------------------------------------

namespace {
struct Large {
  std::uint8_t buf[kLargeSize];
  QueueBlock q{buf, &kLarge, nullptr, kLargeSize};
  Large() { std::memset(buf, ' ', sizeof buf); }
  ~Large() { QueueDestroy(&q); }
  void Set(const char* name, const char* label, std::int32_t size, std::int32_t id) {
    std::memset(buf, 0xEE, 140);  // garbage behind both strings
    std::memcpy(buf, name, std::strlen(name) + 1);
    buf[100] = static_cast<std::uint8_t>(std::strlen(label));
    std::memcpy(buf + 101, label, std::strlen(label));
    std::memcpy(buf + 140, &size, 4);
    std::memcpy(buf + 144, &id, 4);
    std::memset(buf + 148, ' ', 52);
  }
  std::int32_t Id() const { std::int32_t v; std::memcpy(&v, buf + 144, 4); return v; }
};
}  // namespace

TEST_CASE("queue 601: storage modes by record size and string fields") {
  Small s;
  QueueFieldCount(&s.q);
  CHECK(qd::StorageMode(s.q.engine) == qd::Mode::kPlain);
  Large l;
  QueueFieldCount(&l.q);
  CHECK(qd::StorageMode(l.q.engine) == qd::Mode::kCompressedClearing);
  std::uint8_t nb[kNumSize];
  QueueBlock n{nb, &kNum, nullptr, kNumSize};
  QueueFieldCount(&n);
  CHECK(qd::StorageMode(n.engine) == qd::Mode::kCompressed);
  QueueDestroy(&n);
}

TEST_CASE("queue 602: string tails are cleared before storing, in the record buffer too") {
  Large l;
  l.Set("AB", "XY", 5, 1);
  QueueAppend(&l.q);
  CHECK_EQ(l.buf[2], 0);
  CHECK_EQ(l.buf[99], 0);
  CHECK_EQ(l.buf[103], 'Y');
  CHECK_EQ(l.buf[139], 'Y');
  std::uint8_t copy[kLargeSize];
  std::memcpy(copy, l.buf, kLargeSize);
  std::memset(l.buf, 0x77, kLargeSize);
  QueueGetAt(&l.q, 1);
  CHECK(std::memcmp(copy, l.buf, kLargeSize) == 0);
  // An empty length-prefixed string repeats its length byte.
  l.Set("", "", 6, 2);
  QueueAppend(&l.q);
  CHECK_EQ(l.buf[139], 0);
  CHECK_EQ(l.buf[1], 0);
}

TEST_CASE("queue 603: a mostly blank record is stored compressed, a random one raw") {
  std::uint8_t nb[kNumSize];
  QueueBlock n{nb, &kNum, nullptr, kNumSize};
  std::memset(nb, ' ', sizeof nb);
  QueueAppend(&n);
  std::mt19937 rng(5);
  std::uint8_t random[kNumSize];
  for (auto& b : random) b = static_cast<std::uint8_t>(rng());
  std::memcpy(nb, random, sizeof nb);
  QueueAppend(&n);
  CHECK(qd::StoredLength(n.engine, 0) > 0);
  CHECK(qd::StoredLength(n.engine, 0) + 16 <= kNumSize);
  CHECK_EQ(qd::StoredLength(n.engine, 1), 0u);
  std::memset(nb, 0, sizeof nb);
  QueueGetAt(&n, 2);
  CHECK(std::memcmp(nb, random, sizeof nb) == 0);
  QueueGetAt(&n, 1);
  for (std::uint8_t b : nb) CHECK_EQ(b, ' ');
  QueueDestroy(&n);
}

TEST_CASE("queue 604: compressed records sort, search, rewrite and delete like plain ones") {
  std::mt19937 rng(8);
  Large l;
  std::vector<Rec> recs;
  for (int i = 1; i <= 200; ++i) {
    const std::string name = "F" + std::to_string(rng() % 30);
    l.Set(name.c_str(), "lbl", static_cast<std::int32_t>(rng() % 10), i);
    QueueAppend(&l.q);
  }
  const std::int32_t by_name_size[] = {1, -3, 0}, by_size[] = {3, 0};
  QueueSortFields(&l.q, by_name_size);
  CHECK_EQ(ErrorCode(), 0);
  l.Set("F7", "", 0, 0);
  const std::int32_t by_name[] = {1, 0};
  QueueGetKeyed(&l.q, by_name);
  if (ErrorCode() == 0) CHECK_EQ(std::string(reinterpret_cast<char*>(l.buf)), std::string("F7"));
  for (int i = 0; i < 50; ++i) {
    QueueGetAt(&l.q, static_cast<std::int32_t>(1 + rng() % QueueRecords(&l.q)));
    std::memset(l.buf + 148, static_cast<int>('a' + i % 26), 52);  // changes the compressed size
    std::int32_t size = static_cast<std::int32_t>(rng() % 10);
    std::memcpy(l.buf + 140, &size, 4);
    QueuePut(&l.q);
    CHECK_EQ(ErrorCode(), 0);
    l.Set("", "", static_cast<std::int32_t>(rng() % 10), 0);
    QueueGetKeyed(&l.q, by_size);
  }
  for (int i = 0; i < 30; ++i) {
    l.Set("", "", static_cast<std::int32_t>(rng() % 12), 0);
    QueueGetKeyed(&l.q, by_size);
  }
  bool hashed = false;
  for (int o = 0; o < qd::OrderCount(l.q.engine); ++o) hashed |= qd::OrderIsHashed(l.q.engine, o);
  CHECK(hashed);
  for (int i = 0; i < 50; ++i) {
    QueueGetAt(&l.q, static_cast<std::int32_t>(1 + rng() % QueueRecords(&l.q)));
    QueueDelete(&l.q);
    CHECK_EQ(ErrorCode(), 0);
    l.Set("", "", static_cast<std::int32_t>(rng() % 12), 0);
    QueueGetKeyed(&l.q, by_size);
    CHECK(ErrorCode() == 0 || ErrorCode() == 30);
  }
  CHECK_EQ(QueueRecords(&l.q), 150u);
  const char* reason = "";
  CHECK(qd::Validate(l.q.engine, &reason));
}

TEST_CASE("queue 209: large sorts by key bytes match the described sort: signed and descending fields, long names, ties") {
  // Names of up to 20 bytes, high bytes included, drawn from a small pool (ties on the name);
  // with SIZE and FLAG more than 16 key bytes vary, so equal leading bytes reach the records.
  std::mt19937 rng(209);
  std::vector<std::string> pool;
  for (int i = 0; i < 150; ++i) {
    std::string name(1 + rng() % 20, ' ');
    for (char& c : name) c = static_cast<char>(rng() % 3 == 0 ? 0xA0 + rng() % 96 : 'a' + rng() % 4);
    pool.push_back(name);
  }
  const std::int32_t sizes[] = {INT32_MIN, -70000, -1, 0, 1, 255, 256, 70000, INT32_MAX};
  struct Row {
    std::string name;
    std::int32_t size, id;
    std::uint8_t flag;
  };
  std::vector<Row> rows;
  for (int i = 1; i <= 1500; ++i)
    rows.push_back(Row{pool[rng() % pool.size()], sizes[rng() % 9], i, static_cast<std::uint8_t>(rng() % 3 ? 7 : 200)});
  auto compare = [](const Row& a, const Row& b, std::int32_t f) {
    std::string x = a.name, y = b.name;
    x.resize(20, ' ');
    y.resize(20, ' ');
    int c = 0;
    switch (std::abs(f)) {
      case 1: c = x < y ? -1 : x > y; break;
      case 2: c = a.size < b.size ? -1 : a.size > b.size; break;
      case 4: c = a.flag < b.flag ? -1 : a.flag > b.flag; break;
    }
    return f < 0 ? -c : c;
  };
  const std::vector<std::vector<std::int32_t>> keys = {{1, 2}, {-1, -2}, {2, -4, 1}, {-2}, {4, -2}, {1, -4}, {-4}};
  for (const auto& key : keys) {
    Small s;
    for (const Row& r : rows) {
      s.Set(r.name, r.size, r.id, r.flag);
      QueueAppend(&s.q);
    }
    std::vector<std::int32_t> list = key;
    list.push_back(0);
    QueueSortFields(&s.q, list.data());
    REQUIRE(ErrorCode() == 0);
    const std::vector<std::int32_t> ids = ModelIds(rows, [&](const Row& a, const Row& b) {
      for (std::int32_t f : key)
        if (const int c = compare(a, b, f)) return c;
      return 0;
    });
    if (s.Ids() != ids) check::Fail(__FILE__, __LINE__, "sort by key " + std::to_string(key[0]) + " differs from the described sort");
    CHECK(s.Valid());
  }
}

TEST_CASE("queue 605: large compressed sorts whose key has no byte form, first or later, match the described sort") {
  // NAME is a zero-terminated string: as the first field the sort compares records only; after
  // SIZE it ends the key bytes, so equal sizes are decided by the records.
  std::mt19937 rng(605);
  struct Row {
    std::string name;
    std::int32_t size, id;
  };
  std::vector<Row> rows;
  for (int i = 1; i <= 400; ++i)
    rows.push_back(Row{"F" + std::to_string(rng() % 40), static_cast<std::int32_t>(rng() % 7) - 3, i});
  const std::vector<std::vector<std::int32_t>> keys = {{3, 1}, {-3, -1}, {1, 3}, {-1, -3}};
  for (const auto& key : keys) {
    Large l;
    for (const Row& r : rows) {
      l.Set(r.name.c_str(), "lbl", r.size, r.id);
      QueueAppend(&l.q);
    }
    std::vector<std::int32_t> list = key;
    list.push_back(0);
    QueueSortFields(&l.q, list.data());
    REQUIRE(ErrorCode() == 0);
    const std::vector<std::int32_t> want = ModelIds(rows, [&](const Row& a, const Row& b) {
      for (std::int32_t f : key) {
        const int c = std::abs(f) == 1 ? (a.name < b.name ? -1 : a.name > b.name) : (a.size < b.size ? -1 : a.size > b.size);
        if (c) return f < 0 ? -c : c;
      }
      return 0;
    });
    for (std::uint32_t i = 0; i < want.size(); ++i) {
      QueueGetAt(&l.q, static_cast<std::int32_t>(i + 1));
      if (l.Id() != want[i]) {
        check::Fail(__FILE__, __LINE__, "compressed sort differs from the described sort at " + std::to_string(i + 1));
        break;
      }
    }
  }
}

// --- large sorts through packed key codes ---------------------------------------------------------------

namespace {

std::string RandomText(std::mt19937& rng, int length, int first, int values) {
  std::string t(length, ' ');
  for (char& c : t) c = static_cast<char>(first + rng() % values);
  return t;
}

// Fills a Small queue with recs, sorts it by key and compares its sequence with the described sort.
bool SortsAsDescribed(const std::vector<Rec>& recs, const std::vector<std::int32_t>& key) {
  Small s;
  for (const Rec& r : recs) s.Add(r.name, r.size, r.id);
  std::vector<std::int32_t> list = key;
  list.push_back(0);
  QueueSortFields(&s.q, list.data());
  return ErrorCode() == 0 && s.Ids() == SortedIds(recs, key) && s.Valid();
}

}  // namespace

TEST_CASE("queue 210: large sorts by codes of every width match the described sort, ties included") {
  // The key codes take about 10 bits (SIZE below 1000), 37 (numbered names and SIZE below
  // 100,000), 92 (twelve letters and any SIZE) and 160 bits (twenty bytes of any value: the
  // first 128 bits are packed and equal ones are decided by the records). Names come from a
  // small pool, so equal keys meet across merges.
  std::mt19937 rng(210);
  struct Width {
    const char* what;
    std::vector<std::string> pool;
    std::uint32_t sizes;  // SIZE below this, or any value when 0
  };
  std::vector<Width> widths = {{"10 bits", {"X"}, 1000}, {"37 bits", {}, 100000}, {"92 bits", {}, 0}, {"160 bits", {}, 0}};
  for (int i = 0; i < 3000; ++i) widths[1].pool.push_back("F" + std::to_string(rng() % 100000));
  for (int i = 0; i < 300; ++i) widths[2].pool.push_back(RandomText(rng, 12, 'a', 26));
  for (int i = 0; i < 150; ++i) widths[3].pool.push_back(RandomText(rng, 20, 0, 256));
  for (const Width& w : widths) {
    std::vector<Rec> recs;
    for (int i = 1; i <= 3000; ++i) {
      const std::uint32_t size = w.sizes ? static_cast<std::uint32_t>(rng() % w.sizes) : static_cast<std::uint32_t>(rng());
      recs.push_back(Rec{w.pool[rng() % w.pool.size()], static_cast<std::int32_t>(size), i});
    }
    for (const auto& key : std::vector<std::vector<std::int32_t>>{{1, 2}, {-1, 2}, {2, -1}, {-2}})
      if (!SortsAsDescribed(recs, key))
        check::Fail(__FILE__, __LINE__, std::string(w.what) + ": sort by " + std::to_string(key[0]) + " differs from the described sort");
  }
}

TEST_CASE("queue 211: a key whose fields lie more than a kilobyte apart sorts as described") {
  // TEXT at the record's start, NUM 1,300 bytes further on (the record is stored compressed).
  const FieldDesc far_fields[] = {
      {"W:TEXT", nullptr, kTypeString, 0, 12, 0, 1, 0},
      {"W:FILL", nullptr, kTypeString, 0, 1288, 12, 1, 0},
      {"W:NUM", nullptr, kTypeLong, 0, 4, 1300, 1, 0},
      {"W:ID", nullptr, kTypeLong, 0, 4, 1304, 1, 0},
  };
  const RecordLayout far{4, far_fields};
  std::mt19937 rng(211);
  std::vector<Rec> recs;
  for (int i = 1; i <= 200; ++i)
    recs.push_back(Rec{"T" + std::to_string(rng() % 10), static_cast<std::int32_t>(rng() % 20) - 10, i});
  // NUM is the queue's field 3 and the model's field 2.
  for (const auto& key : std::vector<std::vector<std::int32_t>>{{1, 2}, {-2, 1}}) {
    std::vector<std::uint8_t> buf(1308, ' ');
    QueueBlock q{buf.data(), &far, nullptr, 1308};
    for (const Rec& r : recs) {
      std::memset(buf.data(), ' ', 12);
      std::memcpy(buf.data(), r.name.data(), r.name.size());
      std::memcpy(buf.data() + 1300, &r.size, 4);
      std::memcpy(buf.data() + 1304, &r.id, 4);
      QueueAppend(&q);
    }
    std::vector<std::int32_t> list;
    for (std::int32_t f : key) list.push_back(std::abs(f) == 2 ? (f < 0 ? -3 : 3) : f);
    list.push_back(0);
    QueueSortFields(&q, list.data());
    REQUIRE(ErrorCode() == 0);
    std::vector<std::int32_t> ids;
    for (std::int32_t i = 1; i <= 200; ++i) {
      QueueGetAt(&q, i);
      std::int32_t id;
      std::memcpy(&id, buf.data() + 1304, 4);
      ids.push_back(id);
    }
    CHECK(ids == SortedIds(recs, key));
    QueueDestroy(&q);
  }
}

TEST_CASE("queue 212: empty, single, all-equal and reversed queues sort as described") {
  const std::int32_t by_size[] = {2, 0}, by_name_size[] = {1, -2, 0};
  Small empty;
  QueueSortFields(&empty.q, by_size);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(QueueRecords(&empty.q), 0u);
  Small one;
  one.Add("ONLY", 7, 1);
  QueueSortFields(&one.q, by_name_size);
  CHECK_EQ(ErrorCode(), 0);
  CHECK(one.Ids() == (std::vector<std::int32_t>{1}));
  one.Set("ONLY", 7, 0);
  QueueGetKeyed(&one.q, by_name_size);
  CHECK_EQ(one.Id(), 1);
  // Every key equal: the sequence stays, below and above the size that packs codes.
  for (int n : {9, 10, 63, 64, 1000}) {
    std::vector<Rec> recs;
    for (int i = 1; i <= n; ++i) recs.push_back(Rec{"SAME", 5, i});
    std::vector<std::int32_t> ids(n);
    for (int i = 0; i < n; ++i) ids[i] = i + 1;
    Small s;
    for (const Rec& r : recs) s.Add(r.name, r.size, r.id);
    QueueSortFields(&s.q, by_name_size);
    CHECK(s.Ids() == ids);
  }
  // Keys arriving in the opposite order, with runs of equal ones.
  std::vector<Rec> falling;
  for (int i = 1; i <= 2000; ++i) falling.push_back(Rec{"N" + std::to_string(1000 - i / 3), 2000 - i / 7, i});
  CHECK(SortsAsDescribed(falling, {1, 2}));
  CHECK(SortsAsDescribed(falling, {2}));
  CHECK(SortsAsDescribed(falling, {-2, -1}));
}

TEST_CASE("queue 213: names differing only in letter case are equal under a case-blind collation") {
  CollationTables& t = Collation();
  for (int c = 'a'; c <= 'z'; ++c) t.weight[c] = t.weight[c - 32];
  std::mt19937 rng(213);
  const char* names[] = {"readme.txt", "Readme.txt", "README.TXT", "ReadMe.Txt", "index.htm", "INDEX.HTM", "Index.htm"};
  std::vector<Rec> recs;
  for (int i = 1; i <= 600; ++i) recs.push_back(Rec{names[rng() % 7], static_cast<std::int32_t>(rng() % 4), i});
  auto fold = [](std::string n) {
    for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    n.resize(20, ' ');
    return n;
  };
  for (const auto& key : std::vector<std::vector<std::int32_t>>{{1, 2}, {-1, -2}, {1}}) {
    Small s;
    for (const Rec& r : recs) s.Add(r.name, r.size, r.id);
    std::vector<std::int32_t> list = key;
    list.push_back(0);
    QueueSortFields(&s.q, list.data());
    const std::vector<std::int32_t> want = ModelIds(recs, [&](const Rec& a, const Rec& b) {
      for (std::int32_t f : key) {
        int c = std::abs(f) == 1 ? fold(a.name).compare(fold(b.name)) : (a.size < b.size ? -1 : a.size > b.size);
        c = c < 0 ? -1 : c > 0;
        if (c) return f < 0 ? -c : c;
      }
      return 0;
    });
    CHECK(s.Ids() == want);
  }
  CollationReset();
}

// --- 7xx sort strings ---------------------------------------------------------------------------------

TEST_CASE("queue 701: sort strings with blanks, commas and signs") {
  Small s;
  s.Add("B", 2, 1);
  s.Add("A", 1, 2);
  s.Add("B", 1, 3);
  s.Add("A", 2, 4);
  const char text[] = "  -Q:NAME ,, +size";
  QueueSortText(&s.q, text, sizeof text - 1);
  CHECK_EQ(ErrorCode(), 0);
  CHECK(KeyOf(s.q.engine, 0) == (std::vector<std::int32_t>{-1, 2}));
  CHECK(s.Ids() == (std::vector<std::int32_t>{3, 1, 2, 4}));
  const std::uint32_t changes = QueueChanges(&s.q);
  QueueSortText(&s.q, "-NAME,SIZZE", 11);
  CHECK_EQ(ErrorCode(), 75);
  CHECK(s.Ids() == (std::vector<std::int32_t>{3, 1, 2, 4}));
  for (const char* blank : {"", "   ", " ,\t,\r\n "}) {
    QueueSortText(&s.q, blank, static_cast<std::uint32_t>(std::strlen(blank)));
    CHECK_EQ(ErrorCode(), 0);
    CHECK(s.Ids() == (std::vector<std::int32_t>{3, 1, 2, 4}));
  }
  CHECK_EQ(QueueChanges(&s.q), changes);
}

TEST_CASE("queue 703: the sort string comes from the string stack, which is left balanced") {
  Small s;
  s.Add("A", 1, 1);
  s.Add("B", 2, 2);
  StackPushCString("-NAME");
  QueueSortString(&s.q);
  CHECK_EQ(ErrorCode(), 0);
  CHECK(s.Ids() == (std::vector<std::int32_t>{2, 1}));
  StackPushCString("NAME");
  QueueSortString(nullptr);
  CHECK_EQ(ErrorCode(), 7);
  std::string longer(300, ' ');
  longer.replace(253, 4, "size");  // only "si" is left in 255 bytes
  StackPushString(longer.data(), 300);
  QueueSortString(&s.q);
  CHECK_EQ(ErrorCode(), 75);
  CHECK(s.Ids() == (std::vector<std::int32_t>{2, 1}));
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("queue 702: sort string limits: 255 bytes, 16 items, lone signs") {
  std::int32_t keys[17];
  std::string many;
  for (int i = 0; i < 20; ++i) many += (i % 2 ? "-size " : "name ");
  CHECK_EQ(QueueParseSortString(kSmall, many.data(), static_cast<std::uint32_t>(many.size()), keys), 16);
  CHECK_EQ(keys[15], -2);
  CHECK_EQ(keys[16], 0);
  std::string longer(300, ' ');
  longer.replace(253, 4, "name");  // crosses the 255-byte cut: "na" is left, an unknown name
  CHECK_EQ(QueueParseSortString(kSmall, longer.data(), 300, keys), -1);
  std::string tail(300, ' ');
  tail.replace(260, 4, "name");  // beyond the cut: nothing left
  CHECK_EQ(QueueParseSortString(kSmall, tail.data(), 300, keys), 0);
  CHECK_EQ(QueueParseSortString(kSmall, "-", 1, keys), -1);
  CHECK_EQ(QueueParseSortString(kSmall, "name\0size", 9, keys), 1);
  Small s;
  QueueSortText(&s.q, longer.data(), 300);
  CHECK_EQ(ErrorCode(), 75);
}

// --- 8xx the list control's rows ------------------------------------------------------------------------

TEST_CASE("queue 801: load, read and store rows without moving the current record") {
  Small s;
  for (int i = 1; i <= 5; ++i) s.Add("R" + std::to_string(i), i * 10, i);
  const std::int32_t by_size[] = {2, 0};
  QueueSortFields(&s.q, by_size);
  s.Set("", 30, 0);
  QueueGetKeyed(&s.q, by_size);
  const std::uint32_t pointer = QueuePointer(&s.q);
  QueueEngine* e = s.q.engine;
  CHECK_EQ(QueueLoadRow(e, -1), 1);
  CHECK_EQ(QueueLoadRow(e, 6), 1);
  CHECK_EQ(QueueLoadRow(e, 4), 0);
  TypedRef f = QueueRowField(e, 2);
  std::int32_t v;
  std::memcpy(&v, f.address, 4);
  CHECK_EQ(v, 40);
  CHECK_EQ(f.type, kTypeLong);
  CHECK(QueueRowField(e, 9).address == nullptr);
  // The list negates a value and stores the row back; it moves in the size order only as
  // far as its key says.
  v = 45;
  std::memcpy(f.address, &v, 4);
  QueueStoreRow(e);
  CHECK(s.Valid());
  QueueGetAt(&s.q, 4);
  CHECK_EQ(s.Size(), 45);
  CHECK_EQ(QueuePointer(&s.q), 4u);
  (void)pointer;
  // Row 0 is the record buffer.
  s.Set("BUF", 7, 77);
  CHECK_EQ(QueueLoadRow(e, 0), 0);
  std::memcpy(&v, QueueRowField(e, 3).address, 4);
  CHECK_EQ(v, 77);
  v = 78;
  std::memcpy(QueueRowField(e, 3).address, &v, 4);
  CHECK_EQ(s.Id(), 77);  // a copy, not the buffer
  QueueStoreRow(e);
  CHECK_EQ(s.Id(), 78);
  CHECK_EQ(QueueRecords(&s.q), 5u);
}

TEST_CASE("queue 802: compressed rows store back into their record, keeping orders sorted") {
  Large l;
  for (int i = 1; i <= 20; ++i) {
    l.Set(("N" + std::to_string(i)).c_str(), "x", 20 - i, i);
    QueueAppend(&l.q);
  }
  const std::int32_t by_size[] = {3, 0};
  l.Set("", "", 3, 0);
  QueueGetKeyed(&l.q, by_size);  // a cached size order beside the insertion order
  QueueEngine* e = l.q.engine;
  REQUIRE(QueueLoadRow(e, 2) == 0);
  std::int32_t v = 100;
  std::memcpy(QueueRowField(e, 3).address, &v, 4);
  std::memset(QueueRowField(e, 6).address, 'q', 52);
  QueueStoreRow(e);
  const char* reason = "";
  CHECK(qd::Validate(e, &reason));
  QueueGetAt(&l.q, 2);
  std::memcpy(&v, l.buf + 140, 4);
  CHECK_EQ(v, 100);
  CHECK_EQ(l.buf[199], 'q');
  // A row loaded before other calls is still the one written back.
  REQUIRE(QueueLoadRow(e, 3) == 0);
  std::memset(QueueRowField(e, 6).address, 'z', 52);
  QueueRecords(&l.q);
  QueuePointer(&l.q);
  l.Set("", "", 7, 0);
  QueueGetKeyed(&l.q, by_size);
  QueueGetAt(&l.q, 1);
  QueueStoreRow(e);
  QueueGetAt(&l.q, 3);
  CHECK_EQ(l.buf[199], 'z');
  CHECK(qd::Validate(e, &reason));
  // A deleted row's record is forgotten.
  REQUIRE(QueueLoadRow(e, 1) == 0);
  QueueGetAt(&l.q, 1);
  QueueDelete(&l.q);
  QueueStoreRow(e);
  CHECK_EQ(QueueRecords(&l.q), 19u);
}

// --- 9xx running out of memory ------------------------------------------------------------------------

namespace {
struct Snapshot {
  std::vector<std::int32_t> ids;
  int orders;
};
Snapshot Take(Small& s) {
  Snapshot snap{{}, qd::OrderCount(s.q.engine)};
  for (std::uint32_t i = 0; i < qd::OrderCountOf(s.q.engine, 0); ++i) {
    std::uint8_t b[kSmallSize];
    qd::OrderRecord(s.q.engine, 0, i, b);
    std::int32_t id;
    std::memcpy(&id, b + 24, 4);
    snap.ids.push_back(id);
  }
  std::sort(snap.ids.begin(), snap.ids.end());
  return snap;
}

// Runs `op` on a fresh queue with the n-th and every later allocation failing, for n = 1, 2 ...
// until it succeeds; each failure must leave the queue as it was.
template <typename Op>
void EveryFailurePoint(const char* what, Op op) {
  SetFatalErrorHook(AnswerNo);
  for (std::uint32_t n = 1; n < 100; ++n) {
    Small s;
    for (int i = 1; i <= 300; ++i) s.Add("R" + std::to_string(i % 13), i % 7, i);
    const std::int32_t by_size[] = {2, 0};
    s.Set("", 3, 0);
    QueueGetKeyed(&s.q, by_size);
    QueueGetAt(&s.q, 5);
    const Snapshot before = Take(s);
    mem::FailAllocation(n, true);
    op(s);
    mem::FailAllocation(0);
    const std::int32_t code = ErrorCode();
    if (code != 8 && code != 501) {
      CHECK_EQ(code, 0);
      SetFatalErrorHook(nullptr);
      return;
    }
    const Snapshot after = Take(s);
    if (after.ids != before.ids || !s.Valid()) {
      check::Fail(__FILE__, __LINE__, std::string(what) + ": changed after failure " + std::to_string(n));
      break;
    }
  }
  SetFatalErrorHook(nullptr);
  check::Fail(__FILE__, __LINE__, std::string(what) + ": never succeeded");
}
}  // namespace

TEST_CASE("queue 901: running out of memory never corrupts a queue") {
  EveryFailurePoint("append", [](Small& s) { s.Add("NEW", 1, 1000); });
  EveryFailurePoint("keyed add", [](Small& s) {
    const std::int32_t k[] = {1, 3, 0};
    s.Set("NEW", 1, 1000);
    QueueAddKeyed(&s.q, k);
  });
  EveryFailurePoint("sort", [](Small& s) {
    const std::int32_t k[] = {-3, 0};
    QueueSortFields(&s.q, k);
  });
  EveryFailurePoint("keyed get", [](Small& s) {
    const std::int32_t k[] = {1, -2, 0};
    s.Set("R5", 5, 0);
    QueueGetKeyed(&s.q, k);
  });
  EveryFailurePoint("put", [](Small& s) {
    QueueGetAt(&s.q, 9);
    s.Set("CHANGED", 99, s.Id());
    QueuePut(&s.q);
  });
  EveryFailurePoint("delete", [](Small& s) {
    QueueGetAt(&s.q, 9);
    QueueDelete(&s.q);
  });
}

TEST_CASE("queue 902: the engine cannot be created: 8, and the block stays empty") {
  SetFatalErrorHook(AnswerNo);
  Small s;
  mem::FailAllocation(1);
  QueueAppend(&s.q);
  CHECK_EQ(ErrorCode(), 8);
  CHECK_EQ(ErrorText(), std::string("Insufficient Memory"));
  CHECK(s.q.engine == nullptr);
  for (std::uint32_t n = 2; n <= 8; ++n) {
    mem::FailAllocation(n);
    QueueAppend(&s.q);
    mem::FailAllocation(0);
    if (ErrorCode() == 0) break;
    CHECK(ErrorCode() == 8 || ErrorCode() == 501);  // 501: the first record array growth
    // Either creation failed (no engine) or the record could not be stored (no record).
    CHECK(s.q.engine == nullptr || QueueRecords(&s.q) == 0);
    QueueDestroy(&s.q);
  }
  CHECK_EQ(QueueRecords(&s.q), 1u);
  SetFatalErrorHook(nullptr);
}

TEST_CASE("queue 903: a full record array stops with 501 and adds nothing") {
  SetFatalErrorHook(AnswerNo);
  Small s;
  for (int i = 1; i <= 64; ++i) s.Add("R", i, i);  // class 6 is full
  mem::FailAllocation(2);  // the record itself is the first request, the array's growth the second
  s.Add("R", 65, 65);
  mem::FailAllocation(0);
  CHECK_EQ(ErrorCode(), 501);
  CHECK_EQ(QueueRecords(&s.q), 64u);
  CHECK(s.Valid());
  s.Add("R", 65, 65);
  CHECK_EQ(ErrorCode(), 0);
  CHECK_EQ(QueueRecords(&s.q), 65u);
  SetFatalErrorHook(nullptr);
}

TEST_CASE("queue 904: a compressed rewrite that cannot get its new block changes nothing") {
  Large l;
  for (int i = 1; i <= 10; ++i) {
    l.Set(("N" + std::to_string(i)).c_str(), "lbl", i, i);
    QueueAppend(&l.q);
  }
  const std::int32_t by_size[] = {3, 0};
  l.Set("", "", 4, 0);
  QueueGetKeyed(&l.q, by_size);
  QueueGetAt(&l.q, 4);
  std::memset(l.buf + 148, 'k', 52);
  std::int32_t size = 99;
  std::memcpy(l.buf + 140, &size, 4);
  mem::FailAllocation(1);
  QueuePut(&l.q);
  mem::FailAllocation(0);
  CHECK_EQ(ErrorCode(), 8);
  QueueGetAt(&l.q, 4);
  std::memcpy(&size, l.buf + 140, 4);
  CHECK_EQ(size, 4);
  CHECK_EQ(l.buf[199], ' ');
  const char* reason = "";
  CHECK(qd::Validate(l.q.engine, &reason));
}

// A queue declared per thread: each thread slot gets a queue of its own in its copy of the
// block, and the records of an ended thread are released with its copy (a leak would fail the
// sanitizer build's leak check; a second release of the loaded thread's queue would be a double
// free).
TEST_CASE("queue 905: a large sort that cannot have its code blocks compares records, with the same order") {
  // The sort's allocations: its temporary array (failing it posts 8 and changes nothing),
  // then the blocks of the packed codes (failing them leaves the records to be compared).
  std::mt19937 rng(905);
  const std::vector<Rec> recs = RandomRecs(rng, 500, 40, 6);
  const std::vector<std::int32_t> want = SortedIds(recs, {-1, 2});
  const std::int32_t key[] = {-1, 2, 0};
  for (const bool sticky : {false, true})
    for (std::uint32_t n = 1; n <= 4; ++n) {
      Small s;
      for (const Rec& r : recs) s.Add(r.name, r.size, r.id);
      const std::vector<std::int32_t> before = s.Ids();
      mem::FailAllocation(n, sticky);
      QueueSortFields(&s.q, key);
      mem::FailAllocation(0);
      if (ErrorCode() == 8) {
        CHECK(s.Ids() == before);
        CHECK(KeyOf(s.q.engine, 0).empty());
      } else {
        CHECK_EQ(ErrorCode(), 0);
        CHECK(s.Ids() == want);
      }
      CHECK(s.Valid());
    }
}

TEST_CASE("per-thread queues: a queue per thread, released with its thread") {
  QueueThreadsInitTerm(0);
  Small s;  // its record buffer; the per-thread block is the queue header
  static QueueBlock master{};
  master = s.q;
  const QueueBlock initial = s.q;
  static ThreadDataDescriptor d{};
  d = ThreadDataDescriptor{&master, sizeof master, &initial, kThreadDataQueue, {}};
  ThreadDataRegister(&d, &d + 1);
  ThreadDataCreate(1);
  ThreadDataLoad(0);
  for (int i = 0; i < 3; ++i) QueueAppend(&master);
  ThreadDataSwitch(0, 1);
  CHECK_EQ(QueueRecords(&master), 0u);
  for (int i = 0; i < 2; ++i) QueueAppend(&master);
  ThreadDataSwitch(1, 0);
  CHECK_EQ(QueueRecords(&master), 3u);
  ThreadDataRelease(1);  // ended while not loaded
  CHECK_EQ(QueueRecords(&master), 3u);
  ThreadDataSave(0);
  ThreadDataRelease(0);  // ended while loaded: the master forgets the destroyed queue
  CHECK(master.engine == nullptr);
  CHECK_EQ(QueueRecords(&master), 0u);
  ThreadDataReset();
  QueueThreadsInitTerm(1);
}
