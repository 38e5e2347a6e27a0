/// \file
/// CSelectFormatDlg — the logic of the "Select Format" dialog of Compress
/// Pixel Data and Decompress Pixel Data: which formats it offers for a
/// colour or a monochrome source, which controls are enabled, and which
/// conversion the choice stands for.
#pragma once

#include "pixel/PixelDataConverter.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class CSelectFormatDlg {
 public:
  enum class Purpose { Compress, Decompress };
  /// The transfer syntax choices, in the order of the list.
  static constexpr std::array<const char*, 3> kTransferSyntaxes = {"Unchanged", "Force Implicit", "Force Explicit"};

  /// A monochrome source is one whose Photometric Interpretation contains
  /// "MONOCHROME"; anything else is treated as colour.
  CSelectFormatDlg(Purpose purpose, bool monochromeSource);

  const std::vector<std::string>& Formats() const { return m_formats; }
  /// "Convert to Monochrome" can be ticked (colour sources only).
  bool IsMonochromeEnabled() const { return !m_monochromeSource; }
  /// The transfer syntax can be chosen (decompressing only).
  bool IsTransferSyntaxEnabled() const { return m_purpose == Purpose::Decompress; }

  // ---- The controls' values ----
  int format = -1;  ///< the selected entry of Formats(), -1 for none
  bool monochrome = false;
  int transferSyntax = 0;  ///< the entry of kTransferSyntaxes

  struct Choice {
    ConversionMode mode;
    bool toMonochrome;
    ConversionOptions options;
  };
  /// The conversion the controls stand for; nothing when no format is
  /// selected (OK then ends the command: it never picks one for the user).
  std::optional<Choice> GetChoice() const;

 private:
  Purpose m_purpose;
  bool m_monochromeSource;
  std::vector<std::string> m_formats;
  std::vector<ConversionMode> m_modes;
};

}  // namespace quillon
