// Loads KELVORANT.sys the way the service manager does (the platform's kernel, linked in), on an lspci dump of a
// machine in which every one of the 65,536 addresses of domain 0000 answers with a 256-byte image, then scans
// it through the I/O manager the way the program does.
// Prints load time, time per request and the process's peak memory (the target is under 64 MB).
//   kv_driver_bench [DUMP]    DUMP: where to write the generated dump (default: a file in /tmp)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kvplat/kernel.h"

namespace {

constexpr uint32_t kReadConfig = 0x222400, kReadExtConfig = 0x222410;

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes `lspci -xxx` text for every function: a multi-function type-0 device with one capability.
bool WriteDump(const std::string &path) {
  FILE *out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  for (unsigned index = 0; index < 65536; ++index) {
    unsigned char image[256] = {};
    const unsigned char header[] = {0xf4, 0x1a, static_cast<unsigned char>(index), static_cast<unsigned char>(index >> 8),
                                    0x06, 0x01, 0x10, 0x00, 0x01, 0x00, 0x00, 0x02, 0x10, 0x00,
                                    static_cast<unsigned char>((index & 7) == 0 ? 0x80 : 0x00)};
    std::memcpy(image, header, sizeof header);
    image[0x10] = 0x01;
    image[0x34] = 0x40;
    image[0x40] = 0x01;  // power management, end of the list
    std::fprintf(out, "%02x:%02x.%x Ethernet controller: bench\n", index >> 8, (index >> 3) & 0x1f, index & 7);
    for (unsigned line = 0; line < 256; line += 16) {
      std::fprintf(out, "%02x:", line);
      for (unsigned i = 0; i < 16; ++i) std::fprintf(out, " %02x", image[line + i]);
      std::fputc('\n', out);
    }
    std::fputc('\n', out);
  }
  return std::fclose(out) == 0;
}

kvplat::DeviceFileRef g_device;

// Sends one read to every address of the domain; returns how many answered with status `done`.
unsigned Scan(uint32_t code, uint32_t size, uint32_t done, unsigned addresses, double *seconds) {
  std::vector<unsigned char> buffer(size);
  unsigned answered = 0;
  const auto start = std::chrono::steady_clock::now();
  for (unsigned index = 0; index < addresses; ++index) {
    std::memset(buffer.data(), 0, size);
    const uint32_t address[3] = {index >> 8, (index >> 3) & 0x1f, index & 7};
    std::memcpy(buffer.data(), address, sizeof address);
    DWORD returned = 0;
    uint32_t status = 0;
    if (kvplat::SendDeviceControl(*g_device, code, buffer.data(), size, buffer.data(), size, &returned) == ERROR_SUCCESS)
      std::memcpy(&status, buffer.data() + size - 4, 4);
    answered += status == done;
  }
  *seconds = Seconds(start);
  return answered;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string dump = argc > 1 ? argv[1] : "/tmp/kv-driver-bench-" + std::to_string(getpid()) + ".txt";
  auto start = std::chrono::steady_clock::now();
  if (!WriteDump(dump)) {
    std::fprintf(stderr, "cannot write %s\n", dump.c_str());
    return 1;
  }
  std::printf("dump of 65536 functions written in %.2f s (%s)\n", Seconds(start), dump.c_str());
  std::printf("peak memory before loading the driver: %.1f MB\n", PeakMegabytes());

  setenv("KELVORANT_MACHINE", dump.c_str(), 1);
  start = std::chrono::steady_clock::now();
  if (kvplat::LoadDriver("KELVORANT", KV_BUILD_DIR "/KELVORANT.sys") != ERROR_SUCCESS ||
      kvplat::CreateDeviceFile("Kelvorant", &g_device) != ERROR_SUCCESS) {
    std::fprintf(stderr, "KELVORANT.sys did not start\n");
    return 1;
  }
  std::printf("DriverEntry on the dump: %.2f s\n", Seconds(start));
  if (argc <= 1) unlink(dump.c_str());

  double seconds = 0;
  unsigned answered = Scan(kReadConfig, 272, 1, 8192, &seconds);
  std::printf("IOCTL_READ_CONFIG, 8192 addresses (buses 0-31): %u answered, %.3f ms, %.2f us per request\n", answered,
              seconds * 1e3, seconds * 1e6 / 8192);
  answered = Scan(kReadConfig, 272, 1, 65536, &seconds);
  std::printf("IOCTL_READ_CONFIG, 65536 addresses: %u answered, %.3f ms, %.2f us per request\n", answered, seconds * 1e3,
              seconds * 1e6 / 65536);
  answered = Scan(kReadExtConfig, 3856, 0, 65536, &seconds);
  std::printf("IOCTL_READ_EXT_CONFIG, 65536 addresses: %u answered, %.3f ms, %.2f us per request\n", answered,
              seconds * 1e3, seconds * 1e6 / 65536);
  std::printf("peak memory of the process: %.1f MB (target: under 64 MB)\n", PeakMegabytes());
  g_device.reset();
  kvplat::UnloadDriver("KELVORANT");
  return 0;
}
