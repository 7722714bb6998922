#pragma once

#include <QCommandLineOption>
#include <QList>
#include <optional>

#include "app/station_settings.h"

class QCommandLineParser;

// brellix --production's station options: what File > Production... asks
// for, as brellix-cli production takes them.
namespace StationArguments {

const QCommandLineOption& Production();
const QList<QCommandLineOption>& Options();
// The options given, or nothing with error saying why; they belong to --production.
std::optional<StationSettings> Read(const QCommandLineParser& parser, QString& error);

}  // namespace StationArguments
