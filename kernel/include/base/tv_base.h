// tv_base.h: the status type, the status codes and the handle types shared
// by every kernel family.
#pragma once
#include <cstddef>
#include <cstdint>

// Result of every kernel operation and export: 0 success, negative error.
using TvStatus = int32_t;

// A Windows file handle as the script sees it; -1 means no file.
using TvFileHandle = intptr_t;
constexpr TvFileHandle kTvNoFile = -1;

constexpr size_t kTvPathSize = 256;  // paths hold at most 255 characters

constexpr size_t kTvErrorTextSize = 100;  // message texts: at most 99 characters

// The largest text the kernel holds in one block (an ini file, a trailer's
// text, a list's array): well below the allocator's 2 GB block limit.
constexpr uint32_t kTvTextLimit = 0x7FFFFFF0u;

enum TvCode : TvStatus {
  TvOk = 0,
  TvErrFatal = -1000,
  TvErrNoMemory = -1001,
  TvErrInstance = -1002,
  TvErrNoUserInterface = -1003,
  TvErrIniTooLarge = -1005,
  TvErrIniExtend = -1006,
  TvErrFileTooLarge = -1008,
  TvErrFileChanges = -1009,
  TvErrFileNotFound = -1010,
  TvErrFileExists = -1011,
  TvErrFileRead = -1012,
  TvErrFileWrite = -1013,
  TvErrFileDelete = -1014,
  TvErrFileAccess = -1016,
  TvErrDataVersion = -1017,
  TvErrTooManyFiles = -1018,
  TvErrFileCreate = -1019,
  TvErrFileRename = -1020,
  TvErrTimestampGet = -1023,
  TvErrTimestampSet = -1024,
  TvErrDiskRead = -1025,
  TvErrDiskWrite = -1026,
  TvErrInvalidDrive = -1027,
  TvErrInvalidDirectory = -1028,
  TvErrDirCreate = -1029,
  TvErrCommandLine = -1030,
  TvErrNoIniFile = -1031,
  TvErrLogCreate = -1032,
  TvErrMemConfig = -1033,
  TvErrHotKey = -1034,
  TvErrHotKeyInUse = -1035,
  TvErrLanguageFile = -1036,
  TvErrDataDir = -1037,
  TvErrTempDir = -1038,
  TvErrNotDefined = -1040,
  TvErrDuplicate = -1041,
  TvErrInvalidAction = -1042,
  TvErrDateTime = -1045,
  TvErrTimeZone = -1046,
  TvErrLocaleFile = -1074,
  TvErrLocaleInvalid = -1075,
  TvErrLanguage = -1076,
  TvErrCodePage = -1077,
  TvErrResource = -1078,
  TvErrThreadCreate = -1080,
  TvErrThreadStorage = -1081,
  TvErrTaskCreate = -1090,
  TvErrLibraryLoad = -1091,
  TvErrRange16 = -1094,
  TvErrRange32 = -1095,
  TvErrInputChars = -1096,
  TvErrTruncated = -1097,
};
