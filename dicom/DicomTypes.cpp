#include "dicom/DicomTypes.h"

namespace quillon {

TransferMode TransferModeForSyntax(const std::string& transferSyntaxUid) {
  if (transferSyntaxUid == uids::kImplicitVrLittleEndian) return TransferMode::ImplicitLittleEndian;
  if (transferSyntaxUid == uids::kExplicitVrBigEndian) return TransferMode::ExplicitBigEndian;
  return TransferMode::ExplicitLittleEndian;
}

}  // namespace quillon
