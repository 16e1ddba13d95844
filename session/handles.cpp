#include "session/handles.h"

#include <unistd.h>

namespace lumo {

void FileHandle::reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

}  // namespace lumo
