#!/usr/bin/env bash
# tools/check-includes refuses includes across the folders' arrows and Qt in
# the engine, and lets a test include anything.
set -euo pipefail
check=$1/tools/check-includes
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{engine,jobs,app/gui,tests}
printf '#include "jobs/a.h"\n#include "platform/b.h"\n#include <vector>\n' >"$tree/engine/ok.cpp"
printf '#include "app/gui/x.h"\n#include <QWidget>\n' >"$tree/tests/ok.cpp"
printf '#include "engine/x.h"\n#include <QString>\n' >"$tree/app/gui/ok.cpp"
"$check" "$tree"
printf '#include "app/settings.h"\n' >"$tree/engine/bad.cpp"
printf '#include <QString>\n' >"$tree/jobs/bad.h"
if out=$("$check" "$tree"); then
  echo "a forbidden include passed"; exit 1
fi
grep -q "engine/bad.cpp:1: includes app/settings.h" <<<"$out"
grep -q "jobs/bad.h:1: includes QString" <<<"$out"
[ "$(grep -c ": includes " <<<"$out")" = 2 ]
