// Get and Put: the window handlers that start a transfer chain, the calls the status callback
// issues for it, the overwrite question and the removal of a cancelled upload's partial file.
//
// A transfer reads or writes only the file the user sees: Get writes the selected remote
// file's name into the local folder shown (refused when that name would be another place);
// Put reads the selected file of the file list from the folder that list shows, and only
// when it is still there. Both ask before they replace an existing file.
#pragma once
#include <windows.h>

#include "app/overwrite_check.h"

namespace ftpcl {

// Main-window handlers.
void GetPressed();
void PutPressed();
// Event kAskOverwriteEvent during a put: its target may be on the server; the window asks first.
void AskPutOverwrite();

// The steps of the chains (app/requests.cpp). An Issue call returns 0, or the error of a call
// the library refused at once.
DWORD IssueGet();
// The put looks for its target first (code 15), then writes it (code 6).
DWORD IssuePutCheck();
DWORD IssuePut();
// What the look that ended with `error` found.
Target PutTarget(DWORD error);
// A folder has the put's name: refused with its message, nothing written.
void RefusePutOntoFolder();
// A put that ends before it wrote anything (declined, or refused before the question).
void EndUnansweredPut();
// The partial file of a cancelled upload is deleted (code 17).
DWORD IssueCleanupDelete();

}  // namespace ftpcl
