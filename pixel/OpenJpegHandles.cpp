#include "pixel/OpenJpegHandles.h"

namespace quillon {

namespace {

void KeepError(const char* message, void* user) {
  auto* kept = static_cast<std::string*>(user);
  if (kept->empty() && message != nullptr) {
    kept->assign(message);
    while (!kept->empty() && kept->back() == '\n') kept->pop_back();
  }
}

void Ignore(const char*, void*) {}

}  // namespace

void KeepFirstOpenJpegError(opj_codec_t* codec, std::string* firstError) {
  opj_set_error_handler(codec, KeepError, firstError);
  opj_set_warning_handler(codec, Ignore, nullptr);
  opj_set_info_handler(codec, Ignore, nullptr);
}

}  // namespace quillon
