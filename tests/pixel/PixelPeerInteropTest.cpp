// Our pixel conversions against DCMTK, GDCM and dicom3tools, one table of
// cross-checks with one runner.
#include "dicom/DicomObject.h"
#include "dicom/ValueRepresentation.h"
#include "pixel/JpegPixelCodec.h"
#include "pixel/PixelDataConverter.h"
#include "pixel/PixelImage.h"
#include "support/DicomFiles.h"
#include "support/ImageFixtures.h"
#include "support/ImageMetrics.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <regex>
#include <sstream>

using namespace quillon;
using namespace quillon::test;

namespace {

using Bytes = std::vector<uint8_t>;

// Every frame of `path` as display bitmaps, one after another; `quality`
// gets the JPEG codec's estimate of the frames' quality (-1 for others).
Bytes Bitmaps(const std::string& path, int32_t* quality = nullptr) {
  CPixelImage image;
  if (!image.OpenFile(path)) return {};
  Bytes all;
  Bytes frame(image.FrameSize());
  for (int32_t f = 0; f < image.NumberOfFrames(); ++f) {
    uint64_t length = 0;
    if (image.ReadFrame(f, frame.data(), frame.size(), length) != FrameStatus::Success) return {};
    all.insert(all.end(), frame.begin(), frame.end());
  }
  const auto* jpeg = dynamic_cast<const CJpegPixelCodec*>(image.Codec());
  if (quality != nullptr) *quality = jpeg != nullptr ? jpeg->Quality() : -1;
  return all;
}

int MaxDifference(const Bytes& a, const Bytes& b) {
  int worst = a.size() == b.size() ? 0 : 256;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// Runs `command`, which must succeed without a word on standard error.
void RunClean(const std::string& command) {
  const CommandResult result = RunShell(command);
  EXPECT_EQ(result.exitCode, 0) << command << ": " << result.err;
  EXPECT_EQ(result.err, "") << command;
}

// The top-level element tags dcmdump prints, without a word on standard
// error, meta group included (the delimiter it shows after encapsulated
// pixel data is not an element).
std::vector<std::string> DcmdumpTags(const std::string& path) {
  const CommandResult dump = RunShell("dcmdump " + path);
  EXPECT_EQ(dump.exitCode, 0) << path << ": " << dump.err;
  EXPECT_EQ(dump.err, "") << path;
  std::vector<std::string> tags;
  std::istringstream lines(dump.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 11 && line[0] == '(' && line[10] == ')' && line.rfind("(fffe,", 0) != 0) {
      tags.push_back(line.substr(0, 11));
    }
  }
  return tags;
}

// dciodvfy's complaints about the encoding itself (synthetic files lack
// attributes their IOD wants, which it reports too).
std::string EncodingErrors(const std::string& path) {
  std::istringstream lines(RunShell("dciodvfy " + path + " 2>&1").out);
  const std::regex encoding("ength|adding|elimit|Bad tag|Value Representation|VR");
  std::string errors;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Error") != std::string::npos && std::regex_search(line, encoding)) errors += line + "\n";
  }
  return errors;
}

// One row per cross-check. `encode` is one of our modes (its number; "m":
// to monochrome, "i": implicit VR) or a peer's command; `decode` the peer
// command that decompresses the result again, if any. Our own decoding of
// the result is the source exactly (minPsnr 0), close to it, or not
// compared (-1). RGB rows of 67 pixels carry padding in the bitmap, the
// wide rows are longer than a run, and YBR_FULL by pixel is held by plane in
// RLE files. Each source has a group length for its pixel data, a private
// element after them and trailing padding, which were once lost by every
// conversion (the source was read only up to the pixel data): our results
// keep every element but that group length, those after the pixel data in
// place and the padding last.
TEST(PixelPeerInterop, PeersDecodeWhatWeEncodeAndWeDecodeWhatTheyEncode) {
  for (const char* tool : {"dcmdump", "dcmdrle", "dcmcrle", "dcmdjpeg", "dcmcjpeg"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  const TempDir dir("pixel-peers");
  const std::string privateBytes = "private bytes after the pixels";
  const std::string padding(64, '\0');
  const std::pair<const char*, ImageRecipe> sources[] = {
      {"rgb", {.columns = 67, .rows = 41, .samples = 3, .frames = 3, .photometric = "RGB"}},
      {"grey", {.columns = 64, .rows = 48, .frames = 2}},
      {"wide", {.columns = 301, .rows = 40}},
      {"ybr", {.columns = 30, .rows = 10, .samples = 3, .frames = 3, .photometric = "YBR_FULL"}},
  };
  const uint32_t groupLength = 0;  // refreshed by the writer
  for (const auto& [name, recipe] : sources) {
    CDicomObject object;
    FillImageObject(object, recipe, MakePixelBytes(recipe));
    ASSERT_TRUE(test::Succeeded(object.AddValue(0x7FE00000, vr::UL, &groupLength, 4)));
    ASSERT_TRUE(test::Succeeded(object.AddString(0x7FE10010, vr::LO, "QUILLON TEST")));
    ASSERT_TRUE(test::Succeeded(object.AddValue(0x7FE11001, vr::OB, privateBytes.data(), 30)));
    ASSERT_TRUE(test::Succeeded(object.AddValue(0xFFFCFFFC, vr::OB, padding.data(), 64)));
    ASSERT_TRUE(test::Succeeded(SaveDicomFile(object, dir / (std::string(name) + ".dcm"))));
  }
  ASSERT_EQ(ConvertPixelDataFile({}, dir / "rgb.dcm", dir / "rgb-rle.dcm", ConversionMode::Rle, false),
            DCT_STATUS::Success);
  const struct {
    const char* source;
    const char* encode;
    const char* decode;
    double minPsnr;
  } cases[] = {
      {"rgb", "4", "dcmdrle", 0},        {"rgb", "4", "gdcmconv --raw", 0},  {"grey", "4", "dcmdrle", 0},
      {"wide", "4", "dcmdrle", 0},       {"wide", "4", "gdcmconv --raw", 0}, {"rgb", "4m", "dcmdrle", -1},
      {"rgb", "2", "dcmdrle", 40},       {"rgb", "3", "dcmdjpeg", 35},       {"grey", "3", "dcmdjpeg", 35},
      {"rgb", "1", "", 40},              {"rgb", "6", "", 0},                {"rgb", "0m", "", -1},
      {"rgb-rle", "0", "", 0},           {"rgb-rle", "5i", "", 0},
      {"rgb", "dcmcrle", "", 0},         {"grey", "dcmcrle", "", 0},         {"wide", "dcmcrle", "", 0},
      {"ybr", "dcmcrle", "", 0},         {"rgb", "gdcmconv --rle", "", 0},   {"wide", "gdcmconv --rle", "", 0},
      // +sr: dcmcjpeg otherwise stretches a grey image's pixel range before coding.
      {"rgb", "dcmcjpeg +eb +sr +q 85", "dcmdjpeg", 35}, {"grey", "dcmcjpeg +eb +sr +q 85", "dcmdjpeg", 35},
  };
  const bool haveGdcm = HaveTool("gdcmconv");
  for (const auto& c : cases) {
    const std::string encode = c.encode;
    const std::string decode = c.decode;
    if (!haveGdcm && (encode + decode).find("gdcm") != std::string::npos) continue;
    SCOPED_TRACE(std::string(c.source) + ", " + encode + ", " + decode);
    const std::string source = dir / (std::string(c.source) + ".dcm");
    const std::string encoded = dir / "encoded.dcm";
    const bool ours = std::isdigit(static_cast<unsigned char>(encode[0])) != 0;
    if (ours) {
      ConversionOptions options;
      if (encode.find('i') != std::string::npos) options.transferSyntaxChoice = TransferSyntaxChoice::Implicit;
      const auto mode = static_cast<ConversionMode>(encode[0] - '0');
      ASSERT_EQ(ConvertPixelDataFile(options, source, encoded, mode, encode.find('m') != std::string::npos),
                DCT_STATUS::Success);
      std::vector<std::string> tags = DcmdumpTags(encoded);
      std::vector<std::string> expected = DcmdumpTags(source);
      std::erase(expected, "(7fe0,0000)");
      if (encode.find('m') != std::string::npos || encode[0] == '3') {  // a new image description: compare the rest
        expected.erase(expected.begin(), expected.end() - 4);
        tags.erase(tags.begin(), tags.end() - std::min<std::ptrdiff_t>(std::ssize(tags), 4));
      }
      EXPECT_EQ(tags, expected);
      // dcmdump sorts by tag; the bytes show where the elements really are.
      const std::string bytes = ReadBytes(encoded);
      const size_t privateValue = bytes.find(privateBytes);
      ASSERT_NE(privateValue, std::string::npos);
      EXPECT_GE(privateValue + privateBytes.size() + padding.size() + 12, bytes.size());
      EXPECT_EQ(bytes.substr(bytes.size() - padding.size()), padding);
      if (HaveTool("dciodvfy")) {
        EXPECT_EQ(EncodingErrors(encoded), "");
      }
    } else {
      ASSERT_EQ(RunShell(encode + " " + source + " " + encoded).exitCode, 0);
      (void)DcmdumpTags(encoded);
    }
    int32_t quality = 0;
    const Bytes decoded = Bitmaps(encoded, &quality);
    ASSERT_FALSE(decoded.empty());
    const Bytes original = Bitmaps(source);
    if (c.minPsnr == 0) {
      EXPECT_EQ(decoded, original);
    } else if (c.minPsnr > 0) {
      ASSERT_EQ(decoded.size(), original.size());
      EXPECT_GE(Psnr8(original.data(), decoded.data(), original.size(), 1, original.size()), c.minPsnr);
    }
    EXPECT_EQ(quality, decode == "dcmdjpeg" ? 85 : -1);
    if (!decode.empty()) {
      RunClean(decode + " " + encoded + " " + (dir / "decoded.dcm"));
      (void)DcmdumpTags(dir / "decoded.dcm");
      EXPECT_LE(MaxDifference(Bitmaps(dir / "decoded.dcm"), decoded), decode == "dcmdjpeg" ? 2 : 0);
    }
  }
}

}  // namespace
