#!/usr/bin/env bash
# Starts the built wizard on a virtual X display, finds its main window, ends
# it with SIGTERM and checks that it ended as a normal quit: exit status 0 and
# the settings saved.
set -euo pipefail
program=${1:?usage: program_e2e.sh PROGRAM}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
printf '[LAUNCH]\nVALUE=True\n' >"$home/Config.ini"

VANTORA_HOME=$home xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  "$0" &
  pid=$!
  found=""
  # Under load the window may be seen before it has taken its fixed size:
  # wait for that size, and say what was seen if it never comes.
  for _ in $(seq 1 600); do
    if ! kill -0 $pid 2>/dev/null; then echo "the program ended before showing its window"; exit 1; fi
    found=$(xwininfo -root -tree 2>/dev/null | grep "\"Vantora\": (\"vantora\"" || true)
    case "$found" in *615x530*) break;; esac
    sleep 0.1
  done
  if [ -z "$found" ]; then echo "no Vantora window appeared"; kill -KILL $pid; exit 1; fi
  echo "window: $found"
  case "$found" in *615x530*) ;; *) echo "the window does not have its fixed size"; kill -TERM $pid; wait $pid; exit 1;; esac
  kill -TERM $pid
  wait $pid
  status=$?
  echo "exit status: $status"
  exit $status
' "$program"

grep -q '^\[ShowPreview\]' "$home/Config.ini" || { echo "the settings were not saved"; cat "$home/Config.ini"; exit 1; }
grep -q '^label=New DVD' "$home/Config.ini" || { echo "the disc label was not saved"; exit 1; }
echo "the wizard started, showed its window and ended normally"
