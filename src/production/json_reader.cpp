#include "production/json_reader.h"

#include "production/field_encoding.h"

namespace {

// The largest whole number a JSON number (a double) holds exactly.
constexpr double kExactLimit = 9007199254740992.0;

}  // namespace

void JsonReader::CheckKeys(const QJsonObject& object, const QString& path,
                           const QStringList& allowed) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!allowed.contains(it.key())) Problem(Join(path, it.key()), "unknown key");
    }
}

bool JsonReader::Present(const QJsonObject& object, const QString& path, const QString& key,
                         bool required) {
    if (object.contains(key)) return true;
    if (required) Problem(Join(path, key), "missing");
    return false;
}

bool JsonReader::String(const QJsonObject& object, const QString& path, const QString& key,
                        QString* out, bool required) {
    if (!Present(object, path, key, required)) return false;
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        Problem(Join(path, key), "expected a string");
        return false;
    }
    *out = value.toString();
    return true;
}

bool JsonReader::Bool(const QJsonObject& object, const QString& path, const QString& key, bool* out,
                      bool required) {
    if (!Present(object, path, key, required)) return false;
    const QJsonValue value = object.value(key);
    if (!value.isBool()) {
        Problem(Join(path, key), "expected true or false");
        return false;
    }
    *out = value.toBool();
    return true;
}

bool JsonReader::Unsigned(const QJsonObject& object, const QString& path, const QString& key,
                          std::uint64_t* out, bool required, std::uint64_t maximum) {
    if (!Present(object, path, key, required)) return false;
    const QJsonValue value = object.value(key);
    std::uint64_t number = 0;
    bool ok = false;
    if (value.isDouble()) {
        const double d = value.toDouble();
        ok = d >= 0 && d < kExactLimit && d == double(std::uint64_t(d));
        if (ok) number = std::uint64_t(d);
    } else if (value.isString()) {
        ok = ParseUnsigned(value.toString(), &number);
    }
    if (!ok) {
        Problem(Join(path, key), "expected a whole number (or a string in decimal or 0x-hex)");
        return false;
    }
    if (number > maximum) {
        Problem(Join(path, key), QString("%1 is more than %2").arg(number).arg(maximum));
        return false;
    }
    *out = number;
    return true;
}

bool JsonReader::Object(const QJsonObject& object, const QString& path, const QString& key,
                        QJsonObject* out, bool required) {
    if (!Present(object, path, key, required)) return false;
    const QJsonValue value = object.value(key);
    if (!value.isObject()) {
        Problem(Join(path, key), "expected an object");
        return false;
    }
    *out = value.toObject();
    return true;
}

bool JsonReader::Array(const QJsonObject& object, const QString& path, const QString& key,
                       QJsonArray* out, bool required) {
    if (!Present(object, path, key, required)) return false;
    const QJsonValue value = object.value(key);
    if (!value.isArray()) {
        Problem(Join(path, key), "expected an array");
        return false;
    }
    *out = value.toArray();
    return true;
}
