#!/usr/bin/env bash
# Starts a stand-in server on a free port with a fresh database in WORKDIR, and a second one
# whose banner names an Oracle7 server, and writes WORKDIR/tnsnames.ora with the aliases the
# client tests use.
# usage: StartServer.sh SERVER_PROGRAM WORKDIR
set -euo pipefail
server=$1
work=$2
mkdir -p "$work"
for pidfile in "$work/server.pid" "$work/server7.pid"; do
  if [ -f "$pidfile" ]; then kill "$(cat "$pidfile")" 2>/dev/null || true; fi
done
rm -f "$work"/standin.db* "$work"/standin7.db* "$work/port" "$work/port7" "$work/server.pid" "$work/server7.pid"
# start NAME DATABASE PORTFILE ARGS...: runs a server in the background and waits for its port.
start() {
  local name=$1 db=$2 portfile=$3
  shift 3
  setsid "$server" "$db" 0 --port-file "$portfile" "$@" </dev/null >"$work/$name.log" 2>&1 &
  echo $! >"$work/$name.pid"
  for _ in $(seq 1 100); do
    [ -s "$portfile" ] && break
    sleep 0.05
  done
  [ -s "$portfile" ] || { echo "$name did not start"; cat "$work/$name.log"; exit 1; }
}
# Hooks act on every session of their user, and the client's tests run beside the Oracle
# layer's: each side fails the calls of a user of its own (CLIENT_HOOKED, HOOKED).
start server "$work/standin.db" "$work/port" \
  --user SCOTT/TIGER --user SYSTEM/MANAGER --user HOOKED/HOOKED --user CLIENT_HOOKED/HOOKED --user LATE/LATE \
  --user SYS/CHANGE_ON_INSTALL/SYSDBA
start server7 "$work/standin7.db" "$work/port7" --user SCOTT/TIGER \
  --banner "Oracle7 Server Release 7.3.4.0.0 - Production"
port=$(cat "$work/port")
port7=$(cat "$work/port7")
cat >"$work/tnsnames.ora" <<TNS
# Written by the test fixture.
SETRIX_TEST, SETRIX_ALT.WORLD =
  (DESCRIPTION =
    (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = $port))
    (CONNECT_DATA = (SERVICE_NAME = SETRIX)))
SETRIX_QUICK = (DESCRIPTION = (CONNECT_TIMEOUT = 1)
    (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = $port))
    (CONNECT_DATA = (SID = SETRIX)))
SETRIX_SEVEN = (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = $port7))
    (CONNECT_DATA = (SERVICE_NAME = SETRIX)))
SETRIX_NOLISTENER = (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = 1))
    (CONNECT_DATA = (SERVICE_NAME = SETRIX)))
TNS
echo "stand-in servers on ports $port and $port7"
