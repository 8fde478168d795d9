// Fuzz target for the text the directory builtins and BIND take from outside: listing patterns
// (checked against a plain dynamic-programming matcher over a fixed scratch directory), the
// hand shortening of paths (its rules as invariants), ShortPathName on any bytes, and names fed
// to BIND with scopes opened and closed in between (the table must stay a search tree in which
// every bound name is found).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/data/binding.h"
#include "runtime/data/directory.h"

using namespace vel;

namespace {

const char* const kNames[] = {"plain.txt", "README", "a.b.c", "noext", "UPPER.TXT", "x",
                              "a name.text", ".hidden", "trail.", "q?.z"};

std::string g_scratch;

void RemoveScratch() {
  for (const char* n : kNames) std::remove((g_scratch + "/" + n).c_str());
  rmdir(g_scratch.c_str());
}

std::string MakeScratch() {
  char templ[] = "/tmp/velfuzzXXXXXX";
  std::string dir = mkdtemp(templ);
  g_scratch = dir;
  std::atexit(RemoveScratch);
  for (const char* n : kNames) {
    std::FILE* f = std::fopen((dir + "/" + n).c_str(), "w");
    if (f) std::fclose(f);
  }
  return dir;
}

const std::string& Scratch() {
  static const std::string dir = MakeScratch();
  return dir;
}

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// match[i][j]: name[i..] matches pattern[j..].
bool Reference(const std::string& name, const std::string& pattern) {
  const std::size_t n = name.size(), m = pattern.size();
  std::vector<std::vector<char>> match(n + 1, std::vector<char>(m + 1, 0));
  match[n][m] = 1;
  for (std::size_t j = m; j-- > 0;) match[n][j] = pattern[j] == '*' && match[n][j + 1];
  for (std::size_t i = n; i-- > 0;)
    for (std::size_t j = m; j-- > 0;) {
      if (pattern[j] == '*')
        match[i][j] = match[i][j + 1] || match[i + 1][j];
      else
        match[i][j] = (pattern[j] == '?' || Fold(pattern[j]) == Fold(name[i])) && match[i + 1][j + 1];
    }
  return match[0][0];
}

bool ReferenceMatches(const std::string& name, const std::string& pattern) {
  if (Reference(name, pattern)) return true;
  if (name.find('.') != std::string::npos) return false;
  std::size_t m = pattern.size();
  if (m >= 2 && pattern.compare(m - 2, 2, ".*") == 0) return Reference(name, pattern.substr(0, m - 2));
  if (m >= 1 && pattern[m - 1] == '.') return Reference(name + ".", pattern);
  return false;
}

void CountEntry(void* context, const std::uint8_t*) { ++*static_cast<std::uint32_t*>(context); }

void Patterns(const std::string& pattern) {
  if (pattern.size() > 64 || pattern.find('/') != std::string::npos || pattern.find('\0') != std::string::npos)
    return;
  std::uint32_t expected = 0;
  if (!pattern.empty()) {
    for (const char* n : kNames) expected += ReferenceMatches(n, pattern);
    expected += ReferenceMatches(".", pattern) + ReferenceMatches("..", pattern);
  }
  std::string full = Scratch() + "/" + pattern;
  std::uint32_t got = 0;
  EnumerateDirectory(full.data(), static_cast<std::uint32_t>(full.size()), 0x16, CountEntry, &got);
  if (got != expected) {
    std::fprintf(stderr, "pattern \"%s\": %u entries, expected %u\n", pattern.c_str(), got, expected);
    std::abort();
  }
}

void Shortening(std::string text) {
  const std::string given = text;
  text.resize(HandShortenPath(text.data(), static_cast<std::uint32_t>(text.size())));
  if (text.size() > given.size() || text.find('/') != std::string::npos) std::abort();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    std::size_t dot = part.rfind('.');
    std::size_t base = dot == std::string::npos ? part.size() : dot;
    std::size_t ext = dot == std::string::npos ? 0 : part.size() - dot - 1;
    if (base > 8 || ext > 3) std::abort();
    start = end + 1;
  }
  std::string again = text;
  again.resize(HandShortenPath(again.data(), static_cast<std::uint32_t>(again.size())));
  if (again != text) std::abort();  // shortening is idempotent
  char out[300];
  std::uint32_t n = ShortPathNameText(given.data(), static_cast<std::uint32_t>(given.size()), out, sizeof out);
  if (n >= sizeof out || out[n] != 0 || ErrorCode() != 0) std::abort();
}

std::string Upper(const char* s) {
  std::string u = s;
  for (char& c : u) c = Fold(c);
  return u;
}

void CheckTree(const NameEntry* e, const std::string* low, const std::string* high, int depth) {
  // Bounded recursion: the fuzz input makes at most a few hundred names.
  if (!e || depth > 1000) return;
  std::string key = Upper(e->name);
  if ((low && !(*low < key)) || (high && !(key < *high))) std::abort();
  CheckTree(e->left, low, &key, depth + 1);
  CheckTree(e->right, &key, high, depth + 1);
}

void Names(const std::uint8_t* data, std::size_t size) {
  static std::int32_t variable;
  std::vector<std::string> bound;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != '\n') continue;
    std::string name(reinterpret_cast<const char*>(data) + start, i - start);
    start = i + 1;
    if (name == "(") {
      PushScope(static_cast<std::int32_t>(bound.size()));
      bound.clear();
      continue;
    }
    if (name == ")" && ScopeDepth() > 0) {
      PopScope();
      bound.clear();
      continue;
    }
    BindText(name.data(), static_cast<std::uint32_t>(name.size()), TypedRef{&variable, kTypeLong, 0, 4});
    std::uint32_t n = NormalisedNameLength(name.data(), static_cast<std::uint32_t>(name.size()));
    if (n > kBindNameMax) n = kBindNameMax;
    if (n) bound.push_back(name.substr(0, n));
  }
  for (const std::string& b : bound)
    if (!BindingFind(b.data(), static_cast<std::uint32_t>(b.size()))) std::abort();
  // Uppercase-ASCII ordering agrees with the collation only for ASCII names without blanks.
  bool ascii = true;
  for (std::size_t i = 0; i < size; ++i) ascii = ascii && data[i] < 0x80;
  if (ascii) CheckTree(BindingRoot(), nullptr, nullptr, 0);
  ReleaseAllScopes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int init = (MemoryInitTerm(0), SetApplicationActive(false), 0);
  (void)init;
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0: Patterns(rest); break;
    case 1: Shortening(rest); break;
    default: Names(data + 1, size - 1); break;
  }
  return 0;
}
