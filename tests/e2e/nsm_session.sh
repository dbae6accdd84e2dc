#!/usr/bin/env bash
# The real program under a session manager: a small manager on 127.0.0.1 (in Python,
# speaking OSC over UDP) starts kestrine with NSM_URL, takes its announce, opens a
# session in a folder that does not exist yet, hides and shows the window, saves, and
# ends the program with SIGTERM as managers do. The session must be where the manager
# said, the window must have followed, and the program must end cleanly and promptly.
# Usage: nsm_session.sh KESTRINE_BINARY OUTPUT_DIR. Exit 77 (skipped) without the
# display or audio tools.
set -euo pipefail
program=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/virtual-desktop.sh"
require_tools Xvfb xdotool jackd jack_lsp python3

start_display || { echo "FAILED: Xvfb did not start"; exit 1; }
start_jack || { echo "FAILED: the JACK dummy server did not start"; exit 1; }
run="$work/run"
mkdir -p "$run"
cp "$program" "$run/kestrine"
[ -d "$root/run" ] && cp -r "$root/run/." "$run/"
use_jack_device "$run"

python3 - "$run" "$work/Sessions/Gig/Kestrine.nTEST" "$work/kestrine.log" <<'PY'
import os, signal, socket, struct, subprocess, sys, time

run, session, log = sys.argv[1:4]

def pad(b):
    return b + b"\0" * (4 - len(b) % 4)

def osc(path, *args):
    tags, data = ",", b""
    for a in args:
        if isinstance(a, int):
            tags += "i"; data += struct.pack(">i", a)
        else:
            tags += "s"; data += pad(a.encode())
    return pad(path.encode()) + pad(tags.encode()) + data

def parse(packet):
    def text(at):
        end = packet.index(b"\0", at)
        return packet[at:end].decode(), (end // 4 + 1) * 4
    path, at = text(0)
    tags, at = text(at)
    args = []
    for t in tags[1:]:
        if t == "i":
            args.append(struct.unpack(">i", packet[at:at + 4])[0]); at += 4
        elif t == "s":
            s, at = text(at); args.append(s)
    return [path] + args

sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 0))
sock.settimeout(30)
client = None

def fail(why):
    print("FAILED:", why)
    try:
        print("--- program output"); print(open(log).read()[-3000:])
    except OSError:
        pass
    proc.kill()
    sys.exit(1)

def expect(first, *rest):
    global client
    while True:
        try:
            data, client = sock.recvfrom(65536)
        except socket.timeout:
            fail("no %s from kestrine" % first)
        message = parse(data)
        if message[0] == "/nsm/client/message":
            continue
        if message[0] != first or (rest and tuple(message[1:1 + len(rest)]) != rest):
            fail("expected %s %s, got %s" % (first, rest, message))
        return message

def visible():
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Kestrine"], capture_output=True)
    return found.returncode == 0 and found.stdout.strip() != b""

def wait_visible(wanted):
    for _ in range(100):
        if visible() == wanted:
            return True
        time.sleep(0.1)
    return False

env = dict(os.environ, NSM_URL="osc.udp://127.0.0.1:%d/" % sock.getsockname()[1])
proc = subprocess.Popen(["./kestrine"], cwd=run, env=env, stdout=open(log, "w"), stderr=subprocess.STDOUT)

announce = expect("/nsm/server/announce")
if announce[1:3] != ["Kestrine", ":dirty:optional-gui:message:"] or announce[4:6] != [1, 2] or announce[6] != proc.pid:
    fail("announce: %s" % announce)
sock.sendto(osc("/reply", "/nsm/server/announce", "Welcome", "e2e manager", ":server-control:optional-gui:"), client)
expect("/nsm/client/gui_is_shown")
sock.sendto(osc("/nsm/client/open", session, "Kestrine", "nTEST"), client)
expect("/reply", "/nsm/client/open", "New session created.")
expect("/nsm/client/is_clean")
if not os.path.isfile(os.path.join(session, "Kestrine.nTEST.session")):
    fail("no session file in " + session)

sock.sendto(osc("/nsm/client/hide_optional_gui"), client)
expect("/nsm/client/gui_is_hidden")
if not wait_visible(False):
    fail("the window did not hide")
sock.sendto(osc("/nsm/client/show_optional_gui"), client)
expect("/nsm/client/gui_is_shown")
if not wait_visible(True):
    fail("the window did not show again")

os.remove(os.path.join(session, "Kestrine.nTEST.session"))
sock.sendto(osc("/nsm/client/save"), client)
expect("/reply", "/nsm/client/save", "Saved.")
if not os.path.isfile(os.path.join(session, "Kestrine.nTEST.session")):
    fail("the save wrote no session file")

# Hidden, then ended: a hidden window must not keep the program alive.
sock.sendto(osc("/nsm/client/hide_optional_gui"), client)
expect("/nsm/client/gui_is_hidden")
proc.send_signal(signal.SIGTERM)
try:
    code = proc.wait(timeout=20)
except subprocess.TimeoutExpired:
    fail("kestrine did not end on SIGTERM")
if code != 0:
    fail("kestrine ended with %d" % code)
print("PASSED")
PY
