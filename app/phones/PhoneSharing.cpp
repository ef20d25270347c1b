#include "app/phones/PhoneSharing.h"

#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "app/phones/PhoneDriver.h"
#include "app/phones/ShareDialog.h"
#include "app/phones/PhoneHost.h"

PhoneSharing::PhoneSharing(PanelDriving& controller, QWidget* window, std::function<void()> refresh)
    : QObject(window),
      window_(window),
      driver_(std::make_unique<PhoneDriver>(controller, std::move(refresh))),
      host_(new phone::PhoneHost(*driver_, this)) {}

PhoneSharing::~PhoneSharing() {
    // The host goes before the panels' driver it drives through.
    delete host_;
}

void PhoneSharing::addMenu(QMenuBar* menus) {
    QMenu* share = menus->addMenu(QStringLiteral("&Share"));
    share->setObjectName(QStringLiteral("shareMenu"));
    QAction* phones = share->addAction(QStringLiteral("&Drive from phones\u2026"), this, &PhoneSharing::openDialog);
    phones->setObjectName(QStringLiteral("driveFromPhonesAction"));
}

void PhoneSharing::setPanels(std::vector<PanelWidgets> panels) {
    driver_->setPanels(std::move(panels));
    host_->tick();
}

bool PhoneSharing::share(const QHostAddress& address, quint16 port, QString* reason) {
    return host_->share(address, port, reason);
}

void PhoneSharing::openDialog() {
    if (!host_->sharing()) {
        const QHostAddress address = phone::defaultShareAddress();
        QString reason;
        if (!share(address, kSharePort, &reason) && !share(address, 0, &reason)) {
            QMessageBox::warning(window_, QStringLiteral("Drive from phones"),
                                 QStringLiteral("Could not share on %1: %2").arg(address.toString(), reason));
            return;
        }
    }
    if (!dialog_) dialog_ = new ShareDialog(*host_, window_);
    dialog_->refresh();
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}
