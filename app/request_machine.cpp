// The request machine (see request_machine.h): the table, and the one function that writes a
// request's kind and phase (To).
#include "app/request_machine.h"

#include <cstdio>
#include <cstdlib>

namespace ftpcl {

namespace {

using K = Kind;
using P = Phase;
using E = Event;
using A = Action;

constexpr K kAnyKind = K::kNone;
constexpr P kAnyPhase = P::kIdle;
constexpr K kEnd = K::kNone;
constexpr P kIdlePhase = P::kIdle;

// clang-format off
constexpr Row kTable[] = {
    // Connect: the connect and login, then the root's listing, then connected.
    {K::kConnect, P::kConnecting, E::kDone,            A::kTakeConnectionSecurity, K::kSame, P::kSame},
    {K::kConnect, P::kConnecting, E::kSecured,         A::kListRoot,               K::kSame, P::kListing},
    {K::kConnect, P::kConnecting, E::kDoneCancelled,   A::kNothing,                kEnd, kIdlePhase},
    {K::kConnect, P::kConnecting, E::kFailedCancelled, A::kNothing,                kEnd, kIdlePhase},
    {K::kConnect, P::kConnecting, E::kEscape,          A::kAbandonConnect,         kEnd, kIdlePhase},
    {K::kConnect, P::kConnecting, E::kDisconnect,      A::kAbandonConnect,         kEnd, kIdlePhase},
    {K::kConnect, P::kConnecting, E::kClose,           A::kAbandonConnect,         kEnd, kIdlePhase},
    {K::kConnect, P::kListing,    E::kEscape,          A::kCancelListingByUser,    K::kSame, P::kSame},
    {K::kConnect, P::kListing,    E::kDisconnect,      A::kAbandonListing,         kEnd, kIdlePhase},
    {K::kConnect, P::kListing,    E::kClose,           A::kAbandonListing,         kEnd, kIdlePhase},
    {K::kConnect, P::kListing,    E::kListingEnded,    A::kNothing,                kEnd, kIdlePhase},

    // Listing: a folder, F5, the refresh after a request. Escape lets it end by itself (its
    // folder is left to list again); Disconnect and Close leave it at once.
    {K::kListing, P::kListing, E::kEscape,       A::kCancelListingByUser, K::kSame, P::kSame},
    {K::kListing, P::kListing, E::kDisconnect,   A::kAbandonListing,      kEnd, kIdlePhase},
    {K::kListing, P::kListing, E::kClose,        A::kAbandonListing,      kEnd, kIdlePhase},
    {K::kListing, P::kListing, E::kListingEnded, A::kNothing,             kEnd, kIdlePhase},

    // Get. A download that completed before Escape took effect is finished as it is.
    {K::kGet, P::kConnecting, E::kDone,            A::kIssueGet,                K::kSame, P::kRunning},
    {K::kGet, P::kRunning,    E::kDone,            A::kFinishDownload,          kEnd, kIdlePhase},
    {K::kGet, P::kRunning,    E::kDoneCancelled,   A::kFinishDownload,          kEnd, kIdlePhase},
    {K::kGet, P::kRunning,    E::kFailed,          A::kReportFailure,           kEnd, kIdlePhase},
    {K::kGet, kAnyPhase,      E::kDoneCancelled,   A::kReportTransferCancelled, kEnd, kIdlePhase},
    {K::kGet, kAnyPhase,      E::kFailedCancelled, A::kReportTransferCancelled, kEnd, kIdlePhase},
    {K::kGet, kAnyPhase,      E::kEscape,          A::kCancelTransfer,          K::kSame, P::kSame},
    {K::kGet, kAnyPhase,      E::kDisconnect,      A::kReportTransferCancelled, kEnd, kIdlePhase},
    {K::kGet, kAnyPhase,      E::kClose,           A::kReportTransferCancelled, kEnd, kIdlePhase},

    // Put: the look at its target, the question, the upload; a cancelled upload whose data
    // reached the server has its partial file removed (Cleanup).
    {K::kPut, P::kConnecting, E::kDone,            A::kIssuePutCheck,           K::kSame, P::kChecking},
    {K::kPut, P::kChecking,   E::kDone,            A::kJudgePutTarget,          K::kSame, P::kSame},
    {K::kPut, P::kChecking,   E::kFailed,          A::kJudgePutTarget,          K::kSame, P::kSame},
    {K::kPut, P::kChecking,   E::kTargetAbsent,    A::kIssuePut,                K::kSame, P::kRunning},
    {K::kPut, P::kChecking,   E::kTargetFolder,    A::kRefusePutOntoFolder,     kEnd, kIdlePhase},
    {K::kPut, P::kChecking,   E::kTargetMaybe,     A::kAskPutOverwrite,         K::kSame, P::kAsking},
    {K::kPut, P::kAsking,     E::kAnswerYes,       A::kIssuePut,                K::kSame, P::kRunning},
    {K::kPut, P::kAsking,     E::kAnswerNo,        A::kEndUnansweredPut,        kEnd, kIdlePhase},
    {K::kPut, P::kAsking,     E::kEscape,          A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, P::kAsking,     E::kFailedCancelled, A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, P::kRunning,    E::kDone,            A::kFinishUpload,            kEnd, kIdlePhase},
    {K::kPut, P::kRunning,    E::kDoneCancelled,   A::kFinishUpload,            kEnd, kIdlePhase},
    {K::kPut, P::kRunning,    E::kFailed,          A::kReportFailure,           kEnd, kIdlePhase},
    {K::kPut, P::kRunning,    E::kFailedCancelled, A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, P::kConnecting, E::kDoneCancelled,   A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, P::kConnecting, E::kFailedCancelled, A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, P::kChecking,   E::kDoneCancelled,   A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, P::kChecking,   E::kFailedCancelled, A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, P::kEnding,     E::kPartialLeft,     A::kConnectForCleanup,       K::kCleanup, P::kConnecting},
    {K::kPut, P::kEnding,     E::kNothingLeft,     A::kNothing,                 kEnd, kIdlePhase},
    {K::kPut, P::kConnecting, E::kEscape,          A::kCancelTransfer,          K::kSame, P::kSame},
    {K::kPut, P::kChecking,   E::kEscape,          A::kCancelTransfer,          K::kSame, P::kSame},
    {K::kPut, P::kRunning,    E::kEscape,          A::kCancelTransfer,          K::kSame, P::kSame},
    {K::kPut, kAnyPhase,      E::kDisconnect,      A::kReportTransferCancelled, K::kSame, P::kEnding},
    {K::kPut, kAnyPhase,      E::kClose,           A::kReportTransferCancelled, kEnd, kIdlePhase},  // no session to clean up in

    // Rename: the look at its new name, the question, the rename.
    {K::kRename, P::kConnecting, E::kDone,            A::kIssueRenameCheck,        K::kSame, P::kChecking},
    {K::kRename, P::kChecking,   E::kDone,            A::kJudgeRenameTarget,       K::kSame, P::kSame},
    {K::kRename, P::kChecking,   E::kFailed,          A::kJudgeRenameTarget,       K::kSame, P::kSame},
    {K::kRename, P::kChecking,   E::kTargetAbsent,    A::kIssueRename,             K::kSame, P::kRunning},
    {K::kRename, P::kChecking,   E::kTargetFolder,    A::kRefuseRenameOntoFolder,  kEnd, kIdlePhase},
    {K::kRename, P::kChecking,   E::kTargetMaybe,     A::kAskRenameOverwrite,      K::kSame, P::kAsking},
    {K::kRename, P::kAsking,     E::kAnswerYes,       A::kIssueRename,             K::kSame, P::kRunning},
    {K::kRename, P::kAsking,     E::kAnswerNo,        A::kEndUnansweredRename,     kEnd, kIdlePhase},
    {K::kRename, P::kAsking,     E::kFailedCancelled, A::kEndUnansweredRename,     kEnd, kIdlePhase},
    {K::kRename, P::kRunning,    E::kDone,            A::kCompleteOperation,       kEnd, kIdlePhase},
    {K::kRename, P::kAsking,     E::kDisconnect,      A::kEndUnansweredRename,     kEnd, kIdlePhase},
    {K::kRename, P::kAsking,     E::kClose,           A::kEndUnansweredRename,     kEnd, kIdlePhase},

    // Create, remove a folder, delete.
    {K::kMkdir,  P::kConnecting, E::kDone, A::kIssueOperation,    K::kSame, P::kRunning},
    {K::kMkdir,  P::kRunning,    E::kDone, A::kCompleteOperation, kEnd, kIdlePhase},
    {K::kRmdir,  P::kConnecting, E::kDone, A::kIssueOperation,    K::kSame, P::kRunning},
    {K::kRmdir,  P::kRunning,    E::kDone, A::kCompleteOperation, kEnd, kIdlePhase},
    {K::kDelete, P::kConnecting, E::kDone, A::kIssueOperation,    K::kSame, P::kRunning},
    {K::kDelete, P::kRunning,    E::kDone, A::kCompleteOperation, kEnd, kIdlePhase},

    // Cleanup: the partial file of a cancelled upload; whatever happens, it reports.
    {K::kCleanup, P::kConnecting, E::kDone,            A::kIssueCleanupDelete,   K::kSame, P::kRunning},
    {K::kCleanup, P::kConnecting, E::kFailed,          A::kReportPartialKept,    kEnd, kIdlePhase},
    {K::kCleanup, P::kRunning,    E::kDone,            A::kReportPartialRemoved, kEnd, kIdlePhase},
    {K::kCleanup, P::kRunning,    E::kFailed,          A::kReportPartialKept,    kEnd, kIdlePhase},
    {K::kCleanup, kAnyPhase,      E::kDoneCancelled,   A::kReportPartialKept,    kEnd, kIdlePhase},
    {K::kCleanup, kAnyPhase,      E::kFailedCancelled, A::kReportPartialKept,    kEnd, kIdlePhase},

    // Every chain: a call refused at once, a refused connect (perhaps for a certificate the
    // user may trust), a failed operation, and a completion its connection left behind.
    {kAnyKind, kAnyPhase,     E::kRefused,         A::kReportFailure,       kEnd, kIdlePhase},
    {kAnyKind, P::kConnecting, E::kFailed,         A::kAskAboutCertificate, K::kSame, P::kSame},
    {kAnyKind, P::kConnecting, E::kTrustYes,       A::kConnectAgain,        K::kSame, P::kSame},
    {kAnyKind, P::kConnecting, E::kTrustNo,        A::kEndUntrusted,        kEnd, kIdlePhase},
    {kAnyKind, P::kConnecting, E::kNotAsked,       A::kReportFailure,       kEnd, kIdlePhase},
    {kAnyKind, P::kRunning,    E::kFailed,         A::kReportFailure,       kEnd, kIdlePhase},
    {kAnyKind, kAnyPhase,      E::kDoneCancelled,  A::kNothing,             kEnd, kIdlePhase},
    {kAnyKind, kAnyPhase,      E::kFailedCancelled, A::kNothing,            kEnd, kIdlePhase},
    // Disconnect and Close leave a file operation at once: what its connection still reports
    // is dropped. (A cleanup, begun in the epoch in force, runs to its end.)
    {K::kMkdir,  kAnyPhase, E::kDisconnect, A::kNothing, kEnd, kIdlePhase},
    {K::kMkdir,  kAnyPhase, E::kClose,      A::kNothing, kEnd, kIdlePhase},
    {K::kRmdir,  kAnyPhase, E::kDisconnect, A::kNothing, kEnd, kIdlePhase},
    {K::kRmdir,  kAnyPhase, E::kClose,      A::kNothing, kEnd, kIdlePhase},
    {K::kDelete, kAnyPhase, E::kDisconnect, A::kNothing, kEnd, kIdlePhase},
    {K::kDelete, kAnyPhase, E::kClose,      A::kNothing, kEnd, kIdlePhase},
    {K::kRename, kAnyPhase, E::kDisconnect, A::kNothing, kEnd, kIdlePhase},
    {K::kRename, kAnyPhase, E::kClose,      A::kNothing, kEnd, kIdlePhase},
};
// clang-format on

bool KindMatches(Kind row, Kind kind) { return row == kind || (row == kAnyKind && kind != K::kListing); }
bool PhaseMatches(Phase row, Phase phase) { return row == phase || row == kAnyPhase; }

// Outcomes that reach a cancelled request. A success becomes DoneCancelled (a transfer that
// completed before the cancel took effect is finished as it is); every other verdict of the
// chain becomes FailedCancelled. A call refused at once, the outcome of the cancel itself, a
// listing's end and the window's own events stay what they are.
Event CancelledForm(Event event) {
  switch (event) {
    case E::kDone:
    case E::kSecured: return E::kDoneCancelled;
    case E::kFailed:
    case E::kTargetAbsent:
    case E::kTargetFolder:
    case E::kTargetMaybe:
    case E::kAnswerYes:
    case E::kAnswerNo:
    case E::kTrustYes:
    case E::kTrustNo:
    case E::kNotAsked: return E::kFailedCancelled;
    default: return event;
  }
}

#if defined(AFC_REQUEST_CHECKS) || !defined(NDEBUG)
constexpr bool kChecks = true;
#else
constexpr bool kChecks = false;
#endif

}  // namespace

const Row* RequestTable(std::size_t* count) {
  *count = sizeof kTable / sizeof kTable[0];
  return kTable;
}

const Row* FindRow(const Request& request, Event event) {
  if (request.kind == K::kNone) return nullptr;
  for (const Row& row : kTable)
    if (row.event == event && KindMatches(row.kind, request.kind) && PhaseMatches(row.phase, request.phase)) return &row;
  return nullptr;
}

bool PhaseAllowed(Kind kind, Phase phase) {
  switch (kind) {
    case K::kNone: return phase == P::kIdle;
    case K::kConnect: return phase == P::kConnecting || phase == P::kListing;
    case K::kListing: return phase == P::kListing;
    case K::kPut: return phase == P::kConnecting || phase == P::kChecking || phase == P::kAsking || phase == P::kRunning ||
                         phase == P::kEnding;
    case K::kRename: return phase == P::kConnecting || phase == P::kChecking || phase == P::kAsking || phase == P::kRunning;
    case K::kGet:
    case K::kMkdir:
    case K::kRmdir:
    case K::kDelete:
    case K::kCleanup: return phase == P::kConnecting || phase == P::kRunning;
    case K::kSame: return false;
  }
  return false;
}

std::int16_t CodeOf(Kind kind, Phase phase, bool started) {
  const bool requested = phase == P::kConnecting;
  switch (kind) {
    case K::kNone: return started ? 1 : 0;
    case K::kConnect:
    case K::kListing: return 2;
    case K::kGet: return requested ? 3 : 4;
    case K::kPut: return requested ? 5 : (phase == P::kChecking || phase == P::kAsking) ? 15 : 6;
    case K::kMkdir: return requested ? 7 : 8;
    case K::kRmdir: return requested ? 9 : 10;
    case K::kDelete: return requested ? 11 : 12;
    case K::kRename: return requested ? 13 : (phase == P::kChecking || phase == P::kAsking) ? 18 : 14;
    case K::kCleanup: return requested ? 16 : 17;
    case K::kSame: break;
  }
  return -1;
}

const char* NameOf(Kind kind) {
  static const char* const kNames[] = {"None", "Connect", "Listing", "Get", "Put", "Mkdir", "Rmdir", "Delete", "Rename",
                                       "Cleanup", "Same"};
  return kNames[static_cast<int>(kind)];
}

const char* NameOf(Phase phase) {
  static const char* const kNames[] = {"Idle", "Connecting", "Checking", "Asking", "Running", "Listing", "Ending", "Same"};
  return kNames[static_cast<int>(phase)];
}

const char* NameOf(Event event) {
  static const char* const kNames[] = {
      "None",        "Done",      "Failed",      "DoneCancelled", "FailedCancelled", "Refused",  "Secured",
      "TargetAbsent", "TargetFolder", "TargetMaybe", "AnswerYes",   "AnswerNo",        "TrustYes", "TrustNo",
      "NotAsked",    "PartialLeft", "NothingLeft", "ListingEnded", "Escape",          "Disconnect", "Close"};
  static_assert(sizeof kNames / sizeof kNames[0] == static_cast<int>(E::kCount));
  return kNames[static_cast<int>(event)];
}

const char* NameOf(Action action) {
  static const char* const kNames[] = {
      "Nothing",           "TakeConnectionSecurity", "ListRoot",          "AskAboutCertificate", "ConnectAgain",
      "EndUntrusted",      "ReportFailure",          "AbandonConnect",    "AbandonListing",       "CancelListingByUser",
      "IssueGet",          "FinishDownload",         "IssuePutCheck",     "JudgePutTarget",      "IssuePut",
      "RefusePutOntoFolder", "AskPutOverwrite",      "EndUnansweredPut",  "FinishUpload",        "CancelTransfer",
      "ReportTransferCancelled", "ConnectForCleanup", "IssueCleanupDelete", "ReportPartialRemoved", "ReportPartialKept",
      "IssueOperation",    "CompleteOperation",      "IssueRenameCheck",  "JudgeRenameTarget",   "IssueRename",
      "RefuseRenameOntoFolder", "AskRenameOverwrite", "EndUnansweredRename"};
  static_assert(sizeof kNames / sizeof kNames[0] == static_cast<int>(A::kCount));
  return kNames[static_cast<int>(action)];
}

RequestMachine::RequestMachine(RequestEffects& effects, std::atomic<std::int16_t>& code)
    : effects_(effects), code_(code) {
  code_ = CodeOf(K::kNone, P::kIdle, false);
}

const char* RequestMachine::Broken() const {
  const Request& r = request_;
  if ((r.kind == K::kNone) != (r.phase == P::kIdle)) return "idle phase without the idle kind, or the reverse";
  if (!PhaseAllowed(r.kind, r.phase)) return "a phase the kind does not have";
  if (code_.load() != CodeOf(r.kind, r.phase, started_)) return "the described code does not match kind and phase";
  if (r.kind == K::kNone && (r.cancelled || r.connection)) return "an idle request cancelled or waiting for a connection";
  if (static_cast<std::int32_t>(epoch_.load() - r.epoch) < 0) return "a request of an epoch not yet begun";
  return nullptr;
}

// The one writer of kind and phase. A request that becomes another kind (a cancelled upload's
// cleanup) is a new chain: it belongs to the epoch now in force, is not cancelled and waits for
// a connection of its own.
void RequestMachine::To(Kind kind, Phase phase) {
  if (kind == K::kSame) kind = request_.kind;
  if (phase == P::kSame) phase = request_.phase;
  if (kind != request_.kind) {
    request_.epoch = epoch_.load();
    request_.cancelled = false;
    request_.connection = nullptr;
  }
  request_.kind = kind;
  request_.phase = phase;
  if (kind == K::kNone) started_ = true;
  code_ = CodeOf(kind, phase, started_);
  if (kChecks) {
    if (const char* broken = Broken()) {
      std::fprintf(stderr, "request machine: %s (%s, %s)\n", broken, NameOf(kind), NameOf(phase));
      std::abort();
    }
  }
}

bool RequestMachine::Begin(Kind kind) {
  if (!Idle() || kind == K::kNone || kind == K::kSame) return false;
  if (kind == K::kConnect) LeaveConnection();
  ++serials_;
  request_ = Request{};
  request_.serial = serials_;
  To(kind, kind == K::kListing ? P::kListing : P::kConnecting);
  return true;
}

Event RequestMachine::Seen(Event event) const { return Cancelled() ? CancelledForm(event) : event; }

Action RequestMachine::Run(Event event) {
  if (event == E::kDisconnect || event == E::kClose) LeaveConnection();
  event = Seen(event);
  const Row* row = FindRow(request_, event);
  if (!row) {
    ++ignored_;
    return A::kNothing;
  }
  if (event == E::kEscape) request_.cancelled = true;
  const Request before = request_;
  To(row->next_kind, row->next_phase);
  const Outcome outcome = effects_.Do(row->action, before);
  // The action may have given up the runtime lock: its outcome counts only for the same
  // request, and only while it still runs.
  if (outcome.event != E::kNone && request_.serial == before.serial && !Idle()) {
    if (outcome.event == E::kRefused) request_.error = outcome.error;
    Run(outcome.event);
  }
  return row->action;
}

Action RequestMachine::Handle(Event event, std::uint32_t error, bool result) {
  if (!Idle() && (event == E::kDone || event == E::kFailed || event == E::kRefused)) {
    request_.error = error;
    request_.result = result;
  }
  return Run(event);
}

Action RequestMachine::HandleFor(std::uint64_t serial, Event event) {
  if (serial != request_.serial) {
    ++ignored_;
    return A::kNothing;
  }
  return Run(event);
}

void RequestMachine::NoteConnection(void* handle) {
  if (!Idle()) request_.connection = handle;
}

void RequestMachine::LeaveConnection() { ++epoch_; }

}  // namespace ftpcl
