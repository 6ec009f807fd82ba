// What a function is: a description of its class code, and whether it is PCI-X or PCI Express.
#include "ui/KelvorantDlg.h"

#include <stdio.h>

namespace {

const char *const kBaseClassDescriptions[] = {
    "Unknown",                                            // 00h
    "Mass storage controller",                            // 01h, refined by subclass below
    "Network controller",                                 // 02h
    "Display controller",                                 // 03h
    "Multimedia device",                                  // 04h
    "Memory controller",                                  // 05h
    "Bridge device",                                      // 06h
    "Simple communication controller",                    // 07h
    "Base system peripheral",                             // 08h
    "Input device",                                       // 09h
    "Docking station",                                    // 0Ah
    "Processor",                                          // 0Bh
    "Serial bus controller",                              // 0Ch
    "Wireless controller",                                // 0Dh
    "Intelligent I/O controller",                         // 0Eh
    "Satellite communication controller",                 // 0Fh
    "Encryption/Decryption controller",                   // 10h
    "Data acquisition and signal processing controller",  // 11h
};

const char *const kMassStorageDescriptions[] = {
    "SCSI bus controller",              // 00h
    "IDE controller",                   // 01h
    "Floppy disk controller",           // 02h
    "IPI bus controller",               // 03h
    "RAID controller",                  // 04h
    "ATA controller with DMA",          // 05h
    "Serial ATA controller",            // 06h
    "Serial attached SCSI controller",  // 07h
};

const DWORD kLastBaseClass = 0x11;
const DWORD kLastMassStorageSubclass = 0x07;

// Configuration header registers used by the capability walk.
const int kStatusLow = 0x06;
const BYTE kStatusCapabilitiesList = 0x10;
const int kHeaderType = 0x0E;
const int kCapabilityPointer = 0x34;          // header layouts 0 and 1
const int kCardBusCapabilityPointer = 0x14;   // header layout 2
const BYTE kCapabilityPciExpress = 0x10;
const BYTE kCapabilityPciX = 0x07;

// The image has 64 dword positions: a walk longer than that has gone round a loop.
const int kMaxCapabilities = 64;

}  // namespace

void CKelvorantDlg::GetClassDescription(DWORD classCode, char *text) {
  text[0] = '\0';
  DWORD baseClass = classCode >> 16;
  if (baseClass > kLastBaseClass) {
    sprintf(text, "%s", "Unknown");
    return;
  }
  if (baseClass == 0x01) {
    DWORD subclass = (classCode >> 8) & 0xFF;
    sprintf(text, "%s", subclass <= kLastMassStorageSubclass ? kMassStorageDescriptions[subclass]
                                                             : "Mass storage controller");
    return;
  }
  sprintf(text, "%s", kBaseClassDescriptions[baseClass]);
}

DWORD CKelvorantDlg::GetInterfaceKind(const BYTE *image) {
  if (!(image[kStatusLow] & kStatusCapabilitiesList)) return INTERFACE_PCI;

  BYTE pointer;
  switch (image[kHeaderType] & 0x03) {
    case 0:
    case 1:
      pointer = image[kCapabilityPointer];
      break;
    case 2:
      pointer = image[kCardBusCapabilityPointer];
      break;
    default:
      return INTERFACE_PCI;
  }

  for (int step = 0; pointer != 0 && step < kMaxCapabilities; step++) {
    int position = pointer & 0xFC;
    if (image[position] == kCapabilityPciExpress) return INTERFACE_PCI_EXPRESS;
    if (image[position] == kCapabilityPciX) return INTERFACE_PCIX;
    pointer = image[position + 1];
  }
  return INTERFACE_PCI;
}
