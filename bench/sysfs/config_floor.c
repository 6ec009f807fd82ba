/* The least a program can do to show this machine's PCI functions: list /sys/bus/pci/devices (or the folder
 * given) and read the first 256 bytes of every function's config file. The sysfs benchmark times it as the
 * floor under kelvorant and lspci. Exits 1 when no function could be read. */
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char **argv) {
  const char *root = argc > 1 ? argv[1] : "/sys/bus/pci/devices";
  DIR *dir = opendir(root);
  if (!dir) return 1;
  unsigned char config[256];
  char path[4096];
  int read = 0;
  for (struct dirent *entry; (entry = readdir(dir)) != NULL;) {
    if (entry->d_name[0] == '.') continue;
    snprintf(path, sizeof path, "%s/%s/config", root, entry->d_name);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    if (pread(fd, config, sizeof config, 0) > 0) ++read;
    close(fd);
  }
  closedir(dir);
  return read > 0 ? 0 : 1;
}
