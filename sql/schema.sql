-- Tables of a Kolvaster system database.
-- Loaded into an empty database by the test bed, the demo and the benchmarks.
-- The launcher never creates or alters tables itself.
-- Every table has a primary key, as a Galera cluster needs to replicate rows safely and without
-- full scans. Tables whose rows have no natural key carry a surrogate one as their last column
-- (<table>_id): no statement of the launcher names it, and it adds no uniqueness, so every
-- statement that lists its columns behaves as before (one without a column list would not).
-- A user/program or user/report link exists at most once (it is written delete-then-insert,
-- in one transaction); its unique key lets two administrators who grant the same link at the
-- same moment on two nodes collide (one of them gets a deadlock) instead of storing it twice.
-- For the same reason a program's name is unique (two publications of one new name), and so is
-- a user's picture (replaced delete-then-insert, in one transaction).

CREATE TABLE sysuser (
  sysuser_id   BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  sysuser      VARCHAR(80) NOT NULL,
  titulo       VARCHAR(80) NOT NULL DEFAULT '',
  pass         VARCHAR(40) NOT NULL DEFAULT '',
  enviamailas  VARCHAR(255) NULL,
  useradmin    BOOLEAN NOT NULL DEFAULT FALSE,
  -- In the system's pilot group: gets a program's pilot version (appversion) while one is out.
  piloto       BOOLEAN NOT NULL DEFAULT FALSE,
  UNIQUE KEY uq_sysuser (sysuser)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE sysuserimg (
  sysuser_id  BIGINT NOT NULL,
  imagen      LONGBLOB,
  sysuserimg_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  UNIQUE KEY uq_sysuserimg_user (sysuser_id)
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
  -- The bytes' digest, computed by the server whenever they are written (by whoever writes
  -- them: the default and the two triggers below), so that a start reads 32 characters per
  -- program instead of hashing the suite. Not a generated column: reading one of those makes
  -- the server read the bytes it derives from as well, every BLOB of the suite at every start.
  windowsbinary_md5  CHAR(32) CHARACTER SET ascii NULL DEFAULT (MD5(windowsbinary)),
  descri           TEXT NULL,
  apprisklevel_id  BIGINT NULL,
  riskdetalle      TEXT NULL,
  UNIQUE KEY uq_app_nombre (nombre)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Whatever a statement says about the digest, it is the one of the bytes it leaves.
CREATE TRIGGER app_md5_alta BEFORE INSERT ON app
  FOR EACH ROW SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary);
CREATE TRIGGER app_md5_cambio BEFORE UPDATE ON app
  FOR EACH ROW SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary);

CREATE TABLE sysuserapp (
  sysuser_id  BIGINT NOT NULL,
  app_id      BIGINT NOT NULL,
  clogleido   BOOLEAN NULL,
  sysuserapp_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  UNIQUE KEY uq_sysuserapp (sysuser_id, app_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE sysuserelog (
  sysuserelogtipo_id  INT NOT NULL,
  sysuser_id          BIGINT NOT NULL,
  cuando              DATETIME NOT NULL,
  sysuserelog_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  KEY ix_sysuserelog_user (sysuser_id, cuando)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE appuse (
  sysuser_id  BIGINT NOT NULL,
  app_id      BIGINT NULL,
  cuando      DATETIME NOT NULL,
  appuse_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  -- The publication's version the launcher started (NULL: written by an earlier launcher, or
  -- a copy whose version it did not know).
  version     BIGINT NULL,
  KEY ix_appuse_user (sysuser_id),
  -- Each user's last start of a program, found without reading the others' (estado).
  KEY ix_appuse_app (app_id, sysuser_id, cuando)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE report (
  report_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  titulo     VARCHAR(120) NOT NULL DEFAULT ''
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE sysuserreport (
  sysuser_id  BIGINT NOT NULL,
  report_id   BIGINT NOT NULL,
  sysuserreport_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  UNIQUE KEY uq_sysuserreport (sysuser_id, report_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE kolvaster (
  versionlauncher  VARCHAR(20) NOT NULL,
  kolvaster_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE kolvasterop (
  sysuser_id  BIGINT NOT NULL,
  llave       VARCHAR(40) NOT NULL,
  valor       VARCHAR(255) NOT NULL DEFAULT '',
  kolvasterop_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  KEY ix_kolvasterop_user (sysuser_id, llave)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- The current publication of each program, signed by its publisher (kolvaster-publicar):
-- Ed25519 over "kolvaster-programa-1\n" nombre "\n" version "\n" sha256 "\n" largo "\n".
CREATE TABLE appfirma (
  app_id   BIGINT NOT NULL PRIMARY KEY,
  version  BIGINT NOT NULL,
  sha256   CHAR(64) NOT NULL,
  largo    BIGINT NOT NULL,
  clave    VARCHAR(64) NOT NULL,
  firma    BINARY(64) NOT NULL,
  firmado  DATETIME NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Versions of a program besides the general one in app: the pilot version ('piloto'), which
-- the pilot group installs while it is out, and the general version replaced last
-- ('anterior'), which `volver` puts back. Each holds its bytes (so that promoting or going
-- back copies them on the server) and its own signed publication, over the same message as
-- appfirma's. Version numbers are one sequence per program across appfirma and this table:
-- every step that changes what a user must install takes the next one, even for old bytes.
CREATE TABLE appversion (
  app_id   BIGINT NOT NULL,
  clase    VARCHAR(10) CHARACTER SET ascii NOT NULL,
  md5      CHAR(32) CHARACTER SET ascii NOT NULL,
  largo    BIGINT NOT NULL,
  datos    LONGBLOB NOT NULL,
  version  BIGINT NOT NULL,
  sha256   CHAR(64) NOT NULL,
  clave    VARCHAR(64) NOT NULL,
  firma    BINARY(64) NOT NULL,
  firmado  DATETIME NOT NULL,
  PRIMARY KEY (app_id, clase)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Compressed copies (zstd) and patches between publications, written by kolvaster-publicar and
-- fetched by the launchers in pieces: one statement whose rows arrive one piece at a time, so
-- that a launcher holds no more than a piece, shows the bytes as they travel and resumes a cut
-- transfer from the pieces it has. A copy is known by the digest of the program it gives
-- (md5); a patch by the digest it starts from (desde_md5) and the one it gives (hasta_md5):
-- several versions of a program may have each their copy and patches at the same time.
-- largo is the size of the program given; bytes the size of the stored bytes, in `piezas`
-- pieces of `tamano` bytes (the last one shorter), numbered from 0. All of them are written by
-- the tool with the rows, so that a launcher learns what a fetch costs, and bounds it, without
-- asking the server to measure the stored values. suma is the MD5 of a piece's datos, checked
-- as each piece arrives.
CREATE TABLE appcopia (
  app_id  BIGINT NOT NULL,
  md5     CHAR(32) CHARACTER SET ascii NOT NULL,
  largo   BIGINT NOT NULL,
  bytes   BIGINT NOT NULL,
  piezas  INT NOT NULL,
  tamano  INT NOT NULL,
  PRIMARY KEY (app_id, md5)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE appcopiapieza (
  app_id  BIGINT NOT NULL,
  md5     CHAR(32) CHARACTER SET ascii NOT NULL,
  pieza   INT NOT NULL,
  suma    CHAR(32) CHARACTER SET ascii NOT NULL,
  datos   MEDIUMBLOB NOT NULL,
  PRIMARY KEY (app_id, md5, pieza)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE appdelta (
  app_id     BIGINT NOT NULL,
  desde_md5  CHAR(32) CHARACTER SET ascii NOT NULL,
  hasta_md5  CHAR(32) CHARACTER SET ascii NOT NULL,
  largo      BIGINT NOT NULL,
  bytes      BIGINT NOT NULL,
  piezas     INT NOT NULL,
  tamano     INT NOT NULL,
  PRIMARY KEY (app_id, desde_md5, hasta_md5)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE appdeltapieza (
  app_id     BIGINT NOT NULL,
  desde_md5  CHAR(32) CHARACTER SET ascii NOT NULL,
  hasta_md5  CHAR(32) CHARACTER SET ascii NOT NULL,
  pieza      INT NOT NULL,
  suma       CHAR(32) CHARACTER SET ascii NOT NULL,
  datos      MEDIUMBLOB NOT NULL,
  PRIMARY KEY (app_id, desde_md5, hasta_md5, pieza)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- The one-row copies and patches of the previous release, read only by its launchers. This
-- release writes none: kolvaster-publicar deletes a program's rows here when it publishes it,
-- and `esquema --aplicar` turns those it finds into pieces above. A launcher of the previous
-- release thus finds nothing here and takes the plain download, which always gives the
-- program of the catalogue.
CREATE TABLE appcomprimido (
  app_id  BIGINT NOT NULL PRIMARY KEY,
  md5     CHAR(32) CHARACTER SET ascii NOT NULL,
  largo   BIGINT NOT NULL,
  datos   LONGBLOB NOT NULL,
  bytes   BIGINT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE appparche (
  app_id     BIGINT NOT NULL,
  desde_md5  CHAR(32) CHARACTER SET ascii NOT NULL,
  hasta_md5  CHAR(32) CHARACTER SET ascii NOT NULL,
  datos      LONGBLOB NOT NULL,
  bytes      BIGINT NULL,
  largo      BIGINT NULL,
  PRIMARY KEY (app_id, desde_md5)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- A launcher's failed update of a program to the version its catalogue named: one row per user,
-- program and wanted version (0: a catalogue without versions), repeated attempts updating it.
-- What the user keeps is the local copy's version and digest (NULL: none, or not known). causa
-- is a short code ('firma', 'md5', 'piezas', 'corte', 'perfil', 'disco') and texto what the
-- user was shown. resuelto is set when the same user later gets that program to a version at
-- least the one wanted: until then `estado` shows the failure.
CREATE TABLE appfallo (
  sysuser_id    BIGINT NOT NULL,
  app_id        BIGINT NOT NULL,
  version       BIGINT NOT NULL,
  md5           CHAR(32) CHARACTER SET ascii NOT NULL DEFAULT '',
  conserva      BIGINT NULL,
  conserva_md5  CHAR(32) CHARACTER SET ascii NULL,
  causa         VARCHAR(10) CHARACTER SET ascii NOT NULL,
  texto         VARCHAR(400) NOT NULL DEFAULT '',
  cuando        DATETIME NOT NULL,
  intentos      INT NOT NULL DEFAULT 1,
  resuelto      DATETIME NULL,
  appfallo_id   BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  UNIQUE KEY uq_appfallo (sysuser_id, app_id, version),
  KEY ix_appfallo_app (app_id, resuelto)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Every administrative step, written in the transaction of the step by the code that makes it
-- (kolvaster-publicar and the launcher's user administration). Who, when and from where are
-- the server's, set by the first trigger whatever the statement says; the other two refuse any
-- change or removal of a row, to every account.
CREATE TABLE registro (
  registro_id  BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  cuando       DATETIME NOT NULL,
  cuenta       VARCHAR(80) NOT NULL DEFAULT '',
  direccion    VARCHAR(255) NOT NULL DEFAULT '',
  paso         VARCHAR(60) NOT NULL,
  objeto       VARCHAR(120) NOT NULL DEFAULT '',
  resultado    VARCHAR(255) NOT NULL DEFAULT '',
  KEY ix_registro_cuando (cuando),
  KEY ix_registro_objeto (objeto, cuando),
  KEY ix_registro_cuenta (cuenta, cuando)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TRIGGER registro_alta BEFORE INSERT ON registro
  FOR EACH ROW SET NEW.cuando = NOW(), NEW.cuenta = SUBSTRING_INDEX(USER(), '@', 1), NEW.direccion = SUBSTRING_INDEX(USER(), '@', -1);
CREATE TRIGGER registro_cambio BEFORE UPDATE ON registro
  FOR EACH ROW SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'el registro de pasos solo admite filas nuevas';
CREATE TRIGGER registro_baja BEFORE DELETE ON registro
  FOR EACH ROW SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'el registro de pasos solo admite filas nuevas';

-- The branch offices, each with a replica of this database (`servidor`, "host" or
-- "host:port") that its launchers read the programs' bytes from. A launcher is in the branch
-- whose networks (`redes`, CIDR blocks separated by commas) hold the address the server sees
-- for its session, the most specific block winning. Only bytes come from there: the
-- catalogue, the digests and the signatures are still read here. Written by
-- `kolvaster-publicar sede`.
CREATE TABLE sede (
  nombre    VARCHAR(40) CHARACTER SET ascii NOT NULL PRIMARY KEY,
  redes     VARCHAR(1000) CHARACTER SET ascii NOT NULL,
  servidor  VARCHAR(255) CHARACTER SET ascii NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
