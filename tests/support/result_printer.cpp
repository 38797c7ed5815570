// result_printer.cpp: linked into every test program. GoogleTest's own
// printer also hands each failure to OutputDebugStringA; under the 32-bit
// Wine of these machines, a program that has done so can no longer start
// threads ("wine client error: read: Bad address"), so the first failure
// would end the program and hide the rest. This printer forwards every
// event to GoogleTest's but prints failures itself, to standard output only,
// in the same form.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

class ResultPrinter : public ::testing::EmptyTestEventListener {
 public:
  explicit ResultPrinter(::testing::TestEventListener* inner) : inner_(inner) {}

  void OnTestProgramStart(const ::testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
  void OnTestIterationStart(const ::testing::UnitTest& u, int i) override { inner_->OnTestIterationStart(u, i); }
  void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpStart(u); }
  void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpEnd(u); }
  void OnTestSuiteStart(const ::testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
  void OnTestStart(const ::testing::TestInfo& t) override { inner_->OnTestStart(t); }
  void OnTestDisabled(const ::testing::TestInfo& t) override { inner_->OnTestDisabled(t); }
  void OnTestPartResult(const ::testing::TestPartResult& r) override {
    if (r.type() == ::testing::TestPartResult::kSuccess) return;
    const char* kind = r.type() == ::testing::TestPartResult::kSkip ? "Skipped" : "Failure";
    if (r.file_name()) printf("%s:%d: %s\n%s\n\n", r.file_name(), r.line_number(), kind, r.message());
    else printf("unknown file: %s\n%s\n\n", kind, r.message());
    fflush(stdout);
  }
  void OnTestEnd(const ::testing::TestInfo& t) override { inner_->OnTestEnd(t); }
  void OnTestSuiteEnd(const ::testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
  void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownStart(u); }
  void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownEnd(u); }
  void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override { inner_->OnTestIterationEnd(u, i); }
  void OnTestProgramEnd(const ::testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

 private:
  std::unique_ptr<::testing::TestEventListener> inner_;
};

const bool installed = [] {
  ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
  ::testing::TestEventListener* inner = listeners.Release(listeners.default_result_printer());
  if (inner) listeners.Append(new ResultPrinter(inner));
  return true;
}();

}  // namespace
