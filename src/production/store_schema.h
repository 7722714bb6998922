#pragma once

#include "production/sql_session.h"

// The record's tables, created on first use and brought up to date on every
// open: schema_version holds the last migration applied, and each migration
// runs once, in order, inside one write transaction with the others.
inline constexpr int kStoreSchemaVersion = 2;

// False with the reason (also when the database is newer than this program).
bool MigrateStoreSchema(SqlSession& session, QString* error);
