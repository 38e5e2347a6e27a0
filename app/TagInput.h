/// \file
/// Reading a tag typed in two fields (group and element) and deciding
/// whether an element may be placed under it. Shared by the element and
/// sequence dialogs so both refuse the same things with the same words.
#pragma once

#include "dicom/DicomTypes.h"
#include "dicom/ElementRules.h"

#include <cstdint>
#include <string>

namespace quillon {

/// Reads one tag field: 1 to 4 hexadecimal digits, spaces around them
/// allowed. "12345" and "" are refused, never cut to fit.
bool ParseTagField(const std::string& text, uint16_t& value);

/// Reads both fields; on failure `error` says which field is wrong.
bool ParseTypedTag(const std::string& groupText, const std::string& elementText, DicomTag& tag,
                   std::string& error);

/// Whether an element (or, `asSequence`, a sequence) may be stored under
/// `tag`: never tag 0 in the editor, and nothing the data model refuses
/// (item and delimiter tags, file meta elements inside an item, Pixel Data
/// as a sequence; see dicom/ElementRules.h). `error` says why not.
bool CheckTagPlacement(DicomTag tag, bool insideItem, bool asSequence, std::string& error);

}  // namespace quillon
