#!/bin/sh
# Runs a Windows test program under Wine: the command that CTest and gtest_discover_tests put in
# front of each test of a build made with x86_64-w64-mingw32.cmake, which runs it as
#   env WINEPREFIX=... NEST_WINE=... NEST_WINESERVER=... sh wine-run.sh PROGRAM.exe ARGS...
# Standard input, standard output, standard error and the exit status are the program's.
#
# Wine's first program in a session starts a Wine server and the Windows services, and these
# inherit that program's standard streams: a caller that waits for the end of the program's
# output (CTest, execute_process, Ninja) would then wait until they exit, three seconds after
# the last Windows program, or for ever if the server is made to stay. So a session is started
# here first, by a server and a wineboot whose streams are /dev/null, and is kept for
# NEST_WINE_LINGER seconds (60 by default) after the last Windows program ends: the tests then
# start in some 30 ms each instead of a few seconds. The first use of a new prefix also creates
# it (several seconds, with notices that would otherwise reach the test's standard error). A
# lock keeps two tests that start at once from both doing this.

wine=${NEST_WINE:-wine}
wineserver=${NEST_WINESERVER:-wineserver}
linger=${NEST_WINE_LINGER:-60}

WINEDEBUG=-all                    # no diagnostics on standard error
WINEDLLOVERRIDES=mscoree,mshtml=  # no Mono or Gecko, and so no offer to install them
export WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY     # no window, whatever the caller's desktop

prefix=${WINEPREFIX:-${HOME:-/tmp}/.wine}
lock=${TMPDIR:-/tmp}/nest-wine-$(id -u)-$(printf '%s' "$prefix" | cksum | cut -d ' ' -f 1).lock

(
  flock 9
  mkdir -p "$prefix"  # the server needs the folder; Wine fills it on its first start
  # Starts a server unless one runs for this prefix already (then it exits with status 2).
  if "$wineserver" "-p$linger" < /dev/null > /dev/null 2>&1 9>&-; then
    "$wine" wineboot < /dev/null > /dev/null 2>&1 9>&-
  fi
) 9> "$lock"

exec "$wine" "$@"
