-- A system's database as organisations have had it for years, before the tables grew: the
-- launcher's tables alone, keys only where rows have a natural id, plain indexes where the
-- unique keys go now, and no digest column. With its users, pictures, grants, history and
-- programs, and the duplicates that years of hand edits leave (a program stored twice under
-- one name told apart only by case and a trailing blank, a second picture of a user, grants
-- and a report given twice, an account name entered twice).

CREATE TABLE sysuser (
  sysuser_id   BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  sysuser      VARCHAR(80) NOT NULL,
  titulo       VARCHAR(80) NOT NULL DEFAULT '',
  pass         VARCHAR(40) NOT NULL DEFAULT '',
  enviamailas  VARCHAR(255) NULL,
  useradmin    BOOLEAN NOT NULL DEFAULT FALSE
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE sysuserimg (
  sysuser_id  BIGINT NOT NULL,
  imagen      LONGBLOB,
  KEY ix_sysuserimg_user (sysuser_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE apprisklevel (
  apprisklevel_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  detalle          VARCHAR(80) NOT NULL DEFAULT ''
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE app (
  app_id           BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  nombre           VARCHAR(80) NOT NULL,
  titulo           VARCHAR(120) NOT NULL DEFAULT '',
  windowsbinary    LONGBLOB NULL,
  descri           TEXT NULL,
  apprisklevel_id  BIGINT NULL,
  riskdetalle      TEXT NULL,
  KEY ix_app_nombre (nombre)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE sysuserapp (
  sysuser_id  BIGINT NOT NULL,
  app_id      BIGINT NOT NULL,
  clogleido   BOOLEAN NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE sysuserelog (
  sysuserelogtipo_id  INT NOT NULL,
  sysuser_id          BIGINT NOT NULL,
  cuando              DATETIME NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE appuse (
  sysuser_id  BIGINT NOT NULL,
  app_id      BIGINT NULL,
  cuando      DATETIME NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE report (
  report_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  titulo     VARCHAR(120) NOT NULL DEFAULT ''
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE sysuserreport (
  sysuser_id  BIGINT NOT NULL,
  report_id   BIGINT NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE kolvaster (
  versionlauncher  VARCHAR(20) NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE kolvasterop (
  sysuser_id  BIGINT NOT NULL,
  llave       VARCHAR(40) NOT NULL,
  valor       VARCHAR(255) NOT NULL DEFAULT ''
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2');

-- Users 1 to 4; "antigua_eva" was entered twice (ids 4 and 5).
INSERT INTO sysuser (sysuser_id, sysuser, titulo, pass, enviamailas, useradmin) VALUES
  (1, 'dbadmin', 'Administrador', '', NULL, TRUE),
  (2, 'antigua_ana', 'Ana', 'ana_pw', 'Ana <ana@example.org>', TRUE),
  (3, 'antigua_beto', 'Beto', 'beto_pw', NULL, FALSE),
  (4, 'antigua_eva', 'Eva', 'eva_pw', NULL, FALSE),
  (5, 'antigua_eva', 'Eva bis', 'eva_pw', NULL, FALSE);

-- Ana has two pictures.
INSERT INTO sysuserimg (sysuser_id, imagen) VALUES
  (2, UNHEX(REPEAT('89504E470D0A1A0A', 40))),
  (2, UNHEX(REPEAT('89504E470D0A1A0B', 41))),
  (3, UNHEX(REPEAT('00FF', 300)));

INSERT INTO apprisklevel (apprisklevel_id, detalle) VALUES (1, 'Bajo'), (2, 'Alto');

-- Programs: "calc" twice (ids 1 and 4), one without bytes, one with a NUL and high bytes.
INSERT INTO app (app_id, nombre, titulo, windowsbinary, descri, apprisklevel_id, riskdetalle) VALUES
  (1, 'calc', 'Calculadora', CONCAT('#!/bin/sh', CHAR(10), 'echo calc', CHAR(10)), 'Suma', 1, NULL),
  (2, 'nota', 'Bloc de notas', UNHEX('6E6F746100FF01'), NULL, 2, 'Escribe archivos'),
  (3, 'sinbin', 'Sin binario', NULL, NULL, NULL, NULL),
  (4, 'Calc ', 'Calculadora vieja', 'vieja', NULL, NULL, NULL),
  (5, 'grande', 'Grande', REPEAT(UNHEX('0123456789ABCDEF00'), 200000), NULL, 1, NULL);

-- Ana was given "calc" twice and Beto report 1 twice.
INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) VALUES
  (2, 1, TRUE), (2, 2, FALSE), (2, 3, NULL), (2, 5, TRUE), (2, 1, FALSE), (3, 4, TRUE);

INSERT INTO sysuserelog (sysuserelogtipo_id, sysuser_id, cuando) VALUES
  (1, 2, '2019-03-01 08:00:00'), (2, 2, '2019-03-01 17:00:00'), (1, 3, '2020-07-15 09:30:00');

INSERT INTO appuse (sysuser_id, app_id, cuando) VALUES
  (2, 1, '2019-03-01 08:05:00'), (3, NULL, '2020-07-15 09:31:00');

INSERT INTO report (report_id, titulo) VALUES (1, 'Ventas'), (2, 'Stock');

INSERT INTO sysuserreport (sysuser_id, report_id) VALUES (3, 1), (3, 1), (2, 2);

INSERT INTO kolvasterop (sysuser_id, llave, valor) VALUES (2, 'NOUNIFORMICONSIZES', '');
