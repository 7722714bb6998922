#include "production/sql_session.h"

#include <QSqlError>

bool SqlSession::Exec(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    // PostgreSQL prepares on the server, and will not prepare a CREATE.
    const bool ran = values.isEmpty() ? query.exec(sql) : Prepared(query, sql, values);
    if (ran) return true;
    error_ = query.lastError().text().simplified();
    return false;
}

bool SqlSession::Prepared(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    if (!query.prepare(sql)) return false;
    for (const QVariant& value : values) {
        // A null QString goes out as SQL NULL; an empty text is meant.
        const bool nullText = value.typeId() == QMetaType::QString && value.toString().isNull();
        query.addBindValue(nullText ? QVariant(QString("")) : value);
    }
    return query.exec();
}

bool SqlSession::Exec(const QString& sql, const QVariantList& values) {
    QSqlQuery query(database());
    return Exec(query, sql, values);
}

bool SqlSession::Value(const QString& sql, const QVariantList& values, QVariant* value) {
    QSqlQuery query(database());
    if (!Exec(query, sql, values)) return false;
    *value = query.next() ? query.value(0) : QVariant();
    return true;
}

bool SqlSession::BeginWrite() {
    QSqlQuery query(database());
    // Transaction statements are not prepared: neither driver needs them to be.
    if (query.exec(dialect_.beginWrite())) return true;
    error_ = query.lastError().text().simplified();
    return false;
}

bool SqlSession::Commit() {
    QSqlQuery query(database());
    if (query.exec("COMMIT")) return true;
    error_ = query.lastError().text().simplified();
    Rollback();
    return false;
}

void SqlSession::Rollback() {
    QSqlQuery query(database());
    query.exec("ROLLBACK");
}
