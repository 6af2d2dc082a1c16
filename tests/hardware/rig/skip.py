"""Why the rig cannot run here (no QEMU, no kernel package): it then says so and passes, unless
what is missing is a package scripts/install-deps --test installs and CI=true
(tests/support/missing_package.py)."""


class Skip(Exception):
    def __init__(self, why, package=None):
        super().__init__(why)
        self.package = package
