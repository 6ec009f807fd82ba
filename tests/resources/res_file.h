// Reading a compiled .res file (the output of a resource compiler), to compare the platform's resource
// compiler with the GNU one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "rsrc/rc_script.h"

// Reads every resource of a .res file, skipping the empty entry that starts it.
bool ReadResFile(const std::string &bytes, std::vector<kvplat::rsrc::Resource> *out, std::string *error);

// Runs the GNU resource compiler on `script` with the include folders `includes`; false (with the
// compiler's messages in *error) when it fails. Empty when the compiler is not installed.
bool WindresAvailable();
bool RunWindres(const std::string &script, const std::vector<std::string> &includes,
                std::vector<kvplat::rsrc::Resource> *out, std::string *error);

std::string Describe(const kvplat::rsrc::ResId &id);
