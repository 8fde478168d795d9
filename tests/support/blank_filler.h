// Makes a thread's ended thread storage visibly someone else's. This toolchain frees a thread's
// thread_local storage before it runs the destructors of its thread_local objects; a test
// thread that uses `t_blank_filler` after the object under test has registered its destructor
// gets the filler destroyed first (destructors run in reverse order), at the moment that storage
// is free. The filler takes small blocks from the heap, largest first so that a freed block is
// taken whole, and blanks them as the client's blank-padded texts would: a destructor that then
// runs on freed storage reads blanks (and frees 0x20202020). ReleaseBlankFilled gives the blocks
// back once the thread has ended.
#pragma once
#include <cstdlib>
#include <cstring>

namespace testsupport {

struct BlankFiller {
  static constexpr int kSizes = 24;  // 8, 12, ... 100 bytes: every size the heap has a list for
  static constexpr int kEachSize = 16;
  static inline void* taken[kSizes * kEachSize];
  static inline int taken_count = 0;
  bool used = false;
  ~BlankFiller() {
    for (int size = kSizes - 1; size >= 0; --size) {
      for (int i = 0; i < kEachSize; ++i) {
        void* p = std::malloc(8 + 4 * size);
        if (!p) continue;
        std::memset(p, ' ', 8 + 4 * size);
        taken[taken_count++] = p;
      }
    }
  }
};
inline thread_local BlankFiller t_blank_filler;

inline void ReleaseBlankFilled() {
  for (int i = 0; i < BlankFiller::taken_count; ++i) std::free(BlankFiller::taken[i]);
  BlankFiller::taken_count = 0;
}

}  // namespace testsupport
