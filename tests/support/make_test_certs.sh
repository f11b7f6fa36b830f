#!/usr/bin/env bash
# Makes, in folder $1, a certificate authority for the tests (ca.pem) with a
# server certificate for 127.0.0.1 (server.pem, server.key), and a server
# certificate of another authority (rogue.pem, rogue.key). Nothing is kept
# beyond the test's own folder.
set -euo pipefail
cd "$1"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
for name in ca rogue-ca; do
  key "$name.key"
  openssl req -x509 -new -key "$name.key" -out "$name.pem" -days 2 -subj "/CN=TarnRecorder test $name" 2>/dev/null
done
for pair in server:ca rogue:rogue-ca; do
  name=${pair%%:*}; authority=${pair##*:}
  key "$name.key"
  openssl req -new -key "$name.key" -out "$name.csr" -subj "/CN=127.0.0.1" 2>/dev/null
  openssl x509 -req -in "$name.csr" -CA "$authority.pem" -CAkey "$authority.key" -CAcreateserial \
    -out "$name.pem" -days 2 -extfile server.ext 2>/dev/null
done
