# -*- coding: utf-8 -*-
# Copyright: 2026 Velkaro developers
"""Options and notes the plugins of velkaro.switches share; the modules' argument specs that
match them are COMMON_ARGUMENT_SPEC and DEVICES_ARGUMENT_SPEC in module_utils/velkaro_cli.py."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    # How velkaro-cli is run and reaches the devices: every module and the inventory plugin.
    DOCUMENTATION = r'''
options:
  target:
    description:
      - Where every request is sent, C(ADDR) or C(ADDR:PORT) (C(velkaro-cli --target)); a subnet
        broadcast address or one device's own address across a router.
      - Default is the limited broadcast on every usable interface.
    type: str
  interface:
    description:
      - Send on these network interfaces only (C(velkaro-cli --interface)); ignored with I(target).
    type: list
    elements: str
  rounds:
    description:
      - Discovery exchanges, about 250 ms apart (C(velkaro-cli --rounds), 1 to 1000; the program's
        default is 10); a command on one device stops as soon as it has answered.
    type: int
  cli:
    description:
      - The velkaro-cli program, a name looked up in C(PATH) or a path.
    type: str
    default: velkaro-cli
'''

    # The modules run on the managed host, not on the switches.
    MODULE = r'''
options: {}
notes:
  - Runs C(velkaro-cli) on the host the task runs on; use a local connection
    (C(connection=local)) or C(delegate_to) a jump host in the switches' network.
requirements:
  - velkaro-cli on the host the module runs on
'''

    # The devices a module acts on, for the modules that need some.
    DEVICES = r'''
options:
  devices:
    description:
      - The devices, each by its IPv4 address or MAC address as the discovery reports it.
    type: list
    elements: str
  model:
    description:
      - Every discovered device of this model, C(zel1), C(zel4), C(zel8) or a model code
        (decimal or C(0x) hex).
    type: str
'''
