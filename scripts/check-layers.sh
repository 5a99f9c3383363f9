#!/usr/bin/env bash
# Checks that includes flow one way through the folders under src/:
#
#   platform -> text -> settings -> engine -> app, update -> canvas -> ui
#
# A file may include headers of its own folder and of lower layers only;
# folders on the same layer (app, update) do not include each other. It also
# checks that operating-system headers are included by the platform layer
# only (the window module may use them for its own event plumbing).
set -euo pipefail
cd "$(dirname "$0")/../src"

rank() {
  case "$1" in
    platform) echo 0 ;; text) echo 1 ;; settings) echo 2 ;; engine) echo 3 ;;
    app | update) echo 4 ;; canvas) echo 5 ;; ui) echo 6 ;; *) echo -1 ;;
  esac
}

fail=0
while IFS= read -r file; do
  from=${file%%/*}
  [ "$from" = "$file" ] && from=main  # files directly in src/ (the program's entry)
  while IFS= read -r target; do
    to=${target%%/*}
    [ "$to" = "$target" ] && continue
    [ "$to" = "$from" ] && continue
    if [ "$from" = main ]; then
      [ "$(rank "$to")" -ge 0 ] && [ "$(rank "$to")" -le 4 ] && continue
    else
      rf=$(rank "$from") rt=$(rank "$to")
      if [ "$rt" -ge 0 ] && [ "$rt" -lt "$rf" ]; then continue; fi
    fi
    echo "layering: $file includes $target"
    fail=1
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##' | sort)

# Operating-system headers belong to the platform layer.
os_headers='<(unistd|fcntl|dlfcn|pwd|poll|netdb|termios|signal)\.h>|<(sys|netinet|arpa)/'
while IFS= read -r hit; do
  case "$hit" in platform/* | ui/*) continue ;; esac
  echo "system call outside the platform layer: $hit"
  fail=1
done < <(grep -rnE "#[[:space:]]*include[[:space:]]*$os_headers" --include='*.cpp' --include='*.h' . |
  sed 's#^\./##' || true)

exit $fail
