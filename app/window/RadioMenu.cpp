#include "app/window/RadioMenu.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

#include "app/window/BrokerChoice.h"
#include "app/window/WindowSettings.h"

namespace {

// The Radio menu's choice of every adapter at once.
const QString kAllAdapters = QStringLiteral("all");

// Every menu entry has a mnemonic: its first letter.
QString adapterLabel(const AdapterEntry& adapter) {
    const QString name = adapter.name.isEmpty() ? QStringLiteral("Bluetooth adapter") : adapter.name;
    const QString state = adapter.powered ? QStringLiteral("on") : QStringLiteral("off");
    if (adapter.address.isEmpty()) return QStringLiteral("&%1 \u2014 %2").arg(name, state);
    return QStringLiteral("&%1 (%2) \u2014 %3").arg(name, adapter.address, state);
}

}  // namespace

RadioMenu::RadioMenu(Radio first, RadioCatalog catalog) : radios_{std::move(first)}, catalog_(std::move(catalog)) {
    if (const auto remembered = window_settings::radio()) rememberedRadio_ = *remembered;
}

RadioMenu::~RadioMenu() = default;

void RadioMenu::addTo(QMenuBar* bar, QWidget* window) {
    window_ = window;
    menu_ = bar->addMenu(QStringLiteral("&Radio"));
    menu_->setObjectName(QStringLiteral("radioMenu"));
    actions_ = new QActionGroup(this);
    if (catalog_.adapters) {
        catalog_.adapters->setParent(this);
        connect(catalog_.adapters, &AdapterList::changed, this, &RadioMenu::rebuild);
    }
    rebuild();
}

void RadioMenu::chooseRememberedRadio() {
    // The adapter chosen last may be announced after the window opens.
    if (!rememberedRadio_) return;
    const QString wanted = *rememberedRadio_;
    const std::vector<AdapterEntry> adapters = knownAdapters();
    const bool known = wanted.isEmpty() || isBrokerKey(wanted) || (wanted == kAllAdapters && !adapters.empty()) ||
                       std::any_of(adapters.begin(), adapters.end(),
                                   [&](const AdapterEntry& a) { return a.address == wanted; });
    if (!known) return;
    rememberedRadio_.reset();
    chooseRadio(wanted);
}

std::vector<AdapterEntry> RadioMenu::knownAdapters() const {
    return catalog_.adapters ? catalog_.adapters->adapters() : std::vector<AdapterEntry>{};
}

void RadioMenu::rebuild() {
    menu_->clear();
    for (QAction* action : actions_->actions()) actions_->removeAction(action);
    auto addChoice = [this](const QString& text, const QString& address) {
        QAction* action = menu_->addAction(text);
        action->setCheckable(true);
        action->setChecked(address == radio().adapterAddress);
        action->setData(address);
        actions_->addAction(action);
        connect(action, &QAction::triggered, this, [this, address] {
            rememberedRadio_.reset();
            window_settings::setRadio(address);
            chooseRadio(address);
        });
    };
    const std::vector<AdapterEntry> adapters = knownAdapters();
    for (const AdapterEntry& adapter : adapters) {
        if (!adapter.address.isEmpty()) addChoice(adapterLabel(adapter), adapter.address);
    }
    if (adapters.empty()) menu_->addAction(QStringLiteral("No Bluetooth adapter"))->setEnabled(false);
    if (!adapters.empty() && catalog_.allAdaptersRadio) addChoice(QStringLiteral("&All adapters"), kAllAdapters);
    menu_->addSeparator();
    addChoice(QStringLiteral("&Simulated vehicles"), QString());
    menu_->addSeparator();
    for (const Radio& made : radios_) {
        if (isBrokerKey(made.adapterAddress)) addChoice(made.description, made.adapterAddress);
    }
    QAction* broker = menu_->addAction(QStringLiteral("Cars on a &broker\u2026"), this, [this] {
        // The broker in use, else the one typed last (a refused try included).
        const QString current = isBrokerKey(radio().adapterAddress) ? radio().adapterAddress : lastTypedBroker_;
        if (const std::optional<BrokerAnswer> asked = askForBroker(window_, current)) chooseBroker(asked->url, asked->password);
    });
    broker->setObjectName(QStringLiteral("brokerAction"));
    if (rememberedRadio_) QTimer::singleShot(0, this, &RadioMenu::chooseRememberedRadio);
}

void RadioMenu::chooseRadio(const QString& adapterAddress) {
    std::size_t chosen = radios_.size();
    for (std::size_t i = 0; i < radios_.size(); ++i) {
        if (radios_[i].adapterAddress == adapterAddress) chosen = i;
    }
    if (chosen == radios_.size()) {
        if (isBrokerKey(adapterAddress)) {
            reachBroker(adapterAddress, QString(), false);  // the password, if any, from the environment
            return;
        }
        if (adapterAddress.isEmpty()) {
            radios_.push_back(catalog_.simulatedRadio());
        } else if (adapterAddress == kAllAdapters) {
            std::optional<Radio> all = catalog_.allAdaptersRadio ? catalog_.allAdaptersRadio() : std::nullopt;
            if (!all) return;
            radios_.push_back(std::move(*all));
        } else {
            const std::vector<AdapterEntry> adapters = knownAdapters();
            const auto adapter = std::find_if(adapters.begin(), adapters.end(),
                                              [&](const AdapterEntry& a) { return a.address == adapterAddress; });
            if (adapter == adapters.end()) return;
            radios_.push_back(catalog_.adapterRadio(*adapter));
        }
        radios_.back().adapterAddress = adapterAddress;
    }
    switchTo(chosen);
}

void RadioMenu::chooseBroker(const QString& url, const QString& password) {
    lastTypedBroker_ = brokerKey(url);  // never a password
    reachBroker(url, password, true);
}

void RadioMenu::reachBroker(const QString& url, const QString& password, bool askedByPerson) {
    const QString key = brokerKey(url);
    for (std::size_t i = 0; i < radios_.size(); ++i) {
        if (!key.isEmpty() && radios_[i].adapterAddress == key) return switchTo(i);
    }
    emit said(QStringLiteral("Reaching the broker\u2026"));
    catalog_.brokerRadio(this, url, password, [this, key, askedByPerson](std::optional<Radio> made, const QString& problem) {
        if (!made) {
            const QString text = QStringLiteral("Could not use the broker: %1").arg(problem);
            emit said(text);
            if (askedByPerson) QMessageBox::warning(window_, QStringLiteral("Cars on a broker"), text);
            return;
        }
        made->adapterAddress = key;
        radios_.push_back(std::move(*made));
        rememberedRadio_.reset();
        window_settings::setRadio(key);
        emit said(QString());
        switchTo(radios_.size() - 1);
    });
}

void RadioMenu::switchTo(std::size_t chosen) {
    if (chosen == current_) return;
    current_ = chosen;
    emit switched(radios_[current_]);
    rebuild();
}
