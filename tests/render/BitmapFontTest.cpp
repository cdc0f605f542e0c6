#include "render/BitmapFont.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr int32_t kCellHeight = 14;

int32_t SetBits(const BitmapFont::Glyph& glyph, int32_t row) {
  const int32_t rowBytes = (glyph.width + 7) / 8;
  int32_t count = 0;
  for (int32_t i = 0; i < rowBytes; ++i) count += std::popcount(glyph.bits[static_cast<std::size_t>(row * rowBytes + i)]);
  return count;
}

class BitmapFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(BitmapFont::Locate("Arial", file_, faceIndex_)) << "fonts-liberation is needed";
    font_ = BitmapFont::Load(file_, faceIndex_, kCellHeight);
    ASSERT_NE(font_, nullptr);
  }
  std::string file_;
  int32_t faceIndex_ = 0;
  std::shared_ptr<const BitmapFont> font_;
};

TEST(BitmapFontCodes, BytesFollowWindows1252) {
  EXPECT_EQ(BitmapFont::CodePointOf('A'), 0x41u);
  EXPECT_EQ(BitmapFont::CodePointOf(0x80), 0x20ACu);  // euro sign
  EXPECT_EQ(BitmapFont::CodePointOf(0x8A), 0x0160u);  // S with caron
  EXPECT_EQ(BitmapFont::CodePointOf(0x96), 0x2013u);  // en dash
  EXPECT_EQ(BitmapFont::CodePointOf(0x9F), 0x0178u);  // Y with diaeresis
  EXPECT_EQ(BitmapFont::CodePointOf(0x81), 0x0081u);  // undefined: kept
  EXPECT_EQ(BitmapFont::CodePointOf(0xA0), 0x00A0u);
  EXPECT_EQ(BitmapFont::CodePointOf(0xE9), 0x00E9u);
  EXPECT_EQ(BitmapFont::CodePointOf(0xFF), 0x00FFu);
}

TEST_F(BitmapFontTest, CellOfAscentAndDescentFillsFourteenPixels) {
  EXPECT_EQ(font_->CellHeight(), kCellHeight);
  EXPECT_EQ(font_->Ascent() + font_->Descent(), kCellHeight);
  EXPECT_GT(font_->Descent(), 0);
  EXPECT_LT(font_->PixelSize(), kCellHeight);  // the em is smaller than the cell
}

TEST_F(BitmapFontTest, SameFaceAndHeightAreRasterisedOnce) {
  EXPECT_EQ(BitmapFont::Load(file_, faceIndex_, kCellHeight), font_);
  const auto larger = BitmapFont::Load(file_, faceIndex_, 2 * kCellHeight);
  ASSERT_NE(larger, nullptr);
  EXPECT_NE(larger, font_);
  EXPECT_GT(larger->TextWidth("Skelvane"), font_->TextWidth("Skelvane"));
}

TEST_F(BitmapFontTest, GlyphRowsAreStoredBottomUp) {
  const BitmapFont::Glyph& t = font_->GlyphOf('T');
  ASSERT_GT(t.rows, 3);
  // The crossbar of a T is its top row, which comes last.
  EXPECT_GT(SetBits(t, t.rows - 1), SetBits(t, 0));
  EXPECT_EQ(t.bits.size(), static_cast<std::size_t>(t.rows * ((t.width + 7) / 8)));
}

TEST_F(BitmapFontTest, DescendersReachBelowTheBaseline) {
  const BitmapFont::Glyph& h = font_->GlyphOf('H');
  const BitmapFont::Glyph& g = font_->GlyphOf('g');
  EXPECT_EQ(h.rows, h.top);  // sits on the baseline
  EXPECT_GT(g.rows, g.top);
  EXPECT_LE(g.rows - g.top, font_->Descent());
  EXPECT_LE(h.top, font_->Ascent());
}

TEST_F(BitmapFontTest, SpaceHasAnAdvanceButNoSetBits) {
  const BitmapFont::Glyph& space = font_->GlyphOf(' ');
  for (int32_t row = 0; row < space.rows; ++row) EXPECT_EQ(SetBits(space, row), 0);
  EXPECT_GT(space.advance, 0);
}

TEST_F(BitmapFontTest, EveryByteIsMeasuredIncludingTheUndrawnLastCode) {
  EXPECT_GT(font_->Advance(0xFF), 0);
  EXPECT_GT(font_->GlyphOf(0x80).bits.size(), 0u);  // the euro sign has a glyph
  EXPECT_EQ(font_->TextWidth(""), 0);
  EXPECT_EQ(font_->TextWidth("MMMM"), 4 * font_->Advance('M'));
  EXPECT_EQ(font_->TextWidth("\xFF"), font_->Advance(0xFF));
}

TEST(BitmapFontFailures, FileThatIsNoFontCannotBeOpenedOrLoaded) {
  test::TempDir dir;
  const std::string bogus = dir.Write("bogus.ttf", std::string(512, '\x17'));
  EXPECT_FALSE(BitmapFont::CanOpen(bogus, 0));
  EXPECT_EQ(BitmapFont::Load(bogus, 0, kCellHeight), nullptr);
  EXPECT_FALSE(BitmapFont::CanOpen(dir.File("missing.ttf"), 0));
}

TEST(BitmapFontFailures, CellWithoutRoomForAnyGlyphIsRefused) {
  std::string file;
  int32_t faceIndex = 0;
  ASSERT_TRUE(BitmapFont::Locate("Arial", file, faceIndex));
  EXPECT_EQ(BitmapFont::Load(file, faceIndex, 0), nullptr);
}

}  // namespace
}  // namespace skelvane
