#include "cli/cli_options.h"

#include <QSet>

#include "engine/chip_catalogue.h"
#include "image/image_format.h"
#include "image/read_back_writer.h"

namespace {

const QSet<QString> kCommands = {"list", "detect", "erase", "program", "verify", "read",
                                 "auto", "firmware", "production", "recipe", "report"};
const QSet<QString> kWithFile = {"program", "verify", "auto", "firmware", "production"};
// The commands whose FILE is the image programmed or compared.
const QSet<QString> kPlacedImage = {"program", "verify", "auto", "production"};
// Options that take a value, as --name VALUE or --name=VALUE.
const QSet<QString> kValued = {"--adapter", "--sim-latency", "--sim-fault", "--access", "--chip", "--range",
                               "-o", "--output", "--count", "--log", "--recipe", "--db", "--operator",
                               "--station", "--image", "--field", "--name", "--run", "--expect",
                               "--stop-after-failures", "--next", "--bin-offset"};

// Hex of one to eight digits, with or without 0x.
bool ParseHexAddress(QString text, std::uint32_t& value) {
    if (text.startsWith("0x", Qt::CaseInsensitive)) text.remove(0, 2);
    if (text.isEmpty() || text.size() > 8) return false;
    for (QChar c : text)
        if (hexDigitValue(c) < 0) return false;
    value = text.toUInt(nullptr, 16);
    return true;
}

int ChipIndex(const QString& name) {
    if (name.compare("auto", Qt::CaseInsensitive) == 0) return -1;
    for (int i = 0; i < ChipCatalogue::kChipCount; ++i) {
        const std::string_view text = ChipCatalogue::listText(i);
        if (name.compare(QString::fromLatin1(text.data(), int(text.size())), Qt::CaseInsensitive) == 0) return i;
    }
    return -2;
}

bool ToInt(const QString& text, int& out, int minimum) {
    bool ok = false;
    out = text.toInt(&ok);
    return ok && out >= minimum;
}

// One option with its value; false with error set when it is wrong.
bool Apply(const QString& name, const QString& value, CliOptions& o, QString& error) {
    if (name == "--adapter") o.adapter = value;
    else if (name == "--sim-fault") o.simFaults << value;
    else if (name == "--range") o.range = value;
    else if (name == "-o" || name == "--output") o.output = value;
    else if (name == "--log") o.unitLog = value;
    else if (name == "--recipe") o.recipe = value;
    else if (name == "--db") o.db = value;
    else if (name == "--operator") o.operatorName = value;
    else if (name == "--station") o.station = value;
    else if (name == "--image") o.image = value;
    else if (name == "--field") o.fields << value;
    else if (name == "--name") o.recipeName = value;
    else if (name == "--run" && (o.runId = value.toLongLong()) <= 0) error = "--run takes a run's number";
    else if (name == "--bin-offset") {
        o.binOffsetGiven = true;
        if (!ParseHexAddress(value, o.binOffset)) error = "--bin-offset takes an address in hex";
    }
    else if (name == "--sim-latency" && !ToInt(value, o.simLatencyMs, 0)) error = "--sim-latency takes milliseconds";
    else if (name == "--count" && !ToInt(value, o.count, 1)) error = "--count takes a number of units";
    else if (name == "--stop-after-failures") {
        o.stopAfterFailuresGiven = true;
        if (!ToInt(value, o.stopAfterFailures, 1)) error = "--stop-after-failures takes a number of failures";
    } else if (name == "--next") {
        o.nextOnKey = value == "key";
        if (value != "key" && value != "replug") error = "--next takes key or replug";
    }
    else if (name == "--access") {
        o.accessGiven = true;
        if (value == "direct") o.access = 0;
        else if (value == "jtag") o.access = 1;
        else error = "--access takes direct or jtag";
    } else if (name == "--chip") {
        o.chipGiven = true;
        o.chip = ChipIndex(value);
        if (o.chip == -2) error = "unknown chip " + value + " (see --help)";
    } else if (name == "--expect") {
        o.expectedChip = ChipIndex(value);
        if (o.expectedChip < 0) error = "unknown chip " + value + " (see --help)";
    }
    return error.isEmpty();
}

bool ApplyFlag(const QString& arg, CliOptions& o) {
    if (arg == "--verify") o.verify = true;
    else if (arg == "--yes") o.yes = true;
    else if (arg == "--all") o.all = true;
    else if (arg == "--json") o.json = true;
    else if (arg == "--quiet") o.quiet = true;
    else if (arg == "--simulate") o.simulate = 1;
    else if (arg == "--last") o.lastRun = true;
    else if (arg == "--csv") o.csv = true;
    else return false;
    return true;
}

// The production floor's commands: a recipe to write, a recipe to run, a record to read.
QString CheckFloorCommand(const CliOptions& o) {
    if (o.command == "recipe") {
        if (o.subcommand != "new") return "recipe takes new (recipe new FILE.json --image IMAGE ...)";
        if (o.file.isEmpty()) return "recipe new needs a FILE.json to write";
        if (o.image.isEmpty()) return "recipe new needs --image IMAGE";
        if (!o.chipGiven) return "recipe new needs --chip NAME (or --chip auto --expect NAME)";
        return {};
    }
    if (o.command == "report") {
        if (o.db.isEmpty()) return "report needs --db FILE.sqlite or --db postgresql://...";
        if (o.runId > 0 && o.lastRun) return "--run and --last exclude each other";
        if (o.json && o.csv) return "--json and --csv exclude each other";
        return {};
    }
    return "production --recipe takes no FILE: the recipe names its image";
}

// Only a binary file has no addresses of its own to be placed by.
QString CheckBinOffset(const CliOptions& o) {
    if (!o.binOffsetGiven) return {};
    if (!kPlacedImage.contains(o.command) || o.file.isEmpty())
        return "--bin-offset places the FILE of program, verify, auto or production";
    if (FormatOfName(o.file) != ImageFormat::Binary)
        return "--bin-offset places a .bin file only, and " + o.file + " is not one";
    if (o.binOffset > kLastAddress)
        return QString::asprintf("--bin-offset %X lies outside the 4 MiB image (000000-%06X)", o.binOffset,
                                 kLastAddress);
    return {};
}

QString CheckCombination(const CliOptions& o) {
    if (o.command.isEmpty()) return "no command given (see --help)";
    if (const QString why = CheckBinOffset(o); !why.isEmpty()) return why;
    if (o.command == "recipe" || o.command == "report") return CheckFloorCommand(o);
    if (o.command == "production" && !o.recipe.isEmpty())
        return o.file.isEmpty() ? QString() : CheckFloorCommand(o);
    if (!o.recipe.isEmpty() || !o.db.isEmpty()) return "--recipe and --db belong to production";
    if (o.command != "production" && (o.stopAfterFailuresGiven || o.nextOnKey))
        return "--stop-after-failures and --next belong to production";
    if (kWithFile.contains(o.command) && o.file.isEmpty()) return o.command + " needs a FILE";
    if (!kWithFile.contains(o.command) && !o.file.isEmpty()) return o.command + " takes no FILE";
    if (o.command == "read" && o.output.isEmpty()) return "read needs -o OUT.hex, -o OUT.s37 or -o OUT.bin";
    if (o.command == "read" && FormatOfName(o.output) != SavedFormat(o.output))
        return "the output file must end in .hex, .ldr, .srec, .s19, .s28, .s37, .mot or .bin";
    if (o.command == "read" && !o.range.isEmpty()) {
        std::uint32_t start = 0, end = 0;
        if (const QString why = ParseReadRange(o.range, start, end); !why.isEmpty())
            return "bad --range " + o.range + ": " + why;
    }
    // Direct access reaches the chip only through the adapter's own routines.
    if (o.command == "read" && o.access == 0) return "read needs --access jtag";
    if (o.command == "firmware" && !o.yes) return "firmware rewrites the adapter itself: confirm with --yes";
    if (o.all && !o.adapter.isEmpty()) return "--all and --adapter exclude each other";
    if (o.command == "firmware" && o.all) return "firmware updates one adapter at a time";
    return {};
}

}  // namespace


// Every chip has the same 4 MiB space, so the chip's end is the space's end.
QString ParseReadRange(const QString& range, std::uint32_t& start, std::uint32_t& end) {
    const QStringList ends = range.split('-');
    if (ends.size() != 2 || !ParseHexAddress(ends[0], start) || !ParseHexAddress(ends[1], end))
        return "START-END in hex, both ends inclusive";
    if (start > kLastAddress) return QString::asprintf("outside the address space 000000-%06X", kLastAddress);
    if (end > kLastAddress) return QString::asprintf("runs past the chip's end at %06X", kLastAddress);
    if (start > end) return "START above END";
    return {};
}

ReadOptions ReadOptionsFor(const QString& range) {
    std::uint32_t start = 0, end = 0;
    if (range.isEmpty() || !ParseReadRange(range, start, end).isEmpty())
        return {ReadRangeMode::WholeChip, {}, {}, {}, {}};
    return {ReadRangeMode::Inclusive, QString::number(start, 16), QString::number(end, 16), {}, {}};
}

CliParse ParseCliOptions(const QStringList& arguments, CliOptions& o, QString& error) {
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == "--help" || arg == "-h") return CliParse::Help;
        if (arg == "--version") return CliParse::Version;
        if (ApplyFlag(arg, o)) continue;
        if (arg.startsWith("--simulate=")) {
            if (!ToInt(arg.mid(11), o.simulate, 1)) error = "--simulate=N takes a number of adapters";
        } else if (arg.startsWith("-") && arg.contains('=') && kValued.contains(arg.section('=', 0, 0))) {
            Apply(arg.section('=', 0, 0), arg.section('=', 1), o, error);
        } else if (kValued.contains(arg)) {
            if (i + 1 >= arguments.size()) error = arg + " needs a value";
            else Apply(arg, arguments[++i], o, error);
        } else if (arg.startsWith("-") && arg != "-") {
            error = "unknown option " + arg;
        } else if (o.command.isEmpty()) {
            if (!kCommands.contains(arg)) error = "unknown command " + arg;
            o.command = arg;
        } else if (o.command == "recipe" && o.subcommand.isEmpty()) {
            o.subcommand = arg;
        } else if (o.file.isEmpty()) {
            o.file = arg;
        } else {
            error = "too many arguments: " + arg;
        }
        if (!error.isEmpty()) return CliParse::Error;
    }
    error = CheckCombination(o);
    return error.isEmpty() ? CliParse::Run : CliParse::Error;
}

QString CliHelpText() {
    return R"(Usage: brellix-cli [options] COMMAND [FILE]

Drives QZProgrammer adapters from the command line: one adapter, or every
attached adapter at once.

Commands:
  list                       every adapter found: path, serial, and whether
                             this user may open it (and how to fix it if not)
  detect                     the chip in each adapter's socket
  erase                      erase the chip
  program FILE [--verify]    write FILE (Intel HEX .hex/.ldr, Motorola
                             S-record .srec/.s19/.s28/.s37/.mot, ELF
                             .elf/.axf/.out, or binary .bin); --verify reads
                             it back and compares
  verify FILE                read the chip back and compare it with FILE
  read [--range START-END] -o OUT.hex|OUT.s37|OUT.bin
                             read the chip (the whole 4 MiB by default; the
                             range in hex, both ends inclusive) and write
                             exactly the bytes read: Intel HEX, Motorola
                             S-record (.srec, .s19, .s28 or .s37) or binary;
                             with several adapters each writes
                             OUT-SERIAL.hex|.s37|.bin
  auto FILE                  detect, erase, program and verify, in one go
  firmware FILE --yes        update the adapter's own firmware
  production FILE [--count N] [--log units.csv] [--next key|replug]
             [--stop-after-failures N]
                             a bench loop: program each unit plugged in,
                             log it, and wait for the next one; on a
                             terminal a live line counts passed, failed,
                             yield, units per hour and values left
  production --recipe line.json [--db DB] [--operator NAME] [--station NAME]
                             the same from a recipe: its image (refused if
                             its size or CRC-32 changed), its chip, access
                             and verify, and each unit's own serial values,
                             reserved in the record and spent on a pass
  recipe new line.json --image FILE --chip NAME|auto [--expect NAME]
             [--access ..] [--verify] [--field JSON]... [--name NAME]
                             write a recipe; the image's size and CRC-32
                             are read from it
  report --db DB [--run ID | --last] [--json | --csv]
                             what the record holds: counts, yield, failures
                             by step, values spent, per place and station

Options:
  --adapter PATH|SERIAL      use this adapter only
  --all                      use every attached adapter at once
  --simulate[=N]             N simulated adapters (1 by default), each with an
                             MX25L3208 in its socket
  --sim-latency MS           a simulated adapter's time per reply (3)
  --sim-fault N:KIND@REQ     simulated adapter N goes wrong at request REQ;
                             KIND is silent, nak, wrong-echo, short-write,
                             fail-write, unplug, late or corrupt
                             (corrupt@every: every read-back is damaged), or
                             behaves as an adapter may: restart (leaves
                             instead of answering), slow (answers just
                             inside the time-out), stale (an earlier reply
                             comes first) or boot-restart (REQ unused)
  --access direct|jtag       how the adapter reaches the chip (jtag); reading
                             and verifying need jtag
  --chip NAME|auto           the chip (NEC78K0S, PIC24FJ64GA004,
                             PIC24FJ64GA106, PIC24FJ64GB106, AT45DB321,
                             MX25L3208, 78K0R, BF592) or auto to detect it
  --json                     one JSON object per adapter at the end (per
                             unit as each ends in production, then the
                             totals), and nothing else on standard output
  --quiet                    no progress and no log lines; a failed adapter
                             still gets one line on standard error
  --help, --version

Options of the commands:
  --range START-END          read: the addresses in hex, both ends inclusive
                             (10-10 is one byte), up to the chip's end 3FFFFF
  -o, --output OUT.hex|OUT.s37|OUT.bin
                             read: the file to write (.hex, .srec, .s19,
                             .s28, .s37 or .bin)
  --verify                   program: read the chip back and compare
  --bin-offset ADDR          program, verify, auto, production: a .bin
                             FILE's first byte goes to ADDR (hex), not 0;
                             the file must fit below 4 MiB
  --yes                      firmware: confirm that the adapter's own
                             firmware is to be rewritten
  --count N                  production: the units to program (without it,
                             until Ctrl+C)
  --log FILE.csv             production: append a row per unit, written to
                             the disk at once; a recipe's serial fields are
                             its last columns
  --db FILE.sqlite|postgresql://USER@HOST/DBNAME
                             production, report: the record (by default an
                             SQLite file beside the recipe); a record that
                             cannot be reached at start starts nothing
  --operator NAME, --station NAME
                             production: who runs it, and where (the host
                             name by default)
  --next replug|key          production: the next unit starts when its
                             adapter is plugged in again (replug, the
                             default), or for sockets where the adapter
                             stays plugged, when Enter is pressed (key;
                             a foot switch sends the same): each place
                             whose unit has ended then starts its next
  --stop-after-failures N    production: N failures in a row on one place
                             take that place out of the run (a recipe's
                             stop.after_failures says the same); the run
                             ends when no place is left

Exit codes:
  0    success on every adapter
  1    a job failed on at least one adapter, or a unit was left
       unprogrammed ("serial numbers exhausted", the record lost)
  2    usage or file error (an image that holds no data, a recipe that is
       wrong or whose image changed, a record that cannot be reached)
  3    no adapter
  4    an adapter is present but this user may not open it
  130  interrupted (Ctrl+C); the running jobs end at their next block and
       the run sums up; a second Ctrl+C ends it at once, without a summary
  143  terminated (SIGTERM), the same way
)";
}
