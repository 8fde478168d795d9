// The record reader on any bytes: it never fails unsafely, and whatever it takes is exactly the
// text the writer gives for that record (so a record has one spelling, and nothing loose passes).
// The bytes are read twice: as they are, and with a matching check line added, so that the
// fields behind the check line are explored too.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/partial_record.h"

namespace {

void Check(std::string_view text) {
  ftpcl::PartialRecord r;
  if (!ftpcl::ReadPartialRecord(text, &r)) return;
  if (ftpcl::WritePartialRecord(r) != text) abort();
  ftpcl::ServerFacts now;
  now.can_restart = true;
  now.remote_size = r.remote_size;
  now.remote_time = r.remote_time;
  const ftpcl::ResumeChoice c = ftpcl::DecideGet(r, now);
  if (c.resume == ftpcl::Resume::kOffer && (c.offset <= 0 || c.offset > r.remote_size)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  Check(body);
  char end[24];
  std::snprintf(end, sizeof end, "end %08x\n", static_cast<unsigned>(ftpcl::Crc32(body)));
  Check(body + end);
  return 0;
}
