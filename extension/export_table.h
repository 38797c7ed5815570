// export_table.h: the export list read into a table that code can walk at
// compile time: each export's name, convention, result, frame and
// parameter kinds. Needs nothing but the standard library, so that the
// engine stand-in and the tests can take their tables from it too.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "export_list.h"

namespace tvexport {

enum class Convention { Cdecl, Stdcall };
enum class Result { Long, Int, Nothing };
enum class Frame {
  Logged,
  LoggedPlain,
  LoggedText,
  LoggedFound,
  LoggedAfterTrace,
  LoggedAtEnd,
  LoggedUnclosed,
  LoggedAtOnce,
  LoggedUntraced,
  LoggedBareClose,
  Traced,
  TracedAs,
  Kernel
};
enum class Kind { StringIn, NumberIn, HandleIn, StringOut, NumberOut, HandleOut };

constexpr int kMaxParameters = 8;

struct Parameter {
  Kind kind = Kind::NumberIn;
  int capacity = 0;          // string out: bytes of its buffer, or
  int capacityArgument = 0;  // the argument (from 1) that gives them
};

struct Export {
  const char* name;
  Convention convention;
  Result result;
  Frame frame;
  int count = 0;
  Parameter parameters[kMaxParameters] = {};
};

constexpr Export MakeExport(const char* name, Convention convention, Result result, Frame frame,
                            std::initializer_list<Parameter> parameters) {
  Export e{name, convention, result, frame};
  for (const Parameter& p : parameters) e.parameters[e.count++] = p;
  return e;
}

#define VS(name) \
  Parameter { Kind::StringIn }
#define VI(name) \
  Parameter { Kind::NumberIn }
#define VH(name) \
  Parameter { Kind::HandleIn }
#define RS(name, capacity) \
  Parameter { Kind::StringOut, capacity }
#define ARG(n) 0, n
#define RI(name) \
  Parameter { Kind::NumberOut }
#define RH(name) \
  Parameter { Kind::HandleOut }
#define TV_UNPAREN(...) __VA_ARGS__
#define TV_TABLE_ENTRY(name, convention, result, frame, parameters) \
  MakeExport(#name, Convention::convention, Result::result, Frame::frame, {TV_UNPAREN parameters}),
inline constexpr Export kExports[] = {TV_EXPORT_LIST(TV_TABLE_ENTRY)};
#undef TV_TABLE_ENTRY
#undef TV_UNPAREN
#undef RH
#undef RI
#undef ARG
#undef RS
#undef VH
#undef VI
#undef VS

constexpr size_t kExportCount = sizeof kExports / sizeof kExports[0];

// The position of an export in the table; naming anything else does not
// compile.
consteval size_t IndexOf(std::string_view name) {
  for (size_t i = 0; i < kExportCount; ++i)
    if (name == kExports[i].name) return i;
  throw "not in the export list (extension/export_list.h)";
}

// The fixed capacity the list gives the string out in argument n (from 1) of
// an export, so that a body can be held to it.
consteval int CapacityOf(std::string_view name, int n) { return kExports[IndexOf(name)].parameters[n - 1].capacity; }

// The house rules every entry keeps: stdcall exactly for the exports with
// arguments, no name twice, and a string out whose capacity another
// argument gives names a number in.
constexpr bool ListIsSound() {
  for (size_t i = 0; i < kExportCount; ++i) {
    const Export& e = kExports[i];
    if ((e.count > 0) != (e.convention == Convention::Stdcall)) return false;
    for (size_t j = 0; j < i; ++j)
      if (std::string_view(e.name) == kExports[j].name) return false;
    for (int k = 0; k < e.count; ++k) {
      const int n = e.parameters[k].capacityArgument;
      if (n != 0 && (n > e.count || e.parameters[n - 1].kind != Kind::NumberIn)) return false;
      if (e.parameters[k].kind == Kind::StringOut && n == 0 && e.parameters[k].capacity <= 0) return false;
    }
  }
  return true;
}
static_assert(ListIsSound(), "an entry of extension/export_list.h breaks a rule of the list");

}  // namespace tvexport
