"""Why the rig cannot run here (no QEMU, no kernel package): it then says so and passes."""


class Skip(Exception):
    pass
