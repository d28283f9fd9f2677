"""Lists every line of src/ that the coverage run did not execute and that gives no reason for it:
a comment on the line itself or on the line just above it. A run of unexecuted lines, with no
executed line between them, takes its reason from above its first line. Exits 1 when there is
any.

    unexplained_lines.py GCOVR-JSON
"""
import json
import sys

report = json.load(open(sys.argv[1]))
unexplained = []
for measured in report["files"]:
    path = measured["file"]
    if not path.startswith("src/"):
        continue
    source = open(path, encoding="utf-8").read().split("\n")
    run_explained = False  # the run of unexecuted lines this line continues, if any
    for line in sorted(measured["lines"], key=lambda entry: entry["line_number"]):
        if line.get("gcovr/noncode"):
            continue
        if line["count"] > 0:
            run_explained = False
            continue
        number = line["line_number"]
        text = source[number - 1]
        above = source[number - 2].strip() if number > 1 else ""
        run_explained = run_explained or "//" in text or above.startswith("//")
        if not run_explained:
            unexplained.append(f"{path}:{number}: {text.strip()}")

for entry in unexplained:
    print(entry)
print(f"{len(unexplained)} unexecuted lines of src/ without a reason")
sys.exit(1 if unexplained else 0)
