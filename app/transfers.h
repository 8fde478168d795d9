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
// Event kAskOverwriteEvent: the put found its target on the server; the window asks first.
void AskOverwrite();

// Issued from the status callback on the connect's completion (code becomes the running-code).
void IssueGet();
// The put looks for its target first (code 15), then writes it (code 6).
void IssuePutCheck();
void IssuePut();
// The look ended with `error` (0: found, 18: not there, others: not known).
void PutCheckEnded(DWORD error);
// The put's target was found and the question is pending.
bool WaitingForOverwriteAnswer();
// The partial file of a cancelled upload is deleted (code 17).
void IssueCleanupDelete();

}  // namespace ftpcl
