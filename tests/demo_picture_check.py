"""The demo's picture: named on the demo's last line by a path that exists as printed on this
machine, well-formed SVG, one lane per party that took part, one mark per event of the timeline the
demo printed."""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

bin_dir = sys.argv[1]
picture = os.path.join(bin_dir, "demo_picture_check.svg")
if os.path.exists(picture):
    os.remove(picture)
demo = subprocess.run(["wine", os.path.join(bin_dir, "demo_session.exe"), "--svg",
                       "Z:" + picture.replace("/", "\\")],
                      capture_output=True, text=True, errors="replace", timeout=120)
assert demo.returncode == 0, f"demo ended with {demo.returncode}:\n{demo.stderr}"
last_line = demo.stdout.rstrip().splitlines()[-1]
assert last_line.endswith(": " + picture), last_line
assert os.path.exists(last_line.rsplit(": ", 1)[1]), last_line
events_printed = len(re.findall(r"^ *\d+\.\d{3}  \S", demo.stdout, re.MULTILINE))

svg = "{http://www.w3.org/2000/svg}"
root = ElementTree.parse(picture).getroot()
assert root.tag == svg + "svg", root.tag
groups = root.findall(svg + "g")
lanes = [g.get("data-party") for g in groups if g.get("class") == "lane"]
events = [g for g in groups if (g.get("class") or "").startswith("event")]
assert events_printed > 20 and len(events) == events_printed, (len(events), events_printed)
assert len(lanes) == len(set(lanes)), lanes
parties = {g.get(side) for g in events for side in ("data-from", "data-to")} - {None}
assert set(lanes) == parties, (lanes, parties)
assert {"shell", "ombru.exe", "runtime", "log collector", "console", "services",
        "user"} <= parties, parties
print(f"ok: {len(lanes)} lanes, {len(events)} events")
