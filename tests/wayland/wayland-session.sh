# A private Wayland desktop for tests, sourced by the scripts beside it, run as
# an unprivileged user: a headless sway on the pixman renderer (no GPU, no input
# devices, no XWayland; sway refuses to run as root), or a whole desktop's
# compositor started headless with XWayland: GNOME Shell or KWin.
#   wl_session_start [SCALE [CONFIG]]  start sway, with its output at SCALE
#                             (default 1) and CONFIG's lines added to sway's
#                             configuration; HOME is $WL_DIR for sway's commands
#   wl_desktop_start DESKTOP SCALE    start gnome or kwin on a 1120 x 860 screen
#                             (logical units) at SCALE, which may be a fraction;
#                             its clients get DISPLAY and the session bus too
#   wl_run CMD...             run a command as a client of it, as its user, with
#                             only the session's variables
#   wl_msg ARGS...            swaymsg to it
#   wl_window CLASS           on gnome and kwin: set win_title, win_frame (x y w h
#                             of the window with its decorations) and win_units
#                             (the compositor's units per logical pixel) from the
#                             window of that class; fails while there is none
#   wl_shot X Y W H FILE      on gnome and kwin: a PNG of that rectangle (in the
#                             compositor's units, after wl_window) at the
#                             screen's own pixels
#   wl_close CLASS            on gnome and kwin: ask that window to close
#   wl_session_stop           end it and remove its files (also on exit)
#   wl_check WHAT CMD...      count CMD's success, or say WHAT failed
#   wl_poll CMD...            run CMD every tenth of a second until it succeeds,
#                             for up to $WL_TIMEOUT seconds (default 60); a
#                             status of 3 from CMD means it never will
#   wl_summary                print "N passed, N failed"; fails if any failed
# As root the session runs as $VELMORA_WAYLAND_USER (default nobody); as any
# other user it runs as that user. Files the clients write go to $WL_DIR.
# wl_shot on kwin needs $WL_KWIN_SHOT, the path of the kwin-shot tool.

WL_DIR=""
wl_sway_pid=""
wl_desktop=""
wl_desktop_pid=""
wl_env=()

wl_passed=0
wl_failed=0

wl_fail() { echo "wayland-session: $*" >&2; return 1; }

wl_check() {
  local what=$1; shift
  if "$@"; then
    wl_passed=$((wl_passed + 1))
  else
    echo "FAILED: $what"
    wl_failed=$((wl_failed + 1))
  fi
}

wl_poll() {
  local deadline=$((SECONDS + ${WL_TIMEOUT:-60}))
  while true; do
    "$@"
    case $? in 0) return 0 ;; 3) return 1 ;; esac
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

wl_summary() {
  echo "$wl_passed passed, $wl_failed failed"
  [ "$wl_failed" -eq 0 ]
}

# The session's directory, its HOME and XDG_RUNTIME_DIR, owned by the user
# that runs it; wl_as is the command that becomes that user.
wl_dir_make() {
  local user
  WL_DIR=$(mktemp -d /tmp/velmora-wayland.XXXXXX) || return 1
  chmod 700 "$WL_DIR"
  # A script's own EXIT trap, which should call wl_session_stop, stays.
  [ -n "$(trap -p EXIT)" ] || trap wl_session_stop EXIT
  # A test stopped by its time limit still ends the session.
  trap 'exit 143' TERM INT
  wl_as=()
  if [ "$(id -u)" -eq 0 ]; then
    user=${VELMORA_WAYLAND_USER:-nobody}
    id "$user" >/dev/null 2>&1 || { wl_fail "no user $user to run the compositor as"; return 1; }
    chown "$user:" "$WL_DIR"
    wl_as=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups)
  fi
}

wl_session_start() {
  local scale=${1:-1} extra=${2:-}
  command -v sway >/dev/null || { wl_fail "sway is missing (scripts/install-deps.sh --test)"; return 1; }
  wl_dir_make || return 1
  wl_desktop=sway
  # Big enough for a 1024 x 768 window at every scale the tests use.
  cat >"$WL_DIR/config" <<EOF
output HEADLESS-1 resolution 2560x1600 position 0 0 scale $scale
xwayland disable
$extra
EOF
  "${wl_as[@]}" env -i PATH="$PATH" HOME="$WL_DIR" LANG=C.UTF-8 XDG_RUNTIME_DIR="$WL_DIR" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$WL_DIR/config" >"$WL_DIR/sway.log" 2>&1 &
  wl_sway_pid=$!
  WL_TIMEOUT=30 wl_poll wl_session_ready && return 0
  tail -n 20 "$WL_DIR/sway.log" >&2
  wl_fail "sway did not start (its log is above)"
}

# Succeeds once sway answers on its socket; 3 when sway has ended.
wl_session_ready() {
  WL_SOCK=$(ls "$WL_DIR"/sway-ipc.*.sock 2>/dev/null | head -n 1)
  WAYLAND_DISPLAY=$(cd "$WL_DIR" && ls wayland-[0-9] 2>/dev/null | head -n 1)
  if [ -n "$WL_SOCK" ] && [ -n "$WAYLAND_DISPLAY" ] && wl_msg -t get_outputs >/dev/null 2>&1; then
    return 0
  fi
  kill -0 "$wl_sway_pid" 2>/dev/null || return 3
  return 1
}

wl_run() {
  "${wl_as[@]}" env -i PATH="$PATH" HOME="$WL_DIR" LANG=C.UTF-8 XDG_RUNTIME_DIR="$WL_DIR" \
    WAYLAND_DISPLAY="$WAYLAND_DISPLAY" "${wl_env[@]}" "$@"
}

wl_msg() { swaymsg -s "$WL_SOCK" "$@"; }

wl_session_stop() {
  if [ -n "$wl_sway_pid" ]; then
    kill "$wl_sway_pid" 2>/dev/null
    wait "$wl_sway_pid" 2>/dev/null
    wl_sway_pid=""
  fi
  # A desktop runs in a process group of its own, with its buses, XWayland
  # and the services it started.
  if [ -n "$wl_desktop_pid" ]; then
    kill -- "-$wl_desktop_pid" 2>/dev/null
    wait "$wl_desktop_pid" 2>/dev/null
    kill -KILL -- "-$wl_desktop_pid" 2>/dev/null
    wl_desktop_pid=""
  fi
  wl_env=()
  [ -n "$WL_DIR" ] && rm -rf "$WL_DIR"
  WL_DIR=""
}

# The desktops. Their screen is 1120 x 860 logical pixels at every scale, room
# for a 1024 x 768 window and its title bar.
wl_desktop_start() {
  local desktop=$1 scale=$2 w h
  read -r w h < <(awk -v s="$scale" 'BEGIN { printf "%d %d\n", 1120 * s + 0.5, 860 * s + 0.5 }')
  case $desktop in
    gnome) command -v gnome-shell >/dev/null ||
             { wl_fail "gnome-shell is missing (scripts/install-deps.sh --test)"; return 1; } ;;
    kwin) command -v kwin_wayland >/dev/null ||
            { wl_fail "kwin_wayland is missing (scripts/install-deps.sh --test)"; return 1; } ;;
    *) wl_fail "no desktop called $desktop (gnome or kwin)"; return 1 ;;
  esac
  wl_dir_make || return 1
  wl_desktop=$desktop wl_scale=$scale
  # XWayland puts its sockets here, and can't make the directory as the user.
  [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; }
  "wl_${desktop}_start" "$scale" "$w" "$h" || {
    tail -n 20 "$WL_DIR/desktop.log" >&2
    wl_fail "$desktop did not start (the end of its log is above)"
    return 1
  }
}

# Runs the desktop's command line in a process group of its own, as the user.
wl_desktop_spawn() {
  setsid "${wl_as[@]}" env -i PATH="$PATH" HOME="$WL_DIR" LANG=C.UTF-8 XDG_RUNTIME_DIR="$WL_DIR" \
    "$@" >"$WL_DIR/desktop.log" 2>&1 &
  wl_desktop_pid=$!
}
wl_desktop_alive() { kill -0 "$wl_desktop_pid" 2>/dev/null; }

# D-Bus calls on the desktop's session bus, as its user.
wl_bus() { wl_run gdbus call --session --timeout 120 "$@"; }

# GNOME Shell in unsafe mode, which lets its Eval and screenshot calls answer a
# test. Its session bus is nested in a second one that stands in for the
# system bus, which the shell wants for logind. Fractional scales need mutter's
# scale-monitor-framebuffer; integer scales run as GNOME's defaults do,
# without it.
wl_gnome_start() {
  local scale=$1 w=$2 h=$3 settings=$WL_DIR/.config/glib-2.0/settings
  "${wl_as[@]}" mkdir -p "$settings"
  # No screen lock, which this session can't show and says so in a banner
  # across the top of the screen, and no banners over the windows at all.
  {
    printf '[org/gnome/desktop/screensaver]\nlock-enabled=false\n'
    printf '[org/gnome/desktop/notifications]\nshow-banners=false\n'
    case $scale in
      *.*) printf '[org/gnome/mutter]\nexperimental-features=["scale-monitor-framebuffer"]\n' ;;
    esac
  } | "${wl_as[@]}" tee "$settings/keyfile" >/dev/null
  wl_desktop_spawn GSETTINGS_BACKEND=keyfile dbus-run-session -- sh -c \
    'DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS exec dbus-run-session -- sh -c "echo \$DBUS_SESSION_BUS_ADDRESS >\$HOME/bus && exec gnome-shell --headless --wayland --unsafe-mode --virtual-monitor $0"' \
    "${w}x$h"
  WAYLAND_DISPLAY=wayland-0
  WL_TIMEOUT=60 wl_poll wl_gnome_ready || return 1
  wl_env=("DISPLAY=$(wl_eval 'GLib.getenv("DISPLAY")')" "XAUTHORITY=$(wl_eval 'GLib.getenv("XAUTHORITY")')"
          "DBUS_SESSION_BUS_ADDRESS=$(cat "$WL_DIR/bus")")
  # The shell starts in its overview; a desktop in use shows its windows.
  wl_eval 'Main.overview.hide()' >/dev/null
  [ "$scale" = 1 ] || wl_gnome_scale "$scale" || return 1
  [ "$(wl_eval 'global.display.get_monitor_scale(0)')" = "$scale" ] ||
    { wl_fail "the GNOME screen is not at scale $scale"; return 1; }
}
wl_gnome_ready() {
  [ -s "$WL_DIR/bus" ] && [ -S "$WL_DIR/wayland-0" ] || { wl_desktop_alive || return 3; return 1; }
  wl_env=("DBUS_SESSION_BUS_ADDRESS=$(cat "$WL_DIR/bus")")
  [ "$(wl_eval 'Main.layoutManager._startingUp')" = false ] && [ -n "$(wl_eval 'GLib.getenv("DISPLAY")')" ]
}
# JavaScript in the shell; prints its value (strings without quotes).
wl_eval() {
  local reply
  reply=$(wl_bus --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval \
            "const GLib = imports.gi.GLib; String($1)" 2>/dev/null) || return 1
  case $reply in "(true, "*) ;; *) return 1 ;; esac
  reply=${reply#"(true, '"}
  reply=${reply%"')"}
  reply=${reply#\"}
  echo "${reply%\"}"
}
# The virtual monitor at SCALE, through mutter's display configuration.
wl_gnome_scale() {
  local state serial mode
  state=$(wl_bus --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
            --method org.gnome.Mutter.DisplayConfig.GetCurrentState) || return 1
  serial=$(sed -n 's/^(uint32 \([0-9]*\),.*/\1/p' <<<"$state")
  mode=$(grep -o "('[0-9]*x[0-9]*@[0-9.]*'" <<<"$state" | head -n 1 | tr -d "('")
  wl_bus --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
    --method org.gnome.Mutter.DisplayConfig.ApplyMonitorsConfig "$serial" 1 \
    "[(0, 0, $1, 0, true, [('Meta-0', '$mode', @a{sv} {})])]" "@a{sv} {}" >/dev/null
}

# KWin, from a plain copy of its binary (the installed one has a file
# capability, which an unprivileged user's exec refuses here), trusting its
# clients with fake input and screenshots, and with Breeze's title bar and no
# other borders. It starts a stand-in session program, which tells the
# session's variables.
wl_kwin_start() {
  local scale=$1
  cp /usr/bin/kwin_wayland "$WL_DIR/kwin_wayland" && chmod 755 "$WL_DIR/kwin_wayland" || return 1
  "${wl_as[@]}" mkdir -p "$WL_DIR/.config"
  printf '[org.kde.kdecoration2]\nBorderSize=None\nBorderSizeAuto=false\nlibrary=org.kde.breeze\n' |
    "${wl_as[@]}" tee "$WL_DIR/.config/kwinrc" >/dev/null
  printf '#!/bin/sh\nenv >"$HOME/session.env.part" && mv "$HOME/session.env.part" "$HOME/session.env"\nexec sleep 86400\n' \
    >"$WL_DIR/session.sh"
  chmod 755 "$WL_DIR/session.sh"
  wl_desktop_spawn KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
    dbus-run-session -- "$WL_DIR/kwin_wayland" --virtual --xwayland --width 1120 --height 860 \
      --scale "$scale" --socket wayland-0 --exit-with-session "$WL_DIR/session.sh"
  WAYLAND_DISPLAY=wayland-0
  WL_TIMEOUT=60 wl_poll wl_kwin_ready
}
wl_kwin_ready() {
  [ -s "$WL_DIR/session.env" ] || { wl_desktop_alive || return 3; return 1; }
  local v
  wl_env=()
  for v in DISPLAY XAUTHORITY DBUS_SESSION_BUS_ADDRESS; do
    wl_env+=("$(grep "^$v=" "$WL_DIR/session.env")")
  done
}
# Runs a KWin script and prints what it printed (the lines it marks with its
# number, in KWin's log).
wl_kwin_script() {
  local name id
  # Named by the clock: callers run it in subshells, where no counter would last.
  name=velmora-test-$(date +%s%N)
  printf '%s\n' "function say(text) { print(\"$name: \" + text); }" "$1" "say('end');" >"$WL_DIR/$name.js"
  chmod 644 "$WL_DIR/$name.js"
  id=$(wl_bus --dest org.kde.KWin --object-path /Scripting --method org.kde.kwin.Scripting.loadScript \
         "$WL_DIR/$name.js" "$name" | tr -dc 0-9) || return 1
  wl_bus --dest org.kde.KWin --object-path "/$id" --method org.kde.kwin.Script.run >/dev/null || return 1
  wl_bus --dest org.kde.KWin --object-path /Scripting --method org.kde.kwin.Scripting.unloadScript \
    "$name" >/dev/null
  WL_TIMEOUT=10 wl_poll grep -q "^js: $name: end" "$WL_DIR/desktop.log" || return 1
  sed -n "/^js: $name: end/d; s/^js: $name: //p" "$WL_DIR/desktop.log"
}

wl_window() {
  local r
  case $wl_desktop in
    gnome) r=$(wl_eval "global.get_window_actors().map(a => a.meta_window)
                 .filter(w => w.get_wm_class() == '$1' && w.get_frame_rect().width > 1)
                 .map(w => { const f = w.get_frame_rect();
                             return [f.x, f.y, f.width, f.height, w.get_title()].join(' '); })[0]")
           # At integer scales (no scale-monitor-framebuffer) mutter's units are the screen's pixels.
           case $wl_scale in *.*) win_units=1 ;; *) win_units=$wl_scale ;; esac ;;
    kwin) r=$(wl_kwin_script "workspace.clientList().filter(c => c.resourceClass == '$1')
                .forEach(c => { const f = c.frameGeometry;
                                say([f.x, f.y, f.width, f.height, c.caption].join(' ')); });" | head -n 1)
          win_units=1 ;;
  esac
  [ -n "$r" ] && [ "$r" != undefined ] || return 1
  read -r x y w h win_title <<<"$r"
  win_frame="$x $y $w $h"
}

wl_shot() {
  local x=$1 y=$2 w=$3 h=$4 file=$5
  case $wl_desktop in
    # At fractional scales the shell's screenshots of an area come at one
    # pixel per logical pixel, and only those of the whole screen at its own
    # pixels: one of those, cut to the rectangle.
    gnome) case $wl_scale in *.*)
             wl_bus --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
               --method org.gnome.Shell.Screenshot.Screenshot false false "$WL_DIR/whole.png" >/dev/null &&
               convert "$WL_DIR/whole.png" -crop "$(awk -v s="$wl_scale" -v x="$x" -v y="$y" -v w="$w" -v h="$h" \
                 'BEGIN { printf "%dx%d+%d+%d", w * s + 0.5, h * s + 0.5, x * s + 0.5, y * s + 0.5 }')" +repage \
                 "$WL_DIR/shot.png" && cp "$WL_DIR/shot.png" "$file"
             return ;;
           esac
           # At whole scales they take logical pixels, which the shell scales
           # itself: a rectangle of them around the one asked for, cut to it.
           local u=$win_units x0 y0
           x0=$((x / u)) y0=$((y / u))
           wl_bus --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
             --method org.gnome.Shell.Screenshot.ScreenshotArea "$x0" "$y0" \
             "$(((x + w + u - 1) / u - x0))" "$(((y + h + u - 1) / u - y0))" false \
             "$WL_DIR/whole.png" >/dev/null &&
             convert "$WL_DIR/whole.png" -crop "${w}x$h+$((x - x0 * u))+$((y - y0 * u))" +repage \
               "$WL_DIR/shot.png" ;;
    kwin) wl_run "$WL_KWIN_SHOT" "$x" "$y" "$w" "$h" "$WL_DIR/shot.png" ;;
  esac && cp "$WL_DIR/shot.png" "$file"
}

wl_close() {
  case $wl_desktop in
    gnome) wl_eval "global.get_window_actors().map(a => a.meta_window)
             .filter(w => w.get_wm_class() == '$1')
             .forEach(w => w.delete(global.get_current_time())) || 'closed'" | grep -q closed ;;
    kwin) wl_kwin_script "workspace.clientList().filter(c => c.resourceClass == '$1')
            .forEach(c => { c.closeWindow(); say('closed'); });" | grep -q closed ;;
  esac
}
