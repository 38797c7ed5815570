// export_signatures.cpp: assigns every export to the function-pointer type
// that its entry in the export list stands for: its calling convention,
// result and one parameter type per kind. Each parameter is one 32-bit stack
// word in the deliverable, which is what the argument bytes of the stdcall
// decoration in TVISX.def count on.
#include <type_traits>

#include "export_table.h"
#include "exports.h"

namespace {

using tvexport::Convention;
using tvexport::Kind;
using tvexport::Result;

template <Kind kind>
struct ParameterType;
// clang-format off
template <> struct ParameterType<Kind::StringIn> { using type = const char*; };
template <> struct ParameterType<Kind::NumberIn> { using type = int32_t; };
template <> struct ParameterType<Kind::HandleIn> { using type = INT_PTR; };
template <> struct ParameterType<Kind::StringOut> { using type = char*; };
template <> struct ParameterType<Kind::NumberOut> { using type = int32_t*; };
template <> struct ParameterType<Kind::HandleOut> { using type = INT_PTR*; };
// clang-format on

template <Convention convention, typename R, typename... P>
struct Pointer {
  using type = R (*)(P...);
};
template <typename R, typename... P>
struct Pointer<Convention::Stdcall, R, P...> {
  using type = R(TV_STDCALL*)(P...);
};

template <size_t index, size_t... k>
constexpr auto PointerOf(std::index_sequence<k...>) {
  constexpr const tvexport::Export& e = tvexport::kExports[index];
  using R = std::conditional_t<e.result == Result::Nothing, void, int32_t>;
  static_assert(((sizeof(typename ParameterType<e.parameters[k].kind>::type) == sizeof(int32_t) ||
                  sizeof(void*) != sizeof(int32_t)) &&
                 ...),
                "a parameter that is not one 32-bit stack word");
  return typename Pointer<e.convention, R, typename ParameterType<e.parameters[k].kind>::type...>::type{};
}

template <size_t index>
using PointerType = decltype(PointerOf<index>(std::make_index_sequence<tvexport::kExports[index].count>{}));

#define TV_PIN(name, convention, result, frame, parameters)                             \
  static_assert(std::is_same_v<decltype(&name), PointerType<tvexport::IndexOf(#name)>>, \
                #name " is declared otherwise than its entry in the export list");
TV_EXPORT_LIST(TV_PIN)
#undef TV_PIN

}  // namespace
