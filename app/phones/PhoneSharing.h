// The window's side of driving from phones: the Share menu, the dialog, and
// the host that lets phones drive the panels. Off until the person (or
// --share) turns it on.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "app/panels/PanelWidgets.h"

class QMenuBar;
class QWidget;
class PhoneDriver;
class ShareDialog;
class PanelDriving;
namespace phone {
class PhoneHost;
}

// The port the Share menu tries first; another free one when it is taken.
constexpr quint16 kSharePort = 8765;

class PhoneSharing : public QObject {
    Q_OBJECT

public:
    PhoneSharing(PanelDriving& controller, QWidget* window, std::function<void()> refresh);
    ~PhoneSharing() override;

    void addMenu(QMenuBar* menus);
    // The window's panels now, model panels first.
    void setPanels(std::vector<PanelWidgets> panels);
    // Shares on that address and port (0: any free one); false, with the
    // system's reason, when the port cannot be had.
    bool share(const QHostAddress& address, quint16 port, QString* reason = nullptr);
    // Share → Drive from phones…: shares on the machine's address if not
    // sharing yet, and shows the dialog.
    void openDialog();
    phone::PhoneHost& host() const { return *host_; }

private:
    QWidget* window_;
    std::unique_ptr<PhoneDriver> driver_;
    phone::PhoneHost* host_;
    ShareDialog* dialog_ = nullptr;
};
