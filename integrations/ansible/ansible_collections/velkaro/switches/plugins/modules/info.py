#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 Velkaro developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: info
short_description: List the Velkaro power switches a discovery finds, optionally with their settings
version_added: "1.0.0"
description:
  - Runs C(velkaro-cli --json scan) on the host the task runs on and returns one scan object per
    device that answered.
  - With I(read=true) every listed device is also read completely (C(velkaro-cli read)) and its
    settings are returned by name; values of settings whose name ends in C(_password) are masked.
  - Never changes anything on a device and never reports C(changed).
  - A discovery is a broadcast on the local network segment (or a datagram to I(target)), so a
    task reaches the switches of the segments the host is on; run it on a host per site.
options:
  devices:
    description:
      - Only these devices, each given by its IPv4 address or its MAC address
        (C(00.1A.2B.3C.4D.5E) or C(00:1a:2b:3c:4d:5e)) as the discovery reports it.
      - A device named here that does not answer fails the task; the others are still returned.
      - Default is every device that answers.
    type: list
    elements: str
  read:
    description:
      - Also read every setting of each device and return them under I(devices[].settings).
    type: bool
    default: false
notes:
  - Supports check mode (it only reads).
extends_documentation_fragment:
  - velkaro.switches.common
  - velkaro.switches.common.module
seealso:
  - module: velkaro.switches.config
  - module: velkaro.switches.firmware
author:
  - Velkaro developers
'''

EXAMPLES = r'''
- name: Every switch on the local segment
  velkaro.switches.info:
  register: found

- name: Two switches behind a router, with their settings
  velkaro.switches.info:
    target: 10.20.0.255
    devices: [10.20.0.15, "00:1a:2b:3c:4d:5e"]
    read: true
  register: racks

- name: Show the name of each
  ansible.builtin.debug:
    msg: "{{ item.ip }} {{ item.settings.name }}"
  loop: "{{ racks.devices }}"
'''

RETURN = r'''
devices:
  description: One scan object per device, in answer order.
  returned: always
  type: list
  elements: dict
  contains:
    name:
      description: The device's name.
      type: str
      sample: Rack 3
    type:
      description: The device type text.
      type: str
      sample: ZEL-4 Switch
    ip:
      description: Its IPv4 address.
      type: str
      sample: 192.168.0.10
    mac:
      description: Its MAC address.
      type: str
      sample: 00.1A.2B.3C.4D.5E
    interface:
      description: The interface it answered through; empty with I(target).
      type: str
      sample: eth1
    port:
      description: TCP port of its web server.
      type: int
      sample: 80
    model:
      description: Its model code.
      type: int
      sample: 67174656
    settings:
      description:
        - Every setting by name (see C(velkaro-cli tags MODEL)); C(*_password) values are
          C(********).
      returned: when I(read=true)
      type: dict
      sample: {"name": "Rack 3", "web_port": 80, "admin_password": "********"}
'''

from ansible_collections.velkaro.switches.plugins.module_utils.velkaro_cli import (
    COMMON_ARGUMENT_SPEC, CliError, VelkaroCli, VelkaroModule, check_device_texts, run_parallel,
    select_devices, settings_by_name)


def main():
    argument_spec = dict(
        devices=dict(type='list', elements='str'),
        read=dict(type='bool', default=False),
    )
    argument_spec.update(COMMON_ARGUMENT_SPEC)
    module = VelkaroModule(argument_spec=argument_spec, supports_check_mode=True)
    check_device_texts(module, module.params['devices'])
    cli = VelkaroCli(module)
    try:
        found, missing = select_devices(module, cli, module.params['devices'], None)
    except CliError as e:
        module.fail_json(msg=e.msg, devices=[])

    errors = ['%s: not found' % text for text in missing]
    if module.params['read']:
        def read(device):
            try:
                doc = cli.read(device['mac'])
                table = cli.tags(doc['device']['model'])
                return dict(device, settings=settings_by_name(doc['values'], table)), None
            except CliError as e:
                return dict(device), '%s: %s' % (device['ip'], e.msg)
        read_out = run_parallel(read, found)
        found = [device for device, _ in read_out]
        errors += [error for _, error in read_out if error]
    if errors:
        module.fail_json(msg='velkaro.switches.info: ' + '; '.join(errors), devices=found)
    module.exit_json(changed=False, devices=found)


if __name__ == '__main__':
    main()
