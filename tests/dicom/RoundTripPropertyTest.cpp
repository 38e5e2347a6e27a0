// Whatever the data model accepts saves and reads back as it was: random
// edits (seeded, so a failure replays) of nested data sets, saved in each
// transfer syntax, read back as the same dump and save as the same bytes.
// In implicit VR the edits use the VR the reader takes from the dictionary,
// and empty sequences have undefined length (else they are 8 plain bytes).
#include "dicom/DataDictionary.h"
#include "dicom/DicomObject.h"
#include "dicom/DicomSequence.h"
#include "dicom/ValueRepresentation.h"
#include "support/DicomFiles.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// Dictionary tags of many VRs, a retired one, group lengths, private ones.
const DicomTag kValueTags[] = {
    0x00080005, 0x00080008, 0x00080016, 0x00080020, 0x00080060, 0x00081150, 0x00100010, 0x00100020,
    0x00101010, 0x00101030, 0x00180050, 0x00181063, 0x00189087, 0x00209165, 0x00200013, 0x00280010,
    0x00280030, 0x00280100, 0x00281050, 0x00283006, 0x00209157, 0x00080010, 0x00100000, 0x00280000,
    0x00000000, 0x00000100, 0x00091010, 0x00091011, 0x00291001, 0xFFFE0002, 0x00204000, 0x00189306,
};
const DicomTag kSequenceTags[] = {0x00081140, 0x00081115, 0x00081199, 0x0040A730, 0x00081145, 0x00091020};
const DicomVR kExplicitVrs[] = {vr::AE, vr::AS, vr::AT, vr::CS, vr::DA, vr::DS, vr::DT, vr::FD, vr::FL, vr::IS,
                                vr::LO, vr::LT, vr::OB, vr::OD, vr::OF, vr::OL, vr::OW, vr::PN, vr::SH, vr::SL,
                                vr::SS, vr::ST, vr::TM, vr::UC, vr::UI, vr::UL, vr::UN, vr::UR, vr::US, vr::UT};

class RandomEditor {
 public:
  RandomEditor(uint32_t seed, TransferMode mode)
      : m_random(seed), m_implicit(mode == TransferMode::ImplicitLittleEndian) {}

  void Edit(CDicomObject& root, int edits) {
    for (int i = 0; i < edits; ++i) {
      std::vector<std::pair<CDicomObject*, int>> containers;  // with their depth
      Collect(root, 0, containers);
      const auto [target, depth] = containers[Pick(containers.size())];
      const size_t action = Pick(10);
      if (action == 4) {
        if (depth < 4) AddSequence(*target, depth);
      } else if (action == 5) {
        RemoveElement(*target);
      } else if (action == 6 || action == 7) {
        EditItems(*target, depth, action == 6);
      } else {
        AddValue(*target);  // also replaces values of tags already there
      }
    }
    // Pixel Data at the top level, native (the pixel side has its own tests).
    if (Pick(2) == 0) {
      const DicomVR pixelVr = m_implicit ? vr::OB : (Pick(2) ? vr::OW : vr::OB);
      const std::string pixels = Bytes(2 * (1 + Pick(40)));
      EXPECT_TRUE(test::Succeeded(
          root.AddValue(tags::kPixelData, pixelVr, pixels.data(), static_cast<uint32_t>(pixels.size()))));
    }
  }

 private:
  size_t Pick(size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(m_random); }
  static std::vector<CDicomSequence*> Sequences(const CDicomObject& object) {
    std::vector<CDicomSequence*> sequences;
    for (const auto& entry : object.Elements().Sorted()) {
      if (auto* sequence = dynamic_cast<CDicomSequence*>(entry.element.get())) sequences.push_back(sequence);
    }
    return sequences;
  }
  void Collect(CDicomObject& object, int depth, std::vector<std::pair<CDicomObject*, int>>& out) {
    out.emplace_back(&object, depth);
    for (CDicomSequence* sequence : Sequences(object)) {
      for (size_t i = 0; i < sequence->GetItemCount(); ++i) Collect(*sequence->GetItem(i), depth + 1, out);
    }
  }
  std::string Bytes(size_t length) {
    std::string bytes(length, '\0');
    for (char& byte : bytes) byte = static_cast<char>(Pick(256));
    // A value starting with an item tag would be a sequence in implicit VR.
    if (!bytes.empty() && static_cast<uint8_t>(bytes[0]) == 0xFE) bytes[0] = 0;
    return bytes;
  }
  std::string Text(size_t length) {
    static const char kCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789^.-_ \\";
    std::string text(length, ' ');
    for (char& c : text) c = kCharacters[Pick(sizeof kCharacters - 1)];
    return text;
  }
  DicomVR ChooseVr(DicomTag tag) {
    DicomVR known = LookupVR(tag);  // what the reader gives the tag in implicit VR
    if (known == vr::kUnresolved) known = LookupVRForSopClass(tag, "");
    if (m_implicit || (known != vr::kUnknown && known != vr::SQ && Pick(3) != 0)) return known;
    return kExplicitVrs[Pick(std::size(kExplicitVrs))];
  }
  void AddValue(CDicomObject& object) {
    const DicomTag tag = kValueTags[Pick(std::size(kValueTags))];
    const DicomVR code = ChooseVr(tag);
    if (code == vr::SQ) return;  // the dictionary calls it a sequence
    const VrProperties& properties = GetVrProperties(code);
    const size_t maxUnits = HasLongExplicitHeader(code) ? 120 : 12;
    std::string value = properties.isText ? Text(Pick(maxUnits * 4))
                                          : Bytes(std::max<size_t>(properties.swapUnit, 1) * Pick(maxUnits));
    if (TagElement(tag) == 0x0000) value = Bytes(4);  // group lengths are refreshed on writing
    const auto status =
        object.AddValue(tag, code, value.empty() ? nullptr : value.data(), static_cast<uint32_t>(value.size()));
    // The only refusal these edits can meet: an empty (0000,0000).
    EXPECT_TRUE(status || (tag == 0 && value.empty())) << FormatTag(tag) << ": " << status.Message();
  }
  std::unique_ptr<CSequenceItem> MakeItem(int depth) {
    auto item = std::make_unique<CSequenceItem>();
    item->SetUndefinedLength(Pick(2) == 0);
    for (size_t i = Pick(4); i > 0; --i) AddValue(*item);
    if (depth < 3 && Pick(4) == 0) AddSequence(*item, depth + 1);
    return item;
  }
  void AddSequence(CDicomObject& object, int depth) {
    auto sequence = std::make_unique<CDicomSequence>(kSequenceTags[Pick(std::size(kSequenceTags))]);
    for (size_t i = Pick(4); i > 0; --i) sequence->AppendItem(MakeItem(depth + 1));
    sequence->SetUndefinedLength(Pick(2) == 0 || (m_implicit && sequence->GetItemCount() == 0));
    EXPECT_TRUE(test::Succeeded(object.AddSequence(std::move(sequence))));
  }
  void RemoveElement(CDicomObject& object) {
    const auto& entries = object.Elements().Sorted();
    if (entries.empty()) return;
    const DicomTag tag = entries[Pick(entries.size())].tag;
    if (TagGroup(tag) == 0x0002) return;  // keep the meta group
    EXPECT_EQ(object.RemoveElement(tag), DicomStatus::Success);
  }
  void EditItems(CDicomObject& object, int depth, bool remove) {
    const auto sequences = Sequences(object);
    if (sequences.empty()) return;
    CDicomSequence& sequence = *sequences[Pick(sequences.size())];
    if (!remove && depth < 4) sequence.AppendItem(MakeItem(depth + 1));
    if (!remove || sequence.GetItemCount() == 0) return;
    EXPECT_EQ(sequence.RemoveItem(Pick(sequence.GetItemCount())), DicomStatus::Success);
    if (m_implicit && sequence.GetItemCount() == 0) sequence.SetUndefinedLength(true);
  }

  std::mt19937 m_random;
  bool m_implicit;
};

std::string Dump(const CDicomObject& object) {
  std::string text;
  (void)object.DumpText(text, 0);
  return text;
}

TEST(RoundTripProperty, RandomlyEditedDataSetsSaveAndReadBackIdentically) {
  for (const std::string syntax : {"1.2.840.10008.1.2", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2"}) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
      SCOPED_TRACE(syntax + " seed " + std::to_string(seed));
      CDicomObject object;
      ASSERT_TRUE(test::Succeeded(object.CreateMetaInformation("1.2.840.10008.5.1.4.1.1.7", "1.2.3." + syntax, syntax,
                                                               "1.3.6.1.4.1.58231.1", "QUILLON", "ROUNDTRIP")));
      RandomEditor editor(seed, object.GetTransferMode());
      editor.Edit(object, 60);

      ASSERT_TRUE(test::Succeeded(CheckWritable(object)));
      const std::vector<uint8_t> first = test::WriteToBytes(object);
      EXPECT_EQ(first.size(), 132 + object.ContentSize());  // the size the object reckons with
      test::ReadResult back = test::ReadFromBytes(first);
      ASSERT_TRUE(test::Succeeded(back.status));
      EXPECT_EQ(back.AllWarnings(), "");
      // A write records nothing in the object; the lengths a write gives
      // sequences, items and groups are what the object records on request.
      object.RecordEncodedLengths(object.GetTransferMode());
      ASSERT_EQ(Dump(back.object), Dump(object));
      ASSERT_EQ(test::WriteToBytes(back.object), first);
      // A copy is deep: what is done to the original later does not reach it.
      CDicomObject copy;
      ASSERT_TRUE(test::Succeeded(copy.AddString(0x00100010, vr::PN, "REPLACED")));
      ASSERT_TRUE(copy.CopyFrom(&back.object));
      editor.Edit(back.object, 20);
      ASSERT_EQ(test::WriteToBytes(copy), first);
    }
  }
}

}  // namespace
