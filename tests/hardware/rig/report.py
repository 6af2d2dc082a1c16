"""The rig's findings: one cell per check and adapter, each passed, failed or not applicable
with its figures; printed as a table, the failures' details after it, and a closing count."""

import sys


class Cell:
    def __init__(self, ok, text, detail=""):
        self.ok = ok  # True, False, or None where the check does not apply
        self.text = text
        self.detail = detail

    def shown(self):
        mark = {True: "ok", False: "FAIL", None: "n/a"}[self.ok]
        return f"{mark} {self.text}".strip()


def passed(text=""):
    return Cell(True, text)


def failed(text, detail=""):
    return Cell(False, text, detail)


def not_applicable(why):
    return Cell(None, why)


def judged(ok, text, detail=""):
    return Cell(True, text) if ok else Cell(False, text, detail)


class Report:
    def __init__(self, columns):
        self.columns = columns
        self.rows = []
        self.cells = {}
        self.notes = []

    def add(self, row, column, cell):
        if row not in self.rows:
            self.rows.append(row)
        self.cells[(row, column)] = cell
        print(f"driver rig: {row} [{column}]: {cell.shown()}", file=sys.stderr, flush=True)
        if cell.ok is False and cell.detail:
            print(f"  {cell.detail}", file=sys.stderr, flush=True)

    def note(self, text):
        self.notes.append(text)

    def counts(self):
        values = [c.ok for c in self.cells.values()]
        return values.count(True), values.count(False), values.count(None)

    def print(self, out=sys.stdout):
        header = ["check"] + self.columns
        lines = [header] + [[row] + [self.cells[(row, c)].shown() if (row, c) in self.cells else "-"
                                     for c in self.columns] for row in self.rows]
        widths = [max(len(line[i]) for line in lines) for i in range(len(header))]
        for line in lines:
            print("  ".join(text.ljust(width) for text, width in zip(line, widths)).rstrip(), file=out)
        failures = [(r, c, cell) for (r, c), cell in self.cells.items() if cell.ok is False]
        if failures:
            print("\nfailures:", file=out)
            for row, column, cell in failures:
                print(f"- {row} [{column}]: {cell.text}" + (f"\n  {cell.detail}" if cell.detail else ""),
                      file=out)
        for note in self.notes:
            print(note, file=out)
        good, bad, skipped = self.counts()
        print(f"driver_rig: {good} passed, {bad} failed, {skipped} skipped", file=out)
