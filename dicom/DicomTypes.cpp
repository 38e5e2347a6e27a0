#include "dicom/DicomTypes.h"

namespace quillon {

TransferMode TransferModeForSyntax(const std::string& transferSyntaxUid) {
  if (transferSyntaxUid == uids::kImplicitVrLittleEndian) return TransferMode::ImplicitLittleEndian;
  if (transferSyntaxUid == uids::kExplicitVrBigEndian) return TransferMode::ExplicitBigEndian;
  return TransferMode::ExplicitLittleEndian;
}

bool IsNativePixelSyntax(const std::string& transferSyntaxUid) {
  return transferSyntaxUid == uids::kImplicitVrLittleEndian || transferSyntaxUid == uids::kExplicitVrLittleEndian ||
         transferSyntaxUid == uids::kExplicitVrBigEndian || transferSyntaxUid == uids::kDeflatedExplicitVrLittleEndian;
}

}  // namespace quillon
