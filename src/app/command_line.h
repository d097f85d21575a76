#pragma once
// The workstation's command line. Switches may be written with '-', '--' or
// '/' and in any letter case; anything else is a case file to open.
#include <QString>
#include <QStringList>

namespace delvora {

struct CommandLine {
    bool automation = false;   // run as an automation server: no window
    bool embedding = false;    // started by a container: no window
    bool registerOnly = false;
    bool unregister = false;
    bool noSplash = false;
    bool noWizard = false;     // do not open the add-data wizard at start
    QString devicesFile;       // device map file
    QString screenshotFolder;  // save pictures of the window there, then quit
    QString language;          // "zh" or "en" with --lang; empty: the saved choice, else the locale
    QStringList files;         // case files to open
    QString error;             // non-empty when the line could not be parsed

    bool RunsWithoutWindow() const { return automation || embedding; }
};

/// Parses the arguments after the program name.
CommandLine ParseCommandLine(const QStringList& arguments);

/// The usage text for a bad command line.
QString CommandLineUsage();

}  // namespace delvora
