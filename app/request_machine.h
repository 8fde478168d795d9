// The client's request machine: the one request that may run (its kind, its phase, the
// connection generation it belongs to, whether Escape cancelled it, the connection whose
// completion it waits for) and the table that says, for every kind, phase and event, what is
// done and where the request goes next.
//
// Kinds and their phases (each a chain of the window; the described code in brackets):
//   Connect   Connecting [2] -> Listing [2] (the root is listed) -> idle, connected
// Disconnect and Close end every request at once but a cleanup (which belongs to the epoch in
// force): nothing waits for the library to let go of a connection the window has left, and
// whatever that connection still reports is dropped. A cancelled upload decides at once whether
// its partial file is to be removed.
//   Listing   Listing [2]    (a folder's first double-click, F5, a refresh after a request)
//   Get       Connecting [3] -> Running [4]
//   Put       Connecting [5] -> Checking [15] -> (Asking [15]) -> Running [6];
//             Ending [6] only between a cancel's report and the decision on its partial file
//   Mkdir     Connecting [7] -> Running [8]; Rmdir [9, 10]; Delete [11, 12]
//   Rename    Connecting [13] -> Checking [18] -> (Asking [18]) -> Running [14]
//   Cleanup   Connecting [16] -> Running [17] (the partial file of a cancelled upload)
// Idle is [1], or [0] before the first request.
//
// Events: a completion (Done, Failed), a call the library refused at once (Refused), the
// outcomes a step reports back (a target's presence, an answer, the trust question, whether a
// cancelled upload left a partial file, the end of a listing), and the window's Escape,
// Disconnect and Close. A completion or outcome that reaches a request cancelled by Escape or
// left behind by its connection (its epoch is no longer the machine's) arrives as DoneCancelled
// or FailedCancelled: the table then says how that request ends. An event with no row is
// ignored and counted (IgnoredEvents): a late or duplicated notification never moves a request.
//
// Escape marks the request it reaches as cancelled; Disconnect and Close end the epoch before
// their row runs, so whatever the request still brings is seen as left behind.
//
// Invariants (checked after every transition when AFC_REQUEST_CHECKS is on, as in the test):
//   idle <=> kind None; the phase is one the kind has; the described code matches kind and
//   phase; an idle request is neither cancelled nor waiting for a connection; its epoch is
//   never ahead of the machine's.
//
// Side effects go through RequestEffects: the window's implementation (app/requests.cpp) calls
// the library and the window; the table test records them. The phase is written before an
// action runs: an action that calls the library gives up the runtime lock, and the completion
// it brings may arrive (on the library's thread) before the action returns.
//
// Threads: every call is made under the runtime lock. The described code is mirrored in an
// atomic for the callback's lock-free data path.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ftpcl {

enum class Kind : std::uint8_t {
  kNone, kConnect, kListing, kGet, kPut, kMkdir, kRmdir, kDelete, kRename, kCleanup,
  kSame,  // in a row's next kind only: unchanged
};
enum class Phase : std::uint8_t {
  kIdle, kConnecting, kChecking, kAsking, kRunning, kListing, kEnding,
  kSame,  // in a row's next phase only: unchanged
};

enum class Event : std::uint8_t {
  kNone,
  kDone, kFailed, kDoneCancelled, kFailedCancelled, kRefused,
  kSecured,                                  // the connect's security is taken
  kTargetAbsent, kTargetFolder, kTargetMaybe,  // a presence check's verdict
  kAnswerYes, kAnswerNo,                      // the overwrite question
  kTrustYes, kTrustNo, kNotAsked,             // the certificate question
  kPartialLeft, kNothingLeft,                 // what a cancelled upload left on the server
  kListingEnded,
  kEscape, kDisconnect, kClose,
  kCount
};

// What a row does, named by what it does.
enum class Action : std::uint8_t {
  kNothing,
  kTakeConnectionSecurity, kListRoot, kAskAboutCertificate, kConnectAgain, kEndUntrusted, kReportFailure,
  kAbandonConnect, kAbandonListing, kCancelListingByUser,
  kIssueGet, kFinishDownload, kIssuePutCheck, kJudgePutTarget, kIssuePut, kRefusePutOntoFolder, kAskPutOverwrite,
  kEndUnansweredPut, kFinishUpload, kCancelTransfer, kReportTransferCancelled, kConnectForCleanup,
  kIssueCleanupDelete, kReportPartialRemoved, kReportPartialKept,
  kIssueOperation, kCompleteOperation,
  kIssueRenameCheck, kJudgeRenameTarget, kIssueRename, kRefuseRenameOntoFolder, kAskRenameOverwrite, kEndUnansweredRename,
  kCount
};

// The one request. `error` and `result` are those of the last completion (or of the call
// refused at once); `connection` is the handle of the chain's connection (from its
// handle-created notification), whose late completion still ends a cancelled request.
struct Request {
  Kind kind = Kind::kNone;
  Phase phase = Phase::kIdle;
  std::uint32_t epoch = 0;
  bool cancelled = false;
  void* connection = nullptr;
  std::uint32_t error = 0;
  bool result = false;
  std::uint64_t serial = 0;  // counts requests begun: an outcome of an older one is dropped
};

// What an action reports back: an event for the same request (kNone for none) and, for
// kRefused, the error of the refused call.
struct Outcome {
  Event event = Event::kNone;
  std::uint32_t error = 0;
};

class RequestEffects {
 public:
  virtual ~RequestEffects() = default;
  // Runs `action` for `request` as it was before the row's transition.
  virtual Outcome Do(Action action, const Request& request) = 0;
};

struct Row {
  Kind kind;    // kNone: any kind but Listing
  Phase phase;  // kIdle: any phase (no row applies to an idle request)
  Event event;
  Action action;
  Kind next_kind;  // kNone with next_phase kIdle: the request ends
  Phase next_phase;
};

// The table, most specific rows first (the first match wins).
const Row* RequestTable(std::size_t* count);
// The row for `event` on `request`, or null.
const Row* FindRow(const Request& request, Event event);
// The described code of a kind in a phase (`started`: a request has run before).
std::int16_t CodeOf(Kind kind, Phase phase, bool started);
// The phases a kind may be in.
bool PhaseAllowed(Kind kind, Phase phase);
const char* NameOf(Kind kind);
const char* NameOf(Phase phase);
const char* NameOf(Event event);
const char* NameOf(Action action);

class RequestMachine {
 public:
  // `code` mirrors the described code (REQUESTCODE).
  RequestMachine(RequestEffects& effects, std::atomic<std::int16_t>& code);

  // A new request of `kind` (Listing starts in its Listing phase, all else Connecting), stamped
  // with the current epoch. False, and nothing changes, while another request runs. A Connect
  // begins a new epoch first.
  bool Begin(Kind kind);
  // Runs `event` through the table for the current request. `error`, `result` go with a
  // completion. Returns the action run (kNothing also when no row matched).
  Action Handle(Event event, std::uint32_t error = 0, bool result = false);
  // The same for the request numbered `serial` only (an outcome reported from elsewhere, such
  // as a listing's end); dropped when another request has begun since.
  Action HandleFor(std::uint64_t serial, Event event);

  // The connection the chain's requests run on (the handle-created notification).
  void NoteConnection(void* handle);
  // Disconnect, Close Internet Session and Connect leave the connection: its generation ends.
  void LeaveConnection();
  std::uint32_t Epoch() const { return epoch_.load(); }

  const Request& Current() const { return request_; }
  bool Idle() const { return request_.kind == Kind::kNone; }
  // Cancelled by Escape, or left behind by its connection.
  bool Cancelled() const { return request_.cancelled || request_.epoch != epoch_.load(); }
  std::uint64_t IgnoredEvents() const { return ignored_; }

  // The invariants above; the text of the first broken one, or null.
  const char* Broken() const;

 private:
  void To(Kind kind, Phase phase);
  Event Seen(Event event) const;
  Action Run(Event event);

  RequestEffects& effects_;
  std::atomic<std::int16_t>& code_;
  Request request_;
  std::atomic<std::uint32_t> epoch_{0};
  bool started_ = false;
  std::uint64_t serials_ = 0;
  std::uint64_t ignored_ = 0;
};

}  // namespace ftpcl
