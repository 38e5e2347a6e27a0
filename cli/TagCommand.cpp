/// \file
/// "quillon-cli tag GGGG,EEEE [--sop-class UID]": what the library knows of
/// a tag — its VR from the data dictionary and its name from the name table.
#include "cli/CliCommand.h"

#include "dicom/DataDictionary.h"
#include "dicom/ValueRepresentation.h"
#include "dicom/TagNameTable.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace quillon::cli {

namespace {

std::optional<uint16_t> ParseHex16(const std::string& text) {
  if (text.size() != 4) return std::nullopt;
  uint16_t value = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = static_cast<uint16_t>(value * 16 + digit);
  }
  return value;
}

/// Accepts "GGGG,EEEE", optionally in parentheses.
std::optional<DicomTag> ParseTag(std::string text) {
  if (text.size() >= 2 && text.front() == '(' && text.back() == ')') text = text.substr(1, text.size() - 2);
  const auto comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const auto group = ParseHex16(text.substr(0, comma));
  const auto element = ParseHex16(text.substr(comma + 1));
  if (!group || !element) return std::nullopt;
  return MakeTag(*group, *element);
}

std::string DescribeVr(DicomVR code) {
  if (code == vr::kUnresolved) return "context-dependent";
  return VrToString(code);
}

struct TagOptions {
  std::string tag;
  std::string sopClass;
};

int RunTagCommand(const TagOptions& options, bool hasSopClass) {
  const DicomTag tag = *ParseTag(options.tag);
  const DicomVR code = hasSopClass ? LookupVRForSopClass(tag, options.sopClass) : LookupVR(tag);
  std::string name(GetTagName(tag));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty()) name = "Unknown tag";
  char tagText[16];
  std::snprintf(tagText, sizeof tagText, "(%04X,%04X)", TagGroup(tag), TagElement(tag));
  std::cout << tagText << '\t' << DescribeVr(code) << '\t' << name << '\n';
  return kExitSuccess;
}

}  // namespace

void RegisterTagCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<TagOptions>();
  CLI::App* command = app.add_subcommand(
      "tag", "Print a tag's VR and name, tab-separated: (GGGG,EEEE) VR name");
  command->add_option("tag", options->tag, "The tag as GGGG,EEEE (hexadecimal)")
      ->required()
      ->check(CLI::Validator(
          [](std::string& text) {
            return ParseTag(text) ? std::string() : "expected a tag as GGGG,EEEE, got \"" + text + "\"";
          },
          "GGGG,EEEE"));
  CLI::Option* sopClass = command->add_option(
      "--sop-class", options->sopClass, "Resolve SOP-class-dependent VRs for this SOP Class UID");
  command->callback([options, sopClass, &exitCode] { exitCode = RunTagCommand(*options, sopClass->count() > 0); });
}

}  // namespace quillon::cli
