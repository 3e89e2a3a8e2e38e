"""Cases for the test scripts that hold several: each is a function
registered with @case(name); it passes unless an assertion in it fails.
run_cases() runs them in order, prints PASS/FAIL per case and the count line
that the test script adds up, and answers the exit status."""
import subprocess

CASES = []  # (name, function), in the order they were defined


def case(name):
    def register(fn):
        CASES.append((name, fn))
        return fn
    return register


def run_cases():
    results = []
    for name, fn in CASES:
        try:
            fn()
            results.append(True)
            print(f"PASS {name}", flush=True)
        except (AssertionError, subprocess.SubprocessError, OSError, ValueError) as e:
            results.append(False)
            print(f"FAIL {name}: {e}", flush=True)
    passed = sum(results)
    failed = len(results) - passed
    print(f"{passed} passed, {failed} failed")
    return 1 if failed or passed == 0 else 0
