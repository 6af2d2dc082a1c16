"""The driver rig: Orvane's serial layer through the Linux kernel's own serial drivers in a
small QEMU guest. The entry is tests/hardware/driver_rig."""
