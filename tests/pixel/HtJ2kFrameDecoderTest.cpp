// HTJ2K frames, which neither DCMTK nor GDCM reads and pydicom ships none
// of: images coded reversibly by OpenJPH's encoder must decode to exactly
// their samples (grey and colour through the colour transform, signed and
// unsigned, 8 and 16 bits), and a frame of another size is refused; the
// same through the helper program and through a fork of this process.
#include "pixel/FrameDecoderRegistry.h"
#include "pixel/HtJ2kFrameDecoder.h"
#include "pixel/OpenJphDecoding.h"

#include <openjph/ojph_arch.h>  // first: the others need its macros
#include <openjph/ojph_codestream.h>
#include <openjph/ojph_file.h>
#include <openjph/ojph_mem.h>
#include <openjph/ojph_params.h>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;

struct HtCase {
  uint32_t bits, components;
  bool signedSamples;
};

int32_t SampleAt(const HtCase& c, uint32_t x, uint32_t y, uint32_t component) {
  const int32_t range = 1 << c.bits;
  const int32_t value = static_cast<int32_t>((x * 97 + y * 31 + component * 53 + (x * y) % 13) % static_cast<uint32_t>(range));
  return c.signedSamples ? value - range / 2 : value;
}

// `c`'s image of `width` × `height` coded reversibly by OpenJPH.
Bytes Encode(const HtCase& c, uint32_t width, uint32_t height) {
  ojph::codestream codestream;
  ojph::param_siz siz = codestream.access_siz();
  siz.set_image_extent(ojph::point(width, height));
  siz.set_num_components(c.components);
  for (uint32_t k = 0; k < c.components; ++k) siz.set_component(k, ojph::point(1, 1), c.bits, c.signedSamples);
  siz.set_tile_size(ojph::size(width, height));
  ojph::param_cod cod = codestream.access_cod();
  cod.set_num_decomposition(2);
  cod.set_reversible(true);
  cod.set_color_transform(c.components == 3);
  codestream.set_planar(false);
  ojph::mem_outfile file;
  file.open();
  codestream.write_headers(&file);
  uint32_t component = 0;
  ojph::line_buf* line = codestream.exchange(nullptr, component);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t k = 0; k < c.components; ++k) {
      for (uint32_t x = 0; x < width; ++x) line->i32[x] = SampleAt(c, x, y, component);
      line = codestream.exchange(line, component);
    }
  }
  codestream.flush();
  Bytes coded(file.get_data(), file.get_data() + file.tell());
  codestream.close();
  return coded;
}

class HtJ2kFrameDecoderTest : public ::testing::TestWithParam<std::tuple<HtCase, bool>> {};

TEST_P(HtJ2kFrameDecoderTest, DecodesWhatOpenJphCoded) {
  const auto& [c, forked] = GetParam();
  const NativeFrameFormat format{37, 21, c.components, c.bits <= 8 ? 8u : 16u, c.bits, c.signedSamples,
                                 c.components == 3 ? "YBR_RCT" : "MONOCHROME2"};
  const Bytes coded = Encode(c, format.columns, format.rows);
  // The registry's decoder finds the helper built beside this test.
  const auto make = [forked = forked](const char* syntax, const NativeFrameFormat& declared) {
    return forked ? Result<std::unique_ptr<IFrameDecoder>>(std::make_unique<CHtJ2kFrameDecoder>(declared, ""))
                  : CreateFrameDecoder(syntax, declared);
  };
  auto decoder = make("1.2.840.10008.1.2.4.201", format);
  ASSERT_TRUE(decoder) << decoder.Message();
  EXPECT_EQ(dynamic_cast<const CHtJ2kFrameDecoder&>(**decoder).Helper().empty(), forked);
  EXPECT_EQ((*decoder)->OutputFormat().photometric, c.components == 3 ? "RGB" : "MONOCHROME2");
  Bytes native(format.FrameSize());
  const Status status = (*decoder)->Decode(coded.data(), coded.size(), native.data(), native.size());
  ASSERT_TRUE(status) << status.Message();
  Bytes expected;
  for (uint32_t y = 0; y < format.rows; ++y) {
    for (uint32_t x = 0; x < format.columns; ++x) {
      for (uint32_t k = 0; k < c.components; ++k) {
        const auto value = static_cast<uint32_t>(SampleAt(c, x, y, k));
        for (uint32_t b = 0; b < format.BytesPerSample(); ++b) expected.push_back(static_cast<uint8_t>(value >> (8 * b)));
      }
    }
  }
  EXPECT_EQ(native, expected);
  // Labelled JPEG 2000, as some writers do, the frame of HT code blocks
  // goes to the same decoder rather than to OpenJPEG.
  if (!forked) {
    auto labelled = CreateFrameDecoder("1.2.840.10008.1.2.4.90", format);
    ASSERT_TRUE(labelled);
    Bytes same(format.FrameSize());
    ASSERT_TRUE((*labelled)->Decode(coded.data(), coded.size(), same.data(), same.size()));
    EXPECT_EQ(same, expected);
  }

  NativeFrameFormat taller = format;
  taller.rows += 1;
  auto other = make("1.2.840.10008.1.2.4.203", taller);
  ASSERT_TRUE(other);
  Bytes larger(taller.FrameSize());
  EXPECT_EQ((*other)->Decode(coded.data(), coded.size(), larger.data(), larger.size()).GetError().Code(),
            ErrorCode::WrongKind);
  // Damaged data is an error, not an exception or a crash.
  Bytes cut(coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(coded.size() / 3));
  EXPECT_FALSE((*decoder)->Decode(cut.data(), cut.size(), native.data(), native.size()));
}

INSTANTIATE_TEST_SUITE_P(Formats, HtJ2kFrameDecoderTest,
                         ::testing::Combine(::testing::Values(HtCase{8, 1, false}, HtCase{12, 1, false},
                                                              HtCase{16, 1, true}, HtCase{8, 3, false},
                                                              HtCase{16, 3, false}),
                                            ::testing::Bool()));

// The helper reads back the format it is given, and refuses any other
// shape of arguments rather than decode into the wrong size.
TEST(HtJ2kHelperArgumentsTest, TheFormatComesBackAndNothingElseIsTaken) {
  const NativeFrameFormat format{512, 384, 3, 16, 12, true, "RGB"};
  const Result<NativeFrameFormat> back = ParseFormatArguments(FormatArguments(format));
  ASSERT_TRUE(back) << back.Message();
  EXPECT_EQ(FormatArguments(*back), FormatArguments(format));
  EXPECT_EQ(back->FrameSize(), format.FrameSize());
  const std::vector<std::vector<std::string>> refused = {
      {}, {"512", "384", "3", "16", "12"}, {"512", "", "3", "16", "12", "1"}, {"512", "384", "3", "12", "12", "0"},
      {"512", "384x", "3", "16", "12", "0"}, {"512", "384", "3", "16", "12", "2"}, {"-1", "384", "3", "16", "12", "0"}};
  for (const auto& arguments : refused) {
    EXPECT_FALSE(ParseFormatArguments(arguments)) << ::testing::PrintToString(arguments);
  }
}

}  // namespace
