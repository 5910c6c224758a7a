#!/bin/bash
# Playbooks of the velkaro.switches collection against velkaro-sim on 127.0.0.1.
# usage: run.sh VELKARO_CLI VELKARO_SIM [--measure N]
#
# One simulator (zel1, zel4, zel8, zel4 on 127.0.0.2-5; the zel8 does not come back after an
# image) behind two recording relays: A passes everything, B drops what is sent to the first
# zel4 after its discovery answer. The playbooks
# read the relays' request logs to tell whether a write or an upgrade trigger reached the
# simulator. --measure N times `config` over N simulated devices in one play against
# `velkaro-cli apply` of the same settings, and runs nothing else.
set -euo pipefail

cli=$(realpath "$1")
sim=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
python=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1

work=$(mktemp -d "${TMPDIR:-/tmp}/velkaro-ansible.XXXXXX")
pids=()
port=""
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Waits (at most 10 s) for the line a program prints when it listens, and prints its port.
port_of() {
  local file=$1 port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$file" | head -1)
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || fail "no listening line in $file: $(cat "$file")"
  echo "$port"
}

free_udp_port() {
  "$python" -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Both start in this shell (never in a $(...) subshell), so that cleanup knows every pid.
start_sim() {  # name, then the simulator's options; its port lands in $port
  local name=$1
  shift
  "$sim" --port 0 "$@" >"$work/$name.out" 2>&1 &
  pids+=($!)
  port=$(port_of "$work/$name.out")
}

start_relay() {  # name, simulator port, then relay options; its port lands in $port
  local name=$1 upstream=$2
  shift 2
  "$python" "$here/udp_relay.py" --upstream "127.0.0.1:$upstream" --log "$work/$name.log" \
    --lifetime 600 "$@" >"$work/$name.out" 2>&1 &
  pids+=($!)
  port=$(port_of "$work/$name.out")
}

export ANSIBLE_CONFIG="$here/ansible.cfg"
export ANSIBLE_COLLECTIONS_PATH="$root/integrations/ansible"
export ANSIBLE_HOME="$work/ansible-home"
export ANSIBLE_LOCAL_TEMP="$work/ansible-tmp"
export ANSIBLE_REMOTE_TEMP="$work/ansible-remote-tmp"
export ANSIBLE_NOCOLOR=1
export ANSIBLE_FORCE_COLOR=0

playbook() {  # playbook file, then ansible-playbook options
  local book=$1
  shift
  local start=$SECONDS
  echo "== $book $*"
  if ! ansible-playbook -i "$here/inventory.ini" "$here/$book" "${extra[@]}" "$@" \
      >"$work/$book.out" 2>&1; then
    cat "$work/$book.out"
    fail "$book"
  fi
  echo "   passed in $((SECONDS - start)) s"
}

if [ "${3:-}" = "--measure" ]; then
  count=${4:-20}
  start_sim measure --count "$count" --models zel4
  sim_port=$port
  cat >"$work/measure.yml" <<EOF
- hosts: localhost
  gather_facts: false
  tasks:
    - velkaro.switches.config:
        cli: $cli
        target: 127.0.0.1:$sim_port
        rounds: 2
        model: zel4
        settings: {web_port: 8081, gateway: 10.0.0.254, socket1_name: Measured}
EOF
  printf -- '- hosts: localhost\n  gather_facts: false\n  tasks: [{ansible.builtin.ping: }]\n' \
    >"$work/empty.yml"
  start=$(date +%s.%N)
  ansible-playbook -i "$here/inventory.ini" "$work/empty.yml" >/dev/null
  end=$(date +%s.%N)
  echo "ansible-playbook with one ping task: $(echo "$end - $start" | bc) s"
  start=$(date +%s.%N)
  ansible-playbook -i "$here/inventory.ini" "$work/measure.yml" >"$work/measure.out" 2>&1 ||
    { cat "$work/measure.out"; fail measure; }
  end=$(date +%s.%N)
  grep -q "changed=1" "$work/measure.out" || { cat "$work/measure.out"; fail "measure: no change"; }
  echo "config over $count devices, one play: $(echo "$end - $start" | bc) s (ansible-playbook start included)"
  # The same settings through apply: a template section that differs in the same three tags.
  "$cli" --target "127.0.0.1:$sim_port" --rounds 2 save 127.0.0.2 "$work/measure.cfg" >/dev/null
  section=$(tr -d '\r' <"$work/measure.cfg" | sed -n 's/^\[\(.*\)\]$/\1/p' | head -1)
  "$cli" --target "127.0.0.1:$sim_port" --rounds 2 set 127.0.0.2 4=8082 3=10.0.0.253 56=Applied
  "$cli" --target "127.0.0.1:$sim_port" --rounds 2 save 127.0.0.2 "$work/measure.cfg" >/dev/null
  start=$(date +%s.%N)
  "$cli" --json --target "127.0.0.1:$sim_port" --rounds 2 apply "$work/measure.cfg" \
    --section "$section" --model zel4 >"$work/apply.json"
  end=$(date +%s.%N)
  applied=$(grep -c '"applied"' "$work/apply.json" || true)
  echo "velkaro-cli apply over $count devices: $(echo "$end - $start" | bc) s ($applied applied)"
  exit 0
fi

# Every plugin's documentation renders, with its examples and return values.
for plugin in info config firmware inventory:scan; do
  type=module
  name=$plugin
  [ "${plugin%%:*}" = inventory ] && type=inventory && name=${plugin#*:}
  doc=$(ansible-doc -t "$type" "velkaro.switches.$name" 2>&1) || fail "ansible-doc $name: $doc"
  for heading in EXAMPLES: OPTIONS; do
    grep -q "^$heading" <<<"$doc" || fail "ansible-doc $name has no $heading"
  done
  if [ "$type" = module ]; then
    grep -q '^RETURN VALUES:' <<<"$doc" || fail "ansible-doc $name has no RETURN VALUES"
  fi
  if grep -i 'warning' <<<"$doc"; then fail "ansible-doc $name warns"; fi
done
echo "== ansible-doc: passed"

tftp_port=$(free_udp_port)
start_sim sim --count 4 --models zel1,zel4,zel8,zel4 --tftp-port "$tftp_port" --reboot-ms 200 \
  --no-return=2
sim_port=$port
start_relay relay "$sim_port"
relay_port=$port
# 02005E000002 is the MAC of device 1, the first zel4 (127.0.0.3).
start_relay muted "$sim_port" --mute 02005E000002
mute_port=$port

printf 'x%.0s' $(seq 4096) >"$work/image.bin"
extra=(-e "cli=$cli" -e "target=127.0.0.1:$relay_port" -e "muted_target=127.0.0.1:$mute_port"
  -e "relay_log=$work/relay.log" -e "muted_log=$work/muted.log" -e "work=$work"
  -e "tftp_port=$tftp_port")

# No password in plain text in anything ansible-playbook prints, even verbosely.
playbook config.yml -v
if grep -n -e 'Secret-Admin-1' -e 'Secret-User-2' "$work/config.yml.out"; then
  fail "a password reached the output of config.yml"
fi

playbook check.yml --check --diff
out="$work/check.yml.out"
for header in '--- before: 127.0.0.2' '+++ after: 127.0.0.3'; do
  grep -qF -e "$header" "$out" || { cat "$out"; fail "check --diff: no '$header'"; }
done
# The diff names exactly the differing settings: a password shows changed but masked.
for line in '-    "web_port": 8080' '+    "web_port": 8088' '-    "admin_password": "********"' \
  '+    "admin_password": "******** (changed)"' '-    "name": "Rack 1"'; do
  grep -qF -e "$line" "$out" || { cat "$out"; fail "check --diff: no line '$line'"; }
done
if grep -n -e 'Checked-Pw-3' -e '"subnet_mask"' "$out"; then
  fail "check --diff shows a password or a setting that does not differ"
fi

playbook faults.yml

# The inventory plugin: hosts by name (shared names get their IP), variables, model groups.
cat >"$work/racks.velkaro.yml" <<EOF
plugin: velkaro.switches.scan
cli: $cli
target: 127.0.0.1:$relay_port
rounds: 2
EOF
ansible-inventory -i "$work/racks.velkaro.yml" --list >"$work/inventory.json" 2>"$work/inventory.err" ||
  { cat "$work/inventory.err"; fail "ansible-inventory --list"; }
"$python" "$here/check_inventory.py" "$work/inventory.json" ||
  { cat "$work/inventory.json"; fail "inventory"; }
echo "== ansible-inventory --list: passed"

playbook discovery.yml -i "$work/racks.velkaro.yml"
echo "all ansible playbooks passed"
