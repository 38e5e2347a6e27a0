/// \file
/// make-bench-corpus OUTDIR: writes the three files the dump benchmark
/// times, with our own writer, the same bytes on every run.
///
///  - nested.dcm: about 200,000 elements, nearly all inside sequences (a top
///    sequence of items that each hold a nested sequence), in the VRs a real
///    structured report or reference list is made of. It measures the cost
///    per element of reading and dumping: header parsing, one allocation per
///    value, the tree of items, and the text of each line.
///  - latin1.dcm: the same elements in ISO_IR 100, every name holding a
///    letter beyond ASCII, so each of them is decoded for the UTF-8 dump.
///  - frames.dcm: 300 native frames of 512x512 16-bit MONOCHROME2 (about
///    157 MB). It measures the bulk path: a read of pixel data should cost
///    little more than copying the file into memory, and hold it only once.
///
/// All are explicit VR little endian media files with meta information.
#include "base/AtomicFileWriter.h"
#include "dicom/DicomFileWriter.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "base/FileStream.h"
#include "dicom/SequenceItem.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/DicomPixelData.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillon;

// Fixed UIDs under the project's root keep the files identical across runs.
constexpr const char* kUidBase = "1.3.6.1.4.1.58231.1.900";
constexpr const char* kSecondaryCapture = "1.2.840.10008.5.1.4.1.1.7";
constexpr const char* kMultiFrameGrayscaleWord = "1.2.840.10008.5.1.4.1.1.7.3";
constexpr const char* kCtImage = "1.2.840.10008.5.1.4.1.1.2";

// nested.dcm: 5,700 items x (10 elements + 1 sequence + 3 items x 8) =
// 199,500 elements in sequences, plus the top level.
constexpr int kTopItems = 5700;
constexpr int kNestedItems = 3;

constexpr int kFrames = 300;
constexpr uint16_t kRows = 512;
constexpr uint16_t kColumns = 512;

std::string Uid(const char* kind, long number) {
  return std::string(kUidBase) + "." + kind + "." + std::to_string(number);
}

/// A decimal string with a fixed number of decimals, made from integers
/// alone so it is the same on every platform.
std::string Decimal(long value, int decimals) {
  long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const long magnitude = value < 0 ? -value : value;
  char text[32];
  std::snprintf(text, sizeof text, "%s%ld.%0*ld", value < 0 ? "-" : "", magnitude / scale, decimals,
                magnitude % scale);
  return text;
}

bool Check(const Status& status, const char* what) {
  if (status) return true;
  std::fprintf(stderr, "make-bench-corpus: cannot add %s\n", what);
  return false;
}

/// The names of the data set: plain ASCII, or in Latin-1 with one letter
/// beyond ASCII in each (ISO_IR 100), the text a European archive holds.
struct Names {
  const char* patient;
  const char* observer;
  const char* reference;
};
constexpr Names kAsciiNames{"Patient^", "Observer^", "Reference "};
constexpr Names kLatin1Names{"M\xFCller^", "Ob\xE9rver^", "R\xE9f\xE9rence "};

void AddNestedItem(CDicomSequence& sequence, long index, const Names& names, int& elements) {
  auto item = std::make_unique<CSequenceItem>();
  bool ok = true;
  ok &= Check(item->AddString(0x00080104, vr::LO, names.reference + std::to_string(index)), "LO");
  ok &= Check(item->AddString(0x00081150, vr::UI, kCtImage), "UI");
  ok &= Check(item->AddString(0x00081155, vr::UI, Uid("2", index)), "UI");
  ok &= Check(item->AddUInt16(0x00280002, vr::US, static_cast<uint16_t>(index % 3 + 1)), "US");
  ok &= Check(item->AddString(0x0040A010, vr::CS, index % 2 ? "CONTAINS" : "INFERRED FROM"), "CS");
  ok &= Check(item->AddString(0x0040A123, vr::PN, names.observer + std::to_string(index % 97) + "^Q"), "PN");
  ok &= Check(item->AddDouble(0x0040A161, vr::FD, static_cast<double>(index) * 0.25), "FD");
  ok &= Check(item->AddString(0x0040A30A, vr::DS, Decimal(index * 37 % 100000 - 5000, 3)), "DS");
  if (ok) elements += 8;
  sequence.AppendItem(std::move(item));
}

void AddTopItem(CDicomSequence& sequence, long index, const Names& names, int& elements) {
  auto item = std::make_unique<CSequenceItem>();
  bool ok = true;
  ok &= Check(item->AddString(0x00080060, vr::CS, index % 3 ? "CT" : "MR"), "CS");
  ok &= Check(item->AddString(0x00081150, vr::UI, kCtImage), "UI");
  ok &= Check(item->AddString(0x00081155, vr::UI, Uid("1", index)), "UI");
  ok &= Check(item->AddString(0x00100010, vr::PN, names.patient + std::to_string(index % 1009)), "PN");
  ok &= Check(item->AddString(0x00100020, vr::LO, "ID-" + std::to_string(100000 + index)), "LO");
  ok &= Check(item->AddString(0x00180050, vr::DS, Decimal(index % 50 + 5, 1)), "DS");
  ok &= Check(item->AddDouble(0x00189306, vr::FD, 0.625 * static_cast<double>(index % 64)), "FD");
  ok &= Check(item->AddUInt16(0x00280010, vr::US, static_cast<uint16_t>(256 + index % 512)), "US");
  ok &= Check(item->AddUInt16(0x00280011, vr::US, static_cast<uint16_t>(256 + index % 384)), "US");
  ok &= Check(item->AddUInt32(0x0040A132, vr::UL, static_cast<uint32_t>(index * 7919)), "UL");
  if (ok) elements += 10;

  auto nested = std::make_unique<CDicomSequence>(0x00081199);
  for (int n = 0; n < kNestedItems; ++n) AddNestedItem(*nested, index * kNestedItems + n, names, elements);
  if (Check(item->AddSequence(std::move(nested)), "nested sequence")) ++elements;
  sequence.AppendItem(std::move(item));
}

bool WriteNested(const std::string& path, const Names& names) {
  CDicomObject object;
  (void)object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.88.22", Uid("0", 1),
                                     uids::kExplicitVrLittleEndian, Uid("9", 1), "QUILLON_BENCH",
                                     "BENCH");
  int elements = 2;  // SOP Class and Instance UIDs
  bool ok = true;
  if (&names == &kLatin1Names) {
    ok &= Check(object.AddString(0x00080005, vr::CS, "ISO_IR 100"), "CS");
    ++elements;
  }
  ok &= Check(object.AddString(0x00080060, vr::CS, "SR"), "CS");
  ok &= Check(object.AddString(0x00100010, vr::PN, "Bench^Nested"), "PN");
  ok &= Check(object.AddString(0x00100020, vr::LO, "BENCH-NESTED"), "LO");
  ok &= Check(object.AddString(0x0020000D, vr::UI, Uid("3", 1)), "UI");
  ok &= Check(object.AddString(0x0020000E, vr::UI, Uid("4", 1)), "UI");
  elements += 5;

  auto top = std::make_unique<CDicomSequence>(0x00081115);
  for (long i = 0; i < kTopItems; ++i) AddTopItem(*top, i, names, elements);
  ok &= Check(object.AddSequence(std::move(top)), "top sequence");
  ++elements;
  if (!ok) return false;

  if (const Status saved = SaveDicomFile(object, path); !saved) {
    std::fprintf(stderr, "make-bench-corpus: %s: %s\n", path.c_str(), saved.Message().c_str());
    return false;
  }
  std::printf("%s: %d elements\n", path.c_str(), elements);
  return true;
}

/// Frame `frame` of a moving diagonal ramp within 12 bits: every frame
/// differs, and no value is zero-filled memory the kernel could share.
void FillFrame(std::vector<uint8_t>& frame, int index) {
  for (uint32_t y = 0; y < kRows; ++y) {
    for (uint32_t x = 0; x < kColumns; ++x) {
      const auto value = static_cast<uint16_t>((x + 3 * y + 7 * static_cast<uint32_t>(index)) & 0x0FFF);
      const size_t offset = 2 * (static_cast<size_t>(y) * kColumns + x);
      frame[offset] = static_cast<uint8_t>(value & 0xFF);
      frame[offset + 1] = static_cast<uint8_t>(value >> 8);
    }
  }
}

bool WriteFrames(const std::string& path) {
  CDicomObject object;
  (void)object.CreateMetaInformation(kMultiFrameGrayscaleWord, Uid("0", 2), uids::kExplicitVrLittleEndian,
                                     Uid("9", 1), "QUILLON_BENCH", "BENCH");
  bool ok = true;
  ok &= Check(object.AddString(0x00080060, vr::CS, "OT"), "CS");
  ok &= Check(object.AddString(0x00100010, vr::PN, "Bench^Frames"), "PN");
  ok &= Check(object.AddString(0x0020000D, vr::UI, Uid("3", 2)), "UI");
  ok &= Check(object.AddString(0x0020000E, vr::UI, Uid("4", 2)), "UI");
  ok &= Check(object.AddUInt16(0x00280002, vr::US, 1), "US");
  ok &= Check(object.AddString(0x00280004, vr::CS, "MONOCHROME2"), "CS");
  ok &= Check(object.AddString(tags::kNumberOfFrames, vr::IS, std::to_string(kFrames)), "IS");
  ok &= Check(object.AddUInt16(0x00280010, vr::US, kRows), "US");
  ok &= Check(object.AddUInt16(0x00280011, vr::US, kColumns), "US");
  ok &= Check(object.AddUInt16(0x00280100, vr::US, 16), "US");
  ok &= Check(object.AddUInt16(0x00280101, vr::US, 12), "US");
  ok &= Check(object.AddUInt16(0x00280102, vr::US, 11), "US");
  ok &= Check(object.AddUInt16(0x00280103, vr::US, 0), "US");
  if (!ok) return false;

  // The frames go out one at a time behind the other elements, so the
  // generator never holds the whole value (Pixel Data sorts last).
  const uint64_t frameSize = uint64_t{kRows} * kColumns * 2;
  std::vector<uint8_t> frame(frameSize);
  CDicomPixelData pixels;
  pixels.SetVR(vr::OW);
  pixels.SetValueLength(static_cast<uint32_t>(frameSize * kFrames));
  const Status saved = WriteFileAtomically(path, [&](CFileStream& stream) -> Status {
    if (Status header = CDicomFileWriter(stream).WriteFile(object); !header) return header;
    for (int i = 0; i < kFrames; ++i) {
      FillFrame(frame, i);
      if (!pixels.WriteFrame(stream, object.GetTransferMode(), frame.data(), frame.size())) {
        return stream.HasFailed() ? stream.State() : Status(Error(ErrorCode::Failure, "a frame does not fit"));
      }
    }
    if (!pixels.FinishWrite(stream, object.GetTransferMode()) && !stream.HasFailed()) {
      return Error(ErrorCode::Failure, "the pixel data cannot be closed");
    }
    return stream.State();
  });
  if (!saved) {
    std::fprintf(stderr, "make-bench-corpus: %s: %s\n", path.c_str(), saved.Message().c_str());
    return false;
  }
  std::printf("%s: %d frames of %ux%u\n", path.c_str(), kFrames, kRows, kColumns);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-bench-corpus OUTDIR\n");
    return 2;
  }
  const std::string folder = argv[1];
  const bool nested = WriteNested(folder + "/nested.dcm", kAsciiNames);
  const bool latin1 = WriteNested(folder + "/latin1.dcm", kLatin1Names);
  const bool frames = WriteFrames(folder + "/frames.dcm");
  return nested && latin1 && frames ? 0 : 1;
}
