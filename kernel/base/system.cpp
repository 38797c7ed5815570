// system.cpp: the system-call table, the Windows functions it starts with,
// and the window-procedure slot for the extension.
#include "tv_system.h"

const TvSyscalls kTvSysDefault = {
    .createFile = CreateFileA,
    .readFile = ReadFile,
    .writeFile = WriteFile,
    .setFilePointer = SetFilePointer,
    .setEndOfFile = SetEndOfFile,
    .closeHandle = CloseHandle,
    .findFirstFile = FindFirstFileA,
    .findNextFile = FindNextFileA,
    .findClose = FindClose,
    .deleteFile = DeleteFileA,
    .getFileSize = GetFileSize,
    .moveFile = MoveFileA,
    .duplicateHandle = DuplicateHandle,
    .getFileTime = GetFileTime,
    .getFullPathName = GetFullPathNameA,
    .getFileAttributes = GetFileAttributesA,
    .getFileAttributesEx = GetFileAttributesExA,
    .createDirectory = CreateDirectoryA,
    .removeDirectory = RemoveDirectoryA,
    .setCurrentDirectory = SetCurrentDirectoryA,
    .getDriveType = GetDriveTypeA,
    .createProcess = CreateProcessA,
    .waitForSingleObject = WaitForSingleObject,
    .tickCount = GetTickCount,
    .queryFrequency = QueryPerformanceFrequency,
    .queryCounter = QueryPerformanceCounter,
    .localTime = GetLocalTime,
    .timeZone = GetTimeZoneInformation,
    .sleep = Sleep,
    .getEnvironmentVariable = GetEnvironmentVariableA,
    .profileString = GetProfileStringA,
    .setHandleCount = SetHandleCount,
    .getModuleFileName = GetModuleFileNameA,
    .loadLibrary = LoadLibraryA,
    .getProcAddress = GetProcAddress,
    .freeLibrary = FreeLibrary,
    .setDllDirectory = SetDllDirectoryA,
    .setUnhandledExceptionFilter = SetUnhandledExceptionFilter,
    .getStdHandle = GetStdHandle,
    .outputDebugString = OutputDebugStringA,
    .isDebuggerPresent = IsDebuggerPresent,
    .debugBreak = DebugBreak,
    .registerEventSource = RegisterEventSourceA,
    .reportEvent = ReportEventA,
    .deregisterEventSource = DeregisterEventSource,
    .messageBox = MessageBoxA,
    .getWindowLongPtr = GetWindowLongPtrA,
    .setWindowLongPtr = SetWindowLongPtrA,
    .callWindowProc = CallWindowProcA,
};
TvSyscalls tvSys = kTvSysDefault;

WNDPROC TvWindowProcedure(HWND window) {
  return reinterpret_cast<WNDPROC>(tvSys.getWindowLongPtr(window, GWLP_WNDPROC));
}

WNDPROC TvWindowSetProcedure(HWND window, WNDPROC procedure) {
  return reinterpret_cast<WNDPROC>(tvSys.setWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

LRESULT TvWindowCallProcedure(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return tvSys.callWindowProc(procedure, window, message, wParam, lParam);
}
