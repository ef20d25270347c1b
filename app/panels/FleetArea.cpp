#include "app/panels/FleetArea.h"

#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "app/panels/FleetPanel.h"
#include "app/panels/HealthText.h"
#include "app/panels/PanelActions.h"
#include "app/panels/PanelLayout.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/PanelDriving.h"
#include "link/Vehicle.h"

FleetArea::FleetArea(PanelDriving& controller, std::function<void()> refresh, QWidget* parent)
    : QScrollArea(parent), controller_(controller), refresh_(std::move(refresh)) {
    setObjectName(QStringLiteral("fleetScroll"));
    setAccessibleName(QStringLiteral("More cars"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    auto* box = new QWidget;
    rows_ = new QVBoxLayout(box);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(2);
    rows_->addStretch(1);
    setWidget(box);
    setVisible(false);
    // Scrolled sideways, every row still says which car it drives.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int x) {
        for (FleetPanel* panel : panels()) panel->keepNameAt(x);
    });
}

void FleetArea::serveController() {
    controller_.setFleetHost({[this](const Vehicle& vehicle, qint64 middleTag) { return add(vehicle, middleTag); },
                              [this](const PanelWidgets& panel) { remove(panel); }});
}

std::vector<FleetPanel*> FleetArea::panels() const {
    std::vector<FleetPanel*> live;
    for (const QPointer<FleetPanel>& panel : panels_) {
        if (panel) live.push_back(panel);
    }
    return live;
}

void FleetArea::chainTabOrder(QWidget* after, QWidget* before) const {
    std::vector<QWidget*> order{after};
    for (FleetPanel* panel : panels()) {
        order.insert(order.end(), {panel->speed(), panel->lane(), panel->middle(), panel->uTurn(), panel->stop()});
    }
    order.push_back(before);
    ::chainTabOrder(order);
}

void FleetArea::claimRoomIn(QSplitter* splitter) const {
    QList<int> sizes = splitter->sizes();
    const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
    const int rows = widget()->sizeHint().height() + 2 * frameWidth();
    const int wanted = std::min(rows, total * 2 / 3);
    if (sizes.size() < 2 || wanted <= sizes[0]) return;
    const int taken = wanted - sizes[0];
    sizes[0] = wanted;
    sizes[1] = std::max(sizes[1] - taken, 0);
    splitter->setSizes(sizes);
}

PanelWidgets FleetArea::add(const Vehicle& vehicle, qint64 middleTag) {
    auto* panel = new FleetPanel(vehicle.identifier(), vehicle.modelIdentifier(), printableName(vehicle.health().name),
                                 middleTag, widget());
    panel->keepNameAt(horizontalScrollBar()->value());
    rows_->insertWidget(rows_->count() - 1, panel);  // above the stretch
    panels_.push_back(panel);
    wirePanelActions(panel->widgets(), controller_, this, refresh_);
    setVisible(true);
    emit panelsChanged();
    return panel->widgets();
}

void FleetArea::remove(const PanelWidgets& widgets) {
    const auto found = std::find_if(panels_.begin(), panels_.end(), [&widgets](const QPointer<FleetPanel>& panel) {
        return panel && panel->speed() == widgets.speed;
    });
    if (found == panels_.end()) return;
    FleetPanel* panel = *found;
    panels_.erase(found);
    // Later: the panel's own button may be what led here.
    panel->hide();
    panel->deleteLater();
    setVisible(!panels().empty());
    emit panelsChanged();
}
