// catalogue.cpp: message texts of every kernel status code in the six
// languages, and the 48 kernel strings of each language. Texts are code page
// 1252 (the compiler converts them from this UTF-8 source).
#include "tv_catalogue.h"

// clang-format off
const TvCatalogueRow kTvCatalogue[] = {
    //   code  English, Dutch, Spanish, French, German (nullptr: the English text)
    {0, {"OK", nullptr, "Aceptar", nullptr, nullptr}},
    {-1000, {"Fatal error", "Fatale fout", "Error grave", "Erreur fatale", "Schwerwiegender Fehler"}},
    {-1001, {"Out of memory", "Onvoldoende geheugen", "Sin memoria", "Mémoire insuffisante", "Nicht genügend Arbeitsspeicher"}},
    {-1002, {"Invalid multi-threading instance", "Ongeldige multi-threading-instantie", "Instancia de subprocesos múltiples no válida", "Instance de processus élémentaires multiples incorrecte", "Ungültige Multi-Thread-Instanz"}},
    {-1003, {"User Interface unavailable", "Gebruikersinterface niet beschikbaar", nullptr, "Interface utilisateur non disponible", "Die Benutzeroberfläche ist nicht verfügbar"}},
    {-1005, {"Ini file too large", "Ini-bestand te groot", "Archivo ini demasiado grande", "Fichier INI trop volumineux", "INI-Datei ist zu groß"}},
    {-1006, {"Could not extend ini file", "Kon ini-bestand niet uitbreiden", "No pudo ampliarse el archivo ini", "Impossible d'ouvrir le fichier INI", "INI-Datei konnte nicht erweitert werden"}},
    {-1008, {"File too large", nullptr, nullptr, nullptr, nullptr}},
    {-1009, {"Cannot detect file changes", "Kan geen bestandswijzigingen vinden", "No se pueden detectar cambios en el archivo", "Impossible de détecter les modifications du fichier", "Dateiänderungen können nicht erkannt werden"}},
    {-1010, {"File not found", "Kon bestand niet vinden", "Archivo no encontrado", "Fichier introuvable", "Datei konnte nicht gefunden werden"}},
    {-1011, {"File already exists", "Bestand bestaat reeds", "El archivo ya existe", "Ce fichier existe déjà", "Datei ist bereits vorhanden"}},
    {-1012, {"File read failure", "Fout bij het lezen van het bestand", "Fallo de lectura del archivo", "Erreur de lecture du fichier", "Fehler beim Lesen der Datei"}},
    {-1013, {"File write failure", "Fout bij het schrijven van het bestand", "Fallo de escritura en el archivo", "Erreur d'écriture du fichier", "Fehler beim Schreiben in der Datei"}},
    {-1014, {"Could not delete file", "Kon bestand niet wissen", "No se pudo eliminar el archivo", "Impossible de supprimer le fichier", "Datei konnte nicht gelöscht werden"}},
    {-1016, {"File access denied", "Toegang tot bestand geweigerd", "Acceso al archivo denegado", "Accès au fichier non autorisé", "Zugriff auf Datei wurde verweigert"}},
    {-1017, {"Incorrect version of data file", "Onjuiste versie van het gegevensbestand", "Versión incorrecta del archivo de datos", "Version du référentiel incorrecte", "Inkorrekte Version der Datendatei"}},
    {-1018, {"Maximum number of files open", "Maximum aantal bestanden is open", "Se ha abierto el número máximo de archivos", "Nombre maximum de fichiers ouverts", "Zulässige Höchstzahl der Dateien ist geöffnet"}},
    {-1019, {"Could not create file", "Kon bestand niet aanmaken", "No se pudo crear el archivo", "Impossible de créer le fichier", "Datei konnte nicht erstellt werden"}},
    {-1020, {"Could not rename file", "Kon bestand niet hernoemen", "No se pudo cambiar el nombre del archivo", "Impossible de renommer le fichier", "Datei konnte nicht umbenannt werden"}},
    {-1023, {"Failed to obtain file timestamp", "Kon tijdregistratie niet vinden", "No se pudo obtener marca de tiempo", "Impossible d'obtenir l'horodatage du fichier", "Zeitstempel konnte nicht abgerufen werden"}},
    {-1024, {"Failed to modify file timestamp", "Kon tijdregistratie niet wijzigen", "No se pudo modificar la marca de tiempo", "Impossible de modifier l'horodatage du fichier", "Zeitstempel konnte nicht geändert werden"}},
    {-1025, {"Disk read failure", "Fout bij het lezen van de schijf", "Fallo de lectura de disco", "Erreur de lecture du disque", "Fehler beim Lesen des Datenträgers"}},
    {-1026, {"Disk write failure", "Fout bij het schrijven van de schijf", "Fallo de escritura en disco", "Erreur d'écriture du disque", "Fehler beim Schreiben auf den Datenträger"}},
    {-1027, {"Invalid drive", "Ongeldige drive", "Unidad no válida", "Lecteur incorrect", "Ungültiges Laufwerk"}},
    {-1028, {"Invalid directory", "Ongeldige map", "Directorio no válido", "Répertoire incorrect", "Ungültiges Verzeichnis"}},
    {-1029, {"Could not create directory", "Kon map niet aanmaken", "No se pudo crear directorio", "Impossible de créer le répertoire", "Verzeichnis konnte nicht erstellt werden"}},
    {-1030, {"Invalid command line option", "Ongeldige opdrachtregel-optie", "Opción de línea de comandos no válida", "Option de ligne de commande incorrecte", "Ungültige Befehlszeilenoption"}},
    {-1031, {"Could not locate ini file", "Kon ini-bestand niet vinden", "No se pudo encontrar el archivo ini", "Impossible de localiser le fichier INI", "INI-Datei konnte nicht gefunden werden"}},
    {-1032, {"Could not create log file", "Kon log-bestand niet aanmaken", "No se pudo crear archivo de registro", "Impossible de créer le fichier journal", "Protokolldatei konnte nicht erstellt werden"}},
    {-1033, {"Invalid memory configuration", "Ongeldige geheugenconfiguratie", "Configuración de memoria no válida", "Configuration de mémoire incorrecte", "Ungültige Arbeitsspeicherkonfiguration"}},
    {-1034, {"Invalid hot key", "Ongeldige toegangstoets", "Tecla rápida no válida", "Raccourci clavier incorrect", "Ungültige Tastenkombination"}},
    {-1035, {"Hot key already in use", "Toegangstoets reeds in gebruik", "Tecla rápida ya en uso", "Raccourci clavier déjà utilisé", "Tastenkombination ist bereits belegt"}},
    {-1036, {"Could not locate language file", "Kon taalbestand niet vinden", "No se pudo encontrar el archivo de idioma", "Impossible d'utiliser le fichier de langues", "Sprachendatei konnte nicht gefunden werden"}},
    {-1037, {"Invalid data directory", "Ongeldige gegevensmap", "Directorio de datos no válido", "Répertoire de données incorrect", "Ungültiges Datenverzeichnis"}},
    {-1038, {"Could not create temporary directory", "Kon tijdelijke map niet aanmaken", "No se pudo crear directorio temporal", "Impossible de créer un répertoire temporaire", "Temporäres Verzeichnis konnte nicht erstellt werden"}},
    {-1040, {"Entry not defined", "Ingang niet gedefinieerd", "Entrada no definida", "Entrée non définie", "Eintrag ist nicht definiert"}},
    {-1041, {"Entry duplicated", "Ingang gedupliceerd", "Entrada repetida", "Entrée dupliquée", "Doppelter Eintrag"}},
    {-1042, {"Invalid action", "Ongeldige handeling", "Acción no válida", "Action incorrecte", "Ungültige Aktion"}},
    {-1045, {"Invalid time/date", "Ongeldige tijd/datum", nullptr, "Date ou heure incorrecte", "Uhrzeit/Datum ungültig"}},
    {-1046, {"Invalid time zone", "Ongeldige tijdzone", nullptr, "Fuseau horaire incorrect", "Ungültige Zeitzone"}},
    {-1074, {"Locale file not found", "Kon localebestand niet vinden", "Archivo de localización no encontrado", "Fichier de paramètres de lieu introuvable", "Sprachdatei konnte nicht gefunden werden"}},
    {-1075, {"Invalid locale file", "Ongeldig plaatsbestand", "Archivo de localización no válido", "Fichier de paramètres de lieu incorrect", "Ungültige Sprachdatei"}},
    {-1076, {"Unknown language/country", "Onbekende taal/onbekend land", "Idioma/país desconocido", "Langue/Pays inconnu(e)", "Unbekannte Sprache/unbekanntes Land"}},
    {-1077, {"Unknown code page", "Onbekende codebladzijde", "Página de códigos desconocida", "Page de codes inconnue", "Unbekannte Code-Seite"}},
    {-1078, {"Resource lookup failure", "Middelencontrole niet succesvol", "Fallo en la búsqueda de recursos", "Echec de la recherche des ressources", "Fehler beim Nachschlagen in den Ressourcen"}},
    {-1080, {"Could not create thread", "Kon geen thread creëren", "No se pudo crear subproceso", "Impossible de créer le processus élémentaire", "Thread konnte nicht erstellt werden"}},
    {-1081, {"Out of thread-local-storage", "Onvoldoende threads-plaatselijke-opslag", "Fuera de almacenamiento local de subproceso", "Stockage hors du processus élémentaire local", "Nicht genügend lokaler Speicherplatz für Threads"}},
    {-1090, {"Could not create task", nullptr, nullptr, nullptr, nullptr}},
    {-1091, {"Could not load dynamic library", nullptr, nullptr, "Echec de chargement de bibliothèque dynamique", nullptr}},
    {-1094, {"Parameter error, value must be 0 - 65535", nullptr, nullptr, nullptr, nullptr}},
    {-1095, {"Parameter error, value must be 0 - 4294967295", nullptr, nullptr, nullptr, nullptr}},
    {-1096, {"Invalid input chararacters", nullptr, nullptr, nullptr, nullptr}},
    {-1097, {"Short buffer truncated", nullptr, nullptr, nullptr, nullptr}},
};
const int kTvCatalogueRows = static_cast<int>(sizeof kTvCatalogue / sizeof kTvCatalogue[0]);

// Searched in this order; English (American) shares the English texts.
const TvLanguageEntry kTvLanguages[] = {
    {49, TvColGerman}, {44, TvColEnglish}, {34, TvColSpanish}, {33, TvColFrench},
    {31, TvColDutch},  {1, TvColEnglish},  {0, TvColEnglish},
};

const TvLanguageNameEntry kTvLanguageNames[] = {
    {44, "English"}, {1, "English (American)"}, {31, "Nederlands"}, {33, "Français"}, {49, "Deutsch"}, {0, nullptr},
};

// 0 dialog caption, 1-3 error window controls, 4 unused, 5-16 months,
// 17-28 month abbreviations, 29-35 days (Sunday first), 36-42 day
// abbreviations, 43-46 the two disk prompts (each two entries), 47 unused.
const char* const kTvKernelStrings[TvColCount][49] = {
    // English
    {
        "Application error", "&OK", "&Details>>", "&Show all errors", "", "January",
        "February", "March", "April", "May", "June", "July",
        "August", "September", "October", "November", "December", "Jan",
        "Feb", "Mar", "Apr", "May", "Jun", "Jul",
        "Aug", "Sep", "Oct", "Nov", "Dec", "Sunday",
        "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
        "Sun", "Mon", "Tue", "Wed", "Thu", "Fri",
        "Sat", "Cannot access %s\n", "Please insert the correct disk~", "Cannot find %s\n", "Please insert the correct disk~", "N/A", nullptr,
    },
    // Dutch
    {
        "Toepassingsfout", "&OK", "&Details>>", "&Alle fouten weergeven", "", "januari",
        "februari", "maart", "april", "mei", "juni", "juli",
        "augustus", "september", "oktober", "november", "december", "Jan",
        "Feb", "Maa", "Apr", "Mei", "Jun", "Jul",
        "Aug", "Sep", "Okt", "Nov", "Dec", "Zondag",
        "Maandag", "Dinsdag", "Woensdag", "Donderdag", "Vrijdag", "Zaterdag",
        "Zo", "Ma", "Di", "Wo", "Do", "Vr",
        "Za", "Geen toegang tot %s\n", "Breng de juiste schijf in", "Kan %s\n niet vinden", "Breng de juiste schijf in", "N/A", nullptr,
    },
    // Spanish
    {
        "Error de la aplicación", "&Aceptar", "&Detalles>>", "&Mostrar todos los errores", "", "enero",
        "febrero", "marzo", "abril", "mayo", "junio", "julio",
        "agosto", "septiembre", "octubre", "noviembre", "diciembre", "Ene",
        "Feb", "Mar", "Abr", "May", "Jun", "Jul",
        "Ago", "Sep", "Oct", "Nov", "Dic", "Domingo",
        "Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado",
        "Dom", "Lun", "Mar", "Mie", "Jue", "Vie",
        "Sáb", "No se puede acceder a %s\n", "Introduzca el disco correcto~", "No se puede encontrar %s\n", "Introduzca el disco correcto~", "N/A", nullptr,
    },
    // French
    {
        "Erreur d'application", "&OK", "&Détails>>", "&Afficher toutes les erreurs", "", "janvier",
        "février", "mars", "avril", "mai", "juin", "juillet",
        "août", "septembre", "octobre", "novembre", "décembre", "jan",
        "fév", "mar", "avr", "mai", "juin", "juil",
        "août", "sep", "oct", "nov", "déc", "dimanche",
        "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi",
        "dim", "lun", "mar", "mer", "jeu", "ven",
        "sam", "Impossible d'accéder au(x)/à la %s\n", "Insérez le disque correct", "Impossible de trouver %s\n", "Insérez le disque correct", "N/A", nullptr,
    },
    // German
    {
        "Anwendungsfehler", "&OK", "&Details>>", "&Alle Fehler anzeigen", "", "Januar",
        "Februar", "März", "April", "Mai", "Juni", "Juli",
        "August", "September", "Oktober", "November", "Dezember", "Jan",
        "Feb", "März", "Apr", "Mai", "Jun", "Jul",
        "Aug", "Sept", "Okt", "Nov", "Dez", "Sonntag",
        "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag",
        "So", "Mo", "Di", "Mi", "Do", "Fr",
        "Sa", "Zugriff auf %s ist nicht möglich\n", "Legen Sie den korrekten Datenträger ein", "%s kann nicht gefunden werden\n", "Legen Sie den korrekten Datenträger ein", "N/A", nullptr,
    },
};

// The kernel string tables as a table set, in the order of the catalogue.
const TvMsgTableEntry kTvKernelStringSet[] = {
    {49, kTvKernelStrings[TvColGerman]}, {44, kTvKernelStrings[TvColEnglish]},
    {34, kTvKernelStrings[TvColSpanish]}, {33, kTvKernelStrings[TvColFrench]},
    {31, kTvKernelStrings[TvColDutch]},  {1, kTvKernelStrings[TvColEnglish]},
    {0, nullptr},
};
// clang-format on
