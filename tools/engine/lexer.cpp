// lexer.cpp: the tokens of a script line, and the quoting of texts in
// tvengine's output.
#include <cstdio>

#include "engine.h"

namespace tvengine {
namespace {

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

std::string CharName(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  char text[16];
  if (u > 0x20 && u < 0x7f) snprintf(text, sizeof text, "'%c'", c);
  else snprintf(text, sizeof text, "byte 0x%02x", u);
  return text;
}

}  // namespace

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

Token Lexer::Next() {
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

// Numbers are 32-bit words: -2147483648 to 4294967295, or 0x0 to
// 0xFFFFFFFF; 0xFFFFFFFF and -1 are the same number.
Token Lexer::Number() {
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

Token Lexer::String() {
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

}  // namespace tvengine
