#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

struct st_mysql;
struct st_mysql_stmt;

// One prepared statement on a client library handle: its values bound in order, long values
// sent in pieces, and its row read without storing the result, so that a stored value is read
// by the server once and taken out of the received row piece by piece, never copied whole.
// Whatever the server still sends is drained when the object goes, so that the handle's next
// statement (Qt's or another reader's) finds the connection in step.
class Lector
{
public:
    explicit Lector(st_mysql *m);
    ~Lector();
    Lector(const Lector &) = delete;
    Lector &operator=(const Lector &) = delete;

    bool preparar(const char *sql);

    // The statement's values, in the order of its placeholders.
    Lector &entero(long long v);
    Lector &texto(const QByteArray &v);
    Lector &binario(const QByteArray &v);
    // A value sent afterwards in pieces with enviar(), before ejecutar().
    Lector &largo();

    // Binds the values given so far; needed before enviar(), done by ejecutar() otherwise.
    bool vincular();
    // Sends `n` bytes more of the long value at placeholder `i`.
    bool enviar(unsigned i, const char *datos, qint64 n);
    bool ejecutar();

    // Reads the next row (the first, at the first call). 1: there is one; 0: no more; -1: it
    // could not be read (the statement's error says why). Columns are then read with the calls
    // below, until the next call. The client library holds one row at a time.
    int fila();
    bool nulo(unsigned columna) const;
    qint64 bytes(unsigned columna) const;
    // Copies `n` bytes of the column from `desde` out of the row.
    bool leer(unsigned columna, char *destino, qint64 desde, qint64 n);
    // A short column whole (a name, a digest); nothing when it cannot be copied.
    std::optional<QByteArray> valor(unsigned columna);
    // An integer column (0 for NULL).
    long long numero(unsigned columna);

    unsigned codigo() const;
    QByteArray error() const;
    unsigned long long idInsertado() const;
    st_mysql_stmt *sentencia() const { return st; }

private:
    struct Valor {
        int tipo;
        long long entero;
        QByteArray texto;
        unsigned long largo;
    };
    st_mysql_stmt *st;
    QList<Valor> valores;
    bool vinculado = false;
    bool leyendo = false;
    bool resultado = false;
    QList<unsigned long> largos;
    QByteArray nulos;
};
