/// \file
/// The data dictionary of the current standard: the VR, VM, keyword and
/// name of every public attribute, for streams that do not carry VRs
/// (implicit VR), for elements created by tag alone, for the VR offered
/// when inserting, and for names the built-in name table lacks.
#pragma once

#include "dicom/DicomTypes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

/// Flags of a dictionary row.
enum DictionaryFlag : uint16_t {
  kRetired = 1,    ///< retired from the standard
  kRepeating = 2,  ///< stands for every even group of 50xx, 60xx or 7Fxx
};

/// One dictionary row, laid out so that its first four bytes read as a
/// little-endian word give the tag. A repeating group's row carries its
/// first group (5000, 6000, 7F00).
struct DictionaryRecord {
  uint16_t element;
  uint16_t group;
  DicomVR vr;
  uint16_t flags;

  constexpr DicomTag Tag() const { return MakeTag(group, element); }
};

/// The texts of one row.
struct DictionaryTexts {
  std::string_view keyword;  ///< "PatientName"
  std::string_view name;     ///< "patient_name ", the built-in name table's style
  std::string_view vm;       ///< "1", "1-n", "2-2n", ...
};

/// The rows sorted strictly ascending by tag, followed by a terminator row
/// (tag 0, VR 0) that the search range includes.
extern const DictionaryRecord kDataDictionary[];
/// Number of records including the terminator.
extern const size_t kDataDictionarySize;
/// The texts of each row of kDataDictionary, by the same index.
extern const DictionaryTexts kDictionaryTexts[];

/// The row of `tag`, the repeating groups mapped to their first group; null
/// when the dictionary has none.
const DictionaryRecord* FindDictionaryRecord(DicomTag tag);

/// The texts of `tag`'s row, or null.
const DictionaryTexts* FindDictionaryTexts(DicomTag tag);

/// The VR the dictionary gives `tag`: UL for every group length (gggg,0000),
/// LO for private creators (odd group, element 0010 to 00FF), 0 for
/// unknown and retired tags, 0xFFFF for the tags whose VR depends on the SOP
/// class.
DicomVR LookupVR(DicomTag tag);

/// As LookupVR, but resolves the SOP-class-dependent tags: the structured
/// reporting trial SOP classes (1.2.840.10008.5.1.4.1.1.88.1 to .4) use the
/// VRs of the trial, every other class the final ones. Never 0xFFFF.
DicomVR LookupVRForSopClass(DicomTag tag, std::string_view sopClassUid);

}  // namespace quillon
