#!/usr/bin/env python3
"""vorn-host's --junit reports: valid against the JUnit schema kept beside
this file (checked with xmllint, no network), and saying what happened: a case
per scenario, check or run, each failure with its step, what was expected and
what came, the trace as the suite's output.

Arguments: the source folder, vorn-host, the crashing test plug-in."""
import os
import re
import subprocess
import tempfile
import xml.etree.ElementTree as ElementTree

from report_runs import check, failing_scenario, main, vorn_host

SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "junit.xsd")


def read_report(path):
    """Parses the report after checking it against the schema."""
    done = subprocess.run(["xmllint", "--noout", "--schema", SCHEMA, path], capture_output=True, text=True)
    check(done.returncode == 0, f"{path} is not valid against the schema:\n{done.stderr}")
    root = ElementTree.parse(path).getroot()
    check(root.tag == "testsuites", f"the root is <{root.tag}>")
    return root


def cases(root):
    return [case for suite in root.findall("testsuite") for case in suite.findall("testcase")]


def check_counts(root):
    """The totals agree with the cases on every level."""
    every = cases(root)
    for element, held in [(root, every)] + [(suite, suite.findall("testcase")) for suite in root.findall("testsuite")]:
        check(int(element.get("tests")) == len(held), f"tests={element.get('tests')} for {len(held)} cases")
        check(int(element.get("failures")) == sum(c.find("failure") is not None for c in held), "failures miscounted")
        check(int(element.get("errors")) == sum(c.find("error") is not None for c in held), "errors miscounted")


def check_run(source, host, scratch):
    wrong = failing_scenario(source, scratch)
    unreadable = os.path.join(scratch, "unreadable.yaml")
    with open(unreadable, "w", encoding="utf-8") as out:
        out.write("steps:\n  - advnce: 1s\n")
    unloadable = os.path.join(scratch, "unloadable.yaml")
    with open(unloadable, "w", encoding="utf-8") as out:
        out.write("name: No such library\nplugin: ./no-such-library.so\nsteps:\n  - start\n")
    shipped = sorted(f for f in os.listdir(os.path.join(source, "scenarios")) if f.endswith(".yaml"))
    report = os.path.join(scratch, "run.xml")
    vorn_host(host, "run", "--junit", report, os.path.join(source, "scenarios"), wrong, unreadable, unloadable,
              expect=2)
    root = read_report(report)
    check_counts(root)
    suites = root.findall("testsuite")
    check(len(suites) == len(shipped) + 3, f"{len(suites)} suites for {len(shipped) + 3} scenario files")
    check(root.get("failures") == "1" and root.get("errors") == "2", "one failure and two errors expected")
    for suite in suites:
        check(len(suite.findall("testcase")) == 1, f"{suite.get('name')}: one case per scenario file")
        check(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d", suite.get("timestamp")), "timestamp")
    by_file = {os.path.basename(suite.get("name")): suite for suite in suites}
    passed = by_file["default.yaml"]
    check(passed.find("testcase").get("name") == "Featured mode switched on", "the case is named after the scenario")
    check(passed.find("testcase").get("classname") == "scenarios.default", "classname: folder and stem")
    out = passed.find("system-out").text
    check("step 1  start" in out and "subscribe OnJsonApiEvent_qel-game-queues_v1_queues" in out,
          "the suite's output is the run's trace")
    failure = by_file["wrong-critical.yaml"].find("testcase/failure")
    check(failure is not None, "the failing scenario has a <failure>")
    message = failure.get("message")
    check("step 11 (expect-request, line 42)" in message and "expected 1, found 0" in message,
          f"the failure names its step and counts: {message}")
    check('expected: {"backgroundUrl"' in failure.text and '"critical":true' in failure.text, "what was expected")
    check("found:    {" in failure.text and '"critical":false' in failure.text, "what came instead")
    check("body.critical: expected true, got false" in failure.text, "why it did not match")
    error = by_file["unreadable.yaml"].find("testcase/error")
    check(error is not None and "unknown step 'advnce'" in error.get("message"), "a file that cannot run is an error")
    error = by_file["unloadable.yaml"].find("testcase/error")
    check(error is not None and "\nstep 1: start\n" in error.text and "cannot load the plug-in" in error.get("message"),
          f"a plug-in that does not load is an error of its step: {error.text if error is not None else None}")


def check_validate(host, scratch):
    report = os.path.join(scratch, "validate.xml")
    _, out, _ = vorn_host(host, "validate", "--json", "--junit", report, expect=0)
    root = read_report(report)
    check_counts(root)
    names = re.findall(r'"name": "([^"]+)"', out)
    check([case.get("name") for case in cases(root)] == names, "a case per check, in order")


def check_sweeps(source, host, crashing, scratch):
    default = os.path.join(source, "scenarios", "default.yaml")
    report = os.path.join(scratch, "faults.xml")
    _, out, _ = vorn_host(host, "run", "--fault-sweep", "--junit", report, default, expect=0)
    root = read_report(report)
    check_counts(root)
    runs = int(re.search(r"(\d+) runs:", out).group(1))
    check(len(cases(root)) == runs, f"{len(cases(root))} cases for {runs} runs")
    check(all(case.find("failure") is None for case in cases(root)), "a clean sweep has no failure")
    check({case.get("classname") for case in cases(root)} == {"scenarios.default"}, "cases named by their file")
    check(cases(root)[1].get("name") == "1 answer GET /qel-platform-config/v1/namespaces/FeaturedModes: the request fails",
          f"a run is named by its interaction and fault: {cases(root)[1].get('name')}")

    crash = os.path.join(scratch, "crash.yaml")
    with open(crash, "w", encoding="utf-8") as out:
        out.write("steps:\n  - start\n  - update: {path: /crashing/v1/things, body: 1}\n")
    vorn_host(host, "run", "--fault-sweep", "--plugin", crashing, "--junit", report, crash, expect=1)
    root = read_report(report)
    failure = cases(root)[0].find("failure")
    check(failure is not None and failure.get("message").startswith("CRASH: the plug-in crashed"),
          "a crash in the clean run is its case's failure")

    vorn_host(host, "run", "--allocation-sweep", "--sample", "4", "--junit", report, default, expect=0)
    root = read_report(report)
    check([case.get("name") for case in cases(root)][0] == "clean run" and len(cases(root)) == 5,
          "the clean run and four failing allocations")


def check_fuzz(host, crashing, scratch):
    report = os.path.join(scratch, "fuzz.xml")
    vorn_host(host, "fuzz", "--runs", "4", "--seed", "3", "--out", os.path.join(scratch, "found"), "--junit", report,
              expect=0)
    root = read_report(report)
    check(len(cases(root)) == 1 and re.fullmatch(r"\d+ runs, seed 3", cases(root)[0].get("name")), "one case")
    vorn_host(host, "fuzz", "--plugin", crashing, "--runs", "4", "--seed", "3", "--out", os.path.join(scratch, "found"),
              "--junit", report, expect=1)
    root = read_report(report)
    check_counts(root)
    findings = [case for case in cases(root) if case.find("failure") is not None]
    check(len(findings) >= 1 and "crash" in findings[0].find("failure").get("message"), "each finding is a failed case")


def run(arguments):
    source, host, crashing = arguments
    with tempfile.TemporaryDirectory(prefix="vorn-junit-") as scratch:
        check_run(source, host, scratch)
        check_validate(host, scratch)
        check_sweeps(source, host, crashing, scratch)
        check_fuzz(host, crashing, scratch)


main(run)
