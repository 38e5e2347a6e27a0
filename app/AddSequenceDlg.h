/// \file
/// CAddSequenceDlg — the logic of the "Add Sequence Element" dialog: the
/// tag of a new, empty sequence, checked on OK.
#pragma once

#include "dicom/DicomTypes.h"

#include <string>

namespace quillon {

class IUserInterface;

class CAddSequenceDlg {
 public:
  /// `insideItem`: the sequence goes into a sequence item. `sopClassUid`:
  /// the SOP class its tag is looked up in.
  CAddSequenceDlg(bool insideItem, std::string sopClassUid);

  std::string groupText;
  std::string elementText;

  /// The check made on OK: the tag must be valid where the sequence goes
  /// (else a message, and the dialog stays open); a tag the dictionary does
  /// not call a sequence is asked about ("This is not a standard sequence
  /// tag, Continue?"), Cancel keeping the dialog open.
  bool Accept(IUserInterface& ui);
  /// The tag OK produced.
  DicomTag Tag() const { return m_tag; }

 private:
  bool m_insideItem;
  std::string m_sopClassUid;
  DicomTag m_tag = 0;
};

}  // namespace quillon
