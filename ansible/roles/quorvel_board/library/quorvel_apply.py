#!/usr/bin/python3
# -*- coding: utf-8 -*-
# Quorvel: bring the boards of one line to a desired state with quorvel-cli.

DOCUMENTATION = r'''
---
module: quorvel_apply
short_description: Bring Quorvel boards on one line to a desired configuration and firmware
description:
  - Runs C(quorvel-cli apply) for a list of device addresses on one line (a serial port or an
    RS-485-to-Ethernet gateway) and reports, per board, what was or would be changed.
  - The boards of a line are worked through one after another, as the line carries one exchange
    at a time; a board that fails does not stop the others, and fails the task.
  - Check mode runs C(apply --check): the boards are read and compared, nothing that changes a
    board is sent, and what would change is reported as changed.
options:
  cli:
    description: Path or name of quorvel-cli.
    type: str
    default: quorvel-cli
  link:
    description: The CLI's link options as one string, for example C(--tcp 10.1.2.3:4001) or
      C(--serial /dev/ttyUSB0 --baud 115200).
    type: str
    required: true
  addresses:
    description: Device addresses, for example C(1-20,25).
    type: str
    required: true
  config:
    description: A configuration file made by C(quorvel-cli config-read), on the host that runs the line.
    type: path
    required: true
  firmware:
    description: A main firmware (.frm) to bring the boards to; needs I(firmware_version).
    type: path
  firmware_version:
    description: The version the firmware file carries (X.Y.Z); a board already reporting it is left alone.
    type: str
'''

RETURN = r'''
boards:
  description: One entry per address, as quorvel-cli apply --json reports it (address, outcome,
    exitCode, changed, and what changed or would change).
  type: list
  returned: always
rc:
  description: The exit code of quorvel-cli (0 when every board is as desired).
  type: int
  returned: always
'''

import json
import shlex

from ansible.module_utils.basic import AnsibleModule


def board_rows(stdout):
    """The per-board JSON objects among the CLI's output lines."""
    rows = []
    for line in stdout.splitlines():
        line = line.strip()
        if not line.startswith('{'):
            continue
        try:
            row = json.loads(line)
        except ValueError:
            continue
        if not isinstance(row, dict):
            continue
        # A list run, and a failed board's failure object, carry the
        # board's own report under "apply".
        report = row.get('apply')
        if isinstance(report, dict):
            report = dict(report)
            for key in ('step', 'message'):
                if key in row:
                    report.setdefault(key, row[key])
            rows.append(report)
        elif 'address' in row:
            rows.append(row)
    return rows


def address_count(text):
    """How many addresses a list such as "1-20,25" names (0 when it does not parse:
    the CLI then says why)."""
    count = 0
    for item in str(text).split(','):
        ends = item.strip().split('-')
        try:
            low, high = int(ends[0]), int(ends[-1])
        except ValueError:
            return 0
        count += max(high - low + 1, 0)
    return count


def main():
    module = AnsibleModule(
        argument_spec=dict(
            cli=dict(type='str', default='quorvel-cli'),
            link=dict(type='str', required=True),
            addresses=dict(type='str', required=True),
            config=dict(type='path', required=True),
            firmware=dict(type='path'),
            firmware_version=dict(type='str'),
        ),
        required_together=[('firmware', 'firmware_version')],
        supports_check_mode=True,
    )
    p = module.params
    cli = module.get_bin_path(p['cli'], required=True) if '/' not in p['cli'] else p['cli']

    command = [cli] + shlex.split(p['link']) + ['--address', p['addresses'], '--json']
    # One board failing must not keep the others of its line from their state.
    if address_count(p['addresses']) > 1:
        command.append('--keep-going')
    command += ['apply', p['config']]
    if p['firmware']:
        command += ['--firmware', p['firmware'], '--firmware-version', p['firmware_version']]
    if module.check_mode:
        command.append('--check')

    rc, stdout, stderr = module.run_command(command)
    boards = board_rows(stdout)
    # "changed" only for what was written (in check mode: what would be).
    changed = any(board.get('changed') for board in boards)
    failed = [board for board in boards if board.get('exitCode') != 0]
    result = dict(changed=changed, rc=rc, boards=boards, cmd=command, stderr=stderr)
    if rc != 0 or failed:
        names = '; '.join('board %s: %s' % (b.get('address'), b.get('message') or 'exit %s' % b.get('exitCode'))
                          for b in failed) or stderr.strip() or 'no report'
        module.fail_json(msg='quorvel-cli apply failed (exit %d): %s' % (rc, names), **result)
    result['msg'] = '%d board(s) %s' % (len(boards), 'changed' if changed else 'already as desired')
    module.exit_json(**result)


if __name__ == '__main__':
    main()
