// The address of a PCI function as one number: the item data of a device-list row and the key of a slot.
#pragma once

#include <windows.h>

#define NO_DEVICE_KEY 0xFFFFFFFFu

inline DWORD MakeDeviceKey(ULONG bus, ULONG device, ULONG function) {
  return (bus << 16) + (device << 8) + function;
}

inline void UnpackDeviceKey(DWORD key, UINT *bus, UINT *device, UINT *function) {
  *bus = key >> 16;
  *device = (key >> 8) & 0xFF;
  *function = key & 0xFF;
}
