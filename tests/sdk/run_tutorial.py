#!/usr/bin/env python3
"""Runs every ```sh block of docs/writing-a-plugin.md, in order, in one shell,
with VORN_SOURCE, VORN_BUILD, SDK and WORK set; fails when any command fails.
So the tutorial's commands are the ones this test proves."""
import os
import re
import subprocess
import sys
import tempfile

source, build = sys.argv[1], sys.argv[2]
text = open(os.path.join(source, "docs", "writing-a-plugin.md"), encoding="utf-8").read()
blocks = re.findall(r"^```sh\n(.*?)^```", text, flags=re.S | re.M)
if not blocks:
    sys.exit("no sh blocks found in docs/writing-a-plugin.md")
with tempfile.TemporaryDirectory(prefix="vorn-sdk-") as scratch:
    env = dict(os.environ, VORN_SOURCE=source, VORN_BUILD=build,
               SDK=os.path.join(scratch, "sdk"), WORK=os.path.join(scratch, "work"))
    os.makedirs(env["WORK"])
    script = "set -euo pipefail\nset -x\n" + "\n".join(blocks)
    sys.exit(subprocess.run(["bash", "-c", script], env=env).returncode)
