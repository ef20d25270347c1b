// Share → Drive from phones…: the address phones open, as text and as a QR
// code, the phones driving and their cars, a way to take a car back from a
// phone and to stop sharing.
#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace phone {
class PhoneHost;
}

class ShareDialog : public QDialog {
    Q_OBJECT

public:
    ShareDialog(phone::PhoneHost& host, QWidget* parent = nullptr);

    // Reads the host's address and phones again.
    void refresh();

private:
    void releaseSelected();

    phone::PhoneHost& host_;
    QLabel* code_;
    QLabel* address_;
    QListWidget* phones_;
    QPushButton* release_;
    QPushButton* stop_;
};
