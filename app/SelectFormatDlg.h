/// \file
/// CSelectFormatDlg — the logic of the "Select Format" dialog of Compress
/// Pixel Data and Decompress Pixel Data: which formats it offers for a
/// colour or a monochrome source (only those the image can take, when told
/// which), which controls are enabled, and which conversion the choice
/// stands for.
#pragma once

#include "pixel/PixelDataConverter.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CSelectFormatDlg {
 public:
  enum class Purpose { Compress, Decompress };
  /// The transfer syntax choices, in the order of the list.
  static constexpr std::array<const char*, 3> kTransferSyntaxes = {"Unchanged", "Force Implicit", "Force Explicit"};
  /// Whether the image can be converted with a mode; every mode when empty.
  using ModeFilter = std::function<bool(ConversionMode)>;

  /// A monochrome source is one whose Photometric Interpretation contains
  /// "MONOCHROME"; anything else is treated as colour. When compressing,
  /// only the formats whose mode `canCompress` accepts are listed.
  CSelectFormatDlg(Purpose purpose, bool monochromeSource, const ModeFilter& canCompress = {});

  const std::vector<std::string>& Formats() const { return m_formats; }
  /// "Convert to Monochrome" can be ticked: colour sources, and not with a
  /// format of every depth (those keep the samples as they are).
  bool IsMonochromeEnabled() const;
  /// The transfer syntax can be chosen (decompressing only).
  bool IsTransferSyntaxEnabled() const { return m_purpose == Purpose::Decompress; }
  /// The selected format takes the JPEG-LS error bound / the JPEG 2000
  /// compression ratio.
  bool IsNearLosslessEnabled() const { return SelectedSetting() == Setting::NearLossless; }
  bool IsCompressionRatioEnabled() const { return SelectedSetting() == Setting::CompressionRatio; }

  // ---- The controls' values ----
  int format = -1;  ///< the selected entry of Formats(), -1 for none
  bool monochrome = false;
  int transferSyntax = 0;  ///< the entry of kTransferSyntaxes
  int32_t nearLossless = 2;        ///< JPEG-LS near-lossless error, 1 to 255
  double compressionRatio = 10;    ///< JPEG 2000 lossy ratio, above 1

  struct Choice {
    ConversionMode mode;
    bool toMonochrome;
    ConversionOptions options;
  };
  /// The conversion the controls stand for; nothing when no format is
  /// selected (OK then ends the command: it never picks one for the user).
  std::optional<Choice> GetChoice() const;

 private:
  /// What besides the mode a format sets.
  enum class Setting { None, NearLossless, CompressionRatio };
  struct Format {
    const char* name;
    ConversionMode mode;
    Setting setting;
  };
  Setting SelectedSetting() const;

  Purpose m_purpose;
  bool m_monochromeSource;
  std::vector<std::string> m_formats;
  std::vector<Format> m_entries;
};

}  // namespace quillon
