#!/usr/bin/env bash
# Runs a Windows executable under Wine with the project's test settings.
# The prefix is per build tree unless WINEPREFIX is set.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX=${WINEPREFIX:-/tmp/corvello-wineprefix-$(id -u)}
exec wine "$@"
