#include "pixel/JpegLsFrameEncoder.h"

#include <charls/charls.h>

#include <algorithm>
#include <new>
#include <string>

namespace quillon {

namespace {

struct EncoderDeleter {
  void operator()(charls_jpegls_encoder* encoder) const { charls_jpegls_encoder_destroy(encoder); }
};

Status Failed(charls::jpegls_errc code) {
  return Error(ErrorCode::Failure, std::string("JPEG-LS encoding: ") + charls_get_error_message(code));
}

class CJpegLsFrameEncoder : public IFrameEncoder {
 public:
  CJpegLsFrameEncoder(const NativeFrameFormat& format, int32_t nearLossless)
      : m_format(format), m_near(nearLossless) {
    m_description.photometric = format.photometric;
    if (nearLossless == 0) {
      m_description.transferSyntax = "1.2.840.10008.1.2.4.80";
    } else {
      m_description.transferSyntax = "1.2.840.10008.1.2.4.81";
      m_description.lossy = true;
      m_description.lossyMethod = "ISO_14495_1";
    }
  }

  const EncodedImageDescription& Description() const override { return m_description; }

  Status Encode(const uint8_t* native, uint64_t length, std::vector<uint8_t>& encoded) const override {
    const uint64_t frameSize = m_format.FrameSize();
    if (native == nullptr || length < frameSize) {
      return Error(ErrorCode::Failure, "a native frame of " + std::to_string(length) + " bytes where the image holds " +
                                           std::to_string(frameSize));
    }
    // CharLS takes one byte per sample up to 8 bits, else two, and trusts
    // every sample to fit Bits Stored. A frame stored that way is coded as
    // it is; any other is copied with the bits above Bits Stored (overlays,
    // the sign of signed samples) cleared.
    const uint32_t bits = m_format.bitsStored;
    const uint32_t codedBytes = bits <= 8 ? 1 : 2;
    const uint64_t samples = m_format.SampleCount();
    const uint32_t mask = (1u << bits) - 1;
    const uint8_t* coded = native;
    std::unique_ptr<uint8_t[]> copy;
    if (codedBytes != m_format.BytesPerSample() || !FitsBitsStored(native, samples, mask)) {
      copy.reset(new (std::nothrow) uint8_t[samples * codedBytes]);
      if (!copy) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG-LS source frame");
      if (m_format.bitsAllocated == 8) {
        for (uint64_t i = 0; i < samples; ++i) copy[i] = static_cast<uint8_t>(native[i] & mask);
      } else if (codedBytes == 2) {
        for (uint64_t i = 0; i < samples; ++i) {
          copy[2 * i] = native[2 * i];
          copy[2 * i + 1] = static_cast<uint8_t>(native[2 * i + 1] & (mask >> 8));
        }
      } else {
        for (uint64_t i = 0; i < samples; ++i) copy[i] = static_cast<uint8_t>(native[2 * i] & mask);
      }
      coded = copy.get();
    }
    if (m_near > 0 && m_format.signedSamples) {
      if (Status kept = CheckSignedNearLossless(coded, samples, codedBytes); !kept) return kept;
    }

    std::unique_ptr<charls_jpegls_encoder, EncoderDeleter> encoder(charls_jpegls_encoder_create());
    if (!encoder) return Error(ErrorCode::OutOfMemory, "no memory for a JPEG-LS encoder");
    using charls::jpegls_errc;
    const charls_frame_info frame{m_format.columns, m_format.rows, static_cast<int32_t>(bits),
                                  static_cast<int32_t>(m_format.samplesPerPixel)};
    if (jpegls_errc e = charls_jpegls_encoder_set_frame_info(encoder.get(), &frame); e != jpegls_errc::success) {
      return Failed(e);
    }
    if (jpegls_errc e = charls_jpegls_encoder_set_near_lossless(encoder.get(), m_near); e != jpegls_errc::success) {
      return Failed(e);
    }
    if (m_format.samplesPerPixel > 1) {
      if (jpegls_errc e = charls_jpegls_encoder_set_interleave_mode(encoder.get(), charls::interleave_mode::sample);
          e != jpegls_errc::success) {
        return Failed(e);
      }
    }
    size_t bound = 0;
    if (jpegls_errc e = charls_jpegls_encoder_get_estimated_destination_size(encoder.get(), &bound);
        e != jpegls_errc::success) {
      return Failed(e);
    }
    encoded.resize(bound);
    if (jpegls_errc e = charls_jpegls_encoder_set_destination_buffer(encoder.get(), encoded.data(), encoded.size());
        e != jpegls_errc::success) {
      return Failed(e);
    }
    if (jpegls_errc e =
            charls_jpegls_encoder_encode_from_buffer(encoder.get(), coded, samples * codedBytes, 0);
        e != jpegls_errc::success) {
      return Failed(e);
    }
    size_t written = 0;
    if (jpegls_errc e = charls_jpegls_encoder_get_bytes_written(encoder.get(), &written); e != jpegls_errc::success) {
      return Failed(e);
    }
    encoded.resize(written);
    return Ok();
  }

 private:
  /// True when no sample of the frame (stored as CharLS takes it) has a
  /// bit above `mask`.
  bool FitsBitsStored(const uint8_t* native, uint64_t samples, uint32_t mask) const {
    uint32_t above = 0;
    if (m_format.bitsAllocated == 8) {
      for (uint64_t i = 0; i < samples; ++i) above |= native[i];
    } else {
      for (uint64_t i = 0; i < samples; ++i) above |= native[2 * i + 1];
      above <<= 8;
    }
    return (above & ~mask) == 0;
  }

  /// The bit patterns of signed samples meet where the largest value
  /// (0111…) turns into the smallest (1000…): a pattern coded within N of
  /// that seam may come back on its other side, a sign flip. A frame with a
  /// sample within N of either end of the signed range is refused rather
  /// than coded beyond the bound promised.
  Status CheckSignedNearLossless(const uint8_t* source, uint64_t samples, uint32_t codedBytes) const {
    const uint32_t seam = 1u << (m_format.bitsStored - 1);  // pattern of the smallest value
    const auto near = static_cast<uint32_t>(m_near);
    for (uint64_t i = 0; i < samples; ++i) {
      const uint32_t pattern =
          codedBytes == 1 ? source[i] : uint32_t{source[2 * i]} | uint32_t{source[2 * i + 1]} << 8;
      if (pattern + near >= seam && pattern < seam + near) {
        return Error(ErrorCode::WrongKind,
                     "JPEG-LS near-lossless coding of signed samples within " + std::to_string(m_near) +
                         " of the largest or smallest value of " + std::to_string(m_format.bitsStored) +
                         " bits (sample " + std::to_string(i) + "): they could come back with their sign flipped");
      }
    }
    return Ok();
  }

  NativeFrameFormat m_format;
  int32_t m_near;
  EncodedImageDescription m_description;
};

/// Refuses a format this syntax cannot hold, naming the syntax.
Error Refuse(const NativeFrameFormat& format, const std::string& why) { return RefuseFormat("JPEG-LS", format, why); }

}  // namespace

Result<std::unique_ptr<IFrameEncoder>> CreateJpegLsFrameEncoder(const NativeFrameFormat& format,
                                                                int32_t nearLossless) {
  if (format.columns == 0 || format.rows == 0 || format.columns > 65535 || format.rows > 65535) {
    return Refuse(format, "its size of " + std::to_string(format.columns) + "x" + std::to_string(format.rows) +
                              " is outside 1 to 65535 pixels a side");
  }
  if (format.bitsAllocated != 8 && format.bitsAllocated != 16) {
    return Refuse(format, "it codes samples of 8 or 16 bits allocated");
  }
  if (format.bitsStored < 2 || format.bitsStored > format.bitsAllocated) {
    return Refuse(format, "it codes 2 to 16 bits stored, no more than are allocated");
  }
  if (format.samplesPerPixel != 1 && format.samplesPerPixel != 3) {
    return Refuse(format, "it codes 1 or 3 samples per pixel");
  }
  if (!EncodablePhotometric(format.photometric, format.samplesPerPixel, nearLossless == 0)) {
    return Refuse(format, nearLossless == 0 ? "the photometric interpretation is not one JPEG-LS images have"
                                            : "the photometric interpretation is not one near-lossless images have");
  }
  // N may reach half the sample range (and at most 255).
  const int32_t largest = std::min<int32_t>(255, ((1 << format.bitsStored) - 1) / 2);
  if (nearLossless < 0 || nearLossless > largest) {
    return Error(ErrorCode::WrongKind, "a JPEG-LS near-lossless bound of " + std::to_string(nearLossless) +
                                           " where samples of " + std::to_string(format.bitsStored) +
                                           " bits allow 0 to " + std::to_string(largest));
  }
  return std::unique_ptr<IFrameEncoder>(std::make_unique<CJpegLsFrameEncoder>(format, nearLossless));
}

}  // namespace quillon
