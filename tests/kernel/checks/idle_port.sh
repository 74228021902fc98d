#!/bin/sh
# An open port with nothing to do on the real tty: the CPU it takes in 10 s.
exec "$KERNEL_BUILD_DIR/tests/kernel/kernel_serial_test" --gtest_filter=KernelIdlePort.*
