#include "app/command_line.h"

#include "common/language.h"

namespace delvora {
namespace {

// The switch name without its leading '-', '--' or '/', lower-cased; empty
// when the argument is not written as a switch.
QString SwitchName(const QString& argument) {
    if (argument.startsWith(QLatin1String("--"))) return argument.mid(2).toLower();
    if (argument.startsWith(QLatin1Char('-'))) return argument.mid(1).toLower();
    if (argument.startsWith(QLatin1Char('/'))) {
        // A path such as /home/x.wsh is a file, not a switch.
        const QString strName = argument.mid(1).toLower();
        static const QStringList kSlashSwitches{QStringLiteral("automation"), QStringLiteral("embedding"),
                                                QStringLiteral("register"), QStringLiteral("regserver"),
                                                QStringLiteral("unregister"), QStringLiteral("unregserver")};
        return kSlashSwitches.contains(strName) ? strName : QString();
    }
    return {};
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine line;
    // Each pass takes one argument (two for a switch with a value), so the loop ends.
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& strArg = arguments[i];
        const QString strName = SwitchName(strArg);
        if (strName.isEmpty()) {
            line.files << strArg;
        } else if (strName == QLatin1String("automation")) {
            line.automation = true;
        } else if (strName == QLatin1String("embedding")) {
            line.embedding = true;
        } else if (strName == QLatin1String("register") || strName == QLatin1String("regserver")) {
            line.registerOnly = true;
        } else if (strName == QLatin1String("unregister") || strName == QLatin1String("unregserver")) {
            line.unregister = true;
        } else if (strName == QLatin1String("no-splash")) {
            line.noSplash = true;
        } else if (strName == QLatin1String("no-wizard")) {
            line.noWizard = true;
        } else if (strName == QLatin1String("lang")) {
            if (i + 1 >= arguments.size() || !ParseLanguage(arguments[i + 1].toStdString())) {
                line.error = QStringLiteral("%1 takes zh or en").arg(strArg);
                break;
            }
            line.language = arguments[++i];
        } else if (strName == QLatin1String("devices") || strName == QLatin1String("screenshot")) {
            if (i + 1 >= arguments.size()) {
                line.error = QStringLiteral("%1 needs a value").arg(strArg);
                break;
            }
            (strName == QLatin1String("devices") ? line.devicesFile : line.screenshotFolder) = arguments[++i];
        } else {
            line.error = QStringLiteral("unknown option %1").arg(strArg);
            break;
        }
    }
    return line;
}

QString CommandLineUsage() {
    return QStringLiteral(
        "usage: delvora [--devices FILE] [--lang zh|en] [--no-splash] [--no-wizard] [CASE.wsh ...]\n"
        "       delvora --devices FILE --screenshot FOLDER   (pictures of the window, then quit)\n"
        "       delvora --register | --unregister | --automation | --embedding\n");
}

}  // namespace delvora
