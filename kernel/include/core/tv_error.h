// tv_error.h: the core's side of errors: message texts from the catalogue
// in six languages, raising in a language, the error line, reporting to the
// user, the fatal stop, the media prompt and the kernel string tables. The
// codes themselves are in tv_base.h, TvErrorRaise and the quiet brackets in
// tv_context.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_context.h"
#include "tv_string.h"

constexpr size_t kTvErrorLineSize = 399;  // error lines: at most 398 characters

// What TvErrorRaise (tv_context.h) comes to once the core has registered it,
// in a language of the caller's choice.
TvStatus TvErrorRaiseLang(TvStatus code, const char* detail, uint32_t flags, uint16_t language);

// Message of a code; the text lives in the calling thread's message buffer.
const char* TvErrorText(TvStatus code);
const char* TvErrorText(TvStatus code, uint16_t language);

// The message of a code copied into out, without the kernel lock (for
// writers that already hold a service lock).
void TvErrorTextCopy(TvStatus code, uint16_t language, char* out, size_t size);

// The error line: "> " (origin) or ">> " (passed on), the message, and
// " (detail)" as far as it fits in 398 characters. No line end.
void TvErrorFormatLine(char* out, size_t size, TvStatus code, const char* detail, uint32_t flags, uint16_t language);

int TvErrorLevelOf(TvStatus status);
// Asks the user for removable media holding path; true when the user
// wants another try. Never asks without a user interface, with the kernel's
// no-prompt flag, for a path without a drive root, or on a fixed drive.
bool TvAskForMedia(const char* path);
void TvErrorReport(const char* title, TvStatus code);
// The error log window of a windowed program (error_window.cpp): the text,
// OK and, for an error with a recorded history, Details>>. 1 once the user
// has closed it, 0 when it cannot be shown (no kernel strings selected, or
// the window cannot be made): the caller then shows a system message box.
int TvErrorWindowShow(const char* text, bool isError);
// The font of the kernel's windows (8 points, "Ms Sans Serif") at the
// window's resolution: an HFONT for an HWND, the caller deletes it.
void* TvDialogFont(void* window);
[[noreturn]] void TvFatal(const char* text);

// User-interface mode: no windows unless a windowed program says so.
enum TvUiMode : int { TvUiNoWindows = 1, TvUiWindowed = 2 };
void TvSetUserInterfaceMode(int mode);
int TvUserInterfaceMode();

// Language tables. Languages are telephone country codes; the selection
// rule (TvLanguageSelect), TvKernelString and TvLanguageName are with the
// message-table helpers in tv_string.h.
constexpr int kTvKernelStringCount = 48;
using TvKernelStrings = TvMsgTableRef;

uint16_t TvLanguageChoose(uint16_t language);                   // the entry the selection rule picks
const char* TvCatalogueFind(uint16_t language, TvStatus code);  // nullptr when unknown
TvKernelStrings TvKernelStringTable(uint16_t language);
// Makes a language the current one for later messages and dates: the
// current language code and the kernel strings that go with it.
void TvSetCurrentLanguage(uint16_t language);

// The media prompts of the kernel string tables (each with its second part
// at the next index).
constexpr int kTvPromptCannotAccess = 43;
constexpr int kTvPromptCannotFind = 45;

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
