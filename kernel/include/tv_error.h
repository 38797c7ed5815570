// tv_error.h: status codes, raising and reporting errors, the message
// catalogue in six languages and the kernel string table.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_string.h"

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

enum TvRaiseFlags : uint32_t { TvRaiseOrigin = 0x01 };

constexpr size_t kTvErrorTextSize = 100;   // message texts: at most 99 characters
constexpr size_t kTvErrorLineSize = 399;   // error lines: at most 398 characters

// Records and logs an error (when the thread's options and LogErrors say
// so) and hands the code back unchanged. Never fails.
TvStatus TvErrorRaise(TvStatus code, const char* detail, uint32_t flags);
TvStatus TvErrorRaiseLang(TvStatus code, const char* detail, uint32_t flags, uint16_t language);

// Message of a code; the text lives in the calling thread's message buffer.
const char* TvErrorText(TvStatus code);
const char* TvErrorText(TvStatus code, uint16_t language);

// The message of a code copied into out, without the kernel lock (for
// writers that already hold a service lock).
void TvErrorTextCopy(TvStatus code, uint16_t language, char* out, size_t size);

// The error line: "> " (origin) or ">> " (passed on), the message, and
// " (detail)" as far as it fits in 398 characters. No line end.
void TvErrorFormatLine(char* out, size_t size, TvStatus code, const char* detail, uint32_t flags,
                       uint16_t language);

void TvErrorQuietBegin();
void TvErrorQuietEnd();

// Raises inside its scope are ignored (they neither log nor record).
class TvQuiet {
 public:
  TvQuiet() { TvErrorQuietBegin(); }
  ~TvQuiet() { TvErrorQuietEnd(); }
  TvQuiet(const TvQuiet&) = delete;
  TvQuiet& operator=(const TvQuiet&) = delete;
};

int TvErrorLevelOf(TvStatus status);
void TvErrorReport(const char* title, TvStatus code);
[[noreturn]] void TvFatal(const char* text);

// User-interface mode: 1 (no windows) unless a windowed program sets 2.
void TvSetUserInterfaceMode(int mode);
int TvUserInterfaceMode();

// Language tables. Languages are telephone country codes; the selection
// rule (TvLanguageSelect), TvKernelString and TvLanguageName are with the
// message-table helpers in tv_string.h.
constexpr int kTvKernelStringCount = 48;
using TvKernelStrings = TvMsgTableRef;

uint16_t TvLanguageChoose(uint16_t language);       // the entry the selection rule picks
const char* TvCatalogueFind(uint16_t language, TvStatus code);  // nullptr when unknown
TvKernelStrings TvKernelStringTable(uint16_t language);

// The two-part prompt at index of a table (nullptr: the current language's).
size_t TvKernelPrompt(TvKernelStrings table, int index, char* out, size_t size);

// Error-text providers and level classifiers that components may add.
using TvErrorProvider = const char* (*)(TvStatus code);
using TvErrorProviderLang = const char* (*)(TvStatus code, uint16_t language);
using TvErrorClassifier = int (*)(TvStatus status);
void TvErrorAddProvider(TvErrorProvider provider);
void TvErrorAddProviderLang(TvErrorProviderLang provider);
void TvErrorAddClassifier(TvErrorClassifier classifier);
void TvErrorProvidersReset();
