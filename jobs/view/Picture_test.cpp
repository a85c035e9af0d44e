#include "jobs/view/Picture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "jobs/view/ImageFormat.h"

namespace jobs {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kYellow = 0x00FFFF;  // COLORREF: red 255, green 255, blue 0
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0xFF0000;

// Every pixel's COLORREF, top-down.
std::vector<uint32_t> Snapshot(const Picture& p) {
  std::vector<uint32_t> out;
  for (int32_t row = p.height() - 1; row >= 0; --row)
    for (int32_t x = 0; x < p.width(); ++x) out.push_back(p.GetPixelColor(x, row));
  return out;
}

std::vector<unsigned char> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  fs::path dir =
      fs::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / ("jobsview_picture_test." + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir;
}

TEST(PictureTest, CreateMakesAYellowPictureAndRefusesBadSizes) {
  Picture p;
  ASSERT_TRUE(p.Create(7, 5));
  EXPECT_EQ(p.width(), 7);
  EXPECT_EQ(p.height(), 5);
  for (uint32_t c : Snapshot(p)) EXPECT_EQ(c, kYellow);
  // The painting words are 0xFFRRGGBB.
  for (int i = 0; i < 7 * 5; ++i) EXPECT_EQ(p.scanlines()[i], 0xFFFFFF00u);
  EXPECT_EQ(p.bytes_per_line(), 28u);

  for (auto [w, h] : {std::pair{0, 5},
                      {5, 0},
                      {-1, 5},
                      {5, -3},
                      {INT32_MIN, INT32_MIN},
                      {Picture::kMaxSide + 1, 1},
                      {1, Picture::kMaxSide + 1},
                      {65535, 65535}}) {
    EXPECT_FALSE(p.Create(w, h)) << w << "x" << h;
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.width(), 0);
    EXPECT_EQ(p.height(), 0);
  }
  int32_t row[3] = {1, 2, 3};
  EXPECT_FALSE(p.PutRow(1, row, 3));  // an empty picture takes no rows
  EXPECT_TRUE(p.Create(1, 1));
  EXPECT_EQ(p.GetPixelColor(0, 0), kYellow);
}

TEST(PictureTest, LibraryRowsCountFromTheBottom) {
  Picture p;
  ASSERT_TRUE(p.Create(3, 2));
  EXPECT_TRUE(p.SetPixelColor(0, 0, 0x00336699));
  EXPECT_EQ(p.GetPixelColor(0, 0), 0x00336699u);
  // Library row 0 is the last scanline; 0x99 blue, 0x66 green, 0x33 red.
  EXPECT_EQ(p.scanlines()[3], 0xFF996633u);
  EXPECT_TRUE(p.SetPixelColor(2, 1, 0xAB0000FF));  // bits 24-31 ignored
  EXPECT_EQ(p.GetPixelColor(2, 1), kRed);
  EXPECT_EQ(p.scanlines()[2], 0xFFFF0000u);
  const std::vector<uint32_t> before = Snapshot(p);
  EXPECT_FALSE(p.SetPixelColor(3, 0, kBlue));
  EXPECT_FALSE(p.SetPixelColor(-1, 0, kBlue));
  EXPECT_FALSE(p.SetPixelColor(0, 2, kBlue));
  EXPECT_FALSE(p.SetPixelColor(0, -1, kBlue));
  EXPECT_EQ(Snapshot(p), before);
  EXPECT_EQ(p.GetPixelColor(3, 0), 0u);
}

TEST(PictureTest, RowsLandFromTheTopAndOutsideRowsChangeNothing) {
  Picture p;
  ASSERT_TRUE(p.Create(3, 4));
  const int32_t red[3] = {int32_t(kRed), int32_t(kRed), int32_t(kRed)};
  const int32_t blue[3] = {int32_t(kBlue), int32_t(kBlue), int32_t(kBlue)};
  const int32_t green[3] = {int32_t(kGreen), int32_t(kGreen), int32_t(kGreen)};

  EXPECT_TRUE(p.PutRow(1, red, 3));
  EXPECT_TRUE(p.PutRow(4, blue, 3));
  for (int32_t x = 0; x < 3; ++x) {
    EXPECT_EQ(p.GetPixelColor(x, 3), kRed);   // row 1: the top
    EXPECT_EQ(p.GetPixelColor(x, 0), kBlue);  // row H: the bottom
    EXPECT_EQ(p.GetPixelColor(x, 2), kYellow);
    EXPECT_EQ(p.GetPixelColor(x, 1), kYellow);
  }

  const std::vector<uint32_t> before = Snapshot(p);
  for (int32_t line : {0, -1, 5, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(p.PutRow(line, green, 3)) << line;
  }
  EXPECT_EQ(Snapshot(p), before);

  EXPECT_TRUE(p.PutRow(1, green, 3));  // last write wins
  EXPECT_EQ(p.GetPixelColor(1, 3), kGreen);

  // Colours with the top byte set (negative longs on the wire).
  const int32_t high[3] = {int32_t(0xFF0000FFu), int32_t(0x80FF0000u), 0x7F00FF00};
  EXPECT_TRUE(p.PutRow(2, high, 3));
  EXPECT_EQ(p.GetPixelColor(0, 2), kRed);
  EXPECT_EQ(p.GetPixelColor(1, 2), kBlue);
  EXPECT_EQ(p.GetPixelColor(2, 2), kGreen);
}

TEST(PictureTest, ShortAndLongRowsStayInsideTheirData) {
  Picture p;
  ASSERT_TRUE(p.Create(4, 3));
  // Only the first two values belong to the row; the rest must not be read.
  const int32_t data[4] = {int32_t(kRed), int32_t(kBlue), int32_t(kGreen), int32_t(kGreen)};
  EXPECT_TRUE(p.PutRow(2, data, 2));
  EXPECT_EQ(p.GetPixelColor(0, 1), kRed);
  EXPECT_EQ(p.GetPixelColor(1, 1), kBlue);
  EXPECT_EQ(p.GetPixelColor(2, 1), kYellow);
  EXPECT_EQ(p.GetPixelColor(3, 1), kYellow);
  EXPECT_TRUE(p.PutRow(3, data, 0));
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(p.GetPixelColor(x, 0), kYellow);

  // A longer row writes the width and does not spill into the next row.
  std::vector<int32_t> wide(9, int32_t(kBlue));
  EXPECT_TRUE(p.PutRow(1, wide.data(), wide.size()));
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(p.GetPixelColor(x, 2), kBlue);
  EXPECT_EQ(p.GetPixelColor(2, 1), kYellow);
}

TEST(ImageFormatTest, ExtensionPicksTheFormatInAnyCase) {
  EXPECT_EQ(FormatForPath("a.jpg"), ImageFormat::Jpeg);
  EXPECT_EQ(FormatForPath("a.JPG"), ImageFormat::Jpeg);
  EXPECT_EQ(FormatForPath("/tmp/x y/a.png"), ImageFormat::Png);
  EXPECT_EQ(FormatForPath("a.PnG"), ImageFormat::Png);
  EXPECT_EQ(FormatForPath("a.b.BMP"), ImageFormat::Bmp);
  EXPECT_EQ(FormatForPath("out.Tga"), ImageFormat::Tga);
  for (const char* none : {"", "a", "a.jpeg", "a.gif", "a.png.", "png", "dir.png/file", "a.tga ", ".png"}) {
    EXPECT_EQ(FormatForPath(none), std::nullopt) << '"' << none << '"';
  }
}

class PictureSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TempDir();
    // 5 x 3: top row red, middle green, bottom blue, pixel (4, top) white.
    ASSERT_TRUE(p_.Create(5, 3));
    std::vector<int32_t> row(5);
    const uint32_t colors[3] = {kRed, kGreen, kBlue};
    for (int line = 1; line <= 3; ++line) {
      row.assign(5, int32_t(colors[line - 1]));
      if (line == 1) row[4] = 0xFFFFFF;
      ASSERT_TRUE(p_.PutRow(line, row.data(), row.size()));
    }
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Reads `path` back and checks size and the top-down RGB content, each
  // channel within `tolerance`.
  void ExpectContent(const fs::path& path, int tolerance) {
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &n, 3);
    ASSERT_NE(data, nullptr) << path << ": " << stbi_failure_reason();
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    const unsigned char rgb[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        for (int c = 0; c < 3; ++c) {
          const int want = (y == 0 && x == 4) ? 255 : rgb[y][c];
          EXPECT_NEAR(data[(y * 5 + x) * 3 + c], want, tolerance) << path << " x=" << x << " y=" << y << " c=" << c;
        }
      }
    }
    stbi_image_free(data);
  }

  fs::path dir_;
  Picture p_;
};

TEST_F(PictureSaveTest, EachFormatWritesItsOwnFile) {
  const fs::path png = dir_ / "a.PNG", bmp = dir_ / "a.bmp", tga = dir_ / "a.Tga", jpg = dir_ / "a.jpg";
  ASSERT_TRUE(p_.Save(png, *FormatForPath(png)));
  ASSERT_TRUE(p_.Save(bmp, *FormatForPath(bmp)));
  ASSERT_TRUE(p_.Save(tga, *FormatForPath(tga)));
  ASSERT_TRUE(p_.Save(jpg, *FormatForPath(jpg)));

  const std::vector<unsigned char> pngMagic = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> bytes = ReadBytes(png);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_TRUE(std::equal(pngMagic.begin(), pngMagic.end(), bytes.begin()));

  bytes = ReadBytes(bmp);
  ASSERT_GE(bytes.size(), 54u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(bytes[28], 24);  // bits per pixel

  // TGA: no colour map, true colour (2) or its run-length form (10),
  // little-endian width and height at 12 and 14, 24 bits per pixel.
  bytes = ReadBytes(tga);
  ASSERT_GE(bytes.size(), 18u);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_TRUE(bytes[2] == 2 || bytes[2] == 10) << int(bytes[2]);
  EXPECT_EQ(bytes[12] | bytes[13] << 8, 5);
  EXPECT_EQ(bytes[14] | bytes[15] << 8, 3);
  EXPECT_EQ(bytes[16], 24);

  bytes = ReadBytes(jpg);
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(bytes[2], 0xFF);

  ExpectContent(png, 0);
  ExpectContent(bmp, 0);
  ExpectContent(tga, 0);
}

TEST_F(PictureSaveTest, FailedSavesSayFalse) {
  EXPECT_FALSE(p_.Save(dir_ / "no such folder" / "a.png", ImageFormat::Png));
  EXPECT_FALSE(fs::exists(dir_ / "no such folder"));
  Picture empty;
  EXPECT_FALSE(empty.Save(dir_ / "e.png", ImageFormat::Png));
  EXPECT_FALSE(fs::exists(dir_ / "e.png"));
}

}  // namespace
}  // namespace jobs
