#!/usr/bin/env bash
# help_builds_nothing.sh ROOT
# scripts/run --help and scripts/test --help print their usage and exit 0
# without installing, building or making a Wine prefix: nothing appears in
# the build folder they are given.
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for script in run test; do
    usage=$(BUILD_DIR="$work/build" "$root/scripts/$script" --help)
    grep -q "^usage: scripts/$script" <<<"$usage"
done
[ -z "$(ls -A "$work")" ]
