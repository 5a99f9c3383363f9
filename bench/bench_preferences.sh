#!/usr/bin/env bash
# Times the opening of the preferences dialog: building its nine pages,
# filling every control from the settings and showing it, as the Preferences
# command does. The target is under 150 ms.
#
#   bench/bench_preferences.sh [path/to/tarnwick_gui_tests]
#
# Runs the window-mode test program's timing run (not part of the test suite)
# without a screen, in a private home and configuration folder. It prints the
# first, median and worst of 20 openings in milliseconds.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
tests="${1:-$here/../build/bin/tarnwick_gui_tests}"
[[ -x "$tests" ]] || { echo "window-mode test program not found: $tests" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work"
export QT_QPA_PLATFORM=offscreen

line="$("$tests" --gtest_also_run_disabled_tests --gtest_filter='PreferencesTest.DISABLED_OpeningTime' |
    grep '^preferences dialog opening')"
echo "$line"
median="$(sed -n 's/.*median \([0-9.]*\) ms.*/\1/p' <<<"$line")"
awk -v m="$median" 'BEGIN { printf "target: under 150 ms (median %s ms: %s)\n", m, (m < 150 ? "met" : "NOT met") }'
