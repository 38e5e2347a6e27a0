/// \file
/// What the JPEG 2000 encoder and decoder share around OpenJPEG: owning
/// handles for its codec, stream and image, and a codec that keeps its
/// first error message for ours instead of printing anything (a tool's
/// standard error belongs to its user).
#pragma once

#include <openjpeg.h>

#include <memory>
#include <string>

namespace quillon {

struct OpenJpegCodecDeleter {
  void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct OpenJpegStreamDeleter {
  void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct OpenJpegImageDeleter {
  void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

using OpenJpegCodec = std::unique_ptr<opj_codec_t, OpenJpegCodecDeleter>;
using OpenJpegStream = std::unique_ptr<opj_stream_t, OpenJpegStreamDeleter>;
using OpenJpegImage = std::unique_ptr<opj_image_t, OpenJpegImageDeleter>;

/// Routes `codec`'s messages: the first error (without its line end) into
/// `firstError`, which must outlive the codec; warnings and notes nowhere.
void KeepFirstOpenJpegError(opj_codec_t* codec, std::string* firstError);

}  // namespace quillon
