#!/usr/bin/env bash
# Runs a Windows executable under Wine the way the tests and the README expect: ANSI code
# page 936 (zh_CN.UTF-8 gives it; LANG alone leaves Wine at 1252), a quiet first start,
# and the caller's exit status.
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
