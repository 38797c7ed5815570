// parser.cpp: the statements of a script, each checked against the export
// table as it is read.
#include <algorithm>
#include <utility>

#include "engine.h"

namespace tvengine {
namespace {

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

}  // namespace

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

}  // namespace tvengine
