#!/usr/bin/env bash
# Lists the functions of platform/ and kelvorant_sys/ that no shipped file reaches: kelvorant, its window
# library and KELVORANT.sys are linked with one section per function and --gc-sections, and a function
# whose section is kept by none of the three links is unreachable (a file that no link pulls from its
# archive counts as wholly unreachable). Usage: tools/unreachable-functions.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-gc}
flags="-O0 -fno-inline -ffunction-sections -fdata-sections"
link="-Wl,--gc-sections"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$link" -DCMAKE_MODULE_LINKER_FLAGS="$link" >/dev/null
cmake --build "$build" -j "$(nproc)" --target kelvorant kelvorant_window KELVORANT_sys >/dev/null
# Each link once more, with its map.
for target in .:kelvorant platform/window:kelvorant_window kelvorant_sys:KELVORANT_sys; do
  dir=$build/${target%%:*} name=${target#*:}
  (cd "$dir" && eval "$(cat "CMakeFiles/$name.dir/link.txt") -Wl,-Map=$PWD/$name.map")
done
python3 - "$build" <<'PY'
import glob, os, re, subprocess, sys
build = sys.argv[1]
top = os.getcwd()
# Every function section that a platform or driver object defines.
defined = {}
for obj in glob.glob(f"{build}/platform/**/*.o", recursive=True) + glob.glob(f"{build}/kelvorant_sys/**/*.o", recursive=True):
    if "/tests/" in obj or "CMakeFiles/kv_machine.dir" in obj:
        continue
    out = subprocess.run(["readelf", "-SW", obj], capture_output=True, text=True).stdout
    for name in re.findall(r"\]\s+(\.text\.\S+)\s+PROGBITS", out):
        defined.setdefault(name[len(".text."):], set()).add(obj)
# The sections that at least one of the three links keeps: the memory map lists them with their file.
kept = set()
for path in glob.glob(f"{build}/**/*.map", recursive=True):
    text = open(path, errors="replace").read()
    text = text.split("Linker script and memory map", 1)[-1]
    for name in re.findall(r"^ \.text\.(\S+)", text, re.M):
        kept.add(name)
names = sorted(set(defined) - kept)
demangled = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True).stdout.split("\n")
rows = []
for name, pretty in zip(names, demangled):
    if name.startswith(("_ZSt", "_ZNSt", "_ZNKSt", "_ZNSa", "_ZNKSa", "_ZN9__gnu_cxx", "_ZNK9__gnu_cxx", "_ZN8nlohmann", "_ZNK8nlohmann")):
        continue  # the standard library's and nlohmann's instantiations
    for obj in sorted(defined[name]):
        rows.append(f"{os.path.relpath(obj, build)}: {pretty}")
print("\n".join(sorted(set(rows))))
print(f"{len(set(rows))} unreachable platform and driver functions", file=sys.stderr)
PY
