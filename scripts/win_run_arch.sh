#!/usr/bin/env bash
# Prints the Windows architecture whose programs this machine runs under wine: i686 where the kernel runs 32-bit
# programs (wine32), x86_64 where its 32-bit emulation is off (booted without ia32_emulation): there the Windows
# suites, the demo and the benchmark run a 64-bit build of the same sources under wine64, and the shipped
# 32-bit installer is built and checked without being run.
loader=/lib/i386-linux-gnu/ld-linux.so.2
if [ -e "$loader" ] && "$loader" --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
