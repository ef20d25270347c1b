// The Radio menu: every Bluetooth adapter (kept up to date as adapters come
// and go), every adapter at once, the simulated vehicles and cars on a
// broker. It makes each radio once, the first time it is chosen, and keeps
// every radio it made for its own life, so that the cars found on one drive
// on until their links end; it remembers the choice for the next run.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "radio/BrokerRadio.h"
#include "radio/RadioChoice.h"

class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

// Where the Radio menu's choices come from.
struct RadioCatalog {
    // The adapters offered; the menu takes it as its child. Null: none.
    AdapterList* adapters = nullptr;
    std::function<Radio(const AdapterEntry&)> adapterRadio = makeAdapterRadio;
    std::function<Radio()> simulatedRadio = makeSimulatedRadio;
    // Every adapter at once; null where the build cannot.
    std::function<std::optional<Radio>()> allAdaptersRadio = makeAllAdaptersRadio;
    // The cars relays offer on a broker, made asynchronously (makeBrokerRadio).
    // `password`, when given, stands in for the address's.
    std::function<void(QObject* context, const QString& url, const QString& password,
                       std::function<void(std::optional<Radio>, QString)> done)>
        brokerRadio = [](QObject* context, const QString& url, const QString& password,
                         std::function<void(std::optional<Radio>, QString)> done) {
            makeBrokerRadio(context, url, std::move(done), QString(), password);
        };
};

class RadioMenu : public QObject {
    Q_OBJECT

public:
    // Starts on `first`, or on the radio remembered from an earlier run once
    // the menu is in place.
    RadioMenu(Radio first, RadioCatalog catalog);
    ~RadioMenu() override;

    // Puts the menu into `bar`, with its dialogs over `window`. The radio
    // remembered from an earlier run is chosen from the next turn on, once
    // it is there (an adapter may be announced later), so that a radio
    // named on the command line (keepStartingRadio) holds over it.
    void addTo(QMenuBar* bar, QWidget* window);

    const Radio& radio() const { return radios_[current_]; }

    // The radio the next Connect uses: the simulated vehicles for an empty
    // address, every adapter for "all", the cars on a broker for an
    // mqtt:// or mqtts:// address (once its session stands), else that
    // adapter.
    void chooseRadio(const QString& adapterAddress);
    // Cars on a broker… with the address (and password) given: chosen and
    // remembered once the broker's session stands, else the person is told why.
    void chooseBroker(const QString& url, const QString& password = QString());
    // Stays on the radio it was made with rather than the one remembered
    // from an earlier run (a radio named on the command line).
    void keepStartingRadio() { rememberedRadio_.reset(); }

signals:
    // Another radio is the one the next Connect uses.
    void switched(const Radio& radio);
    // A word for the status bar ("Reaching the broker…"); empty clears it.
    void said(const QString& text);

private:
    void rebuild();
    std::vector<AdapterEntry> knownAdapters() const;
    void switchTo(std::size_t index);
    void reachBroker(const QString& url, const QString& password, bool askedByPerson);
    void chooseRememberedRadio();

    std::vector<Radio> radios_;
    std::size_t current_ = 0;
    RadioCatalog catalog_;
    QPointer<QWidget> window_;
    QPointer<QMenu> menu_;
    QActionGroup* actions_ = nullptr;
    // The radio chosen in an earlier run, until it is chosen again (its
    // adapter may be announced after the window opens) or another one is.
    std::optional<QString> rememberedRadio_;
    QString lastTypedBroker_;  // the broker dialog starts from it
};
