#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// What the main panel offers the job engine. The engine knows nothing of
// widgets; everything it shows the user goes through here.
class JobHost {
public:
    virtual ~JobHost() = default;

    // Log: committed text plus at most one transient line (a progress line
    // that the next transient line replaces). Callers bring their own "\r\n".
    virtual void AppendLog(const QString& text) = 0;
    virtual void ShowTransientLine(const QString& line) = 0;
    virtual void ClearLog() = 0;

    // Range 0..maximum and position, both as the bar's 16-bit values.
    virtual void SetProgress(int maximum, int position) = 0;

    virtual void EnableJobButtons() = 0;
    virtual void DisableJobButtons() = 0;

    // The chip list and the Auto Chip box. Checking Auto Chip disables the list.
    virtual int SelectedChip() const = 0;
    virtual void SelectChip(int index) = 0;
    virtual bool AutoChipChecked() const = 0;
    virtual void SetAutoChip(bool checked) = 0;

    // Hands a copy of the data to the hex view, and enables or disables it.
    virtual void ShowData(const std::uint8_t* data, std::size_t length) = 0;
    virtual void EnableHexView(bool enable) = 0;

    // The line that says a Direct-access compare read nothing back; it names
    // where the user chooses JTAG, which a host without the window words its own way.
    virtual QString NothingComparedLine(const char* windowLine) const { return QString::fromLatin1(windowLine); }
};
