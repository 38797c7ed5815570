// lists.h: the model of the exports that record and read installed
// countries and data sets in a configuration file: what each must leave in
// the file, and what it must answer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "reference.h"

namespace campaign {

// The text before the first comma; with cutToThree only its first three
// characters (the older reading of a code).
std::string CodeOf(const std::string& entry, bool cutToThree);

Doc ExpectUpdateTvwserveV5(const Doc& before, const std::string& data, bool installed, bool cutCodes);
Doc ExpectUpdateDataKeys(const Doc& before, const std::string& data, bool dataFormat);
Doc ExpectCountriesToData(const Doc& before);
// 0 when the code is recorded; otherwise 1 (or -1, the sign of the last comparison).
bool IsoRecorded(const Doc& doc, const std::string& code);
int32_t ExpectProducts(const Doc& doc, const std::vector<std::string>& productFilesPresent);
extern const std::vector<std::string> kProductFiles;

// Every code a discovery may report: the first fields of the list lines,
// cut to three characters, each list up to its first empty line.
std::vector<std::string> ListedCodes(const Doc& doc);

// The first entry of a list of TvDefault that expected keeps and actual
// lost or cut, described; empty when every entry survived.
std::string ListLoss(const Doc& expected, const Doc& actual);

}  // namespace campaign
