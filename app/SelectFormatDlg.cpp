#include "app/SelectFormatDlg.h"

#include <algorithm>

namespace quillon {

namespace {

using Mode = ConversionMode;

}  // namespace

CSelectFormatDlg::CSelectFormatDlg(Purpose purpose, bool monochromeSource, const ModeFilter& canCompress)
    : m_purpose(purpose), m_monochromeSource(monochromeSource) {
  // The 8-bit display formats first, as they always were; then the formats
  // of every depth.
  const std::vector<Format> everyDepth = {{"JPEG Lossless", Mode::JpegLossless, Setting::None},
                                          {"JPEG-LS Lossless", Mode::JpegLs, Setting::None},
                                          {"JPEG-LS Near-Lossless", Mode::JpegLs, Setting::NearLossless},
                                          {"JPEG 2000 Lossless", Mode::Jpeg2000, Setting::None},
                                          {"JPEG 2000 Lossy", Mode::Jpeg2000, Setting::CompressionRatio},
                                          {"Deflate", Mode::Deflate, Setting::None}};
  std::vector<Format> entries;
  if (purpose == Purpose::Compress && !monochromeSource) {
    entries = {{"YBR_FULL", Mode::YbrFull, Setting::None},
               {"YBR_FULL + RLE", Mode::YbrFullRle, Setting::None},
               {"JPEG Lossy", Mode::JpegLossy, Setting::None},
               {"RLE", Mode::Rle, Setting::None}};
  } else if (purpose == Purpose::Compress) {
    entries = {{"RLE", Mode::Rle, Setting::None}, {"JPEG Lossy", Mode::JpegLossy, Setting::None}};
  } else if (!monochromeSource) {
    entries = {{"Uncompressed", Mode::Uncompressed, Setting::None},
               {"RGB Pixel Interleave", Mode::RgbPixelInterleave, Setting::None},
               {"RGB Planar", Mode::RgbPlanar, Setting::None}};
  } else {
    entries = {{"Uncompressed", Mode::Uncompressed, Setting::None}};
  }
  if (purpose == Purpose::Compress) {
    entries.insert(entries.end(), everyDepth.begin(), everyDepth.end());
    if (canCompress) {
      std::erase_if(entries, [&canCompress](const Format& entry) { return !canCompress(entry.mode); });
    }
  }
  m_entries = std::move(entries);
  for (const Format& entry : m_entries) m_formats.emplace_back(entry.name);
}

bool CSelectFormatDlg::IsMonochromeEnabled() const {
  if (m_monochromeSource) return false;
  if (format < 0 || static_cast<size_t>(format) >= m_entries.size()) return true;
  const Mode mode = m_entries[static_cast<size_t>(format)].mode;
  return mode != Mode::JpegLossless && mode != Mode::JpegLs && mode != Mode::Jpeg2000 && mode != Mode::Deflate;
}

CSelectFormatDlg::Setting CSelectFormatDlg::SelectedSetting() const {
  if (format < 0 || static_cast<size_t>(format) >= m_entries.size()) return Setting::None;
  return m_entries[static_cast<size_t>(format)].setting;
}

std::optional<CSelectFormatDlg::Choice> CSelectFormatDlg::GetChoice() const {
  if (format < 0 || static_cast<size_t>(format) >= m_entries.size()) return std::nullopt;
  Choice choice{m_entries[static_cast<size_t>(format)].mode, monochrome && IsMonochromeEnabled(), ConversionOptions{}};
  if (IsTransferSyntaxEnabled()) {
    switch (transferSyntax) {
      case 1: choice.options.transferSyntaxChoice = TransferSyntaxChoice::Implicit; break;
      case 2: choice.options.transferSyntaxChoice = TransferSyntaxChoice::Explicit; break;
      default: choice.options.transferSyntaxChoice = TransferSyntaxChoice::Unchanged; break;
    }
  }
  if (IsNearLosslessEnabled()) choice.options.nearLossless = std::clamp(nearLossless, 1, 255);
  if (IsCompressionRatioEnabled()) choice.options.compressionRatio = std::max(compressionRatio, 1.5);
  return choice;
}

}  // namespace quillon
