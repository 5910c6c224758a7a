#!/usr/bin/env python3
"""Checks `ansible-inventory --list` of the scan plugin against the simulated devices."""

import json
import sys

# After config.yml the first zel1 and the first zel4 share the name "Rack 1".
EXPECTED = {
    'Rack 1_127.0.0.2': ('127.0.0.2', '02.00.5E.00.00.01', 'zel1'),
    'Rack 1_127.0.0.3': ('127.0.0.3', '02.00.5E.00.00.02', 'zel4'),
    'Rack 003': ('127.0.0.4', '02.00.5E.00.00.03', 'zel8'),
    'Switch 004': ('127.0.0.5', '02.00.5E.00.00.04', 'zel4'),
}


def main(path):
    with open(path) as f:
        inventory = json.load(f)
    hostvars = inventory['_meta']['hostvars']
    problems = []
    if sorted(hostvars) != sorted(EXPECTED):
        problems.append('hosts %s, expected %s' % (sorted(hostvars), sorted(EXPECTED)))
    for host, (ip, mac, model) in EXPECTED.items():
        got = hostvars.get(host, {})
        want = {'ip': ip, 'mac': mac, 'model': model, 'interface': ''}
        if dict((k, got.get(k)) for k in want) != want:
            problems.append('%s has %s, expected %s' % (host, got, want))
    for model in ('zel1', 'zel4', 'zel8'):
        members = sorted(inventory.get(model, {}).get('hosts', []))
        wanted = sorted(h for h, v in EXPECTED.items() if v[2] == model)
        if members != wanted:
            problems.append('group %s holds %s, expected %s' % (model, members, wanted))
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
