#include "app/panels/TaggedButton.h"

TaggedButton::TaggedButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QAbstractButton::clicked, this, [this] { emit triggered(this); });
}
