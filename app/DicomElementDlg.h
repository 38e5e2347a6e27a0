/// \file
/// CDicomElementDlg — the logic of the "DICOM Element" dialog: tag, VR,
/// value and length as the user types them, the VR list, "Lookup VR" and
/// "Create UID", and the check made on OK. The window layer shows the
/// fields and forwards the buttons; nothing here draws.
///
/// OK is refused, with a message and the dialog left open, for anything
/// that cannot be stored and written back: a tag field that is not 1 to 4
/// hexadecimal digits, tag (0000,0000), item tags (FFFE,xxxx), file meta
/// elements (0002,xxxx) inside an item, a number outside its VR's range or
/// with text after it, text the data set's character set cannot hold, and a
/// declared length shorter than the typed bytes or beyond kMaxValueLength.
#pragma once

#include "dicom/CharacterSet.h"
#include "dicom/DicomTypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class CDicomElement;
class ISettingsStore;
class IUserInterface;

class CDicomElementDlg {
 public:
  /// The VRs offered, in the order of the list; entry 0 stands for no VR.
  /// Every VR of the standard is there; those added since the list was
  /// first made follow the older ones, so their places stay.
  static constexpr std::array<const char*, 35> kVrNames = {
      "Undef.", "OB", "OW", "UN", "UI", "AE", "AS", "AT", "CS", "DA", "DS", "DT", "FL", "FD", "IS", "LO", "LT", "PN",
      "SH",     "SL", "SS", "ST", "TM", "UL", "US", "UT", "OD", "OF", "OL", "OV", "SQ", "SV", "UC", "UR", "UV"};
  /// The largest value the dialog stores (declared or typed): larger values
  /// belong in a file made by other means, not typed into a dialog.
  static constexpr uint32_t kMaxValueLength = 64u * 1024 * 1024;

  /// Where the element goes: into a sequence item or the top-level data set,
  /// the character set of its text, and the SOP class its VRs are looked up
  /// in.
  struct Target {
    bool insideItem = false;
    CCharacterSet charset;
    std::string sopClassUid;
  };

  /// `insertMode` false opens the dialog to edit an element: its tag cannot
  /// change.
  CDicomElementDlg(bool insertMode, Target target);

  /// Fills the fields from `element` for editing. False for VRs whose value
  /// the dialog cannot show as text (FL, FD, AT, OB, OW, UN and others).
  bool FillFrom(const CDicomElement& element);

  // ---- The fields, as typed ----
  std::string groupText;
  std::string elementText;
  /// UTF-8, as the user sees it.
  std::string valueText;
  /// Digits only (the edit accepts nothing else).
  std::string lengthText = "0";

  bool IsInsertMode() const { return m_insertMode; }
  DicomVR GetVR() const { return m_vr; }
  /// Sets the VR as the list would: an unknown code selects no entry.
  void SetVR(DicomVR vr) { m_vr = vr; }
  /// The list entry of the current VR; -1 when it is not in the list.
  int SelectedVrIndex() const;
  /// Selecting list entry `index` (0: no VR).
  void SelectVrIndex(int index);
  /// The length is typed only for binary VRs; text and numbers bring their
  /// own.
  bool IsLengthEditable() const;

  /// "Lookup VR": the data dictionary's VR for the tag as typed, in the
  /// target's SOP class. A tag that cannot be read leaves the VR alone.
  void LookupVR();
  /// "Create UID": a new UID replaces the value.
  void CreateUid(ISettingsStore* store);

  /// The check made on OK. True when every field is valid: the result is
  /// then ready (Result()). Otherwise shows the reason through `ui` and
  /// returns false: the dialog stays open.
  bool Accept(IUserInterface& ui);

  /// What OK produced: the element to store.
  struct ResultValue {
    DicomTag tag = 0;
    DicomVR vr = 0;
    /// The value bytes as stored: text in the data set's character set,
    /// numbers little endian, raw bytes zero-filled to the declared length.
    std::vector<uint8_t> bytes;
    /// The user chose to move the data set to ISO_IR 192 (UTF-8) so the
    /// text could be stored: `bytes` are UTF-8, and the data set's text must
    /// be converted before they are stored.
    bool convertToUtf8 = false;
  };
  const ResultValue& Result() const { return m_result; }

 private:
  /// Checks and encodes the value for the current VR; the reason on failure.
  bool BuildValue(std::string& error);
  /// Encodes typed text of a text VR into `bytes`. A value shown by
  /// FillFrom and left as it was keeps its stored bytes, whatever they
  /// are. A character the set cannot hold is refused, offering through
  /// `ui` to move the data set to ISO_IR 192.
  bool EncodeTypedText(IUserInterface& ui, std::string& error);

  bool m_insertMode;
  /// The value as FillFrom showed it and as it was stored.
  std::string m_shownText;
  std::vector<uint8_t> m_storedBytes;
  DicomVR m_storedVr = 0;
  Target m_target;
  DicomVR m_vr = 0;
  ResultValue m_result;
};

}  // namespace quillon
