// The "Select Format" dialog's choices: each listed format stands for one
// conversion, the transfer syntax choice counts only when decompressing,
// and nothing selected runs nothing.
#include "app/SelectFormatDlg.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using Purpose = CSelectFormatDlg::Purpose;

TEST(SelectFormatDialog, EveryListedFormatStandsForItsConversion) {
  struct Case {
    Purpose purpose;
    bool monochrome;
    std::vector<ConversionMode> modes;
  };
  const std::vector<Case> cases = {
      {Purpose::Compress, false,
       {ConversionMode::YbrFull, ConversionMode::YbrFullRle, ConversionMode::JpegLossy, ConversionMode::Rle}},
      {Purpose::Compress, true, {ConversionMode::Rle, ConversionMode::JpegLossy}},
      {Purpose::Decompress, false,
       {ConversionMode::Uncompressed, ConversionMode::RgbPixelInterleave, ConversionMode::RgbPlanar}},
      {Purpose::Decompress, true, {ConversionMode::Uncompressed}},
  };
  for (const Case& c : cases) {
    CSelectFormatDlg dialog(c.purpose, c.monochrome);
    ASSERT_EQ(dialog.Formats().size(), c.modes.size());
    EXPECT_FALSE(dialog.GetChoice().has_value());  // OK with nothing selected
    for (size_t i = 0; i < c.modes.size(); ++i) {
      dialog.format = static_cast<int>(i);
      ASSERT_TRUE(dialog.GetChoice().has_value());
      EXPECT_EQ(dialog.GetChoice()->mode, c.modes[i]) << dialog.Formats()[i];
    }
  }
}

TEST(SelectFormatDialog, MonochromeAndTransferSyntaxCountOnlyWhereOffered) {
  CSelectFormatDlg greyCompress(Purpose::Compress, true);
  greyCompress.format = 0;
  greyCompress.monochrome = true;   // the box is disabled for a grey source
  greyCompress.transferSyntax = 1;  // and the syntax when compressing
  EXPECT_FALSE(greyCompress.GetChoice()->toMonochrome);
  EXPECT_EQ(greyCompress.GetChoice()->options.transferSyntaxChoice, TransferSyntaxChoice::Unchanged);

  CSelectFormatDlg colourDecompress(Purpose::Decompress, false);
  colourDecompress.format = 2;
  colourDecompress.monochrome = true;
  for (const auto& [index, choice] : std::vector<std::pair<int, TransferSyntaxChoice>>{
           {0, TransferSyntaxChoice::Unchanged}, {1, TransferSyntaxChoice::Implicit}, {2, TransferSyntaxChoice::Explicit}}) {
    colourDecompress.transferSyntax = index;
    EXPECT_EQ(colourDecompress.GetChoice()->options.transferSyntaxChoice, choice);
  }
  EXPECT_TRUE(colourDecompress.GetChoice()->toMonochrome);
}

}  // namespace
}  // namespace quillon
