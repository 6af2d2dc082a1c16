#!/usr/bin/env python3
"""The command line's JSON contract, checked: every line the CLI tests received (a .jsonl file
per test in FOLDER) must be UTF-8, one JSON object and valid against SCHEMA, each of the KINDs
must have occurred, and every line of REJECTED (events the contract forbids) must be refused,
so that a schema which lets everything through cannot pass.

    check_events.py SCHEMA FOLDER REJECTED KIND...
"""
import json
import pathlib
import sys

sys.dont_write_bytecode = True  # nothing left behind in the source tree
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from missing_package import missing_package  # noqa: E402

try:
    import jsonschema
except ImportError:
    sys.exit(missing_package("python3-jsonschema", "check_events: Python's jsonschema module is missing"))


def lines_of(path):
    for number, raw in enumerate(path.read_bytes().split(b"\n"), 1):
        if raw:
            yield f"{path.name}:{number}", raw


def main(schema_path, folder, rejected, kinds):
    schema = json.loads(pathlib.Path(schema_path).read_text(encoding="utf-8"))
    kind = jsonschema.validators.validator_for(schema)
    kind.check_schema(schema)
    validator = kind(schema)
    failures, seen, count = [], set(), 0
    for path in sorted(pathlib.Path(folder).glob("*.jsonl")):
        for where, raw in lines_of(path):
            count += 1
            try:
                event = json.loads(raw.decode("utf-8"))
            except ValueError as error:  # UnicodeDecodeError is one too
                failures.append(f"{where}: not a UTF-8 JSON line: {error}: {raw[:200]!r}")
                continue
            for error in validator.iter_errors(event):
                at = "/".join(str(p) for p in error.absolute_path)
                failures.append(f"{where}: /{at}: {error.message}")
            if isinstance(event, dict):
                seen.add(event.get("event"))
    for where, raw in lines_of(pathlib.Path(rejected)):
        if validator.is_valid(json.loads(raw)):
            failures.append(f"{where}: accepted, but the contract forbids it: {raw.decode()}")
    failures += [f"no {k} event among the tests' output" for k in kinds if k not in seen]
    for failure in failures:
        print(failure)
    print(f"check_events: {count} events checked, {len(failures)} faults")
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]))
