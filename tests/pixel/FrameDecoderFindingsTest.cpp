// Replays what the frame-decoder fuzzers found (fuzz/crashes/frames, see
// its README): each input, decoded as its fuzzer decodes it, is refused
// without a crash, an overrun or a huge allocation. HTJ2K frames are
// refused alike through the helper program and through a fork.
#include "pixel/FrameDecoderRegistry.h"
#include "pixel/HtJ2kFrameDecoder.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace quillon;

namespace {

TEST(FrameDecoderFindingsTest, EveryFindingIsRefused) {
  const std::map<std::string, std::string> syntaxes = {{"htj2k", "1.2.840.10008.1.2.4.201"},
                                                       {"jpeg-extended", "1.2.840.10008.1.2.4.51"},
                                                       {"jpeg-ls", "1.2.840.10008.1.2.4.80"},
                                                       {"jpeg2000", "1.2.840.10008.1.2.4.90"}};
  int replayed = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(QUILLON_SOURCE_DIR) + "/fuzz/crashes/frames")) {
    const std::string name = entry.path().filename().string();
    const auto syntax = std::find_if(syntaxes.begin(), syntaxes.end(),
                                     [&name](const auto& s) { return name.rfind(s.first + "-", 0) == 0; });
    ASSERT_NE(syntax, syntaxes.end()) << name << " names no fuzzer";
    const std::string data = test::ReadBytes(entry.path().string());
    ASSERT_GE(data.size(), 3u);
    const auto byte = [&data](size_t i) { return static_cast<uint8_t>(data[i]); };
    // The fuzzer's geometry bytes.
    static constexpr uint32_t kBits[] = {8, 16, 32};
    NativeFrameFormat format{1 + byte(0) % 128u, 1 + byte(1) % 128u, (byte(2) & 1) != 0 ? 3u : 1u,
                             kBits[(byte(2) >> 1) % 3], kBits[(byte(2) >> 1) % 3], (byte(2) & 0x80) != 0, "RGB"};
    auto decoder = CreateFrameDecoder(syntax->second, format);
    ASSERT_TRUE(decoder) << name;
    std::vector<uint8_t> native(format.FrameSize());
    const auto* frame = reinterpret_cast<const uint8_t*>(data.data()) + 3;
    const Status status = (*decoder)->Decode(frame, data.size() - 3, native.data(), native.size());
    EXPECT_FALSE(status) << name;
    ++replayed;
    if (syntax->first != "htj2k") continue;
    const Status forked = CHtJ2kFrameDecoder(format, "").Decode(frame, data.size() - 3, native.data(), native.size());
    ASSERT_FALSE(forked) << name;
    EXPECT_EQ(forked.GetError().Code(), status.GetError().Code()) << name;
    EXPECT_EQ(forked.Message(), status.Message()) << name;
    // OpenJPH's assertion: the helper died of it, and the frame is refused.
    if (name.find("packet-header") != std::string::npos) {
      EXPECT_EQ(status.Message(), "HTJ2K frame: the decoder stopped on damaged data (signal 6, SIGABRT)");
    }
  }
  EXPECT_GE(replayed, static_cast<int>(syntaxes.size()));  // one finding of each fuzzer at least
}

}  // namespace
