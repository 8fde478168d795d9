// The client's request machine without a server or a window: every kind in every phase it can
// reach, against every event, with the side effects recorded. Cases: the expected action,
// next state and described code of each chain step, of Escape, Disconnect and Close; late,
// duplicated and out-of-order outcomes (a completion after a cancel, one for an older epoch,
// an answer or a listing's end of a request that has ended); a call refused at once; and,
// for every state and event, that the machine stays consistent and the request still ends.
#include <map>
#include <string>
#include <vector>

#include "app/request_machine.h"
#include "support/check.h"

using namespace ftpcl;

namespace {

using K = Kind;
using P = Phase;
using E = Event;
using A = Action;

// Records every action; outcomes are scripted per action, else the ordinary ones (the
// security taken, the target absent, no certificate to ask about, nothing left of an upload).
struct Recorder final : RequestEffects {
  std::vector<std::string> done;
  std::map<A, Outcome> script;
  RequestMachine* machine = nullptr;
  A reenter_on = A::kCount;  // the action during which the window handles `reenter_with`
  E reenter_with = E::kNone;

  Outcome Do(A a, const Request& r) override {
    done.push_back(NameOf(a));
    if (a == reenter_on && machine) machine->Handle(reenter_with);
    if (auto it = script.find(a); it != script.end()) return it->second;
    switch (a) {
      case A::kTakeConnectionSecurity: return {E::kSecured};
      case A::kJudgePutTarget:
      case A::kJudgeRenameTarget: return {E::kTargetAbsent};
      case A::kAskAboutCertificate: return {E::kNotAsked};
      case A::kReportTransferCancelled: return {r.kind == K::kPut ? E::kNothingLeft : E::kNone};
      default: return {};
    }
  }
  std::string Take() {
    std::string all;
    for (const std::string& s : done) all += (all.empty() ? "" : " ") + s;
    done.clear();
    return all;
  }
};

struct Bench {
  Recorder fx;
  std::atomic<std::int16_t> code{-1};
  RequestMachine m{fx, code};
  Bench() { fx.machine = &m; }
  std::string State() const { return std::string(NameOf(m.Current().kind)) + "/" + NameOf(m.Current().phase); }
};

// Drives a new request of `kind` to `phase` by the ordinary steps.
void Reach(Bench& b, K kind, P phase) {
  const K begun = kind == K::kCleanup ? K::kPut : kind;
  REQUIRE(b.m.Begin(begun));
  if (kind == K::kCleanup) {
    b.m.Handle(E::kDone);  // connected: the put's target is looked at
    b.m.Handle(E::kDone);  // absent: the upload runs
    b.m.Handle(E::kEscape);
    b.fx.script[A::kReportTransferCancelled] = {E::kPartialLeft};
    b.m.Handle(E::kFailed);  // cancelled after its data reached the server
    b.fx.script.erase(A::kReportTransferCancelled);
    if (phase == P::kRunning) b.m.Handle(E::kDone);
  } else if (phase == P::kListing && kind == K::kConnect) {
    b.m.Handle(E::kDone);
  } else if (phase == P::kChecking) {
    b.m.Handle(E::kDone);
  } else if (phase == P::kAsking) {
    b.fx.script[kind == K::kPut ? A::kJudgePutTarget : A::kJudgeRenameTarget] = {E::kTargetMaybe};
    b.m.Handle(E::kDone);
    b.m.Handle(E::kDone);
    b.fx.script.clear();
  } else if (phase == P::kRunning) {
    b.m.Handle(E::kDone);
    if (kind == K::kPut || kind == K::kRename) b.m.Handle(E::kDone);
  }
  REQUIRE(b.m.Current().kind == kind && b.m.Current().phase == phase);
  b.fx.Take();
}

struct State {
  K kind;
  P phase;
};
const State kStates[] = {
    {K::kConnect, P::kConnecting}, {K::kConnect, P::kListing}, {K::kListing, P::kListing},
    {K::kGet, P::kConnecting},     {K::kGet, P::kRunning},     {K::kPut, P::kConnecting},
    {K::kPut, P::kChecking},       {K::kPut, P::kAsking},      {K::kPut, P::kRunning},
    {K::kMkdir, P::kConnecting},   {K::kMkdir, P::kRunning},   {K::kRmdir, P::kConnecting},
    {K::kRmdir, P::kRunning},      {K::kDelete, P::kConnecting}, {K::kDelete, P::kRunning},
    {K::kRename, P::kConnecting},  {K::kRename, P::kChecking}, {K::kRename, P::kAsking},
    {K::kRename, P::kRunning},     {K::kCleanup, P::kConnecting}, {K::kCleanup, P::kRunning},
};

// One event on a request in `from`: the actions it runs and the state and code it leaves.
struct Step {
  State from;
  E event;
  const char* actions;
  const char* after;
  std::int16_t code;
};

// clang-format off
const Step kSteps[] = {
    // Connect: security, root listing, the listing's end; a refused connect; Escape, Disconnect
    // and Close abandon the connect and login at once, and cancel the root's listing.
    {{K::kConnect, P::kConnecting}, E::kDone,         "TakeConnectionSecurity ListRoot", "Connect/Listing", 2},
    {{K::kConnect, P::kConnecting}, E::kFailed,       "AskAboutCertificate ReportFailure", "None/Idle", 1},
    {{K::kConnect, P::kConnecting}, E::kRefused,      "ReportFailure", "None/Idle", 1},
    {{K::kConnect, P::kConnecting}, E::kEscape,       "AbandonConnect", "None/Idle", 1},
    {{K::kConnect, P::kConnecting}, E::kDisconnect,   "AbandonConnect", "None/Idle", 1},
    {{K::kConnect, P::kConnecting}, E::kClose,        "AbandonConnect", "None/Idle", 1},
    {{K::kConnect, P::kListing},    E::kListingEnded, "Nothing", "None/Idle", 1},
    {{K::kConnect, P::kListing},    E::kEscape,       "CancelListingByUser", "Connect/Listing", 2},
    {{K::kConnect, P::kListing},    E::kDisconnect,   "AbandonListing", "None/Idle", 1},
    {{K::kConnect, P::kListing},    E::kClose,        "AbandonListing", "None/Idle", 1},
    {{K::kConnect, P::kListing},    E::kDone,         "", "Connect/Listing", 2},
    // Listing.
    {{K::kListing, P::kListing}, E::kListingEnded, "Nothing", "None/Idle", 1},
    {{K::kListing, P::kListing}, E::kEscape,       "CancelListingByUser", "Listing/Listing", 2},
    {{K::kListing, P::kListing}, E::kDisconnect,   "AbandonListing", "None/Idle", 1},
    {{K::kListing, P::kListing}, E::kClose,        "AbandonListing", "None/Idle", 1},
    {{K::kListing, P::kListing}, E::kDone,         "", "Listing/Listing", 2},
    // Get.
    {{K::kGet, P::kConnecting}, E::kDone,       "IssueGet", "Get/Running", 4},
    {{K::kGet, P::kConnecting}, E::kEscape,     "CancelTransfer", "Get/Connecting", 3},
    {{K::kGet, P::kConnecting}, E::kDisconnect, "ReportTransferCancelled", "None/Idle", 1},
    {{K::kGet, P::kRunning},    E::kDone,       "FinishDownload", "None/Idle", 1},
    {{K::kGet, P::kRunning},    E::kFailed,     "ReportFailure", "None/Idle", 1},
    {{K::kGet, P::kRunning},    E::kEscape,     "CancelTransfer", "Get/Running", 4},
    {{K::kGet, P::kRunning},    E::kClose,      "ReportTransferCancelled", "None/Idle", 1},
    {{K::kPut, P::kRunning},    E::kDisconnect, "ReportTransferCancelled Nothing", "None/Idle", 1},
    {{K::kMkdir, P::kRunning},  E::kDisconnect, "Nothing", "None/Idle", 1},
    {{K::kRename, P::kAsking},  E::kClose,      "EndUnansweredRename", "None/Idle", 1},
    {{K::kCleanup, P::kRunning}, E::kDisconnect, "", "Cleanup/Running", 17},
    // Put.
    {{K::kPut, P::kConnecting}, E::kDone,      "IssuePutCheck", "Put/Checking", 15},
    {{K::kPut, P::kChecking},   E::kDone,      "JudgePutTarget IssuePut", "Put/Running", 6},
    {{K::kPut, P::kChecking},   E::kFailed,    "JudgePutTarget IssuePut", "Put/Running", 6},
    {{K::kPut, P::kChecking},   E::kEscape,    "CancelTransfer", "Put/Checking", 15},
    {{K::kPut, P::kAsking},     E::kAnswerYes, "IssuePut", "Put/Running", 6},
    {{K::kPut, P::kAsking},     E::kAnswerNo,  "EndUnansweredPut", "None/Idle", 1},
    {{K::kPut, P::kAsking},     E::kEscape,    "ReportTransferCancelled Nothing", "None/Idle", 1},
    {{K::kPut, P::kAsking},     E::kDone,      "", "Put/Asking", 15},
    {{K::kPut, P::kRunning},    E::kDone,      "FinishUpload", "None/Idle", 1},
    {{K::kPut, P::kRunning},    E::kFailed,    "ReportFailure", "None/Idle", 1},
    {{K::kPut, P::kRunning},    E::kEscape,    "CancelTransfer", "Put/Running", 6},
    {{K::kPut, P::kRunning},    E::kAnswerYes, "", "Put/Running", 6},
    // File operations: a success, and a failure reported.
    {{K::kMkdir, P::kConnecting},  E::kDone,   "IssueOperation", "Mkdir/Running", 8},
    {{K::kMkdir, P::kRunning},     E::kDone,   "CompleteOperation", "None/Idle", 1},
    {{K::kMkdir, P::kRunning},     E::kEscape, "", "Mkdir/Running", 8},
    {{K::kRmdir, P::kConnecting},  E::kDone,   "IssueOperation", "Rmdir/Running", 10},
    {{K::kRmdir, P::kRunning},     E::kFailed, "ReportFailure", "None/Idle", 1},
    {{K::kDelete, P::kConnecting}, E::kDone,   "IssueOperation", "Delete/Running", 12},
    {{K::kDelete, P::kConnecting}, E::kFailed, "AskAboutCertificate ReportFailure", "None/Idle", 1},
    {{K::kDelete, P::kRunning},    E::kDone,   "CompleteOperation", "None/Idle", 1},
    {{K::kRename, P::kConnecting}, E::kDone,      "IssueRenameCheck", "Rename/Checking", 18},
    {{K::kRename, P::kChecking},   E::kDone,      "JudgeRenameTarget IssueRename", "Rename/Running", 14},
    {{K::kRename, P::kAsking},     E::kAnswerYes, "IssueRename", "Rename/Running", 14},
    {{K::kRename, P::kAsking},     E::kAnswerNo,  "EndUnansweredRename", "None/Idle", 1},
    {{K::kRename, P::kRunning},    E::kDone,      "CompleteOperation", "None/Idle", 1},
    // The removal of a cancelled upload's partial file reports whatever happens.
    {{K::kCleanup, P::kConnecting}, E::kDone,   "IssueCleanupDelete", "Cleanup/Running", 17},
    {{K::kCleanup, P::kConnecting}, E::kFailed, "ReportPartialKept", "None/Idle", 1},
    {{K::kCleanup, P::kRunning},    E::kDone,   "ReportPartialRemoved", "None/Idle", 1},
    {{K::kCleanup, P::kRunning},    E::kFailed, "ReportPartialKept", "None/Idle", 1},
    {{K::kCleanup, P::kRunning},    E::kEscape, "", "Cleanup/Running", 17},
};
// clang-format on

}  // namespace

TEST_CASE("request machine: each chain step, Escape, Disconnect and Close") {
  for (const Step& s : kSteps) {
    Bench b;
    Reach(b, s.from.kind, s.from.phase);
    if (s.event == E::kListingEnded) b.m.HandleFor(b.m.Current().serial, s.event);
    else b.m.Handle(s.event);
    const std::string where = std::string(NameOf(s.from.kind)) + "/" + NameOf(s.from.phase) + " " + NameOf(s.event);
    CHECK_EQ(where + ": " + b.fx.Take(), where + ": " + s.actions);
    CHECK_EQ(where + ": " + b.State(), where + ": " + s.after);
    CHECK_EQ(b.code.load(), s.code);
  }
}

TEST_CASE("request machine: the table's rows lead only to phases their kinds have, and none is shadowed") {
  std::size_t count = 0;
  const Row* table = RequestTable(&count);
  std::vector<State> states(std::begin(kStates), std::end(kStates));
  states.push_back({K::kPut, P::kEnding});  // only ever between a cancel's report and its outcome
  for (std::size_t i = 0; i < count; ++i) {
    const Row& row = table[i];
    bool first_somewhere = false;
    for (const State& s : states) {
      const bool kind_fits = row.kind == s.kind || (row.kind == K::kNone && s.kind != K::kListing);
      const bool phase_fits = row.phase == s.phase || row.phase == P::kIdle;
      if (!kind_fits || !phase_fits) continue;
      Request r;
      r.kind = s.kind;
      r.phase = s.phase;
      first_somewhere = first_somewhere || FindRow(r, row.event) == &row;
      const K kind = row.next_kind == K::kSame ? s.kind : row.next_kind;
      const P phase = row.next_phase == P::kSame ? s.phase : row.next_phase;
      CHECK(PhaseAllowed(kind, phase));
    }
    if (!first_somewhere) CHECK_EQ(std::string("shadowed row ") + std::to_string(i), std::string());
  }
}

TEST_CASE("request machine: every state and event leaves it consistent, and the request still ends") {
  for (const State& s : kStates) {
    for (int e = static_cast<int>(E::kDone); e < static_cast<int>(E::kCount); ++e) {
      Bench b;
      Reach(b, s.kind, s.phase);
      const E event = static_cast<E>(e);
      if (event == E::kListingEnded) b.m.HandleFor(b.m.Current().serial, event);
      else b.m.Handle(event);
      const std::string where = b.State() + " after " + NameOf(event);
      CHECK_EQ(where + ": " + (b.m.Broken() ? b.m.Broken() : "ok"), where + ": ok");
      // Whatever it waits for - its completion, its listing's end, the question's answer -
      // ends it; a cancelled upload's cleanup takes one more completion.
      for (int round = 0; round < 4 && !b.m.Idle(); ++round) {
        const std::uint64_t serial = b.m.Current().serial;
        b.m.Handle(E::kFailed, 12030);
        b.m.HandleFor(serial, E::kListingEnded);
        b.m.HandleFor(serial, E::kAnswerNo);
      }
      CHECK_EQ(where + (b.m.Idle() ? ": ends" : ": stuck"), where + ": ends");
      CHECK_EQ(b.code.load(), std::int16_t{1});
    }
  }
}

TEST_CASE("request machine: a completion after a cancel ends the request once, as cancelled") {
  Bench b;
  Reach(b, K::kGet, P::kRunning);
  b.m.Handle(E::kEscape);
  CHECK(b.m.Cancelled());
  CHECK_EQ(b.fx.Take(), std::string("CancelTransfer"));
  b.m.Handle(E::kFailed, 12017);
  CHECK_EQ(b.fx.Take(), std::string("ReportTransferCancelled"));
  CHECK(b.m.Idle());
  CHECK(!b.m.Cancelled());
  const std::uint64_t ignored = b.m.IgnoredEvents();
  b.m.Handle(E::kFailed, 12017);  // the same completion again
  b.m.Handle(E::kDone);
  CHECK_EQ(b.fx.Take(), std::string());
  CHECK_EQ(b.m.IgnoredEvents(), ignored + 2);

  // A download that completed before the cancel took effect is finished as it is.
  Reach(b, K::kGet, P::kRunning);
  b.m.Handle(E::kEscape);
  b.fx.Take();
  b.m.Handle(E::kDone);
  CHECK_EQ(b.fx.Take(), std::string("FinishDownload"));
}

TEST_CASE("request machine: a completion for an older epoch never starts the next step") {
  Bench b;
  Reach(b, K::kGet, P::kConnecting);
  const std::uint32_t epoch = b.m.Epoch();
  b.m.Handle(E::kDisconnect);  // ended at once
  CHECK_EQ(b.m.Epoch(), epoch + 1);
  CHECK_EQ(b.fx.Take(), std::string("ReportTransferCancelled"));
  b.m.Handle(E::kDone);  // the connect's completion, late: no download is issued
  CHECK_EQ(b.fx.Take(), std::string());
  CHECK(b.m.Idle());

  // A put whose connect completes after Close: no look at the target, no upload, and no
  // cleanup in a session that is gone.
  Reach(b, K::kPut, P::kConnecting);
  b.fx.script[A::kReportTransferCancelled] = {E::kPartialLeft};
  b.m.Handle(E::kClose);
  b.m.Handle(E::kDone);
  CHECK_EQ(b.fx.Take(), std::string("ReportTransferCancelled"));
  CHECK(b.m.Idle());
  b.fx.script.clear();

  // A file operation completed after Disconnect reports nothing.
  Reach(b, K::kDelete, P::kRunning);
  b.m.Handle(E::kDisconnect);
  b.m.Handle(E::kDone, 0, true);
  CHECK_EQ(b.fx.Take(), std::string("Nothing"));

  // A cancelled download whose completion comes after Disconnect: one report only.
  Reach(b, K::kGet, P::kRunning);
  b.m.Handle(E::kEscape);
  b.m.Handle(E::kDisconnect);
  b.m.Handle(E::kFailed, 12017);
  CHECK_EQ(b.fx.Take(), std::string("CancelTransfer ReportTransferCancelled"));
}

TEST_CASE("request machine: an upload started once, however often its outcomes repeat") {
  Bench b;
  Reach(b, K::kPut, P::kAsking);
  const std::uint64_t serial = b.m.Current().serial;
  b.m.HandleFor(serial, E::kAnswerYes);
  b.m.HandleFor(serial, E::kAnswerYes);  // a second answer
  b.m.Handle(E::kTargetAbsent);          // a verdict out of order
  CHECK_EQ(b.fx.Take(), std::string("IssuePut"));
  CHECK_EQ(b.State(), std::string("Put/Running"));
  // An answer of an ended request reaches nothing, even with a new request of the same kind
  // waiting for its own answer.
  b.m.Handle(E::kDone);
  Reach(b, K::kPut, P::kAsking);
  b.m.HandleFor(serial, E::kAnswerYes);
  CHECK_EQ(b.fx.Take(), std::string());
  CHECK_EQ(b.State(), std::string("Put/Asking"));
}

TEST_CASE("request machine: a listing's end after the window began another request is dropped") {
  Bench b;
  Reach(b, K::kListing, P::kListing);
  const std::uint64_t old = b.m.Current().serial;
  b.m.HandleFor(old, E::kListingEnded);
  REQUIRE(b.m.Begin(K::kConnect));
  b.m.HandleFor(old, E::kListingEnded);  // duplicated, late
  CHECK_EQ(b.State(), std::string("Connect/Connecting"));
  CHECK(!b.m.Begin(K::kGet));  // busy: nothing changes
  CHECK_EQ(b.State(), std::string("Connect/Connecting"));
}

TEST_CASE("request machine: a call refused at once ends the request with its error") {
  Bench b;
  Reach(b, K::kGet, P::kConnecting);
  b.fx.script[A::kIssueGet] = {E::kRefused, 12004};
  b.m.Handle(E::kDone);
  CHECK_EQ(b.fx.Take(), std::string("IssueGet ReportFailure"));
  CHECK(b.m.Idle());
  CHECK_EQ(b.m.Current().error, 12004u);

  // Even after Escape: the refusal is reported, and nothing waits for a completion.
  b.fx.script.clear();
  b.fx.script[A::kIssuePut] = {E::kRefused, 12004};
  Reach(b, K::kPut, P::kChecking);
  b.m.Handle(E::kDone);
  CHECK_EQ(b.fx.Take(), std::string("JudgePutTarget IssuePut ReportFailure"));
  CHECK(b.m.Idle());
}

TEST_CASE("request machine: the certificate question, and a Disconnect while it is open") {
  Bench b;
  Reach(b, K::kConnect, P::kConnecting);
  b.fx.script[A::kAskAboutCertificate] = {E::kTrustYes};
  b.m.Handle(E::kFailed, 12045);
  CHECK_EQ(b.fx.Take(), std::string("AskAboutCertificate ConnectAgain"));
  CHECK_EQ(b.State(), std::string("Connect/Connecting"));
  b.m.Handle(E::kDone);
  CHECK_EQ(b.State(), std::string("Connect/Listing"));
  b.fx.Take();

  Bench c;
  Reach(c, K::kConnect, P::kConnecting);
  c.fx.script[A::kAskAboutCertificate] = {E::kTrustYes};
  c.fx.reenter_on = A::kAskAboutCertificate;  // the box lets the window run: Disconnect
  c.fx.reenter_with = E::kDisconnect;
  c.m.Handle(E::kFailed, 12045);
  CHECK_EQ(c.fx.Take(), std::string("AskAboutCertificate AbandonConnect"));
  CHECK(c.m.Idle());

  Bench d;
  Reach(d, K::kGet, P::kConnecting);
  d.fx.script[A::kAskAboutCertificate] = {E::kTrustNo};
  d.m.Handle(E::kFailed, 12045);
  CHECK_EQ(d.fx.Take(), std::string("AskAboutCertificate EndUntrusted"));
  CHECK(d.m.Idle());
}

TEST_CASE("request machine: a cancelled upload that reached the server removes its partial file") {
  Bench b;
  Reach(b, K::kPut, P::kRunning);
  b.fx.script[A::kReportTransferCancelled] = {E::kPartialLeft};
  b.m.Handle(E::kDisconnect);
  CHECK_EQ(b.fx.Take(), std::string("ReportTransferCancelled ConnectForCleanup"));
  CHECK_EQ(b.State(), std::string("Cleanup/Connecting"));
  CHECK_EQ(b.code.load(), 16);
  CHECK(!b.m.Cancelled());  // a chain of the epoch in force
  CHECK(b.m.Current().connection == nullptr);
  b.m.Handle(E::kDone);
  b.m.Handle(E::kDone);
  CHECK_EQ(b.fx.Take(), std::string("IssueCleanupDelete ReportPartialRemoved"));
  CHECK(b.m.Idle());
}

TEST_CASE("request machine: a late completion of the connection before is matched by handle, not by kind") {
  Bench b;
  int first = 0, second = 0;
  Reach(b, K::kGet, P::kRunning);
  b.m.NoteConnection(&first);
  CHECK(b.m.Current().connection == &first);
  b.m.Handle(E::kDone);
  CHECK(b.m.Current().connection == nullptr);  // idle waits for no connection
  b.m.NoteConnection(&second);                 // a notification after the end
  CHECK(b.m.Current().connection == nullptr);
  CHECK_EQ(std::string(b.m.Broken() ? b.m.Broken() : ""), std::string());
}

TEST_CASE("request machine: described codes before and after the first request") {
  CHECK_EQ(CodeOf(K::kNone, P::kIdle, false), 0);
  CHECK_EQ(CodeOf(K::kNone, P::kIdle, true), 1);
  Bench b;
  CHECK_EQ(b.code.load(), 0);
  Reach(b, K::kMkdir, P::kConnecting);
  CHECK_EQ(b.code.load(), 7);
  CHECK_EQ(CodeOf(K::kRmdir, P::kConnecting, true), 9);
  CHECK_EQ(CodeOf(K::kDelete, P::kConnecting, true), 11);
  CHECK_EQ(CodeOf(K::kRename, P::kConnecting, true), 13);
  CHECK_EQ(CodeOf(K::kPut, P::kEnding, true), 6);
}

TEST_CASE("request machine: Disconnect or Close during a listing frees the machine at once") {
  for (const E leave : {E::kDisconnect, E::kClose}) {
    for (const State& s : {State{K::kListing, P::kListing}, State{K::kConnect, P::kListing}}) {
      Bench b;
      Reach(b, s.kind, s.phase);
      const std::uint64_t old = b.m.Current().serial;
      b.m.Handle(leave);
      CHECK_EQ(b.fx.Take(), std::string("AbandonListing"));
      REQUIRE(b.m.Begin(K::kConnect));  // a Connect pressed at once
      b.m.HandleFor(old, E::kListingEnded);  // the listing left behind ends later
      CHECK_EQ(b.State(), std::string("Connect/Connecting"));
      CHECK_EQ(b.fx.Take(), std::string());
    }
  }
}
