"""What the report checks share: running vorn-host, and a scenario that fails
on purpose (the shipped default scenario expecting a body the plug-in does
not send)."""
import os
import subprocess
import sys


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def vorn_host(host, *arguments, expect=None):
    """Runs vorn-host; returns (exit code, standard output, standard error)."""
    done = subprocess.run([host, *arguments], capture_output=True, text=True, errors="replace", timeout=600)
    if expect is not None:
        check(done.returncode == expect,
              f"vorn-host {' '.join(arguments)} exited {done.returncode}, not {expect}:\n{done.stdout}\n{done.stderr}")
    return done.returncode, done.stdout, done.stderr


def failing_scenario(source, folder):
    """A copy of the default scenario whose expected notification is critical."""
    text = open(os.path.join(source, "scenarios", "default.yaml"), encoding="utf-8").read()
    check("critical: false" in text, "the default scenario no longer expects 'critical: false'")
    path = os.path.join(folder, "wrong-critical.yaml")
    with open(path, "w", encoding="utf-8") as out:
        out.write(text.replace("name: ", "name: Wrongly critical, ", 1).replace("critical: false", "critical: true"))
    return path


def main(body):
    """Runs body(arguments); exits 1 with the message on the first failure."""
    try:
        body(sys.argv[1:])
    except Failure as failure:
        print(f"FAILED: {failure}")
        sys.exit(1)
    print("passed")
