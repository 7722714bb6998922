#pragma once

#include <QProcess>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

// The uhid adapter program, run as a child and driven through its standard
// input: every command waits for the program's answer, so the device has
// changed (appeared, left, fallen silent) by the time Command returns. The
// child's log goes straight to our standard error, into the same console.
class AdapterProcess {
  public:
    ~AdapterProcess();

    // Starts the program and waits until it holds /dev/uhid. On failure the
    // reason is in *error.
    bool Start(const QString& program, const QStringList& arguments, std::string* error);

    // Sends one command line; the answer without its leading "ok ", or nothing
    // when the program refused, died or did not answer in time (*error says which).
    std::optional<std::string> Command(const std::string& command, std::string* error);

    // The last output report the device received, or an empty list.
    std::vector<std::uint8_t> LastOutputReport();

  private:
    std::optional<std::string> ReadAnswer(std::string* error);
    QProcess process_;
};
