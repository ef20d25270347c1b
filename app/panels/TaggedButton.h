// A push button with a signed 64-bit tag; a click sends the button itself to
// its action, which reads the tag to decide what to do.
#pragma once

#include <QPushButton>
#include <QtGlobal>

class TaggedButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(qint64 tag READ tag WRITE setTag)

public:
    explicit TaggedButton(QWidget* parent = nullptr);

    qint64 tag() const { return tag_; }
    void setTag(qint64 tag) { tag_ = tag; }

signals:
    void triggered(TaggedButton* sender);

private:
    qint64 tag_ = 0;
};
