// What another user could leave in a service database for root to load: a shared object whose constructor
// runs as soon as it is loaded, before anyone looks for a DriverEntry. It leaves a mark in the current folder.
#include <fcntl.h>
#include <unistd.h>

__attribute__((constructor)) static void LeaveMark() {
  const int fd = ::open("planted-code-ran", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}
