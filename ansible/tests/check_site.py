#!/usr/bin/env python3
"""The playbook against virtual boards on 127.0.0.1, as CI runs it.

Two hosts run locally, one line each: line A carries boards 1 and 2, line B
board 3. The run checks, in order:
  1. a dry run (--check) reports both hosts changed and sends nothing that
     changes a board;
  2. the real run changes both hosts; every board then holds the file and
     reports the firmware version;
  3. a second run reports changed=0 and not one request that changes a board
     reaches either line;
  4. with a new desired state and line B's board refusing a write, host B
     fails and host A still applies.

Usage: check_site.py BUILD_DIR   (quorvel-cli and quorvel-vboard are taken from it)
"""

import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
PLAYBOOK = HERE.parent / "site.yml"

# Requests that only read; anything else on the line changes a board.
READ_CODES = {0x78, 0x64, 0x7D, 0x79, 0xA0, 0xA7, 0xAA, 0xA4, 0x71, 0x9D}
RX_LINE = re.compile(r"\] RX ([0-9a-f]{2})")


class VirtualLine:
    """One quorvel-vboard process: one line with its boards on a free port."""

    def __init__(self, vboard, folder, name, arguments):
        self.log = folder / (name + ".log")
        self.process = subprocess.Popen(
            [vboard, "--tcp", "127.0.0.1:0", "--log", str(self.log)] + arguments,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        ready = self.process.stdout.readline()
        match = re.search(r"tcp=([0-9.]+):(\d+)", ready)
        if not match:
            raise RuntimeError("%s did not start: %r" % (name, ready))
        self.endpoint = "%s:%s" % (match.group(1), match.group(2))

    def command(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().strip()
        if answer.startswith("ERROR"):
            raise RuntimeError("%s: %s" % (line, answer))
        return answer

    def changing_requests(self):
        """How many requests that change a board the line has carried so far."""
        text = self.log.read_text(errors="replace") if self.log.exists() else ""
        return sum(1 for code in RX_LINE.findall(text) if int(code, 16) not in READ_CODES)

    def stop(self):
        if self.process.poll() is None:
            try:
                self.command("quit")
            except (BrokenPipeError, RuntimeError):
                pass
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def main():
    if len(sys.argv) != 2:
        fail(__doc__)
    build = pathlib.Path(sys.argv[1]).resolve()
    cli = build / "cli" / "quorvel-cli"
    vboard = build / "sim" / "quorvel-vboard"
    playbook_cmd = shutil.which("ansible-playbook")
    if not playbook_cmd:
        fail("ansible-playbook is not installed (Debian: ansible-core)")

    folder = pathlib.Path(tempfile.mkdtemp(prefix="quorvel-ansible."))
    board_options = ["--board-type", "1", "--firmware", "0.0.6", "--bootloader", "0.0.8"]
    lines = {
        "line-a": VirtualLine(str(vboard), folder, "line-a", board_options + ["--boards", "1,2"]),
        "line-b": VirtualLine(str(vboard), folder, "line-b", board_options + ["--boards", "3"]),
    }
    addresses = {"line-a": ["1", "2"], "line-b": ["3"]}
    try:
        def cli_run(line, address, *arguments):
            return run([str(cli), "--tcp", lines[line].endpoint, "--address", address, "--no-log"] + list(arguments))

        # The desired state: what board 1 holds, with some fields changed, and
        # a main firmware that names the version it carries.
        base = folder / "base.json"
        result = cli_run("line-a", "1", "config-read", str(base))
        if result.returncode != 0:
            fail("config-read: " + result.stderr)
        desired = json.loads(base.read_text())
        desired["di"][0]["address"] = 101
        desired["di"][3]["debounceMs"] = 20
        desired["rs485"][0]["baudRate"] = 19200
        config = folder / "feeder.json"
        config.write_text(json.dumps(desired))
        firmware = folder / "fw_main_VRELL_A.frm"
        firmware.write_bytes(b"version=0.0.7\0" + bytes(range(256)) * 12)

        inventory = folder / "inventory.yml"
        inventory.write_text(json.dumps({"all": {
            "vars": {
                "ansible_connection": "local",
                "ansible_python_interpreter": "/usr/bin/python3",
                "quorvel_cli": str(cli),
                "quorvel_config": str(config),
                "quorvel_firmware": str(firmware),
                "quorvel_firmware_version": "0.0.7",
            },
            "hosts": {
                line: {"quorvel_link": "--tcp " + lines[line].endpoint,
                       "quorvel_addresses": ",".join(addresses[line])}
                for line in lines
            },
        }}))

        def playbook(*extra):
            environment = dict(os.environ, ANSIBLE_STDOUT_CALLBACK="json", ANSIBLE_NOCOLOR="1",
                               ANSIBLE_HOST_KEY_CHECKING="False", ANSIBLE_RETRY_FILES_ENABLED="False",
                               ANSIBLE_LOCAL_TEMP=str(folder / "tmp"), ANSIBLE_REMOTE_TEMP=str(folder / "tmp"))
            result = run([playbook_cmd, "-i", str(inventory), str(PLAYBOOK)] + list(extra), env=environment)
            try:
                report = json.loads(result.stdout)
            except ValueError:
                fail("ansible-playbook gave no JSON report:\n" + result.stdout + result.stderr)
            return report["stats"], result

        def board_holds_desired(line, address):
            diff = cli_run(line, address, "config-diff", str(config))
            info = cli_run(line, address, "--json", "info")
            version = json.loads(info.stdout or "{}").get("firmwareVersion")
            return diff.returncode == 0 and version == "0.0.7", diff.stdout + info.stdout

        def writes():
            return {line: lines[line].changing_requests() for line in lines}

        # 1. Dry run.
        before = writes()
        stats, result = playbook("--check")
        for line in lines:
            if stats[line]["changed"] < 1 or stats[line]["failures"]:
                fail("dry run, %s: %s\n%s" % (line, stats[line], result.stdout[-4000:]))
        if writes() != before:
            fail("the dry run sent requests that change a board: %s -> %s" % (before, writes()))
        for line in lines:
            for address in addresses[line]:
                holds, _ = board_holds_desired(line, address)
                if holds:
                    fail("board %s on %s holds the desired state after a dry run" % (address, line))
        print("dry run: both hosts changed, nothing written")

        # 2. The real run.
        stats, result = playbook()
        for line in lines:
            if stats[line]["changed"] < 1 or stats[line]["failures"]:
                fail("real run, %s: %s\n%s" % (line, stats[line], result.stdout[-4000:]))
        for line in lines:
            for address in addresses[line]:
                holds, detail = board_holds_desired(line, address)
                if not holds:
                    fail("board %s on %s does not hold the desired state:\n%s" % (address, line, detail))
        print("real run: both hosts changed; every board holds the file and reports 0.0.7")

        # 3. Again: nothing to do, nothing written.
        before = writes()
        stats, result = playbook()
        for line in lines:
            if stats[line]["changed"] != 0 or stats[line]["failures"]:
                fail("second run, %s: %s\n%s" % (line, stats[line], result.stdout[-4000:]))
        if writes() != before:
            fail("the second run sent requests that change a board: %s -> %s" % (before, writes()))
        print("second run: changed=0, not one write on either line")

        # 4. A board that refuses a write fails its host, not the other.
        desired["di"][1]["address"] = 202
        config.write_text(json.dumps(desired))
        lines["line-b"].command("refuse 0xa2 4")
        stats, result = playbook()
        if not stats["line-b"]["failures"]:
            fail("a refused write did not fail its host: %s" % stats["line-b"])
        if stats["line-a"]["failures"] or stats["line-a"]["changed"] < 1:
            fail("the other host did not go on: %s" % stats["line-a"])
        for address in addresses["line-a"]:
            holds, detail = board_holds_desired("line-a", address)
            if not holds:
                fail("board %s on line-a does not hold the new state:\n%s" % (address, detail))
        print("refusal: line-b failed, line-a applied")
    finally:
        for line in lines.values():
            line.stop()
        shutil.rmtree(folder, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
