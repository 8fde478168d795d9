// Remote file operations through the remote list's pop-up menu: rename, delete, remove a
// directory and create one, with their dialogs and confirmations, the calls the status callback
// issues for them and their completion steps.
#pragma once
#include <windows.h>

#include <cstdint>

#include "app/overwrite_check.h"
#include "app/request_machine.h"

namespace ftpcl {

// Main-window handlers.
void RemoteMenu();  // ?LIST1 alert key 2

// The steps of the chains (app/requests.cpp). An Issue call returns 0, or the error of a call
// the library refused at once.
DWORD IssueCreateDirectory();
DWORD IssueRemoveDirectory();
DWORD IssueDelete();
// A rename first looks for an entry of its new name (code 18), then renames (code 14).
DWORD IssueRenameCheck();
DWORD IssueRename();
// What the look that ended with `error` found.
Target RenameTarget(DWORD error);
// A folder has the new name: refused with its message.
void RefuseRenameOntoFolder();
// Event kAskOverwriteEvent during a rename: an entry may have the new name; the window asks.
void AskRenameOverwrite();
// The completion of a file operation of `kind` (Mkdir, Rmdir, Delete, Rename).
void CompleteOperation(Kind kind, bool succeeded);

}  // namespace ftpcl
