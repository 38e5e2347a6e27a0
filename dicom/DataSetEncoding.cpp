/// \file
/// Telling the encoding of a data set from its first elements, for files
/// whose meta group names no transfer syntax or names one the data set is
/// not written in. Archives hold such files (an implicit VR data set under
/// an explicit VR syntax is the usual one), and other toolkits fail on them
/// half-way. This reader takes the encoding in which the first elements
/// parse, says so in a warning, and makes (0002,0010) name it, so that the
/// file is right once saved.
#include "dicom/DataSetEncoding.h"

#include "base/ByteOrder.h"
#include "base/Stream.h"
#include "dicom/DicomObject.h"
#include "dicom/ReadContext.h"
#include "dicom/ValueRepresentation.h"

namespace quillon {

namespace {

/// Elements walked to judge an encoding: enough that a wrong guess runs
/// into a length past the end, an invalid VR or tags out of order.
constexpr int kElementsToTry = 16;

}  // namespace

const char* DescribeEncoding(TransferMode mode) {
  switch (mode) {
    case TransferMode::ImplicitLittleEndian: return "implicit VR little endian";
    case TransferMode::ExplicitLittleEndian: return "explicit VR little endian";
    case TransferMode::ExplicitBigEndian: return "explicit VR big endian";
  }
  return "an unknown encoding";
}

namespace {

const char* SyntaxOf(TransferMode mode) {
  switch (mode) {
    case TransferMode::ImplicitLittleEndian: return uids::kImplicitVrLittleEndian;
    case TransferMode::ExplicitLittleEndian: return uids::kExplicitVrLittleEndian;
    case TransferMode::ExplicitBigEndian: return uids::kExplicitVrBigEndian;
  }
  return uids::kExplicitVrLittleEndian;
}

bool IsUncompressedSyntax(const std::string& uid) {
  return uid == uids::kImplicitVrLittleEndian || uid == uids::kExplicitVrLittleEndian ||
         uid == uids::kExplicitVrBigEndian;
}

/// How far the data set from `start` reads as `mode`.
struct Trial {
  /// Elements read before the walk stopped.
  int elements = 0;
  /// The walk reached the end of the stream.
  bool reachedEnd = false;
  /// Nothing was wrong: the walk stopped at kElementsToTry elements, at
  /// the end of the stream, at an undefined length (a sequence or pixel
  /// fragments, which cannot be stepped over by length) or at zero padding.
  bool clean = true;
};

/// Walks the first elements of the data set at `start` as `mode`: each
/// header must be complete, in explicit VR with a DICOM VR, tags ascending,
/// no item tag, every length within the stream. Whatever this library
/// writes walks clean in the encoding it was written in (the writer sorts,
/// writes DICOM VRs only and refuses item tags as elements). Leaves the
/// stream position where it was.
Trial Walk(CStream& stream, uint64_t start, TransferMode mode) {
  const bool bigEndian = mode == TransferMode::ExplicitBigEndian;
  const uint64_t end = stream.GetLength();
  const uint64_t restore = stream.GetPosition();
  uint64_t position = start;
  DicomTag previous = 0;
  Trial trial;
  auto fail = [&trial] { trial.clean = false; };
  for (; trial.elements < kElementsToTry && trial.clean; ++trial.elements) {
    if (position >= end || end - position <= 1) {  // the end (a stray pad byte allowed)
      trial.reachedEnd = true;
      break;
    }
    uint8_t header[12];
    stream.Seek(static_cast<int64_t>(position), CStream::SeekOrigin::Begin);
    const uint64_t got = stream.Read(header, sizeof header);
    if (got < 8) {
      fail();
      break;
    }
    const DicomTag tag = MakeTag(LoadU16(header, bigEndian), LoadU16(header + 2, bigEndian));
    if (tag == tags::kItem || tag == tags::kItemDelimitation || tag == tags::kSequenceDelimitation || tag < previous) {
      fail();
      break;
    }
    if (tag == 0 && LoadU32(header + 4, false) == 0) break;  // zero padding, or nothing to judge
    previous = tag;
    uint64_t headerSize = 8;
    uint32_t length = 0;
    if (mode == TransferMode::ImplicitLittleEndian) {
      length = LoadU32(header + 4, false);
    } else {
      const auto code = static_cast<DicomVR>(header[4] | (header[5] << 8));
      if (!IsKnownVR(code) || (HasLongExplicitHeader(code) && got < 12)) {
        fail();
        break;
      }
      if (HasLongExplicitHeader(code)) {
        headerSize = 12;
        length = LoadU32(header + 8, bigEndian);
      } else {
        length = LoadU16(header + 6, bigEndian);
      }
    }
    if (length == 0xFFFFFFFF) {
      ++trial.elements;
      break;
    }
    if (position + headerSize > end || length > end - position - headerSize) {
      fail();
      break;
    }
    position += headerSize + length;
  }
  stream.Seek(static_cast<int64_t>(restore), CStream::SeekOrigin::Begin);
  return trial;
}

}  // namespace

void ChooseDataSetEncoding(CStream& stream, CDicomObject& object, bool syntaxAnnounced, CReadContext& context) {
  const uint64_t start = stream.GetPosition();
  if (stream.Remaining() <= 1) {
    if (!syntaxAnnounced) context.Warn("the file meta information has no Transfer Syntax UID (0002,0010)");
    return;  // no data set to judge by
  }
  std::string syntax;
  (void)object.GetString(tags::kTransferSyntaxUid, syntax);
  if (syntax == uids::kDeflatedExplicitVrLittleEndian) return;  // compressed bytes: nothing to walk
  if (syntaxAnnounced && !IsUncompressedSyntax(syntax)) {
    // Compressed syntaxes are explicit VR little endian, but some writers
    // put the data set out in implicit VR under them. The syntax stays (it
    // says how the frames are compressed); only the encoding is taken from
    // the elements.
    const Trial explicitTrial = Walk(stream, start, TransferMode::ExplicitLittleEndian);
    if (explicitTrial.clean) return;
    const Trial implicitTrial = Walk(stream, start, TransferMode::ImplicitLittleEndian);
    if (!implicitTrial.clean || implicitTrial.elements <= explicitTrial.elements) return;
    context.Warn("the Transfer Syntax UID (0002,0010) is " + syntax +
                 " (explicit VR little endian), but the data set is in implicit VR little endian; it was read as "
                 "such, and is saved in explicit VR as the transfer syntax requires");
    object.SetTransferMode(TransferMode::ImplicitLittleEndian);
    return;
  }
  // Without (0002,0010) explicit VR little endian is the first guess. It
  // stands unless it stumbles and another encoding walks clean further: a
  // damaged element later on is the reader's business, not a sign of
  // another encoding.
  const TransferMode announced = syntaxAnnounced ? object.GetTransferMode() : TransferMode::ExplicitLittleEndian;
  TransferMode chosen = announced;
  const Trial first = Walk(stream, start, announced);
  if (!first.clean) {
    int best = first.elements;
    for (const TransferMode candidate : {TransferMode::ImplicitLittleEndian, TransferMode::ExplicitLittleEndian,
                                         TransferMode::ExplicitBigEndian}) {
      if (candidate == announced) continue;
      const Trial other = Walk(stream, start, candidate);
      if (other.clean && other.elements > best) {
        chosen = candidate;
        best = other.elements;
      }
    }
  }
  if (syntaxAnnounced && chosen == announced) return;

  std::string warning =
      syntaxAnnounced
          ? "the Transfer Syntax UID (0002,0010) is " + syntax + " (" + DescribeEncoding(announced) +
                "), but the data set is in " + DescribeEncoding(chosen) + "; it was read as such"
          : std::string("the file meta information has no Transfer Syntax UID (0002,0010); the data set was read as ") +
                DescribeEncoding(chosen) + ", the encoding its first elements show";
  // (0002,0010) is made to name what the data set is, so that the file is
  // right once saved, and read back in the encoding it announces.
  (void)object.AddString(tags::kTransferSyntaxUid, vr::UI, SyntaxOf(chosen));
  warning += std::string(", and (0002,0010) was set to ") + SyntaxOf(chosen);
  context.Warn(warning);
  object.SetTransferMode(chosen);
}

}  // namespace quillon

namespace quillon {

std::optional<TransferMode> DetectBareDataSetEncoding(CStream& stream) {
  const uint64_t start = stream.GetPosition();
  std::optional<TransferMode> best;
  int bestElements = 0;
  for (const TransferMode candidate : {TransferMode::ImplicitLittleEndian, TransferMode::ExplicitLittleEndian,
                                       TransferMode::ExplicitBigEndian}) {
    uint8_t first[2];
    stream.Seek(static_cast<int64_t>(start), CStream::SeekOrigin::Begin);
    if (!stream.ReadExact(first, sizeof first)) break;
    stream.Seek(static_cast<int64_t>(start), CStream::SeekOrigin::Begin);
    // A data set begins with a command, meta, directory or identifying
    // group; random bytes that happen to parse rarely do as well.
    const uint16_t group = LoadU16(first, candidate == TransferMode::ExplicitBigEndian);
    if (group > 0x0008 || group % 2 != 0) continue;
    const Trial trial = Walk(stream, start, candidate);
    if (!trial.clean || trial.elements == 0 || (trial.elements < 2 && !trial.reachedEnd)) continue;
    if (trial.elements > bestElements) {
      best = candidate;
      bestElements = trial.elements;
    }
  }
  stream.Seek(static_cast<int64_t>(start), CStream::SeekOrigin::Begin);
  return best;
}

}  // namespace quillon
