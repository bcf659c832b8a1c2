#!/usr/bin/env python3
"""vorn-host run --html, checked in a real browser: the page is rendered by
headless Chromium to a screenshot and to its DOM, which must hold every
scenario, step and request of the run, mark the failures (the differing
member highlighted), fetch nothing and raise no script error.

Arguments: the source folder, vorn-host, and where to keep the screenshot."""
import html.parser
import os
import re
import shutil
import subprocess
import tempfile

from report_runs import check, failing_scenario, main, vorn_host


class Page(html.parser.HTMLParser):
    """The scenarios of the rendered page: verdict, step rows, text, marks."""

    def __init__(self):
        super().__init__()
        self.scenarios = []
        self.open = []  # the elements under way, with the scenario each is in
        self.resources = []  # what the page would load
        self.row_is_trace = False
        self.badge = False

    def handle_starttag(self, tag, attributes):
        attributes = dict(attributes)
        classes = (attributes.get("class") or "").split()
        if tag == "section" and "scenario" in classes:
            self.scenarios.append({"verdict": attributes.get("data-verdict"), "classes": classes, "steps": [],
                                   "failed_steps": [], "text": "", "marks": [], "lines": [], "ids": [],
                                   "timeline": [], "summaries": [], "badges": [], "whys": 0})
        if self.scenarios and tag == "a" and "left:" in (attributes.get("style") or ""):
            left = float(re.search(r"left:([0-9.]+)%", attributes["style"]).group(1))
            self.scenarios[-1]["timeline"].append((classes, attributes.get("href"), left))
        if self.scenarios and tag == "tr" and "id" in attributes:
            self.scenarios[-1]["ids"].append(attributes["id"])
        if tag == "tr":
            self.row_is_trace = "trace" in classes
        if self.scenarios and tag == "tr" and "trace" in classes:
            self.scenarios[-1]["lines"].append((classes, []))
        if self.scenarios and tag == "td" and self.open and self.open[-1] == "tr" and self.in_trace_row():
            self.scenarios[-1]["lines"][-1][1].append("")
        if tag in ("img", "script", "link", "iframe") or "src" in attributes:
            self.resources.append((tag, attributes))
        if self.scenarios and tag == "tr" and "step" in classes and "data-step" in attributes:
            self.scenarios[-1]["steps"].append(int(attributes["data-step"]))
            if "failed" in classes or "error" in classes:
                self.scenarios[-1]["failed_steps"].append(int(attributes["data-step"]))
        self.badge = tag == "span" and "badge" in classes
        if self.scenarios and tag == "pre" and "why" in classes:
            self.scenarios[-1]["whys"] += 1
        self.open.append(tag)

    def in_trace_row(self):
        """Inside the last trace row begun (its cells: time, lane, text)."""
        return bool(self.scenarios and self.scenarios[-1]["lines"] and "tr" in self.open and self.row_is_trace)

    def handle_endtag(self, tag):
        while self.open and self.open.pop() != tag:
            pass

    def handle_data(self, data):
        if not self.scenarios:
            return
        self.scenarios[-1]["text"] += data
        if self.in_trace_row() and "td" in self.open and self.scenarios[-1]["lines"][-1][1]:
            self.scenarios[-1]["lines"][-1][1][-1] += data
        if "mark" in self.open:
            self.scenarios[-1]["marks"].append(data)
        if self.open and self.open[-1] == "summary":
            self.scenarios[-1]["summaries"].append(data)
        if self.open and self.open[-1] == "span" and self.badge:
            self.scenarios[-1]["badges"].append(data)


# Each kind of trace line and the lane (and level) it belongs in.
LANES = [(r"subscribe |start$|started$|load ", "life"), (r"event ", "event"), (r"(GET|POST|PATCH|PUT) /", "request"),
         (r"(schedule|task) '", "task"), (r"log WARN ", "log-WARN"), (r"log OKAY ", "log-OKAY")]


def check_lanes(label, lines):
    """Every trace row of a kind sits in its lane."""
    for classes, cells in lines:
        check(len(cells) == 3 and re.fullmatch(r"[0-9]+\.[0-9]{3} s", cells[0]), f"{label}: a trace row {cells}")
        for pattern, lane in LANES:
            if re.match(pattern, cells[2].strip()):
                check(lane in classes, f"{label}: '{cells[2]}' is not in the {lane} lane: {classes}")


def check_timeline(label, shown):
    """A mark per trace line in its lane, linked to its row, placed by time."""
    marks = shown["timeline"]
    check(len(marks) == len(shown["lines"]), f"{label}: {len(marks)} marks for {len(shown['lines'])} trace lines")
    rows = {f"#{row}": classes for row, (classes, _) in zip(shown["ids"], shown["lines"])}
    check(len(rows) == len(shown["lines"]), f"{label}: every trace row has its own id")
    times = [float(cells[0].split()[0]) for _, cells in shown["lines"]]
    end = max(times)
    for classes, href, left in marks:
        check(href in rows and classes[0] in rows[href], f"{label}: a mark of the {classes} lane links to {href}")
        row = list(rows).index(href)
        want = 100 * times[row] / end if end else 0
        check(abs(left - want) < 0.02, f"{label}: a mark at {left}% for {times[row]} s of {end} s")


def expected_run(text):
    """From vorn-host's text output: each scenario's name, verdict, steps and
    requests ("GET /path")."""
    runs = []
    for block in text.split("scenario: ")[1:]:
        name = block.split(" (", 1)[0]
        verdict = re.search(r"^(PASS|FAIL|ERROR)  ", block, flags=re.M).group(1)
        steps = [int(n) for n in re.findall(r"^step (\d+)  ", block, flags=re.M)]
        requests = re.findall(r"^ +\[ *[0-9.]+s\] ((?:GET|POST|PUT|PATCH|DELETE) \S+)", block, flags=re.M)
        trace_lines = len(re.findall(r"^        \[ *[0-9.]+s\] ", block, flags=re.M))
        answered = re.findall(r"^ +\[ *[0-9.]+s\] ((?:call \S+ )?(?:GET|POST|PUT|PATCH|DELETE) \S+).* -> (\S*)", block,
                              flags=re.M)
        held = len(re.findall(r"^step \d+  expect-.* \.\.\. ok", block, flags=re.M))
        runs.append({"name": name, "verdict": verdict, "steps": steps, "requests": requests, "trace_lines": trace_lines,
                     "answered": [f"{request} \u2192 {status if status.isdigit() else 'result'}" for request, status in answered],
                     "held": held})
    return runs


def chromium(*arguments):
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    check(browser is not None, "Chromium is not installed (scripts/setup installs it)")
    with tempfile.TemporaryDirectory(prefix="vorn-chromium-") as profile:
        return subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                               "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0", *arguments],
                              capture_output=True, text=True, errors="replace", timeout=180)


def script_errors(log):
    return [line for line in log.splitlines() if "CONSOLE" in line or "Uncaught" in line]


def run(arguments):
    source, host, screenshot = arguments
    with tempfile.TemporaryDirectory(prefix="vorn-html-") as scratch:
        page = os.path.join(scratch, "run.html")
        wrong = failing_scenario(source, scratch)
        unloadable = os.path.join(scratch, "unloadable.yaml")
        with open(unloadable, "w", encoding="utf-8") as out:
            out.write("name: No such library\nplugin: ./no-such-library.so\nsteps:\n  - start\n")
        _, out, _ = vorn_host(host, "run", "--html", page, os.path.join(source, "scenarios"),
                              os.path.join(source, "scenarios", "echo"), unloadable, wrong, expect=2)
        runs = expected_run(out)
        check(len(runs) >= 13 and runs[-2]["verdict"] == "ERROR", f"{len(runs)} scenarios in the text output")
        check(any(line.startswith("call ") for line in runs[-3]["answered"]), "the calls of vorn-echo are shown")
        text = open(page, encoding="utf-8").read()
        check(not re.search(r"https?:|<script|<link|<img|@import|url\(", text), "the page loads nothing")

        dom = chromium("--dump-dom", "file://" + page)
        check(dom.returncode == 0 and "</html>" in dom.stdout, f"Chromium did not render the page:\n{dom.stderr[-2000:]}")
        check(not script_errors(dom.stderr), "script errors:\n" + "\n".join(script_errors(dom.stderr)))
        parsed = Page()
        parsed.feed(dom.stdout)
        check(not parsed.resources, f"the page holds elements that load: {parsed.resources}")
        check(len(parsed.scenarios) == len(runs), f"{len(parsed.scenarios)} scenarios on the page, {len(runs)} run")
        for expected, shown in zip(runs, parsed.scenarios):
            label = expected["name"]
            check(expected["name"] in shown["text"], f"{label}: the name is on the page")
            check(shown["verdict"] == expected["verdict"], f"{label}: verdict {shown['verdict']}")
            check(shown["steps"] == expected["steps"], f"{label}: steps {shown['steps']} for {expected['steps']}")
            for request in expected["requests"]:
                check(request in shown["text"], f"{label}: the request {request} is on the page")
            check_lanes(label, shown["lines"])
            check(shown["summaries"] == expected["answered"], f"{label}: each request folds to its method, path and status")
            check(len([b for b in shown["badges"] if b.startswith("held")]) == expected["held"],
                  f"{label}: each expectation that held is marked held")
            check_timeline(label, shown)
            check(len(shown["lines"]) == expected["trace_lines"],
                  f"{label}: {len(shown['lines'])} trace rows for {expected['trace_lines']} trace lines")
            failed = expected["verdict"] != "PASS"
            css = {"PASS": "passed", "FAIL": "failed", "ERROR": "error"}[expected["verdict"]]
            check(css in shown["classes"] and bool(shown["failed_steps"]) == failed, f"{label}: failures marked as such")
            check(shown["badges"].count("FAILED") + shown["badges"].count("ERROR") == len(shown["failed_steps"]),
                  f"{label}: a failed step says so")
            check(shown["whys"] == len(shown["failed_steps"]), f"{label}: only a failed step says why")
        check(any("log-WARN" in classes for shown in parsed.scenarios for classes, _ in shown["lines"]),
              "a WARN line is shown as one")
        wrongly = parsed.scenarios[-1]
        check(wrongly["failed_steps"] == [11], "the failing step is the one marked")
        check(wrongly["marks"] == ['"critical": true', '"critical": false'],
              f"only the member that differs is highlighted, on both sides: {wrongly['marks']}")

        shot = chromium("--hide-scrollbars", "--window-size=1280,1600", "--screenshot=" + screenshot,
                        "file://" + page)
        check(shot.returncode == 0 and os.path.getsize(screenshot) > 20000, "Chromium made no screenshot")
        with open(screenshot, "rb") as image:
            check(image.read(8) == b"\x89PNG\r\n\x1a\n", "the screenshot is a PNG")


main(run)
