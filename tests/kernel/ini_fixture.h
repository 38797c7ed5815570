// Shared by the ini engine's tests: the block's invariants and a fixture
// with a loaded text, its lines and lookups.
#pragma once

#include <string>
#include <vector>

#include "kernel_fixture.h"

namespace tvtest {

using Strings = std::vector<std::string>;

// The block holds the text, then line feed, "[" and NUL, and nothing more.
// Right after loading it is the file's size plus 3 (carriage returns that
// were dropped leave room); after every edit exactly the length plus 3.
inline ::testing::AssertionResult Invariants(const TvIniBuffer& b, bool loaded = false) {
  if (!b.text) return ::testing::AssertionFailure() << "no text";
  if (loaded ? b.capacity < b.length + 3 : b.capacity != b.length + 3)
    return ::testing::AssertionFailure() << "capacity " << b.capacity << " for " << b.length;
  if (b.text[b.length] != '\n' || b.text[b.length + 1] != '[' || b.text[b.length + 2] != '\0')
    return ::testing::AssertionFailure() << "end mark missing";
  return ::testing::AssertionSuccess();
}

inline std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

class Ini : public tvtest::KernelTest {
 protected:
  TvIniBuffer ini{};
  const std::string saved = dir / "saved.ini";
  void SetUp() override { ASSERT_EQ(StartLogging(), 0); }
  ~Ini() override { TvIniFree(&ini); }
  void Load(const std::string& text) {
    std::string path = dir / "t.ini";
    tvtest::WriteFile(path, text);
    ASSERT_EQ(TvIniLoadFile(&ini, path.c_str()), 0);
    ASSERT_TRUE(Invariants(ini, true));
    EXPECT_EQ(ini.capacity, text.size() + 3);
  }
  std::string Text() const { return std::string(ini.text, ini.length); }
  std::string Saved() {
    EXPECT_EQ(TvIniSaveFile(&ini, saved.c_str()), 0);
    return tvtest::ReadFile(saved);
  }
  std::string Get(const char* section, const char* key, TvIniBuffer* from = nullptr) {
    char out[512];
    return TvIniGetString(from ? from : &ini, section, key, "<none>", out, sizeof out) ? out : "<none>";
  }
  std::string Lines() {
    std::string all;
    char line[256];
    while (TvIniNextLine(&ini, line, sizeof line)) all += std::string("|") + line;
    return all;
  }
};

}  // namespace tvtest
