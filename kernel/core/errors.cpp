// errors.cpp: message lookup in the catalogue, raising (record and log) an
// error, quiet brackets, the user report, the fatal stop and the kernel's
// two-part prompts.
#include "tv_error.h"

#include <windows.h>

#include <cstring>

#include "tv_catalogue.h"
#include "tv_history.h"
#include "tv_instance.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"
#include "tv_system.h"
#include "tv_thread.h"

namespace {

constexpr int kMaxProviders = 8;
TvErrorProvider providers[kMaxProviders];
TvErrorProviderLang providersLang[kMaxProviders];
TvErrorClassifier classifiers[kMaxProviders];
int uiMode = TvUiNoWindows;

const TvLanguageEntry& ChooseEntry(uint16_t language) { return *TvLanguageSelect(kTvLanguages, language); }

// The message of a code in a language, into out; no kernel lock needed.
void MessageOf(TvStatus code, uint16_t language, char* out, size_t size) {
  if (const char* text = TvCatalogueFind(language, code)) {
    TvStrCopy(out, text, size);
    return;
  }
  if (code == TvErrLanguageFile) {
    TvStrCopy(out, "Could not locate language file", size);
    return;
  }
  {
    TvLockGuard guard(tvInstance.providerLock);
    for (TvErrorProvider p : providers)
      if (p)
        if (const char* text = p(code)) return (void)TvStrCopy(out, text, size);
    for (TvErrorProviderLang p : providersLang)
      if (p)
        if (const char* text = p(code, language)) return (void)TvStrCopy(out, text, size);
  }
  TvFormat(out, size, "Error %d", static_cast<int>(code));
}

template <typename T>
void AddTo(T (&list)[kMaxProviders], T item) {
  TvLockGuard guard(tvInstance.providerLock);
  for (T& slot : list)
    if (!slot) {
      slot = item;
      return;
    }
}

}  // namespace

void TvErrorTextCopy(TvStatus code, uint16_t language, char* out, size_t size) { MessageOf(code, language, out, size); }

uint16_t TvLanguageChoose(uint16_t language) { return ChooseEntry(language).language; }

const char* TvCatalogueFind(uint16_t language, TvStatus code) {
  const TvCatalogueColumn column = ChooseEntry(language).column;
  const int16_t key = static_cast<int16_t>(code);
  for (int i = 0; i < kTvCatalogueRows; ++i)
    if (kTvCatalogue[i].code == key) {
      const char* text = kTvCatalogue[i].text[column];
      return text ? text : kTvCatalogue[i].text[TvColEnglish];
    }
  return nullptr;
}

TvKernelStrings TvKernelStringTable(uint16_t language) { return TvMsgTable(kTvKernelStringSet, language); }

void TvSetCurrentLanguage(uint16_t language) {
  tvContext.language = language;
  tvContext.kernelStrings = TvKernelStringTable(language);
}

const char* TvErrorText(TvStatus code) { return TvErrorText(code, tvContext.language); }

const char* TvErrorText(TvStatus code, uint16_t language) {
  TvLockGuard guard(tvInstance.kernelLock);
  TvThreadRec* record = TvThreadRecord();
  MessageOf(code, language, record->message, sizeof record->message);
  return record->message;
}

void TvErrorFormatLine(char* out, size_t size, TvStatus code, const char* detail, uint32_t flags, uint16_t language) {
  if (!out || size == 0) return;
  const size_t limit = size < kTvErrorLineSize ? size : kTvErrorLineSize;
  char message[kTvErrorTextSize];
  MessageOf(code, language, message, sizeof message);
  TvStrCopy(out, (flags & TvRaiseOrigin) ? "> " : ">> ", limit);
  size_t used = TvStrCat(out, message, limit);
  if (detail && *detail && limit - 1 - used >= 2) {
    used = TvStrCat(out, " (", limit);
    used = TvStrCat(out, detail, limit);
    TvStrCat(out, ")", limit);
  }
}

TvStatus TvErrorRaiseLang(TvStatus code, const char* detail, uint32_t flags, uint16_t language) {
  if (!TvServiceLocksCreated()) return code;
  TvThreadRec* record = TvThreadRecord();
  if (record->quiet > 0) return code;
  if (!tvLog.errors && !(record->options & TvErrorProcess)) return code;
  if (!(flags & TvRaiseOrigin) && code == record->lastCode && (!detail || !*detail)) return code;
  ++record->quiet;
  if (record->options & TvErrorRecord) TvErrorHistoryAdd(code, detail, flags, language);
  if (tvLog.errors || (record->options & TvErrorLog)) {
    char line[kTvErrorLineSize + 1];
    TvErrorFormatLine(line, kTvErrorLineSize, code, detail, flags, language);
    TvStrCat(line, "\n", sizeof line);
    TvLogWrite(line);
  }
  --record->quiet;
  if (tvInstance.breakOnError) TvBreakIntoDebugger();
  record->lastCode = code;
  return code;
}

int TvErrorLevelOf(TvStatus status) {
  {
    TvLockGuard guard(tvInstance.providerLock);
    for (TvErrorClassifier c : classifiers)
      if (c)
        if (int level = c(status)) return level;
  }
  return status >= 0 ? 1 : 0;
}

void TvErrorAddProvider(TvErrorProvider provider) { AddTo(providers, provider); }
void TvErrorAddProviderLang(TvErrorProviderLang provider) { AddTo(providersLang, provider); }
void TvErrorAddClassifier(TvErrorClassifier classifier) { AddTo(classifiers, classifier); }

void TvErrorProvidersReset() {
  TvLockGuard guard(tvInstance.providerLock);
  memset(providers, 0, sizeof providers);
  memset(providersLang, 0, sizeof providersLang);
  memset(classifiers, 0, sizeof classifiers);
}

void TvSetUserInterfaceMode(int mode) { uiMode = mode; }
int TvUserInterfaceMode() { return uiMode; }

namespace {

void ShowErrorBox(const char* title, TvStatus code) {
  char text[512];
  if (code != 0) {
    char message[kTvErrorTextSize];
    MessageOf(code, tvContext.language, message, sizeof message);
    TvFormat(text, sizeof text, "%s -- %s", TvStrOrEmpty(title), message);
  } else {
    TvStrCopy(text, title, sizeof text);
  }
  if (!TvErrorWindowShow(text, code < 0))
    tvSys.messageBox(nullptr, text, tvInstance.title, MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL);
}

}  // namespace

void TvErrorReport(const char* title, TvStatus code) {
  TvQuiet quiet;
  if (uiMode == TvUiWindowed) ShowErrorBox(title, code);
  char report[kTvErrorLineSize + 1];
  const char* newest = code != 0 ? TvErrorHistoryLine(false, 0) : nullptr;
  if (newest) TvStrCopy(report, newest, sizeof report);
  else MessageOf(code, tvContext.language, report, sizeof report);
  char line[512];
  TvFormat(line, sizeof line, "%s: %s -- %.200s\n", tvInstance.moduleName, TvStrOrEmpty(title), report);
  TvLogWrite(line);
  if (code == 0 || !newest) return;
  for (int index = 1;; ++index) {
    const char* older = TvErrorHistoryLine(false, index);
    if (!older) break;
    TvFormat(line, sizeof line, "%.250s\n", older);
    TvLogWrite(line);
  }
}

void TvFatal(const char* text) {
  if (InterlockedExchange(&tvInstance.fatalUnderWay, 1) != 0) ExitThread(1);
  tvInstance.refCount = 1;
  char line[200];
  TvFormat(line, sizeof line, "%s: %s\n", tvInstance.moduleName, TvStrOrEmpty(text));
  tvLog.errors = false;
  {
    TvLockGuard guard(TvServiceLock(TvLockId::Log));
    TvLogWriteRaw(TvLogLineByLine | TvLogDirectConsole | TvLogForceConsole, line);
  }
  if (uiMode == TvUiWindowed) ShowErrorBox(line, TvErrFatal);
  ExitProcess(1);
}

size_t TvKernelPrompt(TvKernelStrings table, int index, char* out, size_t size) {
  if (!out || size == 0) return 0;
  if (!table) table = TvKernelStringsInUse();
  const char* first = TvMsgText(table, index);
  const char* second = first ? TvMsgText(table, index + 1) : nullptr;
  if (!second) return TvStrCopy(out, "", size);
  TvStrCopy(out, first, size);
  size_t n = TvStrCat(out, second, size);
  size_t full = strlen(first) + strlen(second);
  if (n == full && n > 0 && out[n - 1] == '~') out[--n] = '\0';
  return n;
}

bool TvAskForMedia(const char* path) {
  if ((tvContext.flags & TvFlagNoMediaPrompt) || TvUserInterfaceMode() != TvUiWindowed) return false;
  if (!path || !path[0] || path[1] != ':' || path[2] != '\\') return false;
  const int kind = TvDriveKind(path);
  if (kind != TvDriveRemovable && kind != TvDriveCdrom) return false;
  char prompt[300];
  TvKernelPrompt(nullptr, path[3] ? kTvPromptCannotFind : kTvPromptCannotAccess, prompt, sizeof prompt);
  char shown[201];
  TvStrCopy(shown, path, sizeof shown);
  char text[600];
  TvFormat(text, sizeof text, prompt, shown);
  return tvSys.messageBox(nullptr, text, tvInstance.title, MB_RETRYCANCEL | MB_ICONEXCLAMATION | MB_TASKMODAL) ==
         IDRETRY;
}
