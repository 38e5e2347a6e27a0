/// \file
/// Re-encoding the text of data sets and elements in another character set.
#include "dicom/CharsetConversion.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include <cstring>
#include <memory>

namespace quillon {
namespace {

constexpr DicomTag kSpecificCharacterSet = 0x00080005;

std::string DescribeTag(DicomTag tag) {
  char text[16];
  std::snprintf(text, sizeof text, "(%04X,%04X)", TagGroup(tag), TagElement(tag));
  return text;
}

/// The bytes of `element`'s text in `to`, or why it cannot move; `changed`
/// false when the value stays as it is.
Result<std::string> Reencode(const CDicomElement& element, const CCharacterSet& from, const CCharacterSet& to,
                             bool& changed) {
  changed = false;
  const std::string_view stored = element.GetTextView();
  if (!UsesSpecificCharacterSet(element.GetVR()) || IsPlainAsciiText(stored)) return std::string();
  const TextDelimiters delimiters = DelimitersOf(element.GetVR());
  DecodeNotes notes;
  std::string text;
  from.Decode(stored, delimiters, text, &notes);
  if (notes.undecodable) {
    return Error(ErrorCode::Refused, DescribeTag(element.GetTag()) + " holds bytes that do not read in " +
                                         from.Describe() + ", so its text cannot be carried over.");
  }
  Result<std::string> encoded = to.Encode(text, delimiters);
  if (!encoded) return encoded.GetError().WithContext(DescribeTag(element.GetTag()) + ": ");
  changed = *encoded != stored;
  return encoded;
}

/// Adds the rewrites of `object`'s text to `plan`.
Status PlanObject(CDicomObject& object, const CCharacterSet& from, const CCharacterSet& to,
                  std::vector<TextRewrite>& plan) {
  for (const auto& entry : object.Elements().Sorted()) {
    CDicomElement* element = entry.element.get();
    if (element == nullptr || entry.tag == kSpecificCharacterSet) continue;
    if (auto* sequence = dynamic_cast<CDicomSequence*>(element)) {
      for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
        CSequenceItem* item = sequence->GetItem(i);
        if (item == nullptr || item->Elements().Find(kSpecificCharacterSet) != nullptr) continue;
        if (Status planned = PlanObject(*item, from, to, plan); !planned) return planned;
      }
      continue;
    }
    bool changed = false;
    Result<std::string> bytes = Reencode(*element, from, to, changed);
    if (!bytes) return bytes.GetError();
    if (changed) plan.push_back({&object, entry.tag, std::move(*bytes)});
  }
  return Ok();
}

void StoreBytes(CDicomElement& element, const std::string& bytes) {
  // The element pads an odd length as it does for any value it is given.
  CDicomElement padded(element.GetTag(), element.GetVR(), bytes.data(), static_cast<uint32_t>(bytes.size()));
  const uint32_t length = padded.GetLength();
  element.SetValue(padded.ReleaseValue(), length);
}

}  // namespace

Result<std::vector<TextRewrite>> PlanTextConversion(CDicomObject& object, const CCharacterSet& from,
                                                    const CCharacterSet& to) {
  std::vector<TextRewrite> plan;
  if (Status planned = PlanObject(object, from, to, plan); !planned) return planned.GetError();
  return plan;
}

Status ConvertElementText(CDicomElement& element, const CCharacterSet& from, const CCharacterSet& to) {
  if (auto* sequence = dynamic_cast<CDicomSequence*>(&element)) {
    std::vector<TextRewrite> plan;
    for (size_t i = 0; i < sequence->GetItemCount(); ++i) {
      CSequenceItem* item = sequence->GetItem(i);
      if (item == nullptr || item->Elements().Find(kSpecificCharacterSet) != nullptr) continue;
      if (Status planned = PlanObject(*item, from, to, plan); !planned) return planned;
    }
    for (const TextRewrite& rewrite : plan) StoreBytes(*rewrite.container->Elements().Find(rewrite.tag), rewrite.bytes);
    return Ok();
  }
  bool changed = false;
  Result<std::string> bytes = Reencode(element, from, to, changed);
  if (!bytes) return bytes.GetError();
  if (changed) StoreBytes(element, *bytes);
  return Ok();
}

}  // namespace quillon
