#include "comms/receive_wait.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace qd {

bool PrepareReceiveWait(int fd) {
  timeval limit{};
  limit.tv_usec = kReceiveWaitMs * 1000;
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return false;
  if ((flags & O_NONBLOCK) != 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
  return true;
}

}  // namespace qd
