#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own: initdb and pg_ctl in a scratch
// folder, listening on a Unix socket in that folder and on no TCP port.
// PostgreSQL refuses to run as root, as the tests do in CI, so the server
// runs as "nobody", which owns the folder.
class ScratchPostgres {
  public:
    ScratchPostgres() = default;
    ~ScratchPostgres();

    // False with the reason: a missing PostgreSQL, a failed initdb or start.
    bool Start(QString* error);
    // Starts the server again on the same data, after Stop.
    bool Restart(QString* error);
    // immediate stops as a crash would: no shutdown checkpoint, connections cut.
    void Stop(bool immediate = false);
    // A database of its own for one test.
    bool CreateDatabase(const QString& name, QString* error);
    // postgresql://brellix@/name?host=<the scratch folder>
    QString Url(const QString& name) const;
    QString socketFolder() const { return dir_.path(); }
    static int port();

  private:
    bool Run(const QString& tool, const QStringList& arguments, QString* error);

    QTemporaryDir dir_{"/tmp/brellix-pg-XXXXXX"};
    QString bin_;
    bool running_ = false;
};
