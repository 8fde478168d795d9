// The side effects of the request table's rows (app/request_machine.h), in the window and
// through the library. Each action is one small step of a chain; what follows it is the
// table's business, and an action says only what it found (a target's presence, an answer, a
// call the library refused at once).
#include "app/requests.h"

#include "app/certificate_question.h"
#include "app/error_texts.h"
#include "app/globals.h"
#include "app/local_side.h"
#include "app/overwrite_check.h"
#include "app/progress.h"
#include "app/remote_listing.h"
#include "app/remote_operations.h"
#include "app/remote_tree.h"
#include "app/session.h"
#include "app/stall.h"
#include "app/status_callback.h"
#include "app/transfers.h"
#include "app/ui.h"
#include "runtime/wsl/events.h"
#include "runtime/wsl/fields.h"

namespace ftpcl {

namespace {

// The handle the completion being handled came on (the connect's, for the trust question and
// the connection's security).
HINTERNET g_completed_on = nullptr;

// The window may have ended (Close from the window's end leaves its request): nothing to show.
void Redisplay() {
  if (MainWindowOpen()) vel::wsl::DisplayFields();
}

Outcome RefusedIf(DWORD error) { return error ? Outcome{Event::kRefused, error} : Outcome{}; }

Event EventOf(Target target) {
  switch (target) {
    case Target::kAbsent: return Event::kTargetAbsent;
    case Target::kFolder: return Event::kTargetFolder;
    case Target::kMaybe: break;
  }
  return Event::kTargetMaybe;
}

bool Transfer(Kind kind) { return kind == Kind::kGet || kind == Kind::kPut; }

// A request that failed: zone 1 would otherwise keep the last step it reached ("Resolving
// name"); a transfer's progress goes; a failed connect greys Disconnect again.
void EndFailed(const Request& r) {
  ServerAnswered();
  WindowStatus(r.kind == Kind::kConnect ? kNotConnected : "Request failed");
  if (Transfer(r.kind)) ResetProgress();
  if (r.kind == Kind::kConnect) vel::wsl::PostEvent(kRefreshEvent, 0, g.mainthread);
}

// The reports of a cancelled transfer go to status zone 2, where a finished one says
// "Finished": zone 1 follows every notification and would lose them at once. An upload whose
// data had begun to reach the server leaves a partial file; it is removed while the session is
// open.
Outcome ReportTransferCancelled(const Request& r) {
  const bool upload = r.kind == Kind::kPut;
  ResetProgress();
  // Escape left "Cancelling ..." in zone 1; after Disconnect or Close it says what they made it.
  if (r.epoch == Requests().Epoch()) WindowStatus("");
  StatusText(2, upload ? "Upload cancelled" : "Download cancelled");
  Redisplay();
  if (!upload) return {};
  return {UploadReachedServer() && g.sessionhandle ? Event::kPartialLeft : Event::kNothingLeft};
}

void ReportPartial(bool removed) {
  const std::string report = removed ? "Upload cancelled, partial file removed" : "Upload cancelled, partial file kept";
  StatusText(2, report);
  if (g.isconnected) RefreshRemoteDirectory(report);
  Redisplay();
}

void FinishTransfer(bool upload) {
  WindowStatus(upload ? "Upload complete" : "Download complete");
  EndOfTransfer();
  if (upload) RefreshRemoteDirectory();
  else RefreshLocalFiles();
  Redisplay();
}

Outcome AskTrust(const Request& r) {
  switch (AskAboutCertificate(g_completed_on, r.error)) {
    case TrustAnswer::kTrusted: return {Event::kTrustYes};
    case TrustAnswer::kDeclined: return {Event::kTrustNo};
    case TrustAnswer::kNotAsked: break;
  }
  return {Event::kNotAsked};
}

DWORD IssueOperation(Kind kind) {
  switch (kind) {
    case Kind::kMkdir: return IssueCreateDirectory();
    case Kind::kRmdir: return IssueRemoveDirectory();
    case Kind::kDelete: return IssueDelete();
    default: return 0;
  }
}

Outcome Connection(const Request& r, Action a) {
  switch (a) {
    case Action::kTakeConnectionSecurity:
      TakeConnectionSecurity(g_completed_on);  // before the listing closes the connection
      return {Event::kSecured};
    case Action::kListRoot: StartRemoteListing(ListingKind::kConnect); return {};
    case Action::kAskAboutCertificate: return AskTrust(r);
    case Action::kConnectAgain:
    case Action::kConnectForCleanup: return RefusedIf(ConnectServer());
    case Action::kEndUntrusted:
      EndFailed(r);
      StatusText(2, "Server certificate not trusted");
      return {};
    case Action::kReportFailure:
      ShowRequestError(r.error);
      EndFailed(r);
      return {};
    case Action::kAbandonConnect:
      // Waits for nothing: whatever the closed connection still reports is dropped.
      CloseRequestConnection();
      ServerAnswered();
      return {};
    case Action::kAbandonListing:
      CancelRemoteListing(false);
      ServerAnswered();
      BusyCursor(false);
      return {};
    case Action::kCancelListingByUser: CancelRemoteListing(true); return {};
    default: return {};
  }
}

Outcome TransferStep(const Request& r, Action a) {
  switch (a) {
    case Action::kIssueGet: return RefusedIf(IssueGet());
    case Action::kFinishDownload: FinishTransfer(false); return {};
    case Action::kIssuePutCheck: return RefusedIf(IssuePutCheck());
    case Action::kJudgePutTarget: return {EventOf(PutTarget(r.error))};
    case Action::kIssuePut: return RefusedIf(IssuePut());
    case Action::kRefusePutOntoFolder: RefusePutOntoFolder(); return {};
    case Action::kAskPutOverwrite:
    case Action::kAskRenameOverwrite: vel::wsl::PostEvent(kAskOverwriteEvent, 0, g.mainthread); return {};
    case Action::kEndUnansweredPut: EndUnansweredPut(); return {};
    case Action::kFinishUpload: FinishTransfer(true); return {};
    case Action::kCancelTransfer:
      WindowStatus("Cancelling ...");
      CloseRequestConnection();  // the request on it completes as cancelled
      return {};
    case Action::kReportTransferCancelled: return ReportTransferCancelled(r);
    case Action::kIssueCleanupDelete: return RefusedIf(IssueCleanupDelete());
    case Action::kReportPartialRemoved: ReportPartial(true); return {};
    case Action::kReportPartialKept: ReportPartial(false); return {};
    default: return {};
  }
}

Outcome Operation(const Request& r, Action a) {
  switch (a) {
    case Action::kIssueOperation: return RefusedIf(IssueOperation(r.kind));
    case Action::kCompleteOperation: CompleteOperation(r.kind, r.result); return {};
    case Action::kIssueRenameCheck: return RefusedIf(IssueRenameCheck());
    case Action::kJudgeRenameTarget: return {EventOf(RenameTarget(r.error))};
    case Action::kIssueRename: return RefusedIf(IssueRename());
    case Action::kRefuseRenameOntoFolder: RefuseRenameOntoFolder(); return {};
    case Action::kEndUnansweredRename: WindowStatus(""); return {};
    default: return {};
  }
}

class WindowEffects final : public RequestEffects {
 public:
  Outcome Do(Action a, const Request& r) override {
    switch (a) {
      case Action::kNothing: return {};
      case Action::kTakeConnectionSecurity:
      case Action::kListRoot:
      case Action::kAskAboutCertificate:
      case Action::kConnectAgain:
      case Action::kConnectForCleanup:
      case Action::kEndUntrusted:
      case Action::kReportFailure:
      case Action::kAbandonConnect:
      case Action::kAbandonListing:
      case Action::kCancelListingByUser: return Connection(r, a);
      case Action::kIssueOperation:
      case Action::kCompleteOperation:
      case Action::kIssueRenameCheck:
      case Action::kJudgeRenameTarget:
      case Action::kIssueRename:
      case Action::kRefuseRenameOntoFolder:
      case Action::kEndUnansweredRename: return Operation(r, a);
      default: return TransferStep(r, a);
    }
  }
};

WindowEffects g_effects;
RequestMachine g_machine(g_effects, REQUESTCODE);

}  // namespace

RequestMachine& Requests() { return g_machine; }

bool StartChain(Kind kind) {
  if (!g_machine.Begin(kind)) return false;
  if (const DWORD error = ConnectServer()) g_machine.Handle(Event::kRefused, error);
  return true;
}

bool StartListingRequest() { return g_machine.Begin(Kind::kListing); }

bool RequestCompleted(HINTERNET handle, const INTERNET_ASYNC_RESULT& result) {
  if (g_machine.Idle()) return true;  // no request waits for it
  g_completed_on = handle;
  const Action a = g_machine.Handle(result.dwError ? Event::kFailed : Event::kDone, result.dwError, result.dwResult != 0);
  g_completed_on = nullptr;
  return a != Action::kReportFailure && a != Action::kAskAboutCertificate;
}

bool ChainCancelled() { return g_machine.Cancelled(); }

bool ConnectUnderWay() {
  return g_machine.Current().kind == Kind::kConnect && g_machine.Current().epoch == g_machine.Epoch();
}

void OverwriteAnswered(std::uint64_t serial, bool yes) {
  g_machine.HandleFor(serial, yes ? Event::kAnswerYes : Event::kAnswerNo);
}

}  // namespace ftpcl
