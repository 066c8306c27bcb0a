#!/usr/bin/env bash
# Stops the stand-in server StartServer.sh started in WORKDIR.
# usage: StopServer.sh WORKDIR
work=$1
if [ -f "$work/server.pid" ]; then
  kill "$(cat "$work/server.pid")" 2>/dev/null || true
  rm -f "$work/server.pid"
fi
exit 0
