#!/usr/bin/env bash
# avr-gdb against a headless quill-host: the host runs gdb_session.scn with
# --gdb 0 and prints the port it listens on; two connections that are no
# debugger come and go first; then avr-gdb, in batch mode, stops
# at a breakpoint in tick(), continues to it again, prints a global, sets
# the global the program copies to PORTA and detaches; the scenario then
# checks PORTA and the LED on one of its pins.
# usage: gdb_session.sh HOST MODULE SCENARIO ELF WORKDIR
set -u
host=$1 module=$2 scenario=$3 elf=$4 work=$5
if ! command -v avr-gdb >/dev/null 2>&1; then
  echo "SKIPPED: avr-gdb is not installed (Debian package gdb-avr; scripts/install-deps.sh installs it)"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 2
QUILL_REGISTRY=$work/registry.reg QT_QPA_PLATFORM=offscreen \
  "$host" --headless --module "$module" --scenario "$scenario" --gdb 0 --time-limit 100 \
  >host.out 2>host.err &
pid=$!
port=
for _ in $(seq 1 600); do
  port=$(sed -n 's/^quill-host: GDB server listening on port \([0-9]*\)$/\1/p' host.out)
  [[ -n $port ]] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $port ]]; then
  echo "FAIL: quill-host did not report a GDB port"; cat host.out host.err; kill "$pid" 2>/dev/null
  exit 1
fi
# A bare connection first (a port scanner: connect, say nothing, close),
# then one that sends something other than the protocol: neither is a
# debugger, so the scenario's wait goes on until avr-gdb has been there.
exec 3<>"/dev/tcp/127.0.0.1/$port" && exec 3<&- 3>&-
sleep 0.3
exec 3<>"/dev/tcp/127.0.0.1/$port" && printf 'GET / HTTP/1.0\r\n\r\n' >&3 && exec 3<&- 3>&-
sleep 0.3
timeout 60 avr-gdb -nx -batch \
  -ex "target remote 127.0.0.1:$port" \
  -ex "break tick" -ex "continue" -ex "continue" \
  -ex "print counter" -ex "print/x pattern" \
  -ex "set var pattern = 0x5a" -ex "print/x pattern" \
  -ex "info registers pc" -ex "detach" \
  "$elf" >gdb.out 2>&1
gdb_status=$?
wait "$pid"
host_status=$?
echo "--- avr-gdb (exit $gdb_status)"; cat gdb.out
echo "--- quill-host (exit $host_status)"; cat host.out host.err
fail=0
check() {
  if ! grep -q -- "$1" gdb.out; then echo "FAIL: avr-gdb did not print: $1"; fail=1; fi
}
check "Breakpoint 1, tick () at .*debug_demo.c:18"
check '^\$1 = 1 '
check '^\$2 = 0x1$'
check '^\$3 = 0x5a$'
check "detached\]"
[[ $gdb_status -eq 0 ]] || { echo "FAIL: avr-gdb exited with $gdb_status"; fail=1; }
[[ $host_status -eq 0 ]] || { echo "FAIL: quill-host exited with $host_status"; fail=1; }
exit $fail
