#!/usr/bin/env bash
# scripts/check-includes on a small tree with planted includes: it must report exactly the ones
# that break a layer rule (however the include is written and whatever the file's type) and none
# of the allowed ones.
#   check-includes-planted.sh CHECKER
set -euo pipefail
checker="$1"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

plant() { mkdir -p "$tree/$(dirname "$1")"; printf '%s\n' "${@:2}" >"$tree/$1"; }

# Headers the includes reach.
plant hrv/core/Settings.h '#pragma once'
plant hrv_ui/Report.h '#pragma once'
plant selftest/TestBase.h '#pragma once'
plant host/calc/Engine.h '#pragma once'
plant host/caf/CafHost.h '#pragma once'
plant hostframework/interfaces/IDocument.h '#pragma once'
plant foundation/base/RefCount.h '#pragma once'
plant hostframework/events/Events.h '#pragma once'
plant foundation/String.h '#pragma once'
plant platform/com/Com.h '#pragma once'
plant hostframework/base/ComObjectRoot.h '#pragma once'
plant controls/Edit.h '#pragma once'
plant tracedraw/Pane.h '#pragma once'

# The planted files; "bad" in a line marks the includes that must be reported.
plant host/extcalc/Bridge.cpp \
  '#include "hostframework/interfaces/IDocument.h"' \
  '#include "../../hrv/core/Settings.h" // bad: relative path into the extension' \
  '#include <vector>'
plant host/varnex/desktop/Open.cpp \
  '  #  include <hrv_ui/Report.h> // bad: angle brackets, spaced' \
  '#include "caf/CafHost.h"'
plant host/tests/HostTests.cpp '#include "selftest/TestBase.h" // bad: host tests too'
plant hrv/document/Document.cpp \
  '#include "../core/Settings.h"' \
  '#include "host/calc/Engine.h" // bad: the extension reaching the host' \
  '#include "caf/CafHost.h" // bad: found through the host include folder'
plant hrv_ui/Views.inl '#include "host/calc/Engine.h" // bad: another file type'
plant selftest/Runner.ipp '#include "../host/caf/CafHost.h" // bad'
plant selftest/tests/RunnerTests.cpp '#include "host/caf/CafHost.h"'
plant hostframework/docview/View.cpp \
  '#include "hostframework/events/Events.h"' \
  '#include "hrv/core/Settings.h" // bad: the framework reaching the extension' \
  '#include "../../host/calc/Engine.h" // bad: and the host'
plant hostframework/docview/tests/ViewTests.cpp '#include "host/calc/Engine.h"'
plant platform/ui/Window.cpp \
  '#include "com/Com.h"' \
  '#include "foundation/String.h" // bad'
plant foundation/units/Units.cpp \
  '#include "foundation/base/RefCount.h"' \
  '#include "platform/com/Com.h"' \
  '#include "hostframework/events/Events.h" // bad: foundation never includes the framework' \
  '#include "../../hostframework/base/ComObjectRoot.h" // bad: its bases neither'
plant hrv/document/Dialogs.cpp \
  '#include "hrv/core/Settings.h"' \
  '#include "controls/Edit.h" // bad: the document draws no controls' \
  '#include "../../tracedraw/Pane.h" // bad: nor traces'

expected=$(grep -rn 'bad' "$tree" | sed -E "s|^$tree/||; s|^([^:]+:[0-9]+):.*|\1|" | sort)
set +e
out=$(bash "$checker" "$tree")
status=$?
set -e
reported=$(printf '%s\n' "$out" | sed -nE 's/^check-includes: [^:]+: ([^:]+:[0-9]+): .*/\1/p' | sort)

failed=0
[ "$status" -eq 1 ] || { echo "expected exit status 1, got $status"; failed=1; }
if [ "$reported" != "$expected" ]; then
  echo "reported includes differ from the planted ones"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$reported") | sed 's/^</missed:/; s/^>/wrongly reported:/'
  failed=1
fi
# Without the bad lines the tree passes.
grep -rl 'bad' "$tree" | xargs sed -i '/bad/d'
bash "$checker" "$tree" >/dev/null || { echo "the clean tree was reported"; bash "$checker" "$tree"; failed=1; }
[ "$failed" -eq 0 ] && echo "all $(printf '%s\n' "$expected" | wc -l) planted violations reported"
exit "$failed"
