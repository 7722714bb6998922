#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A CSV file of per-unit data: a header row naming the columns, then one row
// per unit. Cells may be quoted ("a, b" and "say ""hi""").
struct CsvTable {
    QStringList header;
    QList<QStringList> rows;

    // The column's place in a row, or -1.
    int column(const QString& name) const { return int(header.indexOf(name)); }
};

// Reads the file; false with a one-line reason when it cannot be read or a
// row has another number of cells than the header.
bool LoadCsvTable(const QString& path, CsvTable* table, QString* error);

// One line split into cells; false when a quote is left open.
bool SplitCsvLine(const QString& line, QStringList* cells);
