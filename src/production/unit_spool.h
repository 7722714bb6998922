#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

// Where closed units wait while the record's database cannot be reached: a
// small SQLite file on the station itself. Each entry names the database it
// is for, so that a station pointed at another database later sends nothing
// to the wrong one.
class UnitSpool {
  public:
    struct Entry {
        std::int64_t id = 0;
        QByteArray record;
    };

    UnitSpool() = default;
    ~UnitSpool();
    UnitSpool(const UnitSpool&) = delete;
    UnitSpool& operator=(const UnitSpool&) = delete;

    // Opens (creating) the file; false with the reason.
    bool Open(const QString& path, QString* error);
    bool isOpen() const { return !connection_.isEmpty(); }

    bool Add(const QString& location, const QByteArray& record);
    QList<Entry> Pending(const QString& location) const;
    bool Remove(std::int64_t id);
    int Count(const QString& location) const;

  private:
    QString connection_;
};
