#include "dicom/ValueRepresentation.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quillon {

namespace {

constexpr uint8_t kSpace = 0x20;
constexpr uint8_t kNul = 0x00;

// Sorted by code so lookups can bisect. UC, UR and the 64-bit and long
// binary VRs are framed with the 12-byte header as the current standard
// requires, so explicit-VR files from current modalities parse correctly.
// AT is a pair of 16-bit numbers (group, element), so it is swapped in
// 2-byte units like US: swapping it whole would turn (0010,0020) into
// (1000,2000).
constexpr auto kVrTable = [] {
  std::array<VrProperties, 34> table{{
      {vr::AE, false, kSpace, 0, true},  {vr::AS, false, kSpace, 0, true},
      {vr::AT, false, kSpace, 2, false}, {vr::CS, false, kSpace, 0, true},
      {vr::DA, false, kSpace, 0, true},  {vr::DS, false, kSpace, 0, true},
      {vr::DT, false, kSpace, 0, true},  {vr::FD, false, kSpace, 8, false},
      {vr::FL, false, kSpace, 4, false}, {vr::IS, false, kSpace, 0, true},
      {vr::LO, false, kSpace, 0, true},  {vr::LT, false, kSpace, 0, true},
      {vr::OB, true, kNul, 0, false},    {vr::OD, true, kNul, 8, false},
      {vr::OF, true, kSpace, 4, false},  {vr::OL, true, kNul, 4, false},
      {vr::OV, true, kNul, 8, false},    {vr::OW, true, kNul, 2, false},
      {vr::PN, false, kSpace, 0, true},  {vr::SH, false, kSpace, 0, true},
      {vr::SL, false, kSpace, 4, false}, {vr::SQ, true, kSpace, 0, false},
      {vr::SS, false, kSpace, 2, false}, {vr::ST, false, kSpace, 0, true},
      {vr::SV, true, kNul, 8, false},    {vr::TM, false, kSpace, 0, true},
      {vr::UC, true, kSpace, 0, true},  {vr::UI, false, kNul, 0, true},
      {vr::UL, false, kSpace, 4, false}, {vr::UN, true, kSpace, 0, false},
      {vr::UR, true, kSpace, 0, true},  {vr::US, false, kSpace, 2, false},
      {vr::UT, true, kSpace, 0, true},   {vr::UV, true, kNul, 8, false},
  }};
  std::sort(table.begin(), table.end(),
            [](const VrProperties& a, const VrProperties& b) { return a.code < b.code; });
  return table;
}();

constexpr VrProperties kUnknownVr{vr::kUnknown, true, kSpace, 0, false};
constexpr VrProperties kUnlistedVr{0, false, kSpace, 0, false};

// Every code's row in kVrTable (0xFF: not listed), so a lookup is one index:
// the dump and the writer ask for every element.
constexpr uint8_t kUnlisted = 0xFF;
constexpr auto kVrIndex = [] {
  std::array<uint8_t, 65536> index{};
  index.fill(kUnlisted);
  for (size_t i = 0; i < kVrTable.size(); ++i) index[kVrTable[i].code] = static_cast<uint8_t>(i);
  return index;
}();

}  // namespace

const VrProperties& GetVrProperties(DicomVR code) {
  if (code == vr::kUnknown) return kUnknownVr;
  const uint8_t row = kVrIndex[code];
  return row == kUnlisted ? kUnlistedVr : kVrTable[row];
}

bool IsTextVR(DicomVR code) { return GetVrProperties(code).isText; }

bool IsKnownVR(DicomVR code) { return code != vr::kUnknown && kVrIndex[code] != kUnlisted; }

std::string VrToString(DicomVR code) {
  if (code == vr::kUnknown) return "??";
  return std::string{static_cast<char>(code & 0xFF), static_cast<char>(code >> 8)};
}

namespace {
// memcpy in and out keeps the loads aligned-agnostic; compilers turn each
// iteration into one load, one bswap and one store.
template <typename Word, Word (*Swap)(Word)>
void SwapWords(uint8_t* data, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) {
    Word word;
    std::memcpy(&word, data + i * sizeof(Word), sizeof(Word));
    word = Swap(word);
    std::memcpy(data + i * sizeof(Word), &word, sizeof(Word));
  }
}
uint16_t Swap16(uint16_t v) { return __builtin_bswap16(v); }
uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }
uint64_t Swap64(uint64_t v) { return __builtin_bswap64(v); }
}  // namespace

void SwapBytesInUnits(uint8_t* data, uint64_t length, unsigned unit) {
  if (data == nullptr) return;
  switch (unit) {
    case 2: SwapWords<uint16_t, Swap16>(data, length / 2); break;
    case 4: SwapWords<uint32_t, Swap32>(data, length / 4); break;
    case 8: SwapWords<uint64_t, Swap64>(data, length / 8); break;
    default: break;
  }
}

bool SwapValueBytes(DicomVR code, uint8_t* data, uint64_t length) {
  const unsigned unit = GetVrProperties(code).swapUnit;
  if (unit == 0) return false;
  SwapBytesInUnits(data, length, unit);
  return true;
}

}  // namespace quillon
