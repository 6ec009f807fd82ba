// The dialog's operations one at a time, in process, with KELVORANT.sys serving the demo machine through the
// service manager as at start-up: the register view refresh of a PCI Express bridge (285 rows), and Save
// plus Reload of that function. Each is set side by side with the driver requests it sends, sent alone, so
// the ratio is what the view and the slots add to the driver.
//   kv_register_view_bench [OPERATIONS]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "driver/DriverControl.h"
#include "driver/DriverInterface.h"
#include "figures.h"
#include "inventory/DeviceKey.h"
#include "kelvorant_run.h"
#include "testable_dialog.h"

extern int g_nLastSelectedItem;

namespace {

constexpr size_t kRows = 285;
constexpr int kBatches = 21;
constexpr double kFrameMicroseconds = 1e6 / 60;  // for reference: no target is set for these

class BenchDlg : public TestableDlg {
 public:
  using CKelvorantDlg::ReloadSlot;
  using CKelvorantDlg::SaveSlot;
  using CKelvorantDlg::ScanBus;
};

// The median over batches of the time per call, in microseconds.
double MicrosecondsPerCall(int calls, const std::function<void()> &call) {
  const int perBatch = std::max(1, calls / kBatches);
  std::vector<double> batches;
  for (int b = 0; b < kBatches; ++b) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < perBatch; ++i) call();
    batches.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
                      perBatch);
  }
  return kvbench::Median(batches);
}

void SendRead(DWORD code, void *request, DWORD size, UINT bus, UINT device, UINT function) {
  std::memset(request, 0, size);
  DWORD *address = static_cast<DWORD *>(request);
  address[0] = bus, address[1] = device, address[2] = function;
  SendDeviceRequest(code, request, size);
}

void Report(const char *operation, double micros, const char *requests, double requestMicros) {
  std::printf("  %-22s %9.1f us   %-36s %8.1f us   ratio %6.1f   (one frame: %.0f us)\n", operation, micros,
              requests, requestMicros, micros / requestMicros, kFrameMicroseconds);
}

}  // namespace

int main(int argc, char **argv) {
  const int operations = argc > 1 ? std::max(kBatches, std::atoi(argv[1])) : 2100;
  kvbench::KelvorantFolder folder("register-view-bench");
  setenv("KELVORANT_MACHINE", "demo", 1);
  setenv("KELVORANT_SCM_DIR", (folder.Dir() / "scm").c_str(), 1);
  unsetenv("KELVORANT_TRACE");
  char driverPath[MAX_PATH] = {};
  if (!folder.Ready() || chdir(folder.Dir().c_str()) != 0 || !OpenDriverDevice(driverPath)) {
    std::fprintf(stderr, "cannot start KELVORANT.sys on the demo machine\n");
    return 1;
  }

  BenchDlg dlg;
  dlg.ScanBus();
  // The first row whose view has every row: a PCI Express function with a type 1 header.
  const int count = (int)dlg.m_deviceList.SendMessage(LVM_GETITEMCOUNT, 0, 0);
  int row = 0;
  for (; row < count; ++row) {
    dlg.m_deviceList.SendMessage(LVM_SETSELECTIONMARK, 0, row);
    g_nLastSelectedItem = -1;
    dlg.RefreshRegisterView();
    if (dlg.RegisterRows().size() == kRows) break;
  }
  if (row == count) {
    std::fprintf(stderr, "the demo machine has no function with %zu register rows\n", kRows);
    return 1;
  }
  UINT bus, device, function;
  UnpackDeviceKey((DWORD)dlg.m_deviceList.GetItemData(row), &bus, &device, &function);
  std::printf("register view and slots of %02x:%02x.%x on the demo machine (%zu rows), in process, %d operations\n",
              bus, device, function, kRows, operations);

  ConfigRequest request;
  ExtConfigRequest extRequest;
  const double readMicros = MicrosecondsPerCall(operations, [&] {
    SendRead(IOCTL_READ_CONFIG, &request, sizeof request, bus, device, function);
    SendRead(IOCTL_READ_EXT_CONFIG, &extRequest, sizeof extRequest, bus, device, function);
  });
  const double refreshMicros = MicrosecondsPerCall(operations, [&] {
    g_nLastSelectedItem = -1;  // as if another row had been shown in between
    dlg.RefreshRegisterView();
  });
  const double saveMicros = MicrosecondsPerCall(operations, [&] { dlg.SaveSlot(0); });
  // A reload writes back what the save read, with both requests, then reads the view afresh; the buffers
  // still hold what the last read of the function gave.
  const double writeMicros = MicrosecondsPerCall(operations, [&] {
    SendDeviceRequest(IOCTL_WRITE_CONFIG, &request, sizeof request);
    SendDeviceRequest(IOCTL_WRITE_EXT_CONFIG, &extRequest, sizeof extRequest);
  });
  const double reloadMicros = MicrosecondsPerCall(operations, [&] { dlg.ReloadSlot(0); });

  const bool shown = dlg.RegisterRows().size() == kRows;
  // The operation's time, then its requests' time: the order of the columns.
  // NOLINTNEXTLINE(readability-suspicious-call-argument)
  Report("register view refresh", refreshMicros, "its reads (272 + 3856 bytes)", readMicros);
  Report("save", saveMicros, "its reads (272 + 3856 bytes)", readMicros);
  Report("reload", reloadMicros, "its writes, then the refresh's reads", writeMicros + readMicros);
  Report("save + reload", saveMicros + reloadMicros, "their requests", 2 * readMicros + writeMicros);
  std::printf("  the view shows %s rows after the last reload\n", shown ? "all" : "NOT all");
  std::printf("  %s\n", kvbench::MachineLoad().c_str());
  UninstallDriver();
  return shown ? 0 : 1;
}
