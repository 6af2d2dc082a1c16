#!/usr/bin/env python3
"""`orvane-cli merge` on HEX files as real toolchains write them: a boot loader and an
application assembled and linked with binutils-arm-none-eabi and turned into HEX by objcopy
(CR LF, a start linear address record in every file) and by srec_cat (LF alone). Judged by
Python's intelhex and by srec_cat: the merged file loads with exactly one start address, the
application's; every byte sits where its input put it, as srec_cat's own merge of the two
files has it, plus 00 06 00 A5 at 0x0803CFFC; srec_cat and srec_info read it without a word.
An application without a start address is refused with how to add one, and the srec_cat
command docs/hex-files.md gives makes it mergeable.

usage: toolchain_merge_test.py ORVANE_CLI   (exit 77: a tool is missing, skipped; under
CI=true a missing tool fails instead)"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing left behind in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from missing_package import missing_package  # noqa: E402

MARKER = {0x0803CFFC: 0x00, 0x0803CFFD: 0x06, 0x0803CFFE: 0x00, 0x0803CFFF: 0xA5}

# A vector table and a few instructions: the boot loader jumps to the application's reset
# handler through the application's vector table.
PROGRAM = """
    .syntax unified
    .cpu cortex-m3
    .thumb
    .text
    .word 0x20005000
    .word reset
    .thumb_func
    .global reset
reset:
    ldr r0, ={jump}
    ldr r1, [r0]
    mov sp, r1
    ldr r1, [r0, #4]
    bx r1
"""

failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)
        print(f"FAIL: {what}")


def run(*command, check=True):
    done = subprocess.run(command, capture_output=True, text=True)
    if check and done.returncode != 0:
        raise RuntimeError(f"{' '.join(command)}: exit {done.returncode}\n{done.stderr}")
    return done


def linked(folder, name, address, jump):
    """name.elf linked at address; answers its path."""
    source = os.path.join(folder, name + ".s")
    with open(source, "w") as f:
        f.write(PROGRAM.replace("{jump}", hex(jump)))
    obj, elf = os.path.join(folder, name + ".o"), os.path.join(folder, name + ".elf")
    run("arm-none-eabi-as", "-o", obj, source)
    run("arm-none-eabi-ld", f"-Ttext={address:#x}", "-e", "reset", "-o", elf, obj)
    return elf


def objcopy_hex(folder, name, address, jump):
    elf = linked(folder, name, address, jump)
    run("arm-none-eabi-objcopy", "-O", "ihex", elf, os.path.join(folder, name + ".hex"))
    return os.path.join(folder, name + ".hex")


def srec_cat_hex(folder, name, address, jump, start=True):
    """The binary of the linked program, made HEX by srec_cat as build scripts do."""
    elf = linked(folder, name, address, jump)
    binary, out = os.path.join(folder, name + ".bin"), os.path.join(folder, name + ".hex")
    run("arm-none-eabi-objcopy", "-O", "binary", elf, binary)
    entry = [f"-execution-start-address={address + 9:#x}"] if start else []
    run("srec_cat", binary, "-binary", "-offset", f"{address:#x}", *entry, "-o", out, "-intel")
    return out


def memory(ih):
    return {address: ih[address] for address in ih.addresses()}


def start_records(path):
    with open(path, newline="") as f:
        return [line.strip() for line in f if line[7:9] in ("03", "05")]


def check_merge(cli, folder, label, boot, app):
    from intelhex import IntelHex

    merged = os.path.join(folder, label + "-merged.hex")
    done = run(cli, "merge", boot, app, "-o", merged, check=False)
    expect(done.returncode == 0, f"{label}: merge exit {done.returncode}: {done.stdout}{done.stderr}")
    if done.returncode != 0:
        return
    try:
        ih = IntelHex(merged)
    except Exception as error:  # intelhex's own refusals, such as two start addresses
        expect(False, f"{label}: intelhex refuses the merged file: {type(error).__name__}: {error}")
        return
    expect(ih.start_addr == IntelHex(app).start_addr,
           f"{label}: start address {ih.start_addr}, the application's is {IntelHex(app).start_addr}")
    expect(len(start_records(merged)) == 1, f"{label}: start address records {start_records(merged)}")
    inputs = {**memory(IntelHex(boot)), **memory(IntelHex(app))}
    expect(memory(ih) == {**inputs, **MARKER}, f"{label}: bytes differ from the inputs' and the marker")
    reference = os.path.join(folder, label + "-ref.hex")
    run("srec_cat", boot, "-intel", app, "-intel", "-o", reference, "-intel")
    expect(memory(ih) == {**memory(IntelHex(reference)), **MARKER},
           f"{label}: bytes differ from srec_cat's merge of the same files")
    for reader in (["srec_cat", merged, "-intel", "-o", "/dev/null", "-intel"], ["srec_info", merged, "-intel"]):
        said = run(*reader, check=False)
        expect(said.returncode == 0 and said.stderr == "", f"{label}: {reader[0]} says {said.stderr!r}")


def check_missing_start(cli, folder, boot):
    """Refused with how to add one; the command the manual gives makes it mergeable."""
    bare = srec_cat_hex(folder, "bare", 0x08010000, 0x08010000, start=False)
    merged = os.path.join(folder, "bare-merged.hex")
    done = run(cli, "merge", boot, bare, "-o", merged, check=False)
    said = done.stdout + done.stderr
    expect(done.returncode == 1 and "no start linear address record" in said
           and "-execution-start-address" in said, f"no start address: exit {done.returncode}: {said}")
    expect(not os.path.exists(merged), "no start address: a merged file was written")
    fixed = os.path.join(folder, "fixed.hex")
    run("srec_cat", bare, "-intel", "-execution-start-address=0x08010009", "-o", fixed, "-intel")
    check_merge(cli, folder, "start-added", boot, fixed)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    tools = ["arm-none-eabi-as", "arm-none-eabi-ld", "arm-none-eabi-objcopy", "srec_cat", "srec_info"]
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing:
        packages = sorted({"srecord" if tool.startswith("srec_") else "binutils-arm-none-eabi" for tool in missing})
        return missing_package(" and ".join(packages), f"{', '.join(missing)} not installed")
    try:
        import intelhex  # noqa: F401
    except ImportError:
        return missing_package("python3-intelhex", "Python's intelhex is not installed")
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="orvane-toolchain-") as folder:
        boot = objcopy_hex(folder, "boot", 0x08000000, 0x08010000)
        check_merge(cli, folder, "objcopy-next-window", boot, objcopy_hex(folder, "app", 0x08010000, 0x08010000))
        check_merge(cli, folder, "objcopy-same-window", boot, objcopy_hex(folder, "near", 0x08004000, 0x08004000))
        check_merge(cli, folder, "srec-cat-next-window", srec_cat_hex(folder, "sboot", 0x08000000, 0x08010000),
                    srec_cat_hex(folder, "sapp", 0x08010000, 0x08010000))
        check_missing_start(cli, folder, boot)
    print(f"{len(failures)} failures" if failures else "OK")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
