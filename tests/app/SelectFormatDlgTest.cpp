// The "Select Format" dialog's choices: each listed format stands for one
// conversion, the transfer syntax choice counts only when decompressing,
// and nothing selected runs nothing.
#include "app/SelectFormatDlg.h"
#include "dicom/DicomObject.h"
#include "support/ImageFixtures.h"

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
       {ConversionMode::YbrFull, ConversionMode::YbrFullRle, ConversionMode::JpegLossy, ConversionMode::Rle,
        ConversionMode::JpegLossless, ConversionMode::JpegLs, ConversionMode::JpegLs, ConversionMode::Jpeg2000,
        ConversionMode::Jpeg2000, ConversionMode::Deflate}},
      {Purpose::Compress, true,
       {ConversionMode::Rle, ConversionMode::JpegLossy, ConversionMode::JpegLossless, ConversionMode::JpegLs,
        ConversionMode::JpegLs, ConversionMode::Jpeg2000, ConversionMode::Jpeg2000, ConversionMode::Deflate}},
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

TEST(SelectFormatDialog, OffersOnlyWhatTheImageCanTakeAndTheSettingsOfTheLossyFormats) {
  // 16-bit grey, uncompressed: every format of native frames, none of
  // the 8-bit display formats.
  test::ImageRecipe recipe;
  recipe.bitsAllocated = 16;
  recipe.bitsStored = 12;
  CDicomObject object;
  test::FillImageObject(object, recipe, test::MakePixelBytes(recipe));
  const CSelectFormatDlg wide(Purpose::Compress, true,
                              [&object](ConversionMode mode) { return CanCompressPixelData(object, mode); });
  EXPECT_EQ(wide.Formats(), (std::vector<std::string>{"RLE", "JPEG Lossless", "JPEG-LS Lossless",
                                                      "JPEG-LS Near-Lossless", "JPEG 2000 Lossless",
                                                      "JPEG 2000 Lossy", "Deflate"}));
  EXPECT_TRUE(CanCompressPixelData(object));

  CSelectFormatDlg all(Purpose::Compress, false);
  all.monochrome = true;
  all.nearLossless = 3;
  all.compressionRatio = 20;
  for (int format = 0; format < static_cast<int>(all.Formats().size()); ++format) {
    all.format = format;
    const std::string& name = all.Formats()[static_cast<size_t>(format)];
    const CSelectFormatDlg::Choice choice = *all.GetChoice();
    EXPECT_EQ(choice.options.nearLossless, name == "JPEG-LS Near-Lossless" ? 3 : 0) << name;
    EXPECT_EQ(choice.options.compressionRatio, name == "JPEG 2000 Lossy" ? 20 : 0) << name;
    // The formats of every depth keep the samples: no reduction to grey.
    EXPECT_EQ(choice.toMonochrome, format < 4) << name;
  }
}

}  // namespace
}  // namespace quillon
