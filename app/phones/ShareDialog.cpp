#include "app/phones/ShareDialog.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/phones/QrImage.h"
#include "app/phones/PhoneHost.h"

ShareDialog::ShareDialog(phone::PhoneHost& host, QWidget* parent)
    : QDialog(parent),
      host_(host),
      code_(new QLabel(this)),
      address_(new QLabel(this)),
      phones_(new QListWidget(this)),
      release_(new QPushButton(QStringLiteral("&Release car"), this)),
      stop_(new QPushButton(QStringLiteral("&Stop sharing"), this)) {
    setObjectName(QStringLiteral("shareDialog"));
    setWindowTitle(QStringLiteral("Drive from phones"));
    auto* intro = new QLabel(
        QStringLiteral("Phones on this network scan the code or open the address, then pick a free car. "
                       "A car stops when its phone falls quiet for a second."),
        this);
    intro->setWordWrap(true);
    code_->setObjectName(QStringLiteral("shareCode"));
    code_->setAlignment(Qt::AlignCenter);
    code_->setAccessibleName(QStringLiteral("QR code of the address"));
    address_->setObjectName(QStringLiteral("shareAddress"));
    address_->setTextFormat(Qt::PlainText);
    address_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    address_->setAlignment(Qt::AlignCenter);
    phones_->setObjectName(QStringLiteral("sharePhones"));
    phones_->setAccessibleName(QStringLiteral("Phones"));
    release_->setObjectName(QStringLiteral("releaseCarButton"));
    stop_->setObjectName(QStringLiteral("stopSharingButton"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(release_, QDialogButtonBox::ActionRole);
    buttons->addButton(stop_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(release_, &QPushButton::clicked, this, &ShareDialog::releaseSelected);
    connect(stop_, &QPushButton::clicked, this, [this] {
        host_.stopSharing();
        close();
    });
    connect(phones_, &QListWidget::currentRowChanged, this, [this] {
        const QListWidgetItem* item = phones_->currentItem();
        release_->setEnabled(item && item->data(Qt::UserRole + 1).toBool());
    });
    connect(&host_, &phone::PhoneHost::phonesChanged, this, &ShareDialog::refresh);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(code_);
    layout->addWidget(address_);
    layout->addWidget(new QLabel(QStringLiteral("Phones:"), this));
    layout->addWidget(phones_);
    layout->addWidget(buttons);
    refresh();
}

void ShareDialog::refresh() {
    const QString url = host_.url();
    // Shared on every interface, each address is one line; the code holds the first.
    address_->setText(url.isEmpty() ? QStringLiteral("Not sharing") : host_.urls().join(QLatin1Char('\n')));
    const QImage code = url.isEmpty() ? QImage() : qrImage(url, 5);
    code_->setPixmap(QPixmap::fromImage(code));
    const QString selected = phones_->currentItem() ? phones_->currentItem()->data(Qt::UserRole).toString() : QString();
    phones_->clear();
    for (const phone::PhoneHost::PhoneView& phone : host_.phones()) {
        const QString text = phone.away ? QStringLiteral("%1 (away): keeps %2").arg(phone.label, phone.carName)
                             : phone.carName.isEmpty() ? QStringLiteral("%1: choosing a car").arg(phone.label)
                                                       : QStringLiteral("%1: drives %2").arg(phone.label, phone.carName);
        auto* item = new QListWidgetItem(text, phones_);
        if (phone.away) {
            QFont font = item->font();
            font.setItalic(true);
            item->setFont(font);
        }
        item->setData(Qt::UserRole, phone.phone);
        item->setData(Qt::UserRole + 1, !phone.carName.isEmpty());
        if (phone.phone == selected) phones_->setCurrentItem(item);
    }
    if (phones_->count() == 0) phones_->addItem(QStringLiteral("No phone yet"));
    const QListWidgetItem* item = phones_->currentItem();
    release_->setEnabled(item && item->data(Qt::UserRole + 1).toBool());
    stop_->setEnabled(host_.sharing());
}

void ShareDialog::releaseSelected() {
    if (const QListWidgetItem* item = phones_->currentItem()) host_.release(item->data(Qt::UserRole).toString());
}
