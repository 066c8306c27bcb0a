#!/usr/bin/env bash
# Starts a stand-in server on a free port with a fresh database in WORKDIR and writes
# WORKDIR/tnsnames.ora with the aliases the client tests use.
# usage: StartServer.sh SERVER_PROGRAM WORKDIR
set -euo pipefail
server=$1
work=$2
mkdir -p "$work"
if [ -f "$work/server.pid" ]; then kill "$(cat "$work/server.pid")" 2>/dev/null || true; fi
rm -f "$work"/standin.db* "$work/port" "$work/server.pid"
setsid "$server" "$work/standin.db" 0 --port-file "$work/port" \
  --user SCOTT/TIGER --user SYSTEM/MANAGER --user HOOKED/HOOKED --user LATE/LATE \
  --user SYS/CHANGE_ON_INSTALL/SYSDBA \
  </dev/null >"$work/server.log" 2>&1 &
echo $! >"$work/server.pid"
for _ in $(seq 1 100); do
  [ -s "$work/port" ] && break
  sleep 0.05
done
[ -s "$work/port" ] || { echo "server did not start"; cat "$work/server.log"; exit 1; }
port=$(cat "$work/port")
cat >"$work/tnsnames.ora" <<TNS
# Written by the test fixture.
SETRIX_TEST, SETRIX_ALT.WORLD =
  (DESCRIPTION =
    (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = $port))
    (CONNECT_DATA = (SERVICE_NAME = SETRIX)))
SETRIX_QUICK = (DESCRIPTION = (CONNECT_TIMEOUT = 1)
    (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = $port))
    (CONNECT_DATA = (SID = SETRIX)))
SETRIX_NOLISTENER = (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = 1))
    (CONNECT_DATA = (SERVICE_NAME = SETRIX)))
TNS
echo "stand-in server on port $port"
