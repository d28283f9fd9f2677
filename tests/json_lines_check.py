"""Every line the log viewer printed with --json is one JSON object, with the texts it was sent."""
import json
import sys

lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
objects = [json.loads(line) for line in lines]
assert len(objects) == 3, f"{len(objects)} objects"
for each in objects:
    assert isinstance(each, dict) and each["pipe"] in ("info", "record"), each
    assert isinstance(each["process"], int) and isinstance(each["session"], int), each
    assert each["time"].endswith("Z") and len(each["time"]) == 24, each

# Records of the two pipes arrive in no fixed order.
info = next(o for o in objects if "message" in o)
record = next(o for o in objects if o["pipe"] == "record")
malformed = next(o for o in objects if o.get("malformed"))
assert info["message"] == 'say "hi" \\ caf\u00e9', info["message"]
assert info["pipe"] == "info" and set(info) >= {"thread", "module"}, info
assert record["pipe"] == "record", record
assert [record[f"field{i}"] for i in range(1, 9)] == ["-1", "2", "3", "N/A", "four", "six",
                                                      "seven", "8"], record
assert record["thread"] == info["thread"], record
assert malformed["malformed"] is True and malformed["text"] == "no fields\0", malformed
print("ok: the viewer's JSON lines")
