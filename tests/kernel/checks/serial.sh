#!/bin/sh
# The serial library over both converters' data paths and QEMU's trace of
# what reached the chip (tests/kernel/serial_test.cpp).
KERNEL_TRACE=$KERNEL_RESULTS_DIR/qemu-trace.log \
  exec "$KERNEL_BUILD_DIR/tests/kernel/kernel_serial_test" --gtest_filter=-KernelIdlePort.*
