// Get and Put: the window handlers that start a transfer chain, the calls the status callback
// issues for it, the overwrite question and the removal of a cancelled upload's partial file.
//
// A transfer reads or writes only the file the user sees: Get writes the selected remote
// file's name into the local folder shown (refused when that name would be another place);
// Put reads the selected file of the file list from the folder that list shows, and only
// when it is still there. Both ask before they replace an existing file.
#pragma once
#include <windows.h>

namespace ftpcl {

// Main-window handlers.
void GetPressed();
void PutPressed();
// Event kAskOverwriteEvent during a put: its target may be on the server; the window asks first.
void AskPutOverwrite();

// Issued from the status callback on the connect's completion (code becomes the running-code).
void IssueGet();
// The put looks for its target first (code 15), then writes it (code 6).
void IssuePutCheck();
void IssuePut();
// The look ended with `error` (app/overwrite_check.h decides what follows).
void PutCheckEnded(DWORD error);
// The put's target may be there and the question is pending.
bool WaitingForOverwriteAnswer();
// The partial file of a cancelled upload is deleted (code 17).
void IssueCleanupDelete();

}  // namespace ftpcl
