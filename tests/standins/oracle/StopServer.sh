#!/usr/bin/env bash
# Stops the stand-in servers StartServer.sh started in WORKDIR.
# usage: StopServer.sh WORKDIR
work=$1
for pidfile in "$work/server.pid" "$work/server7.pid"; do
  if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
done
exit 0
