# Sourced by testdb.sh and cluster.sh: a certificate authority and a server certificate signed by
# it, with openssl, for servers that take TLS sessions only (docs/administrator.md, "Encrypted connections").
#   certificados DIR [CADIR [NAME]]
#     DIR/ca.pem, DIR/server-cert.pem, DIR/server-key.pem: the server's files. The authority is
#     CADIR's (ca.pem, ca.key), made there when missing or expiring (default: DIR itself); the certificate
#     names NAME, or 127.0.0.1 and localhost.
certificados() {
  local t=$1 ca=${2:-$1} nombre=${3:-}
  local alt="subjectAltName=IP:127.0.0.1,DNS:localhost"
  [ -n "$nombre" ] && alt="subjectAltName=DNS:$nombre"
  mkdir -p "$t" "$ca"
  # An authority that expires within a week is made anew too (its servers' certificates with it).
  if [ ! -f "$ca/ca.pem" ] || [ ! -f "$ca/ca.key" ] ||
    ! openssl x509 -checkend 604800 -noout -in "$ca/ca.pem" >/dev/null 2>&1; then
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca/ca.key" -out "$ca/ca.pem" -days 30 \
      -subj "/CN=Kolvaster CA $(basename "$(dirname "$ca")")" 2>/dev/null
  fi
  [ "$ca/ca.pem" -ef "$t/ca.pem" ] || cp "$ca/ca.pem" "$t/ca.pem"
  openssl req -newkey rsa:2048 -nodes -keyout "$t/server-key.pem" -out "$t/server.csr" \
    -subj "/CN=${nombre:-127.0.0.1}" 2>/dev/null
  echo "$alt" >"$t/server.ext"
  openssl x509 -req -in "$t/server.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial \
    -out "$t/server-cert.pem" -days 30 -extfile "$t/server.ext" 2>/dev/null
  rm -f "$t/server.csr" "$t/server.ext"
}

# vigentes DIR: whether DIR holds a server certificate and its authority that are still valid
# for a week at least (a kept server resumed later must not stop taking sessions meanwhile).
vigentes() {
  local t=$1 ca
  ca=$t/ca.pem
  [ -f "$t/server-cert.pem" ] && [ -f "$t/server-key.pem" ] && [ -f "$ca" ] &&
    openssl x509 -checkend 604800 -noout -in "$t/server-cert.pem" >/dev/null 2>&1 &&
    openssl x509 -checkend 604800 -noout -in "$ca" >/dev/null 2>&1
}

# opcionesTls DIR: the server's options for those files in the array tlsOpciones: TLS with them,
# and no session over TCP without it (the Unix socket counts as secure).
opcionesTls() {
  tlsOpciones=(--ssl-ca="$1/ca.pem" --ssl-cert="$1/server-cert.pem" --ssl-key="$1/server-key.pem"
    --require-secure-transport=ON)
}
