# Sourced by the scripts: a Wine prefix of the project's own, started once, and a virtual
# display for the window when the session has none.
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-brennic}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== preparing the Wine prefix $WINEPREFIX (first start only)"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
