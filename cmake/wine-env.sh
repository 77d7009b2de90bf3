# Sourced: the environment of every Wine run, and the template prefix that
# each run copies (made once; 12-20 s).
# KESTREL_WINE_LOCALE chooses the locale: ja_JP.UTF-8 (code page 932, Japanese
# texts) unless a run asks for another, such as en_US.UTF-8 (1252, English).
export LC_ALL=${KESTREL_WINE_LOCALE:-ja_JP.UTF-8}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
: "${KESTREL_WINE_TEMPLATE:=${XDG_CACHE_HOME:-$HOME/.cache}/kestrel/wine-template-$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')}"
export KESTREL_WINE_TEMPLATE

kestrel_wine_template() {
  [ -f "$KESTREL_WINE_TEMPLATE/.ready" ] && return 0
  mkdir -p "$(dirname "$KESTREL_WINE_TEMPLATE")"
  (
    flock 9
    [ -f "$KESTREL_WINE_TEMPLATE/.ready" ] && exit 0
    echo "wine: preparing the template prefix $KESTREL_WINE_TEMPLATE"
    rm -rf "$KESTREL_WINE_TEMPLATE"
    export WINEPREFIX=$KESTREL_WINE_TEMPLATE
    wineboot -i >/dev/null 2>&1 || { echo "wine: wineboot failed"; exit 1; }
    # No window manager runs under Xvfb: unmanaged windows close at once.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crash ends the program instead of waiting for a click.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$KESTREL_WINE_TEMPLATE/.ready"
  ) 9>"$KESTREL_WINE_TEMPLATE.lock"
}
