#!/usr/bin/python3
"""Boots the VM test's guest under QEMU (TCG) and follows its driver: prints each check the
driver reports, hot-plugs and unplugs USB sticks through QMP when the driver asks, survives
the guest's reboots, and ends with "N passed, N failed" (exit status 1 on any failure).

Guest to host, one line each over the virtio port "vmtest":
  PASS NAME | FAIL NAME | "  | detail" | LOG TEXT | REQ plug NAME SERIAL | REQ unplug NAME
  | REBOOT | DONE
The host answers each REQ with "ok" or "error TEXT".
"""
import argparse
import json
import os
import select
import socket
import subprocess
import sys
import time


class Failure(Exception):
    pass


class LineSocket:
    """A connected stream socket read line by line with a deadline."""

    def __init__(self, path, deadline):
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(path)
                break
            except (FileNotFoundError, ConnectionRefusedError):
                self.sock.close()
                if time.monotonic() > deadline:
                    raise Failure(f"QEMU did not open {path}")
                time.sleep(0.1)
        self.buffer = b""

    def readline(self, timeout):
        """The next line without its line feed; None on timeout; EOFError when closed."""
        end = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            left = end - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.sock], [], [], min(left, 1.0))
            if ready:
                data = self.sock.recv(65536)
                if not data:
                    raise EOFError
                self.buffer += data
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode("utf-8", "replace")

    def send(self, text):
        self.sock.sendall(text.encode() + b"\n")


class Qmp:
    """QEMU's machine protocol: commands and the events that arrive between them."""

    def __init__(self, path, deadline):
        self.conn = LineSocket(path, deadline)
        self.events = []
        self.conn.readline(30)  # the greeting
        self.execute("qmp_capabilities")

    def _message(self, timeout):
        line = self.conn.readline(timeout)
        if line is None:
            raise Failure("QMP: no answer")
        return json.loads(line)

    def execute(self, command, **arguments):
        request = {"execute": command}
        if arguments:
            request["arguments"] = arguments
        self.conn.send(json.dumps(request))
        while True:
            message = self._message(30)
            if "event" in message:
                self.events.append(message)
            elif "error" in message:
                raise Failure(f"QMP {command}: {message['error'].get('desc')}")
            elif "return" in message:
                return message["return"]

    def wait_event(self, name, device, timeout):
        end = time.monotonic() + timeout
        while True:
            for i, event in enumerate(self.events):
                if event["event"] == name and event.get("data", {}).get("device") == device:
                    del self.events[i]
                    return
            left = end - time.monotonic()
            if left <= 0:
                raise Failure(f"no {name} event for {device} within {timeout} s")
            line = self.conn.readline(left)
            if line:
                self.events.append(json.loads(line))


def make_stick(path, serial):
    """A small ext4 disk holding one file that names the stick."""
    content = os.path.join(os.path.dirname(path), f"{serial}.content")
    os.makedirs(content, exist_ok=True)
    with open(os.path.join(content, "stick.txt"), "w") as f:
        f.write(f"{serial}\n")
    subprocess.run(["mkfs.ext4", "-q", "-F", "-L", serial, "-d", content, path, "16M"],
                   check=True, stdout=subprocess.DEVNULL)


class Guest:
    def __init__(self, args):
        self.args = args
        self.work = args.workdir
        self.ctl_path = os.path.join(self.work, "ctl.sock")
        self.qmp_path = os.path.join(self.work, "qmp.sock")
        self.console = os.path.join(self.work, "console.log")
        self.plugged = {}  # stick name -> node name

    def start(self):
        for path in (self.ctl_path, self.qmp_path):
            if os.path.exists(path):
                os.unlink(path)
        command = [
            "qemu-system-x86_64", "-accel", "tcg,thread=multi", "-m", "1024", "-smp", "2",
            "-nodefaults", "-no-user-config", "-display", "none",
            "-kernel", self.args.kernel, "-initrd", self.args.initrd,
            "-append", "root=/dev/vda rw console=ttyS0 net.ifnames=0 quiet",
            "-drive", f"file={self.args.root},if=virtio,format=raw,snapshot=on",
            "-drive", f"file={self.args.payload},if=virtio,format=raw,readonly=on",
            "-device", "qemu-xhci,id=xhci", "-device", "usb-kbd,bus=xhci.0",
            "-nic", "user,model=virtio-net-pci,restrict=on",
            "-device", "virtio-serial-pci,id=vser",
            "-chardev", f"socket,id=ctl,path={self.ctl_path},server=on,wait=off",
            "-device", "virtserialport,bus=vser.0,chardev=ctl,name=vmtest",
            "-qmp", f"unix:{self.qmp_path},server=on,wait=off",
            "-serial", f"file:{self.console}",
        ]
        self.qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                     stdout=open(os.path.join(self.work, "qemu.log"), "w"),
                                     stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 30
        self.ctl = LineSocket(self.ctl_path, deadline)
        self.qmp = Qmp(self.qmp_path, deadline)

    def plug(self, name, serial):
        image = os.path.join(self.work, f"{name}.img")
        if not os.path.exists(image):
            make_stick(image, serial)
        node = f"{name}-disk"
        self.qmp.execute("blockdev-add", **{"node-name": node, "driver": "raw",
                                            "file": {"driver": "file", "filename": image}})
        self.qmp.execute("device_add", driver="usb-storage", bus="xhci.0", drive=node,
                         id=name, serial=serial)
        self.plugged[name] = node

    def unplug(self, name):
        node = self.plugged.pop(name)
        self.qmp.execute("device_del", id=name)
        # The device is gone only with its event; its disk can be freed after that.
        self.qmp.wait_event("DEVICE_DELETED", name, 30)
        self.qmp.execute("blockdev-del", **{"node-name": node})

    def stop(self):
        if self.qemu.poll() is None:
            try:
                self.qemu.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.qemu.kill()
                self.qemu.wait()

    def console_tail(self, lines=40):
        try:
            with open(self.console, errors="replace") as f:
                return f.read().splitlines()[-lines:]
        except OSError:
            return []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kernel", required=True)
    parser.add_argument("--initrd", required=True)
    parser.add_argument("--root", required=True, help="base image (kept unchanged)")
    parser.add_argument("--payload", required=True, help="the driver's disk")
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--host-results", help="PASS/FAIL lines of checks made on the host")
    parser.add_argument("--timeout", type=int, default=600, help="whole run, seconds")
    parser.add_argument("--silence", type=int, default=240,
                        help="longest wait for the guest's next line, seconds")
    args = parser.parse_args()

    start = time.monotonic()
    passed = failed = 0

    def report(line):
        nonlocal passed, failed
        if line.startswith("PASS "):
            passed += 1
        elif line.startswith("FAIL "):
            failed += 1
        print(line, flush=True)

    if args.host_results:
        with open(args.host_results) as f:
            for line in f.read().splitlines():
                report(line)

    guest = Guest(args)
    done = False
    try:
        guest.start()
        deadline = start + args.timeout
        while not done:
            if guest.qemu.poll() is not None:
                raise Failure(f"the guest stopped (QEMU exit status {guest.qemu.returncode})")
            wait = min(args.silence, deadline - time.monotonic())
            if wait <= 0:
                raise Failure(f"the run took longer than {args.timeout} s")
            try:
                line = guest.ctl.readline(wait)
            except EOFError:
                raise Failure("QEMU closed the guest's port")
            if line is None:
                raise Failure(f"no word from the guest for {int(wait)} s")
            elapsed = int(time.monotonic() - start)
            if line.startswith(("PASS ", "FAIL ", "  | ")):
                report(line)
            elif line.startswith("LOG "):
                print(f"-- {line[4:]} (at {elapsed} s)", flush=True)
            elif line == "REBOOT":
                print(f"-- the guest reboots (at {elapsed} s)", flush=True)
            elif line == "DONE":
                done = True
            elif line.startswith("REQ "):
                words = line.split()[1:]
                try:
                    if words[0] == "plug" and len(words) == 3:
                        guest.plug(words[1], words[2])
                    elif words[0] == "unplug" and len(words) == 2:
                        guest.unplug(words[1])
                    else:
                        raise Failure(f"unknown request: {line}")
                    guest.ctl.send("ok")
                except (Failure, KeyError, subprocess.CalledProcessError) as e:
                    guest.ctl.send(f"error {e}")
        guest.stop()
    except Failure as e:
        report(f"FAIL the guest's driver ran to its end: {e}")
        for line in guest.console_tail():
            print(f"  | {line}")
    finally:
        if getattr(guest, "qemu", None) and guest.qemu.poll() is None:
            guest.qemu.kill()
            guest.qemu.wait()

    print(f"VM run: {int(time.monotonic() - start)} s; console log: {guest.console}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed or passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
