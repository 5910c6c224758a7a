#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 Velkaro developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: config
short_description: Bring settings of Velkaro power switches to the values wanted
version_added: "1.0.0"
description:
  - Reads each device, compares the settings wanted with what it holds and writes only those that
    differ, then reads the device again; a device counts as changed only when that read-back
    shows every written value.
  - The settings come either from I(settings) (by name or tag number, see
    C(velkaro-cli tags MODEL)) or from a section of a saved C(.cfg) file used as a template
    (I(file) and I(section), through C(velkaro-cli apply), which keeps each device's IP address,
    name and read-only settings).
  - Values are compared in the form the device reports them, so C(192.168.000.020) equals
    C(192.168.0.20), C(0x50) and C("80") equal C(80); a second run with the same settings reports
    no change.
  - In check mode nothing is written to any device (the devices are only discovered and read);
    the results say C(planned) for each device that would change.
  - With C(--diff) the before and after values of exactly the settings that differ are shown,
    per device; values of settings whose name ends in C(_password) are masked (C(********)), in
    the diff, in I(devices[].changes) and in the module's log.
  - A device that is not found, does not answer or does not confirm its values fails the task
    and is named in its message; the other devices are still done.
  - With I(settings), every device is read and every value checked against the device's model
    before the first write to any of them; a setting a model lacks, a read-only setting or a
    value that does not fit its type fails the task before anything is written.
options:
  settings:
    description:
      - The values wanted, keyed by setting name (such as C(name), C(web_port),
        C(admin_password), C(socket1_name)) or tag number (C(7)).
      - IPv4 settings take dotted addresses, number settings integers or decimal or C(0x) hex
        texts, text settings texts.
      - Only the settings named here are compared and written.
    type: dict
  file:
    description:
      - A C(.cfg) file (as C(velkaro-cli save) writes it) whose I(section) is the template.
      - Passwords in the section are written to every device it touches.
    type: path
  section:
    description:
      - The template section of I(file), for example C(ZEL-4 Switch  SN-0042).
    type: str
notes:
  - Up to eight devices are read and written at once.
  - Values are passed to C(velkaro-cli set) as arguments, so other users of the host that runs
    the module can see them in its process list while a write runs.
  - Supports check mode and diff mode.
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
- name: Name a switch and move its web server
  velkaro.switches.config:
    devices: [192.168.0.10]
    settings:
      name: Rack 3 left
      web_port: 8080
      gateway: 192.168.0.1

- name: The same administrator password on every four-outlet switch
  velkaro.switches.config:
    model: zel4
    settings:
      admin_login: admin
      admin_password: "{{ vault_admin_password }}"

- name: Settings by tag number
  velkaro.switches.config:
    devices: ["00:1a:2b:3c:4d:5e"]
    settings:
      7: Rack 4
      4: 80

- name: A saved device as the template for two replacement units
  velkaro.switches.config:
    file: /srv/velkaro/rack3.cfg
    section: ZEL-4 Switch  SN-0042
    devices: [192.168.0.21, 192.168.0.22]
'''

RETURN = r'''
changed:
  description:
    - Whether some device confirmed a written value by its read-back; in check mode whether some
      device would change.
  returned: always
  type: bool
devices:
  description: One entry per device, in the order asked for (by I(model) the answer order).
  returned: always
  type: list
  elements: dict
  contains:
    device:
      description: The device's IPv4 address as the discovery reports it, or the text given in
        I(devices) when it was not found.
      type: str
      sample: 192.168.0.10
    mac:
      description: Its MAC address, when it answered.
      type: str
      sample: 00.1A.2B.3C.4D.5E
    result:
      description:
        - C(applied) written and confirmed, C(unchanged) nothing differed, C(planned) would be
          written (check mode), C(failed) not found, not answering or not confirmed.
      type: str
      sample: applied
    changes:
      description:
        - The settings that differ, by name, each with C(from) and C(to); C(*_password) values
          are C(********).
      type: dict
      sample: {"web_port": {"from": 80, "to": 8080}, "admin_password": {"from": "********", "to": "********"}}
    error:
      description: Why the device failed; null otherwise.
      type: str
      sample: Device not responding
'''

import re

from ansible_collections.velkaro.switches.plugins.module_utils.velkaro_cli import (
    COMMON_ARGUMENT_SPEC, DEVICES_ARGUMENT_SPEC, CliError, MASK, VelkaroCli, VelkaroModule,
    check_device_texts, device_matches, is_secret, mask, normalize_value, parse_model, run_parallel,
    select_devices, tag_number)


def entry(device, result, changes=None, error=None, mac=None):
    return dict(device=device, mac=mac, result=result, changes=changes or {}, error=error)


def masked_changes(changes):
    return dict((name, dict(change, **{'from': MASK, 'to': MASK}) if is_secret(name) else change)
                for name, change in changes.items())


class Wanted(object):
    """One device on its way: read, compared, written, read back."""

    def __init__(self, given):
        self.given = given
        self.doc = None
        self.diffs = []  # (name, tag, kind, current, wanted)
        self.result = None


def plan(module, cli, target, settings):
    """The differing settings of a device that was read; an error text when a setting is wrong."""
    device = target.doc['device']
    try:
        table = cli.tags(device['model'])
    except CliError as e:
        return e.msg
    values = target.doc['values']
    unreported = set(str(t) for t in target.doc.get('unreported', []))
    seen = {}
    problems = []
    for key in sorted(settings, key=str):
        tag_entry = table.resolve(key)
        if tag_entry is None:
            what = 'tag' if tag_number(key) is not None else 'setting'
            problems.append("model %s has no %s '%s'" % (table.model, what, key))
            continue
        name, tag = tag_entry['name'], str(tag_entry['tag'])
        if tag in seen:
            problems.append("'%s' and '%s' both name %s" % (seen[tag], key, name))
            continue
        seen[tag] = key
        if is_secret(name) and settings[key] not in (None, ''):
            module.no_log_values.add(str(settings[key]))
        if tag_entry['access'] != 'read-write':
            problems.append('%s (tag %s) is read-only' % (name, tag))
            continue
        try:
            wanted = normalize_value(tag_entry['type'], settings[key])
        except ValueError as e:
            problems.append('%s: %s' % (name, mask(name, str(e))))
            continue
        if tag in unreported or tag not in values:
            problems.append('the device does not report %s (tag %s)' % (name, tag))
            continue
        try:
            current = normalize_value(tag_entry['type'], values[tag])
        except ValueError:
            current = values[tag]  # never equal to a normalized value: it is rewritten
        if current != wanted:
            target.diffs.append((name, tag, tag_entry['type'], current, wanted))
    return '; '.join(problems) if problems else None


def write(cli, target):
    """Writes the differing settings and reads them back; (result, error)."""
    mac = target.doc['device']['mac']
    assignments = ['%s=%s' % (tag, wanted) for _, tag, _, _, wanted in target.diffs]
    try:
        cli.checked(['set', mac] + assignments)
        back = cli.read(mac)
    except CliError as e:
        return 'failed', e.msg
    wrong = []
    for name, tag, kind, _, wanted in target.diffs:
        got = back['values'].get(tag)
        try:
            got = normalize_value(kind, got)
        except ValueError:
            pass
        if got != wanted:
            wrong.append('%s reads back as %s' % (name, mask(name, repr(got))))
    if wrong:
        return 'failed', 'not confirmed: ' + ', '.join(wrong)
    return 'applied', None


def run_settings(module, cli):
    p = module.params
    if p['devices'] is not None:
        targets = [Wanted(text) for text in p['devices']]
    else:
        try:
            found, _ = select_devices(module, cli, None, p['model'])
        except CliError as e:
            module.fail_json(msg=e.msg, devices=[])
        if not found:
            module.fail_json(msg='No device of model %s answered' % p['model'], devices=[])
        targets = [Wanted(d['mac']) for d in found]

    def read(target):
        try:
            target.doc = cli.read(target.given)
        except CliError as e:
            target.result = entry(target.given, 'failed', error=e.msg)
    run_parallel(read, targets)

    # Every value is checked against every device's model before the first write.
    problems = []
    for t in targets:
        if t.doc is not None:
            problem = plan(module, cli, t, p['settings'])
            if problem:
                problems.append('%s: %s' % (t.doc['device']['ip'], problem))
    if problems:
        module.fail_json(msg='Nothing was written: ' + '; '.join(problems), devices=[])

    def finish(target):
        if target.result is not None:
            return
        device, mac = target.doc['device']['ip'], target.doc['device']['mac']
        changes = dict((name, {'from': current, 'to': wanted})
                       for name, _, _, current, wanted in target.diffs)
        if not target.diffs:
            result, error = 'unchanged', None
        elif module.check_mode:
            result, error = 'planned', None
        else:
            result, error = write(cli, target)
        target.result = entry(device, result, masked_changes(changes), error, mac)
    run_parallel(finish, targets)
    return [t.result for t in targets]


def changes_by_name(cli, device, changes):
    try:
        table = cli.tags(device['model'])
    except CliError:
        table = None
    out = {}
    for tag, change in changes.items():
        # Only from and to: later members of the program's output are not part of the result.
        out[table.name(tag) if table else tag] = {'from': change.get('from'), 'to': change.get('to')}
    return masked_changes(out)


def run_template(module, cli):
    p = module.params
    args = ['apply', p['file']] + (p['devices'] or []) + ['--section', p['section']]
    if p['model'] is not None:
        args += ['--model', p['model']]
    if module.check_mode:
        args.append('--dry-run')
    try:
        rc, doc, err = cli.run(args)
    except CliError as e:
        module.fail_json(msg=e.msg, devices=[])
    if rc not in (0, 1) or not isinstance(doc, dict) or 'devices' not in doc:
        module.fail_json(msg=err or 'velkaro-cli apply ended with exit code %d' % rc, devices=[],
                         rc=rc)
    results = []
    for item in doc['devices']:
        device = item['device']
        changes = changes_by_name(cli, device, item.get('changes', {}))
        # A dry run plans every device; one where nothing differs is unchanged.
        result = 'unchanged' if item['result'] == 'planned' and not changes else item['result']
        results.append(entry(device['ip'], result, changes, item.get('error'), device['mac']))
    # A named device that was not found has no entry, only its line on stderr.
    for text in p['devices'] or []:
        if not any(device_matches(item['device'], text) for item in doc['devices']):
            lines = [line for line in err.splitlines() if re.search(re.escape(text), line)]
            results.append(entry(text, 'failed', error=lines[0] if lines else 'not found'))
    if rc == 1 and not any(r['result'] == 'failed' for r in results):
        module.fail_json(msg=err or 'velkaro-cli apply ended with exit code 1', devices=results)
    return results


def diff_of(result):
    """Before and after of the differing settings; a password that changes shows as changed."""
    before, after = {}, {}
    for name, change in result['changes'].items():
        before[name] = change['from']
        after[name] = MASK + ' (changed)' if is_secret(name) else change['to']
    return dict(before_header=result['device'], after_header=result['device'],
                before=before, after=after)


def main():
    argument_spec = dict(
        settings=dict(type='dict'),
        file=dict(type='path'),
        section=dict(type='str'),
    )
    argument_spec.update(DEVICES_ARGUMENT_SPEC)
    argument_spec.update(COMMON_ARGUMENT_SPEC)
    module = VelkaroModule(
        argument_spec=argument_spec,
        mutually_exclusive=[('devices', 'model'), ('settings', 'file')],
        required_one_of=[('devices', 'model'), ('settings', 'file')],
        required_together=[('file', 'section')],
        supports_check_mode=True,
    )
    p = module.params
    if p['devices'] is not None and not p['devices']:
        module.fail_json(msg='devices: name at least one device')
    if p['settings'] is not None and not p['settings']:
        module.fail_json(msg='settings: name at least one setting')
    check_device_texts(module, p['devices'])
    if p['model'] is not None:
        try:
            parse_model(p['model'])
        except ValueError as e:
            module.fail_json(msg=str(e))
    cli = VelkaroCli(module)

    results = run_settings(module, cli) if p['settings'] is not None else run_template(module, cli)
    done = 'planned' if module.check_mode else 'applied'
    result = dict(changed=any(r['result'] == done for r in results), devices=results)
    if module._diff:
        result['diff'] = [diff_of(r) for r in results if r['changes']]
    failed = [r for r in results if r['result'] == 'failed']
    if failed:
        result['msg'] = 'Failed on %d of %d devices: %s' % (
            len(failed), len(results), '; '.join('%s (%s)' % (r['device'], r['error'])
                                                  for r in failed))
        module.fail_json(**result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
