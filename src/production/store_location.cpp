#include "production/store_location.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace {

QString Decoded(const QString& part) {
    return QUrl::fromPercentEncoding(part.toUtf8());
}

bool ReadQuery(const QString& query, StoreLocation* location, QString* error) {
    for (const auto& [key, value] : QUrlQuery(query).queryItems(QUrl::FullyDecoded)) {
        if (key == "host") {
            location->host = value;
        } else if (key == "port") {
            bool ok = false;
            location->port = value.toInt(&ok);
            if (!ok) {
                *error = "port " + value + " is not a number";
                return false;
            }
        } else {
            *error = "unknown parameter " + key;
            return false;
        }
    }
    return true;
}

}  // namespace

bool StoreLocation::Parse(const QString& text, StoreLocation* location, QString* error) {
    *location = {};
    static const QRegularExpression scheme("^[A-Za-z][A-Za-z0-9+.-]*://");
    if (!scheme.match(text).hasMatch()) {
        location->file = text;
        return true;
    }
    static const QRegularExpression url(
        "^postgres(?:ql)?://(?:([^:@/]*)(?::([^@/]*))?@)?([^/:?]*)(?::(\\d+))?/([^?/"
        "]+)(?:\\?(.*))?$");
    const QRegularExpressionMatch match = url.match(text);
    QString reason = "expected postgresql://user@host/dbname";
    if (match.hasMatch()) {
        location->postgres = true;
        location->user = Decoded(match.captured(1));
        location->password = Decoded(match.captured(2));
        location->host = Decoded(match.captured(3));
        location->port = match.captured(4).isEmpty() ? -1 : match.captured(4).toInt();
        location->database = Decoded(match.captured(5));
        if (ReadQuery(match.captured(6), location, &reason)) return true;
    }
    // A URL that does not parse may still carry a password; it is not repeated.
    static const QRegularExpression password("(://[^:@/]*):[^@/]*@");
    *error = QString("%1: not a database URL (%2)")
                 .arg(QString(text).replace(password, "\\1:***@"), reason);
    return false;
}

QString StoreLocation::Describe() const {
    if (!postgres) return file;
    QString text = "postgresql://";
    if (!user.isEmpty()) text += user + "@";
    if (!host.startsWith('/')) text += host;
    if (port >= 0) text += ":" + QString::number(port);
    text += "/" + database;
    if (host.startsWith('/')) text += "?host=" + host;
    return text;
}
