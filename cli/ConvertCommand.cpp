/// \file
/// "quillon-cli convert IN OUT --mode MODE [--monochrome]
/// [--transfer-syntax unchanged|explicit|implicit]": re-encodes the pixel
/// data into a new file. OUT appears only when the conversion succeeded.
#include "cli/CliCommand.h"

#include "pixel/PixelDataConverter.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>

namespace quillon::cli {

namespace {

const std::map<std::string, ConversionMode> kModes{
    {"uncompressed", ConversionMode::Uncompressed}, {"ybr-full", ConversionMode::YbrFull},
    {"ybr-full-rle", ConversionMode::YbrFullRle},   {"jpeg", ConversionMode::JpegLossy},
    {"rle", ConversionMode::Rle},                   {"rgb-pixel", ConversionMode::RgbPixelInterleave},
    {"rgb-planar", ConversionMode::RgbPlanar},      {"deflate", ConversionMode::Deflate}};

const std::map<std::string, TransferSyntaxChoice> kSyntaxes{{"unchanged", TransferSyntaxChoice::Unchanged},
                                                            {"explicit", TransferSyntaxChoice::Explicit},
                                                            {"implicit", TransferSyntaxChoice::Implicit}};

struct ConvertOptions {
  std::string input;
  std::string output;
  ConversionMode mode = ConversionMode::Uncompressed;
  TransferSyntaxChoice syntax = TransferSyntaxChoice::Unchanged;
  bool monochrome = false;
  int quality = 85;
};

int RunConvert(const ConvertOptions& options) {
  ConversionOptions conversion;
  conversion.transferSyntaxChoice = options.syntax;
  conversion.quality = options.quality;
  // Progress only where a person watches: a terminal on standard error.
  const bool showProgress = ::isatty(STDERR_FILENO) != 0;
  ConversionProgress progress;
  if (showProgress) {
    progress = [](int32_t done, int32_t total) {
      std::fprintf(stderr, "\rframe %d of %d", done, total);
      if (done == total) std::fputc('\n', stderr);
      return true;
    };
  }
  std::string writeError;
  const DCT_STATUS status = ConvertPixelDataFile(conversion, options.input, options.output, options.mode,
                                                 options.monochrome, progress, &writeError);
  if (status != DCT_STATUS::Success) {
    std::cerr << "quillon-cli: convert failed (" << static_cast<unsigned>(status)
              << "): " << DescribeConversionStatus(status) << (writeError.empty() ? "" : ": ") << writeError << "\n";
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace

void RegisterConvertCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* command = app.add_subcommand("convert", "Compress, decompress or recode the pixel data into a new file");
  command->add_option("input", options->input, "The file to convert")->required();
  command->add_option("output", options->output, "The new file")->required();
  command->add_option("--mode", options->mode, "What the pixel data becomes")
      ->required()
      ->transform(CLI::CheckedTransformer(kModes, CLI::ignore_case));
  command->add_option("--transfer-syntax", options->syntax, "Transfer syntax of an uncompressed result")
      ->transform(CLI::CheckedTransformer(kSyntaxes, CLI::ignore_case));
  command->add_flag("--monochrome", options->monochrome, "Reduce colour images to their luminance");
  command->add_option("--quality", options->quality, "JPEG quality, 1 to 100")->check(CLI::Range(1, 100));
  command->callback([options, &exitCode] { exitCode = RunConvert(*options); });
}

}  // namespace quillon::cli
