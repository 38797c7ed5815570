// tv_crash.h: the crash handler. A program that dies of an unhandled
// exception leaves a minidump beside the user's files and ends without the
// system's error dialog. The dump writer (dbghelp) is loaded only then.
#pragma once
#include <windows.h>

#include <cstdint>

// At kernel reset, unless a debugger is attached (it should see the
// exception): the dump type back to 0 (a normal dump), the handler the
// process's unhandled-exception filter. The filter it replaces is kept.
void TvCrashHandlerInstall();
// DebugDumpOnException=N, the last shut-down and the end of the instance
// (the library unloaded): the filter found at installation is put back, so
// that no filter points into a library that is gone. A filter installed
// after ours stays in place.
void TvCrashHandlerRemove();
bool TvCrashHandlerInstalled();
// MiniDumpType, passed to the dump writer unchanged.
void TvCrashSetDumpType(uint32_t type);
// What the handler does: the dump of this process into the first location
// that works (HomeDir\<name>\Error.mdmp, HomeDir\Error.mdmp,
// TempDir\Error.mdmp; a location whose path does not fit in 255
// characters is passed over); info may be nullptr. Written by a thread of
// its own, without the kernel's locks, errors, allocator or media prompt.
// Returns EXCEPTION_EXECUTE_HANDLER.
LONG TvCrashWriteDump(EXCEPTION_POINTERS* info);
