#!/usr/bin/env bash
# Sets the machine up, builds the tool, and stamps the bundled sample document into out/demo.pdf.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR

# The stamping options of the demo (see README.md for all of them).
DEMO_OPTIONS=(-wm samples/logo.pdf -nbp)

bash "$ROOT/scripts/setup.sh"
# The tool and the library it links, not the tests: scripts/test.sh builds those.
bash "$ROOT/scripts/build.sh" zorvane

cd "$ROOT"
mkdir -p out
rm -f out/demo.pdf out/demo.log
echo "demo.sh: $BUILD_DIR/zorvane samples/sample.pdf out/demo.pdf ${DEMO_OPTIONS[*]}"
"$BUILD_DIR/zorvane" samples/sample.pdf out/demo.pdf "${DEMO_OPTIONS[@]}" -l out/demo.log || {
  echo "demo.sh: zorvane failed; its log:" >&2
  cat out/demo.log >&2
  exit 1
}
cat out/demo.log
if [ ! -s out/demo.pdf ]; then
  echo "demo.sh: zorvane finished but wrote no out/demo.pdf" >&2
  exit 1
fi
echo "demo.sh: the result is $ROOT/out/demo.pdf (log: $ROOT/out/demo.log)"
