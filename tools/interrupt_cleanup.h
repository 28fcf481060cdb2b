// What an interrupted render leaves behind: nothing unfinished. On SIGINT, SIGTERM or SIGHUP
// the one partial file being written is removed, and the program ends as the signal would
// have ended it, so that a shell or script sees the interruption for what it is. While a
// finished file is being put in its place the signal waits, so that the place holds either
// the old file or the new one, never part of each.
#pragma once

#include <string>

// Installs the handlers; call before anything that may block or create a file.
void InstallInterruptCleanup();

// The file a signal removes from now on, in place of any named before. Name it before the
// file is created, so that no moment is left uncovered.
void RemoveOnInterrupt(const std::string& path);

// Nothing to remove any more: the file is complete, or already gone.
void KeepOnInterrupt();

// From DeferInterrupts() until EndDeferral(), a signal is only noted. EndDeferral() then
// ends the program as the signal would have, after saying `outcome` ("the output was
// already complete and is kept"), and otherwise returns; a later signal says it too.
// `outcome` is a string literal, which a signal handler may read.
void DeferInterrupts();
void EndDeferral(const char* outcome);
