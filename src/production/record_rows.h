#pragma once

#include <cstdint>

#include "production/sql_session.h"
#include "production/unit_record.h"

// The rows of stations, runs and units, each written by one statement that
// the caller runs inside its own transaction.

// The station's id, registering the name on first use.
bool RegisterStation(SqlSession& session, const QString& name, std::int64_t* id);
bool InsertRun(SqlSession& session, std::int64_t stationId, const RunInfo& run, std::int64_t* id);
bool EndRun(SqlSession& session, std::int64_t runId);
// The station's runs that never ended (it crashed, or lost the database at
// the end) end when their last unit closed, or when they began without one.
bool EndStationRuns(SqlSession& session, std::int64_t stationId);
// "host since time" of a run of the station that has not ended and is on
// another machine than host; empty when there is none.
bool OpenRunElsewhere(SqlSession& session, std::int64_t stationId, const QString& host, QString* where);
// A unit's row; a second row for the same unit of the same run is dropped,
// so that a row sent again from the spool is not counted twice.
bool InsertUnit(SqlSession& session, const UnitRecord& unit);
