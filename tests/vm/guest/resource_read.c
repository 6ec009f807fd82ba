/* Reads one 32-bit register of a PCI function through a memory BAR's sysfs file, as a driver would after
 * mapping the BAR: prints it as eight hex digits. The guest's tests use it to see whether a BAR decodes.
 *   resource_read /sys/bus/pci/devices/DDDD:BB:DD.F/resourceN OFFSET
 * Exit status: 0 read, 1 the file cannot be mapped, 2 bad arguments. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: resource_read RESOURCE_FILE OFFSET\n");
    return 2;
  }
  char *end = NULL;
  const unsigned long offset = strtoul(argv[2], &end, 0);
  if (*argv[2] == '\0' || *end != '\0' || offset % 4 != 0) {
    fprintf(stderr, "resource_read: %s: not a dword offset\n", argv[2]);
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || offset + 4 > (unsigned long)st.st_size) {
    fprintf(stderr, "resource_read: %s: no register at %#lx\n", argv[1], offset);
    return 1;
  }
  const long page = sysconf(_SC_PAGESIZE);
  const unsigned long base = offset & ~(unsigned long)(page - 1);
  void *map = mmap(NULL, (size_t)page, PROT_READ, MAP_SHARED, fd, (off_t)base);
  if (map == MAP_FAILED) {
    perror("resource_read: mmap");
    return 1;
  }
  const volatile uint32_t *reg = (const volatile uint32_t *)((const char *)map + (offset - base));
  printf("%08x\n", (unsigned)*reg);
  munmap(map, (size_t)page);
  close(fd);
  return 0;
}
