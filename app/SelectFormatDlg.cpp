#include "app/SelectFormatDlg.h"

namespace quillon {

CSelectFormatDlg::CSelectFormatDlg(Purpose purpose, bool monochromeSource)
    : m_purpose(purpose), m_monochromeSource(monochromeSource) {
  if (purpose == Purpose::Compress && !monochromeSource) {
    m_formats = {"YBR_FULL", "YBR_FULL + RLE", "JPEG Lossy", "RLE"};
    m_modes = {ConversionMode::YbrFull, ConversionMode::YbrFullRle, ConversionMode::JpegLossy, ConversionMode::Rle};
  } else if (purpose == Purpose::Compress) {
    m_formats = {"RLE", "JPEG Lossy"};
    m_modes = {ConversionMode::Rle, ConversionMode::JpegLossy};
  } else if (!monochromeSource) {
    m_formats = {"Uncompressed", "RGB Pixel Interleave", "RGB Planar"};
    m_modes = {ConversionMode::Uncompressed, ConversionMode::RgbPixelInterleave, ConversionMode::RgbPlanar};
  } else {
    m_formats = {"Uncompressed"};
    m_modes = {ConversionMode::Uncompressed};
  }
}

std::optional<CSelectFormatDlg::Choice> CSelectFormatDlg::GetChoice() const {
  if (format < 0 || static_cast<size_t>(format) >= m_modes.size()) return std::nullopt;
  Choice choice{m_modes[static_cast<size_t>(format)], monochrome && IsMonochromeEnabled(), ConversionOptions{}};
  if (IsTransferSyntaxEnabled()) {
    switch (transferSyntax) {
      case 1: choice.options.transferSyntaxChoice = TransferSyntaxChoice::Implicit; break;
      case 2: choice.options.transferSyntaxChoice = TransferSyntaxChoice::Explicit; break;
      default: choice.options.transferSyntaxChoice = TransferSyntaxChoice::Unchanged; break;
    }
  }
  return choice;
}

}  // namespace quillon
