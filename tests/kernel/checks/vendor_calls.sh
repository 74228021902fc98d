#!/bin/sh
# The Linux vendor library's calls on the driver's tree (tests/kernel/vendor_calls_test.cpp).
exec "$KERNEL_BUILD_DIR/tests/kernel/kernel_vendor_calls_test"
