// doctor.cpp: what tvdoctor checks for a path, loading a configuration file
// without disturbing a running installation, and the findings of a file.
#include "doctor.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "installed_lists.h"
#include "tv_charset.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_string.h"

namespace doctor {

namespace {

// A configuration of 5,000 countries is 1.5 MB; a file many times larger
// is no configuration, and reading it whole would only take the memory.
constexpr uint32_t kMostBytes = 16u << 20;
// Findings of one kind beyond these in one file are counted, not listed.
constexpr uint32_t kMostOfAKind = 50;
// Shared reading: a running product or installer may hold the file open
// for writing, and is not disturbed by this reader.
constexpr uint32_t kReadShared = TvFileShareAll | TvFileSequential | TvFileSilent | TvFileNoMedia;

std::string Reason(TvStatus status) {
  const char* why = status == TvErrFileNotFound       ? "it does not exist"
                    : status == TvErrFileAccess       ? "another program holds it without sharing, or access is denied"
                    : status == TvErrInvalidDirectory ? "its folder does not exist"
                                                      : TvErrorText(status);
  return Format("cannot read it: %s (%ld)", why, static_cast<long>(status));
}

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CheckFile(Report& report, Target& target, const std::string& path) {
  ConfigFile file(report, path);
  std::string failure;
  if (!file.Load(&failure)) {
    target.failure += (target.failure.empty() ? "" : "; ") + path + ": " + failure;
    return;
  }
  target.files.push_back(path);
  if (CheckText(file)) {
    CheckLists(file);
    CheckMappings(file);
    CheckProducts(file);
  }
  file.Finish();
}

}  // namespace

std::string Format(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) return "";
  if (static_cast<size_t>(n) < sizeof small) return small;
  std::string text(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  text.resize(static_cast<size_t>(n));
  return text;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = TvToUpper(c);
  return upper;
}

int Report::ExitCode() const {
  for (const Target& target : targets)
    if (!target.failure.empty()) return 3;
  return counts[static_cast<int>(Severity::Error)] ? 2 : counts[static_cast<int>(Severity::Warning)] ? 1 : 0;
}

ConfigFile::ConfigFile(Report& report_, std::string path_) : report(report_), path(std::move(path_)) {
  const size_t slash = path.find_last_of('\\');
  folder = slash == std::string::npos ? "." : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  discovered = TvStrEqualNoCase(name.c_str(), "tvwserve.ini");
}

ConfigFile::~ConfigFile() { TvIniFree(&ini); }

bool ConfigFile::Load(std::string* failure) {
  TvFileHandle handle = kTvNoFile;
  TvStatus status = TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, kReadShared, &handle);
  if (status != TvOk) {
    *failure = Reason(status);
    return false;
  }
  uint32_t size = 0;
  status = TvFileGetSize(handle, &size);
  if (status == TvOk && size > kMostBytes) {
    TvFileClose(handle);
    *failure = Format("%lu bytes, more than the %lu MB this tool reads: no configuration file is this large",
                      static_cast<unsigned long>(size), static_cast<unsigned long>(kMostBytes >> 20));
    return false;
  }
  if (status == TvOk) {
    raw.resize(size);
    if (size && TvFileRead(handle, raw.data(), size) != size) status = TvErrFileRead;
  }
  TvFileClose(handle);
  if (status == TvOk) status = TvIniLoadText(&ini, raw.data(), size);
  if (status != TvOk) {
    *failure = Reason(status);
    return false;
  }
  lineStarts.push_back(0);
  for (uint32_t i = 0; i < ini.length; ++i)
    if (ini.text[i] == '\n' && i + 1 < ini.length) lineStarts.push_back(i + 1);
  return true;
}

uint32_t ConfigFile::LineOf(uint32_t offset) const {
  return static_cast<uint32_t>(std::upper_bound(lineStarts.begin(), lineStarts.end(), offset) - lineStarts.begin());
}

std::string_view ConfigFile::Line(uint32_t line) const {
  if (line == 0 || line > lineStarts.size()) return {};
  const uint32_t start = lineStarts[line - 1];
  uint32_t end = line < lineStarts.size() ? lineStarts[line] - 1 : ini.length;
  if (end > start && ini.text[end - 1] == '\n') --end;  // the last line's own end
  return {ini.text + start, end - start};
}

void ConfigFile::Add(Severity severity, const char* group, const char* check, uint32_t line, std::string message) {
  ++report.counts[static_cast<int>(severity)];
  Kind& kind = kinds_[check];
  kind.severity = severity;
  kind.group = group;
  if (++kind.count > kMostOfAKind) return;
  std::string text;
  const std::string_view whole = Line(line);
  for (const char c : whole.substr(0, 72)) text += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  if (whole.size() > 72) text += "...";
  report.findings.push_back({severity, group, check, path, line, std::move(text), std::move(message)});
}

void ConfigFile::Finish() {
  for (const auto& [check, kind] : kinds_)
    if (kind.count > kMostOfAKind)
      report.findings.push_back({kind.severity, kind.group, "more", path, 0, check,
                                 Format("%lu more findings of the check %s in this file are counted but not listed.",
                                        static_cast<unsigned long>(kind.count - kMostOfAKind), check.c_str())});
}

void CheckPath(const std::string& argument, Report& report) {
  Target& target = report.targets.emplace_back();
  target.argument = argument;
  char full[kTvPathSize];
  const DWORD n = argument.empty() ? 0 : GetFullPathNameA(argument.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) {
    target.failure =
        argument.empty() ? "an empty path" : "the path has more than 255 characters, more than a path holds";
    return;
  }
  const DWORD attributes = GetFileAttributesA(full);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    target.failure = Format("%s: it does not exist", full);
    return;
  }
  if (!IsFolder(attributes)) return CheckFile(report, target, full);
  // A folder: its server and its client configuration.
  for (const char* name : {"tvwserve.ini", "tvworld.ini"}) {
    const std::string path = std::string(full) + (full[n - 1] == '\\' ? "" : "\\") + name;
    const DWORD kind = GetFileAttributesA(path.c_str());
    if (path.size() >= kTvPathSize)
      target.failure = path + ": the path has more than 255 characters, more than a path holds";
    else if (IsFolder(kind))
      target.failure += (target.failure.empty() ? "" : "; ") + path + ": a folder, not a configuration file";
    else if (kind != INVALID_FILE_ATTRIBUTES) CheckFile(report, target, path);
  }
  if (target.files.empty() && target.failure.empty())
    target.failure = Format("%s: the folder holds neither tvwserve.ini nor tvworld.ini", full);
}

}  // namespace doctor
