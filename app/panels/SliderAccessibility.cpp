#include "app/panels/SliderAccessibility.h"

#include <QPalette>
#include <QWidget>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include "app/panels/TaggedSlider.h"
#include "app/panels/TextForms.h"

namespace {

class AccessibleTaggedSlider : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleTaggedSlider(TaggedSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return QString::fromStdString(textforms::floatText(slider()->floatValue()));
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return static_cast<double>(slider()->floatValue()); }
    // Moves reach the car through the slider's keys, which screen readers pass on.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return units(slider()->maximum()); }
    QVariant minimumValue() const override { return units(slider()->minimum()); }
    QVariant minimumStepSize() const override { return units(slider()->singleStep()); }

private:
    TaggedSlider* slider() const { return static_cast<TaggedSlider*>(widget()); }
    double units(int steps) const { return static_cast<double>(steps) / slider()->scale(); }
};

QAccessibleInterface* sliderFactory(const QString&, QObject* object) {
    auto* slider = qobject_cast<TaggedSlider*>(object);
    return slider ? new AccessibleTaggedSlider(slider) : nullptr;
}

}  // namespace

void installSliderAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(sliderFactory);
        return true;
    }();
    (void)installed;
}

void makePlaceholdersReadable(QWidget* window) {
    QPalette palette = window->palette();
    palette.setColor(QPalette::PlaceholderText, QColor(0x59, 0x59, 0x59));
    window->setPalette(palette);
}
