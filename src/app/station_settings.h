#pragma once

#include <QString>

class AppSettings;
struct CliOptions;

// What the operator chooses for a station beyond its recipe: who runs it,
// where, which record it writes, what starts the next unit and when a
// failing place is taken out. The window remembers the last choice.
struct StationSettings {
    QString operatorName;
    QString station;  // empty: the host name
    QString db;       // empty: an SQLite file beside the recipe; else a file or postgresql://...
    bool nextOnKey = false;     // Enter starts the next unit, not the adapter's re-plug
    int stopAfterFailures = 0;  // failures in a row that take a place out; 0 never (or the recipe's own)

    static StationSettings Load(const AppSettings& settings);
    void Save(AppSettings& settings) const;
    // Onto the fields the command line's own options fill.
    void ApplyTo(CliOptions& options) const;
    // The header's second line: the record, the next unit's trigger and the stop.
    static QString Describe(const CliOptions& options);
};
