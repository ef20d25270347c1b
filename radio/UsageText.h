// What both programs' command lines print, put the same way: the usage line
// names the program rather than the path it was started by, and a refusal
// ends without Qt's full stop, since " (see --help)" follows it. Qt Core
// only and header-only, as the command lines read it without the radios.
#pragma once

#include <QString>

inline QString helpNaming(QString help, const QString& program) {
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype options = help.indexOf(QStringLiteral(" [options]"));
    if (help.startsWith(usage) && options > usage.size()) help.replace(usage.size(), options - usage.size(), program);
    return help;
}

inline QString refusalText(QString why) {
    if (why.endsWith(QLatin1Char('.'))) why.chop(1);
    return why;
}
