#include "edit/DummyValue.h"

#include "dicom/ValueRepresentation.h"

namespace quillon {

std::string DummyValue(DicomVR vr) {
  switch (vr) {
    case vr::AE:
    case vr::CS:
    case vr::LO:
    case vr::LT:
    case vr::PN:
    case vr::SH:
    case vr::ST:
    case vr::UC:
    case vr::UR:
    case vr::UT: return "ANONYMIZED";
    case vr::AS: return "000D";
    case vr::DA: return "19000101";
    case vr::DT: return "19000101000000";
    case vr::TM: return "000000";
    case vr::DS:
    case vr::IS: return "0";
    case vr::US:
    case vr::SS:
    case vr::OW: return std::string(2, '\0');
    case vr::UL:
    case vr::SL:
    case vr::FL:
    case vr::AT:
    case vr::OF:
    case vr::OL: return std::string(4, '\0');
    case vr::FD:
    case vr::SV:
    case vr::UV:
    case vr::OD:
    case vr::OV: return std::string(8, '\0');
    case vr::OB:
    case vr::UN: return std::string(2, '\0');
    default: return {};
  }
}

}  // namespace quillon
