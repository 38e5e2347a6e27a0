/// \file
/// Telling the encoding of a data set from its first elements, for files
/// whose meta group names no transfer syntax or names one the data set is
/// not written in.
#pragma once

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

}  // namespace quillon
