# Sourced by the scripts that show or time a disk through NBD on this
# machine: serve_loopback MAP FOLDER starts delvora-serve for the device map
# on a free loopback port and waits until it accepts connections (at most
# 10 s); sets serve_port and serve_pid (the launcher). The server's messages
# go to $serve_log (default: /dev/null). stop_loopback stops it again.
serve_loopback() {
    local map=$1 folder=$2 here attempt
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    # Another program may take the port before nbdkit listens on it: the
    # launcher then ends at once, and another port is tried (three in all).
    for attempt in 1 2 3; do
        serve_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        rm -f "$folder/nbdkit.pid"
        bash "$here/delvora-serve" --devices "$map" --address 127.0.0.1 --port "$serve_port" \
            --pid-file "$folder/nbdkit.pid" 2>>"${serve_log:-/dev/null}" &
        serve_pid=$!
        for _ in $(seq 100); do
            [ -s "$folder/nbdkit.pid" ] && return 0
            kill -0 "$serve_pid" 2>/dev/null || break
            sleep 0.1
        done
        stop_loopback
    done
    echo "delvora-serve did not start" >&2
    return 1
}

stop_loopback() {
    [ -z "${serve_pid:-}" ] || { kill "$serve_pid" 2>/dev/null || true; wait "$serve_pid" 2>/dev/null || true; }
    serve_pid=""
}
