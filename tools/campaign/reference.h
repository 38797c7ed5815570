// reference.h: an independent reader of ini text and a model of what each
// edit does to it. The campaign checks the files the library writes
// against this model, never against the library's own reading.
//
// A document is the file's lines without their line ends. Loading splits
// at CR LF, a lone CR and a lone LF; a leading UTF-8 byte order mark is kept
// apart, NUL bytes at the very end are padding and go. Saving writes every
// line end as CR LF.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace campaign {

using Text = std::optional<std::string>;  // nullopt: the script passes NULL

// What a file is to the library: ini text, or bytes it must refuse.
// Unclear: only a DEL (0x7F) speaks against text, so either answer is right.
enum class FileKind { Text, Binary, Unclear };
FileKind Classify(const std::string& bytes);

// One line as the model expects it: its text, or one of the alternatives
// where the library may choose.
struct Line {
  std::string text;
  std::vector<std::string> alts;
};

struct Doc {
  bool bom = false;
  std::vector<Line> lines;
  bool finalLineEnd = false;  // the last line has a line end
};

Doc Parse(const std::string& bytes);  // a Text (or Unclear) file
std::string Render(const Doc& doc);   // the bytes a save writes

// The first line where actual differs from expected, or -1 when actual is
// one of the files expected describes.
long FirstDifference(const Doc& expected, const Doc& actual);

// Code page 1252 letter case.
char Upper(char c);
bool EqualNoCase(const std::string& a, const std::string& b);
// The kernel's comparison on n characters, where a shorter text must end
// at the same place in both.
bool EqualNoCaseN(const std::string& a, const std::string& b, size_t n);
// ASCII-only case, as the C runtime compares list items.
int CompareAsciiNoCase(const std::string& a, const std::string& b);

std::string TrimRightSpaces(std::string s);  // blanks (spaces) at the end
std::string TrimBlanks(std::string s);       // spaces and tabs at both ends
std::string Cut(const std::string& s, size_t n);

// Names as the engine can read them back.
enum class NameClass { Valid, Unclear, Refused };  // in rising order: the worse of two wins
NameClass ClassifySection(const Text& section);
NameClass ClassifyKey(const Text& key);
// A value holding a control character other than tab and line ends: the
// exports refuse it before anything changes.
bool HoldsForbiddenControl(const std::string& value);
bool HoldsDel(const std::string& value);

// Sections as the engine finds them.
struct Header {            // the lines of "[" and of the "]" that ends the name, the name (at most 79
  size_t line, closeLine;  // characters, may span lines), the body's first line and the one after it
  std::string name;
  size_t bodyStart, bodyEnd;
};
std::vector<Header> Headers(const Doc& doc);
bool SectionMatches(const std::string& pattern, const std::string& name);

struct Found {
  size_t line, keyLength;
};
// The first key line of the first section matching the name, then the
// same in section TvDefault, as every getter looks up.
std::optional<Found> Lookup(const Doc& doc, const std::string& section, const std::string& key);
// Without the TvDefault fall-back, as an edit finds its key.
std::optional<Found> LookupHere(const Doc& doc, const std::string& section, const std::string& key);
// The value line and its "+" lines, as they stand.
std::vector<std::string> ValueLines(const Doc& doc, const Found& found);
std::optional<std::vector<std::string>> ReadLines(const Doc& doc, const std::string& section, const std::string& key);

// Split at CR LF, CR and LF; a final line end gives a last, empty line.
std::vector<std::string> SplitLines(const std::string& text);

// The line after a setting's value line and its "+" lines.
size_t SettingEnd(const Doc& doc, size_t line);
// Edits. Set writes values as the key's value line and "+" lines, in the
// first matching section, else at the end of a new section.
void Set(Doc& doc, const std::string& section, const std::string& key, const std::vector<Line>& values);
void Delete(Doc& doc, const std::string& section, const std::string& key);
std::vector<Line> Plain(const std::vector<std::string>& values);

// Adds entry to a list, or puts it in place of the first entry that matches
// it on n characters; empty entries are dropped, a blank entry is not added,
// entries are written whole. replaced receives the entry put aside.
void UpdateList(Doc& doc, const std::string& section, const std::string& key, const char* fallbackKey,
                const std::string& entry, int32_t n, std::string* replaced);
// Removes every entry equal to text (ignoring case); empty entries stay.
void RemoveFromList(Doc& doc, const std::string& section, const std::string& key, const std::string& text,
                    bool writeAlways);

// The value IniGetString gives with a capacity: the lines joined by line
// feeds, trailing blanks of each removed, the whole cut to capacity - 1.
std::string GetValue(const std::vector<std::string>& lines, size_t capacity);

bool BoolValue(const std::string& value);

}  // namespace campaign
