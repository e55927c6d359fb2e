#pragma once
// The ways the program is told to end from outside: termination signals, the
// signals of failed writes, and the loss of the display it runs on.

namespace platform
{

// From here on SIGHUP (the terminal or session went away), SIGTERM and
// SIGINT no longer end the process where it stands: the next pump of the
// message queue asks every window to close, as its close box does, so the
// program leaves through its usual exit and saves what it holds. Signals
// that come within a second of the first are the same request and change
// nothing. A signal a second or more after the first, whether its request is
// still waiting or was taken and the close (with its save) is under way,
// ends the process at once, killed by that signal, so a program that no
// longer pumps or that hangs on its way out can still be stopped. Each call
// starts afresh.
void CatchTerminationSignals();
// True once after a caught signal.
bool TakeTerminationRequest();
// While set (a null name clears it), a signal that ends the process at once
// first removes the file `name` in the open folder `folder`: the unfinished
// copy of a save under way, removed where it was made, whatever the length
// of its whole path. The text and the folder must live until it is cleared.
void RemoveOnAbort(int folder, const char* name);

// From here on SIGPIPE and SIGXFSZ are ignored. A notice printed to a closed
// pipe, or a file that outgrows the file-size limit, would otherwise end the
// process where it stands, before it saves the player's records; ignored,
// the write fails (EPIPE, EFBIG) and the caller goes on as after any other
// failed write. Must come before anything is written.
void IgnoreWriteFailureSignals();

// Run when the display connection is lost for good. It must not touch the
// display: it may only save what the program holds.
using DisplayLostHandler = void (*)();
void SetDisplayLostHandler(DisplayLostHandler handler);
// Runs the handler once, says what happened on stderr and ends the process
// with kExitDisplayLost, without exit handlers or destructors, which would
// wait on the dead connection.
[[noreturn]] void EndAfterDisplayLost();

} // namespace platform
