#!/bin/sh
# HAProxy's health check of one Galera node (option external-check): passes, status 0, only
# while the node can serve, that is while Galera reports wsrep_ready ON and wsrep_local_state 4
# (Synced). A node that is cut off from the others, still joining, or giving a state transfer
# accepts logins but refuses statements (error 1047), so a login alone proves nothing.
#
# HAProxy runs it with PROXY_ADDRESS PROXY_PORT SERVER_ADDRESS SERVER_PORT and no environment
# of its own; the account to log in with is in galera-check.cnf beside this script (a [client]
# group with user and password, readable by HAProxy's user alone). The account needs no rights:
# every account may read the server's status.
#
# It ends within 2 s whatever the node does. A node that accepts the login and then never
# answers would otherwise hold the client for ever, and HAProxy, when its own time is up, ends
# only this script: the client would stay behind with a session on the node, one more at every
# check. So the client runs under `timeout`, which ends it (TERM at 1.5 s, KILL 0.3 s later)
# even when this script is gone.
cnf="${0%/*}/galera-check.cnf"
estado=$(timeout -k 0.3 1.5 mariadb --defaults-file="$cnf" --protocol=tcp --host="$3" --port="$4" \
  --connect-timeout=1 --batch --skip-column-names \
  --execute="SHOW GLOBAL STATUS WHERE Variable_name IN ('wsrep_ready','wsrep_local_state')" \
  2>/dev/null) || exit 1
listo=no
sincronizado=no
tab=$(printf '\t')
while IFS="$tab" read -r nombre valor; do
  case "$nombre=$valor" in
  wsrep_ready=ON) listo=si ;;
  wsrep_local_state=4) sincronizado=si ;;
  esac
done <<EOF
$estado
EOF
[ "$listo" = si ] && [ "$sincronizado" = si ]
