// The command-line parser and the start of a command-line program: value
// forms and abbreviations, option files, hostile arguments, and options
// that the configuration must not override.
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "tv_options.h"

namespace {

class Options : public tvtest::KernelTest {
 protected:
  // argv with the program name first, as a program receives it.
  char** Argv(std::vector<std::string> args) {
    storage = std::move(args);
    storage.insert(storage.begin(), "tvprog.exe");
    pointers.clear();
    for (std::string& a : storage) pointers.push_back(a.data());
    return pointers.data();
  }
  int Argc() const { return static_cast<int>(pointers.size()); }
  TvStatus Start(std::vector<std::string> args) {
    char** argv = Argv(std::move(args));
    return TvKernelStartupFromArgs("TVPROG", "1.0", ":7", TvFlagConfigOptional, Argc(), argv, "-SCRIPT:-QUIET");
  }
  static std::string Detail(int index) {
    const TvErrorEntry* e = TvErrorHistoryEntry(true, index);
    return e ? std::to_string(e->code) + " " + e->detail : "<none>";
  }
  std::vector<std::string> storage;
  std::vector<char*> pointers;
};

TEST_F(Options, CommandLineOptionsSetTheKernelAndWinOverTheConfiguration) {
  const std::string data = dir / "data", other = dir / "other", ini = dir / "x.ini";
  CreateDirectoryA(data.c_str(), nullptr);
  CreateDirectoryA(other.c_str(), nullptr);
  tvtest::WriteFile(ini, "[TVPROG]\nLanguage=49\nLogErrors=N\nLogFile=" + (dir / "other.log") + "\nDataDir=" + other +
                             "\n+" + other + "\n");
  for (const auto& form : std::vector<std::vector<std::string>>{{"-ini", ini}, {"-INI:" + ini}, {"/ini:" + ini}}) {
    ASSERT_EQ(Start(form), TvOk) << form[0];
    EXPECT_EQ(Reported("Config"), ini) << form[0];
    EXPECT_EQ(tvContext.language, 49) << form[0];
    TvKernelShutdown(0);
  }
  EXPECT_TRUE(tvtest::FileExists(dir / "other.log"));
  DeleteFileA((dir / "other.log").c_str());
  // -ERR is -ERRORS, -L is -LOG:, -LA is -LANGUAGE:, -SEC takes "TVPROG,x".
  ASSERT_EQ(Start({"-ERR", "-L", dir / "cmd.log", "-LA", "33", "-DATADIR:" + data, "-INI:x.ini", "-SEC", "TVPROG,x"}),
            TvOk);
  EXPECT_TRUE(tvLog.errors);
  EXPECT_EQ(std::string(tvLog.path), dir / "cmd.log");
  EXPECT_EQ(tvContext.language, 33);
  EXPECT_EQ(Reported("Data Dir"), data);
  EXPECT_EQ(Reported("Section"), "TVPROG");
  EXPECT_TRUE(tvLog.console);
  TvKernelShutdown(0);
  EXPECT_FALSE(tvtest::FileExists(dir / "other.log"));
  // A language that is no number above 0, or a path over 255 characters
  // (refused, never cut into another path), ends the walk; start-up runs.
  const std::string tooLong = dir / std::string(256 - dir.path().size(), 'p');
  // clang-format off
  const struct { std::string option; TvStatus status; } refused[] = {
      {"-LANGUAGE:none", TvErrCommandLine}, {"-LANGUAGE:0", TvErrCommandLine}, {"-LA:65536", TvErrCommandLine},
      {"-INI:" + tooLong, TvErrInvalidDirectory}, {"-LOG:" + tooLong, TvErrInvalidDirectory},
      {"-DATADIR:" + tooLong, TvErrInvalidDirectory},
  };
  // clang-format on
  for (const auto& r : refused) {
    EXPECT_EQ(Start({r.option, "-ERRORS"}), r.status) << r.option;
    EXPECT_FALSE(tvLog.errors) << r.option;
    EXPECT_EQ(Reported("Config"), "<none>") << r.option;
    TvKernelShutdown(0);
  }
}

TEST_F(Options, TheWalkReportsEachArgumentAndRefusesWhatNoListHolds) {
  // One line too long for the value buffer, then lines read as usual
  // whatever their ends (CR LF, CR alone, LF); lines of 383 characters fit,
  // with a line end or as the last line without one; a value is never
  // taken from the next line of the file, nor from the argument after the
  // file.
  const std::string longest(kTvOptionValueSize - 1, 'y'), last(kTvOptionValueSize - 1, 'z');
  tvtest::WriteFile(dir / "args.txt", "-SCRIPT\r\nnext-line\r\n\r\n" + std::string(500, 'x') + "\r-LOG:f.log\r-q\r" +
                                          longest + "\r\n" + std::string(kTvOptionValueSize, 'x') + "\n-SCRIPT\n" +
                                          last);
  const std::string accented =
      "C:\\Donn\xE9"
      "es";
  ASSERT_EQ(Start({}), TvOk);  // raised errors are recorded from here on
  // -S is in the program's list (SCRIPT) and in the kernel's (SECTION): the
  // program's list is searched first.
  char** argv =
      Argv({"", "-", "-X", "-?", "-help", accented, "@args.txt", "after-file", "-S", "s.tvs", "-l x.log",
            std::string(kTvOptionValueSize, 'a'), "-VER", "bad\x01", "-LOG", "-ERRORS", "@missing.txt", "last"});
  TvOptionsBegin(Argc(), argv, "-SCRIPT:-QUIET");
  // The newest raised error with its detail, when the step raises one.
  // clang-format off
  const struct { int32_t result; const char* name; std::string value, detail; } steps[] = {
      {TvOptionPlain, "", "", ""}, {TvErrCommandLine, "", "", "-1030 "}, {TvErrCommandLine, "", "", "-1030 X"},
      {TvOptionHelp, "?", "", ""}, {TvOptionHelp, "HELP", "", ""}, {TvOptionPlain, "", accented, ""},
      {TvOptionProgram, "SCRIPT", "", ""}, {TvOptionPlain, "", "next-line", ""}, {TvErrTruncated, "", "", "-1097 "},
      {TvOptionKernel, "LOG", "f.log", ""}, {TvOptionProgram, "QUIET", "", ""}, {TvOptionPlain, "", longest, ""},
      {TvErrTruncated, "", "", "-1097 "}, {TvOptionProgram, "SCRIPT", "", ""}, {TvOptionPlain, "", last, ""},
      {TvOptionPlain, "", "after-file", ""}, {TvOptionProgram, "SCRIPT", "s.tvs", ""},
      {TvOptionKernel, "LOG", "x.log", ""},  // its value after a blank in the same argument
      {TvErrTruncated, "", "", ""}, {TvOptionKernel, "VERSION", "", ""}, {TvErrCommandLine, "", "", "-1030 "},
      {TvOptionKernel, "LOG", "", ""},  // the next argument is an option, not a value
      {TvOptionKernel, "ERRORS", "", ""}, {TvErrFileNotFound, "", "", ""}, {TvOptionPlain, "", "last", ""},
      {TvOptionEnd, "", "", ""},
  };
  // clang-format on
  auto shown = [](int32_t result, const std::string& name, const std::string& value) {
    return std::to_string(result) + (result >= 0 ? " " + name + "=" + value : "");
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    char name[kTvOptionNameSize] = "", value[kTvOptionValueSize] = "";
    const int32_t result = TvNextOption(name, value);
    EXPECT_EQ(shown(result, name, value), shown(steps[i].result, steps[i].name, steps[i].value)) << "step " << i;
    EXPECT_TRUE(steps[i].detail.empty() || Detail(0) == steps[i].detail) << "step " << i << ": " << Detail(0);
  }
  // The control character was reported with its argument before the -1030.
  bool reported = false;
  for (int i = 0; TvErrorHistoryEntry(true, i); ++i) reported |= Detail(i) == "-1096 bad\x01";
  EXPECT_TRUE(reported);
  TvOptionsEnd();
}

// The revision report reaches the console, which a command-line program
// has on from the start.
HANDLE reportFile = INVALID_HANDLE_VALUE;
HANDLE WINAPI ReportConsole(DWORD) { return reportFile; }

TEST_F(Options, VersionWritesTheRevisionReportWithTheBuildRecords) {
  const std::string out = dir / "console.txt";
  reportFile = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  tvSys.getStdHandle = ReportConsole;
  TvSetProgramBuildRecord("\r\n:RESDEFMARK:TVPROG 1.0(7):Test program\r\n");
  EXPECT_EQ(Start({"-VERSION"}), TvOk);
  TvSetProgramBuildRecord(nullptr);
  TvKernelShutdown(0);
  CloseHandle(reportFile);
  EXPECT_EQ(tvtest::ReadFile(out),
            "Application revision information\r\n"
            "  +  ... File has been checked in since checkpoint\r\n"
            "  !  ... File has local changed since last checkin\r\n"
            "\r\n"
            "TVKRNXF 2.30(1.366-):Runtime kernel, MinGW-w64 build\r\n"
            "TVPROG 1.0(7):Test program\r\n"
            "ProductVersion(Base):ResDefBuildInfo\r\n"
            "\r\n");
}

}  // namespace
