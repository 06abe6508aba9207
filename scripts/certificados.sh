# Sourced by testdb.sh and cluster.sh: a certificate authority and a server certificate signed by
# it, with openssl, for servers that take TLS sessions only (README, "Conexiones cifradas").
#   certificados DIR [CADIR [NAME]]
#     DIR/ca.pem, DIR/server-cert.pem, DIR/server-key.pem: the server's files. The authority is
#     CADIR's (ca.pem, ca.key), made there when missing (default: DIR itself); the certificate
#     names NAME, or 127.0.0.1 and localhost.
certificados() {
  local t=$1 ca=${2:-$1} nombre=${3:-}
  local alt="subjectAltName=IP:127.0.0.1,DNS:localhost"
  [ -n "$nombre" ] && alt="subjectAltName=DNS:$nombre"
  mkdir -p "$t" "$ca"
  if [ ! -f "$ca/ca.pem" ] || [ ! -f "$ca/ca.key" ]; then
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

# opcionesTls DIR: the server's options for those files in the array tlsOpciones: TLS with them,
# and no session over TCP without it (the Unix socket counts as secure).
opcionesTls() {
  tlsOpciones=(--ssl-ca="$1/ca.pem" --ssl-cert="$1/server-cert.pem" --ssl-key="$1/server-key.pem"
    --require-secure-transport=ON)
}
