#!/usr/bin/env python3
"""Checks the include graph of src/ against the layers of the port.

Every folder of src/ is a layer. An include may point to the same folder or along one of the
arrows below, never up. Outside libraries (SDL, FreeType, fontconfig, libjpeg, libpng) may be
included only under platform/host/. Prints the graph it found, then every violation; exits 1
if there is one.

Usage: scripts/check-layers.py [SRC_DIR]
"""
import os
import re
import sys

# The allowed arrows, in one place: folder -> the folders it may include from.
# Listed bottom-up; a folder may always include its own headers.
ALLOWED = {
    "s_MathPack": set(),
    "platform/win": set(),
    "platform/rtl": {"platform/win"},
    "platform/host": {"platform/win", "platform/rtl"},
    "platform/gdi": {"platform/win", "platform/host"},
    "platform/forms": {"platform/win", "platform/rtl", "platform/host", "platform/gdi"},
    "platform/ddraw": {"platform/win", "platform/host", "platform/gdi"},
    "platform/mmio": {"platform/win"},
    "platform/dsound": {"platform/win", "platform/host"},
    "platform/dinput": {"platform/win", "platform/host"},
    "raster": set(),
    "platform/d3d": {"platform/win", "platform/ddraw", "raster"},
    "common": {"platform/win", "platform/rtl"},
    "KNArc": {"platform/win", "platform/rtl"},
    "kiln": {"platform/win", "platform/rtl", "platform/gdi", "platform/forms", "platform/ddraw",
             "platform/d3d", "common", "KNArc"},
    "SXlib": {"platform/win", "platform/rtl", "platform/d3d", "common", "s_MathPack", "kiln"},
    "ddsd": {"platform/win", "platform/rtl", "platform/dsound", "platform/mmio", "common"},
    "Ddidex": {"platform/win", "platform/rtl", "platform/dinput", "common"},
    "SXView1": {"platform/win", "platform/rtl", "platform/forms", "platform/gdi", "platform/ddraw",
                "platform/d3d", "platform/dsound", "platform/dinput", "common", "s_MathPack",
                "KNArc", "kiln", "SXlib", "ddsd", "Ddidex", "SXView1/game"},
    # Gameplay operations are member functions of the main form, compiled with it.
    "SXView1/game": {"platform/rtl", "s_MathPack", "SXlib", "SXView1"},
    # What starts the program picks the host backend (the one place outside the host that
    # may) and sets up the emulated machine (its display, its render threads).
    "app": {"platform/win", "platform/rtl", "platform/host", "platform/forms", "platform/ddraw",
            "platform/d3d", "SXView1", "kiln", "ddsd", "Ddidex", "common"},
}

# Single files that may cross a line their folder may not, each with its reason.
FILE_EXCEPTIONS = {
    # None today.
}

# Arrows that exist today and are known to be wrong; each is work to do, not a permission.
KNOWN_DEBTS = {
}

# Headers of the build's own tools; src/ should not reach into them.
TOOL_HEADERS = re.compile(r"^(assetgen|knapack|meshview|mixdemo)/")

OUTSIDE = re.compile(r"^(SDL[^/]*\.h|SDL2/|png\.h|jpeglib\.h|jerror\.h|ft2build\.h|freetype/|"
                     r"fontconfig/)")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def folder_of(rel):
    """The layer a path under src/ belongs to: the longest known folder prefix."""
    best = None
    for f in ALLOWED:
        if rel == f or rel.startswith(f + "/"):
            if best is None or len(f) > len(best):
                best = f
    return best


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    src = os.path.normpath(src)
    graph = {}
    errors = []
    for root, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".hpp", ".cpp", ".cc", ".c", ".inl")):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, src).replace(os.sep, "/")
            here = folder_of(rel)
            if here is None:
                errors.append(f"{rel}: folder is not a known layer (add it to ALLOWED)")
                continue
            with open(path, encoding="utf-8", errors="replace") as fh:
                for lineno, line in enumerate(fh, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    target = m.group(2)
                    if OUTSIDE.match(target):
                        if here != "platform/host":
                            errors.append(f"{rel}:{lineno}: outside library <{target}> "
                                          f"outside platform/host/")
                        continue
                    if m.group(1) == "<":
                        continue
                    if TOOL_HEADERS.match(target):
                        graph.setdefault(here, set()).add("tools")
                        if (here, "tools") not in KNOWN_DEBTS:
                            errors.append(f"{rel}:{lineno}: src/ may not include from tools/ "
                                          f"(\"{target}\")")
                        continue
                    there = folder_of(target)
                    if there is None:
                        if not os.path.exists(os.path.join(os.path.dirname(path), target)):
                            errors.append(f"{rel}:{lineno}: include \"{target}\" is not under "
                                          f"a known layer")
                        continue
                    if there == here:
                        continue
                    graph.setdefault(here, set()).add(there)
                    if there in ALLOWED[here] or there in FILE_EXCEPTIONS.get(rel, set()):
                        continue
                    if (here, there) in KNOWN_DEBTS:
                        continue
                    errors.append(f"{rel}:{lineno}: {here} may not include {there} "
                                  f"(\"{target}\")")
    print("layer graph (folder -> folders it includes):")
    for f in list(ALLOWED) + ["tools"]:
        if f in graph:
            marks = []
            for t in sorted(graph[f]):
                marks.append(t + (" [debt]" if (f, t) in KNOWN_DEBTS else ""))
            print(f"  {f:15} -> {', '.join(marks)}")
    for (a, b), why in KNOWN_DEBTS.items():
        if b in graph.get(a, set()):
            print(f"known debt: {a} -> {b}: {why}")
    if errors:
        print(f"{len(errors)} layer violation(s):")
        for e in errors:
            print("  " + e)
        return 1
    print("layers: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
