#!/usr/bin/env bash
# A Firebird server for the tests of the server form, listening on 127.0.0.1 on a free port
# (a server already listening, on 3050 or elsewhere, is left alone), with its own lock
# directory, and SYSDBA's password "tesslorin" set in the system's security database, as
# root may do on a machine that runs the tests.
#
# The server uses Firebird's installed configuration: a private root directory (FIREBIRD)
# would leave the character sets of fbintl undefined. One such server at a time uses the
# security database: concurrent test runs wait for each other.
#
#   server_firebird.sh avvia DIR    starts it; the port is written to DIR/porta
#   server_firebird.sh ferma DIR    stops it
set -euo pipefail

azione=${1:?azione: avvia o ferma}
dir=${2:?directory del server}
blocco=/tmp/korva-server-firebird.lock
attesa=600  # seconds to wait for another test run's server

ferma() {
    if [ -f "$dir/pid" ]; then
        local pid
        pid=$(cat "$dir/pid")
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid"
            for _ in $(seq 100); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.05
            done
            kill -9 "$pid" 2>/dev/null || true
        fi
        rm -f "$dir/pid" "$dir/porta"
    fi
}

in_ascolto() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

if [ "$azione" = ferma ]; then
    ferma
    exit 0
fi
[ "$azione" = avvia ] || { echo "azione sconosciuta: $azione" >&2; exit 2; }

server=/usr/sbin/firebird
sicurezza=/var/lib/firebird/3.0/system/security3.fdb
if [ ! -x "$server" ] || ! command -v isql-fb >/dev/null || [ ! -f "$sicurezza" ]; then
    echo "server Firebird assente: installare firebird3.0-server e firebird3.0-utils (scripts/setup)" >&2
    exit 1
fi
if [ ! -w "$sicurezza" ]; then
    echo "il server di prova va avviato da root: $sicurezza non è scrivibile" >&2
    exit 1
fi

ferma
rm -rf "$dir"
mkdir -p "$dir/lock" "$dir/tmp"

porta=
for p in $(seq 30500 30999); do
    if ! in_ascolto "$p"; then porta=$p; break; fi
done
[ -n "$porta" ] || { echo "nessuna porta libera tra 30500 e 30999 su 127.0.0.1" >&2; exit 1; }

# A holder process takes the lock on the security database's use and keeps it while the
# server runs (the server itself closes the descriptors it inherits).
(
    exec 9>>"$blocco"
    if ! flock -w "$attesa" 9; then
        echo "un altro server Firebird di prova usa ancora $sicurezza (da più di $attesa s)" >&2
        exit 3
    fi
    export FIREBIRD_LOCK="$dir/lock" FIREBIRD_TMP="$dir/tmp" LANG=C
    if ! echo "CREATE OR ALTER USER SYSDBA PASSWORD 'tesslorin' USING PLUGIN Srp; COMMIT;" \
        | isql-fb -q -b -user SYSDBA "$sicurezza" >&2; then
        echo "impossibile impostare la password di SYSDBA in $sicurezza: se il servizio" \
             "Firebird del sistema è attivo e lo tiene aperto, fermarlo" \
             "(systemctl stop firebird3.0) per la durata dei test" >&2
        exit 4
    fi
    "$server" -p "$porta" 9>&- &
    echo $! > "$dir/pid"
    wait $!
) > "$dir/server.log" 2>&1 &
titolare=$!

for _ in $(seq $((attesa * 20 + 200))); do
    if [ -f "$dir/pid" ] && in_ascolto "$porta"; then
        echo "$porta" > "$dir/porta"
        echo "server Firebird di prova su 127.0.0.1:$porta (pid $(cat "$dir/pid"))"
        exit 0
    fi
    if ! kill -0 "$titolare" 2>/dev/null; then
        break
    fi
    sleep 0.05
done
echo "il server Firebird di prova non è partito sulla porta $porta:" >&2
cat "$dir/server.log" >&2 || true
ferma
exit 1
