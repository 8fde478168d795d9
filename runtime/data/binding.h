// Name binding: the run-time name table that expressions evaluated from text resolve names
// through, BIND, the scopes, and the catalogue of keywords and builtin functions.
//
// A name table is a binary search tree ordered by name without regard to case (collation and
// case tables). Its first entry, the root, is the anchor: kind 0, named "MMMMMMM". A scope's
// table is created, anchor, keywords and catalogue, at the first BIND in that scope; a scope
// that never binds has none. Entering a name that is already there rebinds that entry (kind,
// result type and payload are replaced; the entry keeps its node and its first spelling).
//
// Scope records form a stack: PushScope saves the current table and starts with none; PopScope
// releases the current table and makes the saved one current again. Everything (current table
// and scope stack) is one state, global to the running program; the thread layer moves it in
// and out of a per-thread slot with BindingSave/BindingLoad when another thread takes the
// runtime lock.
#pragma once
#include <cstdint>

#include "runtime/data/typed_value.h"

namespace vel {

enum NameKind : std::uint8_t { kNameAnchor = 0, kNameVariable = 1, kNameKeyword = 4, kNameBuiltin = 6 };
enum ResultType : std::uint8_t { kResultNone = 0, kResultInteger = 1, kResultReal = 2, kResultString = 4 };

struct NameEntry {
  NameEntry* left;     // names that sort before this one
  NameEntry* right;    // names that sort after it
  std::uint8_t kind;   // NameKind
  char* name;          // owned, zero-terminated, as entered
  std::uint8_t result; // ResultType
  union {
    TypedRef* variable;  // kNameVariable: an owned copy of the reference
    std::uint8_t token;  // kNameKeyword
    struct {
      std::int32_t arguments;  // 25 for the two list builtins
      std::int32_t function;
      std::int32_t extra;      // always 0
    } builtin;
  };
};

constexpr std::uint32_t kBindNameMax = 100;      // bytes of a name popped by BIND
constexpr const char* kAnchorName = "MMMMMMM";

// BIND(name, variable): the name is popped from the string stack.
void Bind(const TypedRef& variable);
void BindText(const char* name, std::uint32_t length, const TypedRef& variable);
// BIND(group): every field of the layout inside record, under its name and its second name.
void BindGroup(const RecordLayout& layout, void* record);
// PUSHSCOPE(flag) and POPSCOPE; an unmatched POPSCOPE is fatal (802).
void PushScope(std::int32_t flag);
void PopScope();
// Pops every scope, then releases the current table (end of the program or thread).
void ReleaseAllScopes();

// Per-thread state. Save moves the running state into slot (0..63) and leaves none running;
// Load makes the slot's saved state the running one (a slot with nothing saved leaves the
// running state alone); Release drops what a finished thread left in its slot. Switch has the
// shape of the thread layer's switch handler: save `from` (when >= 0), load `to`.
void BindingSave(int slot);
void BindingLoad(int slot);
void BindingRelease(int slot);
void BindingSwitch(int from, int to);
// Initialise (0) / terminate (1): terminate releases every scope and every saved slot.
void BindingInitTerm(int flag);

// --- reading the table (the evaluator, tests) -------------------------------------------------
// The entry named name[0..length) in the current table, or null.
const NameEntry* BindingFind(const char* name, std::uint32_t length);
const NameEntry* BindingRoot();  // the anchor of the current table, or null
int ScopeDepth();                // scope records on the stack
// The flag stored with the innermost scope record (1 when PushScope got 0), -1 when none.
int InnermostScopeFlag();
// Length of the part of name[0..length) that BIND keeps: the leading run of letters, digits,
// "_" and ":", and one following "#", "$" or '"'.
std::uint32_t NormalisedNameLength(const char* name, std::uint32_t length);

struct CatalogueRow {
  const char* name;
  std::uint8_t kind;      // kNameKeyword or kNameBuiltin
  std::uint8_t result;
  std::int32_t arguments; // builtins
  std::int32_t number;    // builtin function number or keyword token
};
// The keywords followed by the builtins, in the order they are entered.
const CatalogueRow* Catalogue(std::uint32_t* count);

}  // namespace vel
