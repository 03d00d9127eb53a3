# Sourced by the scripts that run Wine under another language: Wine takes the
# system's ANSI code page from LANG, and a locale the system lacks would
# leave it at its default. ensure_locale NAME makes NAME (ll_CC.UTF-8) when
# it is missing; it needs the "locales" package and root.
ensure_locale() {
  local name=$1 normalised
  normalised=$(printf '%s' "$name" | tr '[:upper:]' '[:lower:]' | tr -d '-')
  if locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | tr -d '-' | grep -qx "$normalised"; then
    return 0
  fi
  localedef -i "${name%%.*}" -f UTF-8 "$name" >/dev/null 2>&1
}
