#pragma once

#include <QList>
#include <cstdint>

#include "production/sql_session.h"
#include "production/unit_record.h"

// Hands out the values of the counters: each value is reserved by one unit
// at a time, spent at most once, and a value given back is handed out again
// (lowest first) before a new one. Every call runs inside the caller's write
// transaction; the counter's row lock (or SQLite's write lock) is what keeps
// two stations from taking the same value.
class ValueAllocator {
  public:
    enum class Take { Taken, Exhausted, Failed };

    // Where a reservation comes from.
    struct Holder {
        std::int64_t stationId = 0;
        std::int64_t runId = 0;
        int unitNumber = 0;
    };

    explicit ValueAllocator(SqlSession& session) : session_(session) {}

    // Creates the counter with values 0 to count - 1, or sets a new count.
    bool Define(const QString& counter, std::uint64_t count);
    Take Reserve(const QString& counter, const Holder& holder, Reservation* reservation);
    // Spends the value, or gives it back; a reservation already closed stays
    // as it is, so closing twice (a unit sent again from the spool) is harmless.
    bool Close(const Reservation& reservation, bool spend);
    // The station's reservations still held (left by a run that never closed
    // them) become interrupted and their values go back; each unit they
    // belonged to gets an interrupted row if it has none.
    bool InterruptHeld(std::int64_t stationId, int* interrupted);
    // The same for one run's, when it ends.
    bool InterruptRun(std::int64_t runId, int* interrupted);

  private:
    bool Interrupt(const QString& where, std::int64_t id, int* interrupted);
    bool TakeFree(const QString& counter, std::uint64_t limit, QVariant* value);
    bool Give(const QString& counter, std::uint64_t value);

    SqlSession& session_;
};
