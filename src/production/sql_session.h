#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include "production/sql_dialect.h"

// One open connection and the dialect it speaks, with the few moves every
// store operation makes: run a statement with its values, and wrap several
// in a write transaction. Every failure keeps its text for the caller.
class SqlSession {
  public:
    SqlSession(const QString& connection, SqlDialect dialect)
        : connection_(connection), dialect_(dialect) {}

    QSqlDatabase database() const { return QSqlDatabase::database(connection_, false); }
    const SqlDialect& dialect() const { return dialect_; }
    const QString& error() const { return error_; }
    void SetError(const QString& error) { error_ = error; }

    // Prepares sql, binds values in order and runs it; false keeps the reason.
    bool Exec(QSqlQuery& query, const QString& sql, const QVariantList& values = {});
    bool Exec(const QString& sql, const QVariantList& values = {});
    // The first column of the first row, or an invalid QVariant when there is none.
    bool Value(const QString& sql, const QVariantList& values, QVariant* value);

    bool BeginWrite();
    bool Commit();
    // Ends a failed transaction; the first failure's text stays.
    void Rollback();

  private:
    static bool Prepared(QSqlQuery& query, const QString& sql, const QVariantList& values);

    QString connection_;
    SqlDialect dialect_;
    QString error_;
};
