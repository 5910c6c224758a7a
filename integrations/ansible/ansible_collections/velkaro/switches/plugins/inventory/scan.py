# -*- coding: utf-8 -*-
# Copyright: 2026 Velkaro developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
name: scan
short_description: Velkaro power switches found by a discovery, as hosts
version_added: "1.0.0"
description:
  - Runs C(velkaro-cli --json scan) on the controller and adds one host per device that answered.
  - A host is named by its device's name; devices that share a name (or have none) are told apart
    by their IPv4 address, appended as C(NAME_IP) (the address alone for an empty name).
  - Each host has the variables C(ip), C(mac), C(model) (C(zel1), C(zel4), C(zel8) or the code in
    hex) and C(interface) (empty with I(target)), and is in the group of its model (C(zel1),
    C(zel4), C(zel8), or C(model_0x...) for a code this collection does not know).
  - The devices run no Python; run the modules of this collection with a local connection
    (C(connection=local)) or delegated to a jump host, and pass C({{ ip }}) as their device.
  - The inventory file is YAML and its name must end in C(.yml) or C(.yaml).
options:
  plugin:
    description: The name of this plugin, to be recognised as its configuration.
    required: true
    type: str
    choices: [velkaro.switches.scan]
extends_documentation_fragment:
  - velkaro.switches.common
author:
  - Velkaro developers
'''

EXAMPLES = r'''
# racks.velkaro.yml
plugin: velkaro.switches.scan
interface: [eth1]
rounds: 4

# ansible-inventory -i racks.velkaro.yml --graph
# A play over one model:
#   - hosts: zel4
#     connection: local
#     gather_facts: false
#     tasks:
#       - velkaro.switches.config:
#           devices: ["{{ ip }}"]
#           settings: {web_port: 80}
'''

import json
import os
import shutil
import subprocess

from ansible.errors import AnsibleParserError
from ansible.module_utils.common.text.converters import to_native
from ansible.plugins.inventory import BaseInventoryPlugin

MODEL_NAMES = {0x01010100: 'zel1', 0x04010100: 'zel4', 0x08000100: 'zel8'}
SCAN_TIMEOUT = 600


def model_word(code):
    return MODEL_NAMES.get(code, '0x%08X' % code)


def host_names(devices):
    """Host name per device: its name, with its IP appended where names are shared or empty."""
    counts = {}
    for d in devices:
        counts[d['name']] = counts.get(d['name'], 0) + 1
    names = []
    for d in devices:
        name = d['name'].strip()
        if not name:
            names.append(d['ip'])
        elif counts[d['name']] > 1:
            names.append('%s_%s' % (name, d['ip']))
        else:
            names.append(name)
    return names


class InventoryModule(BaseInventoryPlugin):

    NAME = 'velkaro.switches.scan'

    def verify_file(self, path):
        return (super(InventoryModule, self).verify_file(path) and
                path.endswith(('.yml', '.yaml')))

    def _scan(self):
        cli = self.get_option('cli')
        path = cli if os.sep in cli else shutil.which(cli)
        if not path:
            raise AnsibleParserError("velkaro-cli '%s' not found in PATH" % cli)
        command = [path, '--json']
        if self.get_option('target'):
            command += ['--target', self.get_option('target')]
        for name in self.get_option('interface') or []:
            command += ['--interface', name]
        rounds = self.get_option('rounds')
        if rounds is not None:
            if not 1 <= rounds <= 1000:
                raise AnsibleParserError('rounds must be from 1 to 1000, got %d' % rounds)
            command += ['--rounds', str(rounds)]
        command.append('scan')
        try:
            done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=SCAN_TIMEOUT)
        except (OSError, subprocess.TimeoutExpired) as e:
            raise AnsibleParserError('velkaro-cli scan: %s' % to_native(e))
        err = done.stderr.decode('utf-8', 'replace').strip()
        if done.returncode != 0:
            raise AnsibleParserError('velkaro-cli scan failed (exit code %d): %s'
                                     % (done.returncode, err))
        try:
            devices = json.loads(done.stdout.decode('utf-8'))
        except ValueError as e:
            raise AnsibleParserError('velkaro-cli scan printed no JSON: %s' % to_native(e))
        if not isinstance(devices, list):
            raise AnsibleParserError('velkaro-cli scan printed no list of devices')
        return devices

    def parse(self, inventory, loader, path, cache=True):
        super(InventoryModule, self).parse(inventory, loader, path, cache)
        self._read_config_data(path)
        devices = self._scan()
        for device, host in zip(devices, host_names(devices)):
            model = model_word(device['model'])
            group = self.inventory.add_group(model if model in MODEL_NAMES.values()
                                             else 'model_' + model)
            self.inventory.add_host(host, group=group)
            self.inventory.set_variable(host, 'ip', device['ip'])
            self.inventory.set_variable(host, 'mac', device['mac'])
            self.inventory.set_variable(host, 'model', model)
            self.inventory.set_variable(host, 'interface', device['interface'])
