// Ini trailers of data files and header regions, on real files.
#include <random>
#include <string>

#include "kernel_fixture.h"

namespace {

const std::string kMagic("\x00\x00\xFF\xA5\x5A\xFF", 6);

std::string Le32(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
  return out;
}

// A trailer put together by hand, for files the saving side never writes.
std::string Forged(const std::string& text, uint32_t start, uint32_t reserve) {
  const std::string summed = text + std::string("\n[\0", 3);
  std::string out =
      kMagic + Le32(static_cast<uint32_t>(text.size())) + Le32(TvCrc32(0xFFFFFFFFu, summed.data(), summed.size()));
  for (char c : text) out += static_cast<char>(~c);
  return out + std::string(reserve - text.size(), '\0') + kMagic + Le32(~start);
}

class Trailer : public tvtest::KernelTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartWith("[TvDefault]\n"), 0); }
  ~Trailer() override {
    Close();
    TvIniFree(&ini);
  }
  // The data file with these bytes, open for reading and writing.
  void Open(const std::string& bytes) {
    Close();
    tvtest::WriteFile(path, bytes);
    ASSERT_EQ(TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileReadWrite | TvFileShareAll, &h), 0);
  }
  void Close() {
    TvFileClose(h);
    h = kTvNoFile;
  }
  std::string Bytes() const { return tvtest::ReadFile(path); }
  TvStatus Save(const std::string& text, uint32_t reserve = 0) {
    const std::string ini = dir / "t.ini";
    tvtest::WriteFile(ini, text);
    EXPECT_EQ(TvIniLoadFile(&this->ini, ini.c_str()), 0);
    return TvIniSaveTrailer(&this->ini, h, reserve);
  }
  TvStatus Load(uint32_t* start) { return TvIniLoadTrailer(&ini, h, start); }
  // Where the data ends, by a load that succeeds.
  uint32_t Loaded() {
    uint32_t start = 0xDEAD;
    EXPECT_EQ(Load(&start), 0);
    return start;
  }
  std::string Text() const { return ini.text ? std::string(ini.text, ini.length) : "<no text>"; }
  std::string Get(const char* section, const char* key) {
    char out[64];
    return TvIniGetString(&ini, section, key, "<none>", out, sizeof out) ? out : "<none>";
  }
  TvIniBuffer ini{};
  TvFileHandle h = kTvNoFile;
  std::string path = dir / "data.bin";
};

class Region : public Trailer {
 protected:
  TvStatus LoadRegion(const char* section, uint32_t* end) { return TvIniLoadRegion(&ini, h, section, end); }
  // Where the region ends, by a load that succeeds.
  uint32_t RegionEnd(const char* section) {
    uint32_t end = 0xDEAD;
    EXPECT_EQ(LoadRegion(section, &end), 0);
    return end;
  }
};

}  // namespace

TEST(TrailerCrc, CheckString) { EXPECT_EQ(~TvCrc32(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u); }

TEST_F(Trailer, SaveAppendsExactBytesAndLoadReadsThemBack) {
  Open("DATA");
  ASSERT_EQ(Save("[A]\r\nk=v\r\n", 12), 0);
  // Header (magic, length 8, CRC), inverted text, four bytes of filler, footer with NOT 4.
  EXPECT_EQ(tvtest::Hex(Bytes()),
            "44 41 54 41 00 00 ff a5 5a ff 08 00 00 00 2a 3a e0 d0 a4 be a2 f5 94 c2 89 f5 00 00 00 00 "
            "00 00 ff a5 5a ff fb ff ff ff");
  TvIniFree(&ini);
  EXPECT_EQ(Loaded(), 4u);
  EXPECT_EQ(Text(), "[A]\nk=v\n");
  EXPECT_EQ(Get("A", "k"), "v");
  EXPECT_EQ(ini.useCount, 1);
  // Carriage returns are kept; saving what was loaded writes the same bytes.
  const std::string withReturns = "D" + Forged("[B]\r\nx=1\r\n", 1, 16);
  Open(withReturns);
  EXPECT_EQ(Loaded(), 1u);
  EXPECT_EQ(Text(), "[B]\r\nx=1\r\n");
  EXPECT_EQ(Get("B", "x"), "1");
  ASSERT_EQ(TvIniSaveTrailer(&ini, h, 0), 0);
  EXPECT_EQ(Bytes(), withReturns);
}

// A whole empty trailer is 24 bytes: a file of that size is taken as data.
// A file without a trailer loads an empty text; the previous one is gone.
TEST_F(Trailer, FilesWithoutATrailerLoadAnEmptyText) {
  std::string plain;
  for (int i = 0; i < 5000; ++i) plain += static_cast<char>('a' + i % 26);
  for (const std::string& bytes :
       {Forged("", 0, 0), "D" + Forged("", 1, 0), std::string(), std::string("short"), plain}) {
    Open("D" + Forged("[A]\nk=v\n", 1, 8));
    EXPECT_EQ(Loaded(), 1u);
    ASSERT_EQ(Get("A", "k"), "v");
    Open(bytes);
    EXPECT_EQ(Loaded(), bytes.size() == 25 ? 1 : bytes.size());
    EXPECT_EQ(Text(), "");
  }
  EXPECT_EQ(Load(nullptr), 0);
}

TEST_F(Trailer, CrcIsCheckedOnlyWhileTheKernelIsStarted) {
  Open("DATA");
  ASSERT_EQ(Save("[A]\nk=v\n"), 0);
  std::string bytes = Bytes();
  bytes[4 + 14 + 4] ^= 1;  // the stored "k" becomes "j"
  Open(bytes);
  uint32_t start = 0;
  EXPECT_EQ(Load(&start), -1012);
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(start, bytes.size());
  TvKernelShutdown(0);
  ASSERT_FALSE(TvKernelStarted());
  EXPECT_EQ(Loaded(), 4u);
  EXPECT_EQ(Text(), "[A]\nj=v\n");
}

TEST_F(Trailer, RewritingKeepsTheRoomAndNeverShrinksTheFile) {
  Open("DATA");
  const std::string longText = "[A]\nk=" + std::string(40, 'x') + "\n";
  ASSERT_EQ(Save(longText), 0);
  const std::string before = Bytes();
  ASSERT_EQ(before.size(), 4 + 24 + longText.size());
  ASSERT_EQ(Save("[A]\nk=v\n"), 0);
  const std::string after = Bytes();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.substr(after.size() - 10), before.substr(before.size() - 10));
  EXPECT_EQ(after.substr(4 + 14 + 8, longText.size() - 8), std::string(longText.size() - 8, '\0'));
  EXPECT_EQ(Loaded(), 4u);
  EXPECT_EQ(Text(), "[A]\nk=v\n");
  // A larger reserve, then a text longer than the room, grow it.
  ASSERT_EQ(Save("[A]\nk=v\n", 100), 0);
  EXPECT_EQ(Bytes().size(), 4u + 24 + 100);
  const std::string big = "[A]\nk=" + std::string(300, 'y') + "\n";
  ASSERT_EQ(Save(big), 0);
  EXPECT_EQ(Bytes().size(), 4 + 24 + big.size());
  ASSERT_EQ(Save(""), 0);
  EXPECT_EQ(Bytes().size(), 4 + 24 + big.size());
  EXPECT_EQ(Loaded(), 4u);
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(Bytes().substr(0, 4), "DATA");
  // A write that fails is reported, and the file keeps its bytes.
  Open("DATA");
  tvSys.writeFile = tvtest::FullDiskWrite;
  EXPECT_EQ(Save("[A]\nk=v\n"), -1013);
  EXPECT_EQ(Bytes(), "DATA");
}

TEST_F(Trailer, PaddingAfterTheFooter) {
  Open("DATA");
  ASSERT_EQ(Save("[A]\nk=v\n"), 0);
  const std::string bytes = Bytes();
  for (size_t run : {1, 4096}) {
    Open(bytes + std::string(run, '\0'));
    EXPECT_EQ(Loaded(), 4u) << run;
    EXPECT_EQ(Get("A", "k"), "v") << run;
  }
  Open(bytes + std::string(4097, '\0'));
  EXPECT_EQ(Loaded(), bytes.size() + 4097);
  EXPECT_EQ(Text(), "");
  // At 0 the footer ends in five 0xFF bytes, which pass for padding of 0xFF.
  const std::string atZero = Forged("[A]\nk=v\n", 0, 20);
  Open(atZero + std::string(3000, '\xFF'));
  EXPECT_EQ(Loaded(), 0u);
  EXPECT_EQ(Get("A", "k"), "v");
  // Saving over a padded trailer takes the padding into the room.
  Open(bytes + std::string(100, '\0'));
  ASSERT_EQ(Save("[B]\n"), 0);
  EXPECT_EQ(Bytes().size(), bytes.size() + 100);
  EXPECT_EQ(Loaded(), 4u);
  EXPECT_EQ(Text(), "[B]\n");
}

TEST_F(Trailer, FooterThatLeadsNowhereIsNeitherReadNorOverwritten) {
  for (uint32_t pointsAt : {10u, 39u, 1000u}) {
    const std::string forged = std::string(40, 'd') + kMagic + Le32(~pointsAt);
    Open(forged);
    EXPECT_EQ(Loaded(), forged.size()) << pointsAt;
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(Save("[A]\nk=v\n"), -1012) << pointsAt;
    EXPECT_EQ(Bytes(), forged);
  }
}

TEST_F(Trailer, HostileInputGetsAStatus) {
  Open("DATA");
  uint32_t start = 5, end = 5;
  EXPECT_EQ(TvIniLoadTrailer(nullptr, h, &start), -1010);
  EXPECT_EQ(TvIniSaveTrailer(nullptr, h, 0), -1010);
  EXPECT_EQ(TvIniLoadRegion(nullptr, h, nullptr, &end), -1010);
  TvIniBuffer never{};
  EXPECT_EQ(TvIniSaveTrailer(&never, h, 0), -1010);
  ASSERT_EQ(TvIniLoadHandle(&ini, kTvNoFile), 0);
  for (TvFileHandle bad : {kTvNoFile, TvFileHandle{0}, TvFileHandle{0x4321}}) {
    EXPECT_EQ(TvIniLoadTrailer(&ini, bad, &start), -1012);
    EXPECT_EQ(Text(), "");
    EXPECT_NE(TvIniSaveTrailer(&ini, bad, 0), 0);
    EXPECT_NE(TvIniLoadRegion(&ini, bad, nullptr, &end), 0);
  }
  // Forged lengths must not size an allocation: with a memory limit in
  // force, trying one would show as -1001.
  const std::string hugeText = "DATA" + kMagic + Le32(0x7FFFFF00u) + Le32(0) + "0123456789" + kMagic + Le32(~4u);
  Open(hugeText);
  LimitMemory(uint64_t{64} << 20);
  const TvStatus hugeLoad = Load(&start);
  const TvStatus hugeSave = TvIniSaveTrailer(&ini, h, 0xFFFFFFF0u);
  Unlimited();
  EXPECT_EQ(hugeLoad, -1012);
  EXPECT_EQ(start, hugeText.size());
  EXPECT_EQ(hugeSave, -1008);
  EXPECT_EQ(Bytes(), hugeText);
  std::mt19937 random(2003);
  for (int round = 0; round < 40; ++round) {
    std::string bytes(random() % 6000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    if (round % 2 && bytes.size() > 30) bytes.replace(bytes.size() - 10 - random() % 6, 6, kMagic);
    Open(bytes);
    const TvStatus status = Load(&start);
    EXPECT_TRUE(status == 0 || status == -1012) << status;
    ASSERT_NE(ini.text, nullptr);
    const TvStatus region = TvIniLoadRegion(&ini, h, nullptr, &end);
    EXPECT_TRUE(region == 0 || region == -1013) << region;
    ASSERT_NE(ini.text, nullptr);
  }
}

TEST_F(Region, RunsToTheEndMarkerInAnyCase) {
  const std::string file = "[Head]\r\nA=1\r\n[END] of settings\r\nbinary\x01\x02";
  Open(file);
  for (const char* section : {"head", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(RegionEnd(section), file.find("binary"));
    EXPECT_EQ(Text(), "[Head]\nA=1\n");
    EXPECT_EQ(Get("Head", "A"), "1");
    EXPECT_EQ(ini.useCount, 1);
  }
  // "[End" is no marker, nor is "[End]" in the middle of an over-long line
  // (lines are read 199 characters at a time).
  const std::string noMarker =
      "[Head]" + std::string(193, 'x') + "[End]\n[End\n" + std::string(199, 'x') + "[End]\nB=2\n";
  Open(noMarker);
  EXPECT_EQ(RegionEnd("Head"), noMarker.size());
  EXPECT_EQ(Text(), noMarker);
  EXPECT_EQ(Bytes(), noMarker);
}

TEST_F(Region, AnotherFirstLineGivesJustTheHeaderAsked) {
  Open("[Head]\nA=1\n[End]\n");
  EXPECT_EQ(RegionEnd("Other"), 0u);
  EXPECT_EQ(Text(), "[Other]\n");
  ASSERT_EQ(TvIniSetString(&ini, "Other", "k", "v"), 0);
  EXPECT_EQ(Text(), "[Other]\nk=v\n");
  for (const std::string& bytes : {std::string(), std::string("plain\n[Head]\n"), std::string("[Head\n")}) {
    Open(bytes);
    EXPECT_EQ(RegionEnd(nullptr), 0u);
    EXPECT_EQ(Text(), "[TvDefault]\n");
    EXPECT_EQ(Bytes(), bytes);
  }
}

TEST_F(Region, IniReserveExtendsTheRegionAndTheFile) {
  const std::string file = "[Head]\r\nIniReserve=64\r\n[End]\r\n";
  Open(file);
  EXPECT_EQ(RegionEnd("Head"), 64u);
  EXPECT_EQ(Bytes(), file + std::string(64 - file.size(), ' '));
  EXPECT_EQ(RegionEnd("Head"), 64u);
  EXPECT_EQ(Bytes().size(), 64u);
  // A reserve below the region's end changes nothing.
  const std::string small = "[Head]\nIniReserve=5\n[End]\ntail";
  Open(small);
  EXPECT_EQ(RegionEnd("Head"), small.find("tail"));
  EXPECT_EQ(Bytes(), small);
  Open(file);
  tvSys.writeFile = tvtest::FullDiskWrite;
  uint32_t end = 0;
  EXPECT_EQ(LoadRegion("Head", &end), -1013);
  EXPECT_EQ(Bytes(), file);
}

#ifdef TVTRAILER_UNIX_PATH
TEST_F(Trailer, ToolWritesAndPrints) {
  Close();
  const std::string tool = "\"" + tvtest::WindowsPath(TVTRAILER_UNIX_PATH) + "\" ";
  const std::string ini = dir / "a.ini", out = dir / "out.txt";
  tvtest::WriteFile(ini, "[TvDefault]\r\nDate=2003-09-12\r\n");
  tvtest::WriteFile(path, "DATA");
  EXPECT_EQ(tvtest::RunProgram(tool + "write \"" + path + "\" \"" + ini + "\" 64", out), 0u);
  EXPECT_EQ(Bytes().size(), 4u + 24 + 64);
  EXPECT_EQ(tvtest::RunProgram(tool + "print \"" + path + "\"", out), 0u);
  EXPECT_EQ(tvtest::ReadFile(out), "[TvDefault]\nDate=2003-09-12\n");
  std::string damaged = Bytes();
  damaged[4 + 14] ^= 1;
  tvtest::WriteFile(path, damaged);
  EXPECT_EQ(tvtest::RunProgram(tool + "print \"" + path + "\"", out), 1u);
  EXPECT_NE(tvtest::ReadFile(out).find("File read failure"), std::string::npos) << tvtest::ReadFile(out);
  EXPECT_EQ(tvtest::RunProgram(tool + "print \"" + (dir / "missing.bin") + "\"", out), 1u);
  EXPECT_NE(tvtest::ReadFile(out).find("File not found"), std::string::npos) << tvtest::ReadFile(out);
}
#endif
