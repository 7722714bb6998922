#pragma once

#include <QJsonObject>

#include "production/json_reader.h"
#include "production/serial_field.h"

// A serial field as the recipe writes it, e.g.
//   {"name": "serial", "kind": "counter", "address": "0x3F000", "start": 1, "last": 99999,
//    "encoding": {"format": "ascii-dec", "width": 5, "prefix": "SN"}}
//   {"name": "mac", "kind": "mac", "address": "0x3F010", "start": "02:00:00:00:00:00", "count":
//   256}
//   {"name": "keys", "kind": "csv", "file": "keys.csv",
//    "columns": [{"column": "key", "address": "0x3F100", "encoding": {"format": "bytes", "width":
//    16}}]}
// Reading names every problem under path; false when there was one.
bool ReadSerialField(JsonReader& reader, const QJsonObject& object, const QString& path,
                     SerialField* field);
QJsonObject SerialFieldToJson(const SerialField& field);
// One field given as JSON text on its own (a command line's option); the
// problems' key paths start at "field".
bool ParseSerialField(const QByteArray& json, SerialField* field, QStringList* problems);
