/// \file
/// Telling the encoding of a data set from its first element, for files
/// whose meta group names no transfer syntax or names one the data set is
/// not written in. Archives hold such files (an implicit VR data set under
/// an explicit VR syntax is the usual one), and other toolkits fail on them
/// half-way; this reader takes the encoding the bytes plainly show, and
/// says so in a warning.
#include "dicom/ByteOrder.h"
#include "dicom/DataDictionary.h"
#include "dicom/DicomObject.h"
#include "dicom/Stream.h"
#include "dicom/ValueRepresentation.h"

namespace quillon {

namespace {

const char* Describe(TransferMode mode) {
  switch (mode) {
    case TransferMode::ImplicitLittleEndian: return "implicit VR little endian";
    case TransferMode::ExplicitLittleEndian: return "explicit VR little endian";
    case TransferMode::ExplicitBigEndian: return "explicit VR big endian";
  }
  return "an unknown encoding";
}

/// What the first 8 bytes of a data set show.
struct FirstElementEvidence {
  /// Bytes 4 and 5 spell a DICOM VR: the header is explicit VR.
  bool explicitVr = false;
  /// The group number is smaller read big endian than little endian (data
  /// sets start with low groups, (0008,xxxx) as 00 08 in big endian).
  bool looksBigEndian = false;
  bool looksLittleEndian = false;
  /// Read as implicit VR, the header's 32-bit length fits in the stream.
  bool implicitFits = false;
  /// Read as implicit VR (little endian), the dictionary knows the tag.
  bool implicitTagKnown = false;
  /// The dictionary gives the tag the VR that bytes 4 and 5 spell.
  bool dictionaryAgreesWithExplicit = false;
};

FirstElementEvidence Examine(const uint8_t* bytes, uint64_t remainingAfterHeader) {
  FirstElementEvidence evidence;
  const auto vrCode = static_cast<DicomVR>(bytes[4] | (bytes[5] << 8));
  evidence.explicitVr = IsKnownVR(vrCode);
  const uint16_t littleGroup = LoadU16(bytes, false);
  const uint16_t bigGroup = LoadU16(bytes, true);
  evidence.looksBigEndian = bigGroup < littleGroup;
  evidence.looksLittleEndian = littleGroup < bigGroup;
  const uint32_t implicitLength = LoadU32(bytes + 4, false);
  evidence.implicitFits = implicitLength == 0xFFFFFFFF || implicitLength <= remainingAfterHeader;
  evidence.implicitTagKnown = LookupVR(MakeTag(littleGroup, LoadU16(bytes + 2, false))) != vr::kUnknown;
  const DicomTag tag = evidence.looksBigEndian ? MakeTag(bigGroup, LoadU16(bytes + 2, true))
                                               : MakeTag(littleGroup, LoadU16(bytes + 2, false));
  const DicomVR known = LookupVR(tag);
  evidence.dictionaryAgreesWithExplicit = known == vrCode;
  return evidence;
}

TransferMode ExplicitByteOrder(const FirstElementEvidence& evidence, TransferMode fallback) {
  if (evidence.looksBigEndian) return TransferMode::ExplicitBigEndian;
  if (evidence.looksLittleEndian) return TransferMode::ExplicitLittleEndian;
  return fallback == TransferMode::ExplicitBigEndian ? fallback : TransferMode::ExplicitLittleEndian;
}

/// The encoding to read the data set in, given the one announced.
TransferMode Decide(const FirstElementEvidence& evidence, TransferMode announced, bool syntaxAnnounced) {
  // Without (0002,0010) explicit VR little endian is the guess to check.
  if (!syntaxAnnounced) announced = TransferMode::ExplicitLittleEndian;
  if (announced == TransferMode::ImplicitLittleEndian) {
    // An implicit header spells a VR at bytes 4-5 only when its length is
    // at least 0x4141; ask for more than that before calling it explicit:
    // a length that cannot be, or the VR the dictionary gives the tag.
    const bool plainlyExplicit =
        evidence.explicitVr && (!evidence.implicitFits || evidence.dictionaryAgreesWithExplicit);
    return plainlyExplicit ? ExplicitByteOrder(evidence, TransferMode::ExplicitLittleEndian) : announced;
  }
  // Explicit VR bytes that are no VR may also be a damaged VR (read with a
  // 16-bit length, with a warning); take the header as implicit only when
  // that reading makes sense: the length fits and the tag is a known one.
  if (!evidence.explicitVr) {
    return evidence.implicitFits && evidence.implicitTagKnown ? TransferMode::ImplicitLittleEndian : announced;
  }
  return ExplicitByteOrder(evidence, announced);
}

}  // namespace

void CDicomObject::ChooseDataSetEncoding(CStream& stream, bool syntaxAnnounced) {
  const uint64_t position = stream.GetPosition();
  uint8_t bytes[8];
  const uint64_t got = stream.Read(bytes, sizeof bytes);
  stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);
  if (got < sizeof bytes) {
    if (!syntaxAnnounced && got > 0) {
      ReadContext().Warn("the file meta information has no Transfer Syntax UID (0002,0010)");
    }
    return;  // no element to judge by; a short tail is reported by the reader
  }
  const FirstElementEvidence evidence = Examine(bytes, stream.Remaining() - sizeof bytes);
  const TransferMode chosen = Decide(evidence, m_transferMode, syntaxAnnounced);
  if (!syntaxAnnounced) {
    ReadContext().Warn(std::string("the file meta information has no Transfer Syntax UID (0002,0010); the data "
                                   "set was read as ") +
                       Describe(chosen) + ", as its first element shows");
  } else if (chosen != m_transferMode) {
    ReadContext().Warn(std::string("the Transfer Syntax UID (0002,0010) names ") + Describe(m_transferMode) +
                       ", but the data set is in " + Describe(chosen) + "; it was read as such");
  }
  m_transferMode = chosen;
}

}  // namespace quillon
