#include "lector.h"

#include <mysql.h>

#include <cstring>
#include <vector>

Lector::Lector(MYSQL *m) : st(m ? mysql_stmt_init(m) : nullptr) {}

Lector::~Lector()
{
    if (!st)
        return;
    if (leyendo) {
        int rc;
        do {
            rc = mysql_stmt_fetch(st);
        } while (rc == 0 || rc == MYSQL_DATA_TRUNCATED);
    }
    mysql_stmt_close(st);
}

bool Lector::preparar(const char *sql)
{
    return st && mysql_stmt_prepare(st, sql, static_cast<unsigned long>(std::strlen(sql))) == 0;
}

Lector &Lector::entero(long long v)
{
    valores.append({MYSQL_TYPE_LONGLONG, v, {}, 0});
    return *this;
}

Lector &Lector::texto(const QByteArray &v)
{
    valores.append({MYSQL_TYPE_STRING, 0, v, static_cast<unsigned long>(v.size())});
    return *this;
}

Lector &Lector::binario(const QByteArray &v)
{
    valores.append({MYSQL_TYPE_BLOB, 0, v, static_cast<unsigned long>(v.size())});
    return *this;
}

Lector &Lector::largo()
{
    valores.append({MYSQL_TYPE_LONG_BLOB, 0, {}, 0});
    return *this;
}

bool Lector::vincular()
{
    if (!st)
        return false;
    if (vinculado)
        return true;
    std::vector<MYSQL_BIND> b(size_t(valores.size()) + 1);
    std::memset(b.data(), 0, b.size() * sizeof(MYSQL_BIND));
    for (qsizetype i = 0; i < valores.size(); ++i) {
        Valor &v = valores[i];
        b[size_t(i)].buffer_type = static_cast<enum_field_types>(v.tipo);
        if (v.tipo == MYSQL_TYPE_LONGLONG) {
            b[size_t(i)].buffer = &v.entero;
        } else if (v.tipo == MYSQL_TYPE_STRING || v.tipo == MYSQL_TYPE_BLOB) {
            b[size_t(i)].buffer = v.texto.data();
            b[size_t(i)].buffer_length = v.largo;
            b[size_t(i)].length = &v.largo;
        }
    }
    // The library copies the binds: the vector may go, the values must stay (they do).
    vinculado = mysql_stmt_bind_param(st, b.data()) == 0;
    return vinculado;
}

bool Lector::enviar(unsigned i, const char *datos, qint64 n)
{
    return vincular()
           && mysql_stmt_send_long_data(st, i, datos, static_cast<unsigned long>(n)) == 0;
}

bool Lector::ejecutar()
{
    return vincular() && mysql_stmt_execute(st) == 0;
}

int Lector::fila()
{
    if (!st)
        return -1;
    if (!resultado) {
        const unsigned n = mysql_stmt_field_count(st);
        largos = QList<unsigned long>(qsizetype(n), 0);
        nulos = QByteArray(qsizetype(n), 0);
        // Bound without buffers: the fetch only tells each column's length, and the bytes
        // are copied out of the received row afterwards.
        std::vector<MYSQL_BIND> b(size_t(n) + 1);
        std::memset(b.data(), 0, b.size() * sizeof(MYSQL_BIND));
        for (unsigned i = 0; i < n; ++i) {
            b[i].buffer_type = MYSQL_TYPE_BLOB;
            b[i].length = &largos[i];
            b[i].is_null = reinterpret_cast<my_bool *>(nulos.data() + i);
        }
        if (mysql_stmt_bind_result(st, b.data()) != 0)
            return -1;
        resultado = true;
        leyendo = true;
    }
    if (!leyendo)
        return 0;
    const int rc = mysql_stmt_fetch(st);
    if (rc == MYSQL_NO_DATA) {
        leyendo = false;
        return 0;
    }
    if (rc != 0 && rc != MYSQL_DATA_TRUNCATED) {
        leyendo = false; // the connection is gone or out of step: nothing more to read
        return -1;
    }
    return 1;
}

bool Lector::nulo(unsigned columna) const
{
    return columna >= unsigned(nulos.size()) || nulos.at(columna);
}

qint64 Lector::bytes(unsigned columna) const
{
    return nulo(columna) ? 0 : qint64(largos.at(columna));
}

bool Lector::leer(unsigned columna, char *destino, qint64 desde, qint64 n)
{
    if (desde < 0 || n < 0 || desde + n > bytes(columna))
        return false;
    unsigned long copiados = 0;
    MYSQL_BIND b;
    std::memset(&b, 0, sizeof b);
    b.buffer_type = MYSQL_TYPE_BLOB;
    b.buffer = destino;
    b.buffer_length = static_cast<unsigned long>(n);
    b.length = &copiados;
    return mysql_stmt_fetch_column(st, &b, columna, static_cast<unsigned long>(desde)) == 0;
}

std::optional<QByteArray> Lector::valor(unsigned columna)
{
    QByteArray b(bytes(columna), Qt::Uninitialized);
    if (!b.isEmpty() && !leer(columna, b.data(), 0, b.size()))
        return std::nullopt;
    return b;
}

long long Lector::numero(unsigned columna)
{
    long long v = 0;
    MYSQL_BIND b;
    std::memset(&b, 0, sizeof b);
    b.buffer_type = MYSQL_TYPE_LONGLONG;
    b.buffer = &v;
    return nulo(columna) || mysql_stmt_fetch_column(st, &b, columna, 0) != 0 ? 0 : v;
}

unsigned Lector::codigo() const
{
    return st ? mysql_stmt_errno(st) : 0;
}

QByteArray Lector::error() const
{
    return st ? QByteArray(mysql_stmt_error(st)) : QByteArray();
}

unsigned long long Lector::idInsertado() const
{
    return st ? mysql_stmt_insert_id(st) : 0;
}
