#include "pixel/DeflatedConversion.h"

#include "dicom/DicomFile.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/ValueRepresentation.h"

namespace quillon {

DCT_STATUS ConvertToDeflated(const std::string& sourcePath, const std::string& destinationPath,
                             const ConversionProgress& progress, std::string& error) {
  CDicomFile file;
  // The whole data set, pixel value included: it is written back whole.
  if (Status read = file.Load(sourcePath); !read) {
    error = read.Message();
    return DCT_STATUS::ReadFailed;
  }
  CDicomObject& object = file.DataSet();
  if (!object.IsUncompressed()) {
    error = "the pixel data is compressed; deflate keeps pixel data native, so decompress it first";
    return DCT_STATUS::HeaderFailed;
  }
  // Values are held little endian whatever the source's byte order, so a
  // big endian source is written as explicit VR little endian like any
  // other (setting the syntax sets the transfer mode).
  if (Status set = object.AddString(tags::kTransferSyntaxUid, vr::UI, uids::kDeflatedExplicitVrLittleEndian); !set) {
    error = set.Message();
    return DCT_STATUS::HeaderFailed;
  }
  if (progress && !progress(1, 1)) return DCT_STATUS::Cancelled;
  if (Status saved = SaveDicomFile(object, destinationPath); !saved) {
    error = saved.Message();
    return DCT_STATUS::WriteFailed;
  }
  return DCT_STATUS::Success;
}

}  // namespace quillon
