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

    def handle_starttag(self, tag, attributes):
        attributes = dict(attributes)
        classes = (attributes.get("class") or "").split()
        if tag == "section" and "scenario" in classes:
            self.scenarios.append({"verdict": attributes.get("data-verdict"), "classes": classes, "steps": [],
                                   "failed_steps": [], "text": "", "marks": []})
        if tag in ("img", "script", "link", "iframe") or "src" in attributes:
            self.resources.append((tag, attributes))
        if self.scenarios and tag == "tr" and "step" in classes and "data-step" in attributes:
            self.scenarios[-1]["steps"].append(int(attributes["data-step"]))
            if "failed" in classes:
                self.scenarios[-1]["failed_steps"].append(int(attributes["data-step"]))
        self.open.append(tag)

    def handle_endtag(self, tag):
        while self.open and self.open.pop() != tag:
            pass

    def handle_data(self, data):
        if not self.scenarios:
            return
        self.scenarios[-1]["text"] += data
        if "mark" in self.open:
            self.scenarios[-1]["marks"].append(data)


def expected_run(text):
    """From vorn-host's text output: each scenario's name, verdict, steps and
    requests ("GET /path")."""
    runs = []
    for block in text.split("scenario: ")[1:]:
        name = block.split(" (", 1)[0]
        verdict = re.search(r"^(PASS|FAIL|ERROR)  ", block, flags=re.M).group(1)
        steps = [int(n) for n in re.findall(r"^step (\d+)  ", block, flags=re.M)]
        requests = re.findall(r"^ +\[ *[0-9.]+s\] ((?:GET|POST|PUT|PATCH|DELETE) \S+)", block, flags=re.M)
        runs.append({"name": name, "verdict": verdict, "steps": steps, "requests": requests})
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
        _, out, _ = vorn_host(host, "run", "--html", page, os.path.join(source, "scenarios"), wrong, expect=1)
        runs = expected_run(out)
        check(len(runs) >= 11, f"{len(runs)} scenarios in the text output")
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
            failed = expected["verdict"] != "PASS"
            check(("failed" in shown["classes"]) == failed and bool(shown["failed_steps"]) == failed,
                  f"{label}: failures marked as such")
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
