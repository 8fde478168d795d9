// Name binding: the table's shape (anchor, catalogue, ordering), BIND's name normalisation and
// result types, rebinding, groups, scopes and the unmatched POPSCOPE, the per-thread state, and
// running out of memory part-way.
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/binding.h"
#include "support/check.h"

using namespace vel;

namespace {

const int g_init = (MemoryInitTerm(0), SetApplicationActive(false), 0);

std::vector<std::string> g_fatal;
int AnswerNo(const char* message) {
  g_fatal.push_back(message);
  return sys::kAnswerNo;
}

void Fresh() {
  BindingInitTerm(1);
  ClearError();
  g_fatal.clear();
  SetFatalErrorHook(AnswerNo);
}

std::int32_t g_vars[8];
TypedRef Var(int i, std::uint8_t type = kTypeLong, std::uint32_t size = 4) {
  return TypedRef{&g_vars[i], type, 0, size};
}

void BindName(const std::string& name, const TypedRef& v) {
  BindText(name.data(), static_cast<std::uint32_t>(name.size()), v);
}
const NameEntry* Find(const std::string& name) {
  return BindingFind(name.data(), static_cast<std::uint32_t>(name.size()));
}

std::string Upper(const char* s) {
  std::string u = s;
  for (char& c : u) c = static_cast<char>(UpperChar(static_cast<std::uint8_t>(c)));
  return u;
}

// In-order walk without recursion; checks every left subtree sorts before and every right
// subtree after its entry (case ignored), and returns the names in order.
std::vector<std::string> InOrder(const NameEntry* root, bool* ordered) {
  std::vector<std::string> names;
  std::vector<const NameEntry*> stack;
  const NameEntry* at = root;
  while (at || !stack.empty()) {
    while (at) {
      stack.push_back(at);
      at = at->left;
    }
    at = stack.back();
    stack.pop_back();
    names.push_back(at->name);
    at = at->right;
  }
  *ordered = true;
  for (std::size_t i = 1; i < names.size(); ++i)
    if (!(Upper(names[i - 1].c_str()) < Upper(names[i].c_str()))) *ordered = false;
  return names;
}

std::size_t Count(const NameEntry* root) {
  bool ordered;
  return InOrder(root, &ordered).size();
}

}  // namespace

TEST_CASE("binding: the first BIND creates the anchor and the whole catalogue") {
  Fresh();
  CHECK(BindingRoot() == nullptr);
  BindName("Total", Var(0));
  const NameEntry* root = BindingRoot();
  REQUIRE(root != nullptr);
  CHECK_EQ(std::string(root->name), std::string("MMMMMMM"));
  CHECK_EQ(root->kind, kNameAnchor);
  std::uint32_t n = 0;
  const CatalogueRow* rows = Catalogue(&n);
  CHECK_EQ(n, 55u);
  CHECK_EQ(Count(root), 57u);  // anchor + 55 + Total
  int function = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    const NameEntry* e = Find(rows[i].name);
    REQUIRE(e != nullptr);
    CHECK_EQ(e->kind, rows[i].kind);
    CHECK_EQ(e->result, rows[i].result);
    if (rows[i].kind == kNameKeyword) {
      CHECK_EQ(static_cast<int>(e->token), 16 + static_cast<int>(i));
    } else {
      CHECK_EQ(e->builtin.function, ++function);  // entered in order of function numbers
      CHECK_EQ(e->builtin.arguments, rows[i].arguments);
      CHECK_EQ(e->builtin.extra, 0);
    }
  }
  CHECK_EQ(function, 51);
  const struct {
    const char* name;
    int args, number, result;
  } spot[] = {{"MEMORY", 1, 1, 1}, {"SUB", 3, 2, 4},      {"INSTRING", 4, 3, 1}, {"ABS", 1, 17, 2},
              {"TODAY", 0, 35, 1}, {"CHOOSE", 25, 42, 4}, {"INLIST", 25, 43, 1}, {"SQL", 0, 47, 0},
              {"SHORTPATH", 1, 51, 4}, {"GETINI", 4, 44, 4}, {"LOG10", 1, 21, 2}};
  for (const auto& s : spot) {
    const NameEntry* e = Find(s.name);
    REQUIRE(e != nullptr);
    CHECK_EQ(e->builtin.arguments, s.args);
    CHECK_EQ(e->builtin.function, s.number);
    CHECK_EQ(static_cast<int>(e->result), s.result);
  }
  const char* keywords[] = {"NOT", "AND", "OR", "XOR"};
  for (int i = 0; i < 4; ++i) {
    CHECK_EQ(static_cast<int>(Find(keywords[i])->token), 16 + i);
    CHECK_EQ(Find(keywords[i])->result, kResultNone);
  }
  bool ordered = false;
  InOrder(root, &ordered);
  CHECK(ordered);
  CHECK(Find("sqrt") != nullptr && Find("Sqrt") == Find("SQRT"));  // case is ignored
  CHECK(Find("NOSUCH") == nullptr);
  ReleaseAllScopes();
  CHECK(BindingRoot() == nullptr);
}

TEST_CASE("binding: name normalisation keeps the identifier run and one #, $ or quote") {
  const struct {
    const char* in;
    const char* kept;
  } rows[] = {
      {"Total$ extra", "Total$"}, {"cust:name", "cust:name"}, {"a_b#c", "a_b#"}, {"x\"y", "x\""},
      {"count$$", "count$"},      {"L9:Z_1 = 3", "L9:Z_1"},   {"name(3)", "name"}, {"$lead", "$"},
      {"  blank", ""},            {"", ""},                   {"abc\xff", "abc"},
  };
  for (const auto& r : rows) {
    std::uint32_t n = NormalisedNameLength(r.in, static_cast<std::uint32_t>(std::strlen(r.in)));
    CHECK_EQ(std::string(r.in, n), std::string(r.kept));
  }
  Fresh();
  BindName("Total$ extra", Var(0));
  BindName("cust:name", Var(1));
  CHECK(Find("Total$") != nullptr && Find("TOTAL$") != nullptr && Find("Total") == nullptr);
  CHECK_EQ(std::string(Find("CUST:NAME")->name), std::string("cust:name"));
  // Letters beyond ASCII count when the character-class table says so.
  Collation().char_class[0xE9] |= kCharLower;
  BindName("caf\xe9 au lait", Var(2));
  CHECK(Find("caf\xe9") != nullptr);
  CollationReset();
  ReleaseAllScopes();
}

TEST_CASE("binding: result types from the variable's type code, the reference copied") {
  Fresh();
  const struct {
    std::uint8_t type;
    ResultType result;
  } rows[] = {{1, kResultInteger},  {2, kResultInteger}, {3, kResultInteger}, {4, kResultInteger},
              {5, kResultInteger},  {6, kResultInteger}, {7, kResultReal},    {8, kResultReal},
              {9, kResultReal},     {10, kResultReal},   {11, kResultReal},   {13, kResultReal},
              {14, kResultReal},    {17, kResultReal},   {18, kResultString}, {19, kResultString},
              {20, kResultString},  {22, kResultString}};
  int i = 0;
  for (const auto& r : rows) {
    std::string name = "V" + std::to_string(i++);
    TypedRef v{&g_vars[0], r.type, 2, 7};
    BindName(name, v);
    const NameEntry* e = Find(name);
    REQUIRE(e != nullptr);
    CHECK_EQ(e->kind, kNameVariable);
    CHECK_EQ(e->result, r.result);
    REQUIRE(e->variable != nullptr);
    CHECK(e->variable->address == &g_vars[0]);
    CHECK_EQ(e->variable->type, r.type);
    CHECK_EQ(e->variable->places, 2);
    CHECK_EQ(e->variable->size, 7u);
  }
  ReleaseAllScopes();
}

TEST_CASE("binding: binding a name again rebinds it, builtins and the anchor included") {
  Fresh();
  BindName("Count", Var(0));
  const NameEntry* first = Find("Count");
  BindName("COUNT", Var(1, kTypeString, 20));
  CHECK(Find("count") == first);  // same node, first spelling
  CHECK_EQ(std::string(first->name), std::string("Count"));
  CHECK(first->variable->address == &g_vars[1]);
  CHECK_EQ(first->result, kResultString);
  std::size_t before = Count(BindingRoot());
  BindName("abs", Var(2, kTypeReal, 8));
  CHECK_EQ(Count(BindingRoot()), before);
  CHECK_EQ(Find("ABS")->kind, kNameVariable);
  CHECK_EQ(std::string(Find("ABS")->name), std::string("ABS"));
  BindName("MMMMMMM", Var(3));
  CHECK_EQ(BindingRoot()->kind, kNameVariable);
  CHECK(BindingRoot()->variable->address == &g_vars[3]);
  BindName("mmmmmmm", Var(4));  // and again: the old copy is released (the leak checker sees it)
  CHECK(BindingRoot()->variable->address == &g_vars[4]);
  ReleaseAllScopes();
}

TEST_CASE("binding: names are cut to 100 bytes, empty names are not entered") {
  Fresh();
  std::string longer(150, 'A');
  StackPushString(longer.data(), static_cast<std::uint32_t>(longer.size()));
  Bind(Var(0));
  CHECK_EQ(StackDepth(), 0);
  CHECK(Find(std::string(100, 'A')) != nullptr);
  CHECK_EQ(std::strlen(Find(std::string(100, 'a'))->name), 100u);
  ReleaseAllScopes();
  const char* empty_names[] = {"", " x", "(", "\x01name"};
  for (const char* n : empty_names) {
    StackPushCString(n);
    Bind(Var(0));
  }
  CHECK(BindingRoot() == nullptr);
  CHECK_EQ(StackDepth(), 0);
}

TEST_CASE("binding: a group binds every field under its name and its second name") {
  Fresh();
  const FieldDesc fields[] = {
      {"CUS:NAME", "CustomerName", kTypeString, 0, 30, 0, 1, 0},
      {"CUS:ADDR", nullptr, kTypeGroup, 0, 44, 30, 1, 2},
      {"CUS:STREET", nullptr, kTypeString, 0, 40, 30, 1, 0},
      {"CUS:NO", "HouseNo", kTypeLong, 0, 4, 70, 1, 0},
      {"CUS:BAL", nullptr, kTypeDecimal, 2, 6, 74, 1, 0},
  };
  const RecordLayout layout{5, fields};
  std::uint8_t record[80];
  BindGroup(layout, record);
  const struct {
    const char* name;
    std::uint32_t offset;
    std::uint8_t type;
    ResultType result;
  } rows[] = {{"CUS:NAME", 0, kTypeString, kResultString},     {"CUSTOMERNAME", 0, kTypeString, kResultString},
              {"CUS:ADDR", 30, kTypeGroup, kResultString},     {"CUS:STREET", 30, kTypeString, kResultString},
              {"CUS:NO", 70, kTypeLong, kResultInteger},       {"houseno", 70, kTypeLong, kResultInteger},
              {"CUS:BAL", 74, kTypeDecimal, kResultReal}};
  for (const auto& r : rows) {
    const NameEntry* e = Find(r.name);
    REQUIRE(e != nullptr);
    CHECK(e->variable->address == record + r.offset);
    CHECK_EQ(e->variable->type, r.type);
    CHECK_EQ(e->result, r.result);
  }
  CHECK_EQ(Find("CUS:BAL")->variable->places, 2);
  CHECK_EQ(Count(BindingRoot()), 56u + 7u);
  ReleaseAllScopes();
}

TEST_CASE("binding: scopes give each procedure a fresh table and restore the outer one") {
  Fresh();
  BindName("outer", Var(0));
  const NameEntry* outer_root = BindingRoot();
  PushScope(0);
  CHECK_EQ(ScopeDepth(), 1);
  CHECK_EQ(InnermostScopeFlag(), 1);
  CHECK(BindingRoot() == nullptr);  // a scope that never binds has no table
  PushScope(7);
  CHECK_EQ(InnermostScopeFlag(), 0);
  BindName("abs", Var(1));
  CHECK_EQ(Find("ABS")->kind, kNameVariable);
  CHECK(Find("outer") == nullptr);
  PopScope();
  CHECK(BindingRoot() == nullptr);
  PopScope();
  CHECK(BindingRoot() == outer_root);
  CHECK_EQ(Find("ABS")->kind, kNameBuiltin);
  CHECK_EQ(Find("ABS")->builtin.function, 17);
  CHECK(Find("outer") != nullptr);
  CHECK_EQ(ScopeDepth(), 0);
  CHECK(g_fatal.empty());
  ReleaseAllScopes();
}

TEST_CASE("binding: POPSCOPE without a scope is the fatal error 802") {
  Fresh();
  BindName("kept", Var(0));
  PopScope();
  REQUIRE(g_fatal.size() == 1u);
  CHECK(g_fatal[0].find("Mismatched POPSCOPE") != std::string::npos);
  CHECK_EQ(ErrorCode(), 802);
  CHECK(Find("kept") != nullptr);  // nothing was released
  PushScope(1);
  PopScope();
  PopScope();
  CHECK_EQ(g_fatal.size(), 2u);
  ReleaseAllScopes();
}

TEST_CASE("binding: releasing all scopes frees every table, a long sorted run too") {
  Fresh();
  for (int depth = 0; depth < 5; ++depth) {
    BindName("level" + std::to_string(depth), Var(0));
    PushScope(depth);
  }
  // Names bound in ascending order make a tree as deep as it is long.
  for (int i = 0; i < 2000; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Z%05d", i);
    BindName(name, Var(1));
  }
  CHECK(Find("Z01999") != nullptr);
  CHECK_EQ(ScopeDepth(), 5);
  ReleaseAllScopes();
  CHECK_EQ(ScopeDepth(), 0);
  CHECK(BindingRoot() == nullptr);
  PopScope();  // everything is gone: the next POPSCOPE is unmatched
  CHECK_EQ(g_fatal.size(), 1u);
}

TEST_CASE("binding: each thread keeps its own table and scopes across switches") {
  Fresh();
  BindName("main_var", Var(0));
  PushScope(0);
  BindName("main_inner", Var(1));
  BindingSwitch(0, 1);  // thread 2 starts with nothing
  CHECK(BindingRoot() == nullptr);
  CHECK_EQ(ScopeDepth(), 0);
  PushScope(0);
  BindName("worker", Var(2));
  BindingSwitch(1, 0);
  CHECK_EQ(ScopeDepth(), 1);
  CHECK(Find("main_inner") != nullptr && Find("worker") == nullptr);
  PopScope();
  CHECK(Find("main_var") != nullptr);
  BindingSwitch(0, 1);
  CHECK(Find("worker") != nullptr);
  CHECK_EQ(ScopeDepth(), 1);
  BindingSwitch(1, 0);
  BindingRelease(1);  // the worker ended: what it left is freed
  BindingSwitch(0, 1);
  CHECK(BindingRoot() == nullptr);
  BindingSwitch(1, 0);
  // The first switch of all saves nothing; loading a slot with nothing saved keeps the state.
  BindingSwitch(-1, 0);
  CHECK(Find("main_var") != nullptr);
  CHECK(g_fatal.empty());
  ReleaseAllScopes();
}

TEST_CASE("binding: running out of memory leaves names unbound and the table sound") {
  Fresh();
  for (std::uint32_t n = 1; n <= 130; ++n) {
    mem::FailAllocation(n);
    BindName("first", Var(0));
    BindName("abs", Var(1));
    mem::FailAllocation(0);
    const NameEntry* root = BindingRoot();
    if (root) {
      bool ordered = false;
      InOrder(root, &ordered);
      CHECK(ordered);
      CHECK_EQ(root->kind, kNameAnchor);
    }
    const NameEntry* first = Find("first");
    if (first) CHECK(first->kind == kNameVariable && first->variable->address == &g_vars[0]);
    const NameEntry* abs = Find("abs");
    if (abs && abs->kind == kNameVariable) CHECK(abs->variable->address == &g_vars[1]);
    ReleaseAllScopes();
  }
  // A scope record that cannot be had: its POPSCOPE still matches and nothing is fatal.
  BindName("outer", Var(0));
  mem::FailAllocation(1);
  PushScope(0);
  mem::FailAllocation(0);
  PopScope();
  CHECK(g_fatal.empty());
  CHECK(Find("outer") != nullptr);
  ReleaseAllScopes();
}
