#!/usr/bin/env bash
# A private PostgreSQL 15 server for the tests.
#
#   scripts/pg-cluster.sh start DIR   makes a cluster in DIR (a new or empty
#                                     folder), starts it and prints the URI of
#                                     its test database
#   scripts/pg-cluster.sh stop DIR    stops the cluster in DIR
#
# The server listens on a Unix socket in DIR only (no TCP) and trusts every
# local connection: DIR itself (mode 0700) is what keeps other accounts out.
# The server never runs as root: root runs it as the system user dorsanti-pg,
# made on first use; another user runs it as themselves. Every program started
# here has a time limit.
set -euo pipefail

bin=${PG_BIN:-/usr/lib/postgresql/15/bin}
database=dorsanti_test
role=dorsanti
sysuser=dorsanti-pg

die() {
    echo "pg-cluster.sh: $*" >&2
    exit 1
}

[ $# -eq 2 ] || die "usage: pg-cluster.sh start|stop DIR"
action=$1
dir=$2
case "$dir" in
    /*) ;;
    *) dir="$PWD/$dir" ;;
esac
# The folder goes into a URI and a socket address as it is: plain characters
# only, and short enough for the socket's 107 bytes.
[[ "$dir" =~ ^[A-Za-z0-9/._-]+$ ]] || die "$dir: use a folder name of letters, digits, '.', '_', '-'"
[ ${#dir} -le 80 ] || die "$dir: the folder's path is too long for a socket"
[ -x "$bin/postgres" ] || die "$bin/postgres not found: run scripts/install-deps.sh"

root=false
[ "$EUID" -eq 0 ] && root=true

# Runs a program as the cluster's owner, killed after $1 seconds.
as_owner() {
    local limit=$1
    shift
    if $root; then
        timeout -k 5 "$limit" runuser -u "$sysuser" -- "$@"
    else
        timeout -k 5 "$limit" "$@"
    fi
}

start() {
    if [ -L "$dir" ]; then
        die "$dir is a symbolic link"
    elif [ -e "$dir" ]; then
        [ -d "$dir" ] || die "$dir is not a folder"
        [ -O "$dir" ] || die "$dir belongs to another user"
        local entries
        entries=$(shopt -s nullglob dotglob && echo "$dir"/*)
        [ -z "$entries" ] || die "$dir is not empty"
        chmod 700 -- "$dir"
    else
        mkdir -m 700 -- "$dir"
    fi
    if $root; then
        if ! timeout 10 getent passwd "$sysuser" >/dev/null; then
            timeout 30 useradd --system --user-group --no-create-home \
                --home-dir /nonexistent --shell /usr/sbin/nologin "$sysuser"
        fi
        chown "$sysuser:" -- "$dir"
        as_owner 10 test -w "$dir" ||
            die "$sysuser cannot reach $dir: choose a folder whose parents it may enter"
    fi

    local out
    out=$(as_owner 120 "$bin/initdb" -D "$dir/data" -U "$role" -E UTF8 --locale=C.UTF-8 \
        --auth-local=trust --auth-host=reject --no-instructions 2>&1) ||
        die "initdb failed: ${out##*$'\n'}"
    # A test cluster: its data is thrown away, so it need not survive a crash.
    cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
unix_socket_permissions = 0700
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
    as_owner 90 "$bin/pg_ctl" -D "$dir/data" -l "$dir/postgres.log" -w -t 60 start >/dev/null ||
        die "the server did not start (see $dir/postgres.log)"
    if ! as_owner 30 "$bin/createdb" -h "$dir" -U "$role" "$database"; then
        stop
        die "could not make the database $database"
    fi
    echo "postgresql:///$database?host=$dir&user=$role"
}

stop() {
    [ ! -L "$dir" ] || die "$dir is a symbolic link"
    [ -f "$dir/data/postmaster.pid" ] || return 0
    as_owner 40 "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null ||
        as_owner 20 "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 10 stop >/dev/null ||
        die "the server in $dir did not stop"
}

case "$action" in
    start) start ;;
    stop) stop ;;
    *) die "usage: pg-cluster.sh start|stop DIR" ;;
esac
