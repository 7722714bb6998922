#pragma once

#include <QString>

// Everything the record store says differently to SQLite and to PostgreSQL.
// All other SQL is written once and runs on both.
class SqlDialect {
  public:
    enum class Kind { Sqlite, Postgres };

    explicit SqlDialect(Kind kind) : kind_(kind) {}
    Kind kind() const { return kind_; }

    // The Qt driver, and the package that brings it when it is missing.
    QString driverName() const;
    QString driverPackage() const;
    // Options for QSqlDatabase::setConnectOptions.
    QString connectOptions() const;

    // Run once on every new connection; empty for none.
    QString sessionSetup() const;

    // An id column filled in by the database.
    QString idColumn() const;
    // Starts a transaction that writes: SQLite takes its write lock at once
    // (BEGIN IMMEDIATE), so that two stations never both read a counter
    // before either writes it and one then fails half-way.
    QString beginWrite() const;
    // Reads a counter's row and keeps it locked until the transaction ends.
    QString lockCounter() const;
    // Keeps a second station from creating the same tables at the same time;
    // empty where the write transaction already does.
    QString lockSchema() const;

  private:
    Kind kind_;
};
