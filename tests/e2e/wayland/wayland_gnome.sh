#!/usr/bin/env bash
# teclix on GNOME: headless mutter with Xwayland and a Spanish layout on its seat,
# the desktop portal with its GNOME backend, GTK entries (zenity) as targets, the
# X11 clipboard, each paste asked for with "teclix --paste". The portal's dialog is
# answered by keys, as a person would. On GNOME 48 (Debian 13) later runs restore
# the session with the portal's token and ask nothing; GNOME 43 (Debian 12, portal
# version 1) asks on every run.

# shellcheck source=gnome.sh
source "$(dirname "$0")/gnome.sh"
WL_NAME=gnome
TOKEN=$WL_DIR/home/.local/state/teclix/restore-token

start_gnome es
start_wayland_teclix
answer_dialog 0
if wait_until 20 teclix_ready; then pass gnome/dialog_answered; else
  die "the portal's session did not start: $(cat "$TECLIX_ERR")"
fi
stop_hands

# The layout's characters exact, the Spanish ones through their dead keys; what the
# layout has no key for left out, none garbled.
entry_case ascii "The Quick Brown Fox, jumps over: \"lazy\" dog's #1 (test) [a-z] {x} <y> ~/path?&=%\$@!^*_+|;\` C:\\dir" \
  "The Quick Brown Fox, jumps over: \"lazy\" dog's #1 (test) [a-z] {x} <y> ~/path?&=%\$@!^*_+|;\` C:\\dir"
entry_case spanish "¿Qué pingüino añoró el señor Ñúñez? ¡Él, à la carte! ç €5 ºª·¬" \
  "¿Qué pingüino añoró el señor Ñúñez? ¡Él, à la carte! ç €5 ºª·¬"
entry_case outside "año Жж ΩZ fin" "año  ΩZ fin"
# An entry busy for 3 s as the paste begins keeps its window and the whole text.
busy=$(head -c 3000 /dev/urandom | tr -dc 'A-Za-z0-9 .,;:!?()/@#%+=-' | head -c 1000)
ENTRY_BUSY=3 entry_case busy_1000 "$busy" "$busy"
if [ -z "$WL_ROOT" ]; then
  finish
  exit
fi

[ -s "$TOKEN" ] && pass gnome/token_kept || fail "gnome/token_kept: no restore token"

# The next run restores the session with the token and asks nothing; its seat has
# no keyboard until the session's first key (the person's hands are gone), and the
# first paste is exact all the same.
stop_pid "$TECLIX_PID"
: >"$TECLIX_ERR"
start_wayland_teclix
if wait_until 20 teclix_ready; then pass gnome/token_restores_without_dialog; else
  fail "gnome/token_restores_without_dialog: $(cat "$TECLIX_ERR")"
fi
entry_case first_paste_after_restore "Primera: ñ ok" "Primera: ñ ok"

# A token the portal will not take is dropped, and the session asked for anew.
stop_pid "$TECLIX_PID"
: >"$TECLIX_ERR"
printf 'not-a-uuid\n' >"$TOKEN"
shown=$(dialogs_shown)
start_wayland_teclix
answer_dialog "$shown"
if wait_until 20 teclix_ready; then pass gnome/rejected_token_asks_again; else
  fail "gnome/rejected_token_asks_again: $(cat "$TECLIX_ERR")"
fi
stop_hands
grep -qv not-a-uuid "$TOKEN" && pass gnome/rejected_token_replaced ||
  fail "gnome/rejected_token_replaced: $(cat "$TOKEN")"
entry_case after_new_token "abc XYZ" "abc XYZ"

finish
