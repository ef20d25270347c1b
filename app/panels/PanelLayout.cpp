#include "app/panels/PanelLayout.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include "app/panels/HealthText.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/TextForms.h"

QLabel* addHealthLine(QFormLayout* form) {
    auto* label = new QLabel(form->parentWidget());
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    // Three lines whatever it says (as many as the narrowest panel needs), so
    // the panels do not jump as figures change.
    label->setMinimumHeight(3 * label->fontMetrics().lineSpacing());
    label->setToolTip(healthFieldsTip());
    form->addRow(label);
    return label;
}

QScrollArea* sideBySide(const std::vector<QWidget*>& panels) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* panel : panels) layout->addWidget(panel);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(row);
    // The panels take what they need; the rest of the window goes to others.
    scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    scroll->setFixedHeight(row->sizeHint().height() + scroll->horizontalScrollBar()->sizeHint().height());
    scroll->setFocusPolicy(Qt::NoFocus);
    return scroll;
}

void showValueOf(TaggedSlider* slider, QLabel* label) {
    auto show = [slider, label] { label->setText(QString::fromStdString(textforms::floatText(slider->floatValue()))); };
    QObject::connect(slider, &QAbstractSlider::valueChanged, label, show);
    show();
}

void chainTabOrder(const std::vector<QWidget*>& widgets) {
    for (std::size_t i = 1; i < widgets.size(); ++i) QWidget::setTabOrder(widgets[i - 1], widgets[i]);
}
