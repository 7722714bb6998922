#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>

// Reads values out of a JSON document and names the key path of every
// problem ("fields[2].encoding.width: expected a whole number"). It goes on
// past a problem, so that one pass lists them all, one line each.
class JsonReader {
  public:
    explicit JsonReader(QStringList* problems) : problems_(problems) {}

    static QString Join(const QString& path, const QString& key) {
        return path.isEmpty() ? key : path + "." + key;
    }
    static QString Index(const QString& path, qsizetype index) {
        return QString("%1[%2]").arg(path).arg(index);
    }

    void Problem(const QString& path, const QString& text) {
        problems_->append(path + ": " + text);
    }
    // Every key of object that allowed does not hold is a problem.
    void CheckKeys(const QJsonObject& object, const QString& path, const QStringList& allowed);

    // Each reader leaves out untouched and returns false when the key is
    // absent (a problem only if required) or holds the wrong type (always one).
    bool String(const QJsonObject& object, const QString& path, const QString& key, QString* out,
                bool required = true);
    bool Bool(const QJsonObject& object, const QString& path, const QString& key, bool* out,
              bool required = true);
    // A whole number up to maximum: a JSON number, or a string in decimal or 0x-hex
    // for values a JSON number cannot hold exactly.
    bool Unsigned(const QJsonObject& object, const QString& path, const QString& key,
                  std::uint64_t* out, bool required = true, std::uint64_t maximum = UINT64_MAX);
    bool Object(const QJsonObject& object, const QString& path, const QString& key,
                QJsonObject* out, bool required = true);
    bool Array(const QJsonObject& object, const QString& path, const QString& key, QJsonArray* out,
               bool required = true);

  private:
    bool Present(const QJsonObject& object, const QString& path, const QString& key, bool required);

    QStringList* problems_;
};
