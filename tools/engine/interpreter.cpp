// interpreter.cpp: runs a script's statements against the library, the
// arguments of each call marshalled into words and buffers and the values
// it gives back read out of them.
#include <algorithm>
#include <cstdio>
#include <map>

#include "engine.h"
#include "tv_log.h"

namespace tvengine {

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

namespace {

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

  // The words and buffers of one call: strings in are kept alive over it,
  // a string out has its capacity and a guard after it, a number out a
  // pointer-sized slot.
  struct Arguments {
    INT_PTR words[kMaxArgs] = {};
    std::string strings[kMaxArgs];
    std::vector<char> buffers[kMaxArgs];
    INT_PTR numbers[kMaxArgs] = {};
    size_t capacities[kMaxArgs] = {};
    bool isNull[kMaxArgs] = {};
  };
  static constexpr size_t kGuard = 16;
  static constexpr char kGuardByte = static_cast<char>(0xFD);

  void Call(const Statement& st) {
    Arguments args;
    TakeArgumentsIn(st, args);
    if (!st.target.empty() && st.callee->returns == Returns::Nothing)
      throw ScriptError{st.line, std::string(st.callee->name) + " returns nothing to store in " + st.target};
    if (checking()) return NoteKinds(st, args);
    PrepareOut(st, args);
    const int32_t result = CallExport(st, args);
    Report(st, args, result);
  }

  // Arguments going in first: a string out may take its capacity from one.
  void TakeArgumentsIn(const Statement& st, Arguments& args) {
    for (int i = 0; i < st.sig.count; ++i) {
      const Param& p = st.sig.params[i];
      const Operand& op = st.operands[i];
      args.isNull[i] = op.type == Operand::Type::Null;
      auto where = [&] {
        std::string text = "argument ";
        text += std::to_string(i + 1);
        return text + " of " + st.callee->name;
      };
      if (p.kind == Kind::StringOut || p.kind == Kind::NumberOut) {
        if (op.type != Operand::Type::Variable && !args.isNull[i])
          throw ScriptError{st.line, where() + " is a " + KindName(p.kind) + ": give a variable to receive it"};
        continue;
      }
      if (args.isNull[i]) {
        if (p.kind != Kind::StringIn)
          throw ScriptError{st.line, where() + " is a number: null stands only for a string or an out parameter"};
        continue;
      }
      Value v = Evaluate(st, op);
      if (v.isString != (p.kind == Kind::StringIn))
        throw ScriptError{st.line,
                          where() + " is a " + KindName(p.kind) + ", not a " + (v.isString ? "string" : "number")};
      if (v.isString) {
        args.strings[i] = v.text;
        args.words[i] = reinterpret_cast<INT_PTR>(args.strings[i].c_str());
      } else {
        args.words[i] = static_cast<INT_PTR>(v.number);
      }
    }
  }

  // The check's run: the kinds the call gives its variables.
  void NoteKinds(const Statement& st, const Arguments& args) {
    for (int i = 0; i < st.sig.count; ++i) {
      Kind kind = st.sig.params[i].kind;
      if (!args.isNull[i] && (kind == Kind::StringOut || kind == Kind::NumberOut))
        vars_[st.operands[i].text].isString = kind == Kind::StringOut;
    }
    if (st.callee->returns == Returns::Int32) vars_["result"] = Value{};
    if (!st.target.empty()) vars_[st.target] = Value{};
  }

  void PrepareOut(const Statement& st, Arguments& args) {
    for (int i = 0; i < st.sig.count; ++i) {
      const Param& p = st.sig.params[i];
      if (args.isNull[i]) continue;
      if (p.kind == Kind::StringOut) {
        const size_t capacity =
            p.capacityArg ? static_cast<size_t>(args.words[p.capacityArg - 1] & 0xFFFF) : p.capacity;
        args.capacities[i] = capacity;
        args.buffers[i].assign(capacity + kGuard, kGuardByte);
        std::fill_n(args.buffers[i].begin(), capacity, '\0');
        args.words[i] = reinterpret_cast<INT_PTR>(args.buffers[i].data());
      } else if (p.kind == Kind::NumberOut) {
        args.words[i] = reinterpret_cast<INT_PTR>(&args.numbers[i]);
      }
    }
  }

  int32_t CallExport(const Statement& st, const Arguments& args) {
    const char* name = st.callee->name;
    FARPROC proc = GetProcAddress(library_, name);
    if (!proc) throw Stop{kExitCannotRun, "line " + std::to_string(st.line) + ": TVISX.dll has no export " + name};
    g_line = st.line;
    g_export = name;
    const int32_t result = Invoke(proc, st.sig.count, args.words);
    g_export = "";
    return result;
  }

  // The trace line shows the values passed and, for out parameters, the
  // name that receives them; the variables take what the call gave back.
  void Report(const Statement& st, const Arguments& args, int32_t result) {
    std::string trace = "[";
    trace += std::to_string(st.line) + "] " + st.callee->name + "(";
    std::string received;
    for (int i = 0; i < st.sig.count; ++i) {
      if (i) trace += ", ";
      trace += Passed(st, args, i, received);
    }
    trace += ")";
    if (st.callee->returns == Returns::Int32) {
      trace += " = " + std::to_string(result);
      vars_["result"] = Value{false, result, {}};
      if (!st.target.empty()) vars_[st.target] = Value{false, result, {}};
    }
    Say(trace + received);
  }

  // Argument i as the trace line shows it; an out parameter's value goes
  // to its variable and to received.
  std::string Passed(const Statement& st, const Arguments& args, int i, std::string& received) {
    const Param& p = st.sig.params[i];
    const Operand& op = st.operands[i];
    if (args.isNull[i]) return "null";
    if (p.kind == Kind::StringIn) return Quote(args.strings[i]);
    if (p.kind == Kind::NumberIn) return std::to_string(args.words[i]);
    Value v;
    if (p.kind == Kind::NumberOut) {
      v.number = args.numbers[i];
    } else {
      v.isString = true;
      v.text = TakeString(st, *st.callee, i, args.buffers[i], args.capacities[i], kGuard, kGuardByte);
    }
    received += (received.empty() ? "; " : ", ") + op.text + " = " + Show(v);
    vars_[op.text] = v;
    std::string shown = "&";
    shown += op.text;
    return shown;
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

}  // namespace

void Interpret(const std::vector<Statement>& script, HMODULE library) { Interpreter(library).Run(script); }

}  // namespace tvengine
