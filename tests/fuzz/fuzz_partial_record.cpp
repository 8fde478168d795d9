// The record reader on any bytes: it never fails unsafely, and whatever it takes is exactly the
// text the writer gives for that record (so a record has one spelling, and nothing loose passes).
#include <cstdlib>
#include <string>

#include "app/partial_record.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ftpcl::PartialRecord r;
  if (!ftpcl::ReadPartialRecord(text, &r)) return 0;
  if (ftpcl::WritePartialRecord(r) != text) abort();
  ftpcl::ServerFacts now;
  now.can_restart = true;
  now.remote_size = r.remote_size;
  now.remote_time = r.remote_time;
  const ftpcl::ResumeChoice c = ftpcl::DecideGet(r, now);
  if (c.resume == ftpcl::Resume::kOffer && (c.offset <= 0 || c.offset > r.remote_size)) abort();
  return 0;
}
