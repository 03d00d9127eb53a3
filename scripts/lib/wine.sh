# Sourced by every script that runs a Windows program under Wine. use_wine
# exports the settings each run needs — the project's own prefix (or the one
# ILHOME_WINEPREFIX names), no debug output, no Mono or Gecko prompts — and
# creates the prefix on first use.
use_wine() {
  export WINEPREFIX="${ILHOME_WINEPREFIX:-${HOME:-/root}/.cache/ilhome-wine}"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}
