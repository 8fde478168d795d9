// The record of an interrupted transfer: written and read back, the reader's strictness, and
// the choice between resuming and starting over for downloads and uploads.
#include "app/partial_record.h"
#include "support/check.h"

using namespace ftpcl;

namespace {

PartialRecord Sample() {
  PartialRecord r;
  r.server = "127.0.0.1:2121 veluser";
  r.remote = "pub/with space/{U+0141}.bin";
  r.remote_size = 3000000;
  r.remote_time = "20261208065700";
  r.kept = 1500000;
  return r;
}

ServerFacts Same() {
  ServerFacts f;
  f.can_restart = true;
  f.remote_size = 3000000;
  f.remote_time = "20261208065700";
  return f;
}

// The sample's text with one line replaced (and the check line made to match it).
std::string WithLine(const std::string& key, const std::string& line) {
  std::string text = WritePartialRecord(Sample());
  const std::size_t at = text.find("\n" + key + " ") + 1;
  text.replace(at, text.find('\n', at) - at, line);
  const std::size_t end = text.rfind("end ");
  char crc[16];
  snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(Crc32(std::string_view(text).substr(0, end))));
  return text.substr(0, end) + "end " + crc + "\n";
}

}  // namespace

TEST_CASE("record: written and read back whole, both kinds") {
  PartialRecord r = Sample(), back;
  const std::string text = WritePartialRecord(r);
  REQUIRE(ReadPartialRecord(text, &back));
  CHECK_EQ(back.server, r.server);
  CHECK_EQ(back.remote, r.remote);
  CHECK_EQ(back.remote_size, r.remote_size);
  CHECK_EQ(back.remote_time, r.remote_time);
  CHECK_EQ(back.kept, r.kept);
  CHECK_EQ(back.local_size, kUnknownSize);
  CHECK_EQ(WritePartialRecord(back), text);

  r.kind = PartialRecord::Kind::kPut;
  r.kept = 0;
  r.remote_time.clear();
  r.local_size = 5000000;
  r.local_time = 134000000000000000;
  REQUIRE(ReadPartialRecord(WritePartialRecord(r), &back));
  CHECK(back.kind == PartialRecord::Kind::kPut);
  CHECK_EQ(back.remote_time, std::string());
  CHECK_EQ(back.local_time, 134000000000000000);
}

TEST_CASE("record: what cannot be written is refused, not written wrong") {
  PartialRecord r = Sample();
  r.remote = "a\nkept 0";
  CHECK_EQ(WritePartialRecord(r), std::string());
  r = Sample();
  r.server = std::string("x\0y", 3);
  CHECK_EQ(WritePartialRecord(r), std::string());
  r = Sample();
  r.kept = r.remote_size + 1;
  CHECK_EQ(WritePartialRecord(r), std::string());
  r = Sample();
  r.remote_size = -2;
  CHECK_EQ(WritePartialRecord(r), std::string());
  r = Sample();
  r.remote.clear();
  CHECK_EQ(WritePartialRecord(r), std::string());
}

TEST_CASE("record: the reader takes nothing but a whole, consistent record") {
  PartialRecord out = Sample();
  out.kept = 77;
  const std::string good = WritePartialRecord(Sample());
  const char* const bad_lines[][2] = {
      {"kept", "kept 01500000"},      {"kept", "kept +1500000"},     {"kept", "kept -"},
      {"kept", "kept 1500000 "},      {"kept", "kept 3000001"},      {"kept", "kept 99999999999999999999"},
      {"kept", "kept 9223372036854775808"}, {"kept", "Kept 1500000"}, {"remote-size", "remote-size 0x10"},
      {"kind", "kind both"},          {"remote", "remote "},         {"remote", "remote a\tb"},
      {"local-size", "local-size"},   {"remote-time", "remote-time "},
  };
  for (const auto& row : bad_lines) {
    CHECK(!ReadPartialRecord(WithLine(row[0], row[1]), &out));
    CHECK_EQ(out.kept, 77);  // untouched
  }
  CHECK(ReadPartialRecord(WithLine("kept", "kept 0"), &out));
  CHECK(!ReadPartialRecord(good.substr(0, good.size() - 1), &out));  // the end line's "\n"
  CHECK(!ReadPartialRecord(good + "\n", &out));
  CHECK(!ReadPartialRecord("ftpclient partial 2" + good.substr(good.find('\n')), &out));
  std::string swapped = good;
  swapped.replace(swapped.find("kept 1500000"), 12, "kept 1500001");  // the check line no longer matches
  CHECK(!ReadPartialRecord(swapped, &out));
  CHECK(!ReadPartialRecord(std::string(70000, 'a'), &out));
  CHECK(!ReadPartialRecord("", &out));
}

TEST_CASE("resume choice: a download goes on only where SIZE, MDTM and REST STREAM vouch for it") {
  const PartialRecord r = Sample();
  ResumeChoice c = DecideGet(r, Same());
  CHECK(c.resume == Resume::kOffer);
  CHECK_EQ(c.offset, 1500000);
  struct Row {
    const char* what;
    void (*change)(PartialRecord*, ServerFacts*);
    const char* reason_part;
  } rows[] = {
      {"ascii", [](PartialRecord*, ServerFacts* f) { f->binary = false; }, "ASCII"},
      {"no REST STREAM", [](PartialRecord*, ServerFacts* f) { f->can_restart = false; }, "cannot resume"},
      {"size changed", [](PartialRecord*, ServerFacts* f) { f->remote_size = 3000001; }, "changed"},
      {"time changed", [](PartialRecord*, ServerFacts* f) { f->remote_time = "20261208065701"; }, "changed"},
      {"no SIZE now", [](PartialRecord*, ServerFacts* f) { f->remote_size = kUnknownSize; }, "cannot tell"},
      {"no MDTM now", [](PartialRecord*, ServerFacts* f) { f->remote_time.clear(); }, "cannot tell"},
      {"no MDTM then", [](PartialRecord* p, ServerFacts*) { p->remote_time.clear(); }, "cannot tell"},
      {"no SIZE then", [](PartialRecord* p, ServerFacts*) { p->remote_size = kUnknownSize; }, "cannot tell"},
      {"nothing kept", [](PartialRecord* p, ServerFacts*) { p->kept = 0; }, ""},
  };
  for (const Row& row : rows) {
    PartialRecord rec = r;
    ServerFacts now = Same();
    row.change(&rec, &now);
    c = DecideGet(rec, now);
    printf("  %s: %s\n", row.what, c.reason.c_str());
    CHECK(c.resume == Resume::kStartOver);
    CHECK(c.reason.find(row.reason_part) != std::string::npos);
  }
}

TEST_CASE("resume choice: an upload goes on only for the same local file and the remote part it left") {
  PartialRecord r;
  r.kind = PartialRecord::Kind::kPut;
  r.remote = "in/up.bin";
  r.remote_size = 4096;
  r.local_size = 9000;
  r.local_time = 1234;
  ServerFacts now;
  now.can_restart = true;
  now.remote_size = 4096;
  now.local_size = 9000;
  now.local_time = 1234;
  CHECK(DecidePut(r, now).resume == Resume::kOffer);
  CHECK_EQ(DecidePut(r, now).offset, 4096);
  ServerFacts f = now;
  f.local_time = 1235;
  CHECK(DecidePut(r, f).resume == Resume::kStartOver);
  f = now;
  f.remote_size = 5000;  // someone wrote to it since
  CHECK(DecidePut(r, f).resume == Resume::kStartOver);
  f = now;
  f.remote_size = kUnknownSize;
  CHECK(DecidePut(r, f).resume == Resume::kStartOver);
  f = now;
  f.can_restart = false;
  CHECK(DecidePut(r, f).resume == Resume::kStartOver);
  f = now;
  f.binary = false;
  CHECK(DecidePut(r, f).resume == Resume::kStartOver);
  r.remote_size = 9000;  // all of it arrived: nothing to go on with
  f = now;
  f.remote_size = 9000;
  CHECK(DecidePut(r, f).resume == Resume::kStartOver);
}
