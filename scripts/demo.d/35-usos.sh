#!/usr/bin/env bash
# Program starts of the last weeks (appuse), so that the sample program's table, report and
# export have something to show: a few starts per stored program, spread over 40 days (the
# ones older than a month stay out of the sample's table).
set -euo pipefail
: "${DEMO_SQL:?}" "${DEMO_DB:?}"
$DEMO_SQL -e "
  INSERT INTO appuse (sysuser_id,app_id,cuando)
    SELECT u.sysuser_id, a.app_id, NOW() - INTERVAL (d.n * 37 + a.app_id * 11) % 40 DAY
                                        - INTERVAL (d.n * 53) % 600 MINUTE
    FROM sysuser u, app a,
      (SELECT 1 AS n UNION SELECT 2 UNION SELECT 3 UNION SELECT 4 UNION SELECT 5 UNION SELECT 6
       UNION SELECT 7 UNION SELECT 8) d
    WHERE u.sysuser IN ('${DEMO_DB}_ana','${DEMO_DB}_beto') AND d.n <= 2 + a.app_id % 7;"
echo "35-usos: $($DEMO_SQL -N -e 'SELECT COUNT(*) FROM appuse') program starts recorded"
