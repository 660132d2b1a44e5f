# An FTP server folder in a panel (ksable-probe ftp: connect, log in, list, fill the panel, one
# process as curl is) against curl fetching the same folder's listing, on pyftpdlib over the
# loopback address: a folder of 10,000 entries, and connecting to a folder of 20.
ftp_root="$KS_BENCH_DIR/ftp"
mkdir -p "$ftp_root/big" "$ftp_root/small"
(cd "$ftp_root/big" && seq -f "file-%06g.txt" 1 10000 | xargs touch)
(cd "$ftp_root/small" && seq -f "note-%02g.txt" 1 20 | xargs touch)
ftp_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$ftp_port" -d "$ftp_root" >"$KS_BENCH_DIR/ftp.log" 2>&1 &
ftp_pid=$!
for _ in $(seq 1 100); do
    curl -s "ftp://127.0.0.1:$ftp_port/small/" >/dev/null 2>&1 && break
    sleep 0.1
done
measure "list an FTP folder of 10,000 entries vs curl" 7 \
    '"$KS_BIN/ksable-probe" ftp "ftp://127.0.0.1:$ftp_port/big/"' 'curl -s "ftp://127.0.0.1:$ftp_port/big/"'
measure "connect, log in, first listing vs curl" 15 \
    '"$KS_BIN/ksable-probe" ftp "ftp://127.0.0.1:$ftp_port/small/"' 'curl -s "ftp://127.0.0.1:$ftp_port/small/"'
kill "$ftp_pid" 2>/dev/null || true
wait "$ftp_pid" 2>/dev/null || true
rm -rf "$ftp_root"
