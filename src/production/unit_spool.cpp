#include "production/unit_spool.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

UnitSpool::~UnitSpool() {
    if (connection_.isEmpty()) return;
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

bool UnitSpool::Open(const QString& path, QString* error) {
    const QString name = "brellix-spool-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
        QSqlQuery query(db);
        if (db.open() &&
            query.exec("CREATE TABLE IF NOT EXISTS spool (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " location TEXT NOT NULL, record TEXT NOT NULL)")) {
            connection_ = name;
            return true;
        }
        *error = "the spool " + path + ": " +
                 (db.isOpen() ? query.lastError() : db.lastError()).text().simplified();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return false;
}

bool UnitSpool::Add(const QString& location, const QByteArray& record) {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("INSERT INTO spool (location, record) VALUES (?, ?)");
    query.addBindValue(location);
    query.addBindValue(QString::fromUtf8(record));
    return query.exec();
}

QList<UnitSpool::Entry> UnitSpool::Pending(const QString& location) const {
    QList<Entry> entries;
    if (connection_.isEmpty()) return entries;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("SELECT id, record FROM spool WHERE location = ? ORDER BY id");
    query.addBindValue(location);
    if (!query.exec()) return entries;
    while (query.next())
        entries.append({query.value(0).toLongLong(), query.value(1).toString().toUtf8()});
    return entries;
}

bool UnitSpool::Remove(std::int64_t id) {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("DELETE FROM spool WHERE id = ?");
    query.addBindValue(qint64(id));
    return query.exec();
}

int UnitSpool::Count(const QString& location) const {
    if (connection_.isEmpty()) return 0;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("SELECT COUNT(*) FROM spool WHERE location = ?");
    query.addBindValue(location);
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}
