/// \file
/// "quillon-cli convert IN OUT --mode MODE [--monochrome]
/// [--transfer-syntax unchanged|explicit|implicit] [--quality Q] [--near N]
/// [--rate R]": re-encodes the pixel data into a new file. OUT appears only
/// when the conversion succeeded. --near (JPEG-LS) and --rate (JPEG 2000)
/// make those modes lossy; given with another mode they are usage errors.
#include "cli/CliCommand.h"

#include "pixel/PixelDataConverter.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
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
    {"rgb-planar", ConversionMode::RgbPlanar},      {"deflate", ConversionMode::Deflate},
    {"jpeg-lossless", ConversionMode::JpegLossless}, {"jpeg-ls", ConversionMode::JpegLs},
    {"jpeg2000", ConversionMode::Jpeg2000}};

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
  int nearLossless = 0;
  double rate = 0;
};

int RunConvert(const ConvertOptions& options) {
  ConversionOptions conversion;
  conversion.transferSyntaxChoice = options.syntax;
  conversion.quality = options.quality;
  conversion.nearLossless = options.nearLossless;
  conversion.compressionRatio = options.rate;
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
  CLI::Option* nearOption =
      command->add_option("--near", options->nearLossless, "JPEG-LS: largest error per sample, 0 (lossless) to 255")
          ->check(CLI::Range(0, 255));
  CLI::Option* rateOption =
      command->add_option("--rate", options->rate, "JPEG 2000: compression ratio above 1 (lossy)")
          ->check([](const std::string& text) {
            try {
              return std::stod(text) > 1 ? std::string() : std::string("the ratio must be above 1");
            } catch (const std::exception&) {
              return std::string("not a number: ") + text;
            }
          });
  command->callback([options, nearOption, rateOption, &exitCode] {
    if (nearOption->count() > 0 && options->mode != ConversionMode::JpegLs) {
      throw CLI::ValidationError("--near", "only with --mode jpeg-ls");
    }
    if (rateOption->count() > 0 && options->mode != ConversionMode::Jpeg2000) {
      throw CLI::ValidationError("--rate", "only with --mode jpeg2000");
    }
    exitCode = RunConvert(*options);
  });
}

}  // namespace quillon::cli
