#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>
#include <latch>
#include <thread>

#include "production/record_store.h"
#include "production/store_schema.h"
#include "support/qt_printers.h"
#include "support/scratch_postgres.h"

namespace {

// One PostgreSQL server for the whole program, started by the first test
// that needs it and stopped when the tests end.
class PostgresEnvironment : public testing::Environment {
  public:
    static ScratchPostgres* Server(QString* error) {
        static bool tried = false;
        static QString failure;
        if (!tried) {
            tried = true;
            server_ = new ScratchPostgres;
            if (!server_->Start(&failure)) failure = "PostgreSQL did not start: " + failure;
        }
        *error = failure;
        return failure.isEmpty() ? server_ : nullptr;
    }
    void TearDown() override {
        delete server_;
        server_ = nullptr;
    }

  private:
    static inline ScratchPostgres* server_ = nullptr;
};

[[maybe_unused]] testing::Environment* const kPostgres =
    testing::AddGlobalTestEnvironment(new PostgresEnvironment);

QList<QVariantList> Rows(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
    QList<QVariantList> rows;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < query.record().count(); ++i) row << query.value(i);
        rows << row;
    }
    return rows;
}

QVariant One(const QSqlDatabase& db, const QString& sql) {
    return Rows(db, sql).value(0).value(0);
}

RunInfo RunOf(const QString& station) {
    return {station, "ana", "line", "1.0", "89ABCDEF", "1.02"};
}

UnitRecord Closed(const UnitStart& unit, UnitResult result) {
    UnitRecord record;
    record.unitNumber = unit.unitNumber;
    record.place = "1";
    record.adapterSerial = "QZ0001";
    record.chip = "MX25L3208";
    record.fields = QString(R"({"serial": "%1"})").arg(unit.reservations.value(0).value);
    record.result = result;
    if (result != UnitResult::Pass) record.step = "Verify";
    return record;
}

const QString kCounter = "line/serial";

struct Backend {
    const char* name;
    bool postgres;
};

class RecordStoreTest : public testing::TestWithParam<Backend> {
  protected:
    // A fresh database for each test: a file, or a database on the scratch server.
    QString Location() {
        if (!GetParam().postgres) return dir_.filePath("units.sqlite");
        static int next = 0;
        QString error;
        ScratchPostgres* server = PostgresEnvironment::Server(&error);
        const QString name = QString("units%1").arg(++next);
        if (server && server->CreateDatabase(name, &error)) return server->Url(name);
        ADD_FAILURE() << error.toStdString();
        return {};
    }

    std::unique_ptr<RecordStore> OpenStore(const QString& location, const QString& station,
                                           std::uint64_t count) {
        QString error;
        auto store = RecordStore::Open(location, dir_.filePath(station + ".spool"), &error);
        EXPECT_TRUE(store) << error.toStdString();
        if (!store) return nullptr;
        EXPECT_TRUE(store->StartRun(RunOf(station), &error)) << error.toStdString();
        EXPECT_TRUE(store->DefineCounter(kCounter, count, &error)) << error.toStdString();
        return store;
    }

    UnitStart Reserve(RecordStore& store) {
        UnitStart unit;
        QString error;
        EXPECT_EQ(store.ReserveUnit({kCounter}, &unit, &error),
                  RecordStore::ReserveStatus::Reserved)
            << error.toStdString();
        return unit;
    }

    QTemporaryDir dir_;
};

TEST_P(RecordStoreTest, ValuesAreSpentOnceAndAGivenBackValueComesFirst) {
    const QString location = Location();
    auto store = OpenStore(location, "bench-1", 3);
    ASSERT_TRUE(store);
    const UnitStart first = Reserve(*store);
    const UnitStart second = Reserve(*store);
    EXPECT_EQ(first.values(), QList<std::uint64_t>{0});
    EXPECT_EQ(second.values(), QList<std::uint64_t>{1});
    EXPECT_EQ(store->CloseUnit(Closed(first, UnitResult::Fail), first.reservations),
              RecordStore::CloseStatus::Stored);
    const UnitStart third = Reserve(*store);
    EXPECT_EQ(third.values(), QList<std::uint64_t>{0});
    EXPECT_EQ(store->CloseUnit(Closed(second, UnitResult::Pass), second.reservations),
              RecordStore::CloseStatus::Stored);
    EXPECT_EQ(store->CloseUnit(Closed(third, UnitResult::Cancelled), third.reservations),
              RecordStore::CloseStatus::Stored);
    const UnitStart fourth = Reserve(*store);
    const UnitStart fifth = Reserve(*store);
    EXPECT_EQ(fourth.values(), QList<std::uint64_t>{0});
    EXPECT_EQ(fifth.values(), QList<std::uint64_t>{2});
    UnitStart none;
    QString error;
    EXPECT_EQ(store->ReserveUnit({kCounter}, &none, &error), RecordStore::ReserveStatus::Exhausted);
    EXPECT_EQ(error, kCounter);
    store->CloseUnit(Closed(fourth, UnitResult::Pass), fourth.reservations);
    store->CloseUnit(Closed(fifth, UnitResult::Pass), fifth.reservations);
    ASSERT_TRUE(store->FinishRun(&error)) << error.toStdString();

    // Opened again, the schema stays as it is and the record is all there.
    store.reset();
    store = RecordStore::Open(location, {}, &error);
    ASSERT_TRUE(store) << error.toStdString();
    const QSqlDatabase db = store->database();
    EXPECT_EQ(One(db, "SELECT MAX(version) FROM schema_version").toInt(), kStoreSchemaVersion);
    EXPECT_EQ(Rows(db, "SELECT unit_number, result, step, fields FROM units ORDER BY unit_number"),
              (QList<QVariantList>{{1, "fail", "Verify", R"({"serial": "0"})"},
                                   {2, "pass", "", R"({"serial": "1"})"},
                                   {3, "cancelled", "Verify", R"({"serial": "0"})"},
                                   {4, "pass", "", R"({"serial": "0"})"},
                                   {5, "pass", "", R"({"serial": "2"})"}}));
    EXPECT_EQ(Rows(db, "SELECT value, state FROM reservations ORDER BY id"),
              (QList<QVariantList>{
                  {0, "returned"}, {1, "spent"}, {0, "returned"}, {0, "spent"}, {2, "spent"}}));
    EXPECT_FALSE(One(db, "SELECT ended_utc FROM runs").isNull());

    // A record of the first schema gains the runs' host, its runs none.
    QSqlQuery(db).exec("ALTER TABLE runs DROP COLUMN host");
    QSqlQuery(db).exec("UPDATE schema_version SET version = 1");
    store.reset();
    store = RecordStore::Open(location, {}, &error);
    ASSERT_TRUE(store) << error.toStdString();
    EXPECT_EQ(Rows(store->database(), "SELECT host FROM runs"), (QList<QVariantList>{{""}}));
}

TEST_P(RecordStoreTest, AStationThatStoppedMidUnitLeavesItsValueInterruptedNeverSpent) {
    const QString location = Location();
    auto crashed = OpenStore(location, "bench-1", 10);
    ASSERT_TRUE(crashed);
    const UnitStart held = Reserve(*crashed);
    auto other = OpenStore(location, "bench-2", 10);
    const UnitStart elsewhere = Reserve(*other);
    crashed.reset();  // gone without closing its unit, as a killed process would

    auto again = OpenStore(location, "bench-1", 10);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->interruptedAtStart(), 1);
    EXPECT_EQ(Reserve(*again).values(), held.values());
    const QSqlDatabase db = again->database();
    EXPECT_EQ(Rows(db, "SELECT value, state FROM reservations ORDER BY id"),
              (QList<QVariantList>{{0, "interrupted"}, {1, "reserved"}, {0, "reserved"}}));
    EXPECT_EQ(Rows(db, "SELECT run_id, unit_number, result, fields FROM units"),
              (QList<QVariantList>{{1, 1, "interrupted", R"({"line/serial":"0"})"}}));
    // The crashed run ends where its last unit did; the others run on.
    EXPECT_EQ(Rows(db, "SELECT r.id FROM runs r JOIN units u ON u.run_id = r.id WHERE r.ended_utc = u.utc"),
              (QList<QVariantList>{{1}}));
    EXPECT_EQ(Rows(db, "SELECT id FROM runs WHERE ended_utc IS NULL ORDER BY id"), (QList<QVariantList>{{2}, {3}}));
    EXPECT_EQ(elsewhere.values(), QList<std::uint64_t>{1});
}

// A second run of a station still running would take the first one's units
// under way for a crashed run's and hand their values out again.
TEST_P(RecordStoreTest, AStationRunsOnceAtATime) {
    const QString location = Location();
    auto running = OpenStore(location, "bench-1", 10);
    ASSERT_TRUE(running);
    const UnitStart held = Reserve(*running);
    QString error;
    auto second = RecordStore::Open(location, {}, &error);
    ASSERT_TRUE(second) << error.toStdString();
    EXPECT_FALSE(second->StartRun(RunOf("bench-1"), &error));
    EXPECT_TRUE(error.contains("station bench-1 already runs on this host")) << error.toStdString();
    EXPECT_EQ(Rows(running->database(), "SELECT value, state FROM reservations"),
              (QList<QVariantList>{{0, "reserved"}}));
    EXPECT_TRUE(second->StartRun(RunOf("bench-2"), &error)) << error.toStdString();
    // Once the first has ended, its station runs again.
    second.reset();
    running.reset();
    EXPECT_TRUE(OpenStore(location, "bench-1", 10));
    EXPECT_EQ(held.values(), QList<std::uint64_t>{0});

    // The same name on another machine: that run is under way, not crashed.
    auto remote = RecordStore::Open(location, {}, &error);
    ASSERT_TRUE(remote) << error.toStdString();
    RunInfo there = RunOf("bench-3");
    there.host = "line-b";
    ASSERT_TRUE(remote->StartRun(there, &error)) << error.toStdString();
    const UnitStart far = Reserve(*remote);
    remote.reset();  // the lock is this machine's; the other one knows nothing of it
    auto here = RecordStore::Open(location, {}, &error);
    ASSERT_TRUE(here) << error.toStdString();
    EXPECT_FALSE(here->StartRun(RunOf("bench-3"), &error));
    EXPECT_TRUE(error.contains("station bench-3 has a run under way on line-b since")) << error.toStdString();
    EXPECT_EQ(Rows(here->database(), "SELECT value, state FROM reservations ORDER BY id DESC LIMIT 1"),
              (QList<QVariantList>{{qulonglong(far.values()[0]), "reserved"}}));
    EXPECT_TRUE(remote = RecordStore::Open(location, {}, &error));
    EXPECT_TRUE(remote->StartRun(there, &error)) << error.toStdString();  // its own machine takes it up again
}

// Stations on their own threads, each with its own connection, draw from one
// counter; every fifth unit fails and gives its value back.
TEST_P(RecordStoreTest, ConcurrentStationsSpendEveryValueExactlyOnce) {
    constexpr int kStations = 4;
    constexpr int kValues = 120;
    const QString location = Location();
    auto setup = OpenStore(location, "setup", kValues);
    ASSERT_TRUE(setup);
    std::vector<QString> failures(kStations);
    std::vector<std::thread> stations;
    std::latch allHolding(kStations);
    for (int s = 0; s < kStations; ++s) {
        stations.emplace_back([&, s] {
            QString error;
            auto store = RecordStore::Open(location, {}, &error);
            if (!store || !store->StartRun(RunOf(QString("station-%1").arg(s)), &error)) {
                failures[s] = error;
                allHolding.count_down();
                return;
            }
            UnitStart unit;
            RecordStore::ReserveStatus status = store->ReserveUnit({kCounter}, &unit, &error);
            // Every station holds a value at once before any goes on.
            allHolding.arrive_and_wait();
            // A station that gives a value back draws again, so the last
            // value given back is spent before its station sees the counter run out.
            while (status == RecordStore::ReserveStatus::Reserved) {
                const UnitResult result =
                    unit.unitNumber % 5 == 0 ? UnitResult::Fail : UnitResult::Pass;
                if (store->CloseUnit(Closed(unit, result), unit.reservations) !=
                    RecordStore::CloseStatus::Stored)
                    failures[s] = "a close was not stored";
                status = store->ReserveUnit({kCounter}, &unit, &error);
            }
            if (status != RecordStore::ReserveStatus::Exhausted) failures[s] = error;
            store->FinishRun(&error);
        });
    }
    for (std::thread& t : stations) t.join();
    for (const QString& failure : failures) EXPECT_EQ(failure, "");
    const QSqlDatabase db = setup->database();
    EXPECT_EQ(
        Rows(db,
             "SELECT COUNT(*), COUNT(DISTINCT value), MIN(value), MAX(value) FROM reservations"
             " WHERE state = 'spent'"),
        (QList<QVariantList>{{kValues, kValues, 0, kValues - 1}}));
    EXPECT_GT(One(db, "SELECT COUNT(*) FROM reservations WHERE state = 'returned'").toInt(), 0);
    EXPECT_EQ(
        One(db, "SELECT COUNT(*) FROM reservations WHERE state IN ('reserved', 'interrupted')")
            .toInt(),
        0);
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM units").toInt(),
              One(db, "SELECT COUNT(*) FROM reservations").toInt());
    EXPECT_EQ(One(db, "SELECT COUNT(DISTINCT station_id) FROM reservations").toInt(), kStations);
}

INSTANTIATE_TEST_SUITE_P(Databases, RecordStoreTest,
                         testing::Values(Backend{"SQLite", false}, Backend{"PostgreSQL", true}),
                         [](const testing::TestParamInfo<Backend>& info) {
                             return info.param.name;
                         });

TEST(RecordStorePostgres, UnitsWaitInTheSpoolWhileTheServerIsAwayAndNoNewUnitStarts) {
    QString error;
    ScratchPostgres* server = PostgresEnvironment::Server(&error);
    ASSERT_TRUE(server) << error.toStdString();
    ASSERT_TRUE(server->CreateDatabase("spooled", &error)) << error.toStdString();
    QTemporaryDir dir;
    auto store = RecordStore::Open(server->Url("spooled"), dir.filePath("spool.sqlite"), &error);
    ASSERT_TRUE(store) << error.toStdString();
    ASSERT_TRUE(store->StartRun(RunOf("bench-1"), &error) &&
                store->DefineCounter(kCounter, 10, &error));
    UnitStart running;
    ASSERT_EQ(store->ReserveUnit({kCounter}, &running, &error),
              RecordStore::ReserveStatus::Reserved);

    server->Stop(true);
    EXPECT_EQ(store->CloseUnit(Closed(running, UnitResult::Pass), running.reservations),
              RecordStore::CloseStatus::Spooled);
    EXPECT_FALSE(store->available());
    EXPECT_EQ(store->spooled(), 1);
    UnitStart refused;
    EXPECT_EQ(store->ReserveUnit({kCounter}, &refused, &error),
              RecordStore::ReserveStatus::Unreachable);

    ASSERT_TRUE(server->Restart(&error)) << error.toStdString();
    UnitStart next;
    ASSERT_EQ(store->ReserveUnit({kCounter}, &next, &error), RecordStore::ReserveStatus::Reserved)
        << error.toStdString();
    EXPECT_EQ(store->spooled(), 0);
    EXPECT_EQ(next.values(), QList<std::uint64_t>{1});
    EXPECT_EQ(next.unitNumber, 2);
    EXPECT_EQ(Rows(store->database(), "SELECT value, state FROM reservations ORDER BY id"),
              (QList<QVariantList>{{0, "spent"}, {1, "reserved"}}));
    EXPECT_EQ(One(store->database(), "SELECT result FROM units WHERE unit_number = 1"), "pass");
}

TEST(RecordStoreOpen, NoDatabaseNoStore) {
    QString error;
    EXPECT_FALSE(RecordStore::Open("postgresql://brellix@/units?host=/nonexistent", {}, &error));
    EXPECT_TRUE(
        error.startsWith("postgresql://brellix@/units?host=/nonexistent: cannot open the record: "))
        << error.toStdString();
    EXPECT_FALSE(RecordStore::Open("/nonexistent/units.sqlite", {}, &error));
    EXPECT_TRUE(error.startsWith("/nonexistent/units.sqlite: cannot open the record: "))
        << error.toStdString();
}

struct LocationRow {
    QString text;
    QString described;  // or the error
    QString host = {};
    QString password = {};
};

class StoreLocationRows : public testing::TestWithParam<LocationRow> {};

TEST_P(StoreLocationRows, ParsesOrSaysWhy) {
    StoreLocation location;
    QString error;
    const bool ok = StoreLocation::Parse(GetParam().text, &location, &error);
    EXPECT_EQ(ok ? location.Describe() : error, GetParam().described);
    if (ok) {
        EXPECT_EQ(location.host, GetParam().host);
        EXPECT_EQ(location.password, GetParam().password);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StoreLocationRows,
    testing::Values(
        LocationRow{"units.sqlite", "units.sqlite", "", ""},
        LocationRow{"postgresql://qa@db.floor:5433/units", "postgresql://qa@db.floor:5433/units",
                    "db.floor", ""},
        LocationRow{"postgresql://qa:s%40cret@/units?host=/run/postgresql",
                    "postgresql://qa@/units?host=/run/postgresql", "/run/postgresql", "s@cret"},
        LocationRow{"postgres://db/units", "postgresql://db/units", "db", ""},
        LocationRow{
            "postgresql://db.floor",
            "postgresql://db.floor: not a database URL (expected postgresql://user@host/dbname)"},
        LocationRow{
            "mysql://db/units",
            "mysql://db/units: not a database URL (expected postgresql://user@host/dbname)"},
        LocationRow{"postgresql://qa:pw@db/units?sslmode=require",
                    "postgresql://qa:***@db/units?sslmode=require: not a database URL (unknown "
                    "parameter sslmode)"}));

}  // namespace
