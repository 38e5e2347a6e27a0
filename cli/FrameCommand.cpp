/// \file
/// "quillon-cli frame IN --frame N OUT": saves frame N as the viewer shows
/// it (window, palette, MONOCHROME1 inverted) to a BMP or PNG file.
#include "cli/CliCommand.h"

#include "pixel/FrameImageWriter.h"
#include "pixel/PixelImage.h"

#include <iostream>
#include <memory>
#include <string>

namespace quillon::cli {

namespace {

struct FrameOptions {
  std::string input;
  std::string output;
  int32_t frame = 0;
  std::vector<int32_t> window;
};

const char* DescribeFrameStatus(FrameStatus status) {
  switch (status) {
    case FrameStatus::Success: return "success";
    case FrameStatus::Written: return "the file has no pixel data";
    case FrameStatus::CannotReopen: return "the file could not be opened again";
    case FrameStatus::ReadWriteFailed: return "the frame could not be read";
    case FrameStatus::NoBuffer: return "not enough memory for the frame";
    case FrameStatus::CodecFailed: return "the frame could not be decoded";
    case FrameStatus::OutOfRange: return "there is no such frame";
    case FrameStatus::Failure: break;
  }
  return "the frame could not be read";
}

int RunFrame(const FrameOptions& options) {
  CPixelImage image;
  if (!image.OpenFile(options.input)) {
    std::cerr << "Error Reading File: " << options.input << ": "
              << (image.OpenError().empty() ? "not readable, or its pixel data has no supported encoding"
                                            : image.OpenError())
              << "\n";
    return kExitFailure;
  }
  int32_t width = 0;
  int32_t center = 0;
  if (options.window.size() == 2) {
    (void)image.SetWindow(options.window[0], options.window[1]);
  } else if (image.GetWindow(width, center) && width > 256 && image.Object() != nullptr &&
             SuggestedWindow(*image.Object(), width, center)) {
    // The window the file suggests, as the editor's pixel view opens it.
    (void)image.SetWindow(width, center);
  }
  std::unique_ptr<uint8_t[]> bitmap;
  try {
    bitmap = std::make_unique<uint8_t[]>(image.FrameSize());
  } catch (const std::bad_alloc&) {
    std::cerr << "quillon-cli: not enough memory for the frame\n";
    return kExitFailure;
  }
  uint64_t length = 0;
  const FrameStatus status = image.ReadFrame(options.frame, bitmap.get(), image.FrameSize(), length);
  if (status != FrameStatus::Success) {
    std::cerr << "quillon-cli: frame " << options.frame << " of " << options.input << ": "
              << DescribeFrameStatus(status) << "\n";
    return kExitFailure;
  }
  const BitmapInfo* info = image.GetBitmapInfo();
  const Status written = info == nullptr ? Status(Error(ErrorCode::Failure, "the frame has no displayable bitmap"))
                                         : WriteFrameImage(options.output, *info, image.AlignedColumns(), bitmap.get());
  if (!written) {
    std::cerr << "Error Writing File: " << options.output << ": " << written.Message() << "\n";
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace

void RegisterFrameCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<FrameOptions>();
  CLI::App* command = app.add_subcommand("frame", "Save one frame as a BMP or PNG image, as the viewer shows it");
  command->add_option("input", options->input, "The DICOM file")->required();
  command->add_option("--frame", options->frame, "Frame number, from 0")->check(CLI::NonNegativeNumber);
  command->add_option("output", options->output, "The image file (.bmp or .png)")->required();
  command->add_option("--window", options->window, "Window width and centre for 16-bit grey images (default: the one the file suggests, else the full range of Bits Stored)")
      ->expected(2);
  command->callback([options, &exitCode] { exitCode = RunFrame(*options); });
}

}  // namespace quillon::cli
