// The code-block styles of a JPEG 2000 frame are found wherever OpenJPEG
// would read a coding style segment (main header, tile-part headers, behind
// an unknown marker it steps over, inside a JP2 file) and nowhere it would
// not (past a tile-part that runs to the end or past the frame). A frame
// mixing HT and classic blocks, which overruns OpenJPEG's block buffers
// (the fuzzer's find), is refused, and real frames are classic.
#include "pixel/FrameDecoderRegistry.h"
#include "pixel/Jpeg2000CodeBlockStyles.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kClassic = 0x00, kHt = 0x40;

void Append(Bytes& out, std::initializer_list<uint8_t> bytes) { out.insert(out.end(), bytes); }

void Segment(Bytes& out, uint8_t marker, const Bytes& body) {
  const auto length = static_cast<uint16_t>(body.size() + 2);
  Append(out, {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
  out.insert(out.end(), body.begin(), body.end());
}

Bytes Cod(uint8_t style) { return {0, 0, 0, 1, 0, 5, 4, 4, style, 1}; }
Bytes Coc(uint8_t component, uint8_t style) { return {component, 0, 5, 4, 4, style, 1}; }

/// SOC and SIZ of a 16x16 image of three 8-bit components.
Bytes MainHeaderStart() {
  Bytes out{0xFF, 0x4F};
  Segment(out, 0x51, {0, 0, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16,
                      0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 7, 1, 1, 7, 1, 1, 7, 1, 1});
  return out;
}

/// A tile-part of `psot` bytes (its real length when 0 is not asked for)
/// with `header` segments and four bytes of data.
void TilePart(Bytes& out, const Bytes& header, bool runsToTheEnd = false, uint32_t extra = 0) {
  const uint32_t psot = runsToTheEnd ? 0 : static_cast<uint32_t>(12 + header.size() + 2 + 4) + extra;
  Append(out, {0xFF, 0x90, 0, 10, 0, 0, static_cast<uint8_t>(psot >> 24), static_cast<uint8_t>(psot >> 16),
               static_cast<uint8_t>(psot >> 8), static_cast<uint8_t>(psot), 0, 1});
  out.insert(out.end(), header.begin(), header.end());
  Append(out, {0xFF, 0x93, 0x12, 0x34, 0x56, 0x78});
}

struct StylesCase {
  const char* name;
  Bytes codestream;
  bool classic, highThroughput;
};

std::vector<StylesCase> Cases() {
  std::vector<StylesCase> cases;
  const auto frame = [](uint8_t mainStyle, const Bytes& extraMain, const Bytes& firstPart, const Bytes& secondPart,
                        bool firstRunsToTheEnd = false, uint32_t firstExtra = 0) {
    Bytes out = MainHeaderStart();
    Segment(out, 0x52, Cod(mainStyle));
    out.insert(out.end(), extraMain.begin(), extraMain.end());
    Segment(out, 0x5C, {0x40, 0x48});
    TilePart(out, firstPart, firstRunsToTheEnd, firstExtra);
    TilePart(out, secondPart);
    Append(out, {0xFF, 0xD9});
    return out;
  };
  Bytes htCoc;
  Segment(htCoc, 0x53, Coc(1, kHt));
  Bytes htCod;
  Segment(htCod, 0x52, Cod(kHt));
  // An unknown segment whose length covers an HT COC: OpenJPEG steps over
  // unknown markers two bytes at a time, so it reads that COC.
  Bytes hidden{0xFF, 0x30, 0x00, 0x20, 0x00, 0x00};
  hidden.insert(hidden.end(), htCoc.begin(), htCoc.end());
  hidden.resize(hidden.size() + 20, 0);

  cases.push_back({"classic", frame(kClassic, {}, {}, {}), true, false});
  cases.push_back({"high throughput", frame(kHt, {}, {}, {}), false, true});
  cases.push_back({"HT component", frame(kClassic, htCoc, {}, {}), true, true});
  cases.push_back({"HT in the second tile-part", frame(kClassic, {}, {}, htCod), true, true});
  cases.push_back({"HT behind an unknown marker", frame(kClassic, hidden, {}, {}), true, true});
  cases.push_back({"HT after a tile-part to the end", frame(kClassic, {}, {}, htCod, true), true, false});
  cases.push_back({"HT after a tile-part past the end", frame(kClassic, {}, {}, htCod, false, 4096), true, false});
  Bytes misplaced = frame(kClassic, {}, {}, {});
  misplaced.insert(misplaced.begin() + 2, htCod.begin(), htCod.end());  // before SIZ: OpenJPEG stops there
  cases.push_back({"HT before the size segment", misplaced, false, false});
  return cases;
}

TEST(Jpeg2000CodeBlockStylesTest, FindsTheSegmentsOpenJpegReads) {
  for (const StylesCase& c : Cases()) {
    const CodeBlockStyles styles = ScanCodeBlockStyles(c.codestream.data(), c.codestream.size());
    EXPECT_EQ(styles.codestream, 0u) << c.name;
    EXPECT_EQ(styles.classic, c.classic) << c.name;
    EXPECT_EQ(styles.highThroughput, c.highThroughput) << c.name;

    // The same codestream in a JP2 file: signature, file type, header box
    // (skipped by length) and the codestream box.
    Bytes jp2{0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0, 0, 20, 'f', 't', 'y', 'p',
              'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' ', 0, 0, 0, 8, 'j', 'p', '2', 'h'};
    const auto box = static_cast<uint32_t>(c.codestream.size() + 8);
    Append(jp2, {static_cast<uint8_t>(box >> 24), static_cast<uint8_t>(box >> 16), static_cast<uint8_t>(box >> 8),
                 static_cast<uint8_t>(box), 'j', 'p', '2', 'c'});
    jp2.insert(jp2.end(), c.codestream.begin(), c.codestream.end());
    const CodeBlockStyles wrapped = ScanCodeBlockStyles(jp2.data(), jp2.size());
    EXPECT_EQ(wrapped.codestream, jp2.size() - c.codestream.size()) << c.name;
    EXPECT_EQ(wrapped.classic, c.classic) << c.name << " in JP2";
    EXPECT_EQ(wrapped.highThroughput, c.highThroughput) << c.name << " in JP2";
  }
}

TEST(Jpeg2000CodeBlockStylesTest, MixedFramesAreRefusedAndRealFramesAreClassic) {
  const NativeFrameFormat format{16, 16, 3, 8, 8, false, "RGB"};
  auto decoder = CreateFrameDecoder("1.2.840.10008.1.2.4.90", format);
  ASSERT_TRUE(decoder);
  Bytes native(format.FrameSize());
  const Bytes mixed = Cases()[2].codestream;
  const Status status = (*decoder)->Decode(mixed.data(), mixed.size(), native.data(), native.size());
  ASSERT_FALSE(status);
  EXPECT_EQ(status.GetError().Code(), ErrorCode::WrongKind);

  // Frames other coders made (DCMTK's and pydicom's, the fuzzer's seeds).
  for (const char* seed : {"mr_small", "sc_rgb"}) {
    const std::string data = test::ReadBytes(std::string(QUILLON_SOURCE_DIR) + "/fuzz/corpus/jpeg2000_frame/" + seed);
    const auto* frame = reinterpret_cast<const uint8_t*>(data.data()) + 3;  // after the fuzzer's geometry
    const CodeBlockStyles styles = ScanCodeBlockStyles(frame, data.size() - 3);
    EXPECT_TRUE(styles.classic) << seed;
    EXPECT_FALSE(styles.highThroughput) << seed;
  }
}

}  // namespace
