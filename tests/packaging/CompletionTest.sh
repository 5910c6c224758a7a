#!/usr/bin/env bash
# Completes velkaro-cli command lines with the installed completion script and compares the
# candidates with what the program's --help offers.
#   CompletionTest.sh <completion script> <velkaro-cli>
set -uo pipefail
script=$1
cli=$2
# shellcheck source=/dev/null
source "$script"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/rack3.cfg" "$work/rack4.cfg" "$work/firmware.bin"

failures=0
# complete "<words before the cursor>" "<word under the cursor>": the candidates, one a line.
complete_line() {
  local before=$1
  read -r -a COMP_WORDS <<<"$before"
  COMP_WORDS=("$cli" "${COMP_WORDS[@]:1}" "$2")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velkaro_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

# check <line> <current word> <expected candidates, space-separated, sorted; empty for none>
check() {
  local got expected
  got=$(complete_line "$1" "$2" | tr '\n' ' ' | sed 's/ *$//')
  expected=$3
  if [[ $got != "$expected" ]]; then
    echo "FAIL: '$1 $2' completes to '$got', expected '$expected'"
    ((failures++))
  else
    echo "ok: '$1 $2' -> '$got'"
  fi
}

declare -a commands=() positionals=()
declare -A options=()
_velkaro_cli_parse "$("$cli" --help)"
commands=$(printf '%s\n' "${commands[@]}" | sort | tr '\n' ' ' | sed 's/ *$//')
[[ $commands == *upgrade* ]] || { echo "FAIL: no commands read from --help: '$commands'"; exit 1; }

check "velkaro-cli" "" "$commands"
check "velkaro-cli" "--" "--csv --help --interface --json --log --log-limit --rounds --target --version"
check "velkaro-cli --log" "$work/r" "$work/rack3.cfg $work/rack4.cfg"
check "velkaro-cli doctor" "--u" "--upgrade-check"
check "velkaro-cli" "sa" "save"
check "velkaro-cli --target 127.0.0.1:52390 --rounds 3" "s" "save scan set"
check "velkaro-cli --target" "" ""
check "velkaro-cli save" "$work/r" ""
check "velkaro-cli save 10.0.0.5" "$work/r" "$work/rack3.cfg $work/rack4.cfg"
check "velkaro-cli save 10.0.0.5 $work/rack3.cfg" "$work/r" ""
check "velkaro-cli upgrade" "--t" "--target --tftp-port"
check "velkaro-cli upgrade --tftp-port" "$work/f" ""
check "velkaro-cli upgrade --tftp-port 6969 10.0.0.5" "$work/f" "$work/firmware.bin"
check "velkaro-cli --json upgrade 10.0.0.5" "$work/f" "$work/firmware.bin"
check "velkaro-cli set 10.0.0.5" "$work/r" ""
check "velkaro-cli set 10.0.0.5 7=a" "$work/r" ""
check "velkaro-cli scan" "--j" "--json"

if ((failures)); then
  echo "$failures completion case(s) failed"
  exit 1
fi
