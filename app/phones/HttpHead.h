// A request's head as the phone host reads it: the request line and the
// headers, nothing else of HTTP. Browsers send one head per connection here.
#pragma once

#include <QByteArray>
#include <QList>

namespace phone {

struct HttpHead {
    QByteArray method;
    QByteArray path;
    QByteArray version;
    QList<QByteArray> lines;  // the head's lines, the request line first

    // The value of the first header of that name (any case), trimmed; empty if absent.
    QByteArray header(const QByteArray& lowerCaseName) const;
    // Whether a comma-separated header lists that token, in any case.
    bool headerLists(const QByteArray& lowerCaseName, const QByteArray& lowerCaseToken) const;
    // A request line of three words.
    bool wellFormed() const { return !method.isEmpty() && !path.isEmpty() && !version.isEmpty(); }
};

// `head` without the blank line that ends it.
HttpHead readHttpHead(const QByteArray& head);

}  // namespace phone
