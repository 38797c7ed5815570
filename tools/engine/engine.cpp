// engine.cpp: tvengine, the installer-engine stand-in. It loads TVISX.dll the
// way an installer engine does, runs a script of export calls against it and
// prints every call with its result (the language is described in
// docs/engine.md). The whole script is checked before the library is loaded,
// so a script with an error calls nothing.
//
//   tvengine [kernel options] [<folder of TVISX.dll>] <script>
//   tvengine -uninstall <the uninstaller's arguments, "-f<file>" among them>
//
// Exit codes: 0 the script ran to its end; 1 an assertion failed; 2 the
// script (or the command line) has an error; 3 the script or the library
// could not be used; 4 an export raised an exception. In uninstall mode
// it calls the uninstaller's two hooks of the TVISX.dll beside it: 0 when
// UninstInitialize gave 0, else 1.
//
// The engine starts a kernel of its own from its arguments (its options
// and "@" files, tools/common/command_line.h); its log file, when it has
// one, receives the engine's output too. The library keeps its own kernel.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "command_line.h"
#include "export_table.h"
#include "tv_file.h"
#include "tv_log.h"

namespace {

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

constexpr Kind KindOf(tvexport::Kind kind) {
  switch (kind) {
    case tvexport::Kind::StringIn: return Kind::StringIn;
    case tvexport::Kind::StringOut: return Kind::StringOut;
    case tvexport::Kind::NumberOut:
    case tvexport::Kind::HandleOut: return Kind::NumberOut;
    default: return Kind::NumberIn;
  }
}

constexpr auto kExports = [] {
  std::array<Export, tvexport::kExportCount> table{};
  for (size_t i = 0; i < table.size(); ++i) {
    const tvexport::Export& e = tvexport::kExports[i];
    Signature sig{e.count};
    for (int k = 0; k < e.count; ++k)
      sig.params[k] = {KindOf(e.parameters[k].kind), e.parameters[k].capacity, e.parameters[k].capacityArgument};
    table[i] = {e.name, sig, e.result == tvexport::Result::Nothing ? Returns::Nothing : Returns::Int32};
  }
  return table;
}();

const Export* FindExport(std::string_view name) {
  for (const Export& e : kExports)
    if (name == e.name) return &e;
  return nullptr;
}

// For a hint when a script misspells the letter case of a name.
const Export* FindExportIgnoringCase(std::string_view name) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (const Export& e : kExports) {
    std::string_view candidate = e.name;
    if (candidate.size() == name.size() &&
        std::equal(name.begin(), name.end(), candidate.begin(), [&](char a, char b) { return lower(a) == lower(b); }))
      return &e;
  }
  return nullptr;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::StringIn: return "string in";
    case Kind::NumberIn: return "number in";
    case Kind::StringOut: return "string out";
    case Kind::NumberOut: return "number out";
  }
  return "?";
}

// Every argument is one pointer-sized word (a 32-bit stack word in the
// deliverable): strings and out parameters as pointers, numbers as integers.
// Argument-less exports use the C convention, all others stdcall.
using Call0 = int32_t (*)(void);
using Call1 = int32_t(__stdcall*)(INT_PTR);
using Call2 = int32_t(__stdcall*)(INT_PTR, INT_PTR);
using Call3 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR);
using Call4 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call5 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call6 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call7 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);
using Call8 = int32_t(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR);

template <typename F>
F As(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
}

// Exports without a result leave the return register undefined; the caller
// ignores what it reads.
int32_t Invoke(FARPROC p, int count, const INT_PTR* a) {
  switch (count) {
    case 0: return As<Call0>(p)();
    case 1: return As<Call1>(p)(a[0]);
    case 2: return As<Call2>(p)(a[0], a[1]);
    case 3: return As<Call3>(p)(a[0], a[1], a[2]);
    case 4: return As<Call4>(p)(a[0], a[1], a[2], a[3]);
    case 5: return As<Call5>(p)(a[0], a[1], a[2], a[3], a[4]);
    case 6: return As<Call6>(p)(a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7: return As<Call7>(p)(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    case 8: return As<Call8>(p)(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
  }
  return 0;
}

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

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string CharName(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  char text[16];
  if (u > 0x20 && u < 0x7f) snprintf(text, sizeof text, "'%c'", c);
  else snprintf(text, sizeof text, "byte 0x%02x", u);
  return text;
}

// Splits one line (without its line end) into tokens.
// What "$SCRIPTDIR" and "$SOURCEDIR" stand for in strings: the script's
// folder, and the source folder of an engine started as the launcher starts
// it (empty otherwise).
struct Places {
  std::string scriptDir, sourceDir;
};

class Lexer {
 public:
  Lexer(std::string_view line, int number, const Places& places) : s_(line), line_(number), places_(places) {}

  Token Next() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r')) ++pos_;
    Token t;
    if (pos_ >= s_.size() || s_[pos_] == '#') return t;
    char c = s_[pos_];
    if (IsIdentStart(c)) {
      size_t start = pos_;
      while (pos_ < s_.size() && IsIdentChar(s_[pos_])) ++pos_;
      t.type = Tok::Ident;
      t.text = s_.substr(start, pos_ - start);
      return t;
    }
    if ((c >= '0' && c <= '9') || c == '-') return Number();
    if (c == '"') return String();
    ++pos_;
    switch (c) {
      case '(': t.type = Tok::LParen; return t;
      case ')': t.type = Tok::RParen; return t;
      case ',': t.type = Tok::Comma; return t;
      case '=':
        t.type = Tok::Assign;
        if (pos_ < s_.size() && s_[pos_] == '=') {
          ++pos_;
          t.type = Tok::Equal;
        }
        return t;
      case '!':
        if (pos_ < s_.size() && s_[pos_] == '=') {
          ++pos_;
          t.type = Tok::NotEqual;
          return t;
        }
        break;
    }
    throw ScriptError{line_, "unexpected " + CharName(c)};
  }

 private:
  // Numbers are 32-bit words: -2147483648 to 4294967295, or 0x0 to
  // 0xFFFFFFFF; 0xFFFFFFFF and -1 are the same number.
  Token Number() {
    size_t start = pos_;
    bool negative = s_[pos_] == '-';
    if (negative) ++pos_;
    unsigned base = 10;
    if (pos_ + 1 < s_.size() && s_[pos_] == '0' && (s_[pos_ + 1] == 'x' || s_[pos_ + 1] == 'X')) {
      base = 16;
      pos_ += 2;
    }
    uint64_t value = 0;
    size_t digits = 0;
    bool tooLarge = false;
    for (; pos_ < s_.size() && IsIdentChar(s_[pos_]); ++pos_, ++digits) {
      char c = s_[pos_];
      unsigned d = c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : 99;
      if (d >= base) {
        while (pos_ < s_.size() && IsIdentChar(s_[pos_])) ++pos_;
        throw ScriptError{line_, "malformed number " + std::string(s_.substr(start, pos_ - start))};
      }
      value = value * base + d;
      if (value > 0xFFFFFFFFu) tooLarge = true, value = 0xFFFFFFFFu + 1ull;
    }
    std::string text(s_.substr(start, pos_ - start));
    if (digits == 0) throw ScriptError{line_, "malformed number " + text};
    if (tooLarge || (negative && value > 0x80000000u))
      throw ScriptError{line_, "number " + text + " does not fit in 32 bits"};
    Token t;
    t.type = Tok::Number;
    uint32_t word = static_cast<uint32_t>(negative ? 0u - value : value);
    t.number = static_cast<int32_t>(word);
    return t;
  }

  Token String() {
    Token t;
    t.type = Tok::String;
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) throw ScriptError{line_, "unterminated string"};
      char c = s_[pos_++];
      if (c == '"') return t;
      if (c == '\0') throw ScriptError{line_, "a string cannot hold a NUL byte"};
      if (c == '$') {
        const std::string_view rest = s_.substr(pos_ - 1);
        if (rest.starts_with("$SCRIPTDIR")) {
          t.text += places_.scriptDir;
          pos_ += 9;
          continue;
        }
        if (rest.starts_with("$SOURCEDIR")) {
          t.text += places_.sourceDir;
          pos_ += 9;
          continue;
        }
      }
      if (c != '\\') {
        t.text += c;
        continue;
      }
      if (pos_ >= s_.size()) throw ScriptError{line_, "unterminated string"};
      char e = s_[pos_++];
      switch (e) {
        case 'n': t.text += '\n'; break;
        case 't': t.text += '\t'; break;
        case '\\': t.text += '\\'; break;
        case '"': t.text += '"'; break;
        case '$': t.text += '$'; break;
        default: throw ScriptError{line_, "unknown escape \\" + std::string(1, e) + " in a string"};
      }
    }
  }

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

bool IsKeyword(std::string_view name) { return name == "assert" || name == "print" || name == "null"; }

class Parser {
 public:
  Parser(std::string_view line, int number, const Places& places) : lexer_(line, number, places), line_(number) {
    Advance();
  }

  // False for a blank or comment line.
  bool Parse(Statement& st) {
    st.line = line_;
    if (tok_.type == Tok::End) return false;
    if (tok_.type != Tok::Ident)
      throw ScriptError{line_, "a line holds an export call, an assignment, assert or print"};
    std::string first = tok_.text;
    Advance();
    if (first == "assert") {
      st.type = Statement::Type::Assert;
      st.operands.push_back(ParseOperand());
      if (tok_.type != Tok::Equal && tok_.type != Tok::NotEqual) throw ScriptError{line_, "assert needs == or !="};
      st.notEqual = tok_.type == Tok::NotEqual;
      Advance();
      st.operands.push_back(ParseOperand());
    } else if (first == "print") {
      st.type = Statement::Type::Print;
      if (tok_.type != Tok::End) {
        st.operands.push_back(ParseOperand());
        while (tok_.type == Tok::Comma) {
          Advance();
          st.operands.push_back(ParseOperand());
        }
      }
    } else if (tok_.type == Tok::LParen) {
      ParseCall(first, st);
    } else if (tok_.type == Tok::Assign) {
      CheckVariableName(first);
      st.target = first;
      Advance();
      if (tok_.type == Tok::Ident && !IsKeyword(tok_.text)) {
        std::string name = tok_.text;
        Advance();
        if (tok_.type == Tok::LParen) {
          ParseCall(name, st);
        } else {
          CheckVariableName(name);
          st.type = Statement::Type::Assign;
          st.operands.push_back(Operand{Operand::Type::Variable, 0, name});
        }
      } else {
        st.type = Statement::Type::Assign;
        st.operands.push_back(ParseOperand());
      }
    } else {
      throw ScriptError{line_, "expected ( or = after " + first};
    }
    if (tok_.type != Tok::End) throw ScriptError{line_, "unexpected text after the statement"};
    return true;
  }

 private:
  void Advance() { tok_ = lexer_.Next(); }

  void CheckVariableName(const std::string& name) {
    if (IsKeyword(name)) throw ScriptError{line_, name + " is a keyword, not a variable"};
    if (FindExport(name)) throw ScriptError{line_, name + " is an export, not a variable"};
  }

  Operand ParseOperand() {
    Operand op;
    switch (tok_.type) {
      case Tok::Number: op.type = Operand::Type::Number, op.number = tok_.number; break;
      case Tok::String: op.type = Operand::Type::String, op.text = tok_.text; break;
      case Tok::Ident:
        if (tok_.text == "null") {
          op.type = Operand::Type::Null;
        } else {
          CheckVariableName(tok_.text);
          op.type = Operand::Type::Variable, op.text = tok_.text;
        }
        break;
      default: throw ScriptError{line_, "expected a number, a string or a variable"};
    }
    Advance();
    return op;
  }

  void ParseCall(const std::string& name, Statement& st) {
    st.type = Statement::Type::Call;
    st.callee = FindExport(name);
    if (!st.callee) {
      std::string message = "unknown export " + name;
      if (const Export* similar = FindExportIgnoringCase(name))
        message += std::string(" (did you mean ") + similar->name + "?)";
      throw ScriptError{line_, message};
    }
    st.sig = st.callee->sig;
    Advance();  // (
    if (tok_.type != Tok::RParen) {
      st.operands.push_back(ParseOperand());
      while (tok_.type == Tok::Comma) {
        Advance();
        st.operands.push_back(ParseOperand());
      }
    }
    if (tok_.type != Tok::RParen) throw ScriptError{line_, "expected , or ) in the arguments of " + name};
    Advance();
    if (static_cast<int>(st.operands.size()) != st.sig.count) {
      std::string kinds;
      for (int i = 0; i < st.sig.count; ++i) kinds += std::string(i ? ", " : "") + KindName(st.sig.params[i].kind);
      throw ScriptError{line_, name + " takes " + std::to_string(st.sig.count) + " argument" +
                                   (st.sig.count == 1 ? "" : "s") + " (" + kinds + "), not " +
                                   std::to_string(st.operands.size())};
    }
  }

  Lexer lexer_;
  int line_;
  Token tok_;
};

// A line of the engine's output: standard output, and the log file of the
// engine's kernel when it has one.
void Say(const std::string& line) {
  printf("%s\n", line.c_str());
  fflush(stdout);
  TvLogWriteFile((line + "\n").c_str());
}

// The line being run, for the report of an exception inside an export.
int g_line = 0;
const char* g_export = "";

LONG WINAPI ReportException(EXCEPTION_POINTERS* info) {
  fflush(stdout);
  fprintf(stderr, "line %d: %s raised exception 0x%08lx\n", g_line, g_export,
          static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
  fflush(stderr);
  // The library may be in any state now: no detach, no clean-up.
  TerminateProcess(GetCurrentProcess(), kExitException);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Runs the statements twice: first without the library, tracking only the
// kinds of the variables (every script error shows up there), then for real.
class Interpreter {
 public:
  explicit Interpreter(HMODULE library) : library_(library) {}

  void Run(const std::vector<Statement>& script) {
    vars_.clear();
    for (const Statement& st : script) {
      switch (st.type) {
        case Statement::Type::Call: Call(st); break;
        case Statement::Type::Assign: vars_[st.target] = Evaluate(st, st.operands[0]); break;
        case Statement::Type::Assert: Assert(st); break;
        case Statement::Type::Print: Print(st); break;
      }
    }
  }

 private:
  bool checking() const { return library_ == nullptr; }

  Value Evaluate(const Statement& st, const Operand& op) {
    Value v;
    switch (op.type) {
      case Operand::Type::Number: v.number = op.number; break;
      case Operand::Type::String: v.isString = true, v.text = op.text; break;
      case Operand::Type::Variable: {
        auto it = vars_.find(op.text);
        if (it == vars_.end()) throw ScriptError{st.line, "undefined variable " + op.text};
        v = it->second;
        break;
      }
      case Operand::Type::Null: throw ScriptError{st.line, "null can only be passed to a string or an out parameter"};
    }
    return v;
  }

  static std::string Show(const Value& v) { return v.isString ? Quote(v.text) : std::to_string(v.number); }

  void Assert(const Statement& st) {
    Value left = Evaluate(st, st.operands[0]), right = Evaluate(st, st.operands[1]);
    if (left.isString != right.isString) throw ScriptError{st.line, "assert compares a number with a string"};
    if (checking()) return;
    bool equal = left.isString ? left.text == right.text : left.number == right.number;
    if (equal != st.notEqual) return;
    std::string message = "line " + std::to_string(st.line) + ": assertion failed: ";
    message += Source(st.operands[0]) + (st.notEqual ? " != " : " == ") + Source(st.operands[1]);
    for (int i = 0; i < 2; ++i)
      if (st.operands[i].type == Operand::Type::Variable)
        message += ", " + st.operands[i].text + " is " + Show(i == 0 ? left : right);
    throw Stop{kExitAssertion, message};
  }

  static std::string Source(const Operand& op) {
    switch (op.type) {
      case Operand::Type::Number: return std::to_string(op.number);
      case Operand::Type::String: return Quote(op.text);
      case Operand::Type::Variable: return op.text;
      case Operand::Type::Null: break;
    }
    return "null";
  }

  void Print(const Statement& st) {
    std::string text;
    for (const Operand& op : st.operands) {
      Value v = Evaluate(st, op);
      text += v.isString ? v.text : std::to_string(v.number);
    }
    if (!checking()) Say(text);
  }

  void Call(const Statement& st) {
    const Export& e = *st.callee;
    const int count = st.sig.count;
    INT_PTR args[kMaxArgs] = {};
    std::string strings[kMaxArgs];        // string in, kept alive over the call
    std::vector<char> buffers[kMaxArgs];  // string out: capacity + guard
    INT_PTR numbers[kMaxArgs] = {};       // number out: pointer-sized slots
    size_t capacities[kMaxArgs] = {};
    bool isNull[kMaxArgs] = {};

    // Arguments going in first: a string out may take its capacity from one.
    for (int i = 0; i < count; ++i) {
      const Param& p = st.sig.params[i];
      const Operand& op = st.operands[i];
      isNull[i] = op.type == Operand::Type::Null;
      auto where = [&] {
        std::string text = "argument ";
        text += std::to_string(i + 1);
        return text + " of " + e.name;
      };
      if (p.kind == Kind::StringOut || p.kind == Kind::NumberOut) {
        if (op.type != Operand::Type::Variable && !isNull[i])
          throw ScriptError{st.line, where() + " is a " + KindName(p.kind) + ": give a variable to receive it"};
        continue;
      }
      if (isNull[i]) {
        if (p.kind != Kind::StringIn)
          throw ScriptError{st.line, where() + " is a number: null stands only for a string or an out parameter"};
        continue;
      }
      Value v = Evaluate(st, op);
      if (v.isString != (p.kind == Kind::StringIn))
        throw ScriptError{st.line,
                          where() + " is a " + KindName(p.kind) + ", not a " + (v.isString ? "string" : "number")};
      if (v.isString) {
        strings[i] = v.text;
        args[i] = reinterpret_cast<INT_PTR>(strings[i].c_str());
      } else {
        args[i] = static_cast<INT_PTR>(v.number);
      }
    }
    if (!st.target.empty() && e.returns == Returns::Nothing)
      throw ScriptError{st.line, std::string(e.name) + " returns nothing to store in " + st.target};

    if (checking()) {
      for (int i = 0; i < count; ++i) {
        Kind kind = st.sig.params[i].kind;
        if (!isNull[i] && (kind == Kind::StringOut || kind == Kind::NumberOut))
          vars_[st.operands[i].text].isString = kind == Kind::StringOut;
      }
      if (e.returns == Returns::Int32) vars_["result"] = Value{};
      if (!st.target.empty()) vars_[st.target] = Value{};
      return;
    }

    static constexpr size_t kGuard = 16;
    static constexpr char kGuardByte = static_cast<char>(0xFD);
    for (int i = 0; i < count; ++i) {
      const Param& p = st.sig.params[i];
      if (isNull[i]) continue;
      if (p.kind == Kind::StringOut) {
        capacities[i] = p.capacityArg ? static_cast<size_t>(args[p.capacityArg - 1] & 0xFFFF) : p.capacity;
        buffers[i].assign(capacities[i] + kGuard, kGuardByte);
        std::fill_n(buffers[i].begin(), capacities[i], '\0');
        args[i] = reinterpret_cast<INT_PTR>(buffers[i].data());
      } else if (p.kind == Kind::NumberOut) {
        args[i] = reinterpret_cast<INT_PTR>(&numbers[i]);
      }
    }

    FARPROC proc = GetProcAddress(library_, e.name);
    if (!proc) throw Stop{kExitCannotRun, "line " + std::to_string(st.line) + ": TVISX.dll has no export " + e.name};
    g_line = st.line;
    g_export = e.name;
    int32_t result = Invoke(proc, count, args);
    g_export = "";

    // The trace line shows the values passed and, for out parameters, the
    // name that receives them.
    std::string trace = "[" + std::to_string(st.line) + "] " + e.name + "(";
    std::string received;
    for (int i = 0; i < count; ++i) {
      const Param& p = st.sig.params[i];
      const Operand& op = st.operands[i];
      if (i) trace += ", ";
      if (isNull[i]) {
        trace += "null";
      } else if (p.kind == Kind::StringIn) {
        trace += Quote(strings[i]);
      } else if (p.kind == Kind::NumberIn) {
        trace += std::to_string(args[i]);
      } else {
        trace += "&" + op.text;
        Value v;
        if (p.kind == Kind::NumberOut) {
          v.number = numbers[i];
        } else {
          v.isString = true;
          v.text = TakeString(st, e, i, buffers[i], capacities[i], kGuard, kGuardByte);
        }
        received += (received.empty() ? "; " : ", ") + op.text + " = " + Show(v);
        vars_[op.text] = v;
      }
    }
    trace += ")";
    if (e.returns == Returns::Int32) {
      trace += " = " + std::to_string(result);
      vars_["result"] = Value{false, result, {}};
      if (!st.target.empty()) vars_[st.target] = Value{false, result, {}};
    }
    Say(trace + received);
  }

  // The text an export left in a string out buffer; writing past the
  // capacity or leaving the text without its NUL is the export's fault.
  static std::string TakeString(const Statement& st, const Export& e, int i, const std::vector<char>& buffer,
                                size_t capacity, size_t guard, char guardByte) {
    auto fault = [&](const std::string& what) {
      std::string text = "line ";
      text += std::to_string(st.line);
      return Stop{kExitCannotRun, text + ": " + e.name + " " + what + " argument " + std::to_string(i + 1)};
    };
    for (size_t k = capacity; k < capacity + guard; ++k)
      if (buffer[k] != guardByte) throw fault("wrote past the " + std::to_string(capacity) + "-byte buffer of");
    if (capacity == 0) return {};
    for (size_t k = 0; k < capacity; ++k)
      if (buffer[k] == '\0') return std::string(buffer.data(), k);
    throw fault("left no terminating NUL in");
  }

  HMODULE library_;
  std::map<std::string, Value> vars_;
};

// Through the kernel's file layer, which raises (and with -ERRORS logs)
// what goes wrong.
bool ReadWholeFile(const std::string& path, std::string& out) {
  TvFileHandle file;
  if (TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileShareRead | TvFileSequential, &file) != TvOk)
    return false;
  uint32_t size = 0;
  bool ok = TvFileGetSize(file, &size) == TvOk;
  if (ok) {
    out.resize(size);
    ok = TvFileRead(file, out.data(), size) == size;
  }
  TvFileClose(file);
  return ok;
}

std::string FullPath(const std::string& path) {
  DWORD n = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::string full(n, '\0');
  n = GetFullPathNameA(path.c_str(), n, full.data(), nullptr);
  full.resize(n < full.size() ? n : 0);
  return full.empty() ? path : full;
}

std::vector<Statement> ParseScript(std::string_view text, const Places& places) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<Statement> script;
  int number = 0;
  for (size_t start = 0; start <= text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    Statement st;
    if (Parser(text.substr(start, end - start), ++number, places).Parse(st)) script.push_back(std::move(st));
    start = end + 1;
  }
  return script;
}

int Fail(int code, const std::string& message) {
  fflush(stdout);
  fprintf(stderr, "%s\n", message.c_str());
  TvLogWriteFile((message + "\n").c_str());
  return code;
}

constexpr const char* kUsage =
    "usage: tvengine [kernel options] [<folder of TVISX.dll>] <script>\n"
    "       tvengine [arguments] p <source folder>   (as the launcher starts it: setup.inx, TVISX.dll beside it)\n"
    "       tvengine -uninstall -f<file> ...\n"
    "Without a folder, TVISX.dll is loaded from the engine's own folder.\n";

// The folder of the running program, with its trailing separator.
std::string OwnFolder() {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, length < sizeof self ? length : 0);
  return path.substr(0, path.find_last_of('\\') + 1);
}

// The calls of an engine's uninstaller: both hooks with three zeros. The
// library reads the "-f" value from this process's command line itself.
int RunUninstaller() {
  const std::string dll = OwnFolder() + "TVISX.dll";
  HMODULE library = LoadLibraryA(dll.c_str());
  if (!library) return Fail(kExitCannotRun, "cannot load " + dll + " (error " + std::to_string(GetLastError()) + ")");
  int32_t handOver = -1;
  for (const char* name : {"UninstInitialize", "UninstUnInitialize"}) {
    const Export* e = FindExport(name);
    FARPROC p = GetProcAddress(library, name);
    if (!e || !p) return Fail(kExitCannotRun, dll + " lacks the export " + name);
    const INT_PTR zeros[kMaxArgs] = {};
    g_export = name;
    const int32_t result = Invoke(p, e->sig.count, zeros);
    if (std::string_view(name) == "UninstInitialize") handOver = result;
    printf("%s(0, 0, 0) = %d\n", name, static_cast<int>(result));
  }
  fflush(stdout);
  FreeLibrary(library);
  return handOver == 0 ? 0 : kExitHandOverFailed;
}

// Runs a script against folder\TVISX.dll.
int RunScript(std::string folder, const std::string& scriptPath, const std::string& sourceDir) {
  // The engine's own failures are its output; an export's exception ends
  // the process through the engine's report, not the kernel's crash handler.
  SetUnhandledExceptionFilter(ReportException);
  Places places{scriptPath.substr(0, scriptPath.find_last_of("\\/")), sourceDir};
  std::string text;
  if (!ReadWholeFile(scriptPath, text)) return Fail(kExitCannotRun, "cannot read the script " + scriptPath);

  std::vector<Statement> script;
  try {
    script = ParseScript(text, places);
    Interpreter(nullptr).Run(script);
  } catch (const ScriptError& error) {
    return Fail(kExitScriptError, "line " + std::to_string(error.line) + ": script error: " + error.message);
  }

  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  std::string dll = folder + "TVISX.dll";
  HMODULE library = LoadLibraryA(dll.c_str());
  if (!library) {
    const DWORD error = GetLastError();
    TvErrorRaise(TvErrLibraryLoad, dll.c_str(), TvRaiseOrigin);
    return Fail(kExitCannotRun, "cannot load " + dll + " (error " + std::to_string(error) + ")");
  }
  int code = 0;
  std::string message;
  try {
    Interpreter(library).Run(script);
  } catch (const Stop& stop) {
    code = stop.code;
    message = stop.message;
  } catch (const ScriptError& error) {  // cannot happen after the check; kept as a guard
    code = kExitScriptError;
    message = "line " + std::to_string(error.line) + ": script error: " + error.message;
  }
  fflush(stdout);
  FreeLibrary(library);
  return code ? Fail(code, message) : 0;
}

int RunEngine(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "-uninstall") return RunUninstaller();
  // Started the way the launcher starts an engine: "setup.inx" of the
  // current folder, TVISX.dll of the engine's own folder.
  if (argc >= 3 && std::string_view(argv[argc - 2]) == "p") {
    char current[MAX_PATH] = "";
    const DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current) return Fail(kExitCannotRun, "cannot tell the current folder");
    // No one waits for an engine the launcher started and no console shows
    // its output: its transcript goes to tvengine.out in that folder and
    // ends with the exit code.
    if (!freopen("tvengine.out", "w", stdout)) return Fail(kExitCannotRun, "cannot write tvengine.out");
    _dup2(_fileno(stdout), _fileno(stderr));
    // The arguments are the installer's, passed on by the launcher: the
    // engine's kernel reads no options from them.
    const tvtool::CommandLine line = tvtool::Start("TVENGINE", "1.0", 1, argv);
    if (line.status < 0) return Fail(kExitCannotRun, "cannot start the kernel");
    const int code = RunScript(OwnFolder(), std::string(current) + "\\setup.inx", argv[argc - 1]);
    printf("tvengine: exit code %d\n", code);
    fflush(stdout);
    return code;
  }
  const tvtool::CommandLine line = tvtool::Start("TVENGINE", "1.0", argc, argv);
  if (line.status < 0) {
    tvtool::Report("tvengine", line.status);
    const bool wrongLine = line.status == TvErrCommandLine || line.status == TvErrTruncated;
    return wrongLine ? kExitScriptError : kExitCannotRun;
  }
  if (line.help) {
    printf("%s%s", kUsage, tvtool::kKernelOptionsUsage);
    return 0;
  }
  if (line.plain.empty() || line.plain.size() > 2) return Fail(kExitScriptError, std::string(kUsage));
  return RunScript(line.plain.size() == 2 ? line.plain[0] : OwnFolder(), FullPath(line.plain.back()), "");
}

}  // namespace

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(ReportException);
  int code;
  try {
    code = RunEngine(argc, argv);
  } catch (const std::exception& e) {
    code = Fail(kExitCannotRun, std::string("tvengine: ") + e.what());
  }
  tvtool::Finish();
  return code;
}
