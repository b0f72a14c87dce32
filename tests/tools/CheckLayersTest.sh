#!/usr/bin/env bash
# tools/check-layers on a small tree of its own: one source file and one include per case.
#   CheckLayersTest.sh
set -euo pipefail

script=$(cd "$(dirname "$0")/../.." && pwd)/tools/check-layers
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/tools" "$tree/resources/shared" "$tree/desktop" "$tree/handheld" "$tree/Common"
cp "$script" "$tree/tools/"
for header in Common/commands/FileCommands.h Common/shell/Near.h Common/framework/Window.h \
    Common/engine/FTPClient.h handheld/OrletView.h resources/shared/SharedResource.h \
    resources/desktop/resource.h; do
    mkdir -p "$tree/$(dirname "$header")"
    : >"$tree/$header"
done

# source | include | "" when the check passes, else a text its report must hold
cases=(
    'Common/commands/A.cpp|shell/Near.h|'
    'Common/shell/A.cpp|Near.h|'
    'Common/engine/A.cpp|SharedResource.h|'
    'Common/shell/A.cpp|commands/FileCommands.h|Common/shell/A.cpp:2: "commands/FileCommands.h": Common/shell may not include Common/commands'
    'desktop/A.cpp|../handheld/OrletView.h|desktop may not include handheld'
    'Common/engine/A.cpp|framework/Window.h|Common/engine may not include Common/framework'
    'Common/framework/A.cpp|../engine/FTPClient.h|Common/framework may not include Common/engine'
    'desktop/A.cpp|resource.h|'
    'Common/program/A.cpp|resource.h|Common/program may not include resources/desktop'
    'Common/shell/A.h|Missing.h|"Missing.h": no such file'
    'Common/newlayer/A.cpp|shell/Near.h|folder Common/newlayer has no place in the layer order'
)
failed=0
for case in "${cases[@]}"; do
    IFS='|' read -r source include expected <<<"$case"
    mkdir -p "$tree/$(dirname "$source")"
    printf '// a line before\n#include "%s"\n' "$include" >"$tree/$source"
    status=0
    report=$("$tree/tools/check-layers" 2>&1) || status=$?
    rm "$tree/$source"
    if [[ -z $expected && $status -ne 0 ]] || [[ -n $expected && ($status -ne 1 || $report != *"$expected"*) ]]; then
        echo "FAILED: $source including \"$include\" (status $status):"
        echo "$report"
        failed=1
    fi
done
((failed == 0)) && echo "check-layers: ${#cases[@]} cases as expected"
exit $failed
