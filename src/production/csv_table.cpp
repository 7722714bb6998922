#include "production/csv_table.h"

#include <QFile>
#include <QFileInfo>

bool SplitCsvLine(const QString& line, QStringList* cells) {
    cells->clear();
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != '"') {
                cell += c;
            } else if (i + 1 < line.size() && line.at(i + 1) == '"') {
                cell += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells->append(cell);
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells->append(cell);
    return !quoted;
}

bool LoadCsvTable(const QString& path, CsvTable* table, QString* error) {
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QString("%1: %2").arg(name, file.errorString());
        return false;
    }
    *table = {};
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).remove('\r').remove('\n');
        ++lineNumber;
        if (line.trimmed().isEmpty()) continue;
        QStringList cells;
        if (!SplitCsvLine(line, &cells)) {
            *error = QString("%1 line %2: a quote is left open").arg(name).arg(lineNumber);
            return false;
        }
        if (table->header.isEmpty()) {
            table->header = cells;
        } else if (cells.size() != table->header.size()) {
            *error = QString("%1 line %2: %3 cells, the header has %4")
                         .arg(name)
                         .arg(lineNumber)
                         .arg(cells.size())
                         .arg(table->header.size());
            return false;
        } else {
            table->rows.append(cells);
        }
    }
    if (table->header.isEmpty()) {
        *error = name + ": no header row";
        return false;
    }
    return true;
}
