// The main procedure: the window "Asynchronous FTP Client", its ACCEPT loop and event dispatch,
// the Internet session and the server connection.
#pragma once

namespace ftpcl {

// Opens the main window, runs its ACCEPT loop until it closes, and releases the queues.
void MainProcedure();

// Disable properties from INSESSION and ISCONNECTED.
void RefreshControlStates();

}  // namespace ftpcl
