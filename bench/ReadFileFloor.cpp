/// \file
/// read-file-floor FILE: the least any full read of FILE can cost — one
/// freshly allocated buffer of the file's size, filled by read(2), nothing
/// parsed. The dump benchmark compares our full read of a large file with
/// this, in time and in peak memory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read-file-floor FILE\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    std::fprintf(stderr, "read-file-floor: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  const auto size = static_cast<size_t>(info.st_size);
  auto buffer = std::make_unique_for_overwrite<uint8_t[]>(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, buffer.get() + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      std::fprintf(stderr, "read-file-floor: %s: short read at %zu\n", argv[1], done);
      ::close(fd);
      return 1;
    }
    done += static_cast<size_t>(got);
  }
  ::close(fd);
  // The buffer is not looked at again: a dump does not touch the pixel
  // bytes after reading them either, and on some virtual machines the first
  // touch of each page costs more than the read itself.
  std::printf("%zu bytes\n", done);
  return 0;
}
