#!/usr/bin/env bash
# bundle_runs_every_test.sh ROOT BUILD
# The test bundle as a contributor with Windows gets it: scripts/package-tests
# from the programs built in BUILD, unzipped into a folder of its own and run
# by Wine's cmd in a Wine prefix of its own. Its report must count one run for
# each of CTest's entries for a Windows program, none failed, and its exit
# code must say so.
set -euo pipefail
root=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DIST_DIR="$work" "$root/scripts/package-tests" --no-build
mkdir "$work/bundle"
python3 -m zipfile -e "$work"/Calvorinor-tests-*-win32.zip "$work/bundle"

# CTest's entries for Windows programs, and of those the ones it runs in
# another locale: a program's environment cannot change Windows' code page, nor
# Wine's under cmd, so run-tests.cmd counts them skipped unless the system's
# code page is theirs.
read -r expected other_locale < <(cd "$build" && ctest --show-only=json-v1 | python3 -c '
import json, sys
runs = other = 0
for test in json.load(sys.stdin)["tests"]:
    properties = {p["name"]: p["value"] for p in test.get("properties", [])}
    if test.get("command", [""])[0].endswith("/wine-run") and not properties.get("DISABLED"):
        runs += 1
        other += any(v.startswith("LC_ALL=") for v in properties.get("ENVIRONMENT", []))
print(runs, other)')

status=0
(cd "$work/bundle" && "$root/scripts/wine-run" "$build/wineprefix-bundle" cmd /c run-tests.cmd \
    </dev/null >/dev/null) || status=$?
report=$work/bundle/report.txt
cat "$report"
counts=$(tail -n 1 "$report" | tr -d '\r')
if ! [[ $counts =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed,\ ([0-9]+)\ skipped$ ]]; then
    echo "bundle: the report's last line is not its counts: $counts" >&2
    exit 1
fi
passed=${BASH_REMATCH[1]} failed=${BASH_REMATCH[2]} skipped=${BASH_REMATCH[3]}
echo "bundle: $counts, exit code $status; CTest: $expected entries for Windows programs," \
    "$other_locale of them in another locale"
if [ "$failed" -ne 0 ]; then
    [ "$status" -ne 0 ] || echo "bundle: exit code 0 with a run failed" >&2
    exit 1
fi
[ "$status" -eq 0 ] || { echo "bundle: exit code $status with no run failed" >&2; exit 1; }
[ "$passed" -eq $((expected - other_locale)) ] && [ "$skipped" -eq "$other_locale" ] ||
    { echo "bundle: the runs are not CTest's entries" >&2; exit 1; }
