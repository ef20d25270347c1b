#include "app/phones/HttpHead.h"

namespace phone {

HttpHead readHttpHead(const QByteArray& head) {
    HttpHead read;
    read.lines = head.split('\n');
    const QList<QByteArray> request = read.lines.value(0).trimmed().split(' ');
    if (request.size() == 3) {
        read.method = request[0];
        read.path = request[1];
        read.version = request[2];
    }
    return read;
}

QByteArray HttpHead::header(const QByteArray& lowerCaseName) const {
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0 && lines[i].left(colon).trimmed().toLower() == lowerCaseName) {
            return lines[i].mid(colon + 1).trimmed();
        }
    }
    return {};
}

bool HttpHead::headerLists(const QByteArray& lowerCaseName, const QByteArray& lowerCaseToken) const {
    for (const QByteArray& token : header(lowerCaseName).toLower().split(',')) {
        if (token.trimmed() == lowerCaseToken) return true;
    }
    return false;
}

}  // namespace phone
