#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 Velkaro developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: firmware
short_description: Roll a firmware image out to Velkaro power switches
version_added: "1.0.0"
description:
  - Runs C(velkaro-cli --json upgrade) on the host the task runs on - each device is told to
    expect an image, the image is uploaded to it by TFTP, and the device must answer a discovery
    again - and returns one result per device.
  - The devices report no firmware version, so this module cannot tell whether a device already
    runs the image; it is not idempotent by itself. Every run uploads the image again and reports
    C(changed). Guard the task yourself (a fact of your own, a C(when) condition, a tag) when it
    must run once.
  - In check mode the devices are only discovered; the result lists the devices that would get
    the image (result C(planned)) and nothing is sent to any of them.
  - A device that is not found or does not end C(ok) fails the task and is named in its message;
    the other devices are still done.
options:
  file:
    description:
      - The firmware image on the host the module runs on (not empty, at most 64 MiB).
    type: path
    required: true
  parallel:
    description:
      - Devices in flight at once (1 to 64; the program's default is 4).
    type: int
  canary:
    description:
      - Do the first device alone; the others start only when it came back.
    type: bool
    default: false
  stop_after:
    description:
      - Start no new device once this many devices did not end C(ok).
    type: int
  return_timeout:
    description:
      - Seconds a device has after its upload to answer a discovery again (0 to 3600, 0 is do
        not wait; the program's default is 90).
    type: float
  tftp_port:
    description:
      - TFTP port of the devices (the program's default is 69).
    type: int
notes:
  - The TFTP upload goes from the host the task runs on to each device, so UDP to the devices'
    TFTP port must pass.
  - Supports check mode.
extends_documentation_fragment:
  - velkaro.switches.common
  - velkaro.switches.common.module
  - velkaro.switches.common.devices
seealso:
  - module: velkaro.switches.info
author:
  - Velkaro developers
'''

EXAMPLES = r'''
- name: What would get the image
  velkaro.switches.firmware:
    model: zel4
    file: /srv/velkaro/zel4-2.1.bin
  check_mode: true
  register: would

- name: Every four-outlet switch, the first one alone first, no new one after two failures
  velkaro.switches.firmware:
    model: zel4
    file: /srv/velkaro/zel4-2.1.bin
    canary: true
    stop_after: 2
    return_timeout: 120

- name: Two devices, one at a time
  velkaro.switches.firmware:
    devices: [192.168.0.10, 192.168.0.11]
    file: /srv/velkaro/zel1-1.4.bin
    parallel: 1
'''

RETURN = r'''
changed:
  description: Whether an image was sent to some device; in check mode whether some device would
    get it.
  returned: always
  type: bool
devices:
  description: One entry per device.
  returned: always
  type: list
  elements: dict
  contains:
    device:
      description: The device's IPv4 address, or the text given in I(devices) when it was not
        found.
      type: str
      sample: 192.168.0.10
    mac:
      description: Its MAC address, when it answered the discovery.
      type: str
      sample: 00.1A.2B.3C.4D.5E
    result:
      description:
        - C(ok), C(transfer failed), C(no answer to trigger), C(no return), C(not started) (as
          C(velkaro-cli upgrade) says), C(planned) in check mode, C(failed) when not found.
      type: str
      sample: ok
    seconds:
      description: How long the device took, when it was started.
      type: float
      sample: 12.5
    error:
      description: Why the device did not end C(ok); null otherwise.
      type: str
'''

import os
import re

from ansible_collections.velkaro.switches.plugins.module_utils.velkaro_cli import (
    COMMON_ARGUMENT_SPEC, DEVICES_ARGUMENT_SPEC, UPGRADE_TIMEOUT, CliError, VelkaroCli,
    VelkaroModule, check_device_texts, device_matches, parse_model, select_devices)

MAX_IMAGE = 64 << 20
# An image that was sent (or partly sent) may have changed the device.
STARTED = ('ok', 'no return', 'transfer failed')


def entry(device, result, mac=None, error=None, seconds=None):
    return dict(device=device, mac=mac, result=result, seconds=seconds, error=error)


def check_arguments(module):
    p = module.params
    for name, low, high in (('parallel', 1, 64), ('stop_after', 1, 1000000),
                            ('tftp_port', 1, 65535), ('return_timeout', 0, 3600)):
        if p[name] is not None and not low <= p[name] <= high:
            module.fail_json(msg='%s must be from %s to %s, got %s' % (name, low, high, p[name]))
    if p['devices'] is not None and not p['devices']:
        module.fail_json(msg='devices: name at least one device')
    check_device_texts(module, p['devices'])
    if p['model'] is not None:
        try:
            parse_model(p['model'])
        except ValueError as e:
            module.fail_json(msg=str(e))
    path = p['file']
    if not os.path.exists(path):
        module.fail_json(msg="file '%s' not found" % path)
    if not os.path.isfile(path):
        module.fail_json(msg="file '%s' is not a regular file" % path)
    size = os.path.getsize(path)
    if size == 0:
        module.fail_json(msg="file '%s' is empty" % path)
    if size > MAX_IMAGE:
        module.fail_json(msg="file '%s' is larger than 64 MiB" % path)


def upgrade_args(module):
    p = module.params
    args = ['upgrade'] + (p['devices'] or []) + [p['file']]
    if p['model'] is not None:
        args += ['--model', p['model']]
    if p['parallel'] is not None:
        args += ['--parallel', str(p['parallel'])]
    if p['canary']:
        args.append('--canary')
    if p['stop_after'] is not None:
        args += ['--stop-after', str(p['stop_after'])]
    if p['return_timeout'] is not None:
        args += ['--return-timeout', repr(float(p['return_timeout']))]
    if p['tftp_port'] is not None:
        args += ['--tftp-port', str(p['tftp_port'])]
    return args


def planned(module, cli):
    """The devices a rollout would reach: a discovery, nothing else is sent."""
    p = module.params
    try:
        found, missing = select_devices(module, cli, p['devices'], p['model'])
    except CliError as e:
        module.fail_json(msg=e.msg, devices=[])
    if p['model'] is not None and not found:
        module.fail_json(msg='No device of model %s answered' % p['model'], devices=[])
    return ([entry(d['ip'], 'planned', d['mac']) for d in found] +
            [entry(text, 'failed', error='not found') for text in missing])


def rollout(module, cli):
    p = module.params
    try:
        rc, doc, err = cli.run(upgrade_args(module), timeout=UPGRADE_TIMEOUT)
    except CliError as e:
        module.fail_json(msg=e.msg, devices=[])
    if rc not in (0, 1) or not isinstance(doc, dict) or 'devices' not in doc:
        module.fail_json(msg=err or 'velkaro-cli upgrade ended with exit code %d' % rc,
                         devices=[], rc=rc)
    results = [entry(item['device']['ip'], item['result'], item['device']['mac'],
                     item.get('error'), item.get('seconds'))
               for item in doc['devices']]
    for text in p['devices'] or []:
        if not any(device_matches(item['device'], text) for item in doc['devices']):
            lines = [line for line in err.splitlines() if re.search(re.escape(text), line)]
            results.append(entry(text, 'failed', error=lines[0] if lines else 'not found'))
    if rc == 1 and all(r['result'] == 'ok' for r in results):
        module.fail_json(msg=err or 'velkaro-cli upgrade ended with exit code 1', devices=results)
    return results


def main():
    argument_spec = dict(
        file=dict(type='path', required=True),
        parallel=dict(type='int'),
        canary=dict(type='bool', default=False),
        stop_after=dict(type='int'),
        return_timeout=dict(type='float'),
        tftp_port=dict(type='int'),
    )
    argument_spec.update(DEVICES_ARGUMENT_SPEC)
    argument_spec.update(COMMON_ARGUMENT_SPEC)
    module = VelkaroModule(
        argument_spec=argument_spec,
        mutually_exclusive=[('devices', 'model')],
        required_one_of=[('devices', 'model')],
        supports_check_mode=True,
    )
    check_arguments(module)
    cli = VelkaroCli(module)
    if module.check_mode:
        results = planned(module, cli)
        changed = any(r['result'] == 'planned' for r in results)
    else:
        results = rollout(module, cli)
        changed = any(r['result'] in STARTED for r in results)
    failed = [r for r in results if r['result'] not in ('ok', 'planned')]
    if failed:
        module.fail_json(
            msg='Failed on %d of %d devices: %s' % (
                len(failed), len(results),
                '; '.join('%s (%s: %s)' % (r['device'], r['result'], r['error'])
                          for r in failed)),
            changed=changed, devices=results)
    module.exit_json(changed=changed, devices=results)


if __name__ == '__main__':
    main()
