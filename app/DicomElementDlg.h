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
///
/// Binary values (OB, OW, OF, OD, OL, OV, UN) are edited as hexadecimal
/// bytes in the order the file holds them, up to kMaxHexLength; a larger
/// value is held as bytes and changed only by importing a file. Any binary
/// value can be imported from or exported to a file.
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
  /// The largest binary value shown as hexadecimal text: 64 KiB make some
  /// 200,000 characters, about what a text field still edits smoothly.
  static constexpr uint32_t kMaxHexLength = 64u * 1024;
  /// The largest value Import reads: the longest even length an element's
  /// 32-bit length field can carry.
  static constexpr uint64_t kMaxImportLength = 0xFFFFFFFEu;

  /// Where the element goes: into a sequence item or the top-level data set,
  /// the character set of its text, and the SOP class its VRs are looked up
  /// in.
  struct Target {
    bool insideItem = false;
    CCharacterSet charset;
    std::string sopClassUid;
    /// The data set is written explicit VR big endian: words of OW, OF, OL,
    /// OD and OV (outside group 0002) show and import in that byte order.
    bool bigEndian = false;
    /// Where Import and Export start: the document's folder (empty for a
    /// new document).
    std::string folder = {};
  };

  /// `insertMode` false opens the dialog to edit an element: its tag cannot
  /// change.
  CDicomElementDlg(bool insertMode, Target target);

  /// Fills the fields from `element` for editing. False, with the reason in
  /// Refusal(), for a value the dialog cannot edit: compressed pixel data
  /// (its fragments belong to the pixel commands) and pixel data that was
  /// not read.
  bool FillFrom(const CDicomElement& element);
  const std::string& Refusal() const { return m_refusal; }

  // ---- The fields, as typed ----
  std::string groupText;
  std::string elementText;
  /// UTF-8, as the user sees it.
  std::string valueText;
  /// Digits only (the edit accepts nothing else).
  std::string lengthText = "0";

  bool IsInsertMode() const { return m_insertMode; }
  DicomVR GetVR() const { return m_vr; }
  /// Sets the VR as the list would: an unknown code selects no entry. A
  /// held binary value is dropped when the VR is no longer binary.
  void SetVR(DicomVR vr);
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

  /// The current VR (with no VR chosen, the dictionary's for the typed tag)
  /// is binary: its value is hexadecimal and Import and Export apply.
  bool IsBinary() const;
  /// The value is too large to show as text: the value field reads
  /// "(N bytes — use Import/Export)" and cannot be typed in.
  bool IsValueHeld() const { return m_valueHeld; }
  const std::string& Folder() const { return m_target.folder; }
  /// "Import...": the bytes of the file at `path` (in the file's byte
  /// order) replace the value, whatever their number, when they are a whole
  /// number of the VR's words. False, with the reason shown through `ui`,
  /// otherwise.
  bool ImportValue(const std::string& path, IUserInterface& ui);
  /// "Export...": writes the value's bytes, as shown, to `path`. False,
  /// with the reason shown through `ui`, when the typed value cannot be
  /// read or the file cannot be written.
  bool ExportValue(const std::string& path, IUserInterface& ui);

  /// The check made on OK. True when every field is valid: the result is
  /// then ready (Result()). Otherwise shows the reason through `ui` and
  /// returns false: the dialog stays open.
  bool Accept(IUserInterface& ui);

  /// What OK produced: the element to store.
  struct ResultValue {
    DicomTag tag = 0;
    DicomVR vr = 0;
    /// The value bytes as stored: text in the data set's character set,
    /// numbers little endian, binary values zero-filled to the declared
    /// length and in the model's byte order (little endian).
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
  /// The binary value in the file's byte order: the held bytes, or the
  /// typed hexadecimal.
  bool BinaryBytes(std::vector<uint8_t>& bytes, std::string& error) const;
  /// Shows `bytes` (file order) as hexadecimal, or holds them when large.
  void SetBinaryValue(std::vector<uint8_t> bytes);
  /// Whether values of `vr` under `tag` are swapped between the file's
  /// order and the model's (little endian).
  bool SwapsWords(DicomTag tag, DicomVR vr) const;
  /// The VR a value is built for: the chosen one, or the dictionary's.
  DicomVR EffectiveVR() const;
  /// Encodes typed text of a text VR into `bytes`. A value shown by
  /// FillFrom and left as it was keeps its stored bytes, whatever they
  /// are. A character the set cannot hold is refused, offering through
  /// `ui` to move the data set to ISO_IR 192.
  bool EncodeTypedText(IUserInterface& ui, std::string& error);

  bool m_insertMode;
  std::string m_refusal;
  /// A binary value too large to show, in the file's byte order.
  bool m_valueHeld = false;
  std::vector<uint8_t> m_heldBytes;
  /// The value as FillFrom showed it and as it was stored.
  std::string m_shownText;
  std::vector<uint8_t> m_storedBytes;
  DicomVR m_storedVr = 0;
  Target m_target;
  DicomVR m_vr = 0;
  ResultValue m_result;
};

}  // namespace quillon
