// A small test harness shared by the Windows and host builds.
//
//   TEST_CASE("memory: pool classes") { CHECK(p != nullptr); CHECK_EQ(a, b); }
//
// Each program runs every case once (optionally only those whose name contains argv[1]) and
// ends with the line "N passed, N failed". A failed REQUIRE ends its case at once.
#pragma once
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <type_traits>

namespace check {

struct Case {
  const char* name;
  void (*fn)();
  Case* next;
};
void Register(Case* c);
void Fail(const char* file, int line, const std::string& what);
struct RequireFailed {};

template <typename T>
std::string Show(const T& v) {
  std::ostringstream s;
  if constexpr (std::is_pointer_v<T> && !std::is_same_v<T, const char*> && !std::is_same_v<T, char*>)
    s << static_cast<const void*>(v);
  else if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, char*>)
    s << '"' << (v ? v : "(null)") << '"';
  else if constexpr (std::is_same_v<T, std::string>)
    s << '"' << v << '"';
  else if constexpr (std::is_enum_v<T>)
    s << static_cast<long long>(v);
  else if constexpr (std::is_same_v<T, unsigned char> || std::is_same_v<T, signed char>)
    s << static_cast<int>(v);
  else
    s << v;
  return s.str();
}

template <typename A, typename B>
bool Equal(const A& a, const B& b) {
  if constexpr ((std::is_same_v<A, const char*> || std::is_same_v<A, char*>) &&
                (std::is_same_v<B, const char*> || std::is_same_v<B, char*>))
    return a && b ? std::strcmp(a, b) == 0 : a == b;
  else
    return a == b;
}

}  // namespace check

#define CHECK_CAT2(a, b) a##b
#define CHECK_CAT(a, b) CHECK_CAT2(a, b)
#define TEST_CASE_IMPL(name, fn)                                   \
  static void fn();                                                \
  static check::Case CHECK_CAT(fn, _case){name, fn, nullptr};      \
  static const int CHECK_CAT(fn, _reg) = (check::Register(&CHECK_CAT(fn, _case)), 0); \
  static void fn()
#define TEST_CASE(name) TEST_CASE_IMPL(name, CHECK_CAT(test_case_, __LINE__))

#define CHECK(cond) \
  ((cond) ? (void)0 : check::Fail(__FILE__, __LINE__, "CHECK(" #cond ")"))
#define REQUIRE(cond) \
  ((cond) ? (void)0 : (check::Fail(__FILE__, __LINE__, "REQUIRE(" #cond ")"), throw check::RequireFailed{}))
#define CHECK_EQ(a, b)                                                                        \
  do {                                                                                        \
    const auto& check_a_ = (a);                                                               \
    const auto& check_b_ = (b);                                                               \
    if (!check::Equal(check_a_, check_b_))                                                    \
      check::Fail(__FILE__, __LINE__,                                                         \
                  "CHECK_EQ(" #a ", " #b "): " + check::Show(check_a_) + " != " + check::Show(check_b_)); \
  } while (0)
