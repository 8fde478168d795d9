// Name table, BIND, scopes and the catalogue (see binding.h).
//
// State: g_state holds the running thread's current table (its anchor, the root) and its scope
// stack; g_saved[slot] holds the state of threads that are not running. Invariants: every
// entry's name and variable copy are owned by the entry; a table is owned by exactly one place
// (the running state, a scope record or a saved slot). Trees are walked and released without
// recursion, so a long run of names bound in sorted order cannot exhaust the machine stack.
#include "runtime/data/binding.h"

#include <cstring>

#include "runtime/core/collation.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"

namespace vel {
namespace {

struct Scope {
  NameEntry* table;     // the table that was current when the scope opened
  Scope* previous;
  std::uint8_t flag;    // 1 when PUSHSCOPE was given 0
};

struct BindingState {
  NameEntry* table;
  Scope* scopes;
  int depth;
  // Scopes whose record could not be allocated: their POPSCOPE only counts down, and their
  // names went into the enclosing table meanwhile.
  std::uint32_t lost_scopes;
};

constexpr int kSlots = 64;
BindingState g_state{};
BindingState g_saved[kSlots]{};

constexpr CatalogueRow kCatalogue[] = {
    {"NOT", kNameKeyword, kResultNone, 0, 16},       {"AND", kNameKeyword, kResultNone, 0, 17},
    {"OR", kNameKeyword, kResultNone, 0, 18},        {"XOR", kNameKeyword, kResultNone, 0, 19},
    {"MEMORY", kNameBuiltin, kResultInteger, 1, 1},  {"SUB", kNameBuiltin, kResultString, 3, 2},
    {"INSTRING", kNameBuiltin, kResultInteger, 4, 3}, {"CLIP", kNameBuiltin, kResultString, 1, 4},
    {"ALL", kNameBuiltin, kResultString, 2, 5},      {"CENTER", kNameBuiltin, kResultString, 2, 6},
    {"CHR", kNameBuiltin, kResultString, 1, 7},      {"DEFORMAT", kNameBuiltin, kResultString, 2, 8},
    {"FORMAT", kNameBuiltin, kResultString, 2, 9},   {"LEFT", kNameBuiltin, kResultString, 2, 10},
    {"LEN", kNameBuiltin, kResultInteger, 1, 11},    {"LOWER", kNameBuiltin, kResultString, 1, 12},
    {"NUMERIC", kNameBuiltin, kResultInteger, 1, 13}, {"RIGHT", kNameBuiltin, kResultString, 2, 14},
    {"UPPER", kNameBuiltin, kResultString, 1, 15},   {"VAL", kNameBuiltin, kResultInteger, 1, 16},
    {"ABS", kNameBuiltin, kResultReal, 1, 17},       {"INRANGE", kNameBuiltin, kResultInteger, 3, 18},
    {"INT", kNameBuiltin, kResultInteger, 1, 19},    {"LOGE", kNameBuiltin, kResultReal, 1, 20},
    {"LOG10", kNameBuiltin, kResultReal, 1, 21},     {"RANDOM", kNameBuiltin, kResultInteger, 2, 22},
    {"ROUND", kNameBuiltin, kResultReal, 2, 23},     {"SQRT", kNameBuiltin, kResultReal, 1, 24},
    {"SIN", kNameBuiltin, kResultReal, 1, 25},       {"COS", kNameBuiltin, kResultReal, 1, 26},
    {"TAN", kNameBuiltin, kResultReal, 1, 27},       {"ASIN", kNameBuiltin, kResultReal, 1, 28},
    {"ACOS", kNameBuiltin, kResultReal, 1, 29},      {"ATAN", kNameBuiltin, kResultReal, 1, 30},
    {"BAND", kNameBuiltin, kResultInteger, 2, 31},   {"BOR", kNameBuiltin, kResultInteger, 2, 32},
    {"BXOR", kNameBuiltin, kResultInteger, 2, 33},   {"BSHIFT", kNameBuiltin, kResultInteger, 2, 34},
    {"TODAY", kNameBuiltin, kResultInteger, 0, 35},  {"CLOCK", kNameBuiltin, kResultInteger, 0, 36},
    {"DATE", kNameBuiltin, kResultInteger, 3, 37},   {"DAY", kNameBuiltin, kResultInteger, 1, 38},
    {"MONTH", kNameBuiltin, kResultInteger, 1, 39},  {"YEAR", kNameBuiltin, kResultInteger, 1, 40},
    {"AGE", kNameBuiltin, kResultString, 2, 41},     {"CHOOSE", kNameBuiltin, kResultString, 25, 42},
    {"INLIST", kNameBuiltin, kResultInteger, 25, 43}, {"GETINI", kNameBuiltin, kResultString, 4, 44},
    {"MATCH", kNameBuiltin, kResultInteger, 3, 45},  {"NULL", kNameBuiltin, kResultInteger, 1, 46},
    {"SQL", kNameBuiltin, kResultNone, 0, 47},       {"STRPOS", kNameBuiltin, kResultInteger, 3, 48},
    {"PATH", kNameBuiltin, kResultString, 1, 49},    {"LONGPATH", kNameBuiltin, kResultString, 1, 50},
    {"SHORTPATH", kNameBuiltin, kResultString, 1, 51},
};

// --- names ------------------------------------------------------------------------------------

// Names are compared upper-cased through the case tables, then by collation.
int CompareNames(const char* a, const char* b) {
  char ua[kBindNameMax + 1];
  char ub[kBindNameMax + 1];
  std::uint32_t la = static_cast<std::uint32_t>(strnlen(a, kBindNameMax));
  std::uint32_t lb = static_cast<std::uint32_t>(strnlen(b, kBindNameMax));
  std::memcpy(ua, a, la);
  std::memcpy(ub, b, lb);
  UpperBytes(ua, la);
  UpperBytes(ub, lb);
  return CollateCompare(ua, la, ub, lb);
}

char* CopyName(const char* name, std::uint32_t length) {
  char* copy = static_cast<char*>(MemAlloc(length + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, name, length);
  copy[length] = 0;
  return copy;
}

// --- entries and tables ------------------------------------------------------------------

void ReleasePayload(NameEntry* e) {
  if (e->kind == kNameVariable) MemFree(e->variable);
  e->variable = nullptr;
}

void ReleaseEntry(NameEntry* e) {
  ReleasePayload(e);
  MemFree(e->name);
  MemFree(e);
}

// Releases a whole tree in linear time without a stack: a left child is rotated up until the
// root has none, and then the root goes.
void ReleaseTable(NameEntry* root) {
  while (root) {
    if (NameEntry* l = root->left) {
      root->left = l->right;
      l->right = root;
      root = l;
    } else {
      NameEntry* next = root->right;
      ReleaseEntry(root);
      root = next;
    }
  }
}

NameEntry* NewEntry(const char* name, std::uint32_t length, std::uint8_t kind, std::uint8_t result) {
  auto* e = static_cast<NameEntry*>(MemCalloc(1, sizeof(NameEntry)));
  if (!e) return nullptr;
  e->name = CopyName(name, length);
  if (!e->name) {
    MemFree(e);
    return nullptr;
  }
  e->kind = kind;
  e->result = result;
  return e;
}

// Links e into the tree under root, or moves its kind, result and payload into the entry of
// the same name (releasing what that entry held) and discards e.
void Enter(NameEntry* root, NameEntry* e) {
  NameEntry* at = root;
  for (;;) {
    int c = CompareNames(at->name, e->name);
    if (c == 0) {
      ReleasePayload(at);
      at->kind = e->kind;
      at->result = e->result;
      std::memcpy(&at->builtin, &e->builtin, sizeof at->builtin);  // the whole payload union
      e->kind = kNameAnchor;  // its payload now belongs to `at`
      ReleaseEntry(e);
      return;
    }
    NameEntry*& link = c < 0 ? at->right : at->left;
    if (!link) {
      link = e;
      return;
    }
    at = link;
  }
}

void EnterCatalogueRow(NameEntry* root, const CatalogueRow& row) {
  NameEntry* e = NewEntry(row.name, static_cast<std::uint32_t>(std::strlen(row.name)), row.kind, row.result);
  if (!e) return;  // that row stays unbound
  if (row.kind == kNameKeyword) {
    e->token = static_cast<std::uint8_t>(row.number);
  } else {
    e->builtin.arguments = row.arguments;
    e->builtin.function = row.number;
    e->builtin.extra = 0;
  }
  Enter(root, e);
}

// The running table, created with its anchor and the catalogue when there is none; null when
// not even the anchor can be had.
NameEntry* CurrentTable() {
  if (g_state.table) return g_state.table;
  NameEntry* anchor = NewEntry(kAnchorName, 7, kNameAnchor, kResultNone);
  if (!anchor) return nullptr;
  for (const CatalogueRow& row : kCatalogue) EnterCatalogueRow(anchor, row);
  g_state.table = anchor;
  return anchor;
}

std::uint8_t ResultOf(std::uint8_t type) {
  if (type <= 6) return kResultInteger;
  if (type <= 17) return kResultReal;
  return kResultString;
}

void BindNormalised(const char* name, std::uint32_t length, const TypedRef& variable) {
  length = NormalisedNameLength(name, length);
  if (length > kBindNameMax) length = kBindNameMax;
  // An empty name could never be looked up; nothing is entered for it.
  if (length == 0) return;
  NameEntry* root = CurrentTable();
  if (!root) return;
  NameEntry* e = NewEntry(name, length, kNameVariable, ResultOf(variable.type));
  if (!e) return;
  e->variable = static_cast<TypedRef*>(MemAlloc(sizeof(TypedRef)));
  if (!e->variable) {
    ReleaseEntry(e);
    return;
  }
  *e->variable = variable;
  Enter(root, e);
}

void ReleaseState(BindingState& s) {
  while (s.scopes) {
    Scope* scope = s.scopes;
    ReleaseTable(s.table);
    s.table = scope->table;
    s.scopes = scope->previous;
    MemFree(scope);
  }
  ReleaseTable(s.table);
  s = BindingState{};
}

bool IsNameChar(unsigned char c) {
  return (Collation().char_class[c] & (kCharUpper | kCharLower | kCharDigit)) || c == '_' || c == ':';
}

}  // namespace

std::uint32_t NormalisedNameLength(const char* name, std::uint32_t length) {
  std::uint32_t n = 0;
  while (n < length && IsNameChar(static_cast<unsigned char>(name[n]))) ++n;
  if (n < length && (name[n] == '#' || name[n] == '$' || name[n] == '"')) ++n;
  return n;
}

void BindText(const char* name, std::uint32_t length, const TypedRef& variable) {
  BindNormalised(name, length, variable);
}

void Bind(const TypedRef& variable) {
  char name[kBindNameMax + 1];
  StackPopToCString(name, sizeof name);
  BindNormalised(name, static_cast<std::uint32_t>(std::strlen(name)), variable);
}

void BindGroup(const RecordLayout& layout, void* record) {
  auto* base = static_cast<std::uint8_t*>(record);
  for (std::uint32_t i = 0; i < layout.field_count; ++i) {
    const FieldDesc& f = layout.fields[i];
    TypedRef ref{base + f.offset, f.type, f.places, f.size};
    if (f.name) BindNormalised(f.name, static_cast<std::uint32_t>(std::strlen(f.name)), ref);
    if (f.second_name) BindNormalised(f.second_name, static_cast<std::uint32_t>(std::strlen(f.second_name)), ref);
  }
}

void PushScope(std::int32_t flag) {
  auto* scope = static_cast<Scope*>(MemAlloc(sizeof(Scope)));
  if (!scope) {
    ++g_state.lost_scopes;
    return;
  }
  *scope = Scope{g_state.table, g_state.scopes, static_cast<std::uint8_t>(flag == 0 ? 1 : 0)};
  g_state.scopes = scope;
  g_state.table = nullptr;
  ++g_state.depth;
}

void PopScope() {
  if (g_state.lost_scopes) {
    --g_state.lost_scopes;
    return;
  }
  Scope* scope = g_state.scopes;
  if (!scope) {
    RuntimeError(802, "Mismatched POPSCOPE");
    return;
  }
  ReleaseTable(g_state.table);
  g_state.table = scope->table;
  g_state.scopes = scope->previous;
  --g_state.depth;
  MemFree(scope);
}

void ReleaseAllScopes() { ReleaseState(g_state); }

void BindingSave(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  ReleaseState(g_saved[slot]);
  g_saved[slot] = g_state;
  g_state = BindingState{};
}

void BindingLoad(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  BindingState& saved = g_saved[slot];
  if (!saved.table && !saved.scopes && !saved.lost_scopes) return;
  ReleaseState(g_state);
  g_state = saved;
  saved = BindingState{};
}

void BindingRelease(int slot) {
  if (slot >= 0 && slot < kSlots) ReleaseState(g_saved[slot]);
}

void BindingSwitch(int from, int to) {
  if (from >= 0) BindingSave(from);
  BindingLoad(to);
}

void BindingInitTerm(int flag) {
  if (flag == 0) return;
  ReleaseState(g_state);
  for (BindingState& s : g_saved) ReleaseState(s);
}

const NameEntry* BindingFind(const char* name, std::uint32_t length) {
  char key[kBindNameMax + 1];
  if (length > kBindNameMax) return nullptr;
  std::memcpy(key, name, length);
  key[length] = 0;
  const NameEntry* at = g_state.table;
  while (at) {
    int c = CompareNames(at->name, key);
    if (c == 0) return at;
    at = c < 0 ? at->right : at->left;
  }
  return nullptr;
}

const NameEntry* BindingRoot() { return g_state.table; }
int ScopeDepth() { return g_state.depth; }
int InnermostScopeFlag() { return g_state.scopes ? g_state.scopes->flag : -1; }

const CatalogueRow* Catalogue(std::uint32_t* count) {
  *count = sizeof kCatalogue / sizeof kCatalogue[0];
  return kCatalogue;
}

}  // namespace vel
