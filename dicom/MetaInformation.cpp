#include "dicom/MetaInformation.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/UidGenerator.h"
#include "dicom/ValueRepresentation.h"

namespace quillon {

namespace {

struct MetaEntry {
  DicomTag tag;
  DicomVR vr;
  const char* name;
};

constexpr MetaEntry kMetaEntries[] = {
    {0x00020000, vr::UL, "File Meta Information Group Length"},
    {0x00020001, vr::OB, "File Meta Information Version"},
    {tags::kMediaStorageSopClassUid, vr::UI, "Media Storage SOP Class UID"},
    {tags::kMediaStorageSopInstanceUid, vr::UI, "Media Storage SOP Instance UID"},
    {tags::kTransferSyntaxUid, vr::UI, "Transfer Syntax UID"},
    {0x00020012, vr::UI, "Implementation Class UID"},
    {0x00020013, vr::SH, "Implementation Version Name"},
};

const char* SyntaxOf(TransferMode mode) {
  switch (mode) {
    case TransferMode::ImplicitLittleEndian: return uids::kImplicitVrLittleEndian;
    case TransferMode::ExplicitLittleEndian: return uids::kExplicitVrLittleEndian;
    case TransferMode::ExplicitBigEndian: return uids::kExplicitVrBigEndian;
  }
  return uids::kExplicitVrLittleEndian;
}

/// A UI or SH value padded to even length as the standard asks (UIDs with
/// a zero byte, text with a space).
std::unique_ptr<CDicomElement> TextElement(DicomTag tag, DicomVR vr, std::string text) {
  if (text.size() % 2 != 0) text.push_back(vr == vr::UI ? '\0' : ' ');
  return std::make_unique<CDicomElement>(tag, vr, reinterpret_cast<const uint8_t*>(text.data()),
                                         static_cast<uint32_t>(text.size()));
}

}  // namespace

std::vector<std::unique_ptr<CDicomElement>> MissingMetaElements(const CDicomObject& object) {
  std::vector<std::unique_ptr<CDicomElement>> missing;
  for (const MetaEntry& entry : kMetaEntries) {
    if (object.Contains(entry.tag)) continue;
    std::string text;
    switch (entry.tag) {
      case 0x00020000: {
        const uint8_t zero[4] = {};  // the writer puts in the group's length
        missing.push_back(std::make_unique<CDicomElement>(entry.tag, entry.vr, zero, 4));
        continue;
      }
      case 0x00020001: {
        const uint8_t version[2] = {0x00, 0x01};
        missing.push_back(std::make_unique<CDicomElement>(entry.tag, entry.vr, version, 2));
        continue;
      }
      case tags::kMediaStorageSopClassUid:
        if (object.GetString(tags::kSopClassUid, text) != DicomStatus::Success || text.empty()) continue;
        break;
      case tags::kMediaStorageSopInstanceUid:
        if (object.GetString(tags::kSopInstanceUid, text) != DicomStatus::Success || text.empty()) continue;
        break;
      case tags::kTransferSyntaxUid: text = SyntaxOf(object.GetTransferMode()); break;
      case 0x00020012: text = OrganisationUidRoot(); break;
      default: text = kImplementationVersionName; break;
    }
    missing.push_back(TextElement(entry.tag, entry.vr, std::move(text)));
  }
  return missing;
}

std::string DescribeMetaElements(const std::vector<std::unique_ptr<CDicomElement>>& elements) {
  std::string lines;
  for (const auto& element : elements) {
    for (const MetaEntry& entry : kMetaEntries) {
      if (entry.tag != element->GetTag()) continue;
      lines += FormatTag(entry.tag) + " " + entry.name;
      if (entry.vr == vr::UI || entry.vr == vr::SH) {
        std::string text;
        (void)element->GetString(text);
        lines += ": " + text;
      }
      lines += "\n";
    }
  }
  return lines;
}

}  // namespace quillon
