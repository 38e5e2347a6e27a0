/// \file
/// Telling the encoding of a data set from its first elements, for files
/// whose meta group names no transfer syntax or names one the data set is
/// not written in.
#pragma once

#include "dicom/DicomTypes.h"

#include <optional>

namespace quillon {

class CDicomObject;
class CReadContext;
class CStream;

/// Checks the encoding the meta group of `object` announced against the
/// first elements of the data set at the stream position, and switches
/// `object` to the encoding they parse in, with a warning in `context` and
/// (0002,0010) set to name it, when they do not parse in the announced one.
/// `syntaxAnnounced` says whether (0002,0010) was present. The stream
/// position is left where it was.
void ChooseDataSetEncoding(CStream& stream, CDicomObject& object, bool syntaxAnnounced, CReadContext& context);

/// The encoding a bare data set at the stream position is in (no preamble,
/// no "DICM"): the one of the three uncompressed encodings in which its
/// first elements walk clean furthest, when the first tag is one a data
/// set starts with (groups 0000 to 0008) and at least two elements, or all
/// there is, parse. Nothing when none does: then it is no DICOM data at
/// all. The stream position is left where it was.
std::optional<TransferMode> DetectBareDataSetEncoding(CStream& stream);
/// "explicit VR little endian" and the like.
const char* DescribeEncoding(TransferMode mode);

}  // namespace quillon
