#!/usr/bin/env python3
"""Writes the project's own entries of a build's compile_commands.json to another folder.

Usage: compile-db.py SOURCE_DIR BUILD_DIR OUT_DIR

Kept: every translation unit under SOURCE_DIR, once each (a source that two targets compile is checked with
the first target's flags). Left out: generated sources inside the build folder (embedded resources and the
demo machine's capture, which are byte arrays).
"""
import json
import os
import sys


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source, build, out = (os.path.realpath(p) for p in sys.argv[1:])
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        entries = json.load(f)
    kept, seen = [], set()
    for entry in entries:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if not path.startswith(source + os.sep) or path.startswith(build + os.sep) or path in seen:
            continue
        seen.add(path)
        kept.append(entry)
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "compile_commands.json"), "w", encoding="utf-8") as f:
        json.dump(kept, f, indent=1)
    print(f"kelvorant: {len(kept)} translation units to check")


if __name__ == "__main__":
    main()
