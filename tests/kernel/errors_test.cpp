// Raising errors: the error line, what is logged and what is recorded,
// repeats of passed-on codes, quiet brackets, the user report.
#include <string>
#include <thread>

#include "kernel_fixture.h"

namespace {

class Raise : public tvtest::KernelTest {
 protected:
  void Start(bool logErrors) { ASSERT_EQ(StartLogging(logErrors ? "LogErrors=Y\n" : "LogErrors=N\n"), 0); }
};

TEST_F(Raise, OriginAndPassedOnLines) {
  Start(true);
  EXPECT_EQ(TvErrorRaise(-1010, "C:\\DATA\\X.INI", TvRaiseOrigin), -1010);
  EXPECT_EQ(TvErrorRaise(-1031, nullptr, 0), -1031);
  EXPECT_EQ(TvErrorRaise(-1031, "", 0), -1031);       // a repeat without detail: not logged again
  EXPECT_EQ(TvErrorRaise(-1031, "again", 0), -1031);  // with detail it is
  EXPECT_EQ(TvErrorRaise(-1004, nullptr, TvRaiseOrigin), -1004);
  EXPECT_EQ(TvErrorRaise(-1004, nullptr, TvRaiseOrigin), -1004);  // origins always count
  EXPECT_EQ(Logged(),
            "> File not found (C:\\DATA\\X.INI)\r\n"
            ">> Could not locate ini file\r\n"
            ">> Could not locate ini file (again)\r\n"
            "> Error -1004\r\n"
            "> Error -1004\r\n");
}

TEST_F(Raise, LinesAreCutAt398Characters) {
  char line[kTvErrorLineSize + 1];
  const std::string detail(500, 'd');
  TvErrorFormatLine(line, sizeof line, -1010, detail.c_str(), TvRaiseOrigin, 44);
  std::string expected = "> File not found (" + detail;
  expected.resize(398);  // no room left for the closing parenthesis
  EXPECT_EQ(std::string(line), expected);
  // Exactly room for the detail and its parenthesis.
  const std::string fits(398 - strlen("> File not found ()"), 'f');
  TvErrorFormatLine(line, sizeof line, -1010, fits.c_str(), TvRaiseOrigin, 44);
  EXPECT_EQ(std::string(line), "> File not found (" + fits + ")");
  // Fewer than two characters of room: the detail is left out.
  TvErrorFormatLine(line, 18, -1010, "x", TvRaiseOrigin, 44);
  EXPECT_STREQ(line, "> File not found");
  TvErrorFormatLine(line, sizeof line, 0, nullptr, 0, 34);
  EXPECT_STREQ(line, ">> Aceptar");
}

TEST_F(Raise, WithoutLogErrorsTheMainRecordStillRecords) {
  Start(false);
  // Other threads share the main record.
  std::thread other([] {
    TvErrorRaise(-1016, "from thread", TvRaiseOrigin);
    EXPECT_EQ(TvThreadRecord(), TvThreadMainRecord());
  });
  other.join();
  EXPECT_EQ(TvThreadRecord()->lastCode, -1016);
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> File access denied (from thread)");
  TvErrorRaise(-1010, "file", TvRaiseOrigin);
  EXPECT_EQ(Logged(), "");
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> File not found (file)");
  EXPECT_EQ(TvThreadRecord()->lastCode, -1010);
  // A record with no options leaves no trace and keeps its last code.
  TvThreadRecord()->options = 0;
  TvErrorRaise(-1013, "gone", TvRaiseOrigin);
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> File not found (file)");
  EXPECT_EQ(TvThreadRecord()->lastCode, -1010);
  // Option 0x08 logs without LogErrors; option 0x04 absent: nothing recorded.
  TvLogOpen(("+" + log).c_str());
  TvThreadRecord()->options = TvErrorProcess | TvErrorLog;
  TvErrorRaise(-1013, "logged", TvRaiseOrigin);
  EXPECT_EQ(Logged(), "> File write failure (logged)\r\n");
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), "> File not found (file)");
}

// Before any reset a raise only returns its code, and a bracket does nothing.
TEST_F(Raise, QuietBracketIgnoresRaises) {
  ASSERT_FALSE(TvServiceLocksCreated());
  EXPECT_EQ(TvErrorRaise(-1010, "x", TvRaiseOrigin), -1010);
  TvErrorQuietBegin();
  TvErrorQuietEnd();
  Start(true);
  {
    TvQuiet quiet;
    TvErrorRaise(-1010, "hidden", TvRaiseOrigin);
    {
      TvQuiet nested;
      TvErrorRaise(-1011, "hidden", TvRaiseOrigin);
    }
    TvErrorRaise(-1012, "hidden", TvRaiseOrigin);
  }
  TvErrorRaise(-1014, "shown", TvRaiseOrigin);
  EXPECT_EQ(Logged(), "> Could not delete file (shown)\r\n");
  EXPECT_STREQ(TvErrorHistoryLine(true, 0), "> Could not delete file (shown)");
  EXPECT_EQ(TvErrorHistoryLine(true, 1), nullptr);
  EXPECT_EQ(TvThreadRecord()->quiet, 0);
}

TEST_F(Raise, HistoryChainsAndRingCapacity) {
  Start(false);
  TvErrorRaise(-1010, "old", TvRaiseOrigin);
  TvErrorRaise(-1012, "arose", TvRaiseOrigin);
  TvErrorRaise(-1031, nullptr, 0);
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), ">> Could not locate ini file");
  EXPECT_STREQ(TvErrorHistoryLine(false, 1), "> File read failure (arose)");
  EXPECT_EQ(TvErrorHistoryLine(false, 2), nullptr);
  EXPECT_STREQ(TvErrorHistoryLine(true, 2), "> File not found (old)");
  EXPECT_EQ(TvErrorHistoryLine(true, 3), nullptr);
  EXPECT_EQ(TvErrorHistoryLine(true, -1), nullptr);
  // More than twice round the ring of 128: the oldest entry wraps as well.
  for (int i = 0; i < 260; ++i) TvErrorRaise(-1000 - (i % 50), nullptr, TvRaiseOrigin);
  int lines = 0;
  while (lines < 1000 && TvErrorHistoryLine(true, lines)) ++lines;
  EXPECT_EQ(lines, 128);
  EXPECT_STREQ(TvErrorHistoryLine(true, 0), "> Cannot detect file changes");   // raise 260: -1009
  EXPECT_STREQ(TvErrorHistoryLine(true, 127), "> Could not create log file");  // raise 133: -1032
}

TEST_F(Raise, ErrorHandlesOfTheirOwn) {
  Start(false);
  TvErrorHandle* handle = nullptr;
  ASSERT_EQ(TvErrorHandleCreate(TvHandleOwned, 2, &handle), 0);
  EXPECT_EQ(TvErrorHandleCount(), 1u);
  TvErrorHandle* previous = TvErrorHandleAttach(TvThreadRecord(), handle);
  EXPECT_EQ(handle->attachCount, 1);
  EXPECT_EQ(handle->owner, GetCurrentThreadId());
  for (int code : {-1010, -1011, -1012}) TvErrorRaise(code, nullptr, TvRaiseOrigin);
  EXPECT_STREQ(TvErrorHistoryLine(true, 0), "> File read failure");
  EXPECT_STREQ(TvErrorHistoryLine(true, 1), "> File already exists");
  EXPECT_EQ(TvErrorHistoryLine(true, 2), nullptr);  // two entries: the oldest went
  const TvErrorEntry* entry = TvErrorHistoryEntry(true, 0);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(std::string(entry->thread), "#" + std::to_string(GetCurrentThreadId()));
  EXPECT_GE(entry->time.year, 2000);
  EXPECT_GT(entry->sequence, TvErrorHistoryEntry(true, 1)->sequence);
  EXPECT_EQ(TvErrorHandleAttach(TvThreadRecord(), previous), handle);
  EXPECT_EQ(handle->attachCount, 0);
  TvErrorHandleClose(handle);
  EXPECT_EQ(TvErrorHandleCount(), 0u);
  TvErrorHandleClose(reinterpret_cast<TvErrorHandle*>(&previous));  // not ours: ignored
  // Shut-down reports a handle left open.
  ASSERT_EQ(TvErrorHandleCreate(0, 4, &handle), 0);
  TvKernelShutdown(0);
  EXPECT_EQ(tvtest::ReadFile(log), "TESTMOD: ERROR! Not all Error handles closed -- OK\r\n");
  TvErrorHandleClose(handle);
}

// The report logs the latest chain; with an empty history, the status's message.
TEST_F(Raise, ReportLogsTheLatestChain) {
  Start(false);
  TvErrorReport("Empty", -1001);
  TvErrorRaise(-1010, "C:\\A.INI", TvRaiseOrigin);
  TvErrorRaise(-1031, nullptr, 0);
  TvErrorReport("Title", -1031);
  TvErrorReport("Done", 0);
  EXPECT_EQ(Logged(),
            "TESTMOD: Empty -- Out of memory\r\n"
            "TESTMOD: Title -- >> Could not locate ini file\r\n"
            "> File not found (C:\\A.INI)\r\n"
            "TESTMOD: Done -- OK\r\n");
}

TEST_F(Raise, FatalStopLogsToFileAndConsoleAndEndsTheProcess) {
  const std::string ini = dir / "child.ini";
  const std::string childLog = dir / "child.log";
  tvtest::WriteFile(ini, "[TvDefault]\nLogFile=" + childLog + "\nLogErrors=Y\n");
  const std::string output = dir / "stdout.txt";
  const std::string child = "\"" + tvtest::WindowsPath(FATAL_CHILD_UNIX_PATH) + "\" \"" + ini + "\" ";
  EXPECT_EQ(tvtest::RunProgram(child + "\"disk gone\"", output), 1u);
  EXPECT_EQ(tvtest::ReadFile(childLog), "CHILD: disk gone\r\n");
  EXPECT_EQ(tvtest::ReadFile(output), "CHILD: disk gone\r\n");
  // A text longer than the 199-character line is cut; it keeps no line end.
  const std::string longText(300, 'x');
  EXPECT_EQ(tvtest::RunProgram(child + longText, output), 1u);
  EXPECT_EQ(tvtest::ReadFile(childLog), ("CHILD: " + longText).substr(0, 199) + "\r\n");
}

TEST_F(Raise, ProvidersAnswerCodesTheCatalogueDoesNotKnow) {
  Start(false);
  TvErrorAddProvider([](TvStatus code) -> const char* { return code == -5000 ? "Provided" : nullptr; });
  TvErrorAddProviderLang([](TvStatus code, uint16_t language) -> const char* {
    return code == -5001 && language == 49 ? "Gegeben" : nullptr;
  });
  EXPECT_STREQ(TvErrorText(-5000, 44), "Provided");
  EXPECT_STREQ(TvErrorText(-5001, 49), "Gegeben");
  EXPECT_STREQ(TvErrorText(-5001, 44), "Error -5001");
  EXPECT_STREQ(TvErrorText(-1010, 44), "File not found");  // the catalogue comes first
  TvErrorAddClassifier([](TvStatus status) { return status == -5000 ? 7 : 0; });
  EXPECT_EQ(TvErrorLevelOf(-5000), 7);
  EXPECT_EQ(TvErrorLevelOf(-5001), 0);
  TvErrorProvidersReset();
  EXPECT_STREQ(TvErrorText(-5000, 44), "Error -5000");
}

}  // namespace
