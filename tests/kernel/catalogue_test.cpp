// catalogue_test.cpp: the message catalogue, the kernel string tables and
// the language names, checked text by text and byte by byte.
//
// The tables below are kept by hand, apart from the kernel's own tables and
// in a different layout: one row per code with every language written out,
// so that a text that slipped in the kernel shows up here as a mismatch.
// The source is UTF-8 and is compiled to code page 1252, so an accented
// literal here becomes the same single byte the kernel must produce.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "tv_error.h"

namespace {

constexpr uint16_t kEnglish = 44;
constexpr uint16_t kAmerican = 1;
constexpr uint16_t kDutch = 31;
constexpr uint16_t kFrench = 33;
constexpr uint16_t kGerman = 49;
constexpr uint16_t kSpanish = 34;
constexpr uint16_t kNoSuchLanguage = 7;

struct MessageRow {
  TvStatus code;
  const char* english;
  const char* dutch;
  const char* spanish;
  const char* french;
  const char* german;
};

// Every code of the catalogue with its text in each language. Where a
// language keeps the English text, the English text is written out again.
const MessageRow kMessages[] = {
    {0, "OK", "OK", "Aceptar", "OK", "OK"},
    {-1000, "Fatal error", "Fatale fout", "Error grave", "Erreur fatale", "Schwerwiegender Fehler"},
    {-1001, "Out of memory", "Onvoldoende geheugen", "Sin memoria", "Mémoire insuffisante",
     "Nicht genügend Arbeitsspeicher"},
    {-1002, "Invalid multi-threading instance", "Ongeldige multi-threading-instantie",
     "Instancia de subprocesos múltiples no válida",
     "Instance de processus élémentaires multiples incorrecte", "Ungültige Multi-Thread-Instanz"},
    {-1003, "User Interface unavailable", "Gebruikersinterface niet beschikbaar",
     "User Interface unavailable", "Interface utilisateur non disponible",
     "Die Benutzeroberfläche ist nicht verfügbar"},
    {-1005, "Ini file too large", "Ini-bestand te groot", "Archivo ini demasiado grande",
     "Fichier INI trop volumineux", "INI-Datei ist zu groß"},
    {-1006, "Could not extend ini file", "Kon ini-bestand niet uitbreiden",
     "No pudo ampliarse el archivo ini", "Impossible d'ouvrir le fichier INI",
     "INI-Datei konnte nicht erweitert werden"},
    {-1008, "File too large", "File too large", "File too large", "File too large", "File too large"},
    {-1009, "Cannot detect file changes", "Kan geen bestandswijzigingen vinden",
     "No se pueden detectar cambios en el archivo",
     "Impossible de détecter les modifications du fichier",
     "Dateiänderungen können nicht erkannt werden"},
    {-1010, "File not found", "Kon bestand niet vinden", "Archivo no encontrado", "Fichier introuvable",
     "Datei konnte nicht gefunden werden"},
    {-1011, "File already exists", "Bestand bestaat reeds", "El archivo ya existe", "Ce fichier existe déjà",
     "Datei ist bereits vorhanden"},
    {-1012, "File read failure", "Fout bij het lezen van het bestand", "Fallo de lectura del archivo",
     "Erreur de lecture du fichier", "Fehler beim Lesen der Datei"},
    {-1013, "File write failure", "Fout bij het schrijven van het bestand",
     "Fallo de escritura en el archivo", "Erreur d'écriture du fichier",
     "Fehler beim Schreiben in der Datei"},
    {-1014, "Could not delete file", "Kon bestand niet wissen", "No se pudo eliminar el archivo",
     "Impossible de supprimer le fichier", "Datei konnte nicht gelöscht werden"},
    {-1016, "File access denied", "Toegang tot bestand geweigerd", "Acceso al archivo denegado",
     "Accès au fichier non autorisé", "Zugriff auf Datei wurde verweigert"},
    {-1017, "Incorrect version of data file", "Onjuiste versie van het gegevensbestand",
     "Versión incorrecta del archivo de datos", "Version du référentiel incorrecte",
     "Inkorrekte Version der Datendatei"},
    {-1018, "Maximum number of files open", "Maximum aantal bestanden is open",
     "Se ha abierto el número máximo de archivos", "Nombre maximum de fichiers ouverts",
     "Zulässige Höchstzahl der Dateien ist geöffnet"},
    {-1019, "Could not create file", "Kon bestand niet aanmaken", "No se pudo crear el archivo",
     "Impossible de créer le fichier", "Datei konnte nicht erstellt werden"},
    {-1020, "Could not rename file", "Kon bestand niet hernoemen", "No se pudo cambiar el nombre del archivo",
     "Impossible de renommer le fichier", "Datei konnte nicht umbenannt werden"},
    {-1023, "Failed to obtain file timestamp", "Kon tijdregistratie niet vinden",
     "No se pudo obtener marca de tiempo", "Impossible d'obtenir l'horodatage du fichier",
     "Zeitstempel konnte nicht abgerufen werden"},
    {-1024, "Failed to modify file timestamp", "Kon tijdregistratie niet wijzigen",
     "No se pudo modificar la marca de tiempo", "Impossible de modifier l'horodatage du fichier",
     "Zeitstempel konnte nicht geändert werden"},
    {-1025, "Disk read failure", "Fout bij het lezen van de schijf", "Fallo de lectura de disco",
     "Erreur de lecture du disque", "Fehler beim Lesen des Datenträgers"},
    {-1026, "Disk write failure", "Fout bij het schrijven van de schijf", "Fallo de escritura en disco",
     "Erreur d'écriture du disque", "Fehler beim Schreiben auf den Datenträger"},
    {-1027, "Invalid drive", "Ongeldige drive", "Unidad no válida", "Lecteur incorrect", "Ungültiges Laufwerk"},
    {-1028, "Invalid directory", "Ongeldige map", "Directorio no válido", "Répertoire incorrect",
     "Ungültiges Verzeichnis"},
    {-1029, "Could not create directory", "Kon map niet aanmaken", "No se pudo crear directorio",
     "Impossible de créer le répertoire", "Verzeichnis konnte nicht erstellt werden"},
    {-1030, "Invalid command line option", "Ongeldige opdrachtregel-optie",
     "Opción de línea de comandos no válida", "Option de ligne de commande incorrecte",
     "Ungültige Befehlszeilenoption"},
    {-1031, "Could not locate ini file", "Kon ini-bestand niet vinden", "No se pudo encontrar el archivo ini",
     "Impossible de localiser le fichier INI", "INI-Datei konnte nicht gefunden werden"},
    {-1032, "Could not create log file", "Kon log-bestand niet aanmaken", "No se pudo crear archivo de registro",
     "Impossible de créer le fichier journal", "Protokolldatei konnte nicht erstellt werden"},
    {-1033, "Invalid memory configuration", "Ongeldige geheugenconfiguratie",
     "Configuración de memoria no válida", "Configuration de mémoire incorrecte",
     "Ungültige Arbeitsspeicherkonfiguration"},
    {-1034, "Invalid hot key", "Ongeldige toegangstoets", "Tecla rápida no válida", "Raccourci clavier incorrect",
     "Ungültige Tastenkombination"},
    {-1035, "Hot key already in use", "Toegangstoets reeds in gebruik", "Tecla rápida ya en uso",
     "Raccourci clavier déjà utilisé", "Tastenkombination ist bereits belegt"},
    {-1036, "Could not locate language file", "Kon taalbestand niet vinden",
     "No se pudo encontrar el archivo de idioma", "Impossible d'utiliser le fichier de langues",
     "Sprachendatei konnte nicht gefunden werden"},
    {-1037, "Invalid data directory", "Ongeldige gegevensmap", "Directorio de datos no válido",
     "Répertoire de données incorrect", "Ungültiges Datenverzeichnis"},
    {-1038, "Could not create temporary directory", "Kon tijdelijke map niet aanmaken",
     "No se pudo crear directorio temporal", "Impossible de créer un répertoire temporaire",
     "Temporäres Verzeichnis konnte nicht erstellt werden"},
    {-1040, "Entry not defined", "Ingang niet gedefinieerd", "Entrada no definida", "Entrée non définie",
     "Eintrag ist nicht definiert"},
    {-1041, "Entry duplicated", "Ingang gedupliceerd", "Entrada repetida", "Entrée dupliquée",
     "Doppelter Eintrag"},
    {-1042, "Invalid action", "Ongeldige handeling", "Acción no válida", "Action incorrecte",
     "Ungültige Aktion"},
    {-1045, "Invalid time/date", "Ongeldige tijd/datum", "Invalid time/date", "Date ou heure incorrecte",
     "Uhrzeit/Datum ungültig"},
    {-1046, "Invalid time zone", "Ongeldige tijdzone", "Invalid time zone", "Fuseau horaire incorrect",
     "Ungültige Zeitzone"},
    {-1074, "Locale file not found", "Kon localebestand niet vinden", "Archivo de localización no encontrado",
     "Fichier de paramètres de lieu introuvable", "Sprachdatei konnte nicht gefunden werden"},
    {-1075, "Invalid locale file", "Ongeldig plaatsbestand", "Archivo de localización no válido",
     "Fichier de paramètres de lieu incorrect", "Ungültige Sprachdatei"},
    {-1076, "Unknown language/country", "Onbekende taal/onbekend land", "Idioma/país desconocido",
     "Langue/Pays inconnu(e)", "Unbekannte Sprache/unbekanntes Land"},
    {-1077, "Unknown code page", "Onbekende codebladzijde", "Página de códigos desconocida",
     "Page de codes inconnue", "Unbekannte Code-Seite"},
    {-1078, "Resource lookup failure", "Middelencontrole niet succesvol", "Fallo en la búsqueda de recursos",
     "Echec de la recherche des ressources", "Fehler beim Nachschlagen in den Ressourcen"},
    {-1080, "Could not create thread", "Kon geen thread creëren", "No se pudo crear subproceso",
     "Impossible de créer le processus élémentaire", "Thread konnte nicht erstellt werden"},
    {-1081, "Out of thread-local-storage", "Onvoldoende threads-plaatselijke-opslag",
     "Fuera de almacenamiento local de subproceso", "Stockage hors du processus élémentaire local",
     "Nicht genügend lokaler Speicherplatz für Threads"},
    {-1090, "Could not create task", "Could not create task", "Could not create task", "Could not create task",
     "Could not create task"},
    {-1091, "Could not load dynamic library", "Could not load dynamic library", "Could not load dynamic library",
     "Echec de chargement de bibliothèque dynamique", "Could not load dynamic library"},
    {-1094, "Parameter error, value must be 0 - 65535", "Parameter error, value must be 0 - 65535",
     "Parameter error, value must be 0 - 65535", "Parameter error, value must be 0 - 65535",
     "Parameter error, value must be 0 - 65535"},
    {-1095, "Parameter error, value must be 0 - 4294967295", "Parameter error, value must be 0 - 4294967295",
     "Parameter error, value must be 0 - 4294967295", "Parameter error, value must be 0 - 4294967295",
     "Parameter error, value must be 0 - 4294967295"},
    // The misspelling is the product's own text and must stay.
    {-1096, "Invalid input chararacters", "Invalid input chararacters", "Invalid input chararacters",
     "Invalid input chararacters", "Invalid input chararacters"},
    {-1097, "Short buffer truncated", "Short buffer truncated", "Short buffer truncated",
     "Short buffer truncated", "Short buffer truncated"},
};

// Codes inside the kernel's range that carry no text in any language.
const TvStatus kSilentCodes[] = {
    -1004, -1007, -1015, -1022, -1039, -1043, -1044, -1047, -1048, -1049, -1059, -1067, -1068, -1069,
    -1071, -1072, -1073, -1079, -1082, -1083, -1084, -1085, -1086, -1087, -1088, -1089, -1092, -1093,
};

const uint16_t kAllLanguages[] = {kEnglish, kAmerican, kDutch, kFrench, kGerman, kSpanish};

const char* ColumnFor(const MessageRow& row, uint16_t language) {
  switch (language) {
    case kDutch:
      return row.dutch;
    case kSpanish:
      return row.spanish;
    case kFrench:
      return row.french;
    case kGerman:
      return row.german;
    default:
      return row.english;  // 44 and 1
  }
}

// Kernel strings: all 48 entries of each language, index 4 left empty.
using StringTable = std::vector<std::string>;

StringTable EnglishStrings() {
  return {
      "Application error", "&OK", "&Details>>", "&Show all errors", "",
      // 5 .. 16
      "January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
      "November", "December",
      // 17 .. 28
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
      // 29 .. 35
      "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
      // 36 .. 42
      "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat",
      // 43 .. 47
      "Cannot access %s\n", "Please insert the correct disk~", "Cannot find %s\n",
      "Please insert the correct disk~", "N/A",
  };
}

StringTable DutchStrings() {
  return {
      "Toepassingsfout", "&OK", "&Details>>", "&Alle fouten weergeven", "",
      "januari", "februari", "maart", "april", "mei", "juni", "juli", "augustus", "september", "oktober",
      "november", "december",
      "Jan", "Feb", "Maa", "Apr", "Mei", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dec",
      "Zondag", "Maandag", "Dinsdag", "Woensdag", "Donderdag", "Vrijdag", "Zaterdag",
      "Zo", "Ma", "Di", "Wo", "Do", "Vr", "Za",
      "Geen toegang tot %s\n", "Breng de juiste schijf in", "Kan %s\n niet vinden", "Breng de juiste schijf in",
      "N/A",
  };
}

StringTable SpanishStrings() {
  return {
      "Error de la aplicación", "&Aceptar", "&Detalles>>", "&Mostrar todos los errores", "",
      "enero", "febrero", "marzo", "abril", "mayo", "junio", "julio", "agosto", "septiembre", "octubre",
      "noviembre", "diciembre",
      "Ene", "Feb", "Mar", "Abr", "May", "Jun", "Jul", "Ago", "Sep", "Oct", "Nov", "Dic",
      "Domingo", "Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado",
      "Dom", "Lun", "Mar", "Mie", "Jue", "Vie", "Sáb",
      "No se puede acceder a %s\n", "Introduzca el disco correcto~", "No se puede encontrar %s\n",
      "Introduzca el disco correcto~", "N/A",
  };
}

StringTable FrenchStrings() {
  return {
      "Erreur d'application", "&OK", "&Détails>>", "&Afficher toutes les erreurs", "",
      "janvier", "février", "mars", "avril", "mai", "juin", "juillet", "août", "septembre", "octobre",
      "novembre", "décembre",
      "jan", "fév", "mar", "avr", "mai", "juin", "juil", "août", "sep", "oct", "nov", "déc",
      "dimanche", "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi",
      "dim", "lun", "mar", "mer", "jeu", "ven", "sam",
      "Impossible d'accéder au(x)/à la %s\n", "Insérez le disque correct", "Impossible de trouver %s\n",
      "Insérez le disque correct", "N/A",
  };
}

StringTable GermanStrings() {
  return {
      "Anwendungsfehler", "&OK", "&Details>>", "&Alle Fehler anzeigen", "",
      "Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September", "Oktober",
      "November", "Dezember",
      "Jan", "Feb", "März", "Apr", "Mai", "Jun", "Jul", "Aug", "Sept", "Okt", "Nov", "Dez",
      "Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag",
      "So", "Mo", "Di", "Mi", "Do", "Fr", "Sa",
      "Zugriff auf %s ist nicht möglich\n", "Legen Sie den korrekten Datenträger ein",
      "%s kann nicht gefunden werden\n", "Legen Sie den korrekten Datenträger ein", "N/A",
  };
}

StringTable StringsFor(uint16_t language) {
  switch (language) {
    case kDutch:
      return DutchStrings();
    case kSpanish:
      return SpanishStrings();
    case kFrench:
      return FrenchStrings();
    case kGerman:
      return GermanStrings();
    default:
      return EnglishStrings();
  }
}

std::string Bytes(const char* text) { return text ? std::string(text) : std::string("<null>"); }

// The message of a code as bytes (a missing text shows as "<null>").
std::string Message(TvStatus code, uint16_t language) { return Bytes(TvErrorText(code, language)); }

class Catalogue : public tvtest::KernelTest {};

// Every code of the catalogue in every language.
TEST_F(Catalogue, EveryCodeInEveryLanguage) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  ASSERT_EQ(sizeof kMessages / sizeof kMessages[0], 53u);
  for (const MessageRow& row : kMessages) {
    for (uint16_t language : kAllLanguages) {
      const char* expected = ColumnFor(row, language);
      const char* text = TvErrorText(row.code, language);
      ASSERT_NE(text, nullptr) << "code " << row.code << " language " << language;
      EXPECT_STREQ(text, expected) << "code " << row.code << " language " << language
                                   << "\n  got bytes:      " << tvtest::Hex(Bytes(text))
                                   << "\n  expected bytes: " << tvtest::Hex(expected);
      EXPECT_LE(strlen(text), kTvErrorTextSize - 1) << "code " << row.code;
    }
  }
}

// Codes without a text, and codes outside the range, come back as "Error <code>".
TEST_F(Catalogue, CodesWithoutTextGiveTheirNumber) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  for (TvStatus code : kSilentCodes) {
    const std::string expected = "Error " + std::to_string(code);
    for (uint16_t language : kAllLanguages) {
      EXPECT_STREQ(TvErrorText(code, language), expected.c_str()) << "code " << code << " language " << language;
    }
    EXPECT_STREQ(TvErrorText(code, kNoSuchLanguage), expected.c_str()) << "code " << code;
  }
  EXPECT_STREQ(TvErrorText(-1004, kEnglish), "Error -1004");
  EXPECT_STREQ(TvErrorText(-1093, kGerman), "Error -1093");
  // The extension's own codes are not in the catalogue either.
  EXPECT_STREQ(TvErrorText(-1, kEnglish), "Error -1");
  EXPECT_STREQ(TvErrorText(-8005, kDutch), "Error -8005");
  EXPECT_STREQ(TvErrorText(-8100, kFrench), "Error -8100");
}

// The accented texts come out as single code page 1252 bytes.
TEST_F(Catalogue, AccentedTextsAreCodePage1252) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);

  const unsigned char francais[] = {0x46, 0x72, 0x61, 0x6e, 0xe7, 0x61, 0x69, 0x73, 0x00};
  const char* name = TvLanguageName(kFrench);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(strlen(name), 8u);
  EXPECT_EQ(memcmp(name, francais, sizeof francais), 0) << tvtest::Hex(name);

  // The same literal in this file must have the same bytes, or the
  // comparisons elsewhere in this file prove nothing.
  EXPECT_EQ(std::string("Français"), std::string("Fran\xe7" "ais"));

  EXPECT_EQ(Message(-1001, kFrench), std::string("M\xe9moire insuffisante"))
      << tvtest::Hex(Message(-1001, kFrench));
  EXPECT_EQ(Message(-1001, kGerman), std::string("Nicht gen\xfcgend Arbeitsspeicher"))
      << tvtest::Hex(Message(-1001, kGerman));
  EXPECT_EQ(Message(-1005, kGerman), std::string("INI-Datei ist zu gro\xdf"))
      << tvtest::Hex(Message(-1005, kGerman));
  EXPECT_EQ(Message(-1002, kSpanish),
            std::string("Instancia de subprocesos m\xfaltiples no v\xe1lida"))
      << tvtest::Hex(Message(-1002, kSpanish));
  EXPECT_EQ(Message(-1080, kDutch), std::string("Kon geen thread cre\xebren"))
      << tvtest::Hex(Message(-1080, kDutch));
  EXPECT_EQ(Message(-1038, kGerman),
            std::string("Tempor\xe4res Verzeichnis konnte nicht erstellt werden"));
  EXPECT_EQ(Message(-1011, kFrench), std::string("Ce fichier existe d\xe9j\xe0"));

  TvKernelStrings german = TvKernelStringTable(kGerman);
  ASSERT_NE(german, nullptr);
  EXPECT_EQ(std::string(german[7]), std::string("M\xe4rz")) << tvtest::Hex(german[7]);
  TvKernelStrings french = TvKernelStringTable(kFrench);
  ASSERT_NE(french, nullptr);
  EXPECT_EQ(std::string(french[12]), std::string("ao\xfbt")) << tvtest::Hex(french[12]);
  TvKernelStrings spanish = TvKernelStringTable(kSpanish);
  ASSERT_NE(spanish, nullptr);
  EXPECT_EQ(std::string(spanish[42]), std::string("S\xe1" "b")) << tvtest::Hex(spanish[42]);
  EXPECT_EQ(std::string(spanish[0]), std::string("Error de la aplicaci\xf3n")) << tvtest::Hex(spanish[0]);

  // No byte of any text is a UTF-8 lead byte followed by a continuation byte.
  for (const MessageRow& row : kMessages) {
    for (uint16_t language : kAllLanguages) {
      std::string text = Message(row.code, language);
      for (size_t i = 0; i + 1 < text.size(); ++i) {
        unsigned char a = text[i], b = text[i + 1];
        EXPECT_FALSE((a & 0xe0) == 0xc0 && (b & 0xc0) == 0x80)
            << "code " << row.code << " language " << language << ": " << tvtest::Hex(text);
      }
    }
  }
}

// All 48 kernel strings of each language, entry by entry.
TEST_F(Catalogue, KernelStringTables) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  for (uint16_t language : kAllLanguages) {
    StringTable expected = StringsFor(language);
    ASSERT_EQ(expected.size(), static_cast<size_t>(kTvKernelStringCount)) << "language " << language;
    TvKernelStrings table = TvKernelStringTable(language);
    ASSERT_NE(table, nullptr) << "language " << language;
    for (int index = 0; index < kTvKernelStringCount; ++index) {
      ASSERT_NE(table[index], nullptr) << "language " << language << " index " << index;
      EXPECT_STREQ(table[index], expected[index].c_str())
          << "language " << language << " index " << index << "\n  got bytes:      " << tvtest::Hex(table[index])
          << "\n  expected bytes: " << tvtest::Hex(expected[index]);
    }
  }
  // The prompts hold a real line end, not a backslash and an n.
  EXPECT_EQ(std::string(TvKernelStringTable(kEnglish)[43]), std::string("Cannot access %s") + char(10));
  EXPECT_EQ(std::string(TvKernelStringTable(kDutch)[45]), std::string("Kan %s") + char(10) + " niet vinden");

  // Each language has a table of its own; American English reads the English texts.
  EXPECT_NE(TvKernelStringTable(kDutch), TvKernelStringTable(kEnglish));
  EXPECT_NE(TvKernelStringTable(kGerman), TvKernelStringTable(kFrench));
  EXPECT_STREQ(TvKernelStringTable(kAmerican)[0], "Application error");
}

// Copying single entries: whole, cut, and cut with the "~" kept at the end.
TEST_F(Catalogue, KernelStringCopies) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  TvKernelStrings english = TvKernelStringTable(kEnglish);
  TvKernelStrings dutch = TvKernelStringTable(kDutch);
  char out[128];

  // Enough room: the entry as it is, "~" included.
  memset(out, 'x', sizeof out);
  TvKernelString(english, 44, out, sizeof out);
  EXPECT_STREQ(out, "Please insert the correct disk~");
  memset(out, 'x', sizeof out);
  TvKernelString(english, 5, out, sizeof out);
  EXPECT_STREQ(out, "January");
  memset(out, 'x', sizeof out);
  TvKernelString(english, 4, out, sizeof out);
  EXPECT_STREQ(out, "");

  // Exactly enough room.
  memset(out, 'x', sizeof out);
  TvKernelString(english, 44, out, strlen("Please insert the correct disk~") + 1);
  EXPECT_STREQ(out, "Please insert the correct disk~");

  // Cut: an entry ending in "~" keeps its "~" as the last character.
  memset(out, 'x', sizeof out);
  TvKernelString(english, 44, out, 10);
  EXPECT_STREQ(out, "Please i~");
  EXPECT_EQ(out[10], 'x') << "wrote past the buffer";
  memset(out, 'x', sizeof out);
  TvKernelString(english, 46, out, 2);
  EXPECT_STREQ(out, "~");
  memset(out, 'x', sizeof out);
  TvKernelString(english, 44, out, strlen("Please insert the correct disk~"));
  EXPECT_STREQ(out, "Please insert the correct dis~");

  // Cut: an entry without "~" is simply cut.
  memset(out, 'x', sizeof out);
  TvKernelString(english, 0, out, 6);
  EXPECT_STREQ(out, "Appli");
  EXPECT_EQ(out[6], 'x') << "wrote past the buffer";
  memset(out, 'x', sizeof out);
  TvKernelString(dutch, 44, out, 10);
  EXPECT_STREQ(out, "Breng de ");
  memset(out, 'x', sizeof out);
  TvKernelString(english, 0, out, 1);
  EXPECT_STREQ(out, "");

  // No table named: the current language's table (English here).
  memset(out, 'x', sizeof out);
  TvKernelString(nullptr, 1, out, sizeof out);
  EXPECT_STREQ(out, "&OK");

  // Every entry of every language copies back unchanged into a large buffer.
  for (uint16_t language : kAllLanguages) {
    StringTable expected = StringsFor(language);
    TvKernelStrings table = TvKernelStringTable(language);
    for (int index = 0; index < kTvKernelStringCount; ++index) {
      TvKernelString(table, index, out, sizeof out);
      EXPECT_STREQ(out, expected[index].c_str()) << "language " << language << " index " << index;
    }
  }
}

// The two-part disk prompts.
TEST_F(Catalogue, KernelPrompts) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  char out[256];

  TvKernelPrompt(TvKernelStringTable(kEnglish), 43, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("Cannot access %s\nPlease insert the correct disk"));
  TvKernelPrompt(TvKernelStringTable(kEnglish), 45, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("Cannot find %s\nPlease insert the correct disk"));
  TvKernelPrompt(TvKernelStringTable(kAmerican), 43, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("Cannot access %s\nPlease insert the correct disk"));

  TvKernelPrompt(TvKernelStringTable(kDutch), 43, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("Geen toegang tot %s\nBreng de juiste schijf in"));
  TvKernelPrompt(TvKernelStringTable(kDutch), 45, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("Kan %s\n niet vindenBreng de juiste schijf in"));

  TvKernelPrompt(TvKernelStringTable(kSpanish), 43, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("No se puede acceder a %s\nIntroduzca el disco correcto"));
  TvKernelPrompt(TvKernelStringTable(kFrench), 45, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("Impossible de trouver %s\nIns\xe9rez le disque correct"));
  TvKernelPrompt(TvKernelStringTable(kGerman), 43, out, sizeof out);
  EXPECT_EQ(std::string(out),
            std::string("Zugriff auf %s ist nicht m\xf6glich\nLegen Sie den korrekten Datentr\xe4ger ein"));

  // No table named: the current language's table.
  TvKernelPrompt(nullptr, 43, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("Cannot access %s\nPlease insert the correct disk"));

  // Cut to the buffer: never more than size - 1 characters.
  memset(out, 'x', sizeof out);
  TvKernelPrompt(TvKernelStringTable(kEnglish), 43, out, 10);
  EXPECT_EQ(std::string(out), std::string("Cannot ac"));
  EXPECT_EQ(out[10], 'x') << "wrote past the buffer";
  memset(out, 'x', sizeof out);
  TvKernelPrompt(TvKernelStringTable(kEnglish), 43, out, 22);
  EXPECT_EQ(std::string(out), std::string("Cannot access %s\nPlea"));
  EXPECT_EQ(out[22], 'x') << "wrote past the buffer";
}

// Display names of the languages.
TEST_F(Catalogue, LanguageNames) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  EXPECT_STREQ(TvLanguageName(kEnglish), "English");
  EXPECT_STREQ(TvLanguageName(kAmerican), "English (American)");
  EXPECT_STREQ(TvLanguageName(kDutch), "Nederlands");
  EXPECT_STREQ(TvLanguageName(kFrench), "Français");
  EXPECT_STREQ(TvLanguageName(kGerman), "Deutsch");
  EXPECT_STREQ(TvLanguageName(kSpanish), "Unknown Language");
  EXPECT_STREQ(TvLanguageName(kNoSuchLanguage), "Unknown Language");
  EXPECT_STREQ(TvLanguageName(0), "Unknown Language");
}

// A language without tables of its own reads the current language's.
TEST_F(Catalogue, UnknownLanguageFallsBackToCurrentLanguage) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=44\n"), 0);
  ASSERT_EQ(TvCurrentLanguage(), kEnglish);
  EXPECT_STREQ(TvErrorText(-1010, kNoSuchLanguage), "File not found");
  EXPECT_STREQ(TvErrorText(0, kNoSuchLanguage), "OK");
  EXPECT_STREQ(TvKernelStringTable(kNoSuchLanguage)[0], "Application error");
  EXPECT_STREQ(TvErrorText(-1010), "File not found");
}

TEST_F(Catalogue, UnknownLanguageFollowsDutch) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=31\n"), 0);
  ASSERT_EQ(TvCurrentLanguage(), kDutch);
  EXPECT_STREQ(TvErrorText(-1010, kNoSuchLanguage), "Kon bestand niet vinden");
  EXPECT_STREQ(TvErrorText(-1000, kNoSuchLanguage), "Fatale fout");
  EXPECT_STREQ(TvErrorText(-1090, kNoSuchLanguage), "Could not create task");
  EXPECT_STREQ(TvKernelStringTable(kNoSuchLanguage)[0], "Toepassingsfout");
  // Named languages are still answered in their own texts.
  EXPECT_STREQ(TvErrorText(-1010, kEnglish), "File not found");
  EXPECT_STREQ(TvErrorText(-1010, kGerman), "Datei konnte nicht gefunden werden");
  // The short form and the current table follow the current language.
  EXPECT_STREQ(TvErrorText(-1010), "Kon bestand niet vinden");
  char out[64];
  TvKernelString(nullptr, 0, out, sizeof out);
  EXPECT_STREQ(out, "Toepassingsfout");
}

TEST_F(Catalogue, UnknownLanguageFollowsSpanish) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=34\n"), 0);
  ASSERT_EQ(TvCurrentLanguage(), kSpanish);
  EXPECT_STREQ(TvErrorText(0, kNoSuchLanguage), "Aceptar");
  EXPECT_STREQ(TvErrorText(-1001, kNoSuchLanguage), "Sin memoria");
  EXPECT_STREQ(TvKernelStringTable(kNoSuchLanguage)[1], "&Aceptar");
}

// A current language without tables of its own falls back to English.
TEST_F(Catalogue, UnknownCurrentLanguageFallsBackToEnglish) {
  ASSERT_EQ(StartWith("[TvDefault]\nLanguage=7\n"), 0);
  EXPECT_STREQ(TvErrorText(-1010, kNoSuchLanguage), "File not found");
  EXPECT_STREQ(TvErrorText(-1010, 86), "File not found");
  EXPECT_STREQ(TvKernelStringTable(kNoSuchLanguage)[0], "Application error");
  EXPECT_STREQ(TvErrorText(-1001, kFrench), "Mémoire insuffisante");
}

}  // namespace
