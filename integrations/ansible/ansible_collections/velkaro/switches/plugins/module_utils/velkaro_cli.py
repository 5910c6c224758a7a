# -*- coding: utf-8 -*-
# Copyright: 2026 Velkaro developers
"""Runs velkaro-cli --json for the modules of velkaro.switches and reads its answers."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import concurrent.futures
import json
import os
import re
import subprocess
import threading

from ansible.module_utils.basic import AnsibleModule

MODEL_CODES = {'zel1': 0x01010100, 'zel4': 0x04010100, 'zel8': 0x08000100}
MASK = '********'
SECRET_SUFFIX = '_password'
MAX_ROUNDS = 1000
# Devices read or written at once, as many as `velkaro-cli apply` does by default.
PARALLEL = 8
# Every run of the program is bounded; an upgrade waits for the return of the devices.
CALL_TIMEOUT = 600
UPGRADE_TIMEOUT = 4 * 3600

# The options of doc fragment velkaro.switches.common, which every module takes.
COMMON_ARGUMENT_SPEC = dict(
    target=dict(type='str'),
    interface=dict(type='list', elements='str'),
    rounds=dict(type='int'),
    cli=dict(type='str', default='velkaro-cli'),
)
# The options of velkaro.switches.common.devices: the devices by address, or a model.
DEVICES_ARGUMENT_SPEC = dict(
    devices=dict(type='list', elements='str'),
    model=dict(type='str'),
)

_IPV4 = re.compile(r'^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$')
_MAC = re.compile(r'^[0-9A-Fa-f]{2}([.:-]?)(?:[0-9A-Fa-f]{2}\1){4}[0-9A-Fa-f]{2}$')


class CliError(Exception):
    """A run of velkaro-cli that did not give what was asked; `rc` is its exit code."""

    def __init__(self, msg, rc=None):
        super(CliError, self).__init__(msg)
        self.msg = msg
        self.rc = rc


def is_secret(name):
    return str(name).endswith(SECRET_SUFFIX)


def mask(name, value):
    return MASK if is_secret(name) else value


def parse_model(text):
    """zel1, zel4, zel8 or a model code (decimal or 0x hex) to the code; ValueError otherwise."""
    word = str(text).strip()
    if word.lower() in MODEL_CODES:
        return MODEL_CODES[word.lower()]
    try:
        code = int(word, 16) if word.lower().startswith('0x') else int(word, 10)
    except ValueError:
        raise ValueError("unknown model '%s': give zel1, zel4, zel8 or a model code "
                         "(decimal or 0x hex)" % text)
    if word.startswith(('-', '+')) or not 0 <= code <= 0xFFFFFFFF:
        raise ValueError("model code '%s' is not a 32-bit number" % text)
    return code


def model_word(code):
    """The model as velkaro-cli takes it: its name when known, else its code in hex."""
    for name, known in MODEL_CODES.items():
        if known == code:
            return name
    return '0x%08X' % code


def mac_key(text):
    """Twelve upper-case hex digits of a MAC text in any of the usual spellings, else None."""
    text = str(text).strip()
    if not _MAC.match(text):
        return None
    return re.sub(r'[.:-]', '', text).upper()


def device_matches(scanned, wanted):
    """Whether the scan object is the device named by `wanted` (its IPv4 or MAC address)."""
    key = mac_key(wanted)
    if key is not None:
        return mac_key(scanned.get('mac', '')) == key
    return normalize_ipv4(wanted, strict=False) == scanned.get('ip')


def normalize_ipv4(value, strict=True):
    """Dotted IPv4 text without leading zeros ('192.168.000.020' is 192.168.0.20)."""
    if isinstance(value, str):
        m = _IPV4.match(value.strip())
        if m and all(int(octet) <= 255 for octet in m.groups()):
            return '.'.join(str(int(octet)) for octet in m.groups())
    if strict:
        raise ValueError("'%s' is not an IPv4 address (four numbers 0-255 joined by dots)" % (value,))
    return None


_LIMITS = {'byte': 0xFF, 'word': 0xFFFF, 'dword': 0xFFFFFFFF}


def normalize_value(kind, value):
    """A setting in the one form velkaro-cli prints it for its type; ValueError when it has none.

    Numbers may be given as integers, decimal texts or 0x hex texts; texts as texts or numbers.
    """
    if kind == 'ipv4':
        return normalize_ipv4(value)
    if kind in _LIMITS:
        number = None
        if isinstance(value, int) and not isinstance(value, bool):
            number = value
        elif isinstance(value, str):
            word = value.strip()
            if re.match(r'^0[xX][0-9A-Fa-f]+$', word):
                number = int(word, 16)
            elif re.match(r'^[0-9]+$', word):
                number = int(word, 10)
        if number is None or not 0 <= number <= _LIMITS[kind]:
            raise ValueError("'%s' is not a whole number from 0 to %d" % (value, _LIMITS[kind]))
        return number
    if kind == 'string':
        if isinstance(value, bool) or value is None or isinstance(value, (list, dict)):
            raise ValueError("'%s' is not a text (quote it)" % (value,))
        return value if isinstance(value, str) else str(value)
    raise ValueError("a value of type %s cannot be written" % kind)


class TagTable(object):
    """The tags of one model: `velkaro-cli tags MODEL --json`."""

    def __init__(self, doc):
        self.model = doc.get('model')
        self.by_tag = {}
        self.by_name = {}
        for entry in doc.get('tags', []):
            self.by_tag[int(entry['tag'])] = entry
            self.by_name[entry['name']] = entry

    def name(self, tag):
        entry = self.by_tag.get(int(tag))
        return entry['name'] if entry else str(tag)

    def resolve(self, key):
        """The tag entry named by a setting key (its name or its number), or None."""
        number = tag_number(key)
        if number is not None:
            return self.by_tag.get(number)
        return self.by_name.get(str(key))


def tag_number(key):
    """The tag a setting key gives by number (7 or '7'), else None."""
    if isinstance(key, int) and not isinstance(key, bool):
        return key
    if isinstance(key, str) and re.match(r'^[0-9]+$', key.strip()):
        return int(key.strip())
    return None


class VelkaroModule(AnsibleModule):
    """An AnsibleModule whose settings passwords are kept out of its log and its results."""

    def _log_invocation(self):
        # Values of *_password settings are masked wherever they would appear from now on. A
        # setting given by tag number may be a password on some model: its value is kept out of
        # this log line as well, and added for good once its model says what it is.
        settings = self.params.get('settings') or {}
        log_only = set()
        for key, value in settings.items():
            if value is None or value == '':
                continue
            if is_secret(key):
                self.no_log_values.add(str(value))
            elif tag_number(key) is not None:
                log_only.add(str(value))
        saved = self.no_log_values
        self.no_log_values = saved | log_only
        try:
            super(VelkaroModule, self)._log_invocation()
        finally:
            self.no_log_values = saved


class VelkaroCli(object):
    """velkaro-cli with the module's common options."""

    def __init__(self, module):
        self.module = module
        p = module.params
        cli = p['cli']
        if os.sep in cli:
            if not (os.path.isfile(cli) and os.access(cli, os.X_OK)):
                module.fail_json(msg="velkaro-cli not found or not executable at '%s'" % cli)
            self.path = cli
        else:
            self.path = module.get_bin_path(cli, required=True)
        if p['rounds'] is not None and not 1 <= p['rounds'] <= MAX_ROUNDS:
            module.fail_json(msg='rounds must be from 1 to %d, got %d' % (MAX_ROUNDS, p['rounds']))
        self.global_args = ['--json']
        if p['target']:
            self.global_args += ['--target', p['target']]
        for name in p['interface'] or []:
            self.global_args += ['--interface', name]
        if p['rounds'] is not None:
            self.global_args += ['--rounds', str(p['rounds'])]
        self._tags = {}
        self._lock = threading.Lock()

    def run(self, args, timeout=CALL_TIMEOUT, global_args=None):
        """(exit code, JSON document or None, stderr text) of one run."""
        command = [self.path] + (self.global_args if global_args is None else global_args) + args
        try:
            done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise CliError('velkaro-cli %s did not end within %d s' % (args[0], timeout))
        except OSError as e:
            raise CliError('cannot run %s: %s' % (self.path, e))
        out = done.stdout.decode('utf-8', 'replace')
        err = done.stderr.decode('utf-8', 'replace').strip()
        doc = None
        if out.strip():
            try:
                doc = json.loads(out)
            except ValueError:
                raise CliError('velkaro-cli %s printed no JSON: %s' % (args[0], out.strip()[:200]),
                               done.returncode)
        return done.returncode, doc, err

    def checked(self, args, timeout=CALL_TIMEOUT):
        """The JSON document of a run that must succeed; CliError with its stderr otherwise."""
        rc, doc, err = self.run(args, timeout)
        if rc != 0 or doc is None:
            raise CliError(err or 'velkaro-cli %s ended with exit code %d' % (args[0], rc), rc)
        return doc

    def scan(self):
        doc = self.checked(['scan'])
        if not isinstance(doc, list):
            raise CliError('velkaro-cli scan printed no list of devices')
        return doc

    def read(self, device):
        doc = self.checked(['read', device])
        if not isinstance(doc, dict) or 'values' not in doc or 'device' not in doc:
            raise CliError('velkaro-cli read %s printed no device and values' % device)
        return doc

    def tags(self, code):
        """The tag table of a model code, read once per module run."""
        with self._lock:
            if code not in self._tags:
                # The table needs no network: only the target is passed, so that no interface
                # has to be usable.
                args = ['--json'] + (['--target', self.module.params['target']]
                                     if self.module.params['target'] else [])
                rc, doc, err = self.run(['tags', model_word(code)], global_args=args)
                if rc != 0 or not isinstance(doc, dict) or 'tags' not in doc:
                    raise CliError('cannot list the tags of model %s: %s'
                                   % (model_word(code), err or 'exit code %d' % rc), rc)
                self._tags[code] = TagTable(doc)
            return self._tags[code]


def run_parallel(function, items, workers=PARALLEL):
    """function(item) for every item, `workers` at a time; results in the items' order."""
    if not items:
        return []
    with concurrent.futures.ThreadPoolExecutor(max_workers=min(workers, len(items))) as pool:
        return list(pool.map(function, items))


def select_devices(module, cli, devices, model):
    """Scan objects of the devices asked for, and the texts of those that did not answer.

    `devices` is a list of IPv4/MAC texts or None; `model` a model word or None.
    """
    listed = cli.scan()
    code = None
    if model is not None:
        try:
            code = parse_model(model)
        except ValueError as e:
            module.fail_json(msg=str(e))
    if devices is None:
        found = [d for d in listed if code is None or d.get('model') == code]
        return found, []
    found, missing = [], []
    for wanted in devices:
        hits = [d for d in listed if device_matches(d, wanted)]
        if not hits:
            missing.append(wanted)
        elif hits[0] not in found:
            found.append(hits[0])
    return found, missing


def check_device_texts(module, devices):
    """Each device is an IPv4 or a MAC address, named once."""
    seen = set()
    for text in devices or []:
        key = mac_key(text) or normalize_ipv4(text, strict=False)
        if key is None:
            module.fail_json(msg="devices: '%s' is neither an IPv4 address nor a MAC address"
                             % text)
        if key in seen:
            module.fail_json(msg="devices: '%s' is named twice" % text)
        seen.add(key)


def settings_by_name(values, table):
    """read --json values ({"TAG": value}) as {name: value}, passwords masked."""
    out = {}
    for tag in sorted(values, key=int):
        name = table.name(tag)
        out[name] = mask(name, values[tag])
    return out
