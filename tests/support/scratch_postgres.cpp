#include "support/scratch_postgres.h"

#include <pwd.h>
#include <unistd.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

constexpr int kPort = 54329;
constexpr char kUser[] = "nobody";

// The newest installed server's tools.
QString ServerBin() {
    QStringList versions = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
        const QString bin = "/usr/lib/postgresql/" + *it + "/bin";
        if (QFile::exists(bin + "/pg_ctl")) return bin;
    }
    return {};
}

}  // namespace

ScratchPostgres::~ScratchPostgres() {
    Stop();
}

bool ScratchPostgres::Run(const QString& tool, const QStringList& arguments, QString* error) {
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (getuid() == 0)
        process.start("runuser", QStringList{"-u", kUser, "--", bin_ + "/" + tool} + arguments);
    else
        process.start(bin_ + "/" + tool, arguments);
    const bool finished = process.waitForFinished(120000);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    *error = tool + " failed: " + QString::fromLocal8Bit(process.readAll()).simplified() +
             process.errorString();
    return false;
}

bool ScratchPostgres::Start(QString* error) {
    bin_ = ServerBin();
    if (bin_.isEmpty()) {
        *error =
            "no PostgreSQL server under /usr/lib/postgresql (scripts/deps.sh installs postgresql)";
        return false;
    }
    if (!dir_.isValid()) {
        *error = "no scratch folder: " + dir_.errorString();
        return false;
    }
    if (getuid() == 0) {
        const passwd* user = getpwnam(kUser);
        if (!user ||
            chown(dir_.path().toLocal8Bit().constData(), user->pw_uid, user->pw_gid) != 0) {
            *error = QString("cannot give the scratch folder to %1").arg(kUser);
            return false;
        }
    }
    const QString data = dir_.filePath("data");
    if (!Run("initdb", {"-D", data, "-U", "brellix", "--auth=trust", "-E", "UTF8", "--no-sync"},
             error))
        return false;
    QFile conf(data + "/postgresql.conf");
    if (!conf.open(QIODevice::Append)) {
        *error = "cannot write " + conf.fileName();
        return false;
    }
    conf.write(
        QString("listen_addresses = ''\nunix_socket_directories = '%1'\nport = %2\nfsync = off\n"
                "max_connections = 40\n")
            .arg(dir_.path())
            .arg(kPort)
            .toUtf8());
    conf.close();
    return Restart(error);
}

bool ScratchPostgres::Restart(QString* error) {
    running_ =
        Run("pg_ctl",
            {"-D", dir_.filePath("data"), "-l", dir_.filePath("server.log"), "-w", "start"}, error);
    if (!running_) {
        QFile log(dir_.filePath("server.log"));
        if (log.open(QIODevice::ReadOnly))
            *error += " | " + QString::fromLocal8Bit(log.readAll()).simplified();
    }
    return running_;
}

void ScratchPostgres::Stop(bool immediate) {
    if (!running_) return;
    QString error;
    Run("pg_ctl",
        {"-D", dir_.filePath("data"), "-m", immediate ? "immediate" : "fast", "-w", "stop"},
        &error);
    running_ = false;
}

bool ScratchPostgres::CreateDatabase(const QString& name, QString* error) {
    return Run("createdb", {"-h", dir_.path(), "-p", QString::number(kPort), "-U", "brellix", name},
               error);
}

int ScratchPostgres::port() { return kPort; }

QString ScratchPostgres::Url(const QString& name) const {
    return QString("postgresql://brellix@/%1?host=%2&port=%3").arg(name, dir_.path()).arg(kPort);
}
