#!/usr/bin/env python3
"""vorn-host run --save-trace and --compare-trace on the featured-modes
scenarios: a trace saved and compared with a run of the same library holds
(the real clock and the random delays do not get in the way); a library whose
one change is a log line after each save is reported as exactly that line.

Arguments: the source folder, vorn-host, the changed featured-modes library."""
import os
import re
import tempfile

from report_runs import check, main, vorn_host

# What the changed library does in the default scenario, as a unified diff of
# the saved trace and the run (the virtual times follow the seed vorn-host sets
# when none is given).
DEFAULT_DIFF = """@@ -49,6 +49,7 @@
 step 12  advance 600.000s
         [  167.296s] task 'Timer: featured-mode-notifications.Save'
         [  167.296s] PATCH /qel-settings/v1/account/qel-notifications params=[{"data":{"rgmNotificationTimestamp":<real time ms>},"schemaVersion":1}] -> 200
+        [  167.296s] log OKAY Saved the notification time
 step 13  expect-request PATCH /qel-settings/v1/account/qel-notifications with body {"data":{"rgmNotificationTimestamp":"$any"},"schemaVersion":1} count 1 ... ok (1 match)
         [  600.000s] stop
         [  600.000s] stopped
"""


def diffs(output):
    """The reported differences: {trace file name: diff without its header}."""
    found = {}
    for block in re.split(r"^TRACE  ", output, flags=re.M)[1:]:
        lines = block.split("\n")
        saved = re.search(r"differs from (.*):$", lines[0]).group(1)
        check(lines[1] == "--- " + saved and lines[2] == "+++ this run", f"the diff's header: {lines[1:3]}")
        body = []
        for line in lines[3:]:
            if not line or line[0] not in " +-@":
                break
            body.append(line)
        found[os.path.basename(saved)] = "\n".join(body) + "\n"
    return found


def run(arguments):
    source, host, changed = arguments
    scenarios = os.path.join(source, "scenarios")
    names = sorted(f[:-5] + ".trace" for f in os.listdir(scenarios) if f.endswith(".yaml"))
    with tempfile.TemporaryDirectory(prefix="vorn-traces-") as scratch:
        saved = os.path.join(scratch, "saved")
        vorn_host(host, "run", "--save-trace", saved, scenarios, expect=0)
        check(sorted(os.listdir(saved)) == names, f"a trace per scenario: {sorted(os.listdir(saved))}")
        text = open(os.path.join(saved, "default.trace"), encoding="utf-8").read()
        check("<real time ms>" in text and scratch not in text and "/lib/" not in text,
              "the real clock and the paths are taken out")

        _, out, _ = vorn_host(host, "run", "--compare-trace", saved, scenarios, expect=0)
        check("TRACE" not in out, "the same library compares equal")

        _, out, _ = vorn_host(host, "run", "--plugin", changed, "--compare-trace", saved, scenarios, expect=1)
        found = diffs(out)
        check(found.get("default.trace") == DEFAULT_DIFF, f"the default scenario's diff:\n{found.get('default.trace')}")
        for name, diff in found.items():
            changes = [line for line in diff.splitlines() if line[0] in "+-"]
            check(changes and all(re.fullmatch(r"\+ +\[ *[0-9.]+s\] log OKAY Saved the notification time", line)
                                  for line in changes), f"{name}: only the added log line:\n{diff}")
        check(len(found) >= 5, f"every scenario that saves reports its line: {sorted(found)}")

        _, out, _ = vorn_host(host, "run", "--compare-trace", os.path.join(scratch, "none"),
                              os.path.join(scenarios, "default.yaml"), expect=1)
        check("no saved trace at" in out, "a missing saved trace fails")

        _, _, err = vorn_host(host, "run", "--save-trace", saved, os.path.join(scenarios, "default.yaml"),
                              os.path.join(scenarios, "default.yaml"), expect=2)
        check("two scenario files would share the trace default.trace" in err, "traces are not overwritten")
        for sweep in ("--fault-sweep", "--allocation-sweep"):
            _, _, err = vorn_host(host, "run", sweep, "--compare-trace", saved, os.path.join(scenarios, "default.yaml"),
                                  expect=2)
            check("the sweeps write no traces or pages" in err, f"{sweep} refuses traces")


main(run)
