#!/usr/bin/env python3
"""Writes seed scripts for fuzz-plugin-events (see host_script.h) from the
shipped scenarios: each scenario's resources, answers and steps as host
actions, once as written and once with every answer streamed in small reads
and a re-entrant update. Needs Debian's python3-yaml; run it again when the
scenarios change, then merge the corpus (docs/reliability.md)."""
import json
import pathlib
import sys

import yaml

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "fuzz" / "corpus" / "plugin_events"
UNITS = {"ms": 1, "s": 1000, "m": 60_000, "h": 3_600_000}


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def milliseconds(text):
    text = str(text)
    for unit in ("ms", "s", "m", "h"):
        if text.endswith(unit) and text[: -len(unit)].replace(".", "").isdigit():
            return int(float(text[: -len(unit)]) * UNITS[unit])
    return int(float(text) * 1000)


def answer_lines(endpoint):
    method, path = endpoint.get("method", "GET"), endpoint["path"]
    answers = endpoint.get("respond-sequence") or [endpoint.get("respond", {})]
    lines = []
    for answer in answers[:1]:
        if "error" in answer:
            lines.append(f"answer {method} {path} error {answer.get('status', 500)} {answer['error']}")
        elif "stream" in answer:
            lines.append(f"answer {method} {path} stream {answer['stream']} {compact(answer.get('body'))}")
        else:
            lines.append(f"answer {method} {path} body {compact(answer.get('body'))}")
    return lines


def step_lines(step):
    if isinstance(step, str):
        return {"start": ["restart"], "stop": ["stop"], "restart": ["restart"]}.get(step, [])
    (kind, arguments), = step.items()
    if kind in ("update", "create"):
        return [f"{kind} {arguments['path']} {compact(arguments.get('body'))}"]
    if kind == "set":
        return [f"store {arguments['path']} {compact(arguments.get('body', arguments.get('value')))}"]
    if kind == "delete":
        return [f"delete {arguments['path'] if isinstance(arguments, dict) else arguments}"]
    if kind == "advance":
        return [f"advance {milliseconds(arguments)}"]
    return []


def script(scenario, streamed):
    lines = [f"store {path} {compact(value)}" for path, value in (scenario.get("resources") or {}).items()]
    for endpoint in scenario.get("endpoints") or []:
        lines += answer_lines(endpoint)
    if streamed:
        lines += ["hook stream 5", "during 1 update /qel-gameflow/v1/session {\"phase\":\"Lobby\"}"]
    for step in scenario.get("steps") or []:
        lines += step_lines(step)
    return "\n".join(lines) + "\n"


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for path in sorted((ROOT / "scenarios").glob("*.yaml")):
        for document in yaml.safe_load_all(path.read_text()):
            scenarios = document if isinstance(document, list) else document.get("scenarios", [document])
            for n, scenario in enumerate(scenarios):
                for streamed in (False, True):
                    name = f"{path.stem}-{n}{'-streamed' if streamed else ''}"
                    (OUT / name).write_text(script(scenario, streamed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
