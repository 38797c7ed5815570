// tv_system.h: the one table through which the kernel reaches the Windows
// services that can fail or that a test wants to see: files, directories,
// drives, processes, clocks, the environment, modules, the console and the
// debugger, the event log and message boxes.
//
// A test replaces an entry to inject a failure (an entry that sets the last
// error and returns the failure value) and puts the table back with
// `tvSys = kTvSysDefault`. Calls that cannot fail in a way worth testing
// stay direct: critical sections, thread-local slots, thread and process
// identities (GetCurrentProcess, GetCurrentProcessId, ...), the interlocked
// counters, the last-error word, CompareFileTime, WideCharToMultiByte, the
// C heap under TvSysAlloc (whose failures the allocator's own limits
// inject), and the fatal stop's ExitProcess / ExitThread, which must never
// return.
#pragma once
#include <windows.h>

// Each entry has exactly the type of the Windows function it stands for.
struct TvSyscalls {
  // Files.
  decltype(&::CreateFileA) createFile;
  decltype(&::ReadFile) readFile;
  decltype(&::WriteFile) writeFile;
  decltype(&::SetFilePointer) setFilePointer;
  decltype(&::SetEndOfFile) setEndOfFile;
  decltype(&::CloseHandle) closeHandle;
  decltype(&::FindFirstFileA) findFirstFile;
  decltype(&::FindNextFileA) findNextFile;
  decltype(&::FindClose) findClose;
  decltype(&::DeleteFileA) deleteFile;
  decltype(&::GetFileSize) getFileSize;
  decltype(&::MoveFileA) moveFile;
  decltype(&::DuplicateHandle) duplicateHandle;
  decltype(&::GetFileTime) getFileTime;
  // Directories and drives.
  decltype(&::GetFullPathNameA) getFullPathName;
  decltype(&::GetFileAttributesA) getFileAttributes;
  decltype(&::GetFileAttributesExA) getFileAttributesEx;
  decltype(&::CreateDirectoryA) createDirectory;
  decltype(&::RemoveDirectoryA) removeDirectory;
  decltype(&::SetCurrentDirectoryA) setCurrentDirectory;
  decltype(&::GetDriveTypeA) getDriveType;
  // Processes.
  decltype(&::CreateProcessA) createProcess;
  decltype(&::WaitForSingleObject) waitForSingleObject;  // on a started program's process
  // Time.
  decltype(&::GetTickCount) tickCount;
  decltype(&::QueryPerformanceFrequency) queryFrequency;
  decltype(&::QueryPerformanceCounter) queryCounter;
  decltype(&::GetLocalTime) localTime;
  decltype(&::GetTimeZoneInformation) timeZone;
  decltype(&::Sleep) sleep;  // waits between retries and polls, so a test need not wait
  // Environment, the user profile and the process's file-handle count.
  decltype(&::GetEnvironmentVariableA) getEnvironmentVariable;
  decltype(&::GetProfileStringA) profileString;
  decltype(&::SetHandleCount) setHandleCount;
  // Modules.
  decltype(&::GetModuleFileNameA) getModuleFileName;
  decltype(&::LoadLibraryA) loadLibrary;
  decltype(&::GetProcAddress) getProcAddress;
  decltype(&::FreeLibrary) freeLibrary;
  decltype(&::SetDllDirectoryA) setDllDirectory;
  // The process's unhandled-exception filter (the crash handler's place).
  decltype(&::SetUnhandledExceptionFilter) setUnhandledExceptionFilter;
  // Console and debugger.
  decltype(&::GetStdHandle) getStdHandle;
  decltype(&::OutputDebugStringA) outputDebugString;
  decltype(&::IsDebuggerPresent) isDebuggerPresent;
  decltype(&::DebugBreak) debugBreak;
  // Event log.
  decltype(&::RegisterEventSourceA) registerEventSource;
  decltype(&::ReportEventA) reportEvent;
  decltype(&::DeregisterEventSource) deregisterEventSource;
  // Message boxes.
  decltype(&::MessageBoxA) messageBox;
  // The window-procedure slot of a window (pointer-sized in the 64-bit
  // build; GetWindowLongA and SetWindowLongA in the 32-bit one).
  decltype(&::GetWindowLongPtrA) getWindowLongPtr;
  decltype(&::SetWindowLongPtrA) setWindowLongPtr;
  decltype(&::CallWindowProcA) callWindowProc;
};

extern TvSyscalls tvSys;
extern const TvSyscalls kTvSysDefault;

// The window-procedure slot through the table, for code above the kernel:
// the procedure a window has, the one it had before procedure took its
// place (nullptr when the slot could not be set or was empty), and a call
// of a procedure that was replaced.
WNDPROC TvWindowProcedure(HWND window);
WNDPROC TvWindowSetProcedure(HWND window, WNDPROC procedure);
LRESULT TvWindowCallProcedure(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
