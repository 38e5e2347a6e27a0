/// \file
/// The file meta information this program writes: what the editor's New
/// MetaInfo puts into an empty data set, and what a save (the editor's, or
/// `quillon-cli rewrite`) adds to a data set whose meta group lacks what
/// every reader needs (a transfer syntax above all). Without them a saved
/// file is one that DCMTK and pydicom refuse or misread, so a save
/// completes them from the data set itself and says so.
#pragma once

#include "dicom/DicomTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon {

class CDicomElement;
class CDicomObject;

/// What New MetaInfo and the completion write about this program.
inline constexpr const char* kImplementationVersionName = "Velt10";
inline constexpr const char* kSourceAeTitle = "OSTRICA_AE";

/// The meta elements `object` lacks, made from the data set: group length,
/// version, Media Storage SOP Class and Instance UIDs (from (0008,0016)
/// and (0008,0018), when the data set has them), the transfer syntax the
/// data set is written in, and this program's implementation UID and
/// name. Empty when nothing is missing.
std::vector<std::unique_ptr<CDicomElement>> MissingMetaElements(const CDicomObject& object);

/// One line per element: "(0002,0010) Transfer Syntax UID 1.2.840.10008.1.2.1".
std::string DescribeMetaElements(const std::vector<std::unique_ptr<CDicomElement>>& elements);

}  // namespace quillon
