// report.cpp: the report as text for people, grouped by severity, and as
// JSON for other tools (one finding a line).
#include <windows.h>

#include <algorithm>

#include "doctor.h"

namespace doctor {

namespace {

constexpr const char* kSeverityNames[kSeverities] = {"error", "warning", "note"};
constexpr const char* kHeadings[kSeverities] = {"Errors", "Warnings", "Notes"};

std::string Plural(uint32_t n, const char* word) {
  return Format("%lu %s%s", static_cast<unsigned long>(n), word, n == 1 ? "" : "s");
}

std::string Summary(const Report& report) {
  uint32_t files = 0, failed = 0;
  for (const Target& target : report.targets) {
    files += static_cast<uint32_t>(target.files.size());
    failed += !target.failure.empty();
  }
  std::string line = report.counts[0] || report.counts[1]
                         ? Plural(report.counts[0], "error") + ", " + Plural(report.counts[1], "warning")
                         : std::string("clean");
  line += ", " + Plural(report.counts[2], "note") + " in " + Plural(files, "file") + " checked";
  if (failed) line += "; " + Plural(failed, "path") + " could not be checked";
  return "tvdoctor: " + line + " (exit code " + std::to_string(report.ExitCode()) + ")\n";
}

// Texts of the system are code page 1252; JSON is UTF-8, control
// characters and everything beyond ASCII written as escapes.
std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      wchar_t wide = byte;
      MultiByteToWideChar(1252, 0, &c, 1, &wide, 1);
      out += Format("\\u%04x", static_cast<unsigned>(wide));
    }
  }
  return out + "\"";
}

// The findings by severity, then file by file (in the order they were
// checked) and line by line.
std::vector<const Finding*> Ordered(const Report& report) {
  std::vector<std::string> files;
  for (const Target& target : report.targets) files.insert(files.end(), target.files.begin(), target.files.end());
  const auto fileIndex = [&](const Finding* f) {
    return std::find(files.begin(), files.end(), f->file) - files.begin();
  };
  std::vector<const Finding*> ordered;
  for (const Finding& f : report.findings) ordered.push_back(&f);
  std::stable_sort(ordered.begin(), ordered.end(), [&](const Finding* a, const Finding* b) {
    if (a->severity != b->severity) return a->severity < b->severity;
    if (a->file != b->file) return fileIndex(a) < fileIndex(b);
    return a->line < b->line;
  });
  return ordered;
}

}  // namespace

std::string TextReport(const Report& report) {
  std::string out;
  for (const Target& target : report.targets)
    if (!target.failure.empty()) out += "Could not check " + target.argument + ": " + target.failure + "\n";
  int heading = -1;
  for (const Finding* f : Ordered(report)) {
    const int s = static_cast<int>(f->severity);
    if (s != heading) out += std::string(out.empty() ? "" : "\n") + kHeadings[s] + "\n";
    heading = s;
    out += "  " + f->file + (f->line ? ":" + std::to_string(f->line) : std::string()) + " [" + f->group + ", " +
           f->check + "]\n";
    if (f->line) out += "    | " + f->text + "\n";
    out += "    " + f->message + "\n";
  }
  return out + (out.empty() ? "" : "\n") + Summary(report);
}

std::string JsonReport(const Report& report) {
  std::string out = "{\"targets\": [";
  for (size_t i = 0; i < report.targets.size(); ++i) {
    const Target& t = report.targets[i];
    out += std::string(i ? "," : "") + "\n  {\"path\": " + Json(t.argument) + ", \"files\": [";
    for (size_t k = 0; k < t.files.size(); ++k) out += (k ? ", " : "") + Json(t.files[k]);
    out += "], \"failure\": " + (t.failure.empty() ? std::string("null") : Json(t.failure)) + "}";
  }
  out += "],\n\"findings\": [";
  const std::vector<const Finding*> ordered = Ordered(report);
  for (size_t i = 0; i < ordered.size(); ++i) {
    const Finding& f = *ordered[i];
    out += std::string(i ? "," : "") + "\n  {\"severity\": \"" + kSeverityNames[static_cast<int>(f.severity)] +
           "\", \"group\": \"" + f.group + "\", \"check\": \"" + f.check + "\", \"file\": " + Json(f.file) +
           ", \"line\": " + std::to_string(f.line) + ", \"text\": " + Json(f.text) +
           ", \"message\": " + Json(f.message) + "}";
  }
  out += "],\n\"summary\": {\"errors\": " + std::to_string(report.counts[0]) +
         ", \"warnings\": " + std::to_string(report.counts[1]) + ", \"notes\": " + std::to_string(report.counts[2]) +
         ", \"exitCode\": " + std::to_string(report.ExitCode()) + "}}\n";
  return out;
}

}  // namespace doctor
