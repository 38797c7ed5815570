// exports.h: every export of TVISX declared from the export list. Arguments
// are 32-bit stack words in the deliverable; handles the script keeps are
// pointer-sized integers. A definition that differs from its declaration
// here does not compile.
#pragma once
#include <windows.h>

#include <cstdint>

#include "export_list.h"

#define TV_EXPORT extern "C"
#define TV_STDCALL __stdcall

#define TV_CONVENTION_Cdecl
#define TV_CONVENTION_Stdcall TV_STDCALL
#define TV_RESULT_Long int32_t
#define TV_RESULT_Int int32_t
#define TV_RESULT_Nothing void
#define VS(name) const char* name
#define VI(name) int32_t name
#define VH(name) INT_PTR name
#define RS(name, capacity) char* name
#define RI(name) int32_t* name
#define RH(name) INT_PTR* name
#define TV_DECLARE(name, convention, result, frame, parameters) \
  TV_EXPORT TV_RESULT_##result TV_CONVENTION_##convention name parameters;
TV_EXPORT_LIST(TV_DECLARE)
#undef TV_DECLARE
#undef RH
#undef RI
#undef RS
#undef VH
#undef VI
#undef VS
#undef TV_RESULT_Nothing
#undef TV_RESULT_Int
#undef TV_RESULT_Long
#undef TV_CONVENTION_Stdcall
#undef TV_CONVENTION_Cdecl
