// A service of the service database and the file that holds it: one JSON object with every field.
#pragma once
#include <windows.h>

#include <string>

#include "process_identity.h"

namespace kvplat {

struct ServiceRecord {
  std::string id;           // set at creation: tells a re-created service from the one a handle was opened on
  std::string name;         // as given to CreateServiceA
  std::string displayName;
  DWORD serviceType = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::string binaryPath;
  bool running = false;     // as recorded; whether it still runs depends on `starter` (see service_state.h)
  ProcessIdentity starter;  // the process that started it
  DWORD exitCode = ERROR_SERVICE_NEVER_STARTED;
  bool markedForDelete = false;
};

// The record as its file holds it.
std::string ServiceRecordText(const ServiceRecord &record);

// The record a file holds. Throws std::exception saying what is wrong when the text is not a record: not
// JSON, a field missing or of another type, a number that its field cannot hold, an unknown state.
ServiceRecord ParseServiceRecord(const std::string &text);

}  // namespace kvplat
