#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// The production bench's record: one CSV row per unit, written and flushed
// to the disk as the unit finishes, so a bench that loses power loses none.
// Times are UTC, ISO 8601 with milliseconds; columns added since the first
// come after the first ones, so that a reader of those keeps working.
class UnitLog {
public:
    // Empty path: no log. Opens for appending; a new file gets the header,
    // with the recipe's serial fields as the last columns.
    bool Open(const QString& path, const QStringList& fieldColumns = {});
    QString error() const { return file_.errorString(); }
    bool Append(const QStringList& fields);

    static QStringList Header();

private:
    QFile file_;
};
