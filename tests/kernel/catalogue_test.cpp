// catalogue_test.cpp: the message catalogue, the kernel string tables and
// the language names, through the lookups the kernel offers: every status
// code has a text in every language, the texts fit and are code page 1252,
// the texts that must stand exactly as they are are checked byte for byte,
// and the language selection falls back as it should.
//
// The source is UTF-8 and is compiled to code page 1252, so an accented
// literal here becomes the same single byte the kernel must produce.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "kernel_fixture.h"

namespace {

constexpr uint16_t kEnglish = 44, kAmerican = 1, kDutch = 31, kFrench = 33, kGerman = 49, kSpanish = 34;
constexpr uint16_t kNoSuchLanguage = 7;

const uint16_t kAllLanguages[] = {kEnglish, kAmerican, kDutch, kFrench, kGerman, kSpanish};

// Every status code the kernel names.
// clang-format off
const TvStatus kNamedCodes[] = {
    TvOk, TvErrFatal, TvErrNoMemory, TvErrInstance, TvErrNoUserInterface, TvErrIniTooLarge, TvErrIniExtend,
    TvErrFileTooLarge, TvErrFileChanges, TvErrFileNotFound, TvErrFileExists, TvErrFileRead, TvErrFileWrite,
    TvErrFileDelete, TvErrFileAccess, TvErrDataVersion, TvErrTooManyFiles, TvErrFileCreate, TvErrFileRename,
    TvErrTimestampGet, TvErrTimestampSet, TvErrDiskRead, TvErrDiskWrite, TvErrInvalidDrive,
    TvErrInvalidDirectory, TvErrDirCreate, TvErrCommandLine, TvErrNoIniFile, TvErrLogCreate, TvErrMemConfig,
    TvErrHotKey, TvErrHotKeyInUse, TvErrLanguageFile, TvErrDataDir, TvErrTempDir, TvErrNotDefined,
    TvErrDuplicate, TvErrInvalidAction, TvErrDateTime, TvErrTimeZone, TvErrLocaleFile, TvErrLocaleInvalid,
    TvErrLanguage, TvErrCodePage, TvErrResource, TvErrThreadCreate, TvErrThreadStorage, TvErrTaskCreate,
    TvErrLibraryLoad, TvErrRange16, TvErrRange32, TvErrInputChars, TvErrTruncated,
};
// clang-format on

// The kernel's range of codes, and 0.
constexpr TvStatus kLowestCode = -1099;

std::string NumberText(TvStatus code) { return "Error " + std::to_string(code); }
std::string Message(TvStatus code, uint16_t language) {
  const char* text = TvErrorText(code, language);
  return text ? std::string(text) : std::string("<null>");
}
bool HasText(TvStatus code, uint16_t language) { return Message(code, language) != NumberText(code); }

// A UTF-8 lead byte followed by a continuation byte: a text that slipped
// past the code page conversion.
bool LooksLikeUtf8(const std::string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    const unsigned char a = text[i], b = text[i + 1];
    if ((a & 0xe0) == 0xc0 && (b & 0xc0) == 0x80) return true;
  }
  return false;
}

class Catalogue : public tvtest::KernelTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0); }
};

TEST_F(Catalogue, EveryCodeHasATextInEveryLanguageOrInNone) {
  for (TvStatus code : kNamedCodes)
    for (uint16_t language : kAllLanguages) EXPECT_TRUE(HasText(code, language)) << code << " in " << language;
  std::set<TvStatus> rows;
  for (int i = 0; i < kTvCatalogueRows; ++i) EXPECT_TRUE(rows.insert(kTvCatalogue[i].code).second) << i;
  EXPECT_EQ(rows.size(), sizeof kNamedCodes / sizeof kNamedCodes[0]);
  std::set<std::string> english;
  for (TvStatus code = kLowestCode; code <= 0; ++code) {
    const bool has = HasText(code, kEnglish);
    EXPECT_EQ(has, rows.count(code) == 1) << code;
    if (has) {
      EXPECT_TRUE(english.insert(Message(code, kEnglish)).second) << "two codes read " << Message(code, 44);
    }
    for (uint16_t language : kAllLanguages) {
      const std::string text = Message(code, language);
      EXPECT_EQ(HasText(code, language), has) << code << " in " << language;
      EXPECT_FALSE(text.empty()) << code << " in " << language;
      EXPECT_LT(text.size(), kTvErrorTextSize) << code << " in " << language;
      EXPECT_FALSE(LooksLikeUtf8(text)) << code << " in " << language << ": " << tvtest::Hex(text);
    }
  }
  // Levels as the kernel export answers them: 1 for a status of 0 or more, else 0.
  for (TvStatus code : kNamedCodes) EXPECT_EQ(TvErrorLevelOf(code), code == TvOk ? 1 : 0) << code;
  for (TvStatus code : {1, 0x7FFFFFFF, -1, -8005}) EXPECT_EQ(TvErrorLevelOf(code), code > 0 ? 1 : 0) << code;
  // Outside the range, and the extension's own codes: their number.
  for (TvStatus code : {-1, -999, -1100, -8005, -8100, 1})
    for (uint16_t language : kAllLanguages) EXPECT_EQ(Message(code, language), NumberText(code));
  // Each translated language reads texts of its own for most codes.
  const uint16_t translated[] = {kDutch, kFrench, kGerman, kSpanish};
  for (uint16_t a : translated) {
    int differ = 0;
    for (TvStatus code : kNamedCodes) {
      const std::string text = Message(code, a), english = Message(code, kEnglish);
      differ += text != english;
      EXPECT_EQ(Message(code, kAmerican), english) << code;
      for (uint16_t b : translated)
        EXPECT_TRUE(a == b || text == english || text != Message(code, b)) << code << " in " << a << " and " << b;
    }
    EXPECT_GT(differ, static_cast<int>(std::size(kNamedCodes)) * 3 / 4) << "language " << a;
  }
}

// The texts that must stand exactly as they are, byte for byte.
TEST_F(Catalogue, TextsThatMustStandAsTheyAre) {
  EXPECT_EQ(std::string("Français"), std::string("Fran\xe7") + "ais");  // or the literals prove nothing
  // clang-format off
  const struct { TvStatus code; uint16_t language; const char* text; } samples[] = {
      {TvOk, kSpanish, "Aceptar"}, {TvErrFileNotFound, kDutch, "Kon bestand niet vinden"},
      {TvErrNoMemory, kGerman, "Nicht gen\xfcgend Arbeitsspeicher"}, {TvErrIniTooLarge, kGerman, "INI-Datei ist zu gro\xdf"},
      {TvErrThreadCreate, kDutch, "Kon geen thread cre\xebren"},
      {TvErrInstance, kSpanish, "Instancia de subprocesos m\xfaltiples no v\xe1lida"},
      {TvErrFileExists, kFrench, "Ce fichier existe d\xe9j\xe0"}, {TvErrLanguage, kFrench, "Langue/Pays inconnu(e)"},
      {TvErrRange32, kEnglish, "Parameter error, value must be 0 - 4294967295"},
      // English in some languages only.
      {TvErrNoUserInterface, kSpanish, "User Interface unavailable"}, {TvErrTaskCreate, kDutch, "Could not create task"},
      {TvErrLibraryLoad, kFrench, "Echec de chargement de biblioth\xe8que dynamique"},
      {TvErrLibraryLoad, kGerman, "Could not load dynamic library"},
  };
  // clang-format on
  for (const auto& s : samples)
    EXPECT_EQ(Message(s.code, s.language), std::string(s.text))
        << s.code << " in " << s.language << ": " << tvtest::Hex(Message(s.code, s.language));
  // The misspelling is the product's own text, in every language.
  for (uint16_t language : kAllLanguages) EXPECT_EQ(Message(TvErrInputChars, language), "Invalid input chararacters");
  // clang-format off
  const std::pair<uint16_t, const char*> kNames[] = {
      {kFrench, "Fran\xe7" "ais"}, {kEnglish, "English"}, {kAmerican, "English (American)"}, {kDutch, "Nederlands"},
      {kGerman, "Deutsch"}, {kSpanish, "Unknown Language"}, {kNoSuchLanguage, "Unknown Language"},
      {0, "Unknown Language"}};
  // clang-format on
  for (const auto& [language, name] : kNames) EXPECT_EQ(tvtest::Hex(TvLanguageName(language)), tvtest::Hex(name));
}

TEST_F(Catalogue, KernelStringTablesAndPrompts) {
  for (uint16_t language : kAllLanguages) {
    TvKernelStrings table = TvKernelStringTable(language);
    ASSERT_NE(table, nullptr) << language;
    for (int index = 0; index < kTvKernelStringCount; ++index) {
      ASSERT_NE(table[index], nullptr) << language << " index " << index;
      EXPECT_EQ(table[index][0] == '\0', index == 4) << language << " index " << index;  // 4 is left empty
      EXPECT_FALSE(LooksLikeUtf8(table[index])) << language << " index " << index;
    }
    EXPECT_STREQ(table[47], "N/A");
  }
  EXPECT_EQ(TvKernelStringTable(kAmerican)[0], std::string("Application error"));
  // clang-format off
  const struct { uint16_t language; int index; const char* text; } samples[] = {
      {kEnglish, 5, "January"},      {kSpanish, 16, "diciembre"}, {kFrench, 12, "ao\xfbt"},
      {kGerman, 25, "Sept"},         {kSpanish, 42, "S\xe1\x62"},  {kFrench, 35, "samedi"},
      {kSpanish, 0, "Error de la aplicaci\xf3n"},                 {kGerman, 3, "&Alle Fehler anzeigen"},
      // The prompts hold a real line end, not a backslash and an n.
      {kEnglish, 43, "Cannot access %s\n"},                       {kDutch, 45, "Kan %s\n niet vinden"},
  };
  // clang-format on
  for (const auto& s : samples)
    EXPECT_EQ(std::string(TvKernelStringTable(s.language)[s.index]), s.text) << s.language << " index " << s.index;
  // The two-part disk prompts.
  char out[256];
  // clang-format off
  const struct { TvKernelStrings table; int index; const char* expected; } prompts[] = {
      {TvKernelStringTable(kEnglish), kTvPromptCannotFind, "Cannot find %s\nPlease insert the correct disk"},
      {TvKernelStringTable(kDutch), kTvPromptCannotFind, "Kan %s\n niet vindenBreng de juiste schijf in"},
      {TvKernelStringTable(kGerman), kTvPromptCannotAccess,
       "Zugriff auf %s ist nicht m\xf6glich\nLegen Sie den korrekten Datentr\xe4ger ein"},
      {nullptr, kTvPromptCannotAccess, "Cannot access %s\nPlease insert the correct disk"},
  };
  // clang-format on
  for (const auto& p : prompts) {
    TvKernelPrompt(p.table, p.index, out, sizeof out);
    EXPECT_STREQ(out, p.expected);
  }
  // Cut to the buffer: never more than size - 1 characters.
  for (size_t size : {size_t{10}, size_t{22}}) {
    memset(out, 'x', sizeof out);
    TvKernelPrompt(TvKernelStringTable(kEnglish), kTvPromptCannotAccess, out, size);
    EXPECT_EQ(std::string(out), std::string("Cannot access %s\nPlease insert").substr(0, size - 1));
    EXPECT_EQ(out[size], 'x') << "wrote past the buffer";
  }
}

// A language without tables of its own reads the current language's; a
// current language without tables reads English.
struct Fallback {
  const char* ini;
  TvStatus code;
  const char* text;   // of the code, in a language without tables
  const char* title;  // the first kernel string, likewise
};

class CatalogueFallback : public tvtest::KernelTest, public ::testing::WithParamInterface<Fallback> {};

TEST_P(CatalogueFallback, UnknownLanguageFollowsTheCurrentOne) {
  const Fallback& f = GetParam();
  ASSERT_EQ(StartWith(f.ini), 0);
  EXPECT_STREQ(TvErrorText(f.code, kNoSuchLanguage), f.text);
  EXPECT_STREQ(TvErrorText(f.code, 86), f.text);
  EXPECT_STREQ(TvErrorText(f.code), f.text);  // the short form follows the current language
  EXPECT_STREQ(TvKernelStringTable(kNoSuchLanguage)[0], f.title);
  char out[64];
  TvKernelString(nullptr, 0, out, sizeof out);
  EXPECT_STREQ(out, f.title);
  // Named languages are still answered in their own texts.
  EXPECT_STREQ(TvErrorText(TvErrFileNotFound, kGerman), "Datei konnte nicht gefunden werden");
  EXPECT_STREQ(TvErrorText(TvErrNoMemory, kFrench), "Mémoire insuffisante");
}

INSTANTIATE_TEST_SUITE_P(
    Languages, CatalogueFallback,
    ::testing::Values(
        Fallback{"[TvDefault]\nLanguage=44\n", TvErrFileNotFound, "File not found", "Application error"},
        Fallback{"[TvDefault]\nLanguage=31\n", TvErrFileNotFound, "Kon bestand niet vinden", "Toepassingsfout"},
        Fallback{"[TvDefault]\nLanguage=31\n", TvErrTaskCreate, "Could not create task", "Toepassingsfout"},
        Fallback{"[TvDefault]\nLanguage=34\n", TvOk, "Aceptar", "Error de la aplicaci\xf3n"},
        Fallback{"[TvDefault]\nLanguage=7\n", TvErrFileNotFound, "File not found", "Application error"}));

}  // namespace
