#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <memory>

#include "production/csv_table.h"
#include "production/field_encoding.h"
#include "production/patch_list.h"

enum class FieldKind { Counter, Mac, Csv };

// One CSV column written into every unit: which column, where, and how.
struct CsvColumn {
    QString column;
    std::uint32_t address = 0;
    FieldEncoding encoding;
};

// Data of each unit's own, written into the image: a counter, a range of MAC
// addresses, or the rows of a CSV file. A field hands out values by index,
// 0 up to valueCount() - 1; the record store allocates the indices, so that
// every kind is counted, reserved and spent the same way.
struct SerialField {
    QString name;
    FieldKind kind = FieldKind::Counter;
    std::uint32_t address = 0;  // counter and MAC
    FieldEncoding encoding;     // counter and MAC
    std::uint64_t start = 0;    // counter: first value; MAC: first address
    std::uint64_t step = 1;     // counter
    std::uint64_t last = 0;     // counter: the last value it may reach
    std::uint64_t count = 0;    // MAC: how many addresses
    QString csvFile;            // CSV: path as the recipe gives it, relative to the recipe
    QList<CsvColumn> columns;   // CSV
    std::shared_ptr<const CsvTable> table;  // CSV: the rows, once the recipe is loaded

    // How many values the field can hand out.
    std::uint64_t valueCount() const;
    // The bytes the value at index takes in the image, appended to patches;
    // false with the reason when the index is past the end or does not encode.
    bool AppendPatches(std::uint64_t index, PatchList* patches, QString* error) const;
    // The value as the record and the log show it: "SN00042", "00:1A:2B:3C:4D:5E", a CSV row's
    // cells.
    QString ValueText(std::uint64_t index) const;
};

QString FieldKindName(FieldKind kind);
bool FieldKindFromName(const QString& name, FieldKind* kind);

// A 48-bit MAC address as "00:1A:2B:3C:4D:5E", and back (':' or '-' between the pairs).
QString MacText(std::uint64_t mac);
bool ParseMac(const QString& text, std::uint64_t* mac);

// Every value the fields hold for one unit, one index per field, as one patch list.
bool BuildUnitPatches(const QList<SerialField>& fields, const QList<std::uint64_t>& indices,
                      PatchList* patches, QString* error);
