// Every export that saves a file, with a write failure injected at each
// point of the save: the file holds either its old bytes or the complete new
// text, never a mix. Linked with the kernel, whose file layer takes the faults.
#include <string>
#include <vector>

#include "exports.h"
#include "file_faults.h"

namespace {

using tvtest::FileFaults;
using tvtest::Which;

class Saving : public tvtest::KernelTest {
 protected:
  std::string path = dir / "tvwserve.ini";
  void SetUp() override { ASSERT_EQ(StartLogging(), 0); }

  // Runs a save on a fresh copy of old: once without faults (which gives the
  // new text and the number of writes), then with a failure at the first,
  // second, middle, last but one and last write, lasting and once only, and
  // with the set-end refused. Each time the file is old or wholly new.
  template <typename Save>
  void EveryPointOfTheSave(const std::string& old, Save save) {
    tvtest::WriteFile(path, old);
    FileFaults::Arm(0);
    ASSERT_EQ(save(), 0);
    const int writes = FileFaults::writes;
    const std::string fresh = tvtest::ReadFile(path);
    ASSERT_NE(fresh, old);
    ASSERT_GE(writes, 1);
    std::vector<int> points = {1, 2, writes / 2, writes - 1, writes};
    for (int at : points) {
      if (at < 1 || at > writes) continue;
      for (bool once : {false, true}) {
        SCOPED_TRACE("write " + std::to_string(at) + " of " + std::to_string(writes) + (once ? ", once" : ""));
        tvtest::WriteFile(path, old);
        FileFaults::Arm(at, once);
        const int32_t status = save();
        FileFaults::Disarm();
        EXPECT_EQ(Which(tvtest::ReadFile(path), old, fresh), status == 0 ? "new" : "old") << status;
        EXPECT_TRUE(status == 0 || status == -1013) << status;
      }
    }
    // A refused set-end: the new text, and blanks where the old one was longer.
    tvtest::WriteFile(path, old);
    FileFaults::refuseSetEnd = true;
    const int32_t status = save();
    FileFaults::Disarm();
    const std::string blanks(fresh.size() < old.size() ? old.size() - fresh.size() : 0, ' ');
    EXPECT_EQ(Which(tvtest::ReadFile(path), old, fresh + blanks), status == 0 ? "new" : "old") << status;
  }
};

// An export that saves the file at path, by its name.
struct Export {
  const char* name;
  int32_t (*call)(const char* path);
};

// A list long enough for a save of many writes.
std::string LongList(const char* key, int entries, char fill) {
  std::string text = key;
  text += "=";
  for (int i = 0; i < entries; ++i)
    text += (i ? "\r\n+" : "") + std::string("C") + std::to_string(i) + "," + std::string(200, fill);
  return text + "\r\n";
}

TEST_F(Saving, ASaveThatFailedCanBeRepeated) {
  const std::string old = "[TvDefault]\r\n" + LongList("InstalledData", 400, 'o');
  tvtest::WriteFile(path, old);
  INT_PTR file, buffer;
  ASSERT_EQ(TvIsi_IniOpen(&file, &buffer, path.c_str()), 0);
  ASSERT_EQ(TvIsi_IniAddString(buffer, "TvDefault", "InstalledData", "GBR,C:\\New"), 0);
  FileFaults::Arm(3);
  EXPECT_EQ(TvIsi_IniSave(file, buffer), -1013);
  FileFaults::Disarm();
  EXPECT_EQ(TvIsi_IniSave(file, buffer), 0);
  TvIsi_IniClose(file, buffer);
  EXPECT_EQ(tvtest::ReadFile(path), old + "+GBR,C:\\New\r\n");
}

TEST_F(Saving, UpdateTvwserveV5LeavesTheOldOrTheNewFile) {
  const std::string old =
      "[TvDefault]\r\n" + LongList("InstalledData", 300, 'i') + LongList("AllInstalledData", 300, 'a');
  EveryPointOfTheSave(old, [&] { return TvIsi_UpdateTvwserveV5(path.c_str(), "GBR,D:\\New", 1, 0, 0); });
}

TEST_F(Saving, UpdateDataKeysLeavesTheOldOrTheNewFile) {
  const std::string old = "[TvDefault]\r\n" + LongList("InstalledCountries", 300, 'c');
  EveryPointOfTheSave(old, [&] { return TvIsi_UpdateDataKeys(path.c_str(), "GBR,UK,D:\\New\\GBR.dts", 4); });
}

TEST_F(Saving, InstalledCountriesToDataLeavesTheOldOrTheNewFile) {
  std::string countries = "InstalledCountries=";
  for (int i = 0; i < 300; ++i)
    countries += (i ? "\r\n+C" : "C") + std::to_string(i) + ",Name,C:\\" + std::string(150, 'd') + "\\x.dts";
  const std::string old = "[TvDefault]\r\n" + countries + "\r\n";
  EveryPointOfTheSave(old, [&] { return TvIsi_InstalledCountriesToData(path.c_str()); });
}

TEST_F(Saving, DataMappingExportsLeaveTheOldOrTheNewFile) {
  std::string countries = "InstalledCountries=", bases;
  for (int i = 0; i < 300; ++i) {
    countries += (i ? "\r\n+C" : "C") + std::to_string(i) + "," + std::string(150, 'n') + ",C:\\x.dts";
    bases += "[S" + std::to_string(i) + "]\r\nCountryBase=" + std::string(100, 'b') + "\r\n";
  }
  const std::string old = "[TvDefault]\r\n" + countries + "\r\n" + bases;
  EveryPointOfTheSave(old, [&] { return TvIsi_InstCtryToDataMap(path.c_str()); });
  EveryPointOfTheSave(old, [&] { return TvIsi_CountryBaseToDataMap(path.c_str()); });
}

// Memory that runs out at any point of an export: a clear status, and the
// file is the old one or the complete new one.
TEST_F(Saving, MemoryRunningOutAtAnyPointLeavesTheOldOrTheNewFile) {
  const std::string old = "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\Data\\GBR.dts\r\n+USA,US,C:\\Us\\USA.dts\r\n" +
                          LongList("InstalledData", 60, 'i') + LongList("AllInstalledData", 60, 'a');
  const Export exports[] = {
      {"UpdateTvwserveV5", [](const char* p) { return TvIsi_UpdateTvwserveV5(p, "GBR,D:\\New", 1, 0, 0); }},
      {"UpdateDataKeys", [](const char* p) { return TvIsi_UpdateDataKeys(p, "GBR,D:\\New", 8); }},
      {"InstalledCountriesToData", [](const char* p) { return TvIsi_InstalledCountriesToData(p); }},
      {"IniSave",
       [](const char* p) {
         INT_PTR file, buffer;
         int32_t status = TvIsi_IniOpen(&file, &buffer, p);
         if (status == 0) status = TvIsi_IniAddString(buffer, "TvDefault", "InstalledData", "GBR,D:\\New\nFRA,F:\\x");
         if (status == 0) status = TvIsi_IniSave(file, buffer);
         TvIsi_IniClose(file, buffer);
         return status;
       }},
  };
  const TvMemStatistics saved = tvMemStats;
  for (const Export& e : exports) {
    SCOPED_TRACE(e.name);
    tvtest::WriteFile(path, old);
    ASSERT_EQ(e.call(path.c_str()), 0);
    const std::string fresh = tvtest::ReadFile(path);
    int failures = 0;
    for (uint64_t room = 0; room < 200000; room += 997) {
      tvtest::WriteFile(path, old);
      LimitMemory(room);
      const int32_t status = e.call(path.c_str());
      tvMemStats.limit = UINT64_MAX;
      EXPECT_EQ(Which(tvtest::ReadFile(path), old, fresh), status == 0 ? "new" : "old") << room << " " << status;
      if (status != 0) ++failures;
    }
    EXPECT_GT(failures, 0);  // the limit was reached somewhere
  }
  tvMemStats = saved;
}

// An open or a read that fails at any point of an export: a clear status
// and the old file, or the complete new one. (A server installation read
// twice once took a failed second reading for a client installation.)
TEST_F(Saving, FailingOpensAndReadsLeaveTheOldOrTheNewFile) {
  const std::string old =
      "[TvDefault]\r\nUsedByKeelNet=Yes\r\nInstalledData=GBR,C:\\Old\r\n+USA,C:\\Us\r\n"
      "InstalledCountries=FRA,France,C:\\Fr\\FRA.dts\r\n";
  const Export exports[] = {
      {"UpdateTvwserveV5", [](const char* p) { return TvIsi_UpdateTvwserveV5(p, "GBR,D:\\New", 0, 0, 0); }},
      {"UpdateDataKeys", [](const char* p) { return TvIsi_UpdateDataKeys(p, "GBR,D:\\New", 8); }},
      {"InstalledCountriesToData", [](const char* p) { return TvIsi_InstalledCountriesToData(p); }},
  };
  for (const Export& e : exports) {
    SCOPED_TRACE(e.name);
    tvtest::WriteFile(path, old);
    FileFaults::ArmOpenAndRead(0, 0);
    ASSERT_EQ(e.call(path.c_str()), 0);
    const int opens = FileFaults::opens, reads = FileFaults::reads;
    const std::string fresh = tvtest::ReadFile(path);
    if (std::string(e.name) == "UpdateDataKeys") {
      EXPECT_NE(fresh.find("NewInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n"), std::string::npos);
    }
    for (int at = 1; at <= opens + reads; ++at) {
      SCOPED_TRACE(at);
      tvtest::WriteFile(path, old);
      FileFaults::ArmOpenAndRead(at <= opens ? at : 0, at > opens ? at - opens : 0);
      const int32_t status = e.call(path.c_str());
      FileFaults::Disarm();
      EXPECT_EQ(Which(tvtest::ReadFile(path), old, fresh), status == 0 ? "new" : "old") << status;
    }
  }
}

}  // namespace
