// engine.h: what the parts of tvengine share: the export table and the
// call of an export (export_calls.cpp), the lexer (lexer.cpp), the
// statements and their parser (parser.cpp), the interpreter
// (interpreter.cpp); main.cpp holds the command line and the uninstall mode.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export_table.h"

namespace tvengine {

constexpr int kExitAssertion = 1;
constexpr int kExitScriptError = 2;
constexpr int kExitCannotRun = 3;
constexpr int kExitException = 4;
constexpr int kExitHandOverFailed = 1;  // uninstall mode: UninstInitialize gave a status other than 0

// ---------------------------------------------------------------------------
// The exports, from the library's export list. Parameters take the kinds of
// the library's parameter trace: _vs string in, _vi number in, _rs string
// out, _ri number out (handles are numbers here). A string out has the
// capacity of the buffer the engine hands over: a byte count, or the
// argument (from 1) that carries it, of which the export reads the low 16
// bits.

enum class Returns { Int32, Nothing };
enum class Kind { StringIn, NumberIn, StringOut, NumberOut };

constexpr int kMaxArgs = tvexport::kMaxParameters;

struct Param {
  Kind kind = Kind::NumberIn;
  int capacity = 0;     // _rs with a fixed capacity
  int capacityArg = 0;  // _rs whose capacity another argument carries (1-based)
};

struct Signature {
  int count = 0;
  Param params[kMaxArgs] = {};
};

struct Export {
  const char* name;
  Signature sig;
  Returns returns;  // called stdcall when it has arguments, else with the C convention (the list's rule)
};

const Export* FindExport(std::string_view name);
// For a hint when a script misspells the letter case of a name.
const Export* FindExportIgnoringCase(std::string_view name);
const char* KindName(Kind kind);
// Calls an export with count pointer-sized arguments.
int32_t Invoke(FARPROC p, int count, const INT_PTR* a);

// ---------------------------------------------------------------------------
// Scripts.

struct ScriptError {
  int line;
  std::string message;
};

struct Stop {  // ends the run with an exit code; the message is printed first
  int code;
  std::string message;
};

struct Value {
  bool isString = false;
  int64_t number = 0;
  std::string text;
};

enum class Tok { Ident, Number, String, LParen, RParen, Comma, Assign, Equal, NotEqual, End };

struct Token {
  Tok type = Tok::End;
  std::string text;  // identifier, or string contents
  int64_t number = 0;
};

// What "$SCRIPTDIR" and "$SOURCEDIR" stand for in strings: the script's
// folder, and the source folder of an engine started as the launcher starts
// it (empty otherwise).
struct Places {
  std::string scriptDir, sourceDir;
};

std::string Quote(std::string_view text);

// Splits one line (without its line end) into tokens.
class Lexer {
 public:
  Lexer(std::string_view line, int number, const Places& places) : s_(line), line_(number), places_(places) {}
  Token Next();

 private:
  Token Number();
  Token String();

  std::string_view s_;
  size_t pos_ = 0;
  int line_;
  const Places& places_;
};

struct Operand {
  enum class Type { Number, String, Variable, Null } type = Type::Number;
  int64_t number = 0;
  std::string text;  // string literal or variable name
};

struct Statement {
  enum class Type { Call, Assign, Assert, Print } type = Type::Call;
  int line = 0;
  std::string target;              // Call: receives the result (may be empty); Assign: the variable
  const Export* callee = nullptr;  // Call
  Signature sig;                   // Call
  std::vector<Operand> operands;   // Call: arguments; Assign: the value; Assert: two sides; Print: the values
  bool notEqual = false;           // Assert
};

// The statements of a script; a ScriptError at the first error.
std::vector<Statement> ParseScript(std::string_view text, const Places& places);

// Runs the statements: without a library only the kinds of the variables
// are tracked (every script error shows up there), with one for real.
void Interpret(const std::vector<Statement>& script, HMODULE library);

// A line of the engine's output: standard output, and the log file of the
// engine's kernel when it has one.
void Say(const std::string& line);

// The line being run, for the report of an exception inside an export.
extern int g_line;
extern const char* g_export;
LONG WINAPI ReportException(EXCEPTION_POINTERS* info);

}  // namespace tvengine
