#include "dicom/ElementRules.h"

#include "dicom/DicomElement.h"
#include "dicom/DicomEncapsulatedPixelData.h"
#include "dicom/DicomPixelData.h"
#include "dicom/DicomSequence.h"
#include "dicom/ReadContext.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"

#include <cstdio>

namespace quillon {

namespace {

constexpr uint16_t kMetaGroup = 0x0002;
constexpr uint64_t kMaxShortLength = 0xFFFF;

std::string WriteRuleProblem(DicomTag tag, DicomVR vr, uint64_t length, bool hasValue, ElementPlace place) {
  if (tag == tags::kItem) {
    return FormatTag(tag) + " is the item tag: it starts an item of a sequence and cannot be stored as an element.";
  }
  if (tag == tags::kItemDelimitation || tag == tags::kSequenceDelimitation) {
    return FormatTag(tag) +
           " is a delimitation tag, which the writer puts out itself: it cannot be stored as an element.";
  }
  if (TagGroup(tag) == kMetaGroup && place == ElementPlace::Item) {
    return FormatTag(tag) + " belongs to the file meta information (group 0002), which exists only at the top "
                            "of a file, not inside a sequence item.";
  }
  if (TagGroup(tag) == kMetaGroup && vr == vr::SQ) {
    return FormatTag(tag) + " cannot be a sequence: the file meta information (group 0002) holds no sequences.";
  }
  if (vr == vr::SQ && (length > 0 || hasValue)) {
    return FormatTag(tag) + " is a sequence: it holds items, not value bytes.";
  }
  // An empty (0000,0000) in implicit VR is eight zero bytes, which the
  // reader takes for padding and leaves out.
  if (tag == 0 && length == 0) {
    return FormatTag(tag) + " is the command group length: it needs its value.";
  }
  if (length >= CDicomElement::kUndefinedLength) {
    return FormatTag(tag) + ": a value of " + std::to_string(length) + " bytes is too long for an element (at most " +
           std::to_string(CDicomElement::kUndefinedLength - 1) + ").";
  }
  if (length > 0 && !hasValue) {
    return FormatTag(tag) + " has a length of " + std::to_string(length) + " bytes but no value.";
  }
  return {};
}

std::string ModelRuleProblem(DicomTag tag, DicomVR vr, uint64_t length, bool hasValue, ElementPlace place) {
  std::string problem = WriteRuleProblem(tag, vr, length, hasValue, place);
  if (!problem.empty()) return problem;
  if (vr == vr::kUnresolved) {
    return "The VR of " + FormatTag(tag) + " depends on the SOP class and has not been chosen.";
  }
  if (vr != vr::kUnknown && !IsKnownVR(vr)) {
    const auto printable = [](unsigned c) { return c >= 0x20 && c < 0x7F; };
    char code[32];
    if (printable(vr & 0xFFu) && printable(vr >> 8)) {
      std::snprintf(code, sizeof code, "\"%c%c\"", static_cast<char>(vr & 0xFFu), static_cast<char>(vr >> 8));
    } else {
      std::snprintf(code, sizeof code, "0x%04X", vr);
    }
    return FormatTag(tag) + ": " + code + " is not a DICOM value representation.";
  }
  if (vr != vr::kUnknown && !HasLongExplicitHeader(vr) && length > kMaxShortLength) {
    return FormatTag(tag) + ": a " + VrToString(vr) + " value can be at most " + std::to_string(kMaxShortLength) +
           " bytes long, since explicit VR files give it a 16-bit length (this one has " + std::to_string(length) +
           ").";
  }
  if (tag == tags::kPixelData && vr == vr::SQ) {
    return FormatTag(tag) + " Pixel Data holds pixels or compressed fragments, not a sequence of items.";
  }
  return {};
}

enum class RuleSet { Model, Write };

std::string Check(RuleSet rules, DicomTag tag, DicomVR vr, uint64_t length, bool hasValue, ElementPlace place) {
  return rules == RuleSet::Model ? ModelRuleProblem(tag, vr, length, hasValue, place)
                                 : WriteRuleProblem(tag, vr, length, hasValue, place);
}

std::string CheckBuilt(RuleSet rules, const CDicomElement& element, ElementPlace place, int depth);

std::string CheckSequence(RuleSet rules, const CDicomSequence& sequence, ElementPlace place, int depth) {
  const DicomTag tag = sequence.GetTag();
  if (sequence.GetVR() != vr::SQ) {
    return FormatTag(tag) + " holds items but its VR is " + VrToString(sequence.GetVR()) + ", not SQ.";
  }
  std::string problem = Check(rules, tag, vr::SQ, 0, false, place);
  if (!problem.empty()) return problem;
  // The reader refuses deeper nesting (an untrusted file could otherwise
  // exhaust the stack), so the writer cannot put it out. The data model may
  // hold it: a sequence added to an item does not know how deep that item
  // lies. Either way the walk goes no deeper, so it needs bounded stack.
  if (depth > CReadContext::kMaxNestingDepth) {
    if (rules == RuleSet::Model) return {};
    return FormatTag(tag) + ": sequences nested deeper than " + std::to_string(CReadContext::kMaxNestingDepth) +
           " levels cannot be read back.";
  }
  for (size_t i = 0; i < sequence.GetItemCount(); ++i) {
    const CSequenceItem* item = sequence.GetItem(i);
    if (item == nullptr) continue;
    for (const auto& entry : item->Elements().Sorted()) {
      problem = CheckBuilt(rules, *entry.element, ElementPlace::Item, depth);
      if (!problem.empty()) return FormatTag(tag) + " item " + std::to_string(i + 1) + ": " + problem;
    }
  }
  return {};
}

std::string CheckBuilt(RuleSet rules, const CDicomElement& element, ElementPlace place, int depth) {
  const DicomTag tag = element.GetTag();
  if (const auto* sequence = dynamic_cast<const CDicomSequence*>(&element)) {
    return CheckSequence(rules, *sequence, place, depth + 1);
  }
  if (const auto* pixels = dynamic_cast<const CDicomPixelData*>(&element)) {
    const bool leftInFile = pixels->IsEncapsulated()
                                ? !pixels->IsLoaded() && pixels->GetValuePosition() != CDicomPixelData::kUnknownPosition
                                : !pixels->IsLoaded() && element.GetLength() > 0;
    if (leftInFile) {
      return FormatTag(tag) + " Pixel Data was left in the file it was read from (the file was opened without "
                              "its pixel data), so it cannot be stored or saved.";
    }
    // Fragments carry their own lengths; only the tag and place matter.
    if (pixels->IsEncapsulated()) return Check(rules, tag, element.GetVR(), 0, false, place);
  }
  if (element.GetVR() == vr::SQ) {
    return FormatTag(tag) + " has VR SQ but holds value bytes instead of items.";
  }
  DicomVR vr = element.GetVR();
  // The writer frames a value too long for its VR's 16-bit length as UN;
  // judge it the way it will be written.
  if (rules == RuleSet::Write && vr != vr::kUnknown && !HasLongExplicitHeader(vr) &&
      element.GetLength() > kMaxShortLength) {
    vr = vr::UN;
  }
  return Check(rules, tag, vr, element.GetLength(), element.HasValue(), place);
}

/// A refusal carrying `problem`, or success when there is none.
Status Verdict(std::string problem) {
  if (problem.empty()) return Ok();
  return Error(ErrorCode::Refused, std::move(problem));
}

}  // namespace

std::string FormatTag(DicomTag tag) {
  char text[16];
  std::snprintf(text, sizeof text, "(%04X,%04X)", TagGroup(tag), TagElement(tag));
  return text;
}

Status CheckElementRules(DicomTag tag, DicomVR vr, uint64_t length, bool hasValue, ElementPlace place) {
  return Verdict(ModelRuleProblem(tag, vr, length, hasValue, place));
}

Status CheckElementWriteRules(DicomTag tag, DicomVR vr, uint64_t length, bool hasValue, ElementPlace place) {
  return Verdict(WriteRuleProblem(tag, vr, length, hasValue, place));
}

Status CheckElementRules(const CDicomElement& element, ElementPlace place) {
  return Verdict(CheckBuilt(RuleSet::Model, element, place, 0));
}

Status CheckElementWriteRules(const CDicomElement& element, ElementPlace place) {
  return Verdict(CheckBuilt(RuleSet::Write, element, place, 0));
}

}  // namespace quillon
