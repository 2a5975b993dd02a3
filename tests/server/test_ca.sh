#!/usr/bin/env bash
# A certificate authority for one test run, trusted by the system store (and so by WinInet under Wine).
#   test_ca.sh make DIR    DIR/ca.crt, DIR/server.crt, DIR/server.key for localhost and 127.0.0.1;
#                          the CA is installed into the system store and its key deleted
#   test_ca.sh remove DIR  takes that run's CA out of the system store again
# Each folder gets its own anchor name, so runs side by side do not remove each other's CA.
set -euo pipefail
dir="${2:?usage: $0 make|remove DIR}"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
anchor="/usr/local/share/ca-certificates/vardenhal-test-$(printf '%s' "$dir" | md5sum | cut -c1-12).crt"
# update-ca-certificates builds the bundle in one fixed temporary file: two runs at once would
# write it together. The bundle is then moved into place whole, so readers never see half of one.
UpdateStore() {
    flock /tmp/vardenhal-test-ca.lock update-ca-certificates >/dev/null 2>&1
}
case "${1:-}" in
make)
    cd "$dir"
    rm -f ca.key ca.crt server.key server.csr server.crt ca.srl
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout ca.key -out ca.crt \
        -subj "/CN=Vardenhal test CA $(date +%s)-$$" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nkeyUsage=digitalSignature,keyEncipherment\n' >server.ext
    openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -sha256 \
        -extfile server.ext -out server.crt 2>/dev/null
    rm -f ca.key ca.srl server.csr server.ext
    install -m 644 ca.crt "$anchor"
    UpdateStore
    ;;
remove)
    if [ -e "$anchor" ]; then
        rm -f "$anchor"
        UpdateStore || true
    fi
    ;;
*)
    echo "usage: $0 make|remove DIR" >&2
    exit 2
    ;;
esac
