// export_list.h: the one list of the exports of TVISX. Everything else that
// names them is made from it or checked against it: exports.h declares
// them, export_table.h reads the list into a table for the call frames
// (frame.h), the signature checks, the engine stand-in and the stack-cleanup
// test, and the build writes TVISX.def from it and checks the export tables
// of docs/exports.md and docs/engine.md against it
// (scripts/export_list.py).
//
//   X(name, convention, result, frame, (parameters))
//
// convention  Cdecl for an export without arguments, Stdcall for one with.
// result      Long or Int: a 32-bit integer, which the frame passes to
//             TvTraceReturnLong or TvTraceReturnInt; Nothing: no result,
//             the frame closes with TvTraceReturn.
// frame       what a call writes to the log (frame.h):
//   Logged            "> name (argument)\n", then "< name = result\n"
//                     ("< name\n" for an export without result)
//   LoggedPlain       "> name\n", then the exit line of Logged
//   LoggedText        as Logged, with a text of the call written as given
//                     right after the entry line
//   LoggedFound       as Logged, but the exit line is "< name\n" and only
//                     for the result 0
//   LoggedAfterTrace  the body traces its parameters, then writes
//                     "> name (first, second)\n"; the exit line of Logged
//                     on its main way out, none where it gives up early
//   LoggedAtEnd       "> name" without a line end, written on the way out
//                     right before the exit line of Logged
//   LoggedUnclosed    as LoggedPlain, without the closing trace call (the
//                     body may have stopped the kernel before its exit line)
//   LoggedAtOnce      "> name\n< name\n" in one write when the frame is
//                     made; no closing trace call
//   LoggedUntraced    as Logged, but the name is not registered with the
//                     API trace (the closing trace call stays)
//   LoggedBareClose   as Logged, but closed by TvTraceReturn without the
//                     result, which is still returned
//   Traced            no log lines: the body traces its parameters
//   TracedAs          no log lines and no closing trace call: the body
//                     registers a name of its own with the API trace
//   Kernel            a kernel routine exported as it is, with no frame
// parameters  in order, by the kinds of the parameter trace:
//   VS(name)  string in                    VI(name)  32-bit number in
//   VH(name)  handle in (pointer-sized)    RI(name)  32-bit number out
//   RH(name)  handle out (pointer-sized)
//   RS(name, bytes)   string out into a buffer of that many bytes;
//   RS(name, ARG(n))  of as many bytes as argument n says (its low 16 bits)
#pragma once

// clang-format off
#define TV_EXPORT_LIST(X)                                                                                        \
  /* Kernel instance, start and end of use */                                                                    \
  X(TvBeginInstance, Cdecl, Long, Kernel, ())                                                                    \
  X(TvEndInstance, Cdecl, Nothing, Kernel, ())                                                                   \
  X(TvIsi_Startup, Cdecl, Long, LoggedAtEnd, ())                                                                 \
  X(TvIsi_Shutdown, Cdecl, Nothing, Traced, ())                                                                  \
  /* The uninstaller's hooks */                                                                                  \
  X(UninstInitialize, Stdcall, Long, LoggedUnclosed, (VH(window), VH(instance), VI(reserved)))                  \
  X(UninstUnInitialize, Stdcall, Long, LoggedAtOnce, (VH(window), VH(instance), VI(reserved)))                  \
  /* Holding back the installer window's Cancel */                                                              \
  X(TvIsi_StartWindowIntercept, Stdcall, Int, Logged, (VH(window)))                                              \
  X(TvIsi_StopWindowIntercept, Cdecl, Int, LoggedPlain, ())                                                      \
  X(TvIsi_GetCancelState, Cdecl, Int, Traced, ())                                                                \
  /* Ini handle family */                                                                                        \
  X(TvIsi_IniOpen, Stdcall, Long, Logged, (RH(fileOut), RH(bufferOut), VS(path)))                                \
  X(TvIsi_IniSave, Stdcall, Long, LoggedPlain, (VH(file), VH(buffer)))                                           \
  X(TvIsi_IniClose, Stdcall, Nothing, LoggedPlain, (VH(file), VH(buffer)))                                       \
  X(TvIsi_IniGetString, Stdcall, Long, LoggedFound,                                                              \
    (VH(buffer), VS(section), VS(key), RS(value, ARG(5)), VI(capacity)))                                         \
  X(TvIsi_IniSetString, Stdcall, Long, LoggedText, (VH(buffer), VS(section), VS(key), VS(value)))               \
  X(TvIsi_IniDeleteString, Stdcall, Long, Logged, (VH(buffer), VS(section), VS(key)))                            \
  X(TvIsi_IniCopySetting, Stdcall, Long, Logged, (VH(source), VH(destination), VS(section), VS(key)))            \
  X(TvIsi_IniAddString, Stdcall, Long, LoggedText, (VH(buffer), VS(section), VS(key), VS(entries)))              \
  X(TvIsi_IniRemoveStrings, Stdcall, Long, LoggedText, (VH(buffer), VS(section), VS(key), VS(entries)))          \
  /* Installed countries and data sets */                                                                        \
  X(TvIsi_CheckIniForData, Stdcall, Long, Traced,                                                                \
    (VS(_vsIniPath), VS(_vsISO), VI(_viSrchADS), RS(_rsFoundISO, 4), RS(_rsDataDir, 256), RS(_rsBaseDir, 256),   \
     RI(_riFlags)))                                                                                              \
  X(TvIsi_ProdFromIni, Stdcall, Long, Traced, (VS(_vsIni), RI(_rlProd)))                                         \
  X(TvIsi_UpdateTvwserveV5, Stdcall, Long, Traced, (VS(_vsPath), VS(_vsData), VI(_iID), VI(_iAID), VI(_iNID)))   \
  X(TvIsi_UpdateDataKeys, Stdcall, Long, Traced, (VS(_vsIni), VS(_vsData), VI(_viFormat)))                       \
  X(TvIsi_IsISOPresent, Stdcall, Long, LoggedAfterTrace, (VS(_vsISO), VS(_vsIniPath)))                           \
  X(TvIsi_InstalledCountriesToData, Stdcall, Long, Traced, (VS(_vsIni)))                                         \
  /* Data mappings */                                                                                            \
  X(TvIsi_UpdateDataMappings, Stdcall, Long, Traced, (VS(_vsIni), VS(_vsISO), VS(_vsDir), VS(_vsID), VS(_vsName))) \
  X(TvIsi_InstCtryToDataMap, Stdcall, Long, Traced, (VS(_vsIni)))                                                \
  X(TvIsi_CountryBaseToDataMap, Stdcall, Long, Traced, (VS(_vsIni)))                                             \
  X(TvIsi_DataMapToCountryBase, Stdcall, Long, Traced, (VS(_vsIni)))                                             \
  /* File, size and date queries */                                                                             \
  X(TvIsi_FileWriteable, Stdcall, Long, LoggedBareClose, (VS(path)))                                             \
  X(TvIsi_GetTotalFileSize, Stdcall, Long, LoggedUntraced, (VS(iniPath), VS(key), VS(names), RI(totalKb)))       \
  X(TvIsi_DataVintage, Stdcall, Long, Logged, (RS(date, 64), VS(path), VS(unused)))                              \
  X(TvIsi_FileLoadIni, Stdcall, Long, Logged,                                                                    \
    (RS(code, 4), RS(countryName, 64), RS(dataInfo, 64), VS(path), VS(language)))                                \
  X(TvIsi_GetIniString, Stdcall, Long, Logged, (VS(path), VS(section), VS(key), VS(language), RS(value, 128)))   \
  X(TvIsi_FormatDateShortToLong, Stdcall, Long, TracedAs, (RS(longDate, 60), VS(shortDate), VS(language)))       \
  /* The kernel's exports */                                                                                     \
  X(TvInitialise, Stdcall, Nothing, Traced, (VI(keepOpen)))                                                      \
  X(TvErrorMessage, Stdcall, Nothing, Traced, (VI(status), RS(buffer, ARG(3)), VI(lenBuff)))                     \
  X(TvErrorLevel, Stdcall, Int, Traced, (VI(status)))                                                            \
  X(TvErrorHistory, Stdcall, Int, Traced, (VI(all), VI(lineNo), RS(buffer, ARG(4)), VI(lenBuff)))                \
  X(TvVersionInfo, Stdcall, Nothing, Traced, (RS(buffer, ARG(2)), VI(lenBuff)))                                  \
  X(TvDataInfo, Stdcall, Int, Traced, (RS(buffer, ARG(2)), VI(lenBuff), RI(days)))                               \
  X(TvSystemInfo, Stdcall, Int, Traced, (VI(lineNo), RS(buffer, ARG(3)), VI(lenBuff)))                           \
  X(TvSetStrMode, Stdcall, Int, Traced, (VI(newMode)))
// clang-format on
