# Wine and Xvfb for running the Windows build; source this file, then call
#   vantry_wine_env      export WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES (nothing else)
#   vantry_wine_prefix   create or update the project's Wine prefix (once; later calls are instant)
#   vantry_wine_start    start Xvfb on a display of our own and a persistent wineserver
#   vantry_wine_stop     stop what vantry_wine_start started (and nothing else)
# The prefix lives in ${XDG_CACHE_HOME:-~/.cache}/vantry/wineprefix (VANTRY_WINEPREFIX overrides).
# It gets Wine's own Tahoma and Marlett fonts, which Debian's Wine does not load by itself, and a
# virtual desktop, without which windows under a bare Xvfb have no caption and every destroy of a
# top-level window stalls for seconds.

# Bump when the prefix set-up below changes, so existing prefixes are brought up to date.
vantry_wine_recipe=2

vantry_wine_env() {
    export WINEPREFIX=${VANTRY_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/vantry/wineprefix}
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No Mono or Gecko: nothing here needs them, and their install prompts would block.
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

vantry_wine_prefix() {
    vantry_wine_env
    local stamp="$WINEPREFIX/.vantry-stamp"
    local want; want="recipe=$vantry_wine_recipe wine=$(wine --version 2>/dev/null)"
    [[ -f $stamp && "$(cat "$stamp")" == "$want" ]] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        # One creator at a time; others wait here and then find the stamp.
        flock 8
        [[ -f $stamp && "$(cat "$stamp")" == "$want" ]] && exit 0
        echo "wine-env: preparing the Wine prefix $WINEPREFIX (once, about 20 s) ..." >&2
        wineboot --init </dev/null >/dev/null 2>&1
        wineserver -w
        local fonts="$WINEPREFIX/drive_c/windows/Fonts" font
        mkdir -p "$fonts"
        for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
            cp -f "/usr/share/wine/fonts/$font" "$fonts/" || { echo "wine-env: $font missing (package fonts-wine)" >&2; exit 1; }
        done
        # Tahoma has no CJK glyphs: the dialog's full-width stops (U+3002) need a linked fallback
        # font, as Windows links one to Tahoma. Wine takes the first font of the link list.
        local cjk_font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
        if [[ -f $cjk_font ]]; then
            cp -f "$cjk_font" "$fonts/"
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
                /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1
        else
            echo "wine-env: $cjk_font missing (package fonts-wqy-microhei): U+3002 will show as a box" >&2
        fi
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
        wineserver -w
        echo "$want" >"$stamp"
    ) 8>"$WINEPREFIX.lock"
}

vantry_xvfb_start() {
    local n
    for n in $(seq 91 140); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        vantry_xvfb_pid=$!
        local tries
        for tries in $(seq 50); do
            [[ -S /tmp/.X11-unix/X$n ]] && break
            kill -0 "$vantry_xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        if [[ -S /tmp/.X11-unix/X$n ]] && kill -0 "$vantry_xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
        kill "$vantry_xvfb_pid" 2>/dev/null || true   # lost a race for this display: try the next
        vantry_xvfb_pid=
    done
    echo "wine-env: could not start Xvfb" >&2
    return 1
}

vantry_wine_start() {
    vantry_wine_prefix
    vantry_xvfb_pid=
    vantry_wineserver_ours=no
    vantry_xvfb_start
    # A wineserver started by a test would hold ctest's output pipe and make ctest wait for it
    # after every test; one started here, persistent and detached from our output, does not.
    # It fails when a server for this prefix runs already (another user of the prefix): that one
    # serves us as well and is left alone at the end.
    if wineserver -p </dev/null >/dev/null 2>&1; then
        vantry_wineserver_ours=yes
    fi
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

vantry_wine_stop() {
    vantry_wine_env
    if [[ ${vantry_wineserver_ours:-no} == yes ]]; then
        wineserver -k 2>/dev/null || true
        vantry_wineserver_ours=no
    fi
    if [[ -n ${vantry_xvfb_pid:-} ]]; then
        kill "$vantry_xvfb_pid" 2>/dev/null || true
        wait "$vantry_xvfb_pid" 2>/dev/null || true
        vantry_xvfb_pid=
    fi
}
