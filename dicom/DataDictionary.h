/// \file
/// The data dictionary: the VR of every standard tag, for streams that do
/// not carry VRs (implicit VR) and for elements created by tag alone.
/// Element names are not here; the dump takes them from the name table.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

/// One dictionary row, laid out so that its first four bytes read as a
/// little-endian word give the tag.
struct DictionaryRecord {
  uint16_t element;
  uint16_t group;
  DicomVR vr;
  uint16_t reserved;

  constexpr DicomTag Tag() const { return MakeTag(group, element); }
};

/// The rows sorted strictly ascending by tag, followed by a terminator row
/// (tag 0, VR 0) that the search range includes.
extern const DictionaryRecord kDataDictionary[];
/// Number of records including the terminator.
extern const size_t kDataDictionarySize;

/// The VR the dictionary gives `tag`: UL for every group length (gggg,0000),
/// LO for private creators (odd group, element 0010), 0 for unknown and
/// retired tags, 0xFFFF for the tags whose VR depends on the SOP class.
DicomVR LookupVR(DicomTag tag);

/// As LookupVR, but resolves the SOP-class-dependent tags: the structured
/// reporting trial SOP classes (1.2.840.10008.5.1.4.1.1.88.1 to .4) use the
/// VRs of the trial, every other class the final ones. Never 0xFFFF.
DicomVR LookupVRForSopClass(DicomTag tag, std::string_view sopClassUid);

}  // namespace quillon
