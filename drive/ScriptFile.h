// A script's text read whole, from a file or from standard input ("-"), with
// the system's reason when it cannot be read.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace drive {

struct FileText {
    QByteArray text;
    std::string error;  // "cannot read race.jsonl: No such file or directory"; empty when read
};

FileText readScriptFile(const QString& path);

}  // namespace drive
