// Window descriptors: the compiled resources decode back to their text sources, the program's
// windows hold what the client needs, the first window has the documented byte layout, and
// the reader stays inside its buffer whatever the bytes say. Runs in both builds (in the host
// build under the sanitizers, on the resource bytes the compiler also wrote as arrays).
#include <cstring>
#include <string>
#include <vector>

#include "runtime/wsl/descriptor.h"
#include "support/check.h"
#include "unit/wsl_listing.h"

namespace {

struct GeneratedResource {
  const char* name;
  const unsigned char* bytes;
  unsigned size;
};
#include "bytes.inc"

struct GeneratedListing {
  const char* name;
  const char* text;
};
const GeneratedListing kListings[] = {
#include "listing.inc"
};

const GeneratedResource* FindResourceBytes(const char* name) {
  for (const GeneratedResource& r : kGeneratedResources)
    if (std::strcmp(r.name, name) == 0) return &r;
  return nullptr;
}

// A descriptor buffer made from one generated resource, as the locator makes it.
struct Buffer {
  std::string module_id;
  std::vector<std::uint8_t> bytes;
  vel::Descriptor d;
};

Buffer Load(const char* resource_name) {
  Buffer b;
  const GeneratedResource* r = FindResourceBytes(resource_name);
  REQUIRE(r != nullptr);
  b.module_id = reinterpret_cast<const char*>(r->bytes);
  const std::size_t n = vel::DescriptorBufferFromResource(r->bytes, r->size, b.module_id.c_str(), nullptr, 0);
  REQUIRE(n == r->size - b.module_id.size() - 1 + 2);
  b.bytes.resize(n);
  REQUIRE(vel::DescriptorBufferFromResource(r->bytes, r->size, b.module_id.c_str(), b.bytes.data(), n) == n);
  b.d = vel::Descriptor(b.bytes.data(), b.bytes.size());
  return b;
}

std::vector<vel::ControlRecord> Controls(const vel::Descriptor& d, std::uint32_t window) {
  vel::WindowRecord w;
  std::vector<vel::ControlRecord> out;
  if (!d.Window(window, &w)) return out;
  for (auto c = vel::FirstControl(d, w); c.ok; c = vel::NextControl(d, c)) out.push_back(c.record);
  return out;
}

std::string Text(const vel::Descriptor& d, std::uint32_t offset) {
  const char* s = d.String(offset);
  return s ? s : "";
}

// Compares line by line so that a failure names the first line that differs.
void CheckSameListing(const std::string& decoded, const std::string& source) {
  std::size_t a = 0, b = 0;
  int line = 1;
  while (a < decoded.size() || b < source.size()) {
    std::size_t ea = decoded.find('\n', a), eb = source.find('\n', b);
    if (ea == std::string::npos) ea = decoded.size();
    if (eb == std::string::npos) eb = source.size();
    const std::string la = decoded.substr(a, ea - a), lb = source.substr(b, eb - b);
    if (la != lb) {
      CHECK_EQ(la, lb);
      return;
    }
    a = ea + 1;
    b = eb + 1;
    ++line;
  }
  CHECK(line > 1);
}

// ---- 1. round trip: every generated resource decodes to its source's listing ------------

TEST_CASE("descriptor: every generated resource decodes back to its source") {
  CHECK(sizeof kListings / sizeof kListings[0] >= 3);
  for (const GeneratedListing& l : kListings) {
    Buffer b = Load(l.name);
    CheckSameListing(wsltest::Listing(b.module_id.c_str(), l.name, b.d), l.text);
  }
}

// ---- 2. the program's windows against the client's tables ------------------------------

struct Expected {
  const char* label;
  std::uint8_t kind;
  const char* text;     // text, or list format for lists
  const char* picture;
  std::uint8_t use_type;
  std::uint32_t use_size;
};

const Expected kMainWindow[] = {
    {"?USEPRECONFIG", vel::kKindCheck, " Retrive Proxy Configuration from the Registry", nullptr, 1, 1},
    {"?START", vel::kKindButton, "Start Internet Session", nullptr, 0, 0},
    {"?CLOSE", vel::kKindButton, "Close Internet Session", nullptr, 0, 0},
    {"?PROXY:PROMPT", vel::kKindPrompt, "TIS Compatible Proxy (No CERN):", nullptr, 0, 0},
    {"?PROXY", vel::kKindEntry, nullptr, "s39", 19, 40},
    {"?SERVERNAME:PROMPT", vel::kKindPrompt, "Server Name:", nullptr, 0, 0},
    {"?SERVERNAME", vel::kKindEntry, nullptr, "s39", 19, 40},
    {"?USERNAME:PROMPT", vel::kKindPrompt, "User Name:", nullptr, 0, 0},
    {"?USERNAME", vel::kKindEntry, nullptr, "s19", 19, 20},
    {"?PASSWORD:PROMPT", vel::kKindPrompt, "Password:", nullptr, 0, 0},
    {"?PASSWORD", vel::kKindEntry, nullptr, "s19", 19, 20},
    {"?CONNECT", vel::kKindButton, "Connect", nullptr, 0, 0},
    {"?CHKPASSIVE", vel::kKindCheck, " Passive FTP Syntax", nullptr, 1, 1},
    {"?DISCONNECT", vel::kKindButton, "Disonnect", nullptr, 0, 0},
    {"?PANEL2", vel::kKindPanel, nullptr, nullptr, 0, 0},
    {"?CURRENTFTPDIR", vel::kKindString, nullptr, "s255", 19, 260},
    {"?DWTYPE", vel::kKindOption, "Transfer", nullptr, 6, 4},
    {"?DWTYPE:RADIO1", vel::kKindRadio, "Binary", nullptr, 0, 0},
    {"?DWTYPE:RADIO2", vel::kKindRadio, "Ascii", nullptr, 0, 0},
    {"?GETBUTTON", vel::kKindButton, "--- Get --->", nullptr, 0, 0},
    {"?PUTBUTTON", vel::kKindButton, "<--- Put ---", nullptr, 0, 0},
    {"?OKBUTTON:3", vel::kKindButton, "Clear Tagged", nullptr, 0, 0},
    {"?PERCENTCOMPLETE", vel::kKindProgress, nullptr, nullptr, 6, 4},
    {"?OKBUTTON:2", vel::kKindButton, "Clear Tagged", nullptr, 0, 0},
    {"?LIST1", vel::kKindList, "120L(1)|MIT(B)~Name~@s255@80L(1)|M~File Size~@s20@", nullptr, 0, 0},
    {"?OKBUTTON", vel::kKindButton, "Close", nullptr, 0, 0},
    {"?RETVAL", vel::kKindString, nullptr, "s126", 19, 126},
    {"?LISTDIRS", vel::kKindList, "126L(2)IT@s126@", nullptr, 0, 0},
    {"?IMAGE1", vel::kKindImage, nullptr, nullptr, 0, 0},
    {"?PREVDIRBUTTON", vel::kKindButton, nullptr, nullptr, 0, 0},
    {"?LIST4", vel::kKindList, "1020L(1)~File Name~@s255@", nullptr, 0, 0},
    {"?LISTDRIVES", vel::kKindList, "4L(3)I@s1@", nullptr, 0, 0},
};

const Expected kCreateDirectory[] = {
    {"?PROMPT1:2", vel::kKindPrompt, "Create Under:", nullptr, 0, 0},
    {"?CURRENTFTPDIR", vel::kKindString, nullptr, "s255", 19, 260},
    {"?PROMPT1", vel::kKindPrompt, "New Directory:", nullptr, 0, 0},
    {"?PUB_STRFILENAME", vel::kKindEntry, nullptr, "s255", 19, 260},
    {"?OKBUTTON", vel::kKindButton, "Create", nullptr, 0, 0},
    {"?CANCELBUTTON", vel::kKindButton, "Cancel", nullptr, 0, 0},
};

const Expected kRenameFile[] = {
    {"?PROMPT1:2", vel::kKindPrompt, "Old Name:", nullptr, 0, 0},
    {"?DLS:NAME", vel::kKindString, nullptr, "s255", 19, 260},
    {"?PROMPT1", vel::kKindPrompt, "New Name:", nullptr, 0, 0},
    {"?PUB_STRFILENAME", vel::kKindEntry, nullptr, "s255", 19, 260},
    {"?OKBUTTON", vel::kKindButton, "Rename", nullptr, 0, 0},
    {"?CANCELBUTTON", vel::kKindButton, "Cancel", nullptr, 0, 0},
};

template <std::size_t N>
void CheckControls(const vel::Descriptor& d, const char* window_label, const Expected (&expected)[N]) {
  const std::uint32_t window = d.WindowByLabel(window_label);
  REQUIRE(window != 0);
  const std::vector<vel::ControlRecord> controls = Controls(d, window);
  CHECK_EQ(controls.size(), N);
  for (std::size_t i = 0; i < N && i < controls.size(); ++i) {
    const vel::ControlRecord& c = controls[i];
    const Expected& e = expected[i];
    CHECK_EQ(Text(d, c.label), std::string(e.label));
    CHECK_EQ(c.field, i + 1);
    CHECK_EQ(int{c.kind}, int{e.kind});
    const std::uint32_t text = c.kind == vel::kKindList ? c.format : c.text;
    CHECK_EQ(Text(d, text), std::string(e.text ? e.text : ""));
    CHECK_EQ(Text(d, c.picture), std::string(e.picture ? e.picture : ""));
    vel::UseDescriptor use{};
    if (e.use_type) {
      REQUIRE(d.Use(c.use, &use));
      CHECK_EQ(int{use.type}, int{e.use_type});
      CHECK_EQ(use.size, e.use_size);
    } else {
      CHECK_EQ(c.use, 0u);
    }
    CHECK(c.kind == vel::kKindShape || c.has_position);
  }
}

TEST_CASE("program windows: the main window's controls, in field order") {
  Buffer b = Load("FTPCL001_RSC");
  CHECK_EQ(b.module_id, std::string("FtpClient_async$ftpcl001"));
  CheckControls(b.d, "P33$WINDOW", kMainWindow);
}

TEST_CASE("program windows: the two dialogs' controls") {
  Buffer b = Load("FTPCL001_RSC");
  CheckControls(b.d, "P21$WINDOW", kCreateDirectory);
  CheckControls(b.d, "P27$WINDOW", kRenameFile);
}

TEST_CASE("program windows: main window attributes, status zones and timer") {
  Buffer b = Load("FTPCL001_RSC");
  vel::WindowRecord w;
  REQUIRE(b.d.Window(b.d.WindowByLabel("P33$WINDOW"), &w));
  CHECK_EQ(Text(b.d, w.title), std::string("Asynchronous FTP Client"));
  CHECK_EQ(w.position.width, 464);
  CHECK_EQ(w.position.height, 243);
  CHECK_EQ(w.position.x, vel::kNotGiven);
  CHECK_EQ(w.attributes, 0x800u);
  CHECK_EQ(w.attributes & 0x300u, 0u);  // dialog units
  CHECK_EQ(w.frame, 0x3800u);
  CHECK_EQ(w.timer, 100u);
  vel::FontRecord f;
  REQUIRE(b.d.Font(w.font, &f));
  CHECK_EQ(std::string(f.face), std::string("MS Sans Serif"));
  CHECK_EQ(int{f.points}, 8);
  vel::ImageName icon;
  REQUIRE(b.d.Image(w.icon, &icon));
  CHECK(!icon.is_reference);
  CHECK_EQ(std::string(icon.name), std::string("Net04.ico"));
  std::uint32_t zones[5] = {};
  CHECK_EQ(b.d.Values(w.status_values, zones, 5), 4u);
  CHECK_EQ(zones[0], 120u);
  CHECK_EQ(zones[1], 120u);
  CHECK_EQ(zones[2], 100u);
  CHECK_EQ(zones[3], 124u);  // the counts of tagged rows
  CHECK_EQ(w.menu, 0u);
  CHECK_EQ(w.toolbar, 0u);
}

TEST_CASE("program windows: list, radio and button details the client relies on") {
  Buffer b = Load("FTPCL001_RSC");
  const auto c = Controls(b.d, b.d.WindowByLabel("P33$WINDOW"));
  REQUIRE(c.size() == 32);
  // ?LISTDRIVES drops 5 rows and has a tip; the other lists are plain.
  CHECK_EQ(int{c[31].drop}, 5);
  CHECK_EQ(Text(b.d, c[31].tip), std::string("Select drive"));
  CHECK_EQ(int{c[24].drop}, 0);
  CHECK_EQ(c[24].list_extra, 0xFFFFFFFFu);
  // Alert keys: ?LIST1 right button (2) and double click (5), ?LISTDIRS double click.
  std::uint32_t keys[4] = {};
  CHECK_EQ(b.d.Values(c[24].values, keys, 4), 2u);
  CHECK_EQ(keys[0], 2u);
  CHECK_EQ(keys[1], 5u);
  CHECK_EQ(b.d.Values(c[27].values, keys, 4), 1u);
  CHECK_EQ(keys[0], 5u);
  CHECK_EQ(b.d.Values(c[30].values, keys, 4), 0u);
  // Radio values are the transfer-type flags as text.
  CHECK_EQ(Text(b.d, c[17].value), std::string("2"));
  CHECK_EQ(Text(b.d, c[18].value), std::string("1"));
  CHECK_EQ(Text(b.d, c[29].icon), std::string("DIRPREV.ICO"));
  CHECK_EQ(Text(b.d, c[29].tip), std::string("Previous level"));
  CHECK_EQ(c[14].fill, 0xFFFEu);
  CHECK_EQ(c[22].high, 100.0);
  // The image is 18 x 18.
  CHECK_EQ(c[28].position.width, 18);
  CHECK_EQ(c[28].position.height, 18);
}

TEST_CASE("program windows: fourteen, two and two variable addresses, in chain order") {
  Buffer b = Load("FTPCL001_RSC");
  auto bound = [&](const char* window) {
    std::vector<std::string> labels;
    for (const auto& c : Controls(b.d, b.d.WindowByLabel(window)))
      if (vel::ControlTakesVariable(c.kind)) labels.push_back(Text(b.d, c.label));
    return labels;
  };
  const auto main = bound("P33$WINDOW");
  REQUIRE(main.size() == 14);
  CHECK_EQ(main[2], std::string("?SERVERNAME"));
  CHECK_EQ(main[3], std::string("?USERNAME"));
  CHECK_EQ(main[4], std::string("?PASSWORD"));
  CHECK_EQ(main[9], std::string("?LIST1"));
  CHECK_EQ(bound("P21$WINDOW").size(), 2u);
  CHECK_EQ(bound("P27$WINDOW").size(), 2u);
}

TEST_CASE("program windows: every control lies inside its window") {
  Buffer b = Load("FTPCL001_RSC");
  for (const char* label : {"P21$WINDOW", "P27$WINDOW", "P33$WINDOW"}) {
    vel::WindowRecord w;
    REQUIRE(b.d.Window(b.d.WindowByLabel(label), &w));
    for (const auto& c : Controls(b.d, w.offset)) {
      const auto& p = c.position;
      CHECK(p.x >= 0 && p.y >= 0);
      if (p.width != vel::kNotGiven) CHECK(p.x + p.width <= w.position.width);
      if (p.height != vel::kNotGiven) CHECK(p.y + p.height <= w.position.height);
    }
  }
}

// ---- 3. the first window's byte layout -------------------------------------------------

TEST_CASE("layout: the first window of FTPCL001_RSC") {
  const GeneratedResource* r = FindResourceBytes("FTPCL001_RSC");
  REQUIRE(r != nullptr);
  // Identifier of 24 characters: resource byte 0x57 is offset 0x40, the first window's kind.
  CHECK_EQ(std::strlen(reinterpret_cast<const char*>(r->bytes)), 24u);
  CHECK_EQ(int{r->bytes[0x57]}, 25);
  Buffer b = Load("FTPCL001_RSC");
  CHECK_EQ(int{b.bytes[0]}, 0);
  CHECK_EQ(b.d.FirstWindow(), 0x40u);
  vel::WindowRecord w;
  REQUIRE(b.d.Window(0x40, &w));
  CHECK_EQ(w.next, 0x354u);
  CHECK_EQ(w.attributes, 0x10u);
  CHECK_EQ(w.position.x, vel::kNotGiven);
  CHECK_EQ(w.position.y, vel::kNotGiven);
  CHECK_EQ(w.position.width, 185);
  CHECK_EQ(w.position.height, 78);
  CHECK_EQ(w.first_control, 0xCDu);
  CHECK_EQ(Text(b.d, w.label), std::string("P21$WINDOW"));
  CHECK_EQ(Text(b.d, w.title), std::string("Create Directory"));
  CHECK_EQ(w.frame, 0x3000u);
  vel::FontRecord f;
  REQUIRE(b.d.Font(w.font, &f));
  CHECK_EQ(std::string(f.face), std::string("MS Sans Serif"));
  CHECK_EQ(int{f.points}, 8);
  CHECK_EQ(f.color, vel::kDefaultColor);
  struct Row {
    std::uint8_t kind;
    const char* label;
    std::int32_t x, y, width, height;
    const char* text;
  };
  const std::int32_t ng = vel::kNotGiven;
  const Row rows[] = {
      {vel::kKindPrompt, "?PROMPT1:2", 9, 7, ng, ng, "Create Under:"},
      {vel::kKindString, "?CURRENTFTPDIR", 11, 22, ng, ng, "s255"},
      {vel::kKindPrompt, "?PROMPT1", 7, 38, ng, ng, "New Directory:"},
      {vel::kKindEntry, "?PUB_STRFILENAME", 71, 37, 107, 10, "s255"},
      {vel::kKindButton, "?OKBUTTON", 101, 58, 35, 14, "Create"},
      {vel::kKindButton, "?CANCELBUTTON", 141, 57, 36, 14, "Cancel"},
  };
  const auto controls = Controls(b.d, 0x40);
  REQUIRE(controls.size() == 6);
  for (int i = 0; i < 6; ++i) {
    const auto& c = controls[i];
    CHECK_EQ(int{c.kind}, int{rows[i].kind});
    CHECK_EQ(Text(b.d, c.label), std::string(rows[i].label));
    CHECK_EQ(c.position.x, rows[i].x);
    CHECK_EQ(c.position.y, rows[i].y);
    CHECK_EQ(c.position.width, rows[i].width);
    CHECK_EQ(c.position.height, rows[i].height);
    const std::uint32_t text = c.kind == vel::kKindPrompt || c.kind == vel::kKindButton ? c.text : c.picture;
    CHECK_EQ(Text(b.d, text), std::string(rows[i].text));
  }
  CHECK_EQ(int{controls[4].is_default}, 1);
  CHECK_EQ(int{controls[5].is_default}, 0);
  // The chain goes on to "Rename File", then the main window, which ends it.
  vel::WindowRecord second, third;
  REQUIRE(b.d.Window(0x354, &second));
  CHECK_EQ(Text(b.d, second.label), std::string("P27$WINDOW"));
  REQUIRE(b.d.Window(second.next, &third));
  CHECK_EQ(Text(b.d, third.label), std::string("P33$WINDOW"));
  CHECK_EQ(third.next, 0u);
}

// ---- 4. resource names and buffers ----------------------------------------------------

TEST_CASE("resource name: after the first $, upper case, _RSC") {
  char name[64];
  CHECK_EQ(vel::DescriptorResourceName("FtpClient_async$ftpcl001", name, sizeof name), 12u);
  CHECK_EQ(std::string(name), std::string("FTPCL001_RSC"));
  vel::DescriptorResourceName("FtpClient_async$ftpcl_sf", name, sizeof name);
  CHECK_EQ(std::string(name), std::string("FTPCL_SF_RSC"));
  vel::DescriptorResourceName("nodollar", name, sizeof name);
  CHECK_EQ(std::string(name), std::string("NODOLLAR_RSC"));
  vel::DescriptorResourceName("a$b$c", name, sizeof name);
  CHECK_EQ(std::string(name), std::string("B$C_RSC"));
  char small[12];  // "FTPCL001_RSC" needs 13
  CHECK_EQ(vel::DescriptorResourceName("x$ftpcl001", small, sizeof small), 0u);
}

TEST_CASE("resource buffer: identifier check and the two leading bytes") {
  const std::uint8_t resource[] = {'A', '$', 'b', 0, 0x06, 0, 0, 0, 0xAA};
  std::uint8_t buffer[16];
  std::memset(buffer, 0x55, sizeof buffer);
  CHECK_EQ(vel::DescriptorBufferFromResource(resource, sizeof resource, "A$b", buffer, sizeof buffer), 7u);
  CHECK_EQ(int{buffer[0]}, 0);
  CHECK_EQ(int{buffer[2]}, 6);
  CHECK_EQ(int{buffer[6]}, 0xAA);
  // Another module's identifier, a longer or shorter one, a short block: not this module's.
  CHECK_EQ(vel::DescriptorBufferFromResource(resource, sizeof resource, "A$c", nullptr, 0), 0u);
  CHECK_EQ(vel::DescriptorBufferFromResource(resource, sizeof resource, "A$", nullptr, 0), 0u);
  CHECK_EQ(vel::DescriptorBufferFromResource(resource, sizeof resource, "A$bb", nullptr, 0), 0u);
  CHECK_EQ(vel::DescriptorBufferFromResource(resource, 7, "A$b", nullptr, 0), 0u);
  // A buffer too small is not written.
  CHECK_EQ(vel::DescriptorBufferFromResource(resource, sizeof resource, "A$b", buffer, 6), 0u);
}

// ---- 5. defaults, empty windows, unknown kinds ---------------------------------------

TEST_CASE("reader: an empty window, default sizes and header-only kinds") {
  Buffer b = Load("NODOLLAR_MODULE_RSC");
  vel::WindowRecord w;
  REQUIRE(b.d.Window(b.d.WindowByLabel("EMPTY$WINDOW"), &w));
  CHECK_EQ(w.first_control, 0u);
  CHECK(!vel::FirstControl(b.d, w).ok);
  CHECK_EQ(w.position.width, vel::kNotGiven);
  CHECK_EQ(w.font, 0u);
  const auto c = Controls(b.d, b.d.WindowByLabel("ALLKINDS$WINDOW"));
  REQUIRE(c.size() == 15);
  CHECK_EQ(int{c[0].kind}, 7);          // no class: header only, the walk goes on
  CHECK(!c[0].has_position);
  CHECK_EQ(c[1].position.width, vel::kNotGiven);
  CHECK_EQ(c[12].position.x, vel::kNotGiven);
  CHECK_EQ(c[12].position.y, 40);
  CHECK_EQ(int{c[14].kind}, 38);
  CHECK_EQ(c[4].attributes & 0x1Cu, 0u);
  CHECK_EQ(c[3].attributes & 0x1Cu, 0x10u);  // right
  CHECK_EQ(c[5].attributes & 0x1Cu, 0x08u);  // centre
  vel::ImageName icon;
  REQUIRE(b.d.Window(b.d.WindowByLabel("ALLKINDS$WINDOW"), &w));
  REQUIRE(b.d.Image(w.icon, &icon));
  CHECK(icon.is_reference);
  CHECK_EQ(int{icon.kind}, 2);
  CHECK_EQ(icon.value, 0x7F03);
}

TEST_CASE("reader: labels compare without regard to case; unknown labels give 0") {
  Buffer b = Load("FTPCL001_RSC");
  CHECK_EQ(b.d.WindowByLabel("p21$window"), 0x40u);
  CHECK_EQ(b.d.WindowByLabel("P21$WINDOWX"), 0u);
  CHECK_EQ(b.d.WindowByLabel("P21$WINDO"), 0u);
  CHECK_EQ(b.d.WindowByLabel(""), 0u);
}

// ---- 6. bad bytes ---------------------------------------------------------------------

// Walks everything reachable, resolving every offset, as window opening would.
std::size_t WalkAll(const vel::Descriptor& d) {
  std::size_t seen = 0;
  vel::WindowRecord w;
  std::size_t steps = 0;
  for (std::uint32_t at = d.FirstWindow(); steps < d.MaxChainSteps() && d.Window(at, &w); at = w.next, ++steps) {
    ++seen;
    d.String(w.label);
    d.String(w.title);
    vel::FontRecord f;
    d.Font(w.font, &f);
    std::uint32_t v[8];
    d.Values(w.status_values, v, 8);
    for (auto c = vel::FirstControl(d, w); c.ok; c = vel::NextControl(d, c)) {
      ++seen;
      vel::UseDescriptor u;
      d.Use(c.record.use, &u);
      d.String(c.record.label);
      d.String(c.record.text);
      d.String(c.record.format);
      d.Values(c.record.values, v, 8);
    }
  }
  return seen;
}

TEST_CASE("reader: every truncation of a real buffer reads safely") {
  Buffer b = Load("FTPCL001_RSC");
  const std::size_t full = WalkAll(b.d);
  CHECK_EQ(full, 3u + 6u + 6u + 32u);
  std::size_t previous = 0;
  for (std::size_t n = 0; n <= b.bytes.size(); ++n) {
    // An exact-size heap copy, so that the sanitizers see any read past the end.
    std::vector<std::uint8_t> cut(b.bytes.begin(), b.bytes.begin() + n);
    const std::size_t seen = WalkAll(vel::Descriptor(cut.data(), cut.size()));
    CHECK(seen >= previous);  // more bytes never make fewer records readable
    previous = seen;
  }
  CHECK_EQ(previous, full);
}

TEST_CASE("reader: chains that loop end; offsets outside the block read as absent") {
  Buffer b = Load("FTPCL001_RSC");
  std::vector<std::uint8_t> bytes = b.bytes;
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  vel::Descriptor d(bytes.data(), bytes.size());
  // Window 1 points back to itself: the chain walk ends, nothing hangs.
  put32(0x40 + 1, 0x40);
  CHECK_EQ(d.WindowByLabel("P33$WINDOW"), 0u);
  CHECK_EQ(d.WindowByLabel("P21$WINDOW"), 0x40u);
  // Its last control points back to its first: the control walk ends after a bounded count.
  const auto controls = Controls(d, 0x40);
  put32(controls.back().offset + 1, 0xCD);
  std::size_t n = 0;
  vel::WindowRecord w;
  REQUIRE(d.Window(0x40, &w));
  for (auto c = vel::FirstControl(d, w); c.ok; c = vel::NextControl(d, c)) ++n;
  CHECK(n <= d.MaxChainSteps());
  // Offsets past the end: the title, the font, the first control.
  put32(0x40 + 41, static_cast<std::uint32_t>(bytes.size()));
  put32(0x40 + 37, static_cast<std::uint32_t>(bytes.size() - 3));
  put32(0x40 + 29, 0xFFFFFFF0u);
  REQUIRE(d.Window(0x40, &w));
  CHECK(d.String(w.title) == nullptr);
  vel::FontRecord f;
  CHECK(!d.Font(w.font, &f));
  CHECK(!vel::FirstControl(d, w).ok);
  // A string that runs to the end without its NUL is absent.
  bytes.back() = 'x';
  CHECK(d.String(static_cast<std::uint32_t>(bytes.size() - 1)) == nullptr);
  // A window record cut by the end of the buffer, and one of another kind.
  CHECK(!d.Window(static_cast<std::uint32_t>(bytes.size() - 100), &w));
  bytes[0x40] = 9;
  CHECK(!d.Window(0x40, &w));
  CHECK_EQ(d.FirstWindow(), 0x40u);
  CHECK_EQ(d.WindowByLabel("P21$WINDOW"), 0u);
  // An empty or tiny buffer has no windows.
  CHECK_EQ(vel::Descriptor(bytes.data(), 5).FirstWindow(), 0u);
  CHECK_EQ(vel::Descriptor().WindowByLabel("P21$WINDOW"), 0u);
}

}  // namespace
