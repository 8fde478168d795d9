// Transfers and remote file operations: the window handlers that start a request chain, the
// calls the status callback issues for a requested-code, and the completion steps.
#pragma once

namespace ftpcl {

// Main-window handlers.
void GetPressed();
void PutPressed();
void RemoteMenu();            // ?LIST1 alert key 2
void ClearRemoteTags();       // ?OKBUTTON:3

// Issued from the status callback on the connect's completion (code becomes the running-code).
void IssueGet();
void IssuePut();
void IssueCreateDirectory();
void IssueRemoveDirectory();
void IssueDelete();
void IssueRename();
// Completion of running-codes 8, 10, 12, 14.
void CompleteOperation(int code, bool succeeded);

}  // namespace ftpcl
