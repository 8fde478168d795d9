// Pictures against the C library: a million numbers through "@N14.2" against snprintf("%.2f")
// and a million dates through "@D6" against strftime("%d/%m/%Y"), on the same pre-generated
// values, in one process. Prints the median time per million of several runs and the ratio
// (C library time / picture time: above 1 means the picture is faster).
//
// The number side starts from exact cents (what a decimal-class picture gets from the decimal
// stack) and snprintf from the equivalent double; the date side starts from date numbers and
// strftime from ready-made struct tm values (its conversion is not counted). A third line runs
// the whole FORMAT builtin through the string and decimal stacks, for information. The dates are
// also compared with gmtime+strftime, which start from a day count as the picture does.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "bench/bench_mode.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/dates.h"
#include "runtime/data/picture.h"

namespace {

const int kCount = BenchPick(1000000, 1000);
const int kRuns = BenchPick(5, 1);
volatile unsigned g_sink;

template <typename F>
double Seconds(F&& body) {
  auto start = std::chrono::steady_clock::now();
  body();
  std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
  return d.count();
}

template <typename F>
double Median(F&& body) {
  std::vector<double> runs;
  for (int r = 0; r < kRuns; ++r) runs.push_back(Seconds(body));
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

void Report(const char* what, double ours, double theirs, const char* their_name) {
  std::printf("%-28s picture %7.1f ms   %-22s %7.1f ms   ratio %5.2fx\n", what, ours * 1000, their_name,
              theirs * 1000, theirs / ours);
}

}  // namespace

int main() {
  vel::MemoryInitTerm(0);
  std::mt19937_64 rng(5);
  std::vector<std::int64_t> cents(kCount);
  std::vector<double> reals(kCount);
  for (int i = 0; i < kCount; ++i) {
    cents[i] = static_cast<std::int64_t>(rng() % 100000000000ull) - 50000000000ll;  // +-500 million
    reals[i] = static_cast<double>(cents[i]) / 100.0;
  }
  std::vector<std::int32_t> dates(kCount);
  std::vector<std::tm> tms(kCount);
  for (int i = 0; i < kCount; ++i) {
    dates[i] = vel::DateFromYmd(1900, 1, 1) + static_cast<std::int32_t>(rng() % 73000);
    int y, m, d;
    vel::DateToYmd(dates[i], &y, &m, &d);
    std::memset(&tms[i], 0, sizeof tms[i]);
    tms[i].tm_year = y - 1900;
    tms[i].tm_mon = m - 1;
    tms[i].tm_mday = d;
  }
  vel::CompiledPicture number_pic, date_pic;
  vel::CompilePicture("@N14.2", &number_pic);
  vel::CompilePicture("@D6", &date_pic);
  char out[64];

  double ours = Median([&] {
    unsigned sum = 0;
    vel::DigitString v;
    for (int i = 0; i < kCount; ++i) {
      vel::DigitsFromInteger(cents[i], &v);
      v.point -= 2;
      vel::FormatDigits(number_pic, v, out);
      sum += static_cast<unsigned char>(out[13]);
    }
    g_sink = sum;
  });
  double theirs = Median([&] {
    unsigned sum = 0;
    for (int i = 0; i < kCount; ++i) {
      int n = std::snprintf(out, sizeof out, "%14.2f", reals[i]);
      sum += static_cast<unsigned char>(out[n - 1]);
    }
    g_sink = sum;
  });
  Report("1M numbers @N14.2", ours, theirs, "snprintf(%.2f)");
  const double snprintf_time = theirs;

  ours = Median([&] {
    unsigned sum = 0;
    for (int i = 0; i < kCount; ++i) {
      vel::FormatInteger(date_pic, dates[i], out);
      sum += static_cast<unsigned char>(out[9]);
    }
    g_sink = sum;
  });
  theirs = Median([&] {
    unsigned sum = 0;
    for (int i = 0; i < kCount; ++i) {
      std::size_t n = std::strftime(out, sizeof out, "%d/%m/%Y", &tms[i]);
      sum += static_cast<unsigned char>(out[n - 1]);
    }
    g_sink = sum;
  });
  Report("1M dates @D6", ours, theirs, "strftime(%d/%m/%Y)");
  // The same work as the picture: from a day count (seconds since 1970) to text.
  std::vector<std::time_t> seconds(kCount);
  for (int i = 0; i < kCount; ++i) seconds[i] = static_cast<std::time_t>(dates[i] - vel::DateFromYmd(1970, 1, 1)) * 86400;
  theirs = Median([&] {
    unsigned sum = 0;
    std::tm tm{};
    for (int i = 0; i < kCount; ++i) {
#ifdef _WIN32
      std::tm* p = std::gmtime(&seconds[i]);
      if (p) tm = *p;
#else
      gmtime_r(&seconds[i], &tm);
#endif
      std::size_t n = std::strftime(out, sizeof out, "%d/%m/%Y", &tm);
      sum += static_cast<unsigned char>(out[n ? n - 1 : 0]);
    }
    g_sink = sum;
  });
  Report("1M dates @D6", ours, theirs, "gmtime+strftime");

  // For information: the whole builtin, operands and result on the stacks.
  vel::StringStackInitTerm(0);
  char text[32];
  std::vector<std::string> texts(kCount);
  for (int i = 0; i < kCount; ++i) {
    std::snprintf(text, sizeof text, "%.2f", reals[i]);
    texts[i] = text;
  }
  ours = Median([&] {
    unsigned sum = 0;
    for (int i = 0; i < kCount; ++i) {
      vel::StackPushString(texts[i].data(), static_cast<std::uint32_t>(texts[i].size()));
      vel::StackPushString("@N14.2", 6);
      vel::FormatBuiltin();
      vel::StackPopToString(out, 14);
      sum += static_cast<unsigned char>(out[13]);
    }
    g_sink = sum;
  });
  Report("1M FORMAT builtin @N14.2", ours, snprintf_time, "snprintf(%.2f)");
  return 0;
}
