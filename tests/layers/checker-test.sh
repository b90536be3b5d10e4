#!/usr/bin/env bash
# Runs the layer checker over small made-up trees: a downward include passes, an upward one,
# an outside library outside the host, and an include from tools/ each fail.
set -u
python=$1 checker=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
tree() { rm -rf "$tmp/src"; mkdir -p "$tmp/src/raster" "$tmp/src/SXView1" "$tmp/src/kiln" "$tmp/src/platform/host"; }
expect() {  # expect CODE WHAT
  "$python" "$checker" "$tmp/src" >"$tmp/out" 2>&1
  local got=$?
  if [ "$got" -ne "$1" ]; then echo "FAIL: $2: exit $got, expected $1"; cat "$tmp/out"; fail=1; fi
}
tree; echo '#include "kiln/TKiln.h"' >"$tmp/src/SXView1/A.cpp"; expect 0 "form includes a lower layer"
tree; echo '#include "SXView1/TForm1.h"' >"$tmp/src/raster/A.cpp"; expect 1 "rasterizer includes the form"
tree; echo '#include <SDL.h>' >"$tmp/src/raster/A.cpp"; expect 1 "SDL outside the host"
tree; echo '#include <SDL.h>' >"$tmp/src/platform/host/A.cpp"; expect 0 "SDL inside the host"
tree; echo '#include "knapack/Pack.h"' >"$tmp/src/raster/A.cpp"; expect 1 "a tool's header"
tree; mkdir -p "$tmp/src/newfolder"; echo '' >"$tmp/src/newfolder/A.cpp"; expect 1 "a folder with no layer"
exit $fail
