# A tour of every screen, driven from the keyboard as an operator would, with a picture of
# each window (its frame and title bar included). Used by scripts/demo and scripts/screenshots.
# Needs a running X server with a window manager ($DISPLAY), xdotool and ImageMagick.
# shellcheck shell=bash

# tour PROGRAM WORKDIR OUTDIR PREFIX POLL_SECONDS
# WORKDIR holds com1 (the simulated terminal) and portacom. Pictures: OUTDIR/PREFIX<screen>.png
# for main, message, polling, programming, programming-after, clock, viewer and info.
tour() {
    local program=$1 work=$2 out=$3 prefix=$4 pollSeconds=$5
    local app main
    mkdir -p "$out"
    # The windows' titles and the menu's keys in the program's language (LANGUAGE=en: English).
    local -A in
    if [ "${LANGUAGE:-}" = en ]; then
        in=([polling]="^Downloading to file" [programming]="^Terminal Programming$"
            [clock]="^Date/Time$" [viewer]="bytes in total|^View Data$" [info]="^About$"
            [viewerKey]=v [infoKey]=a)
    else
        in=([polling]="^Scarico dati su File" [programming]="^Programmazione$"
            [clock]="^Data/Ora$" [viewer]="Bytes totali|^Visualizza dati$" [info]="^Informazioni$"
            [viewerKey]=d [infoKey]=i)
    fi

    start_program() {
        (cd "$work" && exec "$program") &
        app=$!
        main=$(await_window "PDT --> COM")
        [ -n "$main" ] || { echo "tour: the main window did not appear" >&2; return 1; }
        xdotool windowactivate --sync "$main" 2>/dev/null || true
        sleep 0.5
    }
    stop_program() {
        kill "$app" 2>/dev/null
        wait "$app" 2>/dev/null || true
    }

    # The main window, having counted the terminal's records ("Record in Memoria"), and the
    # message box that gives the count.
    start_program || return 1
    press_in_tab_order "$main" 3 # "Record in Memoria"
    local box
    box=$(await_window "^Corvane$")
    shoot "$box" "$out/${prefix}message.png"
    xdotool key Return; await_gone "$box"
    shoot "$main" "$out/${prefix}main.png"

    # The polling screen from the File menu, after it has fetched records for a while.
    xdotool key alt+f; sleep 0.5; xdotool key p
    local poll
    poll=$(await_window "${in[polling]}")
    sleep "$pollSeconds"
    shoot "$poll" "$out/${prefix}polling.png"
    stop_program

    # Preferenze: the terminator set to CR ("CR" is the second button: Tab, Space; Enter
    # answers Yes, Enter again closes "Operazione effettuata"), then the screen opened again
    # shows CR from the terminal's next status reply. Shift+Tab reaches "Data / Ora".
    start_program || return 1
    xdotool key alt+f; sleep 0.5; xdotool key r
    local prog
    prog=$(await_window "${in[programming]}")
    shoot "$prog" "$out/${prefix}programming.png"
    xdotool key Tab space; sleep 0.5; xdotool key Return; sleep 2.5; xdotool key Return
    sleep 0.5; xdotool key Escape; await_gone "$prog"
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    xdotool key alt+f; sleep 0.5; xdotool key r
    prog=$(await_window "${in[programming]}")
    shoot "$prog" "$out/${prefix}programming-after.png"
    xdotool key shift+Tab space
    local clock
    clock=$(await_window "${in[clock]}")
    sleep 0.5
    shoot "$clock" "$out/${prefix}clock.png"
    xdotool key Escape; await_gone "$clock"
    xdotool key Escape; await_gone "$prog"

    # The viewer on the poll file written above (Enter opens the chosen file).
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    xdotool key alt+f; sleep 0.5; xdotool key "${in[viewerKey]}"
    local viewer
    viewer=$(await_window "${in[viewer]}")
    xdotool key Return; sleep 1
    shoot "$viewer" "$out/${prefix}viewer.png"
    xdotool key Escape; await_gone "$viewer"

    # The information box from the "?" menu.
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    xdotool key alt+f; sleep 0.5; xdotool key Right; sleep 0.5; xdotool key "${in[infoKey]}"
    local info
    info=$(await_window "${in[info]}")
    sleep 0.5
    shoot "$info" "$out/${prefix}info.png"
    xdotool key Escape
    stop_program
}

# tour_under_xvfb SCREEN PROGRAM WORKDIR OUTDIR PREFIX POLL_SECONDS: the tour on a new Xvfb
# screen of SCREEN (WIDTHxHEIGHT) with openbox as its window manager.
tour_under_xvfb() {
    local screen=$1
    shift
    # The quoted script is bash -c's own and expands its arguments itself.
    # shellcheck disable=SC2016
    xvfb-run -a -s "-screen 0 ${screen}x24" bash -c '
        source "$1"
        shift
        openbox >/dev/null 2>&1 &
        sleep 1
        tour "$@"
    ' _ "${BASH_SOURCE[0]}" "$@"
}

# await_window REGEX: the id of the first visible window whose title matches, within 20 s.
await_window() {
    local id=""
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
        [ -n "$id" ] && break
        sleep 0.2
    done
    [ -n "$id" ] || echo "tour: no window titled '$1'" >&2
    echo "$id"
}

await_gone() {
    for _ in $(seq 50); do
        xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
        xwininfo -id "$1" 2>/dev/null | grep -q "IsViewable" || return 0
        sleep 0.2
    done
}

# press_in_tab_order WINDOW STEPS: presses the control STEPS Tabs from the window's first
# focus. xdotool cannot see a control's accessible name, so buttons are reached by place.
press_in_tab_order() {
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    for _ in $(seq "$2"); do xdotool key Tab; done
    xdotool key space
}

# shoot WINDOW FILE: the window with its frame and title bar, once it is raised and painted.
shoot() {
    [ -n "$1" ] || return 1
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    sleep 0.7
    import -window "$1" -frame "$2"
}
