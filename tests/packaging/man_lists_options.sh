#!/bin/sh
# Every option a program's --help lists is in its manual page, so that the
# page cannot fall behind the program.
#   man_lists_options.sh PROGRAM MANPAGE
set -eu
program=$1
page=$2
missing=0
for option in $(QT_QPA_PLATFORM=offscreen "$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  case $option in --help-all) continue ;; esac
  # troff writes "--sim-cars" as "\-\-sim\-cars".
  escaped=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
  if ! grep -q -- "$escaped" "$page"; then
    echo "$page does not mention $option" >&2
    missing=1
  fi
done
exit $missing
