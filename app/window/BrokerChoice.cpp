#include "app/window/BrokerChoice.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "radio/BrokerRadio.h"

bool isBrokerKey(const QString& key) {
    return key.startsWith(QLatin1String("mqtt://")) || key.startsWith(QLatin1String("mqtts://"));
}

QString brokerKey(const QString& url) { return brokerUrlWithoutPassword(url); }

std::optional<BrokerAnswer> askForBroker(QWidget* parent, const QString& remembered) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("brokerDialog"));
    dialog.setWindowTitle(QStringLiteral("Cars on a broker"));
    auto* intro = new QLabel(QStringLiteral("The cars that relays offer on an MQTT broker "
                                            "(zelto-drive relay on the hosts near them)."),
                             &dialog);
    intro->setWordWrap(true);
    auto* address = new QLineEdit(remembered, &dialog);
    address->setObjectName(QStringLiteral("brokerAddress"));
    address->setPlaceholderText(QStringLiteral("mqtt://user@host:1883/relay"));
    auto* password = new QLineEdit(&dialog);
    password->setObjectName(QStringLiteral("brokerPassword"));
    password->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(intro);
    form->addRow(QStringLiteral("&Broker:"), address);
    form->addRow(QStringLiteral("&Password:"), password);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted || address->text().trimmed().isEmpty()) return std::nullopt;
    // The password never goes into the address, where its characters would
    // need escaping and it could be remembered.
    return BrokerAnswer{address->text().trimmed(), password->text()};
}
